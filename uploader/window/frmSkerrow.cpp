#include "frmSkerrow.h"
#include "frmServerSetting.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <utility>

#include "API_IniFileAccess.h"
#include "AppTitle.h"
#include "ComponentControl.h"
#include "ConvTableHelp.h"
#include "Dunvorel_TypeLib.h"
#include "FtpAddress.h"
#include "Fun_CheckUnloadMode.h"
#include "Fun_EasyVersion.h"
#include "Fun_ListViewOperate.h"
#include "Fun_SelText.h"
#include "HostedTargetSelector.h"
#include "MessageHost.h"
#include "NumericText.h"
#include "Pelomir_TypeLib.h"
#include "StatusCounters.h"

namespace {

constexpr int kKeyRole = Qt::UserRole;
constexpr int kTagRole = Qt::UserRole + 1;
const QString kFtpScheme = QStringLiteral("ftp://");
const QString kCrLf = QStringLiteral("\r\n");
const QString kSettingSection = QStringLiteral("Setting");
const QString kConvTableKey = QStringLiteral("ConvNameTable");
const QString kByline = QStringLiteral("the SkerrowEx developers <skerrowex@example.org>");
// What each status panel counts, as its tooltip says.
const std::array<QString, 5> kPanelTips{
    QStringLiteral("実行の状態: 実行中・調査中、終わった実行の結果"),
    QStringLiteral("調べたﾌｧｲﾙの数 (files)"),
    QStringLiteral("送ったﾌｧｲﾙの数 (copies)"),
    QStringLiteral("ｴﾗｰの数 (err)"),
    QStringLiteral("実行の経過秒数 (sec)"),
};
constexpr int kProgressSteps = 1000;

// Every character of the password shows as "*", whatever the style's own mask character is.
class PasswordStarStyle : public QProxyStyle {
public:
    explicit PasswordStarStyle(QObject* owner) { setParent(owner); }
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter)
            return u'*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

bool IsFieldFocusChange(const QEvent* event) {
    const auto reason = static_cast<const QFocusEvent*>(event)->reason();
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
           reason != Qt::MenuBarFocusReason;
}

}  // namespace

frmSkerrow::frmSkerrow(MessageHost& host, QWidget* parent)
    : QMainWindow(parent),
      lvList(new QTreeWidget(this)),
      // Designed with their size only, and the table's with its style and filter.
      stLocalDir(new HostedTargetSelector(this, QStringLiteral("stLocalDir"), {})),
      stConvTable(new HostedTargetSelector(
          this, QStringLiteral("stConvTable"),
          {{QStringLiteral("Style"), Pelomir_TypeLib::ST_FileOpen},
           {QStringLiteral("Filter"),
            QStringLiteral("変換ﾃｰﾌﾞﾙ (*.txt)|*.txt|全てのﾌｧｲﾙ (*.*)|*.*")}})),
      txtFtpDir(new QLineEdit(this)),
      txtAccount(new QLineEdit(this)),
      txtPasswd(new QLineEdit(this)),
      txtAmbiguousSecond(new QLineEdit(this)),
      txtKey(new QLineEdit(this)),
      sbPanel(new QStatusBar(this)),
      lblTransfer(new QLabel(sbPanel)),
      prgTransfer(new QProgressBar(sbPanel)),
      tmrSec(new QTimer(this)),
      m_host(host),
      m_runHost(std::make_unique<WindowRunHost>(*this, host)),
      m_driver(std::make_unique<RunDriver>(*m_runHost)) {
    setObjectName(QStringLiteral("frmSkerrow"));
    setWindowTitle(AppTitle::Title());
    BuildList();
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(lvList, 1);
    layout->addWidget(BuildFields());
    setCentralWidget(central);
    BuildStatusBar();
    BuildMenus();
    tmrSec->setInterval(1000);
    Connect();
    resize(720, 520);
    CreateFormBehaviour();
    FormLoad();
}

// The driver goes first: it still talks to the window while it closes its connections.
frmSkerrow::~frmSkerrow() {
    m_driver.reset();
}

void frmSkerrow::BuildList() {
    lvList->setObjectName(QStringLiteral("lvList"));
    lvList->setColumnCount(4);
    lvList->setHeaderLabels({QStringLiteral("Local Base Dir"), QStringLiteral("Int."),
                             QStringLiteral("Ftp Base Dir"), QStringLiteral("Account")});
    lvList->setRootIsDecorated(false);
    lvList->setUniformRowHeights(true);
    lvList->setAllColumnsShowFocus(true);
    lvList->setSelectionMode(QAbstractItemView::SingleSelection);
    lvList->header()->setSectionsClickable(true);
    lvList->header()->setStretchLastSection(false);
    lvList->installEventFilter(this);
    lvList->viewport()->installEventFilter(this);
}

