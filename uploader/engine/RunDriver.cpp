#include "RunDriver.h"

#include <QFileInfo>

#include "API_IniFileAccess.h"
#include "ConnectionFailureText.h"
#include "FtpAddress.h"
#include "Fun_Error_Success.h"
#include "PartFile.h"
#include "RunHost.h"
#include "RunLock.h"
#include "ServerSettings.h"
#include "Settings.h"
#include "StatusCounters.h"
#include "SyncDirectory.h"
#include "TextFile.h"
#include "TransferPool.h"
#include "UploadLedger.h"
#include "clsAdoJet.h"
#include "clsAppLog.h"

namespace {

constexpr int kPanelMode = 1;
constexpr int kPanelCopies = 3;
constexpr int kPanelErrors = 4;

const QString kProvider = QStringLiteral("Microsoft.Jet.OLEDB.4.0");

const QString kCrLf = QStringLiteral("\r\n");

QString LockRefusal(qint64 holder, const QString& reason) {
    if (holder < 0)
        return QStringLiteral("実行中を示すファイルを作成できません。\r\n") + RunLock::LockPath() +
               kCrLf + reason;
    const QString who = holder > 0 ? QStringLiteral("（プロセス ID %1）").arg(holder) : QString();
    return QStringLiteral("別の実行") + who +
           QStringLiteral("が終わっていません。終わってから実行してください。");
}

}  // namespace

RunDriver::RunDriver(RunHost& host)
    : host_(host), ftp_(*this), sftp_(*this), logPath_(Fun_Error_Success::GetLogPath()) {
    progress_.OnChanged = [this](const TransferStatus& status) { host_.ShowProgress(status); };
}

RunDriver::~RunDriver() = default;

void RunDriver::mnuRun_Click() {
    Start(false);
}

void RunDriver::mnuPreview_Click() {
    Start(true);
}

void RunDriver::Start(bool preview) {
    if (running_)
        return;
    preview_ = preview;
    logPath_ = preview ? Fun_Error_Success::GetPreviewLogPath() : Fun_Error_Success::GetLogPath();
    previewFolders_ = 0;
    previewFiles_ = 0;
    outcome_ = RunOutcome::NotRun;
    if (host_.Editing() &&
        host_.ShowMessage(QStringLiteral("編集中のデータがあります。このまま実行すると編集は破棄"
                                         "される場合があります。よろしいですか？"),
                          MsgIcon::Question, MsgButtons::YesNo) != MsgAnswer::Yes)
        return;
    // Held until this function returns, whatever the way out.
    RunLock lock;
    qint64 holder = 0;
    QString reason;
    if (!lock.TryLock(&holder, &reason)) {
        outcome_ = RunOutcome::Refused;
        host_.ShowMessage(LockRefusal(holder, reason), MsgIcon::Exclamation, MsgButtons::Ok);
        return;
    }
    running_ = true;
    unloading_ = false;
    logFailure_.clear();
    abendReason_.clear();
    // Settings that cannot be read might have asked for TLS: nothing goes out then.
    if (!API_IniFileAccess::IniCheckReadable(QString(), &reason)) {
        outcome_ = RunOutcome::Refused;
        host_.ShowMessage(QStringLiteral("設定ファイルを読み込めません。") + kCrLf +
                              API_IniFileAccess::IniDefaultPath() + kCrLf + reason,
                          MsgIcon::Exclamation, MsgButtons::Ok);
        Restore();
        return;
    }
    ledger_ = std::make_unique<clsAdoJet>();
    if (!ledger_->Connect(UploadLedger::LedgerPath(), kProvider, &reason)) {
        outcome_ = RunOutcome::Refused;
        host_.ShowMessage(
            QStringLiteral("ＤＢ起動失敗") + kCrLf + UploadLedger::LedgerPath() + kCrLf + reason,
            MsgIcon::Exclamation, MsgButtons::Ok);
        Restore();
        return;
    }
    int ticked = 0;
    if (!ValidateTicked(&ticked)) {
        outcome_ = RunOutcome::Refused;
        Restore();
        return;
    }
    if (ticked == 0) {
        // Nothing to run: nothing was locked, and the logs of the last run stay.
        ledger_.reset();
        running_ = false;
        return;
    }
    Lock();
    WorkPass();
    Restore();
}

bool RunDriver::ValidateTicked(int* ticked) {
    for (int item = 0; item < host_.ItemCount(); ++item) {
        if (!host_.ItemChecked(item))
            continue;
        if (!CheckLocalDir(item, host_.GetProfileFromItem(item)))
            return false;
        ++*ticked;
    }
    return true;
}

