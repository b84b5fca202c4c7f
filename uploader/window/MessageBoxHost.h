#pragma once

#include <QPointer>
#include <QWidget>

#include "MessageHost.h"

// Message boxes of the window: QMessageBox with the application title, the given icon and
// buttons, modal to the parent window.
class MessageBoxHost : public MessageHost {
public:
    void SetParentWidget(QWidget* parent) { m_parent = parent; }
    MsgAnswer ShowMessage(const QString& text, MsgIcon icon, MsgButtons buttons,
                          const QString& title = QString()) override;

private:
    QPointer<QWidget> m_parent;
};
