#include "SyncDirectory.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <utility>

#include "CodePage.h"
#include "ConvTable.h"
#include "Fun_Error_Success.h"
#include "LocalDir.h"
#include "PartFile.h"
#include "RemoteConnection.h"
#include "RunHost.h"
#include "ServerText.h"
#include "Settings.h"
#include "StatusCounters.h"
#include "TextFile.h"
#include "TransferPool.h"
#include "UploadLedger.h"
#include "UploadSource.h"

namespace {

const QString kTab = QStringLiteral("\t");
const QString kTo = QStringLiteral(" [to] ");
constexpr int kPanelFiles = 2;
constexpr int kPanelCopies = 3;
constexpr int kPanelErrors = 4;

// A folder of more entries than this reads the ledger a file at a time, so that no folder, however
// large, makes the walk hold all its rows at once.
constexpr qsizetype kRowsReadAtOnce = 20'000;

// How often a walk that decides without sending looks at its events (a stop, the window, the
// counters): each look asks the system about every socket and timer, which costs a file's walk.
constexpr qint64 kEventsEveryMs = 10;

// Rows of files found unchanged in content written in one transaction.
constexpr qsizetype kRefreshBatch = 500;

// The largest file the walk sends on its own connection when the pool's have files enough
// waiting: the walk hands them nothing while it sends.
constexpr qint64 kOwnSendMax = 64 * 1024;

const QString kNameNotInLocale =
    QStringLiteral("the name is not valid in the locale's character set");

bool HasLineBreak(const QString& text) {
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
}

// The tail of a walk line: TAB, the local path, " [to] ", the remote path, each one written so
// that the line stays one line.
QString Paths(const QString& localPath, const QString& remotePath) {
    return kTab + Fun_Error_Success::LogText(localPath) + kTo +
           Fun_Error_Success::LogText(remotePath);
}

}  // namespace

SyncWalk::SyncWalk(RemoteConnection& ftp, RunHost& host, clsAdoJet& ledger,
                   const Typ_ConvTable& conv, const bool& programEnded, TransferPool* pool)
    : ftp_(ftp),
      host_(host),
      ledger_(ledger),
      conv_(conv),
      programEnded_(programEnded),
      logPath_(Fun_Error_Success::GetLogPath()),
      pool_(pool) {}

void SyncWalk::Preview(const QString& logPath, bool baseMissing) {
    preview_ = true;
    logPath_ = logPath;
    baseMissing_ = baseMissing;
}

void SyncWalk::Run() {
    remote_.Clear();
    rows_ = nullptr;
    parts_.clear();
    branch_.clear();
    visited_.clear();
    baseReal_ = QFileInfo(ftp_.strLocalBaseDir).canonicalFilePath();
    followOutside_ = Settings::FollowLinksOutside();
    compareContent_ = Settings::CompareContent();
    keepAliveMs_ = Settings::KeepAliveSec() * 1000;
    quiet_.start();
    events_.start();
    target_ = UploadLedger::TargetOf(ftp_.udtProfile.FtpDir);
    recursive_ = ftp_.blnRemoteListRecursive && ftp_.lngRemoteListCount > 0;
    // Taken over, not shared: the walk sorts each folder's index, which would then be held twice.
    if (recursive_)
        KnownAll(std::exchange(ftp_.strRemoteList, RemoteListing()));
    listingUsable_ = recursive_;
    const QString base = ftp_.strRemoteBaseDir;
    Folder folder;
    if (!OpenFolder(ftp_.strLocalBaseDir, base, false, &folder))
        return;
    baseDir_ = folder.dir;
    if (!LoadExcludeFile())
        return;
    if (pool_) {
        pool_->OnSent = [this](qint64 job, const TransferPool::Outcome& outcome) {
            Ended(inFlight_.take(job), outcome);
        };
        // A folder already known whole (listed, or made by this run) takes no later listing:
        // one taken after the walk sent files into it shows their parts, which are not left
        // behind but on their way.
        pool_->OnListed = [this](const QString& dir, bool ok, const RemoteListing& paths) {
            if (ok && !remote_.IsComplete(dir))
                Listed(dir, paths);
        };
    }
    if (preview_ && baseMissing_) {
        PreviewFolder(ftp_.strLocalBaseDir, base);
        remote_.MarkComplete(base);
        listingUsable_ = true;
    } else if (!recursive_) {
        // The others need not wait for the base's listing: a folder that is not there only
        // costs a refused listing.
        if (pool_)
            ListAhead(folder, false);
        ListOnEntering(base);
    }
    SyncDirectory(folder, base);
    if (pool_)
        DrainPool();
    DeleteParts();
    FlushRefreshes();
}

