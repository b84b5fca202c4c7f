#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

#include "FileSystemHost.h"

struct FixedFileInfo;

// A file-system utility class: one current file (FileName) on which the file members act, and
// path functions that need no object. Paths are absolute Linux paths with "/" as the separator.
//
// Failures: the members that act on the current file first test ENABLED and throw
// FileSystemError 53 when it is false (a missing file, a folder, an unreadable file); the
// attribute setters throw when the change cannot be stored. Copy, move, rename and trash
// failures are not reported; existence and enumeration members report absence through their
// results. Questions and messages go to the host given at construction (headless: no answers).
class clsFileSystem {
public:
    // ExistFileOrFolder's results.
    static constexpr qint32 FS_EXIST_FILE = 0;
    static constexpr qint32 FS_EXIST_FOLDER = 1;
    static constexpr qint32 FS_EXIST_NONE = 2;

    // host may be null (then nothing is asked and every question is answered No); it must
    // outlive the object.
    explicit clsFileSystem(FileSystemHost* host = nullptr);
    clsFileSystem(const clsFileSystem&) = delete;
    clsFileSystem& operator=(const clsFileSystem&) = delete;

    // ---- Current file, existence, enumeration, copy and move ----

    QString FileName() const { return m_fileName; }
    void FileName(const QString& strFileName) { m_fileName = strFileName; }
    // The current file exists, is not a folder and can be opened for reading.
    bool ENABLED() const;
    // FS_EXIST_FOLDER, FS_EXIST_FILE (anything else that exists) or FS_EXIST_NONE.
    static qint32 ExistFileOrFolder(const QString& Target);

    // The entries of a folder (of its whole tree with bSubFolder) whose lower-cased name is
    // like the lower-cased Target (an empty Target takes all), in byte order of the names,
    // depth-first with a folder before its contents; folders that do not match are still
    // searched. Fills paths with full paths and attrs with their attribute bits; returns the
    // last index, or -1 leaving one empty element in each when nothing matched or the folder
    // is missing. A link back to a folder being searched is not entered again.
    static qint32 SearchFile(const QString& strBasePath, QStringList* paths, QList<qint32>* attrs,
                             const QString& Target, bool bSubFolder);
    // The immediate subfolders of a folder, as full paths or names; paths is untouched when
    // there are none. False (paths untouched) for a missing or empty folder.
    static bool EnumDir(const QString& strBasePath, QStringList* paths, bool bWantedFullPath);
    // A name at a time. With a pattern (folder + "/" + wildcard name; "*.*" takes every name)
    // starts a new search and returns its first accepted name; without one returns the next
    // name of the open search; empty when there is none. nFileAttr 0 accepts every entry that
    // is not a folder; another mask accepts entries sharing a bit with it (16: folders, "."
    // and ".." included).
    QString Dir2(const QString& Path = QString(), qint32 nFileAttr = 0);
    // Creates every missing folder of szDir. False when a piece of it is a file; a folder that
    // could not be created does not make it false.
    static bool MakeFolders(const QString& szDir);
    // Copies every file of SrcPath's tree to the same place below DistPath through FileCopy
    // (which makes FileName each copied file in turn); the number of files handed over. An
    // empty source just creates DistPath.
    qint32 FolderCopy(const QString& SrcPath, const QString& DistPath);

    // Copy, move and rename the current file. The destination is a new path, or for FileCopy
    // and Move an existing folder to put the file in; its missing folders are created. A copy
    // keeps the permissions and times. An existing file there is replaced only when the host
    // confirms it; a folder is never replaced.
    void FileCopy(const QString& strToPath);
    // Across file systems the file is copied and then removed.
    void Move(const QString& strToPath);
    // A new path for the file on the same file system; no folder is created.
    void Rename(const QString& strToPath);
    // Moves the current file to the desktop's trash.
    void Trash();
    // A plain move within one file system; never replaces an existing file. Across file systems
    // the host shows a message and nothing moves.
    void FirstMove(const QString& strToPath);

    // ---- Paths and names (strings only, except where said) ----

