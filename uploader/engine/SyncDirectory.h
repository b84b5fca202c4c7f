#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>
#include <memory>

#include "IgnoreRules.h"
#include "LocalDir.h"
#include "RemoteListing.h"
#include "TransferPool.h"
#include "UploadLedger.h"

class clsAdoJet;
class RemoteConnection;
class RunHost;
struct Typ_ConvTable;

// The walk of one profile's local tree over an open, logged-in connection: makes missing
// remote folders and uploads every file that is new or changed since the ledger's record of it.
// With a pool of further connections, files go on them while the walk goes on, and each one is
// recorded and logged when it has ended.
class SyncWalk {
public:
    // programEnded turns true when the window closes during the run: the program has ended
    // then, and the walk only unwinds, writing nothing more to the run log. pool: the run's
    // further connections, or none.
    SyncWalk(RemoteConnection& ftp, RunHost& host, clsAdoJet& ledger, const Typ_ConvTable& conv,
             const bool& programEnded, TransferPool* pool = nullptr);

    // Walks the profile's local base directory (the FTP client's strLocalBaseDir and
    // strRemoteBaseDir are set by ConnectFtp).
    void Run();
    // Why a line of the run log could not be written; the walk stopped there (blnAbend). Empty
    // while every line went.
    QString LogFailure() const { return logFailure_; }

    // Makes the walk a preview: it decides as a run does but makes no folder, sends no file and
    // writes no ledger row. Each folder it would make and each file it would send gets a line,
    // the file's with the reason, in the log at logPath, which takes the run log's place.
    // baseMissing: the remote base is not there; it is the first folder to make.
    void Preview(const QString& logPath, bool baseMissing);
    int PreviewFolders() const { return previewFolders_; }
    int PreviewFiles() const { return previewFiles_; }

    // The remote path of a local path below the local base; false when the local path holds a
    // character that can never be sent (CR or LF).
    bool MakeRemoteName(const QString& localPath, QString* remotePath) const;
    // False when the path, as it will be sent, holds the byte 0x5C.
    static bool IsValidUnixName(const QString& remotePath);
    // Whether the remote path is known to exist (letter case ignored, "//" read as "/").
    bool IsInRemoteList(const QString& remotePath) const { return remote_.Contains(remotePath); }
    // 1: upload needed, 2: the ledger's time is later than the file's, 3: equal within tolerance
    // (the ledger's row for this file and this profile's target). A file whose size or ctime
    // says it changed since its row was written is 1 whatever its time. A file that would be 1
    // but holds the bytes the row's digest names is 3, and its row takes its new time. current:
    // the file's state as its folder was read.
    int CompareFileDate(const QString& localPath, const QString& remotePath,
                        const UploadLedger::FileState& current);

private:
    // A local folder read for the walk: its path with a trailing "/", its identity and entries.
    struct Folder {
        QString dir;
        QPair<quint64, quint64> identity;
        QVector<LocalEntry> entries;
    };
    // The ledger's rows of the files in the folder being walked, read at once when it is entered.
    struct FolderRows {
        QString dir;
        bool read = false;  // false: each file asks the ledger itself
        QHash<QString, UploadLedger::PutRecord> byName;
    };

    // A remote folder this run made. Once the walk has left it and every file sent below it
    // has ended, it is logged as having no file when none of them was copied.
    struct MadeFolder {
        QString localPath;
        QString remotePath;
        int pending = 0;  // files below it on their way
        bool copied = false;
        bool left = false;
    };
    using MadeRef = std::shared_ptr<MadeFolder>;
    // A file on its way: what its ledger row and its log lines need once it has ended.
    struct Upload {
        UploadLedger::LedgerKey key;
        QString remotePath;
        UploadLedger::PutRecord record;  // made before the bytes are read
        bool known = false;              // the file's status could be read
        QVector<MadeRef> made;           // the made folders it lies below
    };