QWidget* frmSkerrow::BuildFields() {
    auto* fields = new QWidget(this);
    auto* grid = new QGridLayout(fields);
    grid->setContentsMargins(0, 0, 0, 0);
    auto addRow = [&](int row, const QString& caption, QWidget* field, QWidget* before = nullptr) {
        auto* label = new QLabel(caption, fields);
        label->setBuddy(field);
        lblGuide.append(label);
        grid->addWidget(label, row, 0);
        if (before)
            grid->addWidget(before, row, 1);
        grid->addWidget(field, row, before ? 2 : 1, 1, before ? 1 : 2);
    };
    addRow(0, QStringLiteral("&LOCAL BASE DIR"), stLocalDir->Widget());
    auto* scheme = new QLabel(kFtpScheme, fields);
    addRow(1, QStringLiteral("F&TP BASE DIR"), txtFtpDir, scheme);
    // An SFTP address carries its own scheme.
    connect(txtFtpDir, &QLineEdit::textChanged, scheme,
            [scheme](const QString& text) { scheme->setVisible(!IsSftpAddress(text)); });
    addRow(2, QStringLiteral("&ACCOUNT"), txtAccount);
    addRow(3, QStringLiteral("&PASSWD"), txtPasswd);
    addRow(4, QStringLiteral("AMBIGUOUS &INTERVAL(sec)"), txtAmbiguousSecond);
    addRow(5, QStringLiteral("&CONV NAME TABLE FILE"), stConvTable->Widget());
    grid->setColumnStretch(2, 1);
    txtPasswd->setEchoMode(QLineEdit::Password);
    txtPasswd->setStyle(new PasswordStarStyle(txtPasswd));
    txtFtpDir->setPlaceholderText(QStringLiteral("host[:port]/path, sftp://host[:port]/path"));
    txtKey->setVisible(false);

    m_buttonBar = new QWidget(fields);
    auto* buttons = new QHBoxLayout(m_buttonBar);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->addStretch(1);
    const QStringList captions{QStringLiteral("新規(&N)"), QStringLiteral("登録更新(&R)"),
                               QStringLiteral("削除(&D)")};
    for (int i = 0; i < 3; ++i) {
        btnAction[i] = new QPushButton(captions[i], m_buttonBar);
        btnAction[i]->setAutoDefault(false);
        buttons->addWidget(btnAction[i]);
    }
    grid->addWidget(m_buttonBar, 6, 0, 1, 3);
    for (QLineEdit* box : {txtFtpDir, txtAccount, txtPasswd, txtAmbiguousSecond})
        box->installEventFilter(this);
    return fields;
}

void frmSkerrow::BuildStatusBar() {
    setStatusBar(sbPanel);
    sbPanel->setSizeGripEnabled(true);
    for (std::size_t i = 0; i < m_panels.size(); ++i) {
        QLabel*& panel = m_panels[i];
        panel = new QLabel(sbPanel);
        panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        panel->setMinimumWidth(90);
        panel->setToolTip(kPanelTips[i]);
        sbPanel->addWidget(panel, 1);
    }
    // A long reason of an abnormal end is cut off here; its tooltip holds all of it.
    m_panels[0]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lblTransfer->setObjectName(QStringLiteral("lblTransfer"));
    lblTransfer->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    lblTransfer->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    prgTransfer->setObjectName(QStringLiteral("prgTransfer"));
    prgTransfer->setRange(0, kProgressSteps);
    prgTransfer->setTextVisible(false);
    prgTransfer->setFixedWidth(100);
    sbPanel->addWidget(lblTransfer, 3);
    sbPanel->addWidget(prgTransfer);
    lblTransfer->hide();
    prgTransfer->hide();
}

