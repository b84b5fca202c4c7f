#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "RemoteListing.h"
#include "Typ_Profile.h"
#include "Typ_ServerOptions.h"

class FtpHost;

// One logged-in connection of a run to a profile's server, as the walk, the run driver and the
// pool of further connections use it: FTP (FtpClient) or SFTP (SftpClient), chosen by the
// address's scheme. Each call waits, in the event loop of the thread that made the connection,
// until the server answered, a stop (blnAbend) or a fault ended the wait.
class RemoteConnection {
public:
    virtual ~RemoteConnection() = default;

    // A wait that hears nothing from the server for this long ends as a fault.
    virtual void SetReplyTimeoutSec(int seconds) = 0;
    // Connects, logs in, enters or makes the remote base and lists it. False: failed connection
    // (or a stop while connecting).
    virtual bool ConnectFtp(const Typ_Profile& profile) = 0;
    // ConnectFtp's two steps: connects and logs in only (as the further connections of a run
    // do), then enters or makes the remote base and lists it.
    virtual bool FtpLogin(const Typ_Profile& profile) = 0;
    virtual bool EnterBase() = 0;
    // The server's options as this connection uses them, with a key or certificate the user
    // trusted while it logged in.
    virtual const Typ_ServerOptions& Options() const = 0;
    // Why the connection failed or was ended by a fault; empty when none came.
    virtual QString FaultReason() const = 0;
    // The connection to the server is open.
    virtual bool Connected() const = 0;

    // Whether the remote folder exists (FTP enters it).
    virtual bool FtpChangeDir(const QString& path) = 0;
    // Makes the last level of the path.
    virtual bool FtpMakeDir(const QString& path) = 0;
    // Whether the remote file exists.
    virtual bool FtpExistFile(const QString& remotePath) = 0;
    // Every entry of one remote folder as dir + "/" + name.
    virtual bool ListRemoteDir(const QString& dir, RemoteListing* paths) = 0;
    // Sends the local file (a regular file only); true once the server has confirmed the whole
    // file and the file did not change while it went. In investigate mode true at once.
    virtual bool FtpPutFile(const QString& localPath, const QString& remotePath) = 0;
    // Why the last FtpPutFile failed, on one line.
    virtual QString LastPutFailure() const = 0;
    // The last FtpPutFile failed because the file changed while it was sent.
    virtual bool LastPutFileChanged() const = 0;
    // The SHA-256 (hex) of the bytes the last FtpPutFile sent, or in investigate mode read; ""
    // when it failed or the file could not be read whole.
    virtual QString LastPutDigest() const = 0;
    // Deletes a remote file: part files a run left behind, and nothing a user put there.
    virtual bool FtpDeleteFile(const QString& path) = 0;
    // A cheap request that keeps an idle connection from being closed.
    virtual bool FtpNoop() = 0;
    // Says goodbye and closes without waiting for the answer.
    virtual void FtpQuit() = 0;
    // Closes at once.
    virtual void CloseSockets() = 0;

    // Members shared with the run driver and the walk.
    bool blnAbend = false;          // stop now
    bool blnQuitAfterFile = false;  // stop after the file being sent
    QString strLastReply;           // the server's last answer, as text
    Typ_Profile udtProfile;
    QString strLocalBaseDir;
    QString strRemoteBaseDir;
    RemoteListing strRemoteList;  // the listing of the remote base taken by ConnectFtp
    qint32 lngRemoteListCount = 0;
    bool blnRemoteListRecursive = false;  // ... covers every folder below the base
};

// Makes a connection that reports to host, in the calling thread.
using RemoteConnectionFactory = std::function<std::unique_ptr<RemoteConnection>(FtpHost& host)>;
