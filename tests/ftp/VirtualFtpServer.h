#pragma once

#include <QByteArray>
#include <QMap>
#include <QSet>
#include <QString>

#include "ScriptedFtpServer.h"

// A scripted FTP server with a small file system of its own: CWD, MKD, STOR and the listings act
// on folders and files held in memory, as a real server would, so a whole walk can run against
// it. Paths are absolute, "/"-separated, letter case kept.
class VirtualFtpServer : public ScriptedFtpServer {
public:
    enum class Recursion { Headers, Refused };

    VirtualFtpServer();

    void AddFolder(const QString& path);
    void AddFile(const QString& path, const QByteArray& bytes = "x");
    bool HasFolder(const QString& path) const { return folders_.contains(Normal(path)); }
    bool HasFile(const QString& path) const { return files_.contains(Normal(path)); }
    QByteArray File(const QString& path) const { return files_.value(Normal(path)); }
    void RemoveFile(const QString& path) { files_.remove(Normal(path)); }
    int FileCount() const { return static_cast<int>(files_.size()); }

    // How NLST -aILR is answered: a vsftpd-style recursive listing, or 550.
    Recursion recursion = Recursion::Headers;
    // Paths the recursive listing leaves out, as a server that cuts its listing short would.
    QSet<QString> hiddenFromRecursive;
    // Blocks the recursive listing of "/" ends with, as they come: a server with far more files
    // than a test could hold one by one.
    QByteArray recursiveTail;
    // Folders whose MKD is refused although they do not exist.
    QSet<QString> refuseMkd;
    // Files whose STOR is refused.
    QSet<QString> refuseStor;
    // Name lists of single folders and names are refused (550), as a locked-down server does.
    bool refuseNameLists = false;
    // RNTO onto an existing file is refused (553), as some servers do.
    bool refuseRenameOntoFile = false;
    // A classic BSD ftpd: NLST's argument is an ls command line, cut at blanks, ls knows no -I,
    // and its errors go to the data connection like its output, ended by 226.
    bool classicLs = false;

    static QString Normal(const QString& path);

private:
    QString Resolve(const QByteArray& argument) const;
    QString Parent(const QString& path) const;
    QStringList Children(const QString& dir) const;
    QByteArray RecursiveListing(const QString& dir) const;
    QByteArray NameList(const QString& dir) const;
    QByteArray ClassicLs(const QByteArray& commandLine) const;

    QSet<QString> folders_;
    QMap<QString, QByteArray> files_;
    QString cwd_ = QStringLiteral("/");
    QString renameFrom_;
};