bool SyncWalk::MakeRemoteName(const QString& localPath, QString* remotePath) const {
    if (HasLineBreak(localPath))
        return false;
    const QString& localBase = ftp_.strLocalBaseDir;
    const QString& remoteBase = ftp_.strRemoteBaseDir;
    QString rest = localPath.mid(localBase.size());
    // A local base typed with a trailing separator leaves none at the joint: put one back, or
    // /www and /home/me/site/ would give /wwwa.txt.
    if (localBase.endsWith(QLatin1Char('/')) && !remoteBase.endsWith(QLatin1Char('/')))
        rest.prepend(QLatin1Char('/'));
    *remotePath = remoteBase + rest;
    return true;
}

bool SyncWalk::IsValidUnixName(const QString& remotePath) {
    return !CodePage::FromUnicode(remotePath).contains('\\');
}

int SyncWalk::CompareFileDate(const QString& localPath, const QString& remotePath,
                              const UploadLedger::FileState& current) {
    const UploadLedger::LedgerKey key{localPath, target_};
    UploadLedger::PutRecord recorded;
    if (!Recorded(key, &recorded))
        return UploadLedger::DateCompare_Upload;
    const int outcome = UploadLedger::ChangedSinceRecord(recorded, current)
                            ? UploadLedger::DateCompare_Upload
                            : UploadLedger::CompareRecordedTime(recorded.modified, current.modified,
                                                                ftp_.udtProfile.AmbiguousSecond);
    if (outcome == UploadLedger::DateCompare_Upload &&
        SameContent(key, remotePath, recorded, current))
        return UploadLedger::DateCompare_Same;
    return outcome;
}

bool SyncWalk::Recorded(const UploadLedger::LedgerKey& key, UploadLedger::PutRecord* recorded) {
    const QStringView name = QStringView(key.LocalPath).mid(rows_ ? rows_->dir.size() : 0);
    if (!rows_ || !rows_->read || !key.LocalPath.startsWith(rows_->dir) ||
        name.contains(QLatin1Char('/')))
        return UploadLedger::GetPutFileDate(ledger_, key, recorded);
    const auto row = rows_->byName.constFind(name.toString());
    if (row == rows_->byName.constEnd())
        return false;
    *recorded = *row;
    return true;
}

// The file's time says it changed, yet it holds the bytes the row's digest names, which the
// server confirmed: it stays as it is there. A size that differs goes without a look at the bytes.
bool SyncWalk::SameContent(const UploadLedger::LedgerKey& key, const QString& remotePath,
                           const UploadLedger::PutRecord& recorded,
                           const UploadLedger::FileState& current) {
    if (!compareContent_ || recorded.digest.isEmpty() || recorded.size != current.size)
        return false;
    // The moment is taken before the read: a change made from here on has a ctime at or after it.
    UploadLedger::PutRecord now = UploadLedger::RecordOf(current);
    UploadSource source;
    if (!source.Open(key.LocalPath) || !source.ReadToEnd() || source.Digest() != recorded.digest)
        return false;
    if (preview_)
        return true;
    // The row takes the time of the bytes read, so the next run finds a plain time match.
    const UploadLedger::FileState read = UploadLedger::StateOf(source.Opened());
    now.modified = read.modified;
    now.size = read.size;
    now.digest = recorded.digest;
    refreshes_.append({key, now});
    refreshedRemote_.append(remotePath);
    if (refreshes_.size() >= kRefreshBatch)
        FlushRefreshes();
    return true;
}