bool RunDriver::CheckLocalDir(int item, const Typ_Profile& profile) {
    if (QFileInfo(profile.LocalBaseDir).isDir())
        return true;
    host_.ShowMessage(QStringLiteral("ローカルディレクトリの存在しないか不正です。"),
                      MsgIcon::Exclamation, MsgButtons::Ok);
    host_.ShowItemInFields(item);
    return false;
}

void RunDriver::Lock() {
    host_.SetRunning(true);
    remote_->blnAbend = false;
    remote_->blnQuitAfterFile = false;
    // The names of the last run stay: a preview changes nothing of it.
    if (!preview_)
        TextFile::DeleteQuietly(ConvTable::RequireConvPath());
    host_.SaveSetting();
    for (int panel = 1; panel <= host_.PanelCount(); ++panel)
        host_.SetPanelText(panel, QString());
    host_.SetPanelText(kPanelMode, preview_ ? QStringLiteral("ﾌﾟﾚﾋﾞｭｰ中")
                                   : host_.InvestigateMode() ? QStringLiteral("調査中")
                                                             : QStringLiteral("実行中"));
    ConvTable::LoadConvTable(conv_, host_.ConvTablePath());
    host_.SetTimerRunning(true);
    PrepareLogs();
}

void RunDriver::PrepareLogs() {
    appLog_ = std::make_unique<clsAppLog>();
    appLog_->PlainMode(1);
    appLog_->Path(logPath_ + QStringLiteral(".sys.log"));
    // A preview keeps its own pair of logs, and no earlier ones.
    if (!preview_)
        Fun_Error_Success::KeepEarlierLogs(Settings::KeepRunLogs());
    toldOnce_.clear();
    appLog_->ClearLog();
    if (preview_)
        TextFile::DeleteQuietly(logPath_);
    else
        Fun_Error_Success::KillLog();
    WriteLog(QStringLiteral("START"));
}

void RunDriver::WorkPass() {
    ftp_.SetReplyTimeoutSec(Settings::ReplyTimeoutSec());
    sftp_.SetReplyTimeoutSec(Settings::ReplyTimeoutSec());
    const bool connected = RunProfiles();
    if (unloading_) {
        outcome_ = RunOutcome::Stopped;
        return;
    }
    if (connected && logFailure_.isEmpty())
        WriteClosingLine();
    // A run whose log could not be written must not pass for one that ended: the log shown
    // would be another run's, or lack lines.
    if (!logFailure_.isEmpty()) {
        outcome_ = RunOutcome::LogUnwritable;
        abendReason_ = QStringLiteral("実行ログに書き込めません");
        host_.ShowMessage(QStringLiteral("実行ログに書き込めないため、処理を中止しました。") +
                              kCrLf + logPath_ + kCrLf + logFailure_,
                          MsgIcon::Exclamation, MsgButtons::Ok);
        return;
    }
    if (connected)
        host_.ShowRunLog(logPath_);
}

// Connects and walks each ticked profile; false after a failed connection, whose lines are
// written.
bool RunDriver::RunProfiles() {
    for (int item = 0; item < host_.ItemCount(); ++item) {
        if (!host_.ItemChecked(item))
            continue;
        if (!logFailure_.isEmpty())
            break;
        const Typ_Profile profile = host_.GetProfileFromItem(item);
        const int connections = ConnectionsFor(profile);
        commandPrefix_ = connections > 1 ? QStringLiteral("[1] ") : QString();
        host_.ItemConnecting(item);
        UseConnectionFor(profile);
        if (!Connect(profile, connections)) {
            ClosePool();
            // Stopped while connecting: no fault, and the closing line says so.
            if (unloading_ || (remote_->blnAbend && remote_->FaultReason().isEmpty()))
                break;
            outcome_ = RunOutcome::ConnectionFailed;
            // Read before FEAT replaces the reply that refused the login.
            const QString failure = ConnectionFailure(profile);
            const QString reason =
                ConnectionFailureText::Reason(remote_->FaultReason(), remote_->strLastReply);
            abendReason_ = reason.isEmpty() ? QStringLiteral("接続失敗") : reason;
            const bool pointToTls = remote_ == &ftp_ && !ftp_.TlsRequired() &&
                                    (ConnectionFailureText::MentionsTls(reason) ||
                                     ConnectionFailureText::OffersTls(ftp_.FeaturesAfterRefusal()));
            host_.ShowItemInFields(item);
            host_.ShowMessage(ConnectionFailureText::BoxText(reason, pointToTls),
                              MsgIcon::Exclamation, MsgButtons::Ok);
            WriteLog(QStringLiteral("ERROR - CONNECTION FAILED - CONFIRM SETTING") +
                     QLatin1Char('\t') + failure);
            WriteLog(QStringLiteral("ABEND"));
            return false;
        }
        host_.MarkItemRunning(item, true);
        SyncWalk walk(*remote_, host_, *ledger_, conv_, unloading_, pool_.get());
        if (preview_)
            walk.Preview(logPath_, baseMissing_);
        walk.Run();
        ClosePool();
        previewFolders_ += walk.PreviewFolders();
        previewFiles_ += walk.PreviewFiles();
        const QString logFailure = walk.LogFailure();
        if (!logFailure.isEmpty())
            LogWriteFailed(logFailure);
        host_.MarkItemRunning(item, false);
        if (remote_->blnAbend)
            break;
    }
    return true;
}

