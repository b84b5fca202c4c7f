#pragma once

#include <QDialog>
#include <QString>

class MessageHost;
class QComboBox;
class QLineEdit;
class QSpinBox;

// The connection options of one server (host:port), shared by every profile that names it: how
// data connections are made, whether TLS is required, the certificate trusted although it does
// not verify, how many connections a run opens, and whether files go under a temporary name. For
// an SFTP server: the host key trusted although no known_hosts file holds it, and how many
// connections a run opens. Read from and stored in the settings file.
class frmServerSetting : public QDialog {
    Q_OBJECT

public:
    frmServerSetting(const QString& hostPort, bool sftp, MessageHost& messages,
                     QWidget* parent = nullptr);

    QComboBox* cboDataConnection;  // アクティブ, パッシブ
    QComboBox* cboTls;             // 使用しない, 必須
    QLineEdit* txtTrustedCertificate;
    QLineEdit* txtTrustedHostKey;  // SFTP only
    QSpinBox* spnConnections;      // 1 to 16
    QComboBox* cboTempUpload;      // 使用しない, 使用する (FTP only)

    // Stores the options and closes; a fingerprint that is not one is refused with a message and
    // the dialog stays open.
    void accept() override;

private:
    bool Refuse(const QString& message, QLineEdit* field);

    QString m_hostPort;
    bool m_sftp;
    MessageHost& m_messages;
};