void SyncWalk::FlushRefreshes() {
    QString reason;
    if (!refreshes_.isEmpty() && !UploadLedger::RefreshRecords(ledger_, refreshes_, &reason)) {
        for (qsizetype i = 0; i < refreshes_.size(); ++i)
            Error(QStringLiteral("ERROR - CAN NOT RECORD ") +
                  Paths(refreshes_.at(i).key.LocalPath, refreshedRemote_.at(i)) + kTab +
                  Fun_Error_Success::LogText(reason));
    }
    refreshes_.clear();
    refreshedRemote_.clear();
}

bool SyncWalk::OpenFolder(const QString& localPath, const QString& remotePath, bool link,
                          Folder* folder) {
    folder->dir = localPath.endsWith(QLatin1Char('/')) ? localPath : localPath + QLatin1Char('/');
    QString reason;
    if (LocalDir::Identity(folder->dir, &folder->identity.first, &folder->identity.second,
                           &reason)) {
        if (branch_.contains(folder->identity) || (link && visited_.contains(folder->identity))) {
            Log(QStringLiteral("WARNING - FOLDER WALKED ALREADY ") + Paths(localPath, remotePath));
            return false;
        }
        if (LocalDir::List(folder->dir, &folder->entries, &reason))
            return true;
    }
    Error(QStringLiteral("ERROR - CAN NOT READ FOLDER ") + Paths(localPath, remotePath) + kTab +
          Fun_Error_Success::LogText(reason));
    return false;
}

void SyncWalk::SyncDirectory(const Folder& folder, const QString& remoteDir) {
    if (pool_ && !recursive_)
        ListAhead(folder);
    FolderRows rows;
    rows.dir = folder.dir;
    QStringList files;
    bool onlyFiles = true;
    for (const LocalEntry& entry : folder.entries) {
        if (entry.kind == LocalEntry::Kind::File)
            files.append(entry.name);
        else if (entry.kind == LocalEntry::Kind::Directory)
            onlyFiles = false;
    }
    // A folder of very many files keeps asking for each row: its rows would all be held. A read
    // that fails leaves each file to ask for itself, as it always did.
    rows.read = files.size() <= kRowsReadAtOnce &&
                UploadLedger::GetFolderRecords(ledger_, folder.dir, files, onlyFiles, target_,
                                               &rows.byName);
    const FolderRows* outer = std::exchange(rows_, &rows);
    branch_.append(folder.identity);
    visited_.insert(folder.identity);
    for (const LocalEntry& entry : folder.entries) {
        if (ftp_.blnAbend)
            break;
        DeleteParts();
        SyncEntry(entry, folder.dir + entry.name, remoteDir);
        if (StopAfterEntry())
            break;
    }
    branch_.removeLast();
    rows_ = outer;
}

void SyncWalk::SyncEntry(const LocalEntry& entry, const QString& localPath,
                         const QString& remoteDir) {
    if (Excluded(localPath, entry))
        return;
    const bool folder = entry.kind == LocalEntry::Kind::Directory;
    QString remotePath;
    if (!MakeRemoteName(localPath, &remotePath)) {
        Error(QStringLiteral("ERROR - INVALID FTP NAME WITH CONTROL CHAR - ") + kTab +
              Fun_Error_Success::LogText(localPath));
        return;
    }
    remotePath = ConvTable::ConvertRemoteName(conv_, remotePath);
    if (!entry.nameValid) {
        // The decoded name leads to no file: nothing of it can be read.
        Error((folder ? QStringLiteral("ERROR - CAN NOT READ FOLDER ")
                      : QStringLiteral("ERROR - CAN NOT READ FILE ")) +
              Paths(localPath, remotePath) + kTab + kNameNotInLocale);
    } else if (!IsValidUnixName(remotePath)) {
        Error(QStringLiteral("ERROR - INVALID UNIX NAME WITH CODE 5C NOT INCLUDED CONV TABLE - ") +
              Paths(localPath, remotePath));
        if (!preview_)
            ConvTable::AddRequireConv(remotePath);
    } else if (!CodePage::Holds(remotePath)) {
        // Sent anyway it would arrive under another name, or under the name of another file.
        Error(QStringLiteral("ERROR - INVALID NAME NOT IN CODE PAGE ") + CodePage::Name() +
              QStringLiteral(" - ") + Paths(localPath, remotePath));
        if (!preview_)
            ConvTable::AddRequireConv(remotePath);
    } else if (entry.kind == LocalEntry::Kind::Special ||
               entry.kind == LocalEntry::Kind::Unreadable) {
        SkipEntry(entry, localPath, remotePath);
    } else if (PartFile::IsPart(remotePath)) {
        // The next run would take it for a part left behind.
        Log(QStringLiteral("WARNING - NAME OF A PART FILE NOT SENT ") +
            Paths(localPath, remotePath));
    } else if (entry.link && !LinkFollowed(localPath, remotePath)) {
        // Its warning line names it.
    } else if (folder) {
        SyncFolderEntry(localPath, remotePath, remoteDir, entry.link);
    } else {
        SyncFileEntry(localPath, remotePath, remoteDir, entry.state);
    }
}