    // The folder part with its final "/" ("/" for "/a"); empty when there is no "/".
    static QString GetPathName(const QString& FName);
    // The part after the last "/", trimmed of blanks. szDelimiter is ignored.
    static QString GetFileName(const QString& FName, const QString& szDelimiter = QString());
    // The name without its last extension, trimmed of blanks.
    static QString GetFileNameOnly(const QString& FName);
    // The text after the last "." of the last piece; empty when it has none.
    static QString GetFileExOnly(const QString& FileName);
    // strPath, with "." + strDefaultEx added when it has no extension.
    static QString FormulateSaveFileName(const QString& strPath, const QString& strDefaultEx);
    // "file://" followed by the path, unescaped.
    static QString DirNameLikeWeb(const QString& DIRNAME);
    // The relative URL from the source file's folder to the target file ("../img/logo.gif").
    // Folders compare case-sensitively; paths on different file systems have nothing in common
    // and give the target's absolute path. With the options, paths holding "." or ".." pieces
    // are folded first and paths holding short-name pieces (NAME~1) are made canonical. Empty
    // for an empty argument, a path that cannot be folded, and a URL ("://"), which the host
    // also reports.
    QString RelativeFile(const QString& szSource, const QString& szTarget,
                         bool bCompareByLongPath = false,
                         bool bCompareByAbsolutePath = false) const;
    // The path with empty, "." and ".." pieces folded out; a leading "/" stays, a trailing one
    // goes. Throws FileSystemError 9 when ".." climbs above the first piece.
    static QString GetAbsolutePath(const QString& Path);
    // The canonical path (links resolved); empty when the path does not exist.
    static QString GetLongPath(const QString& ShortPath);
    // The current file's path as it is: there are no short names here.
    QString ShortPathName() const { return m_fileName; }
    // "//server" of "//server/share/x"; for an absolute path the mount point holding it; for
    // anything else the drive of the folder this program was started from.
    static QString GetDrive(const QString& szPath);
    // The path begins with "//".
    static bool IsNetDrive(const QString& szPath);
    // The full path of the program the desktop opens the document with; empty when none.
    static QString FindExecutable(const QString& lpFile);

    // ---- Attributes, times and version information of the current file ----

    // Archive, hidden and system are the bits Samba keeps in the extended attribute
    // "user.DOSATTRIB" (a name beginning with "." is hidden as well); read-only is a file
    // without any write permission bit. Setting read-only clears every write bit; clearing it
    // gives the owner write permission. A setter that cannot store the change throws.
    bool Archive() const;
    void Archive(bool bValue);
    bool Hidden() const;
    void Hidden(bool bValue);
    bool System() const;
    void System(bool bValue);
    bool ReadOnly() const;
    void ReadOnly(bool bValue);
    // Always false in practice: a folder is not ENABLED.
    bool Directory() const;
    // A regular file with an execute bit this user may use.
    bool Executable() const;
    // The length in bytes (64-bit).
    qint64 SIZE() const;
    // The low 32 bits of the space the file takes on disk; -1 for a missing file. Does not
    // need ENABLED.
    qint32 CompressedSize() const;
    qint32 Links() const;
    // Local time as 2004年3月7日 日曜日    9:5:0 (the weekday field 8 characters wide).
    // CreationTime is empty where the file system records no birth time.
    QString CreationTime() const;
    QString LastAccessTime() const;
    QString LastWriteTime() const;
    // From the version resource of a Windows PE file: four unsigned parts joined by "."; empty
    // for a file without one.
    QString FileVersion() const;
    QString ProductVersion() const;
    // Japanese labels of the resource's values; "不明" for a file without one.
    QString FileType() const;
    QString FileSubtype() const;
    QString FileOS() const;
    QString BuildType() const;

private:
    struct Search {
        QString folder;  // with its final "/", or empty for the current directory
        QStringList names;
        qsizetype next = 0;
        qint32 mask = 0;
    };

    void RequireEnabled() const;
    quint32 Attributes() const;
    bool Attribute(quint32 bit) const;
    void Attribute(quint32 bit, bool on);
    QString NextMatch();
    // The file a copy or move to strToPath lands in (inside strToPath when it is a folder).
    QString Destination(const QString& strToPath) const;
    // Whether the current file may go to target: yes when nothing is there, the host's answer
    // when a different file is there, no for a folder or the file itself.
    bool MayReplace(const QString& target) const;
    bool PrepareRelativeInput(QString* path, bool bCompareByLongPath,
                              bool bCompareByAbsolutePath) const;
    enum class FileTime { Birth, Access, Write };
    QString ReadFileTime(FileTime which) const;
    std::optional<FixedFileInfo> ReadVersionInfo() const;

    HeadlessFileSystemHost m_headless;
    FileSystemHost* m_host;
    QString m_fileName;
    std::optional<Search> m_search;
};
