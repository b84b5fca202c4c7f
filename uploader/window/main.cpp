// SkerrowEx: the main window of the uploader.
#include <csignal>

#include <QApplication>
#include <QSessionManager>

#include "API_IniFileAccess.h"
#include "AppTitle.h"
#include "Fun_CheckUnloadMode.h"
#include "MessageBoxHost.h"
#include "QtTranslation.h"
#include "Settings.h"
#include "UnixSignalNotifier.h"
#include "frmSkerrow.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(AppTitle::Title());
    QApplication::setApplicationVersion(QStringLiteral(SKERROWEX_VERSION));
    // Lets the desktop give the window the installed entry's name and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("SkerrowEx"));
    QtTranslation::InstallJapanese();

    MessageBoxHost host;
    API_IniFileAccess::SetMessageHost(&host);
    if (!Settings::ApplyCodePage())
        host.ShowMessage(
            QStringLiteral(
                "設定ファイルの CodePage が不明な文字コードです。既定の文字コードを使用します。"),
            MsgIcon::Exclamation, MsgButtons::Ok);
    frmSkerrow window(host);
    host.SetParentWidget(&window);

    // A session end or a termination request ends the program at once, saving nothing.
    UnixSignalNotifier signals_({SIGTERM, SIGHUP});
    QObject::connect(&signals_, &UnixSignalNotifier::Raised, &window, [&window] {
        window.SystemUnload(Fun_CheckUnloadMode::UnloadMode_AppTaskManager);
    });
#if QT_CONFIG(sessionmanager)
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window, [&window] {
        window.SystemUnload(Fun_CheckUnloadMode::UnloadMode_AppWindows);
    });
#endif

    window.show();
    const int code = QApplication::exec();
    API_IniFileAccess::SetMessageHost(nullptr);
    return code;
}
