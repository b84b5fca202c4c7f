#include "VirtualFtpServer.h"

#include <utility>

namespace {
QByteArray Bytes(const QString& text) {
    return text.toUtf8();
}
}  // namespace

VirtualFtpServer::VirtualFtpServer() {
    folders_.insert(QStringLiteral("/"));
    On("CWD", [this](const QByteArray& a) {
        const QString path = Resolve(a);
        if (!folders_.contains(path)) {
            Send("550 Failed to change directory.\r\n");
            return;
        }
        cwd_ = path;
        Send("250 Directory successfully changed.\r\n");
    });
    On("MKD", [this](const QByteArray& a) {
        const QString path = Resolve(a);
        if (folders_.contains(path) || files_.contains(path) || refuseMkd.contains(path) ||
            !folders_.contains(Parent(path))) {
            Send("550 Create directory operation failed.\r\n");
            return;
        }
        folders_.insert(path);
        Send("257 \"" + Bytes(path) + "\" created\r\n");
    });
    On("STOR", [this](const QByteArray& a) {
        const QString path = Resolve(a);
        if (!folders_.contains(Parent(path)) || folders_.contains(path) ||
            refuseStor.contains(path)) {
            Send("553 Could not create file.\r\n");
            return;
        }
        ConnectData([this, path] {
            OnDataEnd = [this, path] {
                files_[path] = Stored();
                Send("226 Transfer complete.\r\n");
            };
            Send("150 Ok to send data.\r\n");
        });
    });
    On("DELE", [this](const QByteArray& a) {
        Send(files_.remove(Resolve(a)) ? "250 Delete operation successful.\r\n"
                                       : "550 Delete operation failed.\r\n");
    });
    On("RNFR", [this](const QByteArray& a) {
        renameFrom_ = Resolve(a);
        Send(files_.contains(renameFrom_) ? "350 Ready for RNTO.\r\n"
                                          : "550 RNFR command failed.\r\n");
    });
    On("RNTO", [this](const QByteArray& a) {
        const QString to = Resolve(a);
        const QString from = std::exchange(renameFrom_, QString());
        if (!files_.contains(from) || folders_.contains(to) ||
            (refuseRenameOntoFile && files_.contains(to))) {
            Send("553 Rename failed.\r\n");
            return;
        }
        files_[to] = files_.take(from);
        Send("250 Rename successful.\r\n");
    });
    On("NLST", [this](const QByteArray& a) {
        if (classicLs) {
            ServeListing(ClassicLs(a));
            return;
        }
        if (a.startsWith("-aILR ")) {
            const QString dir = Resolve(a.mid(6));
            if (recursion == Recursion::Refused || !folders_.contains(dir))
                Send("550 Permission denied.\r\n");
            else
                ServeListing(RecursiveListing(dir) + recursiveTail);
            return;
        }
        if (refuseNameLists) {
            Send("550 No such file or directory.\r\n");
            return;
        }
        const QByteArray target = a == "-a" ? QByteArray() : a.startsWith("-a ") ? a.mid(3) : a;
        const QString path = Resolve(target);
        QByteArray listing;
        if (folders_.contains(path))
            listing = NameList(path);
        else if (files_.contains(path))
            listing = target + "\r\n";
        // A missing name is an empty listing, as vsftpd answers it.
        ServeListing(listing);
    });
}

QString VirtualFtpServer::Normal(const QString& path) {
    QString n;
    for (const QChar c : path) {
        if (c == QLatin1Char('/') && n.endsWith(QLatin1Char('/')))
            continue;
        n.append(c);
    }
    if (n.size() > 1 && n.endsWith(QLatin1Char('/')))
        n.chop(1);
    return n.isEmpty() ? QStringLiteral("/") : n;
}

QString VirtualFtpServer::Resolve(const QByteArray& argument) const {
    const QString text = QString::fromUtf8(argument);
    return Normal(text.startsWith(QLatin1Char('/')) ? text : cwd_ + QLatin1Char('/') + text);
}

QString VirtualFtpServer::Parent(const QString& path) const {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

QStringList VirtualFtpServer::Children(const QString& dir) const {
    QStringList children;
    for (const QString& f : folders_)
        if (f != dir && Parent(f) == dir)
            children.append(f);
    for (auto it = files_.constBegin(); it != files_.constEnd(); ++it)
        if (Parent(it.key()) == dir)
            children.append(it.key());
    children.sort();
    return children;
}

QByteArray VirtualFtpServer::NameList(const QString& dir) const {
    QByteArray listing;
    for (const QString& child : Children(dir))
        listing += Bytes(child.mid(child.lastIndexOf(QLatin1Char('/')) + 1)) + "\r\n";
    return listing;
}

// What BSD ls writes for the words of a command line: errors, then the files named, then each
// folder named, under a header of its name when there are several.
QByteArray VirtualFtpServer::ClassicLs(const QByteArray& commandLine) const {
    static const QByteArray kOptions = "ABCFGHLPRSTWabcdefghiklmnopqrstuwx1";
    QList<QByteArray> operands;
    for (const QByteArray& word : commandLine.simplified().split(' ')) {
        if (word.isEmpty())
            continue;
        if (operands.isEmpty() && word.startsWith('-')) {
            for (const char option : word.mid(1)) {
                if (!kOptions.contains(option))
                    return "ls: illegal option -- " + QByteArray(1, option) + "\nusage: ls [-" +
                           kOptions + "] [file ...]\n";
            }
            continue;
        }
        operands.append(word);
    }
    if (operands.isEmpty())
        return ".\n..\n" + NameList(cwd_);
    QByteArray errors;
    QByteArray files;
    QByteArray folders;
    for (const QByteArray& operand : operands) {
        const QString path = Resolve(operand);
        if (files_.contains(path)) {
            files += operand + "\n";
        } else if (folders_.contains(path)) {
            if (operands.size() > 1)
                folders += "\n" + operand + ":\n";
            folders += ".\n..\n" + NameList(path);
        } else {
            errors += "ls: " + operand + ": No such file or directory\n";
        }
    }
    return errors + files + folders;
}

// vsftpd with ls_recurse_enable: a header per folder, full paths below it, "." included.
QByteArray VirtualFtpServer::RecursiveListing(const QString& dir) const {
    QByteArray out = Bytes(dir) + ":\r\n" + Bytes(Normal(dir + QStringLiteral("/."))) + "\r\n";
    QStringList subfolders;
    for (const QString& child : Children(dir)) {
        if (hiddenFromRecursive.contains(child))
            continue;
        out += Bytes(child) + "\r\n";
        if (folders_.contains(child))
            subfolders.append(child);
    }
    for (const QString& sub : subfolders)
        out += "\r\n" + RecursiveListing(sub);
    return out;
}

void VirtualFtpServer::AddFolder(const QString& path) {
    QString p = Normal(path);
    while (p != QStringLiteral("/")) {
        folders_.insert(p);
        p = Parent(p);
    }
}

void VirtualFtpServer::AddFile(const QString& path, const QByteArray& bytes) {
    AddFolder(Parent(Normal(path)));
    files_[Normal(path)] = bytes;
}
