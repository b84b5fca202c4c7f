#include "Pelomir.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include "API_SpecialFolders.h"
#include "Fun_AppTitle.h"
#include "Fun_FolderSelect.h"
#include "Fun_OLEDropDragHelpers.h"
#include "Fun_SelText.h"
#include "Pelomir_TypeLib.h"
#include "PropertyBag.h"
#include "QtDialogHost.h"
#include "clsComDlg.h"
#include "clsFileSystem.h"

using namespace Pelomir_TypeLib;

namespace {

// Design sizes, in twips.
constexpr int kFieldWidth = 3075;
constexpr int kButtonLeft = 3090;
constexpr int kButtonWidth = 315;
constexpr int kHeight = 285;
constexpr int kTwipsPerInch = 1440;

// The file dialogs: file and path must exist, read-only box hidden.
constexpr qint32 kFileDialogFlags = 0x1804;

const QString kDefaultFilter = QStringLiteral("全てのﾌｧｲﾙ (*.*)|*.*");
const QString kFolderTitle = QStringLiteral("ﾌｫﾙﾀﾞを選択してください");

// Stored names.
const QString kStyle = QStringLiteral("Style");
const QString kInitDir = QStringLiteral("InitDir");
const QString kFilter = QStringLiteral("Filter");
const QString kTitle = QStringLiteral("Title");
const QString kEnabled = QStringLiteral("Enabled");
const QString kRoot = QStringLiteral("Root");

}  // namespace

Pelomir::Pelomir(QWidget* form)
    : QWidget(form),
      txtFolder(new QLineEdit(this)),
      btnFolder(new QPushButton(QStringLiteral("..."), this)),
      mnuPopup(new QMenu(this)),
      m_dialogs(&QtDialogHost::Instance()),
      m_style(ST_Folder),
      m_filter(kDefaultFilter),
      m_root(ST_DESKTOP) {
    txtFolder->setObjectName(QStringLiteral("txtFolder"));
    txtFolder->setReadOnly(true);
    txtFolder->setAcceptDrops(true);
    // Right clicks reach the field itself, which shows our menu instead of its own.
    txtFolder->setContextMenuPolicy(Qt::PreventContextMenu);
    QPalette palette = txtFolder->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    txtFolder->setPalette(palette);
    txtFolder->setGeometry(0, 0, Pixels(kFieldWidth), Pixels(kHeight));
    txtFolder->installEventFilter(this);
    connect(txtFolder, &QLineEdit::textChanged, this, &Pelomir::AdjustText);

    btnFolder->setObjectName(QStringLiteral("btnFolder"));
    btnFolder->setAutoDefault(false);
    btnFolder->setGeometry(Pixels(kButtonLeft), 0, Pixels(kButtonWidth), Pixels(kHeight));
    connect(btnFolder, &QPushButton::clicked, this, &Pelomir::ActionShowDialog);

    BuildMenu();
    setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(txtFolder);
    // Never narrower than three buttons nor lower than one, however the host sizes it.
    setMinimumSize(minimumSizeHint());
    resize(Pixels(kButtonLeft + kButtonWidth), Pixels(kHeight));
}

// The platform's edit menu, of which only copy and select-all act here.
void Pelomir::BuildMenu() {
    mnuPopup->setObjectName(QStringLiteral("mnuPopup"));
    AddMenuItem("mnuResume", QStringLiteral("元に戻す(&U)"));
    AddMenuItem("xSep2", QString());
    AddMenuItem("mnuCut", QStringLiteral("切り取り(&T)"));
    mnuCopy = AddMenuItem("mnuCopy", QStringLiteral("コピー(&C)"));
    AddMenuItem("mnuPaste", QStringLiteral("貼り付け(&P)"));
    AddMenuItem("mnuDel", QStringLiteral("削除(&D)"));
    AddMenuItem("xSep4", QString());
    mnuSelectAll = AddMenuItem("mnuSelectAll", QStringLiteral("すべて選択(&A)"));
    AddMenuItem("xSep0", QString());
    AddMenuItem("mnuImeOpen", QStringLiteral("IME を開く(&O)"));
    AddMenuItem("mnuImeRechange", QStringLiteral("再変換(&R)"));
    connect(mnuCopy, &QAction::triggered, this, &Pelomir::mnuCopy_Click);
    connect(mnuSelectAll, &QAction::triggered, this, [] { Fun_SelText::SelectAllText(); });
}

// An empty caption is a separator. Every item is greyed until it is given something to do.
QAction* Pelomir::AddMenuItem(const char* name, const QString& caption) {
    QAction* item = caption.isEmpty() ? mnuPopup->addSeparator() : mnuPopup->addAction(caption);
    item->setObjectName(QString::fromLatin1(name));
    item->setEnabled(caption.isEmpty());
    return item;
}