    // Reads a folder; false when it cannot be read (an error line naming it and the reason), when
    // it is a folder of the current branch (a loop), or when it is reached by a link and was
    // walked already in this run (a warning line each): links cannot multiply the walk.
    bool OpenFolder(const QString& localPath, const QString& remotePath, bool link, Folder* folder);
    void SyncDirectory(const Folder& folder, const QString& remoteDir);
    void SyncEntry(const LocalEntry& entry, const QString& localPath, const QString& remoteDir);
    // Reads the exclude file of the local base folder; false, with an error line, when it is
    // there but cannot be read: what it keeps back must not go. A faulty line is an error line.
    bool LoadExcludeFile();
    // The entry is left out: the exclude file itself, or what its rules match.
    bool Excluded(const QString& localPath, const LocalEntry& entry) const;
    // A link is followed when it leads into the local base folder, or anywhere with
    // FollowLinksOutside=1; otherwise a warning line names it.
    bool LinkFollowed(const QString& localPath, const QString& remotePath);
    // A special file, a dangling link or an entry that cannot be looked at: its line.
    void SkipEntry(const LocalEntry& entry, const QString& localPath, const QString& remotePath);
    void SyncFolderEntry(const QString& localPath, const QString& remotePath,
                         const QString& remoteDir, bool link);
    void SyncFileEntry(const QString& localPath, const QString& remotePath,
                       const QString& remoteDir, const UploadLedger::FileState& state);
    bool FolderExists(const QString& remotePath, const QString& remoteDir);
    // onServer: the file is known to be on the server.
    int FileOutcome(const QString& localPath, const QString& remotePath, const QString& remoteDir,
                    const UploadLedger::FileState& state, bool* onServer);
    bool SameContent(const UploadLedger::LedgerKey& key, const QString& remotePath,
                     const UploadLedger::PutRecord& recorded,
                     const UploadLedger::FileState& current);
    // Writes the rows SameContent gathered.
    void FlushRefreshes();
    void PreviewFile(const QString& localPath, const QString& remotePath, bool onServer);
    void PreviewFolder(const QString& localPath, const QString& remotePath);
    void UploadFile(const QString& localPath, const QString& remotePath);
    void Ended(const Upload& upload, const TransferPool::Outcome& outcome);
    void Settle(MadeFolder& made);
    void ListOnEntering(const QString& remoteDir);
    void Listed(const QString& remoteDir, const RemoteListing& paths);
    // The key's row, from the folder's rows when they were read.
    bool Recorded(const UploadLedger::LedgerKey& key, UploadLedger::PutRecord* recorded);
    // Takes a listed path into the paths known to exist; a part file that a run left behind
    // goes to the parts to delete instead.
    void Known(const QString& remotePath);
    // Takes a whole listing as known, its parts aside.
    void KnownAll(RemoteListing listing);
    // Deletes the parts the listings found, on the walk's own connection: never from inside a
    // wait, where a listing of the pool may end.
    void DeleteParts();
    // Asks the pool to list the remote folders the walk will enter below this one.
    void ListAhead(const Folder& folder, bool listed = true);
    // Waits for the pool's files to end; sends those it has no connection left for.
    void DrainPool();
    bool StopAfterEntry();
    void Error(const QString& line);
    void Log(const QString& line);
    void Write(const QString& line);
    void CountUp(int panel, const QString& suffix);

    RemoteConnection& ftp_;
    RunHost& host_;
    clsAdoJet& ledger_;
    const Typ_ConvTable& conv_;
    const bool& programEnded_;
    // Every remote path known to exist, and the folders whose whole content this run knows (listed
    // on their own or made by this run): a miss below them needs no question to the server.
    RemoteListing remote_;
    // The rows of the folder whose files are being decided; null between folders.
    const FolderRows* rows_ = nullptr;
    // The connection-time listing recursed (it had header lines); otherwise every folder is
    // listed on its own as the walk enters it.
    bool recursive_ = false;
    // Something can answer whether a remote path exists: without it every file is sent and
    // every folder is made.
    bool listingUsable_ = false;
    // The ledger's name for the place this profile mirrors to (UploadLedger::TargetOf).
    QString target_;
    // Directories (device, inode) of the current branch, and of the whole run so far.
    QList<QPair<quint64, quint64>> branch_;
    QSet<QPair<quint64, quint64>> visited_;
    // The local base folder with every link resolved: where links may lead.
    QString baseReal_;
    bool followOutside_ = false;
    // The local base folder as its entries' paths begin ("/" at the end), and its exclude rules.
    QString baseDir_;
    IgnoreRules exclude_;
    // KeepAliveSec, and the time since the walk's last NOOP.
    qint64 keepAliveMs_ = 0;
    QElapsedTimer quiet_;
    // The time since the walk last looked at its events.
    QElapsedTimer events_;
    // CompareContent: a file whose time changed is looked at for its bytes.
    bool compareContent_ = true;
    // Rows of files found unchanged in content, to take their new times: written together,
    // which costs a rebuilt tree one commit for many files instead of one each.
    QVector<UploadLedger::Refresh> refreshes_;
    QStringList refreshedRemote_;  // their remote paths, for the error lines
    QString logPath_;
    bool preview_ = false;
    bool baseMissing_ = false;
    int previewFolders_ = 0;
    int previewFiles_ = 0;
    QString logFailure_;
    TransferPool* pool_;
    // The folders of the current branch that this run made.
    QVector<MadeRef> madeBranch_;
    // Files handed to the pool, by job number.
    QHash<qint64, Upload> inFlight_;
    // Part files the listings showed, to delete. A folder is listed before any file goes into
    // it, so none of them is a part of this run.
    QStringList parts_;
    qint64 lastJob_ = 0;
};
