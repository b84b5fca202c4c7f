// regsvr: registers a control library in the per-user component registry, or with -u takes its
// registration out again, by calling the library's own DllRegisterServer or DllUnregisterServer.
// Exit status: 0 done, 1 usage, 3 the library cannot be loaded, 4 it lacks the entry, 5 the
// entry failed.
#include <cstdio>

#include <QFileInfo>
#include <QLibrary>
#include <QString>

#include "ComponentInterface.h"
#include "ComponentRegistry.h"

namespace {

enum Exit { Done = 0, Usage = 1, NotLoaded = 3, NoEntry = 4, EntryFailed = 5 };

void Print(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
}

int PrintUsage() {
    Print(stderr, QStringLiteral("usage: regsvr [-u] [-s] LIBRARY\n"
                                 "  registers the control library LIBRARY for this user in %1\n"
                                 "  -u, /u  unregister it instead\n"
                                 "  -s, /s  print nothing on success")
                      .arg(ComponentRegistry::RegistryPath()));
    return Usage;
}

}  // namespace

int main(int argc, char** argv) {
    bool unregister = false;
    bool silent = false;
    QString library;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QStringLiteral("-u") ||
            arg.compare(QStringLiteral("/u"), Qt::CaseInsensitive) == 0)
            unregister = true;
        else if (arg == QStringLiteral("-s") ||
                 arg.compare(QStringLiteral("/s"), Qt::CaseInsensitive) == 0)
            silent = true;
        else if (library.isEmpty() && !arg.startsWith(u'-'))
            library = QFileInfo(arg).absoluteFilePath();
        else
            return PrintUsage();
    }
    if (library.isEmpty())
        return PrintUsage();

    QLibrary lib(library);
    if (!lib.load()) {
        Print(stderr, QStringLiteral("regsvr: cannot load %1: %2").arg(library, lib.errorString()));
        return NotLoaded;
    }
    const char* entryName = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    const auto entry =
        reinterpret_cast<ComponentInterface::DllRegisterServerFn>(lib.resolve(entryName));
    if (!entry) {
        Print(stderr, QStringLiteral("regsvr: %1 has no %2: it is not a control library")
                          .arg(library, QLatin1String(entryName)));
        return NoEntry;
    }
    const qint32 result = entry();
    const QString registry = ComponentRegistry::RegistryPath();
    if (result == ComponentInterface::S_Ok) {
        if (!silent)
            Print(stdout, QStringLiteral("%1 %2 in %3")
                              .arg(unregister ? QStringLiteral("unregistered")
                                              : QStringLiteral("registered"),
                                   library, registry));
        return Done;
    }
    if (unregister && result == ComponentInterface::S_False) {
        if (!silent)
            Print(stdout, QStringLiteral("no registration in %1 names %2; nothing changed")
                              .arg(registry, library));
        return Done;
    }
    const QString why = result == ComponentInterface::SelfReg_E_Class
                            ? QStringLiteral("%1 could not be written").arg(registry)
                            : QStringLiteral("the library could not tell its own path");
    Print(stderr, QStringLiteral("regsvr: %1 in %2 failed (0x%3): %4")
                      .arg(QLatin1String(entryName), library)
                      .arg(quint32(result), 8, 16, QLatin1Char('0'))
                      .arg(why));
    return EntryFailed;
}
