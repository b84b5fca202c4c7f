#include "clsComDlg.h"

#include <QFileInfo>
#include <QWidget>

#include <cmath>

#include "CodePage.h"
#include "ComDlgError.h"
#include "clsFileSystem.h"

namespace {

// The bits of the common dialogs that Qt has options for.
constexpr qint32 OFN_OVERWRITEPROMPT = 0x2;
constexpr qint32 OFN_ALLOWMULTISELECT = 0x200;
constexpr qint32 OFN_PATHMUSTEXIST = 0x800;
constexpr qint32 OFN_FILEMUSTEXIST = 0x1000;
constexpr qint32 PD_SELECTION = 0x1;
constexpr qint32 PD_PAGENUMS = 0x2;
constexpr qint32 PD_NOSELECTION = 0x4;
constexpr qint32 PD_NOPAGENUMS = 0x8;
constexpr qint32 PD_COLLATE = 0x10;
constexpr qint32 PD_DISABLEPRINTTOFILE = 0x80000;
constexpr qint32 PD_HIDEPRINTTOFILE = 0x100000;
constexpr qint32 HELP_QUIT = 2;

constexpr qint32 kWhite = 0xFFFFFF;
constexpr qint32 kDefaultBufferSize = 1024;
constexpr int kBoldWeight = 700;

// The title of the question boxes when the caller has none: this library's.
const QString kLibraryTitle = QStringLiteral("Pelomir");

// "description|pattern|description|pattern" as Qt name filters: each description as written,
// followed by its patterns (";" turned into a blank) in the parentheses Qt matches by.
QStringList NameFilters(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts).join(u' ');
        if (!patterns.trimmed().isEmpty())
            filters.append(parts[i] + QStringLiteral(" (") + patterns.trimmed() + u')');
    }
    return filters;
}

QColor ToColor(qint32 rgb) {
    return QColor(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
}

qint32 FromColor(const QColor& color) {
    return color.red() | (color.green() << 8) | (color.blue() << 16);
}

// A print value as the dialog takes it: an unsigned 16-bit number.
int Word(qint32 value) {
    return int(quint16(value));
}

// The bytes the chosen names take as the platform hands them back: one path and its NUL, or
// the folder and each name, every piece ended by a NUL, and one more NUL.
qsizetype NamesSize(const QStringList& files, bool multiSelect) {
    if (!multiSelect || files.size() == 1)
        return CodePage::FromUnicode(files.first()).size() + 1;
    qsizetype size = CodePage::FromUnicode(QFileInfo(files.first()).path()).size() + 2;
    for (const QString& file : files)
        size += CodePage::FromUnicode(QFileInfo(file).fileName()).size() + 1;
    return size;
}

}  // namespace

clsComDlg::clsComDlg(DialogHost& host) : m_host(host) {
    m_customColors.fill(kWhite);
}

QWidget* clsComDlg::Owner() const {
    return m_hWndOwner ? QWidget::find(WId(quint32(m_hWndOwner))) : nullptr;
}

void clsComDlg::ShowOpen() {
    ShowFile(Open);
}

void clsComDlg::ShowSave() {
    ShowFile(Save);
}

void clsComDlg::ShowFile(DialogAction action) {
    m_action = action;
    m_apiReturn = 0;
    m_extendedError = 0;
    m_fileNames = QStringList{QString()};

    DialogHost::FileRequest request;
    request.owner = Owner();
    request.save = action == Save;
    request.title = m_dialogTitle;
    request.folder = m_initDir;
    request.fileName = m_fileName;
    request.filters = NameFilters(m_filter);
    request.filterIndex = qMax(0, m_filterIndex - 1);
    request.defaultSuffix = m_defaultExt.startsWith(u'.') ? m_defaultExt.mid(1) : m_defaultExt;
    request.fileMustExist = m_flags & OFN_FILEMUSTEXIST;
    request.pathMustExist = m_flags & OFN_PATHMUSTEXIST;
    request.multiSelect = m_flags & OFN_ALLOWMULTISELECT;
    request.overwritePrompt = m_flags & OFN_OVERWRITEPROMPT;
    const std::optional<DialogHost::FileAnswer> answer = m_host.ChooseFiles(request);

    if (answer && !answer->files.isEmpty()) {
        const qint32 size = m_maxFileSize < 1 ? kDefaultBufferSize : m_maxFileSize;
        if (NamesSize(answer->files, request.multiSelect) <= size) {
            m_apiReturn = 1;
            if (answer->filterIndex >= 0)
                m_filterIndex = answer->filterIndex + 1;
            TakeFiles(answer->files);
            return;
        }
        m_extendedError = kBufferTooSmall;
    }
    // Not accepted: with CancelError the name goes, and nothing is raised.
    if (m_cancelError)
        m_fileName.clear();
}

// One file is FileName. Several are FileNames, last chosen first, each folder + name; the folder
// becomes InitDir. FileName is then the first name as the dialog gave it.
void clsComDlg::TakeFiles(const QStringList& files) {
    if (!(m_flags & OFN_ALLOWMULTISELECT)) {
        m_fileName = WithDefaultExtension(files.first());
        return;
    }
    QString folder = QFileInfo(files.first()).path();
    if (!folder.endsWith(u'/'))
        folder += u'/';
    m_fileNames.clear();
    for (qsizetype i = files.size() - 1; i >= 0; --i) {
        const QString piece = files[i].startsWith(folder) ? files[i].mid(folder.size())
                                                          : QFileInfo(files[i]).fileName();
        if (!piece.trimmed().isEmpty())
            m_fileNames.append(WithDefaultExtension(folder + piece));
    }
    if (m_fileNames.isEmpty())
        m_fileNames.append(QString());
    m_fileName = WithDefaultExtension(files.first());
    m_initDir = folder;
}