bool SyncWalk::LoadExcludeFile() {
    exclude_ = IgnoreRules();
    const QString path = baseDir_ + IgnoreRules::FileName();
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return true;
    QByteArray data;
    QString reason;
    if (!TextFile::ReadAll(path, &data, &reason)) {
        Error(QStringLiteral("ERROR - CAN NOT READ EXCLUDE FILE ") + kTab +
              Fun_Error_Success::LogText(path) + kTab + Fun_Error_Success::LogText(reason));
        return false;
    }
    // In the file system's encoding, as the names it is matched with are read.
    QStringList lines;
    for (QByteArray line : data.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        lines.append(QFile::decodeName(line));
    }
    QList<IgnoreRules::Fault> faults;
    exclude_ = IgnoreRules::Parse(lines, &faults);
    for (const IgnoreRules::Fault& fault : faults)
        Error(QStringLiteral("ERROR - INVALID EXCLUDE LINE ") + kTab +
              Fun_Error_Success::LogText(path) + u':' + QString::number(fault.line) + kTab +
              Fun_Error_Success::LogText(fault.reason));
    return true;
}

bool SyncWalk::Excluded(const QString& localPath, const LocalEntry& entry) const {
    const QString path = localPath.mid(baseDir_.size());
    if (path == IgnoreRules::FileName())
        return true;
    return !exclude_.IsEmpty() &&
           exclude_.Excluded(path, entry.kind == LocalEntry::Kind::Directory);
}

// Whoever can write into the mirrored folder must not be able to publish what lies outside it
// (the profile file, /etc/shadow for root, /proc/self/environ).
bool SyncWalk::LinkFollowed(const QString& localPath, const QString& remotePath) {
    if (followOutside_)
        return true;
    const QString target = QFileInfo(localPath).canonicalFilePath();
    const QString base = baseReal_.endsWith(QLatin1Char('/')) ? baseReal_ : baseReal_ + u'/';
    if (!baseReal_.isEmpty() && (target == baseReal_ || target.startsWith(base)))
        return true;
    Log(QStringLiteral("WARNING - LINK LEADS OUTSIDE THE BASE FOLDER ") +
        Paths(localPath, remotePath) + kTab + Fun_Error_Success::LogText(target));
    return false;
}

void SyncWalk::SkipEntry(const LocalEntry& entry, const QString& localPath,
                         const QString& remotePath) {
    const QString tail =
        Paths(localPath, remotePath) + kTab + Fun_Error_Success::LogText(entry.detail);
    if (entry.kind == LocalEntry::Kind::Special)
        Log(QStringLiteral("WARNING - SPECIAL FILE NOT SENT ") + tail);
    else if (entry.link)
        Log(QStringLiteral("WARNING - DANGLING LINK ") + tail);
    else if (!entry.vanished)
        Error(QStringLiteral("ERROR - CAN NOT READ FILE ") + tail);
}

