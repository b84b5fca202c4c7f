#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QMimeData>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include "API_SpecialFolders.h"
#include "Fun_FolderSelect.h"
#include "Fun_OLEDropDragHelpers.h"
#include "QtDialogHost.h"
#include "QtPrint.h"
#include "ScriptedDialogHost.h"

namespace {

using API_SpecialFolders::GetSpecialFolderPath;

TEST(SpecialFolders, MapToTheDesktopsFoldersOrNothing) {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const struct {
        qint32 id;
        QString expected;
    } cases[] = {
        {10, data + "/Trash/files"},
        {17, "/"},
        {23, "/usr/lib"},
        {24, "/usr"},
        // No counterpart here: control panel, printers, favourites, recent, send-to, network.
        {3, ""},
        {4, ""},
        {6, ""},
        {8, ""},
        {9, ""},
        {18, ""},
        {19, ""},
        {25, ""},
        {-1, ""},
        {12345, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetSpecialFolderPath(c.id), c.expected) << c.id;
    // The desktop, by either of its identifiers, is the user's.
    EXPECT_EQ(GetSpecialFolderPath(0), GetSpecialFolderPath(16));
    EXPECT_TRUE(GetSpecialFolderPath(0).startsWith(QDir::homePath() + "/"));
}

TEST(SpecialFolders, TemporaryFolderHasNoTrailingSlash) {
    const QByteArray saved = qgetenv("TMPDIR");
    QTemporaryDir dir;
    qputenv("TMPDIR", (dir.path() + "/").toLocal8Bit());
    EXPECT_EQ(GetSpecialFolderPath(26), dir.path());
    qputenv("TMPDIR", saved);
}

QMimeData* Files(const QStringList& paths) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(path.contains("://") ? QUrl(path) : QUrl::fromLocalFile(path));
    data->setUrls(urls);
    return data;
}

TEST(DroppedFiles, OnlyLocalFilesInTheirOrder) {
    QStringList files{"stale"};
    QMimeData text;
    text.setText("/etc/passwd");
    EXPECT_FALSE(Fun_OLEDropDragHelpers::GetDroppedFiles(&text, &files));
    EXPECT_EQ(files, QStringList{QString()});
    EXPECT_FALSE(Fun_OLEDropDragHelpers::GetDroppedFiles(nullptr, &files));

    std::unique_ptr<QMimeData> remote(Files({"https://example.org/a.txt"}));
    EXPECT_FALSE(Fun_OLEDropDragHelpers::GetDroppedFiles(remote.get(), &files));

    std::unique_ptr<QMimeData> mixed(
        Files({"/d/b.txt", "https://example.org/x", "/d/a.txt", "/d/日本語 名.txt"}));
    EXPECT_TRUE(Fun_OLEDropDragHelpers::GetDroppedFiles(mixed.get(), &files));
    EXPECT_EQ(files, (QStringList{"/d/b.txt", "/d/a.txt", "/d/日本語 名.txt"}));
}

TEST(DroppedFiles, TheEffectIsCopyAtMost) {
    using Fun_OLEDropDragHelpers::LimitDropEffect;
    EXPECT_EQ(LimitDropEffect(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction), Qt::CopyAction);
    EXPECT_EQ(LimitDropEffect(Qt::MoveAction), Qt::IgnoreAction);
}

TEST(FolderSelect, RequestTakesTheInitialFolderWithoutItsSlashAndTheRootsFolder) {
    ScriptedDialogHost host;
    host.folderAnswers = {"/chosen"};
    QWidget owner;
    owner.show();
    const qint32 handle = qint32(quint32(owner.effectiveWinId()));
    EXPECT_EQ(Fun_FolderSelect::BrowseFolder({handle, 0, "Title", "/data/"}, host), "/chosen");
    EXPECT_EQ(Fun_FolderSelect::BrowseFolder({0, 5, "", QString::fromUtf8("/a\0b/", 5)}, host), "");
    EXPECT_EQ(Fun_FolderSelect::BrowseFolder({0, 17, "", "/"}, host), "");
    EXPECT_EQ(Fun_FolderSelect::BrowseFolder({0, 3, "", "/x"}, host), "");
    ASSERT_EQ(host.folders.size(), 4);
    EXPECT_EQ(host.folders[0].owner, &owner);
    EXPECT_EQ(host.folders[0].initial, "/data");
    EXPECT_EQ(host.folders[0].title, "Title");
    EXPECT_EQ(host.folders[0].root, "");  // the desktop holds everything
    EXPECT_EQ(host.folders[1].initial, "/ab");
    EXPECT_EQ(host.folders[1].root, GetSpecialFolderPath(5));
    EXPECT_EQ(host.folders[2].initial, "/");
    EXPECT_EQ(host.folders[2].root, "");  // the drives hold everything too
    EXPECT_EQ(host.folders[3].root, "");  // no such folder here
}

class QtDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        QDir(dir.path()).mkpath("data/sub");
        QDir(dir.path()).mkpath("root/inside");
        for (const char* name : {"data/a.txt", "data/b.csv"})
            QFile(dir.filePath(name)).open(QIODevice::WriteOnly);
    }
    QTemporaryDir dir;
};