int Pelomir::Pixels(int twips) const {
    return (twips * logicalDpiX() + kTwipsPerInch / 2) / kTwipsPerInch;
}

// ---- size ----

QSize Pelomir::sizeHint() const {
    return QSize(Pixels(kButtonLeft + kButtonWidth),
                 qMax(Pixels(kHeight), txtFolder->sizeHint().height()));
}

// Three button widths wide, one button high.
QSize Pelomir::minimumSizeHint() const {
    return QSize(3 * Pixels(kButtonWidth), Pixels(kHeight));
}

void Pelomir::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    UserControl_Resize();
}

void Pelomir::UserControl_Resize() {
    m_hostTitle = Fun_AppTitle::GetAppTitle(window());
    const int buttonLeft = width() - Pixels(kButtonWidth);
    btnFolder->setGeometry(buttonLeft, 0, Pixels(kButtonWidth), height());
    txtFolder->setGeometry(0, 0, buttonLeft - 1, height());
}

// ---- properties ----

void Pelomir::setStyle(int style) {
    m_style = style;
    emit PropertyChanged(kStyle);
}

QVariant Pelomir::Target() const {
    return txtFolder->text();
}

QString Pelomir::InitDir() const {
    return txtFolder->text();
}

// There are no short names to lengthen here, and a path is shown as given: resolving its links
// would change the local base path the upload ledger knows a profile's files by.
void Pelomir::setInitDir(const QString& value) {
    txtFolder->setText(value);
    emit PropertyChanged(kInitDir);
}

void Pelomir::setFilter(const QString& filter) {
    m_filter = filter;
    emit PropertyChanged(kFilter);
}

void Pelomir::setTitle(const QString& title) {
    m_title = title;
    emit PropertyChanged(kTitle);
}

void Pelomir::setENABLED(bool enabled) {
    setEnabled(enabled);
    emit PropertyChanged(kEnabled);
}

void Pelomir::setRoot(int root) {
    m_root = root;
    emit PropertyChanged(kRoot);
}

qint32 Pelomir::hWnd() const {
    // effectiveWinId does not turn the control into a native window of its own, as winId would.
    return qint32(quint32(effectiveWinId()));
}

void Pelomir::ReadProperties(const QVariantMap& bag) {
    const PropertyBag properties(bag);
    m_style = properties.ReadProperty(kStyle, int(ST_Folder)).toInt();
    txtFolder->setText(properties.ReadProperty(kInitDir, QString()).toString());
    m_filter = properties.ReadProperty(kFilter, kDefaultFilter).toString();
    m_title = properties.ReadProperty(kTitle, QString()).toString();
    setEnabled(properties.ReadProperty(kEnabled, true).toBool());
    m_root = properties.ReadProperty(kRoot, int(ST_DESKTOP)).toInt();
}

QVariantMap Pelomir::WriteProperties() const {
    PropertyBag properties;
    properties.WriteProperty(kStyle, m_style, int(ST_Folder));
    properties.WriteProperty(kInitDir, txtFolder->text(), QString());
    properties.WriteProperty(kFilter, m_filter, kDefaultFilter);
    properties.WriteProperty(kTitle, m_title, QString());
    properties.WriteProperty(kEnabled, ENABLED(), true);
    properties.WriteProperty(kRoot, m_root, int(ST_DESKTOP));
    return properties.Values();
}

// ---- dialogs ----

// The button, a double click and Enter: the host may stop the dialog first.
void Pelomir::ActionShowDialog() {
    bool cancel = false;
    emit OnBeforeShowDialog(cancel);
    if (!cancel)
        ShowDialog();
}

bool Pelomir::ShowDialog() {
    QString start = txtFolder->text();
    if (start.isEmpty())
        start = DesktopOrHome();
    QString result;
    if (m_style == ST_Folder) {
        result = Fun_FolderSelect::BrowseFolder(
            {hWnd(), m_root, m_title.isEmpty() ? kFolderTitle : m_title, start}, *m_dialogs);
    } else {
        result = FileDialog(start);
    }
    if (result.isEmpty())
        return false;
    txtFolder->setText(result);
    RaisePelomir();
    return true;
}

QString Pelomir::FileDialog(const QString& start) {
    clsComDlg dialog(*m_dialogs);
    dialog.hWndOwner(hWnd());
    dialog.flags(kFileDialogFlags);
    if (!m_title.isEmpty())
        dialog.DialogTitle(m_title);
    dialog.Filter(m_filter);
    dialog.InitDir(start);
    if (dialog.InitDir().isEmpty())
        dialog.InitDir(DesktopOrHome());
    dialog.CancelError(true);
    dialog.FileName(m_defaultFileName);
    if (m_style == ST_FileOpen)
        dialog.ShowOpen();
    else
        dialog.ShowSave();
    const QString chosen = dialog.FileName();
    if (chosen.isEmpty())
        return QString();
    if (m_style != ST_FileOpen && !dialog.IsAllowOverWrite(chosen, m_hostTitle))
        return QString();
    return chosen;
}