void frmSkerrow::BuildMenus() {
    mnuFile = menuBar()->addMenu(QStringLiteral("ﾌｧｲﾙ(&F)"));
    mnuRun = mnuFile->addAction(QStringLiteral("実行(&R)"));
    mnuPreview = mnuFile->addAction(QStringLiteral("ﾌﾟﾚﾋﾞｭｰ(&P)"));
    mnuQuitRunning = mnuFile->addAction(QStringLiteral("中止(&Q)"));
    mnuQuitRunning->setVisible(false);
    mnuFile->addSeparator();
    mnuWithOutConvTable = mnuFile->addAction(QStringLiteral("変換テーブルを使用しない(&W)"));
    mnuFile->addSeparator();
    mnuSeek = mnuFile->addAction(QStringLiteral("調査(&G)"));
    mnuSeek->setCheckable(true);
    mnuFile->addSeparator();
    mnuServerSetting = mnuFile->addAction(QStringLiteral("ｻｰﾊﾞｰ接続設定(&S)..."));
    mnuFile->addSeparator();
    mnuClose = mnuFile->addAction(QStringLiteral("閉じる(&C)"));
    mnuHelp = menuBar()->addMenu(QStringLiteral("ﾍﾙﾌﾟ(&H)"));
    mnuHelpConvTable = mnuHelp->addAction(QStringLiteral("変換ﾃｰﾌﾞﾙについて(&C)..."));
    mnuHelp->addSeparator();
    mnuVersion = mnuHelp->addAction(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報(&A)..."));
}

void frmSkerrow::Connect() {
    for (QLineEdit* box : {txtFtpDir, txtAccount, txtPasswd, txtAmbiguousSecond})
        connect(box, &QLineEdit::textChanged, this, [this] { blnEditing = true; });
    // A folder chosen in stLocalDir, by its dialog or by a drop, is an edit; a table is not.
    stLocalDir->OnPelomir([this] {
        m_loadedLocalDir.clear();
        blnEditing = true;
    });
    for (int i = 0; i < 3; ++i)
        connect(btnAction[i], &QPushButton::clicked, this, [this, i] {
            // A button pressed by its access key takes the focus too, so the field being left
            // has its leave handling done before the action reads it.
            btnAction[i]->setFocus(Qt::ShortcutFocusReason);
            btnAction_Click(i);
        });
    connect(lvList, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { LoadItemIntoFields(item); });
    connect(lvList->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { Fun_ListViewOperate::SortByColumn(lvList, column); });
    connect(tmrSec, &QTimer::timeout, this, [this] { CountUp(5, StatusCounters::kSeconds); });
    connect(mnuRun, &QAction::triggered, this, [this] {
        if (IntervalAccepted())
            m_driver->mnuRun_Click();
    });
    connect(mnuPreview, &QAction::triggered, this, [this] {
        if (IntervalAccepted())
            m_driver->mnuPreview_Click();
    });
    connect(mnuQuitRunning, &QAction::triggered, this,
            [this] { m_driver->mnuQuitRunning_Click(); });
    connect(mnuSeek, &QAction::toggled, this, [this] {
        if (!IsRunning())
            SetPanelText(1, QString());
    });
    connect(mnuWithOutConvTable, &QAction::triggered, this,
            [this] { stConvTable->setInitDir(QString()); });
    connect(mnuServerSetting, &QAction::triggered, this, &frmSkerrow::mnuServerSetting_Click);
    connect(mnuClose, &QAction::triggered, this, [this] {
        m_unloadMode = Fun_CheckUnloadMode::UnloadMode_FormCode;
        close();
        m_unloadMode = Fun_CheckUnloadMode::UnloadMode_FormControlMenu;
    });
    connect(mnuHelpConvTable, &QAction::triggered, this, [this] {
        m_host.ShowMessage(ConvTableHelpText(), MsgIcon::Information, MsgButtons::Ok);
    });
    connect(mnuVersion, &QAction::triggered, this,
            [this] { Fun_EasyVersion::EasyVersion(m_host, kByline); });
}

// ffMain comes from its library, found by ProgID. Designed with PositionScreen centred; the
// window is a link source so that a second instance could hand its command line over, but
// AppPrevInstance keeps its default (off).
void frmSkerrow::CreateFormBehaviour() {
    using namespace Dunvorel_TypeLib;
    setProperty(kLinkModeProperty, LinkMode_Source);
    ffMain = ComponentControl::Create(QString::fromLatin1(ProgID), this,
                                      {{QStringLiteral("positionscreen"), FormPos_CenterMiddle}},
                                      &m_formBehaviourError);
    if (!ffMain)
        return;
    ffMain->Widget()->setObjectName(QStringLiteral("ffMain"));
    ffMain->ConnectEvent(
        EventId::AfterFormPosition, [this](ComponentEvent&) { AfterFormPosition(); },
        &m_formBehaviourError);
}

void frmSkerrow::FormLoad() {
    using namespace Dunvorel_TypeLib;
    if (ffMain) {
        ffMain->SetProperty(DispId::PositionScreen, FormPos_CenterMiddle, &m_formBehaviourError);
        ffMain->SetProperty(DispId::TextBoxClearAll, true, &m_formBehaviourError);
    }
    for (QLineEdit* box : {txtAccount, txtKey, txtPasswd, txtFtpDir, txtAmbiguousSecond})
        box->setText(QString());
    ReadProfiles();
    for (int panel = 1; panel <= 5; ++panel)
        SetPanelText(panel, QString());
    QString table;
    if (API_IniFileAccess::IniRead(kSettingSection, table, kConvTableKey))
        stConvTable->setInitDir(table);
    blnEditing = false;
}

// Fills the list from the profile file. A file that cannot be read leaves the list as it was, and
// is replaced later only when the user agrees.
bool frmSkerrow::ReadProfiles() {
    QList<ProfileRow> rows;
    QList<QByteArray> kept;
    m_profilesUnreadable = ProfileFile::Load(ProfileFile::DefaultPath(), &rows, &m_profileStamp,
                                             &kept) == ProfileFile::LoadResult::Unreadable;
    if (m_profilesUnreadable) {
        m_host.ShowMessage(QStringLiteral("プロファイルファイルを読み込めませんでした。") + kCrLf +
                               ProfileFile::DefaultPath(),
                           MsgIcon::Exclamation, MsgButtons::Ok);
        return false;
    }
    m_keptProfileLines = kept;
    if (!kept.isEmpty())
        m_host.ShowMessage(QStringLiteral("プロファイルファイルの %1 行を読み取れませんでした。"
                                          "これらの行は変更せずに保存されます。")
                                   .arg(kept.size()) +
                               kCrLf + ProfileFile::DefaultPath(),
                           MsgIcon::Exclamation, MsgButtons::Ok);
    lvList->clear();
    for (int n = 0; n < rows.size(); ++n)
        AddItem(rows[n], QLatin1Char(':') + QString::number(n + 1));
    KeepSorted();
    Fun_ListViewOperate::FitColumnWidths(lvList);
    return true;
}

void frmSkerrow::AfterFormPosition() {
    QCoreApplication::processEvents();
    show();
}

// Without its form-behaviour control the window still opens centred; a control that could not be
// loaded or refused a setting is told about.
void frmSkerrow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (event->spontaneous() || m_shown)
        return;
    m_shown = true;
    if (!ffMain && screen())
        move(screen()->geometry().center() - frameGeometry().center() + pos());
    QTimer::singleShot(0, this, &frmSkerrow::TellMissingControls);
}

