#include "WindowRunHost.h"

#include <QTimer>

#include "HostedTargetSelector.h"
#include "RunLogViewer.h"
#include "frmSkerrow.h"

WindowRunHost::WindowRunHost(frmSkerrow& form, MessageHost& messages)
    : form_(form), messages_(messages) {
    RunLogViewer = [this](const QString& path) { return RunLogViewer::Show(&form_, path); };
}

MsgAnswer WindowRunHost::ShowMessage(const QString& text, MsgIcon icon, MsgButtons buttons,
                                     const QString& title) {
    return messages_.ShowMessage(text, icon, buttons, title);
}

int WindowRunHost::ItemCount() {
    return form_.ItemCount();
}

bool WindowRunHost::ItemChecked(int item) {
    return form_.ItemChecked(item);
}

Typ_Profile WindowRunHost::GetProfileFromItem(int item) {
    return form_.GetProfileFromItem(form_.Item(item));
}

void WindowRunHost::MarkItemRunning(int item, bool running) {
    if (running) {
        savedColours_[item] = form_.ItemTextColor(item);
        form_.SetItemTextColor(item, QColor(255, 0, 0));
    } else {
        form_.SetItemTextColor(item, savedColours_.take(item));
    }
}

void WindowRunHost::ShowItemInFields(int item) {
    form_.blnEditing = false;
    form_.LoadItemIntoFields(form_.Item(item));
}

bool WindowRunHost::Editing() {
    return form_.blnEditing;
}

void WindowRunHost::SetRunning(bool running) {
    form_.SetEditingEnabled(!running);
    form_.SetRunning(running);
}

QString WindowRunHost::PanelText(int panel) {
    return form_.PanelText(panel);
}

void WindowRunHost::SetPanelText(int panel, const QString& text) {
    form_.SetPanelText(panel, text);
}

void WindowRunHost::SetTimerRunning(bool running) {
    if (running)
        form_.tmrSec->start();
    else
        form_.tmrSec->stop();
}

void WindowRunHost::ShowProgress(const TransferStatus& status) {
    form_.ShowTransfer(status);
}

bool WindowRunHost::InvestigateMode() {
    return form_.InvestigateMode();
}

QString WindowRunHost::ConvTablePath() {
    return form_.stConvTable->Target();
}

void WindowRunHost::SaveSetting() {
    form_.SaveSetting();
}

bool WindowRunHost::ShowRunLog(const QString& path) {
    return RunLogViewer(path);
}