void SyncWalk::SyncFolderEntry(const QString& localPath, const QString& remotePath,
                               const QString& remoteDir, bool link) {
    // Read first: a folder that cannot be read gets no remote folder of its own.
    Folder folder;
    if (!OpenFolder(localPath, remotePath, link, &folder))
        return;
    const bool exists = FolderExists(remotePath, remoteDir);
    if (ftp_.blnAbend)
        return;
    if (exists) {
        if (!recursive_)
            ListOnEntering(remotePath);
        SyncDirectory(folder, remotePath);
        return;
    }
    if (preview_) {
        PreviewFolder(localPath, remotePath);
        remote_.MarkComplete(remotePath);
        SyncDirectory(folder, remotePath);
        return;
    }
    if (!ftp_.FtpMakeDir(remotePath)) {
        // Refused because it is there after all (550 is what servers say to an existing
        // folder): walk it like any existing folder.
        if (ftp_.blnAbend)
            return;
        if (ftp_.FtpChangeDir(remotePath)) {
            if (!recursive_)
                ListOnEntering(remotePath);
            SyncDirectory(folder, remotePath);
        } else if (!ftp_.blnAbend) {
            Error(QStringLiteral("ERROR - CAN NOT MAKE FOLDER ") + Paths(localPath, remotePath));
        }
        return;
    }
    remote_.MarkComplete(remotePath);
    const MadeRef made = std::make_shared<MadeFolder>(MadeFolder{localPath, remotePath});
    madeBranch_.append(made);
    SyncDirectory(folder, remotePath);
    madeBranch_.removeLast();
    made->left = true;
    Settle(*made);
}

void SyncWalk::Settle(MadeFolder& made) {
    if (made.left && made.pending == 0 && !made.copied)
        Log(QStringLiteral("SUCCESS - CREATED FOLDER WITH NO FILE ") +
            Paths(made.localPath, made.remotePath));
}

bool SyncWalk::FolderExists(const QString& remotePath, const QString& remoteDir) {
    if (!listingUsable_)
        return false;
    if (IsInRemoteList(remotePath))
        return true;
    if (remote_.IsComplete(remoteDir))
        return false;
    return ftp_.FtpChangeDir(remotePath);
}

void SyncWalk::SyncFileEntry(const QString& localPath, const QString& remotePath,
                             const QString& remoteDir, const UploadLedger::FileState& state) {
    CountUp(kPanelFiles, StatusCounters::kFiles);
    bool onServer = false;
    const int outcome = FileOutcome(localPath, remotePath, remoteDir, state, &onServer);
    if (outcome != 1 || ftp_.blnAbend)
        return;
    if (preview_)
        PreviewFile(localPath, remotePath, onServer);
    else
        UploadFile(localPath, remotePath);
}

int SyncWalk::FileOutcome(const QString& localPath, const QString& remotePath,
                          const QString& remoteDir, const UploadLedger::FileState& state,
                          bool* onServer) {
    // Only where this run knows the folder's whole content may a miss stand without asking: the
    // connection-time listing may have been cut short by the server.
    *onServer = listingUsable_ && (IsInRemoteList(remotePath) || (!remote_.IsComplete(remoteDir) &&
                                                                  ftp_.FtpExistFile(remotePath)));
    return *onServer ? CompareFileDate(localPath, remotePath, state) : 1;
}

void SyncWalk::PreviewFile(const QString& localPath, const QString& remotePath, bool onServer) {
    UploadLedger::PutRecord recorded;
    const QString reason = !Recorded({localPath, target_}, &recorded) ? QStringLiteral("new")
                           : onServer                                 ? QStringLiteral("changed")
                                      : QStringLiteral("missing on the server");
    ++previewFiles_;
    Log(QStringLiteral("PREVIEW - SEND FILE ") + Paths(localPath, remotePath) + kTab + reason);
}

void SyncWalk::PreviewFolder(const QString& localPath, const QString& remotePath) {
    ++previewFolders_;
    Log(QStringLiteral("PREVIEW - MAKE FOLDER ") + Paths(localPath, remotePath));
}

