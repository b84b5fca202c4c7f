#include "SyncDirectory.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>

#include "CodePage.h"
#include "ConvTable.h"
#include "FtpClient.h"
#include "Fun_Error_Success.h"
#include "LocalDir.h"
#include "RunHost.h"
#include "StatusCounters.h"
#include "UploadLedger.h"

namespace {

const QString kTab = QStringLiteral("\t");
const QString kTo = QStringLiteral(" [to] ");
constexpr int kPanelFiles = 2;
constexpr int kPanelCopies = 3;
constexpr int kPanelErrors = 4;

bool HasLineBreak(const QString& text) {
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
}

// A run-log line stays one line: line breaks in a name are written as \r and \n.
QString OneLine(QString text) {
    return text.replace(QLatin1Char('\r'), QStringLiteral("\\r"))
        .replace(QLatin1Char('\n'), QStringLiteral("\\n"));
}

}  // namespace

SyncWalk::SyncWalk(FtpClient& ftp, RunHost& host, clsAdoJet& ledger, const Typ_ConvTable& conv,
                   const bool& programEnded)
    : ftp_(ftp), host_(host), ledger_(ledger), conv_(conv), programEnded_(programEnded) {}

QString SyncWalk::RemoteKey(const QString& remotePath) {
    QString key;
    key.reserve(remotePath.size());
    for (const QChar c : remotePath) {
        if (c == QLatin1Char('/') && key.endsWith(QLatin1Char('/')))
            continue;
        key.append(c);
    }
    if (key.size() > 1 && key.endsWith(QLatin1Char('/')))
        key.chop(1);
    return key.toCaseFolded();
}

