#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// What the control knows of the process that hosts it: whether that is a form designer, its
// application title, its command line, and the messages meant for a developer.
namespace Fun_HostProcess {

// False when the host executable is Qt Designer (its file name begins with "designer").
bool IsRuntime(const QString& executablePath);
bool IsRuntime();

// The application title of the process that owns the form's window.
QString GetAppTitle();

// The process's arguments as started, program path first (/proc/self/cmdline).
QStringList ProcessArguments();
// Arguments joined by blanks; one that holds a blank (or is empty) is put in double quotes.
QString JoinCommandLine(const QStringList& arguments);
// The command line without leading and trailing blanks, and without the quotes around a quoted
// program path.
QString FormulateCmdLine(const QString& commandLine);
// The text after the program path: what a second instance hands over.
QString CommandArguments();

// Tells a developer in a form designer that a setting is missing, and closes the form when the
// answer is No. Outside a designer nothing is shown.
void MsgDevErrInfo(QWidget* form, const QString& module, const QString& context);

}  // namespace Fun_HostProcess