bool RunDriver::Connect(const Typ_Profile& profile, int connections) {
    baseMissing_ = false;
    if (!remote_->FtpLogin(profile))
        return false;
    // The further connections log in while the first enters and lists the remote base.
    if (connections > 1)
        StartPool(connections);
    if (!preview_)
        return remote_->EnterBase();
    // The base is entered once more to be listed: a preview asks first, so as never to make it.
    if (remote_->FtpChangeDir(remote_->strRemoteBaseDir))
        return remote_->EnterBase();
    // Refused, not broken: the base is not there.
    baseMissing_ = true;
    remote_->lngRemoteListCount = 0;
    return !remote_->blnAbend && remote_->FaultReason().isEmpty() && remote_->Connected();
}

void RunDriver::UseConnectionFor(const Typ_Profile& profile) {
    RemoteConnection* next = &ftp_;
    if (IsSftpAddress(profile.FtpDir))
        next = &sftp_;
    if (next == remote_)
        return;
    remote_->FtpQuit();
    next->blnAbend = remote_->blnAbend;
    next->blnQuitAfterFile = remote_->blnQuitAfterFile;
    remote_ = next;
}

// One connection for a preview, which sends nothing.
int RunDriver::ConnectionsFor(const Typ_Profile& profile) {
    FtpAddress address;
    if (InvestigateMode() || preview_ || !ParseFtpAddress(profile.FtpDir, &address))
        return 1;
    return ServerOptions(address.HostPort()).Connections;
}

void RunDriver::StartPool(int connections) {
    pool_ = std::make_unique<TransferPool>(
        *remote_, connections, [this](const QString& line) { appLog_->Logging(line); },
        [this](const QString& line) { WriteLog(line); }, &progress_);
    pool_->Start(Settings::ReplyTimeoutSec());
}

void RunDriver::ClosePool() {
    if (pool_)
        pool_->Close();
    pool_.reset();
    progress_.Clear();
}

// Where the failed or broken connection went and why: the socket error, the time limit or the
// server's 421, else the server's last reply (a refused login, a base folder that could not be
// entered or made), on one line.
QString RunDriver::ConnectionFailure(const Typ_Profile& profile) const {
    FtpAddress address;
    if (!ParseFtpAddress(profile.FtpDir, &address))
        return Fun_Error_Success::LogText(profile.FtpDir) + QStringLiteral("\tinvalid address");
    QString reason = ConnectionFailureText::Reason(remote_->FaultReason(), remote_->strLastReply);
    if (reason.isEmpty())
        reason = QStringLiteral("invalid account, password or path");
    return Fun_Error_Success::LogText(address.HostPort()) + QLatin1Char('\t') +
           Fun_Error_Success::LogText(reason);
}

void RunDriver::WriteClosingLine() {
    if (remote_->blnAbend) {
        WriteFaultLine();
        WriteLog(QStringLiteral("USER QUIT"));
        outcome_ = RunOutcome::Stopped;
        return;
    }
    const qint64 copies = StatusCounters::LeadingNumber(host_.PanelText(kPanelCopies));
    if (preview_)
        WriteLog(QStringLiteral("END PREVIEW (%1 folders to make, %2 files to send)")
                     .arg(previewFolders_)
                     .arg(previewFiles_));
    else
        WriteLog(QStringLiteral("END (") + QString::number(copies) + QStringLiteral(" copies)"));
    outcome_ = StatusCounters::LeadingNumber(host_.PanelText(kPanelErrors)) > 0
                   ? RunOutcome::EndedWithErrors
                   : RunOutcome::Ended;
}

// A run ended by the network rather than by the user says why before its closing line.
void RunDriver::WriteFaultLine() {
    if (remote_->FaultReason().isEmpty())
        return;
    host_.SetPanelText(kPanelErrors, StatusCounters::CountedUp(host_.PanelText(kPanelErrors),
                                                               StatusCounters::kErrors));
    abendReason_ = remote_->FaultReason();
    WriteLog(QStringLiteral("ERROR - CONNECTION ABORTED - ") + QLatin1Char('\t') +
             ConnectionFailure(remote_->udtProfile));
}

