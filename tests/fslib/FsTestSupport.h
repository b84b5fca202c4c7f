#pragma once

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QList>
#include <QString>

#include "FileSystemHost.h"

// Records what clsFileSystem shows and answers its questions from a script (No when it runs out).
class ScriptedFileSystemHost : public FileSystemHost {
public:
    struct Shown {
        QString text;
        Icon icon;
        QString title;
    };
    QList<Shown> messages;
    QStringList questions;
    QList<bool> answers;

    void ShowMessage(const QString& text, Icon icon, const QString& title) override {
        messages.append({text, icon, title});
    }
    bool Confirm(const QString& text, const QString&) override {
        questions.append(text);
        return !answers.isEmpty() && answers.takeFirst();
    }
};

// Writes a file, creating its folders.
inline void WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(path.left(path.lastIndexOf(QLatin1Char('/'))));
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

inline QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline mode_t ModeOf(const QString& path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

inline void Chmod(const QString& path, mode_t mode) {
    ::chmod(QFile::encodeName(path).constData(), mode);
}