// A saved name without an extension takes the first filter's first pattern's, whichever filter
// the user chose; "*" adds nothing.
QString clsComDlg::WithDefaultExtension(const QString& name) const {
    if (m_action != Save || !m_addFileEx)
        return name;
    if (name.indexOf(u'.', name.lastIndexOf(u'/') + 1) >= 0)
        return name;
    const QString firstPattern = m_filter.section(u'|', 1, 1).section(u';', 0, 0).trimmed();
    QString extension = firstPattern;
    extension.remove(QStringLiteral("*."));
    if (extension.isEmpty() || extension == QStringLiteral("*"))
        return name;
    return name + u'.' + extension;
}

void clsComDlg::ShowColor() {
    m_action = Colour;
    m_apiReturn = 0;
    m_extendedError = 0;
    DialogHost::CustomColors custom;
    for (int i = 0; i < DialogHost::kCustomColors; ++i)
        custom[i] = ToColor(m_customColors[i]);
    const std::optional<QColor> chosen = m_host.ChooseColor(Owner(), ToColor(m_color), custom);
    if (!chosen) {
        if (m_cancelError)
            throw ComDlgError(kCancelPressed, QStringLiteral("Cancel Pressed"));
        return;
    }
    m_apiReturn = 1;
    m_color = FromColor(*chosen);
    for (qint32& slot : m_customColors) {
        if (slot == kWhite) {
            slot = m_color;
            break;
        }
    }
}

void clsComDlg::ShowFont() {
    m_action = Font;
    m_apiReturn = 0;
    m_extendedError = 0;
    QFont initial;
    if (!m_fontName.isEmpty())
        initial.setFamily(m_fontName);
    if (m_fontSize > 0)
        initial.setPointSize(m_fontSize);
    initial.setWeight(m_fontBold ? QFont::Bold : QFont::Normal);
    initial.setItalic(m_fontItalic);
    initial.setUnderline(m_fontUnderline);
    initial.setStrikeOut(m_fontStrikethru);
    const std::optional<QFont> chosen = m_host.ChooseFont(Owner(), initial);
    if (!chosen)
        return;
    m_apiReturn = 1;
    m_fontBold = chosen->weight() >= kBoldWeight;
    m_fontItalic = chosen->italic();
    m_fontUnderline = chosen->underline();
    m_fontStrikethru = chosen->strikeOut();
    m_fontName = chosen->family();
    if (chosen->pointSizeF() > 0)
        m_fontSize = qint32(std::lround(chosen->pointSizeF()));
}

void clsComDlg::ShowPrinter() {
    m_action = Printer;
    m_apiReturn = 0;
    m_extendedError = 0;
    DialogHost::PrintRequest request;
    request.fromPage = Word(m_fromPage);
    request.toPage = Word(m_toPage);
    request.minPage = Word(m_min);
    request.maxPage = Word(m_max);
    request.copies = Word(m_copies);
    request.selectionChosen = m_flags & PD_SELECTION;
    request.pagesChosen = m_flags & PD_PAGENUMS;
    request.noSelection = m_flags & PD_NOSELECTION;
    request.noPageNumbers = m_flags & PD_NOPAGENUMS;
    request.noPrintToFile = m_flags & (PD_DISABLEPRINTTOFILE | PD_HIDEPRINTTOFILE);
    request.collate = m_flags & PD_COLLATE;
    if (!m_host.ChoosePrinter(Owner(), &request))
        return;
    m_apiReturn = 1;
    m_fromPage = request.fromPage;
    m_toPage = request.toPage;
    m_min = request.minPage;
    m_max = request.maxPage;
    m_copies = request.copies;
}

void clsComDlg::ShowHelp() {
    m_action = Help;
    m_extendedError = 0;
    if (m_helpCommand == HELP_QUIT)
        m_apiReturn = 1;
    else
        m_apiReturn = !m_helpFile.isEmpty() && m_host.OpenHelp(m_helpFile) ? 1 : 0;
}

void clsComDlg::FillTitle(QString& strAppTitle) {
    if (strAppTitle.isEmpty())
        strAppTitle = kLibraryTitle;
}

bool clsComDlg::Ask(const QString& text, QString& strAppTitle) {
    FillTitle(strAppTitle);
    return m_host.AskYesNo(Owner(), text, strAppTitle);
}

bool clsComDlg::IsAllowOverWrite(const QString& strPath, QString& strAppTitle) {
    FillTitle(strAppTitle);
    if (clsFileSystem::ExistFileOrFolder(strPath) != clsFileSystem::FS_EXIST_FILE)
        return true;
    return Ask(QStringLiteral("ﾌｧｲﾙはすでに存在します。上書きしてもよろしいですか？"), strAppTitle);
}

bool clsComDlg::IsAllowCreateNewFile(QString& strAppTitle) {
    return Ask(QStringLiteral("ﾌｧｲﾙは保存されてません。作業中のﾌｧｲﾙは破棄してもよろしいですか？"),
               strAppTitle);
}

bool clsComDlg::IsAllowAppTerminate(QString& strAppTitle) {
    return Ask(QStringLiteral("ﾌｧｲﾙは保存されてません。ｱﾌﾟﾘｹｰｼｮﾝを終了してもよろしいですか？"),
               strAppTitle);
}