void SyncWalk::UploadFile(const QString& localPath, const QString& remotePath) {
    Upload upload{{localPath, target_}, remotePath, {}, false, madeBranch_};
    // The row is made before the bytes are read: a change made during the upload then shows at
    // the next run instead of being recorded as sent.
    UploadLedger::FileState state;
    upload.known = UploadLedger::LocalFileState(localPath, &state);
    upload.record = UploadLedger::RecordOf(state);
    // A connection first: a file the stop keeps back keeps its row.
    TransferPool::Slot slot = TransferPool::Slot::Own;
    if (pool_ &&
        (slot = pool_->AwaitConnection(state.size <= kOwnSendMax)) == TransferPool::Slot::Stopped)
        return;
    QString reason;
    // A row that outlived a broken transfer would vouch for the part on the server for ever.
    if (!UploadLedger::MarkPending(ledger_, upload.key, &reason)) {
        Error(QStringLiteral("ERROR - CAN NOT RECORD ") + Paths(localPath, remotePath) + kTab +
              Fun_Error_Success::LogText(reason));
        return;
    }
    for (const MadeRef& made : upload.made)
        ++made->pending;
    if (slot == TransferPool::Slot::Ready) {
        inFlight_.insert(++lastJob_, upload);
        pool_->Send(lastJob_, localPath, remotePath);
        return;
    }
    const bool stored = ftp_.FtpPutFile(localPath, remotePath);
    Ended(upload,
          {stored, ftp_.LastPutFileChanged(), ftp_.LastPutFailure(), true, ftp_.LastPutDigest()});
}

// The row is written only now, after the server confirmed the whole file.
void SyncWalk::Ended(const Upload& upload, const TransferPool::Outcome& outcome) {
    const QString& localPath = upload.key.LocalPath;
    const QString& remotePath = upload.remotePath;
    for (const MadeRef& made : upload.made) {
        --made->pending;
        made->copied = made->copied || outcome.stored;
    }
    if (!outcome.tried) {
        // Held back by a stop before it left: its row is pending, the next run sends it, and the
        // run ends as stopped.
        ftp_.blnAbend = true;
    } else if (!outcome.stored) {
        // The server holds a mix of two versions: the row stays pending, the next run sends it.
        if (outcome.changed)
            Error(QStringLiteral("ERROR - FILE CHANGED WHILE SENT ") +
                  Paths(localPath, remotePath));
        else
            Error(QStringLiteral("ERROR - CAN NOT COPY ") + Paths(localPath, remotePath) + kTab +
                  Fun_Error_Success::LogText(outcome.reason));
    } else {
        CountUp(kPanelCopies, StatusCounters::kCopies);
        QString reason = QStringLiteral("the file's status cannot be read");
        UploadLedger::PutRecord record = upload.record;
        record.digest = outcome.digest;
        const bool recorded = upload.known && UploadLedger::RecordPutFile(
                                                  ledger_, upload.key, remotePath, record, &reason);
        Log(QStringLiteral("SUCCESS - FILE COPYED ") + Paths(localPath, remotePath));
        if (!recorded)
            Error(QStringLiteral("ERROR - CAN NOT RECORD ") + Paths(localPath, remotePath) + kTab +
                  Fun_Error_Success::LogText(reason));
    }
    for (const MadeRef& made : upload.made)
        Settle(*made);
}

void SyncWalk::DrainPool() {
    for (const qint64 job : pool_->Drain()) {
        const Upload upload = inFlight_.take(job);
        const bool stored =
            !ftp_.blnAbend && ftp_.FtpPutFile(upload.key.LocalPath, upload.remotePath);
        Ended(upload, {stored, ftp_.LastPutFileChanged(), ftp_.LastPutFailure(), !ftp_.blnAbend,
                       ftp_.LastPutDigest()});
    }
    pool_->OnSent = nullptr;
    pool_->OnListed = nullptr;
}

void SyncWalk::ListOnEntering(const QString& remoteDir) {
    if (remote_.IsComplete(remoteDir))
        return;
    // A listing the pool has under way is waited for rather than taken twice.
    if (pool_ && pool_->AwaitListing(remoteDir) && remote_.IsComplete(remoteDir))
        return;
    RemoteListing paths;
    if (!ftp_.ListRemoteDir(remoteDir, &paths))
        return;
    Listed(remoteDir, paths);
}

