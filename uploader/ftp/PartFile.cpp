#include "PartFile.h"

namespace {
const QString kSuffix = QStringLiteral(".skerrowex-part");
}  // namespace

namespace PartFile {

QString PathOf(const QString& remotePath) {
    const qsizetype name = remotePath.lastIndexOf(QLatin1Char('/')) + 1;
    return remotePath.left(name) + QLatin1Char('.') + remotePath.mid(name) + kSuffix;
}

bool IsPart(const QString& remotePath) {
    const QStringView name = QStringView(remotePath).mid(remotePath.lastIndexOf(u'/') + 1);
    return name.size() > kSuffix.size() + 1 && name.startsWith(u'.') && name.endsWith(kSuffix);
}

}  // namespace PartFile