// Where a dialog opens when the field is empty. Many homes have no desktop folder, and a dialog
// asked to open in a folder that is not there opens at the root.
QString Pelomir::DesktopOrHome() {
    const QString desktop = API_SpecialFolders::GetSpecialFolderPath(ST_DESKTOP);
    return QFileInfo(desktop).isDir() ? desktop : QDir::homePath();
}

// The handler sees the path as it stands; what it does to its copy stays there.
void Pelomir::RaisePelomir() {
    QString target = txtFolder->text();
    emit OnPelomir(target);
}

bool Pelomir::IsAllowOverWrite() {
    clsComDlg dialog(*m_dialogs);
    dialog.hWndOwner(hWnd());
    return dialog.IsAllowOverWrite(txtFolder->text(), m_hostTitle);
}

bool Pelomir::IsAllowCreateNewFile() {
    clsComDlg dialog(*m_dialogs);
    dialog.hWndOwner(hWnd());
    return dialog.IsAllowCreateNewFile(m_hostTitle);
}

bool Pelomir::IsAllowAppTerminate() {
    clsComDlg dialog(*m_dialogs);
    dialog.hWndOwner(hWnd());
    return dialog.IsAllowAppTerminate(m_hostTitle);
}

// ---- the text ----

// A folder-style selector shows a folder: a file gives its folder, a missing path is cut back a
// level at a time to the nearest folder that exists ("/" at the most). A name without "/" has
// nothing to cut and stays.
void Pelomir::AdjustText() {
    if (m_style != ST_Folder || txtFolder->text().isEmpty())
        return;
    QString text = txtFolder->text();
    while (clsFileSystem::ExistFileOrFolder(text) != clsFileSystem::FS_EXIST_FOLDER) {
        QString folder = clsFileSystem::GetPathName(text);
        if (folder.size() > 1)
            folder.chop(1);
        if (folder.isEmpty() || folder == text)
            break;
        text = folder;
    }
    if (text != txtFolder->text())
        txtFolder->setText(text);
}

// ---- mouse, keys, menu and drops ----

bool Pelomir::eventFilter(QObject* watched, QEvent* event) {
    if (watched != txtFolder)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::FocusIn:
            // Once the focus has arrived, so that the click that brought it does not undo it.
            QTimer::singleShot(0, txtFolder, [this] { Fun_SelText::SelectAllText(txtFolder); });
            break;
        case QEvent::MouseButtonPress: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::RightButton || !isEnabled())
                break;
            PopupMenu(mouse->globalPosition().toPoint());
            return true;
        }
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton || !isEnabled())
                break;
            ActionShowDialog();
            return true;
        case QEvent::KeyPress: {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (!isEnabled())
                break;
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                ActionShowDialog();
                return true;
            }
            if (key->key() == Qt::Key_Menu ||
                (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier)) {
                PopupMenu(txtFolder->mapToGlobal(QPoint(0, txtFolder->height())));
                return true;
            }
            break;
        }
        case QEvent::DragEnter:
        case QEvent::DragMove:
            return DragOver(event);
        case QEvent::Drop:
            return Drop(event);
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

void Pelomir::PopupMenu(const QPoint& globalPos) {
    if (mnuPopup->isVisible())
        return;
    txtFolder->setFocus(Qt::MouseFocusReason);
    const bool hasText = !txtFolder->text().isEmpty();
    mnuCopy->setEnabled(hasText);
    mnuSelectAll->setEnabled(hasText);
    mnuPopup->popup(globalPos);
}

void Pelomir::mnuCopy_Click() {
    const QString text = txtFolder->text();
    if (text.trimmed().isEmpty())
        return;
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
}

// Only local files may be dropped, and only copied. A disabled control is not offered drops.
bool Pelomir::DragOver(QEvent* event) {
    auto* drag = static_cast<QDragMoveEvent*>(event);
    QStringList files;
    if (Fun_OLEDropDragHelpers::LimitDropEffect(drag->possibleActions()) &&
        Fun_OLEDropDragHelpers::GetDroppedFiles(drag->mimeData(), &files)) {
        drag->setDropAction(Qt::CopyAction);
        drag->accept();
    } else {
        drag->ignore();
    }
    return true;
}

bool Pelomir::Drop(QEvent* event) {
    auto* drop = static_cast<QDropEvent*>(event);
    QStringList files;
    if (!Fun_OLEDropDragHelpers::GetDroppedFiles(drop->mimeData(), &files)) {
        drop->ignore();
        return true;
    }
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    txtFolder->setText(files.first());
    RaisePelomir();
    return true;
}
