#include "MessageBoxHost.h"

#include <QMessageBox>

#include "AppTitle.h"

namespace {

QMessageBox::Icon BoxIcon(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Information:
            return QMessageBox::Information;
        case MsgIcon::Exclamation:
            return QMessageBox::Warning;
        case MsgIcon::Question:
            return QMessageBox::Question;
        case MsgIcon::Critical:
            return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons BoxButtons(MsgButtons buttons) {
    switch (buttons) {
        case MsgButtons::Ok:
            return QMessageBox::Ok;
        case MsgButtons::YesNo:
        case MsgButtons::YesNoDefaultNo:
            return QMessageBox::Yes | QMessageBox::No;
        case MsgButtons::YesNoCancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

MsgAnswer Answer(int button) {
    switch (button) {
        case QMessageBox::Yes:
            return MsgAnswer::Yes;
        case QMessageBox::No:
            return MsgAnswer::No;
        case QMessageBox::Cancel:
            return MsgAnswer::Cancel;
        default:
            return MsgAnswer::Ok;
    }
}

}  // namespace

MsgAnswer MessageBoxHost::ShowMessage(const QString& text, MsgIcon icon, MsgButtons buttons,
                                      const QString& title) {
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(BoxIcon(icon), title.isEmpty() ? AppTitle::Title() : title, shown,
                    BoxButtons(buttons), m_parent);
    box.setTextFormat(Qt::PlainText);
    // Closing the box with Escape or its title bar counts as its last button.
    box.setEscapeButton(buttons == MsgButtons::YesNoCancel ? QMessageBox::Cancel
                        : buttons == MsgButtons::Ok        ? QMessageBox::Ok
                                                           : QMessageBox::No);
    if (buttons == MsgButtons::YesNoDefaultNo)
        box.setDefaultButton(QMessageBox::No);
    return Answer(box.exec());
}