TEST_F(QtDialogs, FolderDialogOpensWithTheInitialFolderChosen) {
    DialogHost::FolderRequest request;
    request.title = "ﾌｫﾙﾀﾞを選択してください";
    request.initial = dir.filePath("data/sub");
    auto dialog = QtDialogHost::MakeFolderDialog(request);
    EXPECT_EQ(dialog->windowTitle(), request.title);
    EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
    EXPECT_TRUE(dialog->testOption(QFileDialog::ShowDirsOnly));
    EXPECT_EQ(dialog->directory().absolutePath(), dir.filePath("data"));
    EXPECT_EQ(dialog->selectedFiles(), QStringList{dir.filePath("data/sub")});

    // Outside its root the dialog opens at the root, which leads the places.
    request.root = dir.filePath("root");
    dialog = QtDialogHost::MakeFolderDialog(request);
    EXPECT_EQ(dialog->selectedFiles(), QStringList{dir.filePath("root")});
    EXPECT_EQ(dialog->sidebarUrls().value(0), QUrl::fromLocalFile(dir.filePath("root")));
    request.initial = dir.filePath("root/inside");
    dialog = QtDialogHost::MakeFolderDialog(request);
    EXPECT_EQ(dialog->selectedFiles(), QStringList{dir.filePath("root/inside")});
}

TEST_F(QtDialogs, FileDialogMatchesByThePatternsAndShowsTheDescriptions) {
    DialogHost::FileRequest request;
    request.folder = dir.filePath("data/a.txt");
    request.filters = {"変換ﾃｰﾌﾞﾙ (*.txt) (*.txt)", "Web (*.htm *.html)"};
    request.filterIndex = 1;
    request.fileMustExist = true;
    auto dialog = QtDialogHost::MakeFileDialog(request);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
    EXPECT_TRUE(dialog->testOption(QFileDialog::HideNameFilterDetails));
    EXPECT_EQ(QtDialogHost::FilterIndex(*dialog), 1);
    auto* model = dialog->findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->nameFilters(), (QStringList{"*.htm", "*.html"}));
    dialog->selectNameFilter(request.filters[0]);
    EXPECT_EQ(model->nameFilters(), QStringList{"*.txt"});
    EXPECT_EQ(QtDialogHost::FilterIndex(*dialog), 0);
    // A file path opens at its folder with the file chosen.
    EXPECT_EQ(dialog->directory().absolutePath(), dir.filePath("data"));
    EXPECT_EQ(dialog->selectedFiles(), QStringList{dir.filePath("data/a.txt")});

    request.save = true;
    request.multiSelect = true;
    auto save = QtDialogHost::MakeFileDialog(request);
    EXPECT_EQ(save->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(save->fileMode(), QFileDialog::AnyFile);
    EXPECT_TRUE(save->testOption(QFileDialog::DontConfirmOverwrite));
    request.overwritePrompt = true;
    EXPECT_FALSE(
        QtDialogHost::MakeFileDialog(request)->testOption(QFileDialog::DontConfirmOverwrite));
    request.save = false;
    EXPECT_EQ(QtDialogHost::MakeFileDialog(request)->fileMode(), QFileDialog::ExistingFiles);
}

}  // namespace
