#include "QtDialogHost.h"

#include <QColorDialog>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QUrl>

namespace {

// A file dialog that, when asked to, refuses a name in a folder that does not exist; Qt's own
// accepts any name in its any-file mode.
class PathCheckingFileDialog final : public QFileDialog {
public:
    PathCheckingFileDialog(QWidget* owner, const QString& title, const QString& folder,
                           bool pathMustExist)
        : QFileDialog(owner, title, folder), m_pathMustExist(pathMustExist) {}

    void accept() override {
        const QStringList files = selectedFiles();
        if (m_pathMustExist && !files.isEmpty() && !QFileInfo(files.first()).dir().exists()) {
            QMessageBox::warning(this, windowTitle(),
                                 QStringLiteral("フォルダーが存在しません。\n%1")
                                     .arg(QFileInfo(files.first()).path()));
            return;
        }
        QFileDialog::accept();
    }

private:
    bool m_pathMustExist;
};

bool Inside(const QString& path, const QString& folder) {
    const QString base = folder.endsWith(u'/') ? folder : folder + u'/';
    return path == folder || path.startsWith(base);
}

}  // namespace

QtDialogHost& QtDialogHost::Instance() {
    static QtDialogHost host;
    return host;
}

std::unique_ptr<QFileDialog> QtDialogHost::MakeFileDialog(const FileRequest& request) {
    std::unique_ptr<QFileDialog> dialog = std::make_unique<PathCheckingFileDialog>(
        request.owner, request.title, request.folder, request.pathMustExist);
    if (request.save) {
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
        dialog->setOption(QFileDialog::DontConfirmOverwrite, !request.overwritePrompt);
    } else {
        dialog->setAcceptMode(QFileDialog::AcceptOpen);
        dialog->setFileMode(request.multiSelect     ? QFileDialog::ExistingFiles
                            : request.fileMustExist ? QFileDialog::ExistingFile
                                                    : QFileDialog::AnyFile);
    }
    // The descriptions are shown as they were written; the patterns after them only match.
    dialog->setOption(QFileDialog::HideNameFilterDetails);
    if (!request.filters.isEmpty()) {
        dialog->setNameFilters(request.filters);
        dialog->selectNameFilter(request.filters.value(request.filterIndex));
    }
    dialog->setDefaultSuffix(request.defaultSuffix);
    if (!request.fileName.isEmpty())
        dialog->selectFile(request.fileName);
    return dialog;
}

std::optional<DialogHost::FileAnswer> QtDialogHost::ChooseFiles(const FileRequest& request) {
    const std::unique_ptr<QFileDialog> dialog = MakeFileDialog(request);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return std::nullopt;
    return FileAnswer{dialog->selectedFiles(), FilterIndex(*dialog)};
}

// Qt's own dialog names the chosen filter by its description only, as it shows it.
int QtDialogHost::FilterIndex(const QFileDialog& dialog) {
    const QStringList filters = dialog.nameFilters();
    const QString chosen = dialog.selectedNameFilter();
    for (int i = 0; i < filters.size(); ++i) {
        const QString& filter = filters[i];
        if (filter == chosen || filter.left(filter.lastIndexOf(u'(')).trimmed() == chosen)
            return i;
    }
    return -1;
}

// The initial folder is chosen in its parent's listing, so accepting at once gives it back. A
// root puts itself first among the places, and is where the dialog opens when the initial folder
// lies outside it.
std::unique_ptr<QFileDialog> QtDialogHost::MakeFolderDialog(const FolderRequest& request) {
    auto dialog = std::make_unique<QFileDialog>(request.owner, request.title);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    QString start = request.initial;
    if (!request.root.isEmpty()) {
        QList<QUrl> places = dialog->sidebarUrls();
        places.removeAll(QUrl::fromLocalFile(request.root));
        places.prepend(QUrl::fromLocalFile(request.root));
        dialog->setSidebarUrls(places);
        if (start.isEmpty() || !Inside(start, request.root))
            start = request.root;
    }
    const QFileInfo folder(start);
    if (start.isEmpty() || !folder.isDir()) {
        dialog->setDirectory(request.root.isEmpty() ? QDir::rootPath() : request.root);
    } else if (folder.isRoot()) {
        dialog->setDirectory(start);
    } else {
        dialog->setDirectory(folder.absolutePath());
        dialog->selectFile(folder.absoluteFilePath());
    }
    return dialog;
}

QString QtDialogHost::ChooseFolder(const FolderRequest& request) {
    const std::unique_ptr<QFileDialog> dialog = MakeFolderDialog(request);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return QString();
    return dialog->selectedFiles().first();
}

std::optional<QColor> QtDialogHost::ChooseColor(QWidget* owner, const QColor& initial,
                                                const CustomColors& custom) {
    for (int i = 0; i < kCustomColors; ++i)
        QColorDialog::setCustomColor(i, custom[i]);
    QColorDialog dialog(initial, owner);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.selectedColor();
}

std::optional<QFont> QtDialogHost::ChooseFont(QWidget* owner, const QFont& initial) {
    bool ok = false;
    const QFont font = QFontDialog::getFont(&ok, initial, owner);
    if (!ok)
        return std::nullopt;
    return font;
}

bool QtDialogHost::ChoosePrinter(QWidget* owner, PrintRequest* request) {
    QPrinter printer;
    if (request->copies > 0)
        printer.setCopyCount(request->copies);
    printer.setCollateCopies(request->collate);
    QPrintDialog dialog(&printer, owner);
    if (request->minPage > 0 && request->minPage <= request->maxPage)
        dialog.setMinMax(request->minPage, request->maxPage);
    if (request->fromPage > 0 && request->fromPage <= request->toPage)
        printer.setFromTo(request->fromPage, request->toPage);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, !request->noSelection);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, !request->noPageNumbers);
    dialog.setOption(QAbstractPrintDialog::PrintToFile, !request->noPrintToFile);
    dialog.setOption(QAbstractPrintDialog::PrintCollateCopies);
    if (request->selectionChosen)
        dialog.setPrintRange(QAbstractPrintDialog::Selection);
    else if (request->pagesChosen)
        dialog.setPrintRange(QAbstractPrintDialog::PageRange);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    request->fromPage = printer.fromPage();
    request->toPage = printer.toPage();
    request->minPage = dialog.minPage();
    request->maxPage = dialog.maxPage();
    request->copies = printer.copyCount();
    return true;
}

bool QtDialogHost::OpenHelp(const QString& file) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

bool QtDialogHost::AskYesNo(QWidget* owner, const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, owner);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}