void frmSkerrow::TellMissingControls() {
    if (!m_formBehaviourError.isEmpty())
        m_host.ShowMessage(QStringLiteral("フォーム制御ライブラリを読み込めませんでした。") +
                               kCrLf + m_formBehaviourError,
                           MsgIcon::Exclamation, MsgButtons::Ok);
    // Both selectors come from one library: its reason is told once.
    const QString selectorError =
        !stLocalDir->Error().isEmpty() ? stLocalDir->Error() : stConvTable->Error();
    if (!selectorError.isEmpty())
        m_host.ShowMessage(
            QStringLiteral("対象選択ライブラリを読み込めませんでした。") + kCrLf + selectorError,
            MsgIcon::Exclamation, MsgButtons::Ok);
}

// ---- profiles ----

void frmSkerrow::btnAction_Click(int index) {
    if (!IntervalAccepted())
        return;
    switch (index) {
        case 0:
            NewProfile();
            break;
        case 1:
            RegisterProfile();
            break;
        case 2:
            DeleteProfile();
            break;
        default:
            break;
    }
}

void frmSkerrow::NewProfile() {
    if (blnEditing &&
        !AskDiscard(QStringLiteral("編集中のデータがあります。破棄してもよろしいですか？")))
        return;
    stLocalDir->setInitDir(QString());
    m_loadedLocalDir.clear();
    for (QLineEdit* box : {txtFtpDir, txtAccount, txtPasswd, txtAmbiguousSecond, txtKey})
        box->setText(QString());
    btnAction[2]->setEnabled(false);
    blnEditing = false;
}