QString RunDriver::EndText() const {
    const QString abended = QStringLiteral("異常終了 (") + abendReason_ + u')';
    switch (outcome_) {
        case RunOutcome::Ended:
            return QStringLiteral("終了");
        case RunOutcome::EndedWithErrors:
            return QStringLiteral("終了 (エラー %1 件)")
                .arg(StatusCounters::LeadingNumber(host_.PanelText(kPanelErrors)));
        case RunOutcome::Stopped:
            return abendReason_.isEmpty() ? QStringLiteral("中止") : abended;
        case RunOutcome::ConnectionFailed:
        case RunOutcome::LogUnwritable:
            return abended;
        case RunOutcome::NotRun:
        case RunOutcome::Refused:
            break;
    }
    return QString();
}

void RunDriver::Restore() {
    host_.SetRunning(false);
    host_.SetPanelText(kPanelMode, EndText());
    host_.SetTimerRunning(false);
    ledger_.reset();
    remote_->FtpQuit();
    commandPrefix_.clear();
    appLog_.reset();
    running_ = false;
}

void RunDriver::mnuQuitRunning_Click() {
    const MsgAnswer answer = host_.ShowMessage(
        QStringLiteral("ファイルを転送中です。このファイルの転送が終わるまで待つ場合は「はい」を、"
                       "直ちに終了する場合は「いいえ」を選択してください。"),
        MsgIcon::Question, MsgButtons::YesNoCancel);
    if (answer == MsgAnswer::Yes)
        StopAfterFile();
    else if (answer == MsgAnswer::No)
        StopNow();
}

void RunDriver::StopAfterFile() {
    remote_->blnQuitAfterFile = true;
}

void RunDriver::StopNow() {
    remote_->blnAbend = true;
    if (pool_)
        pool_->StopNow();
}

void RunDriver::UnloadApplication() {
    remote_->blnAbend = true;
    if (pool_)
        pool_->StopNow();
    if (running_) {
        unloading_ = true;
        WriteLog(QStringLiteral("USER QUIT - UNLOAD APPLICATION"));
    }
    remote_->CloseSockets();
}

void RunDriver::Logging(const QString& line) {
    if (appLog_)
        appLog_->Logging(commandPrefix_ + line);
}

void RunDriver::WriteLog(const QString& line) {
    // Every connection that meets such a server says so; the run log once.
    static const QString kPasvAddressNotUsed = QStringLiteral("WARNING - PASV ADDRESS NOT USED");
    if (line.startsWith(PartFile::kRenameNotAtomic) || line.startsWith(kPasvAddressNotUsed)) {
        if (toldOnce_.contains(line))
            return;
        toldOnce_.insert(line);
    }
    QString error;
    if (!Fun_Error_Success::WriteLogTo(logPath_, line, &error))
        LogWriteFailed(error);
}

// The first failure is kept; the run stops at once.
void RunDriver::LogWriteFailed(const QString& reason) {
    if (logFailure_.isEmpty())
        logFailure_ = reason.isEmpty() ? QStringLiteral("the line could not be written") : reason;
    remote_->blnAbend = true;
}

void RunDriver::ShowSocketError(const QString& text) {
    host_.ShowMessage(text, MsgIcon::Exclamation, MsgButtons::Ok);
}

bool RunDriver::InvestigateMode() {
    return host_.InvestigateMode();
}

void RunDriver::UploadProgress(const QString& localPath, qint64 sent, qint64 size) {
    progress_.Moved(1, localPath, sent, size);
}

void RunDriver::UploadEnded() {
    progress_.Ended(1);
}

Typ_ServerOptions RunDriver::ServerOptions(const QString& hostPort) {
    return ServerSettings::Read(hostPort);
}

// Trusted for this run on Yes, and kept for the next ones when the settings file takes it.
bool RunDriver::TrustCertificate(const QString& hostPort, const QByteArray& fingerprint,
                                 const QString& question) {
    if (host_.ShowMessage(question, MsgIcon::Question, MsgButtons::YesNoDefaultNo) !=
        MsgAnswer::Yes)
        return false;
    QString error;
    if (!ServerSettings::WriteTrustedCertificate(hostPort, fingerprint, &error) && !error.isEmpty())
        host_.ShowMessage(QStringLiteral("設定ファイルに保存できませんでした。\r\n") + error,
                          MsgIcon::Exclamation, MsgButtons::Ok);
    return true;
}

bool RunDriver::TrustHostKey(const QString& hostPort, const QByteArray& fingerprint,
                             const QString& question) {
    if (host_.ShowMessage(question, MsgIcon::Question, MsgButtons::YesNoDefaultNo) !=
        MsgAnswer::Yes)
        return false;
    QString error;
    if (!ServerSettings::WriteTrustedHostKey(hostPort, fingerprint, &error) && !error.isEmpty())
        host_.ShowMessage(QStringLiteral("設定ファイルに保存できませんでした。\r\n") + error,
                          MsgIcon::Exclamation, MsgButtons::Ok);
    return true;
}
