#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

#include "DialogHost.h"

// Answers every dialog and question of the selector library from a script and records what it
// was asked. A dialog whose script has run out is cancelled; a question is answered No.
class ScriptedDialogHost : public DialogHost {
public:
    struct Question {
        QPointer<QWidget> owner;
        QString text;
        QString title;
    };

    QList<FileRequest> files;
    QList<std::optional<FileAnswer>> fileAnswers;
    QList<FolderRequest> folders;
    QStringList folderAnswers;
    QList<CustomColors> colourCustoms;
    QList<QColor> colourInitials;
    QList<std::optional<QColor>> colourAnswers;
    QList<QFont> fontInitials;
    QList<std::optional<QFont>> fontAnswers;
    QList<PrintRequest> prints;
    QList<std::optional<PrintRequest>> printAnswers;
    QStringList helpFiles;
    QList<Question> questions;
    QList<bool> answers;

    // Every dialog and question asked, in any order.
    qsizetype Asked() const {
        return files.size() + folders.size() + colourInitials.size() + fontInitials.size() +
               prints.size() + helpFiles.size() + questions.size();
    }

    std::optional<FileAnswer> ChooseFiles(const FileRequest& request) override {
        files.append(request);
        return fileAnswers.isEmpty() ? std::nullopt : fileAnswers.takeFirst();
    }
    QString ChooseFolder(const FolderRequest& request) override {
        folders.append(request);
        return folderAnswers.isEmpty() ? QString() : folderAnswers.takeFirst();
    }
    std::optional<QColor> ChooseColor(QWidget*, const QColor& initial,
                                      const CustomColors& custom) override {
        colourInitials.append(initial);
        colourCustoms.append(custom);
        return colourAnswers.isEmpty() ? std::nullopt : colourAnswers.takeFirst();
    }
    std::optional<QFont> ChooseFont(QWidget*, const QFont& initial) override {
        fontInitials.append(initial);
        return fontAnswers.isEmpty() ? std::nullopt : fontAnswers.takeFirst();
    }
    bool ChoosePrinter(QWidget*, PrintRequest* request) override {
        prints.append(*request);
        const std::optional<PrintRequest> answer =
            printAnswers.isEmpty() ? std::nullopt : printAnswers.takeFirst();
        if (answer)
            *request = *answer;
        return answer.has_value();
    }
    bool OpenHelp(const QString& file) override {
        helpFiles.append(file);
        return true;
    }
    bool AskYesNo(QWidget* owner, const QString& text, const QString& title) override {
        questions.append({owner, text, title});
        return !answers.isEmpty() && answers.takeFirst();
    }
};