void frmSkerrow::RegisterProfile() {
    QString local = stLocalDir->Target();
    if (!m_loadedLocalDir.isEmpty() && local == m_loadedLocalDirShown)
        local = m_loadedLocalDir;
    if (local.isEmpty())
        return void(Refuse(QStringLiteral("ローカルディレクトリの指定がありません。"),
                           stLocalDir->Widget()));
    if (txtFtpDir->text().isEmpty())
        return void(Refuse(QStringLiteral("ＦＴＰディレクトリの指定がありません。"), txtFtpDir));
    if (txtFtpDir->text().contains(u'\\'))
        return void(
            Refuse(QStringLiteral("ＦＴＰディレクトリに不正な文字が含まれています。"), txtFtpDir));
    FtpAddress address;
    if (!ParseFtpAddress(txtFtpDir->text(), &address))
        return void(
            Refuse(QStringLiteral("ＦＴＰディレクトリのホスト名またはポート番号が不正です。"
                                  "host[:port]/path (SFTP は sftp://host[:port]/path) の"
                                  "形式で、ポート番号は 1～65535 の数値で指定してください。"),
                   txtFtpDir));
    if (txtAccount->text().isEmpty())
        return void(Refuse(QStringLiteral("アカウントの設定がありません。"), txtAccount));
    // The profile file parts fields with TAB and profiles with line ends.
    const std::pair<QString, QWidget*> fields[] = {
        {local, stLocalDir->Widget()},
        {txtFtpDir->text(), txtFtpDir},
        {txtAccount->text(), txtAccount},
        {txtPasswd->text(), txtPasswd},
        {txtAmbiguousSecond->text(), txtAmbiguousSecond}};
    for (const auto& [text, box] : fields) {
        if (text.contains(u'\t') || text.contains(u'\r') || text.contains(u'\n'))
            return void(
                Refuse(QStringLiteral("タブ文字と改行はプロファイルに保存できません。"), box));
    }

    const QString interval =
        txtAmbiguousSecond->text().isEmpty() ? QStringLiteral("0") : txtAmbiguousSecond->text();
    const ProfileRow row{true,
                         local,
                         interval,
                         AddressColumnText(txtFtpDir->text()),
                         txtAccount->text(),
                         txtPasswd->text()};
    QTreeWidgetItem* item = txtKey->text().isEmpty() ? nullptr : FindItem(txtKey->text());
    if (item) {
        item->setText(ColLocalBaseDir, row.LocalBaseDir);
        item->setText(ColInterval, row.Interval);
        item->setText(ColFtpDir, row.FtpAddress);
        item->setText(ColAccount, row.Account);
        item->setData(ColLocalBaseDir, kTagRole, row.Passwd);
    } else {
        const QString key = NextFreeKey();
        AddItem(row, key);
        txtKey->setText(key);
    }
    KeepSorted();
    Fun_ListViewOperate::FitColumnWidths(lvList);
    blnEditing = false;
    // Kept on disk at once, not only at close. When the user took another window's list
    // instead, what the fields hold is not in the list.
    if (SaveProfiles() == ProfileSave::Reloaded)
        blnEditing = true;
}

// The password goes with the profile: the question names what is deleted, and No is the default.
void frmSkerrow::DeleteProfile() {
    QTreeWidgetItem* item = txtKey->text().isEmpty() ? nullptr : FindItem(txtKey->text());
    if (!item ||
        m_host.ShowMessage(QStringLiteral("次のﾌﾟﾛﾌｧｲﾙを削除してもよろしいですか？"
                                          "（パスワードも削除されます）") +
                               kCrLf + kCrLf + QStringLiteral("LOCAL BASE DIR: ") +
                               item->text(ColLocalBaseDir) + kCrLf +
                               QStringLiteral("FTP BASE DIR: ") + item->text(ColFtpDir),
                           MsgIcon::Question, MsgButtons::YesNoDefaultNo) != MsgAnswer::Yes)
        return;
    delete item;
    blnEditing = false;
    NewProfile();
    SaveProfiles();
}

bool frmSkerrow::Refuse(const QString& message, QWidget* focus) {
    m_host.ShowMessage(message, MsgIcon::Exclamation, MsgButtons::Ok);
    focus->setFocus(Qt::OtherFocusReason);
    return false;
}

bool frmSkerrow::AskDiscard(const QString& question) {
    return m_host.ShowMessage(question, MsgIcon::Question, MsgButtons::YesNo) == MsgAnswer::Yes;
}

// ":" + (count + 1) can still be in use after a deletion; the next unused number is taken then.
QString frmSkerrow::NextFreeKey() const {
    for (int n = ItemCount() + 1;; ++n) {
        const QString key = QLatin1Char(':') + QString::number(n);
        if (!FindItem(key))
            return key;
    }
}

void frmSkerrow::AddItem(const ProfileRow& row, const QString& key) {
    auto* item =
        new QTreeWidgetItem(lvList, {row.LocalBaseDir, row.Interval, row.FtpAddress, row.Account});
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    item->setCheckState(ColLocalBaseDir, row.Checked ? Qt::Checked : Qt::Unchecked);
    item->setData(ColLocalBaseDir, kKeyRole, key);
    item->setData(ColLocalBaseDir, kTagRole, row.Passwd);
}

// Once a header click has sorted the list, a new item takes its place at once (Qt would sort it
// only at the next event), so that what is saved and run follows what the user sees.
void frmSkerrow::KeepSorted() {
    if (lvList->isSortingEnabled())
        lvList->sortItems(lvList->header()->sortIndicatorSection(),
                          lvList->header()->sortIndicatorOrder());
}

QList<ProfileRow> frmSkerrow::Rows() const {
    QList<ProfileRow> rows;
    for (int i = 0; i < ItemCount(); ++i)
        rows.append(RowOf(Item(i)));
    return rows;
}

ProfileRow frmSkerrow::RowOf(const QTreeWidgetItem* item) {
    return {item->checkState(ColLocalBaseDir) == Qt::Checked,
            item->text(ColLocalBaseDir),
            item->text(ColInterval),
            item->text(ColFtpDir),
            item->text(ColAccount),
            item->data(ColLocalBaseDir, kTagRole).toString()};
}