void SyncWalk::Listed(const QString& remoteDir, const RemoteListing& paths) {
    paths.ForEach([this](const QString& path) { Known(path); });
    remote_.MarkComplete(remoteDir);
    listingUsable_ = true;
}

// A part never counts as its file, nor as anything else that exists.
void SyncWalk::Known(const QString& remotePath) {
    if (PartFile::IsPart(remotePath))
        parts_.append(remotePath);
    else
        remote_.Add(remotePath);
}

// Keeps the listing's arenas instead of adding its paths one by one: it may hold millions.
void SyncWalk::KnownAll(RemoteListing listing) {
    remote_ = std::move(listing);
    remote_.ForEach([this](const QString& path) {
        if (PartFile::IsPart(path))
            parts_.append(path);
    });
    for (const QString& part : std::as_const(parts_))
        remote_.Remove(part);
}

// Investigating changes nothing on the server but folders; the parts wait for a run that sends.
void SyncWalk::DeleteParts() {
    if (host_.InvestigateMode())
        parts_.clear();
    while (!parts_.isEmpty() && !ftp_.blnAbend) {
        const QString part = parts_.takeFirst();
        if (ftp_.FtpDeleteFile(part))
            Log(QStringLiteral("SUCCESS - PART FILE LEFT BEHIND DELETED - ") + kTab +
                Fun_Error_Success::LogText(part));
        else if (!ftp_.blnAbend)
            Log(QStringLiteral("WARNING - CAN NOT DELETE PART FILE - ") + kTab +
                Fun_Error_Success::LogText(part) + kTab +
                Fun_Error_Success::LogText(ServerText::Printable(ftp_.strLastReply.simplified())));
    }
}

// Only folders the listing of this one shows (when it is known): the others are made, and a made
// folder is known.
void SyncWalk::ListAhead(const Folder& folder, bool listed) {
    QStringList dirs;
    for (const LocalEntry& entry : folder.entries) {
        QString remotePath;
        if (entry.kind != LocalEntry::Kind::Directory || !entry.nameValid ||
            Excluded(folder.dir + entry.name, entry) ||
            !MakeRemoteName(folder.dir + entry.name, &remotePath))
            continue;
        remotePath = ConvTable::ConvertRemoteName(conv_, remotePath);
        if (IsValidUnixName(remotePath) && CodePage::Holds(remotePath) &&
            (!listed || IsInRemoteList(remotePath)) && !remote_.IsComplete(remotePath))
            dirs.append(remotePath);
    }
    if (!dirs.isEmpty())
        pool_->ListAhead(dirs);
}

bool SyncWalk::StopAfterEntry() {
    if (events_.hasExpired(kEventsEveryMs)) {
        QCoreApplication::processEvents();
        events_.start();
    }
    // A walk that only reads (investigating, or hashing a rebuilt tree) may say nothing to the
    // server for longer than it waits.
    if (!ftp_.blnAbend && quiet_.hasExpired(keepAliveMs_)) {
        ftp_.FtpNoop();
        quiet_.start();
    }
    if (ftp_.blnAbend)
        return true;
    if (ftp_.blnQuitAfterFile) {
        ftp_.blnAbend = true;
        return true;
    }
    return false;
}

void SyncWalk::Error(const QString& line) {
    if (programEnded_)
        return;
    CountUp(kPanelErrors, StatusCounters::kErrors);
    Write(line);
}

void SyncWalk::Log(const QString& line) {
    if (!programEnded_)
        Write(line);
}

// A run whose log loses lines stops: it could not say what it did.
void SyncWalk::Write(const QString& line) {
    QString error;
    if (Fun_Error_Success::WriteLogTo(logPath_, line, &error))
        return;
    if (logFailure_.isEmpty())
        logFailure_ = error.isEmpty() ? QStringLiteral("the line could not be written") : error;
    ftp_.blnAbend = true;
}

void SyncWalk::CountUp(int panel, const QString& suffix) {
    host_.SetPanelText(panel, StatusCounters::CountedUp(host_.PanelText(panel), suffix));
}
