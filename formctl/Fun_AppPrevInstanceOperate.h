#pragma once

#include <QString>

class QWidget;

// A program started while another instance of it runs hands its command line to that instance
// and closes its form. The first instance's form listens on a local socket (LinkSource) named
// after the user, the application title and the form.
namespace Fun_AppPrevInstanceOperate {

enum Mode {
    Mode_SendThenClose = 0,
    Mode_SendOnly = 1,
    Mode_TellThenClose = 2,
};

// The form's link topic: a property of the form, set to its name.
inline constexpr char kLinkTopicProperty[] = "LinkTopic";

// The socket of the link topic appTitle + "|" + topic for this user: a file in the user's runtime
// folder whose name is made of safe characters only.
QString LinkServerName(const QString& appTitle, const QString& topic);

// The socket of the form's link topic.
QString FormLinkServerName(const QWidget* form);

// Another instance listens on the form's link.
bool PrevInstanceRunning(const QWidget* form);

// Sets the form's link topic and, when another instance runs, hands the command line over (an
// empty one becomes the process's arguments) and closes the form as mode says. True when another
// instance was running.
bool OperatePrevInstance(QWidget* form, int mode, QString& commandLine);

// Sends the command line as an execute request to the other instance's form, through the form's
// first text box. Errors are ignored; without a text box nothing is sent.
void DdeSendAnotherMe(QWidget* form, QString& commandLine);

}  // namespace Fun_AppPrevInstanceOperate