void frmSkerrow::LoadItemIntoFields(QTreeWidgetItem* item) {
    if (blnEditing &&
        !AskDiscard(QStringLiteral("編集中のデータがあります。破棄してもよろしいですか？"))) {
        if (QTreeWidgetItem* editing = FindItem(txtKey->text()))
            lvList->setCurrentItem(editing);
        return;
    }
    // A click on an item's check box loads it too, and must leave it selected like any click.
    lvList->setCurrentItem(item);
    txtKey->setText(ItemKey(item));
    m_loadedLocalDir = item->text(ColLocalBaseDir);
    stLocalDir->setInitDir(m_loadedLocalDir);
    m_loadedLocalDirShown = stLocalDir->Target();
    txtAmbiguousSecond->setText(item->text(ColInterval));
    txtFtpDir->setText(FtpDirOfColumn(item->text(ColFtpDir)));
    txtAccount->setText(item->text(ColAccount));
    txtPasswd->setText(item->data(ColLocalBaseDir, kTagRole).toString());
    btnAction[2]->setEnabled(true);
    blnEditing = false;
}

Typ_Profile frmSkerrow::GetProfileFromItem(const QTreeWidgetItem* item) const {
    return ProfileFile::ProfileFromRow(RowOf(item));
}

bool frmSkerrow::SaveSetting() {
    QString error;
    if (API_IniFileAccess::IniWrite(kSettingSection, stConvTable->Target(), kConvTableKey,
                                    QString(), false, &error))
        return true;
    // A read-only file has had its warning; any other failure is told here.
    if (!error.isEmpty())
        m_host.ShowMessage(QStringLiteral("設定ファイルに保存できませんでした。") + kCrLf +
                               API_IniFileAccess::IniDefaultPath() + kCrLf + error,
                           MsgIcon::Exclamation, MsgButtons::Ok);
    return false;
}

// The options of the server of the profile in the fields: the one the user sees.
void frmSkerrow::mnuServerSetting_Click() {
    StripFtpScheme();
    FtpAddress address;
    if (!ParseFtpAddress(txtFtpDir->text(), &address)) {
        m_host.ShowMessage(QStringLiteral("接続設定を行うﾌﾟﾛﾌｧｲﾙを一覧で選択するか、"
                                          "FTP BASE DIR にｻｰﾊﾞｰを入力してください。"),
                           MsgIcon::Exclamation, MsgButtons::Ok);
        txtFtpDir->setFocus(Qt::OtherFocusReason);
        return;
    }
    frmServerSetting dialog(address.HostPort(), address.Sftp, m_host, this);
    dialog.exec();
}

// ---- list access ----

int frmSkerrow::ItemCount() const {
    return lvList->topLevelItemCount();
}

QTreeWidgetItem* frmSkerrow::Item(int index) const {
    return lvList->topLevelItem(index);
}

bool frmSkerrow::ItemChecked(int index) const {
    const QTreeWidgetItem* item = Item(index);
    return item && item->checkState(ColLocalBaseDir) == Qt::Checked;
}

void frmSkerrow::SetItemChecked(int index, bool checked) {
    if (QTreeWidgetItem* item = Item(index))
        item->setCheckState(ColLocalBaseDir, checked ? Qt::Checked : Qt::Unchecked);
}

QColor frmSkerrow::ItemTextColor(int index) const {
    const QTreeWidgetItem* item = Item(index);
    const QBrush brush = item ? item->foreground(ColLocalBaseDir) : QBrush();
    return brush.style() == Qt::NoBrush ? QColor() : brush.color();
}

void frmSkerrow::SetItemTextColor(int index, const QColor& color) {
    QTreeWidgetItem* item = Item(index);
    for (int column = 0; item && column < lvList->columnCount(); ++column)
        item->setForeground(column, color.isValid() ? QBrush(color) : QBrush());
}

QString frmSkerrow::ItemKey(const QTreeWidgetItem* item) {
    return item->data(ColLocalBaseDir, kKeyRole).toString();
}

QTreeWidgetItem* frmSkerrow::FindItem(const QString& key) const {
    for (int i = 0; i < ItemCount(); ++i) {
        if (ItemKey(Item(i)) == key)
            return Item(i);
    }
    return nullptr;
}

// ---- status panels ----

QString frmSkerrow::PanelText(int panel) const {
    return panel >= 1 && panel <= 5 ? m_panels[panel - 1]->text() : QString();
}

// Between runs the mode panel says so while investigate mode is on: it is never on unseen.
void frmSkerrow::SetPanelText(int panel, const QString& text) {
    if (panel < 1 || panel > 5)
        return;
    const bool idleInvestigate = panel == 1 && text.isEmpty() && !IsRunning() && InvestigateMode();
    m_panels[panel - 1]->setText(idleInvestigate ? QStringLiteral("調査") : text);
    if (panel == 1)
        m_panels[0]->setToolTip(text.isEmpty() ? kPanelTips[0] : kPanelTips[0] + u'\n' + text);
}

