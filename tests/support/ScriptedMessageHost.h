#pragma once

#include <functional>

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
    // Runs while a box is shown, as the event loop of a modal box would.
    std::function<void()> whileShown;

    MsgAnswer ShowMessage(const QString& text, MsgIcon icon, MsgButtons buttons,
                          const QString& title = QString()) override {
        shown.append({text, icon, buttons, title});
        if (whileShown)
            whileShown();
        if (!answers.isEmpty())
            return answers.takeFirst();
        return buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::Yes;
    }
};
