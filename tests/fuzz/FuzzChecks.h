#pragma once

#include <QByteArrayView>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

// What each fuzz target asserts of one input: empty when every property holds, else what broke.
// The libFuzzer targets and the corpus replay test call the same functions.
namespace FuzzChecks {

// The same replies however the stream is split; every reply a whole one, nothing invented.
QString ReplyFramer(QByteArrayView input);
// First byte: the listing's form, second: the listed folder. The same paths however the data is
// split; none outside the folder, none with a "." or ".." step, none with CR or LF.
QString Listing(QByteArrayView input);
// The input as a settings file, one key written (first byte: which): every line but the one
// written keeps its bytes, and the key reads back.
QString Ini(QByteArrayView input);
// The input as a profile file: load, save, load gives the same rows, saved as Compose says.
QString ProfileFile(QByteArrayView input);
// The input as a conversion table: loads the same twice, rows of the right shape, and a path
// that no row names is left as it is.
QString ConvTable(QByteArrayView input);

// Writes the input to a file of the process's own temporary folder, the same path for the same
// name every time (the INI module remembers each path it has seen). Empty when it cannot.
inline QString InputFile(const QString& name, QByteArrayView input) {
    static QTemporaryDir dir;
    const QString path = dir.filePath(name);
    QFile file(path);
    const bool written = file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                         file.write(input.data(), input.size()) == input.size();
    return written ? path : QString();
}

}  // namespace FuzzChecks
