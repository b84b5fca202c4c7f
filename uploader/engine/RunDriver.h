#pragma once

#include <QSet>
#include <QString>

#include <memory>

#include "ConvTable.h"
#include "FtpClient.h"
#include "FtpHost.h"
#include "SftpClient.h"
#include "TransferPool.h"
#include "TransferProgress.h"

class RunHost;
class clsAdoJet;
class clsAppLog;

// How the last run ended, from its own course (never read back from a log).
enum class RunOutcome {
    NotRun,            // nothing ticked, or unsaved edits kept: nothing happened
    Refused,           // another run holds the lock, the ledger or a local folder is unusable;
                       // the message was shown, no log was written
    ConnectionFailed,  // the run log ends with "ABEND"
    Stopped,           // a stop, a network fault or the window closing; "USER QUIT ..." last
    Ended,             // "END (" with no error counted
    EndedWithErrors,   // "END (" with errors counted
    LogUnwritable,     // a line of the run log could not be written: the run stopped there
};

// Runs the ticked profiles of the list one after the other: opens the ledger, checks the local
// folders, locks the window, prepares the logs and the conversion table, connects, walks, writes
// the closing line, shows the run log and always restores the window. It owns the engine's state
// for the run: the FTP and SFTP clients with their shared members, the loaded conversion table,
// the ledger and the command log.
class RunDriver : public FtpHost {
public:
    explicit RunDriver(RunHost& host);
    ~RunDriver() override;

    // The run command.
    void mnuRun_Click();
    // The preview command: a run that connects, lists and walks but changes nothing; its log
    // (Fun_Error_Success::GetPreviewLogPath) names each folder it would make and each file it
    // would send, and ends with their numbers.
    void mnuPreview_Click();
    // The stop command: asks whether to stop after the current file or at once.
    void mnuQuitRunning_Click();
    // Stop after the current file, or at once, without asking (the headless runner's Ctrl-C).
    void StopAfterFile();
    void StopNow();
    // The program ends during or outside a run: stop at once, note it in the run log when a run
    // was going on, close the connections. The run returns without its closing line.
    void UnloadApplication();

    bool Running() const { return running_; }
    RunOutcome Outcome() const { return outcome_; }
    // The connection of the profile being run (of the last one, after the run).
    RemoteConnection& Ftp() { return *remote_; }
    const Typ_ConvTable& Conv() const { return conv_; }

    // True when the profile's local base directory exists and is a directory; otherwise shows
    // the message and loads the profile into the edit fields.
    bool CheckLocalDir(int item, const Typ_Profile& profile);

    // FtpHost
    void Logging(const QString& line) override;
    void WriteLog(const QString& line) override;
    void ShowSocketError(const QString& text) override;
    bool InvestigateMode() override;
    void UploadProgress(const QString& localPath, qint64 sent, qint64 size) override;
    void UploadEnded() override;
    Typ_ServerOptions ServerOptions(const QString& hostPort) override;
    bool TrustCertificate(const QString& hostPort, const QByteArray& fingerprint,
                          const QString& question) override;
    bool TrustHostKey(const QString& hostPort, const QByteArray& fingerprint,
                      const QString& question) override;

private:
    void Start(bool preview);
    bool ValidateTicked(int* ticked);
    void Lock();
    void PrepareLogs();
    void WorkPass();
    bool RunProfiles();
    void LogWriteFailed(const QString& reason);
    // The connection for the profile's address (FTP or SFTP); the stop flags go with the run.
    void UseConnectionFor(const Typ_Profile& profile);
    QString ConnectionFailure(const Typ_Profile& profile) const;
    // Connects as ConnectFtp does, starting the further connections once logged in; a preview
    // never makes the remote base (baseMissing_ then).
    bool Connect(const Typ_Profile& profile, int connections);
    // How many connections the profile's server takes: 1 in investigate mode and in a preview,
    // where nothing is sent.
    int ConnectionsFor(const Typ_Profile& profile);
    // The further connections of the profile being run, logging in as the first goes on.
    void StartPool(int connections);
    // QUIT on them, and their threads ended.
    void ClosePool();
    void WriteClosingLine();
    void WriteFaultLine();
    // How the run ended, for the first status panel; "" for a run that did not start.
    QString EndText() const;
    void Restore();

    RunHost& host_;
    FtpClient ftp_;
    SftpClient sftp_;
    RemoteConnection* remote_ = &ftp_;
    Typ_ConvTable conv_;
    std::unique_ptr<clsAdoJet> ledger_;
    std::unique_ptr<clsAppLog> appLog_;
    std::unique_ptr<TransferPool> pool_;  // the further connections of the profile being run
    QString commandPrefix_;  // "[1] " for the walk's own connection when there are more
    bool running_ = false;
    bool preview_ = false;
    QString logPath_;           // the run log, or the preview's
    bool baseMissing_ = false;  // a preview found no remote base
    int previewFolders_ = 0;
    int previewFiles_ = 0;
    RunOutcome outcome_ = RunOutcome::NotRun;
    bool unloading_ = false;
    QString logFailure_;   // why a run log line could not be written; empty while all went
    QString abendReason_;  // why the run ended abnormally
    TransferProgress progress_;
    QSet<QString> toldOnce_;  // run-log lines written once a run, whichever connection says them
};
