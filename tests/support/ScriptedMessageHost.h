#pragma once

#include <QList>
#include <QString>

#include "MessageHost.h"

// Records every message and answers from a script (Ok, or Yes for questions, once it runs out).
class ScriptedMessageHost : public MessageHost {
public:
    struct Shown {
        QString text;
        MsgIcon icon;
        MsgButtons buttons;
        QString title;
    };

    QList<Shown> shown;
    QList<MsgAnswer> answers;

    MsgAnswer ShowMessage(const QString& text, MsgIcon icon, MsgButtons buttons,
                          const QString& title = QString()) override {
        shown.append({text, icon, buttons, title});
        if (!answers.isEmpty())
            return answers.takeFirst();
        return buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::Yes;
    }
};
