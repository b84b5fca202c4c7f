// A small host program of the form-behaviour control, for tests that need real processes: one
// form "frmTestHost" that is a link source, with a text box, and the control created by ProgID
// from the library beside the program. It prints what it sees, a line each:
//   SHOWN            AfterFormPosition arrived
//   EXECUTE:<text>   a later instance handed over its command line
//   CLOSED           the form was closed and the program ends
// Environment: DUNVOREL_TEST_PREV=1 stores AppPrevInstance = True in the form's property bag;
// DUNVOREL_TEST_NO_TEXTBOX=1 leaves the text box out; DUNVOREL_TEST_CMDLINE=1 only prints
// FormulatedCmdLine and ends.
#include <cstdio>

#include <QApplication>
#include <QLineEdit>
#include <QWidget>

#include "ComponentControl.h"
#include "Dunvorel_TypeLib.h"

namespace {

void Print(const QString& line) {
    std::fputs((line + u'\n').toUtf8().constData(), stdout);
    std::fflush(stdout);
}

bool Switch(const char* name) {
    return qEnvironmentVariableIntValue(name) == 1;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace Dunvorel_TypeLib;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("DunvorelTestHost"));
    QWidget form;
    form.setObjectName(QStringLiteral("frmTestHost"));
    form.setProperty(kLinkModeProperty, LinkMode_Source);
    if (!Switch("DUNVOREL_TEST_NO_TEXTBOX"))
        new QLineEdit(&form);
    QVariantMap bag;
    if (Switch("DUNVOREL_TEST_PREV"))
        bag.insert(QStringLiteral("AppPrevInstance"), true);
    QString error;
    ComponentControl* control =
        ComponentControl::Create(QString::fromLatin1(ProgID), &form, bag, &error);
    if (!control) {
        Print(error);
        return 1;
    }
    if (Switch("DUNVOREL_TEST_CMDLINE")) {
        QVariant commandLine;
        control->GetProperty(DispId::FormulatedCmdLine, &commandLine);
        Print(commandLine.toString());
        return 0;
    }
    control->ConnectEvent(EventId::AfterFormPosition,
                          [](ComponentEvent&) { Print(QStringLiteral("SHOWN")); });
    control->ConnectEvent(EventId::LinkExecute, [](ComponentEvent& event) {
        Print(QStringLiteral("EXECUTE:") + event.Value(0).toString());
    });
    form.show();
    const int code = QApplication::exec();
    Print(QStringLiteral("CLOSED"));
    return code;
}
