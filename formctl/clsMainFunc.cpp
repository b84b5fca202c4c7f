#include "clsMainFunc.h"

#include <QApplication>
#include <QWindow>

#include "Dunvorel.h"
#include "Dunvorel_TypeLib.h"
#include "Fun_AppPrevInstanceOperate.h"
#include "Fun_FindRootContainer.h"
#include "Fun_FormControls.h"
#include "Fun_FormPosRegistResume.h"
#include "Fun_FormPosition.h"
#include "Fun_HostProcess.h"

using namespace Dunvorel_TypeLib;

bool clsMainFunc::IsHavingFocus() const {
    return RootContainer && QApplication::activeWindow() == RootContainer;
}

void clsMainFunc::TextBoxClearAll() {
    if (!Acts() || !blnTextBoxClear)
        return;
    for (QWidget* control : Fun_FormControls::FormControls(RootContainer))
        Fun_FormControls::ClearText(control);
}

QWidget* clsMainFunc::FindParent() const {
    return qobject_cast<QWidget*>(Fun_FindRootContainer::FindRootContainer(csUc, true));
}

void clsMainFunc::SetMostTop() {
    if (Acts())
        SetWindowFlag(Qt::WindowStaysOnTopHint, blnSetMostTop);
}

bool clsMainFunc::PostionResume(int mode, QString* error) {
    if (!Acts() || !blnPositionRegister)
        return true;
    if (mode == nRegister)
        return Fun_FormPosRegistResume::SavePosition(RootContainer, error);
    if (Fun_FormPosRegistResume::RestorePosition(RootContainer) ==
        Fun_FormPosRegistResume::Restore::NothingStored)
        PositionScreen();
    return true;
}

bool clsMainFunc::AppPrevInstance() {
    if (!Acts() || !blnAppPrevInstance)
        return false;
    if (strCommandLine.isEmpty())
        Fun_HostProcess::MsgDevErrInfo(
            RootContainer, QStringLiteral("UserControl_Show"),
            QStringLiteral("AppPrevInstanceがONにもかかわらず、CommandLineが設定されていません"));
    return Fun_AppPrevInstanceOperate::OperatePrevInstance(
        RootContainer, Fun_AppPrevInstanceOperate::Mode_SendThenClose, strCommandLine);
}

void clsMainFunc::CaptionIsAppTitle() {
    if (Acts() && blnCaptionIsAppTitle)
        RootContainer->setWindowTitle(Fun_HostProcess::GetAppTitle());
}

void clsMainFunc::PositionScreen() {
    if (Acts())
        Fun_FormPosition::PositionScreen(RootContainer, lngPositionScreen);
}

void clsMainFunc::ShowMenuLine() {
    if (Acts())
        csUc->PlaceMenuLine(blnShowMenuLine);
}

void clsMainFunc::SetMinButton() {
    if (Acts() && blnSetMinButton)
        SetWindowFlag(Qt::WindowMinimizeButtonHint, true);
}

// A window on the screen takes new flags only when it is shown again; one that is still being
// shown takes them as it appears.
void clsMainFunc::SetWindowFlag(Qt::WindowType flag, bool on) {
    QWidget* form = RootContainer;
    if (form->windowFlags().testFlag(flag) == on)
        return;
    Qt::WindowFlags flags = form->windowFlags();
    flags.setFlag(flag, on);
    QWindow* window = form->windowHandle();
    if (!window || !window->isVisible()) {
        form->overrideWindowFlags(flags);
        if (window)
            window->setFlags(flags);
        return;
    }
    const Qt::WindowStates states = form->windowState();
    blnReshowing = true;
    form->setWindowFlags(flags);
    form->setWindowState(states);
    form->show();
    blnReshowing = false;
}