// One file: its name, bytes and size, per cent and rate; several: their number and their sums.
void frmSkerrow::ShowTransfer(const TransferStatus& status) {
    if (status.transfers == 0) {
        lblTransfer->clear();
        lblTransfer->setToolTip(QString());
        prgTransfer->setValue(0);
        return;
    }
    const QString what = status.transfers == 1 ? QFileInfo(status.localPath).fileName()
                                               : QStringLiteral("%1 件").arg(status.transfers);
    QString text = what + QStringLiteral("  ") + TransferProgress::ByteText(status.sent) +
                   QStringLiteral(" / ") + TransferProgress::ByteText(status.size) +
                   QStringLiteral("  %1%").arg(status.Percent());
    if (status.rate > 0)
        text += QStringLiteral("  ") + TransferProgress::RateText(status.rate);
    lblTransfer->setText(text);
    lblTransfer->setToolTip(status.transfers == 1 ? status.localPath : text);
    prgTransfer->setValue(status.size > 0 ? static_cast<int>(qMin(status.sent, status.size) *
                                                             kProgressSteps / status.size)
                                          : kProgressSteps);
}

void frmSkerrow::CountUpFiles() {
    CountUp(2, StatusCounters::kFiles);
}

void frmSkerrow::CountUpCopies() {
    CountUp(3, StatusCounters::kCopies);
}

void frmSkerrow::CountUpError() {
    CountUp(4, StatusCounters::kErrors);
}

// The panel is the only store of its count: the number at the start of its text, plus one.
void frmSkerrow::CountUp(int panel, const QString& suffix) {
    SetPanelText(panel, StatusCounters::CountedUp(PanelText(panel), suffix));
}

// ---- run state ----

void frmSkerrow::SetEditingEnabled(bool enabled) {
    lvList->setEnabled(enabled);
    stConvTable->setENABLED(enabled);
    stLocalDir->setENABLED(enabled);
    for (QLineEdit* box : {txtAmbiguousSecond, txtFtpDir, txtAccount, txtPasswd})
        box->setEnabled(enabled);
    // Each button keeps its own state underneath, so Delete comes back as it was.
    m_buttonBar->setEnabled(enabled);
}

void frmSkerrow::SetRunning(bool running) {
    ShowTransfer({});
    lblTransfer->setVisible(running);
    prgTransfer->setVisible(running);
    mnuRun->setVisible(!running);
    mnuPreview->setVisible(!running);
    mnuQuitRunning->setVisible(running);
    // A run reads a server's options when it connects: they are not changed under it.
    mnuServerSetting->setEnabled(!running);
}

bool frmSkerrow::IsRunning() const {
    return mnuQuitRunning->isVisible();
}

bool frmSkerrow::InvestigateMode() const {
    return mnuSeek->isChecked();
}

// ---- edit boxes ----

