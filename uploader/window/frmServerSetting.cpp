#include "frmServerSetting.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include "API_IniFileAccess.h"
#include "HostKeyFingerprint.h"
#include "MessageHost.h"
#include "ServerCertificate.h"
#include "ServerSettings.h"

frmServerSetting::frmServerSetting(const QString& hostPort, bool sftp, MessageHost& messages,
                                   QWidget* parent)
    : QDialog(parent),
      cboDataConnection(new QComboBox(this)),
      cboTls(new QComboBox(this)),
      txtTrustedCertificate(new QLineEdit(this)),
      txtTrustedHostKey(new QLineEdit(this)),
      spnConnections(new QSpinBox(this)),
      cboTempUpload(new QComboBox(this)),
      m_hostPort(hostPort),
      m_sftp(sftp),
      m_messages(messages) {
    setObjectName(QStringLiteral("frmServerSetting"));
    setWindowTitle(QStringLiteral("ｻｰﾊﾞｰ接続設定 - ") + hostPort);
    cboDataConnection->addItems({QStringLiteral("ｱｸﾃｨﾌﾞ (PORT)"), QStringLiteral("ﾊﾟｯｼﾌﾞ (PASV)")});
    cboTls->addItems({QStringLiteral("使用しない"), QStringLiteral("必須 (AUTH TLS)")});
    txtTrustedCertificate->setPlaceholderText(QStringLiteral("AB:CD:EF:... (SHA-256)"));
    // Wide enough for a whole fingerprint with its colons.
    txtTrustedCertificate->setMinimumWidth(
        txtTrustedCertificate->fontMetrics().horizontalAdvance(QStringLiteral("DD:").repeated(33)));
    txtTrustedHostKey->setPlaceholderText(QStringLiteral("SHA256:... (ssh-keygen -l)"));

    spnConnections->setRange(kMinConnections, kMaxConnections);
    spnConnections->setToolTip(
        QStringLiteral("1 より大きいと、その数の接続でﾌｧｲﾙを同時に送ります。遠いｻｰﾊﾞｰには 4 を"
                       "お勧めします。"));

    cboTempUpload->addItems({QStringLiteral("使用しない"), QStringLiteral("使用する")});
    cboTempUpload->setToolTip(
        QStringLiteral("ﾌｧｲﾙを一時名 (.名前.skerrowex-part) で送り、全て届いてから名前を変えます。"
                       "閲覧者が送信途中のﾌｧｲﾙを見ることはありません。Web ｻｲﾄにお勧めします。"));

    const Typ_ServerOptions options = ServerSettings::Read(hostPort);
    cboTempUpload->setCurrentIndex(options.TempUpload == TU_On ? 1 : 0);
    spnConnections->setValue(options.Connections);
    cboDataConnection->setCurrentIndex(options.DataConnection == DC_Passive ? 1 : 0);
    cboTls->setCurrentIndex(options.Tls == TLS_Require ? 1 : 0);
    if (!options.TrustedCertificate.isEmpty())
        txtTrustedCertificate->setText(
            ServerCertificate::FingerprintText(options.TrustedCertificate));
    if (!options.TrustedHostKey.isEmpty())
        txtTrustedHostKey->setText(HostKeyFingerprint::Text(options.TrustedHostKey));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("ｻｰﾊﾞｰ:"), new QLabel(hostPort, this));
    if (sftp) {
        form->addRow(QStringLiteral("信頼するﾎｽﾄ鍵(&K):"), txtTrustedHostKey);
        for (QWidget* ftpOnly :
             std::initializer_list<QWidget*>{cboDataConnection, cboTls, txtTrustedCertificate})
            ftpOnly->hide();
    } else {
        form->addRow(QStringLiteral("ﾃﾞｰﾀ接続(&D):"), cboDataConnection);
        form->addRow(QStringLiteral("TLS(&T):"), cboTls);
        form->addRow(QStringLiteral("信頼する証明書(&C):"), txtTrustedCertificate);
        txtTrustedHostKey->hide();
    }
    form->addRow(QStringLiteral("同時接続数(&N):"), spnConnections);
    form->addRow(QStringLiteral("一時名で転送(&U):"), cboTempUpload);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &frmServerSetting::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &frmServerSetting::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(new QLabel(
        QStringLiteral("この設定は、このｻｰﾊﾞｰを使う全てのﾌﾟﾛﾌｧｲﾙに適用されます。"), this));
    layout->addWidget(buttons);
}

void frmServerSetting::accept() {
    Typ_ServerOptions options;
    options.DataConnection = cboDataConnection->currentIndex() == 1 ? DC_Passive : DC_Active;
    options.Tls = cboTls->currentIndex() == 1 ? TLS_Require : TLS_Off;
    options.Connections = spnConnections->value();
    options.TempUpload = cboTempUpload->currentIndex() == 1 ? TU_On : TU_Off;
    const QString fingerprint = txtTrustedCertificate->text().trimmed();
    options.TrustedCertificate = ServerCertificate::ParseFingerprint(fingerprint);
    if (!m_sftp && !fingerprint.isEmpty() && options.TrustedCertificate.isEmpty())
        return void(Refuse(QStringLiteral("信頼する証明書は、SHA-256 のフィンガープリント"
                                          "（16 進数 64 桁、2 桁ごとの : は省略可）で"
                                          "指定してください。"),
                           txtTrustedCertificate));
    const QString hostKey = txtTrustedHostKey->text().trimmed();
    options.TrustedHostKey = HostKeyFingerprint::Parse(hostKey);
    if (m_sftp && !hostKey.isEmpty() && options.TrustedHostKey.isEmpty())
        return void(Refuse(QStringLiteral("信頼するﾎｽﾄ鍵は、ssh-keygen -l が表示する SHA256: で"
                                          "始まるフィンガープリントで指定してください。"),
                           txtTrustedHostKey));
    QString error;
    if (!ServerSettings::Write(m_hostPort, options, &error, m_sftp)) {
        // A read-only file has had its warning; any other failure is told here.
        if (!error.isEmpty())
            m_messages.ShowMessage(QStringLiteral("設定ファイルに保存できませんでした。\r\n") +
                                       API_IniFileAccess::IniDefaultPath() +
                                       QStringLiteral("\r\n") + error,
                                   MsgIcon::Exclamation, MsgButtons::Ok);
        return;
    }
    QDialog::accept();
}

bool frmServerSetting::Refuse(const QString& message, QLineEdit* field) {
    m_messages.ShowMessage(message, MsgIcon::Exclamation, MsgButtons::Ok);
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
    return false;
}