void SyncWalk::Run() {
    remote_.clear();
    complete_.clear();
    branch_.clear();
    recursive_ = ftp_.blnRemoteListRecursive && ftp_.lngRemoteListCount > 0;
    if (recursive_) {
        for (qint32 i = 0; i < ftp_.lngRemoteListCount; ++i)
            remote_.insert(RemoteKey(ftp_.strRemoteList.at(i)));
    }
    listingUsable_ = recursive_;
    const QString base = ftp_.strRemoteBaseDir;
    if (!recursive_)
        ListOnEntering(base);
    SyncDirectory(ftp_.strLocalBaseDir, base);
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

bool SyncWalk::IsInRemoteList(const QString& remotePath) const {
    return remote_.contains(RemoteKey(remotePath));
}

int SyncWalk::CompareFileDate(const QString& localPath) const {
    QDateTime recorded;
    QDateTime current;
    if (!UploadLedger::GetPutFileDate(ledger_, localPath, &recorded) ||
        !UploadLedger::LocalFileTime(localPath, &current))
        return UploadLedger::DateCompare_Upload;
    return UploadLedger::CompareRecordedTime(recorded, current, ftp_.udtProfile.AmbiguousSecond);
}

void SyncWalk::SyncDirectory(const QString& localDir, const QString& remoteDir) {
    const QString dir =
        localDir.endsWith(QLatin1Char('/')) ? localDir : localDir + QLatin1Char('/');
    QPair<quint64, quint64> identity;
    if (!LocalDir::Identity(dir, &identity.first, &identity.second) || branch_.contains(identity))
        return;
    QVector<LocalEntry> entries;
    if (!LocalDir::List(dir, &entries))
        return;
    branch_.append(identity);
    for (const LocalEntry& entry : entries) {
        const QString localPath = dir + entry.name;
        QString remotePath;
        if (!MakeRemoteName(localPath, &remotePath)) {
            Error(QStringLiteral("ERROR - INVALID FTP NAME WITH CONTROL CHAR - ") + kTab +
                  OneLine(localPath));
        } else {
            remotePath = ConvTable::ConvertRemoteName(conv_, remotePath);
            if (!IsValidUnixName(remotePath)) {
                Error(QStringLiteral(
                          "ERROR - INVALID UNIX NAME WITH CODE 5C NOT INCLUDED CONV TABLE - ") +
                      kTab + localPath + kTo + remotePath);
                ConvTable::AddRequireConv(remotePath);
            } else if (entry.kind == LocalEntry::Kind::Directory) {
                SyncFolderEntry(localPath, remotePath, remoteDir);
            } else if (entry.kind == LocalEntry::Kind::File) {
                SyncFileEntry(localPath, remotePath, remoteDir);
            }
        }
        if (StopAfterEntry())
            break;
    }
    branch_.removeLast();
}

void SyncWalk::SyncFolderEntry(const QString& localPath, const QString& remotePath,
                               const QString& remoteDir) {
    if (FolderExists(remotePath, remoteDir)) {
        if (!recursive_)
            ListOnEntering(remotePath);
        SyncDirectory(localPath, remotePath);
        return;
    }
    if (!ftp_.FtpMakeDir(remotePath)) {
        // Refused because it is there after all (550 is what servers say to an existing
        // folder): walk it like any existing folder.
        if (!ftp_.blnAbend && ftp_.FtpChangeDir(remotePath)) {
            if (!recursive_)
                ListOnEntering(remotePath);
            SyncDirectory(localPath, remotePath);
        } else {
            Error(QStringLiteral("ERROR - CAN NOT MAKE FOLDER ") + kTab + localPath + kTo +
                  remotePath);
        }
        return;
    }
    complete_.insert(RemoteKey(remotePath));
    const qint64 copiesBefore = StatusCounters::LeadingNumber(host_.PanelText(kPanelCopies));
    SyncDirectory(localPath, remotePath);
    if (StatusCounters::LeadingNumber(host_.PanelText(kPanelCopies)) == copiesBefore)
        Log(QStringLiteral("SUCCESS - CREATED FOLDER WITH NO FILE ") + kTab + localPath + kTo +
            remotePath);
}

bool SyncWalk::FolderExists(const QString& remotePath, const QString& remoteDir) {
    if (!listingUsable_)
        return false;
    if (IsInRemoteList(remotePath))
        return true;
    if (complete_.contains(RemoteKey(remoteDir)))
        return false;
    return ftp_.FtpChangeDir(remotePath);
}

void SyncWalk::SyncFileEntry(const QString& localPath, const QString& remotePath,
                             const QString& remoteDir) {
    CountUp(kPanelFiles, StatusCounters::kFiles);
    if (FileOutcome(localPath, remotePath, remoteDir) == 1)
        UploadFile(localPath, remotePath);
}

int SyncWalk::FileOutcome(const QString& localPath, const QString& remotePath,
                          const QString& remoteDir) {
    if (!listingUsable_)
        return 1;
    if (IsInRemoteList(remotePath))
        return CompareFileDate(localPath);
    // Only where this run knows the folder's whole content may a miss stand without asking: the
    // connection-time listing may have been cut short by the server.
    if (complete_.contains(RemoteKey(remoteDir)))
        return 1;
    if (ftp_.FtpExistFile(remotePath))
        return CompareFileDate(localPath);
    return 1;
}

void SyncWalk::UploadFile(const QString& localPath, const QString& remotePath) {
    // The time is taken before the bytes are read: a change made during the upload then shows
    // as newer at the next run instead of being recorded as sent.
    QDateTime modified;
    UploadLedger::LocalFileTime(localPath, &modified);
    if (!ftp_.FtpPutFile(localPath, remotePath)) {
        Error(QStringLiteral("ERROR - CAN NOT COPY ") + kTab + localPath + kTo + remotePath);
        return;
    }
    CountUp(kPanelCopies, StatusCounters::kCopies);
    const bool recorded = UploadLedger::RecordPutFile(ledger_, localPath, remotePath, modified);
    Log(QStringLiteral("SUCCESS - FILE COPYED ") + kTab + localPath + kTo + remotePath);
    if (!recorded)
        Error(QStringLiteral("ERROR - CAN NOT RECORD ") + kTab + localPath + kTo + remotePath);
}

void SyncWalk::ListOnEntering(const QString& remoteDir) {
    const QString key = RemoteKey(remoteDir);
    if (complete_.contains(key))
        return;
    QStringList paths;
    if (!ftp_.ListRemoteDir(remoteDir, &paths))
        return;
    for (const QString& path : paths)
        remote_.insert(RemoteKey(path));
    complete_.insert(key);
    listingUsable_ = true;
}

bool SyncWalk::StopAfterEntry() {
    QCoreApplication::processEvents();
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
    Fun_Error_Success::WriteLog(line);
}

void SyncWalk::Log(const QString& line) {
    if (!programEnded_)
        Fun_Error_Success::WriteLog(line);
}

void SyncWalk::CountUp(int panel, const QString& suffix) {
    host_.SetPanelText(panel, StatusCounters::CountedUp(host_.PanelText(panel), suffix));
}