bool frmSkerrow::eventFilter(QObject* watched, QEvent* event) {
    // A click on the list is refused as it begins: the list would still take it once the focus
    // has gone back to the interval box.
    if (watched == lvList->viewport() && event->type() == QEvent::MouseButtonPress &&
        !IntervalAccepted())
        return true;
    if (watched == lvList && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            const QList<QTreeWidgetItem*> selected = lvList->selectedItems();
            if (!selected.isEmpty() && IntervalAccepted())
                LoadItemIntoFields(selected.first());
            return true;
        }
    }
    auto* box = qobject_cast<QLineEdit*>(watched);
    if (box && event->type() == QEvent::FocusIn) {
        // After the focus change is done, so that a mouse click does not undo the selection.
        QTimer::singleShot(0, box, [box] { Fun_SelText::SelectAllText(box); });
    } else if (box && event->type() == QEvent::FocusOut && IsFieldFocusChange(event)) {
        if (box == txtFtpDir)
            StripFtpScheme();
        else if (box == txtAmbiguousSecond)
            QTimer::singleShot(0, this, [this] {
                // An action the user moved to has checked the box already and given the focus
                // back to it.
                if (!txtAmbiguousSecond->hasFocus())
                    IntervalAccepted();
            });
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmSkerrow::StripFtpScheme() {
    const QString text = txtFtpDir->text();
    if (text.startsWith(kFtpScheme, Qt::CaseInsensitive))
        txtFtpDir->setText(text.mid(kFtpScheme.size()));
}

// Runs before every action of the window, and once the focus has left the box, so that the
// message box does not fight the focus change. A text that is not a number keeps the focus in the
// box, and the action does not happen.
bool frmSkerrow::IntervalAccepted() {
    const QString text = txtAmbiguousSecond->text();
    if (text.isEmpty() || NumericText::IsNumeric(text))
        return true;
    // The check the focus change queued runs inside the box of the action's own check: one
    // message for one press.
    if (m_tellingInterval)
        return false;
    m_tellingInterval = true;
    m_host.ShowMessage(QStringLiteral("この項目は数値項目です。"), MsgIcon::Exclamation,
                       MsgButtons::Ok);
    m_tellingInterval = false;
    txtAmbiguousSecond->selectAll();
    txtAmbiguousSecond->setFocus(Qt::OtherFocusReason);
    return false;
}

// ---- closing ----

void frmSkerrow::closeEvent(QCloseEvent* event) {
    if (QueryUnload(m_unloadMode))
        event->accept();
    else
        event->ignore();
}

void frmSkerrow::SystemUnload(qint16 mode) {
    QueryUnload(mode);
}

bool frmSkerrow::QueryUnload(qint16 mode) {
    if (Fun_CheckUnloadMode::CheckUnloadMode(mode)) {
        // A run going on ends at once with its unload line, and shows no log.
        m_driver->UnloadApplication();
        Fun_CheckUnloadMode::EndOnSystemUnload(mode);
        return true;
    }
    // Closing would cut the file being sent off, as stopping at once does.
    if (IsRunning() &&
        m_host.ShowMessage(
            QStringLiteral("ファイルを転送中です。転送を中止して終了してもよろしいですか？"),
            MsgIcon::Question, MsgButtons::YesNoDefaultNo) != MsgAnswer::Yes)
        return false;
    if (blnEditing &&
        !AskDiscard(QStringLiteral("編集中のデータがあります。このまま終了してよろしいですか？")))
        return false;
    if (SaveProfiles() == ProfileSave::NotSaved)
        return false;
    SaveSetting();
    // Ends a run that is going on, with its line in the run log, and closes the connections.
    m_driver->UnloadApplication();
    QCoreApplication::exit(0);
    return true;
}

// The list must not be lost: when it cannot be saved the window stays open. A profile file that
// could not be read at load, or that another window has written since this one read or wrote it,
// is replaced only when the user agrees.
frmSkerrow::ProfileSave frmSkerrow::SaveProfiles() {
    const QString path = ProfileFile::DefaultPath();
    if (m_profilesUnreadable) {
        if (m_host.ShowMessage(QStringLiteral("読み込めなかったプロファイルファイルを、"
                                              "現在の一覧で置き換えてもよろしいですか？"),
                               MsgIcon::Question, MsgButtons::YesNo) != MsgAnswer::Yes)
            return ProfileSave::LeftAlone;
    } else if (ChangedOnDisk()) {
        switch (AskAboutChangedFile()) {
            case MsgAnswer::Yes:
                return ReloadProfiles() ? ProfileSave::Reloaded : ProfileSave::NotSaved;
            case MsgAnswer::No:
                break;
            default:
                return ProfileSave::NotSaved;
        }
    }
    QString error;
    if (ProfileFile::Save(path, Rows(), &error, &m_profileStamp, m_keptProfileLines)) {
        m_profilesUnreadable = false;
        return ProfileSave::Written;
    }
    m_host.ShowMessage(
        QStringLiteral("プロファイルを保存できませんでした。") + kCrLf + path + kCrLf + error,
        MsgIcon::Exclamation, MsgButtons::Ok);
    return ProfileSave::NotSaved;
}

// A file that is gone holds nothing to lose; one whose bytes differ from what this window last
// read or wrote was written by someone else.
bool frmSkerrow::ChangedOnDisk() const {
    const QByteArray now = ProfileFile::Stamp(ProfileFile::DefaultPath());
    return !now.isEmpty() && now != m_profileStamp;
}

MsgAnswer frmSkerrow::AskAboutChangedFile() {
    return m_host.ShowMessage(
        QStringLiteral("プロファイルファイルが、この画面で読み込んだ後に別のウィンドウなどで"
                       "変更されています。") +
            kCrLf + ProfileFile::DefaultPath() + kCrLf + kCrLf +
            QStringLiteral(
                "変更後のファイルの一覧を読み込み直す場合は「はい」を（この画面での変更は"
                "一覧から失われます）、この画面の一覧で上書きする場合は「いいえ」を、"
                "保存しない場合は「キャンセル」を選択してください。"),
        MsgIcon::Question, MsgButtons::YesNoCancel);
}

// The keys are numbered anew, so the fields no longer stand for an item of the list.
bool frmSkerrow::ReloadProfiles() {
    if (!ReadProfiles())
        return false;
    txtKey->setText(QString());
    btnAction[2]->setEnabled(false);
    return true;
}
