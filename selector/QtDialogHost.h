#pragma once

#include <memory>

#include "DialogHost.h"

class QFileDialog;

// The dialogs of the selector library as Qt's: QFileDialog for files and folders, QColorDialog,
// QFontDialog, QPrintDialog, the desktop's viewer for help files and QMessageBox for questions.
class QtDialogHost final : public DialogHost {
public:
    // The one instance every control and dialog object of the library uses unless told otherwise.
    static QtDialogHost& Instance();

    std::optional<FileAnswer> ChooseFiles(const FileRequest& request) override;
    QString ChooseFolder(const FolderRequest& request) override;
    std::optional<QColor> ChooseColor(QWidget* owner, const QColor& initial,
                                      const CustomColors& custom) override;
    std::optional<QFont> ChooseFont(QWidget* owner, const QFont& initial) override;
    bool ChoosePrinter(QWidget* owner, PrintRequest* request) override;
    bool OpenHelp(const QString& file) override;
    bool AskYesNo(QWidget* owner, const QString& text, const QString& title) override;

    // The dialogs as they are set up before they are shown.
    static std::unique_ptr<QFileDialog> MakeFileDialog(const FileRequest& request);
    static std::unique_ptr<QFileDialog> MakeFolderDialog(const FolderRequest& request);
    // The index of the filter chosen in dialog, -1 for none.
    static int FilterIndex(const QFileDialog& dialog);
};
