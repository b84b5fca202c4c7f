#pragma once

#include <array>
#include <optional>

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>

class QWidget;

// Every dialog and question of the selector library goes through this interface: QtDialogHost
// shows Qt's dialogs, tests answer for the user. The requests say what the platform dialog is
// asked for; the answers are what the user chose, or nothing when the dialog was cancelled.
class DialogHost {
public:
    struct FileRequest {
        QWidget* owner = nullptr;
        bool save = false;
        QString title;        // empty: the dialog's own
        QString folder;       // where it opens; a file path opens at its folder with it chosen
        QString fileName;     // preset name
        QStringList filters;  // Qt name filters, "description (patterns)"
        int filterIndex = 0;  // into filters, 0-based
        QString defaultSuffix;
        bool fileMustExist = false;
        bool pathMustExist = false;
        bool multiSelect = false;
        bool overwritePrompt = false;
    };
    struct FileAnswer {
        QStringList files;  // absolute paths, in the dialog's order
        int filterIndex = 0;
    };

    struct FolderRequest {
        QWidget* owner = nullptr;
        QString root;  // the top of the browsing; empty for the whole file system
        QString title;
        QString initial;  // the folder chosen when the dialog opens
    };

    struct PrintRequest {
        int fromPage = 0;
        int toPage = 0;
        int minPage = 0;
        int maxPage = 0;
        int copies = 0;
        bool selectionChosen = false;  // the selection is what is printed
        bool pagesChosen = false;      // the page range is what is printed
        bool noSelection = false;      // the selection cannot be chosen
        bool noPageNumbers = false;    // a page range cannot be chosen
        bool noPrintToFile = false;
        bool collate = false;
    };

    static constexpr int kCustomColors = 16;
    using CustomColors = std::array<QColor, kCustomColors>;

    virtual ~DialogHost() = default;

    virtual std::optional<FileAnswer> ChooseFiles(const FileRequest& request) = 0;
    // The chosen folder, empty when cancelled.
    virtual QString ChooseFolder(const FolderRequest& request) = 0;
    virtual std::optional<QColor> ChooseColor(QWidget* owner, const QColor& initial,
                                              const CustomColors& custom) = 0;
    virtual std::optional<QFont> ChooseFont(QWidget* owner, const QFont& initial) = 0;
    // The values the user chose replace those of request; false when cancelled.
    virtual bool ChoosePrinter(QWidget* owner, PrintRequest* request) = 0;
    // Opens a help file with the desktop's viewer; false when that failed.
    virtual bool OpenHelp(const QString& file) = 0;
    // A Yes/No question with the question icon; true for Yes.
    virtual bool AskYesNo(QWidget* owner, const QString& text, const QString& title) = 0;
};
