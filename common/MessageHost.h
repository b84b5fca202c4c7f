#pragma once

#include <QString>

// Every message box and question of the program goes through this interface, so the window shows
// real boxes, the headless runner prints, and tests script the answers.
enum class MsgIcon { Information, Exclamation, Question, Critical };
// YesNoDefaultNo: Yes and No with No the default, so that Enter never confirms a question whose
// Yes loses something or trusts something.
enum class MsgButtons { Ok, YesNo, YesNoCancel, YesNoDefaultNo };
enum class MsgAnswer { Ok, Yes, No, Cancel };

class MessageHost {
public:
    virtual ~MessageHost() = default;
    // An empty title means the application title.
    virtual MsgAnswer ShowMessage(const QString& text, MsgIcon icon, MsgButtons buttons,
                                  const QString& title = QString()) = 0;
};
