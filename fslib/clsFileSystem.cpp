#include "clsFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <initializer_list>
#include <utility>
#include <vector>

#include "DefaultApplication.h"
#include "DosAttrib.h"
#include "FileSystemError.h"
#include "LikePattern.h"
#include "MountTable.h"
#include "PeVersionInfo.h"

namespace {

QString Title() {
    return QStringLiteral("ﾌｧｲﾙ制御ｸﾗｽﾗｲﾌﾞﾗﾘ");
}

// A path holding NUL would name another file to the system: it names none.
QByteArray Encoded(const QString& path) {
    return path.contains(QChar(u'\0')) ? QByteArray() : QFile::encodeName(path);
}

bool Stat(const QString& path, struct stat* st) {
    return !path.isEmpty() && ::stat(Encoded(path).constData(), st) == 0;
}

QString WithSlash(const QString& path) {
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

// Basic's Trim: blanks only, not other white space.
QString TrimBlanks(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == QLatin1Char(' '))
        ++begin;
    while (end > begin && text[end - 1] == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

// The names in a folder in byte order, so results are reproducible; "." and ".." only when
// asked for. False when the folder cannot be read.
bool ListFolder(const QString& folder, bool withDots, QStringList* names) {
    DIR* d = opendir(Encoded(folder).constData());
    if (!d)
        return false;
    std::vector<QByteArray> raw;
    while (const dirent* e = readdir(d)) {
        const QByteArray name(e->d_name);
        if (withDots || (name != "." && name != ".."))
            raw.push_back(name);
    }
    closedir(d);
    std::sort(raw.begin(), raw.end());
    names->clear();
    for (const QByteArray& name : raw)
        names->append(QFile::decodeName(name));
    return true;
}

// The attribute bits of an entry (links followed; a broken link is taken as it stands).
quint32 AttributesOf(const QString& path) {
    struct stat st {};
    const QByteArray encoded = Encoded(path);
    if (::stat(encoded.constData(), &st) != 0 && ::lstat(encoded.constData(), &st) != 0)
        return 0;
    quint32 bits = DosAttrib::Read(path) &
                   (DosAttrib::HiddenBit | DosAttrib::SystemBit | DosAttrib::ArchiveBit);
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        bits |= DosAttrib::ReadOnlyBit;
    if (S_ISDIR(st.st_mode))
        bits |= DosAttrib::DirectoryBit;
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    if (name.startsWith(QLatin1Char('.')) && name != QLatin1String(".") &&
        name != QLatin1String(".."))
        bits |= DosAttrib::HiddenBit;
    return bits;
}

using Branch = std::vector<std::pair<dev_t, ino_t>>;

void SearchInto(const QString& base, const QString& lowerTarget, bool withSubfolders,
                QStringList* paths, QList<qint32>* attrs, Branch* branch) {
    struct stat self {};
    if (!Stat(base, &self))
        return;
    const std::pair<dev_t, ino_t> identity{self.st_dev, self.st_ino};
    if (std::find(branch->begin(), branch->end(), identity) != branch->end())
        return;
    QStringList names;
    if (!ListFolder(base, false, &names))
        return;
    branch->push_back(identity);
    for (const QString& name : names) {
        const QString path = base + name;
        const quint32 bits = AttributesOf(path);
        if (lowerTarget.isEmpty() || LikeMatch(name.toLower(), lowerTarget)) {
            paths->append(path);
            attrs->append(static_cast<qint32>(bits));
        }
        if (withSubfolders && (bits & DosAttrib::DirectoryBit))
            SearchInto(path + QLatin1Char('/'), lowerTarget, true, paths, attrs, branch);
    }
    branch->pop_back();
}

// Copies from into to through a temporary file that replaces to only when complete, then gives
// it from's permission bits and access and modification times. Only a regular file is copied:
// it is opened without blocking, so that a fifo is refused instead of waited on.
bool CopyKeeping(const QString& from, const QString& to) {
    QFile in;
    struct stat st {};
    const int fd = ::open(Encoded(from).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        !in.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    QSaveFile out(to);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(1 << 20);
        if (chunk.isEmpty() || out.write(chunk) != chunk.size()) {
            out.cancelWriting();
            break;
        }
    }
    if (!out.commit())
        return false;
    const QByteArray target = Encoded(to);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    return ::chmod(target.constData(), st.st_mode & 07777) == 0 &&
           ::utimensat(AT_FDCWD, target.constData(), times, 0) == 0;
}

// Extended attributes need write permission: the owner of a read-only file lends it write
// permission for the change, as one may hide a read-only file on Windows.
int ChangeDosBit(const QString& path, quint32 bit, bool on) {
    int error = DosAttrib::Change(path, bit, on);
    const QByteArray encoded = Encoded(path);
    struct stat st {};
    if (error != EACCES || ::stat(encoded.constData(), &st) != 0 || st.st_uid != ::geteuid() ||
        (st.st_mode & S_IWUSR) != 0 ||
        ::chmod(encoded.constData(), (st.st_mode | S_IWUSR) & 07777) != 0)
        return error;
    error = DosAttrib::Change(path, bit, on);
    ::chmod(encoded.constData(), st.st_mode & 07777);
    return error;
}

// A move that never replaces what is at to.
bool RenameNoReplace(const QString& from, const QString& to) {
    const QByteArray source = Encoded(from);
    const QByteArray target = Encoded(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0)
        return true;
    // File systems without the flag: a new link fails on an existing name just the same.
    if (errno != EINVAL || ::link(source.constData(), target.constData()) != 0)
        return false;
    return ::unlink(source.constData()) == 0;
}

QString VersionText(quint32 mostSignificant, quint32 leastSignificant) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(mostSignificant >> 16)
        .arg(mostSignificant & 0xFFFF)
        .arg(leastSignificant >> 16)
        .arg(leastSignificant & 0xFFFF);
}

QString FormatFileTime(const struct statx_timestamp& ts) {
    static const char* const kWeekdays[] = {" 日曜日 ", " 月曜日 ", " 火曜日 ", " 水曜日 ",
                                            " 木曜日 ", " 金曜日 ", " 土曜日 "};
    const QDateTime local = QDateTime::fromSecsSinceEpoch(ts.tv_sec, Qt::LocalTime);
    const QDate d = local.date();
    const QTime t = local.time();
    const QString weekday = QString::fromUtf8(kWeekdays[d.dayOfWeek() % 7]).leftJustified(8);
    return QStringLiteral("%1年%2月%3日%4%5:%6:%7")
        .arg(d.year())
        .arg(d.month())
        .arg(d.day())
        .arg(weekday)
        .arg(t.hour())
        .arg(t.minute())
        .arg(t.second());
}

struct Label {
    quint32 value;
    const char* text;
};

QString LabelOf(std::initializer_list<Label> labels, quint32 value, const char* otherwise) {
    for (const Label& label : labels)
        if (label.value == value)
            return QString::fromUtf8(label.text);
    return QString::fromUtf8(otherwise);
}

QString FileTypeLabel(quint32 type) {
    return LabelOf({{0, "不明"},
                    {1, "ｱﾌﾟﾘｹｰｼｮﾝ"},
                    {2, "ﾀﾞｲﾅﾐｯｸﾘﾝｸﾗｲﾌﾞﾗﾘ"},
                    {3, "ﾃﾞﾊﾞｲｽﾄﾞﾗｲﾊﾞ"},
                    {4, "ﾌｫﾝﾄ"},
                    {5, "仮想ﾃﾞﾊﾞｲｽﾄﾞﾗｲﾊﾞ"},
                    {7, "ｽﾀﾃｲｯｸﾗｲﾌﾞﾗﾘ"}},
                   type, "");
}

QString FileSubtypeLabel(quint32 type, quint32 subtype) {
    if (type == 3)
        return LabelOf({{0, "不明"},
                        {1, "ﾌﾟﾘﾝﾀﾄﾞﾗｲﾊﾞ"},
                        {2, "ｷｰﾎﾞｰﾄﾞﾄﾞﾗｲﾊﾞ"},
                        {3, "言語ﾄﾞﾗｲﾊﾞ"},
                        {4, "ﾃﾞｨｽﾌﾟﾚｲﾄﾞﾗｲﾊﾞ"},
                        {5, "ﾏｳｽﾄﾞﾗｲﾊﾞ"},
                        {6, "ﾈｯﾄﾜｰｸﾄﾞﾗｲﾊﾞ"},
                        {7, "ｼｽﾃﾑﾄﾞﾗｲﾊﾞ"},
                        {8, "ｲﾝｽﾄｰﾙﾄﾞﾗｲﾊﾞ"},
                        {9, "ｻｳﾝﾄﾞﾄﾞﾗｲﾊﾞ"},
                        {10, "通信ﾄﾞﾗｲﾊﾞ"},
                        {11, "IMEﾄﾞﾗｲﾊﾞ"}},
                       subtype, "");
    if (type == 4)
        return LabelOf({{1, "ﾗｽﾀｰﾌｫﾝﾄ"}, {2, "ﾍﾞｸﾀｰﾌｫﾝﾄ"}, {3, "ﾄｩﾙｰﾀｲﾌﾟﾌｫﾝﾄ"}}, subtype, "");
    return QStringLiteral("不明");
}

QString FileOSLabel(quint32 os) {
    return LabelOf({{0, "不明"},
                    {1, "16bit Windows"},
                    {2, "16bit Presentation Manager"},
                    {3, "32bit Presentation Manager"},
                    {4, "32bit Windows"},
                    {0x10000, "DOS"},
                    {0x10001, "DOS上の16bit Windows"},
                    {0x10004, "DOS上の32bit Windows"},
                    {0x20000, "16bit OS/2"},
                    {0x20002, "16bit OS/2上のPresentation Manager"},
                    {0x30000, "32bit OS/2"},
                    {0x30003, "32bit OS/2上のPresentation Manager"},
                    {0x40000, "Windows NT"},
                    {0x40004, "32bit Windows NT"}},
                   os, "");
}

// By the whole flags value: a combination of flags has no label of its own.
QString BuildTypeLabel(quint32 flags) {
    return LabelOf({{1, "ﾃﾞﾊﾞｯｸﾞﾋﾞﾙﾄﾞ"},
                    {2, "ﾌﾟﾚﾘﾘｰｽﾋﾞﾙﾄﾞ"},
                    {4, "ﾊﾟｯﾁﾋﾞﾙﾄﾞ"},
                    {8, "ﾌﾟﾗｲﾍﾞｰﾄﾋﾞﾙﾄﾞ"},
                    {16, ""},
                    {32, "ｽﾍﾟｼｬﾙﾋﾞﾙﾄﾞ"}},
                   flags, "不明");
}

// The pieces of a folder from start up to its end: "../" for each, or each followed by "/".
// An empty piece ends the folder, except the one at 0, which stands for the root.
QString BuildRelativeTail(const QStringList& pieces, qsizetype start, bool upward) {
    QString tail;
    for (qsizetype k = start; k < pieces.size() && (k == 0 || !pieces[k].isEmpty()); ++k)
        tail += upward ? QStringLiteral("../") : pieces[k] + QLatin1Char('/');
    return tail;
}

}  // namespace

clsFileSystem::clsFileSystem(FileSystemHost* host) : m_host(host ? host : &m_headless) {}

// ---- Current file, existence, enumeration ----

bool clsFileSystem::ENABLED() const {
    if (m_fileName.isEmpty())
        return false;
    // Non-blocking, so a fifo without a writer does not hang the test.
    const int fd =
        ::open(Encoded(m_fileName).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    const bool enabled = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
    ::close(fd);
    return enabled;
}

qint32 clsFileSystem::ExistFileOrFolder(const QString& Target) {
    struct stat st {};
    if (!Stat(Target, &st))
        return FS_EXIST_NONE;
    return S_ISDIR(st.st_mode) ? FS_EXIST_FOLDER : FS_EXIST_FILE;
}

qint32 clsFileSystem::SearchFile(const QString& strBasePath, QStringList* paths,
                                 QList<qint32>* attrs, const QString& Target, bool bSubFolder) {
    paths->clear();
    attrs->clear();
    Branch branch;
    SearchInto(WithSlash(strBasePath), Target.toLower(), bSubFolder, paths, attrs, &branch);
    if (paths->isEmpty()) {
        *paths = QStringList{QString()};
        *attrs = QList<qint32>{0};
        return -1;
    }
    return static_cast<qint32>(paths->size() - 1);
}

bool clsFileSystem::EnumDir(const QString& strBasePath, QStringList* paths, bool bWantedFullPath) {
    if (ExistFileOrFolder(strBasePath) != FS_EXIST_FOLDER)
        return false;
    QStringList entries;
    QList<qint32> attrs;
    if (SearchFile(strBasePath, &entries, &attrs, QString(), false) == -1)
        return false;
    QStringList folders;
    for (qsizetype i = 0; i < entries.size(); ++i)
        if (attrs[i] & DosAttrib::DirectoryBit)
            folders << (bWantedFullPath
                            ? entries[i]
                            : entries[i].mid(entries[i].lastIndexOf(QLatin1Char('/')) + 1));
    if (!folders.isEmpty())
        *paths = folders;
    return true;
}

QString clsFileSystem::Dir2(const QString& Path, qint32 nFileAttr) {
    if (!Path.isEmpty()) {
        m_search.reset();
        const qsizetype slash = Path.lastIndexOf(QLatin1Char('/'));
        Search search;
        search.folder = Path.left(slash + 1);
        search.mask = nFileAttr;
        QString pattern = Path.mid(slash + 1).toLower();
        if (pattern == QLatin1String("*.*"))
            pattern = QStringLiteral("*");
        QStringList names;
        if (!ListFolder(search.folder.isEmpty() ? QStringLiteral(".") : search.folder, true,
                        &names))
            return QString();
        for (const QString& name : names)
            if (LikeMatch(name.toLower(), pattern))
                search.names << name;
        if (search.names.isEmpty())
            return QString();
        m_search = std::move(search);
    }
    return m_search ? NextMatch() : QString();
}

QString clsFileSystem::NextMatch() {
    Search& s = *m_search;
    while (s.next < s.names.size()) {
        const QString& name = s.names[s.next++];
        const quint32 bits = AttributesOf(s.folder + name);
        const bool accepted = s.mask == 0 ? (bits & DosAttrib::DirectoryBit) == 0
                                          : (bits & static_cast<quint32>(s.mask)) != 0;
        if (accepted)
            return name;
    }
    return QString();
}

bool clsFileSystem::MakeFolders(const QString& szDir) {
    const QString dir = WithSlash(szDir);
    // The first character after the root "/".
    qsizetype p = 1;
    while (p < dir.size()) {
        const qsizetype slash = dir.indexOf(QLatin1Char('/'), p);
        const QString prefix = dir.left(slash);
        const qint32 exists = ExistFileOrFolder(prefix);
        if (exists == FS_EXIST_FILE)
            return false;
        if (exists == FS_EXIST_NONE)
            ::mkdir(Encoded(prefix).constData(), 0777);
        p = slash + 1;
    }
    return true;
}

qint32 clsFileSystem::FolderCopy(const QString& SrcPath, const QString& DistPath) {
    const QString source = WithSlash(SrcPath);
    QStringList entries;
    QList<qint32> attrs;
    // The whole tree is listed before anything is copied, so a destination inside the source
    // is not copied into itself.
    if (SearchFile(source, &entries, &attrs, QString(), true) == -1) {
        MakeFolders(DistPath);
        return 0;
    }
    const QString destination = WithSlash(DistPath);
    qint32 copied = 0;
    for (const QString& entry : entries) {
        if (ExistFileOrFolder(entry) != FS_EXIST_FILE)
            continue;
        FileName(entry);
        FileCopy(destination + entry.mid(source.size()));
        ++copied;
    }
    return copied;
}

// ---- Copy and move ----

QString clsFileSystem::Destination(const QString& strToPath) const {
    if (ExistFileOrFolder(strToPath) == FS_EXIST_FOLDER)
        return WithSlash(strToPath) + m_fileName.mid(m_fileName.lastIndexOf(QLatin1Char('/')) + 1);
    return strToPath;
}

bool clsFileSystem::MayReplace(const QString& target) const {
    struct stat there {};
    if (::lstat(Encoded(target).constData(), &there) != 0)
        return errno == ENOENT;
    struct stat here {};
    if (S_ISDIR(there.st_mode) || !Stat(m_fileName, &here) ||
        (here.st_dev == there.st_dev && here.st_ino == there.st_ino))
        return false;
    return m_host->Confirm(QStringLiteral("%1 は既にあります。置き換えますか?").arg(target),
                           Title());
}

void clsFileSystem::FileCopy(const QString& strToPath) {
    RequireEnabled();
    const QString target = Destination(strToPath);
    if (MayReplace(target) && MakeFolders(GetPathName(target)))
        CopyKeeping(m_fileName, target);
}

void clsFileSystem::Move(const QString& strToPath) {
    RequireEnabled();
    const QString target = Destination(strToPath);
    if (!MayReplace(target) || !MakeFolders(GetPathName(target)))
        return;
    const QByteArray source = Encoded(m_fileName);
    if (::rename(source.constData(), Encoded(target).constData()) == 0)
        return;
    if (errno == EXDEV && CopyKeeping(m_fileName, target))
        ::unlink(source.constData());
}

void clsFileSystem::Rename(const QString& strToPath) {
    RequireEnabled();
    if (MayReplace(strToPath))
        ::rename(Encoded(m_fileName).constData(), Encoded(strToPath).constData());
}

void clsFileSystem::Trash() {
    RequireEnabled();
    // The home trash lives in the data folder; where that is missing Qt would take the current
    // folder for a trash, so it is made first, as the desktop would have.
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    QFile::moveToTrash(m_fileName);
}

void clsFileSystem::FirstMove(const QString& strToPath) {
    RequireEnabled();
    const QString folder = GetPathName(strToPath);
    struct stat here {};
    struct stat there {};
    if (!Stat(m_fileName, &here) || !Stat(folder.isEmpty() ? QStringLiteral(".") : folder, &there))
        return;
    if (here.st_dev != there.st_dev) {
        m_host->ShowMessage(QStringLiteral("移動元と移動先のﾄﾞﾗｲﾌﾞは同じである必用があります"),
                            FileSystemHost::Icon::None, Title());
        return;
    }
    RenameNoReplace(m_fileName, strToPath);
}

// ---- Paths and names ----

QString clsFileSystem::GetPathName(const QString& FName) {
    return FName.left(FName.lastIndexOf(QLatin1Char('/')) + 1);
}

QString clsFileSystem::GetFileName(const QString& FName, const QString&) {
    return TrimBlanks(FName.mid(FName.lastIndexOf(QLatin1Char('/')) + 1));
}

QString clsFileSystem::GetFileNameOnly(const QString& FName) {
    const QString name = FName.mid(FName.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return TrimBlanks(dot < 0 ? name : name.left(dot));
}

QString clsFileSystem::GetFileExOnly(const QString& FileName) {
    for (qsizetype i = FileName.size() - 1; i >= 0; --i) {
        const QChar c = FileName[i];
        if (c == QLatin1Char('/') || c == QLatin1Char('\\'))
            return QString();
        if (c == QLatin1Char('.'))
            return FileName.mid(i + 1);
    }
    return QString();
}

QString clsFileSystem::FormulateSaveFileName(const QString& strPath, const QString& strDefaultEx) {
    if (!GetFileExOnly(strPath).isEmpty())
        return strPath;
    return strPath + QLatin1Char('.') + strDefaultEx;
}

QString clsFileSystem::DirNameLikeWeb(const QString& DIRNAME) {
    return QStringLiteral("file://") + DIRNAME;
}

QString clsFileSystem::RelativeFile(const QString& szSource, const QString& szTarget,
                                    bool bCompareByLongPath, bool bCompareByAbsolutePath) const {
    if (szSource.isEmpty() || szTarget.isEmpty())
        return QString();
    QString source = szSource;
    QString target = szTarget;
    try {
        if (!PrepareRelativeInput(&source, bCompareByLongPath, bCompareByAbsolutePath) ||
            !PrepareRelativeInput(&target, bCompareByLongPath, bCompareByAbsolutePath))
            return QString();
    } catch (const FileSystemError&) {
        return QString();
    }
    const QString name = GetFileName(target);
    const QStringList s = GetPathName(source).split(QLatin1Char('/'));
    const QStringList t = GetPathName(target).split(QLatin1Char('/'));

    enum class State { Diverged, TargetAbove, SourceAbove };
    State state = State::Diverged;
    qsizetype i = 0;
    // Paths on different file systems have nothing in common.
    if (s.size() > 1 && GetDrive(source) == GetDrive(target)) {
        for (;;) {
            if (i >= s.size() || i >= t.size())
                return QString();
            if (t[i] != s[i])
                break;
            ++i;
            if (i == t.size() - 1) {
                state = State::TargetAbove;
                break;
            }
            if (i == s.size() - 1) {
                state = State::SourceAbove;
                break;
            }
        }
    }
    QString tail;
    if (state == State::TargetAbove)
        tail = BuildRelativeTail(s, i, true);
    else if (state == State::SourceAbove || i == 0)
        tail = BuildRelativeTail(t, i, false);
    else
        tail = BuildRelativeTail(s, i, true) + BuildRelativeTail(t, i, false);
    return tail + name;
}

bool clsFileSystem::PrepareRelativeInput(QString* path, bool bCompareByLongPath,
                                         bool bCompareByAbsolutePath) const {
    if (path->contains(QLatin1String("://"))) {
        m_host->ShowMessage(
            QStringLiteral(
                "clsFileSystem.RelativeFileは、url形式をｻﾎﾟｰﾄしてません。(delimiter=/) "),
            FileSystemHost::Icon::Exclamation, QString());
        return false;
    }
    bool dotPiece = false;
    bool shortPiece = false;
    for (const QString& piece : path->split(QLatin1Char('/'))) {
        dotPiece = dotPiece || piece == QLatin1String(".") || piece == QLatin1String("..");
        shortPiece = shortPiece || LikeMatch(piece, QStringLiteral("*~#")) ||
                     LikeMatch(piece, QStringLiteral("*~##"));
    }
    if (bCompareByAbsolutePath && dotPiece)
        *path = GetAbsolutePath(*path);
    if (bCompareByLongPath && shortPiece)
        *path = GetLongPath(*path);
    return true;
}

QString clsFileSystem::GetAbsolutePath(const QString& Path) {
    QStringList kept;
    for (const QString& piece : Path.split(QLatin1Char('/'))) {
        if (piece.isEmpty() || piece == QLatin1String("."))
            continue;
        if (piece != QLatin1String("..")) {
            kept << piece;
        } else if (kept.isEmpty()) {
            throw FileSystemError::SubscriptOutOfRange();
        } else {
            kept.removeLast();
        }
    }
    const QString joined = kept.join(QLatin1Char('/'));
    return Path.startsWith(QLatin1Char('/')) ? QLatin1Char('/') + joined : joined;
}

QString clsFileSystem::GetLongPath(const QString& ShortPath) {
    return ShortPath.isEmpty() ? QString() : QFileInfo(ShortPath).canonicalFilePath();
}

bool clsFileSystem::IsNetDrive(const QString& szPath) {
    return szPath.startsWith(QLatin1String("//"));
}

QString clsFileSystem::GetDrive(const QString& szPath) {
    if (IsNetDrive(szPath)) {
        const qsizetype slash = szPath.indexOf(QLatin1Char('/'), 2);
        if (slash > 2)
            return szPath.left(slash);
    } else if (szPath.startsWith(QLatin1Char('/'))) {
        return MountTable::MountPointOf(szPath);
    }
    const QString programFolder = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    return programFolder.startsWith(QLatin1Char('/')) ? MountTable::MountPointOf(programFolder)
                                                      : QString();
}

QString clsFileSystem::FindExecutable(const QString& lpFile) {
    return DefaultApplication::ProgramFor(lpFile);
}

// ---- Attributes, times and version information ----

void clsFileSystem::RequireEnabled() const {
    if (!ENABLED())
        throw FileSystemError::FileNotFound(m_fileName);
}

quint32 clsFileSystem::Attributes() const {
    RequireEnabled();
    return AttributesOf(m_fileName);
}

bool clsFileSystem::Attribute(quint32 bit) const {
    return (Attributes() & bit) != 0;
}

void clsFileSystem::Attribute(quint32 bit, bool on) {
    if (Attribute(bit) == on)
        return;
    const QByteArray path = Encoded(m_fileName);
    int error = 0;
    if (bit == DosAttrib::ReadOnlyBit) {
        struct stat st {};
        const mode_t writeBits = S_IWUSR | S_IWGRP | S_IWOTH;
        if (::stat(path.constData(), &st) != 0 ||
            ::chmod(path.constData(),
                    on ? st.st_mode & ~writeBits & 07777 : (st.st_mode | S_IWUSR) & 07777) != 0)
            error = errno;
    } else {
        error = ChangeDosBit(m_fileName, bit, on);
    }
    if (error != 0)
        throw FileSystemError::AttributeNotWritten(m_fileName, error);
}

bool clsFileSystem::Archive() const {
    return Attribute(DosAttrib::ArchiveBit);
}
void clsFileSystem::Archive(bool bValue) {
    Attribute(DosAttrib::ArchiveBit, bValue);
}
bool clsFileSystem::Hidden() const {
    return Attribute(DosAttrib::HiddenBit);
}
void clsFileSystem::Hidden(bool bValue) {
    Attribute(DosAttrib::HiddenBit, bValue);
}
bool clsFileSystem::System() const {
    return Attribute(DosAttrib::SystemBit);
}
void clsFileSystem::System(bool bValue) {
    Attribute(DosAttrib::SystemBit, bValue);
}
bool clsFileSystem::ReadOnly() const {
    return Attribute(DosAttrib::ReadOnlyBit);
}
void clsFileSystem::ReadOnly(bool bValue) {
    Attribute(DosAttrib::ReadOnlyBit, bValue);
}
bool clsFileSystem::Directory() const {
    return Attribute(DosAttrib::DirectoryBit);
}

bool clsFileSystem::Executable() const {
    RequireEnabled();
    struct stat st {};
    return Stat(m_fileName, &st) && S_ISREG(st.st_mode) &&
           ::access(Encoded(m_fileName).constData(), X_OK) == 0;
}

qint64 clsFileSystem::SIZE() const {
    RequireEnabled();
    struct stat st {};
    if (!Stat(m_fileName, &st))
        throw FileSystemError::FileNotFound(m_fileName);
    return static_cast<qint64>(st.st_size);
}

qint32 clsFileSystem::CompressedSize() const {
    struct stat st {};
    if (!Stat(m_fileName, &st))
        return -1;
    return static_cast<qint32>(static_cast<quint32>(static_cast<quint64>(st.st_blocks) * 512));
}

qint32 clsFileSystem::Links() const {
    RequireEnabled();
    struct stat st {};
    if (!Stat(m_fileName, &st))
        throw FileSystemError::FileNotFound(m_fileName);
    return static_cast<qint32>(st.st_nlink);
}

QString clsFileSystem::ReadFileTime(FileTime which) const {
    RequireEnabled();
    struct statx sx {};
    if (::statx(AT_FDCWD, Encoded(m_fileName).constData(), 0,
                STATX_BTIME | STATX_ATIME | STATX_MTIME, &sx) != 0)
        throw FileSystemError::FileNotFound(m_fileName);
    switch (which) {
        case FileTime::Birth:
            // Never a made-up date where the file system keeps none.
            return (sx.stx_mask & STATX_BTIME) ? FormatFileTime(sx.stx_btime) : QString();
        case FileTime::Access:
            return FormatFileTime(sx.stx_atime);
        case FileTime::Write:
            break;
    }
    return FormatFileTime(sx.stx_mtime);
}

QString clsFileSystem::CreationTime() const {
    return ReadFileTime(FileTime::Birth);
}
QString clsFileSystem::LastAccessTime() const {
    return ReadFileTime(FileTime::Access);
}
QString clsFileSystem::LastWriteTime() const {
    return ReadFileTime(FileTime::Write);
}

std::optional<FixedFileInfo> clsFileSystem::ReadVersionInfo() const {
    RequireEnabled();
    return PeVersionInfo::Read(m_fileName);
}

QString clsFileSystem::FileVersion() const {
    const std::optional<FixedFileInfo> v = ReadVersionInfo();
    return v ? VersionText(v->fileVersionMS, v->fileVersionLS) : QString();
}

QString clsFileSystem::ProductVersion() const {
    const std::optional<FixedFileInfo> v = ReadVersionInfo();
    return v ? VersionText(v->productVersionMS, v->productVersionLS) : QString();
}

QString clsFileSystem::FileType() const {
    return FileTypeLabel(ReadVersionInfo().value_or(FixedFileInfo{}).fileType);
}

QString clsFileSystem::FileSubtype() const {
    const FixedFileInfo v = ReadVersionInfo().value_or(FixedFileInfo{});
    return FileSubtypeLabel(v.fileType, v.fileSubtype);
}

QString clsFileSystem::FileOS() const {
    return FileOSLabel(ReadVersionInfo().value_or(FixedFileInfo{}).fileOS);
}

QString clsFileSystem::BuildType() const {
    return BuildTypeLabel(ReadVersionInfo().value_or(FixedFileInfo{}).fileFlags);
}
