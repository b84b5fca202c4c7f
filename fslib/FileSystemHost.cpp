#include "FileSystemHost.h"

#include <QDebug>

void HeadlessFileSystemHost::ShowMessage(const QString& text, Icon, const QString& title) {
    qWarning().noquote() << (title.isEmpty() ? text : title + QStringLiteral(": ") + text);
}

bool HeadlessFileSystemHost::Confirm(const QString& text, const QString& title) {
    qWarning().noquote() << (title.isEmpty() ? text : title + QStringLiteral(": ") + text)
                         << QStringLiteral("-> No");
    return false;
}
