// clsFileSystem on real temporary trees: enumeration, folder creation, copy and move.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDateTime>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <functional>

#include "FileSystemError.h"
#include "FsTestSupport.h"
#include "QtPrint.h"
#include "clsFileSystem.h"

namespace {

// root: .hidden.txt A.TXT b.dat sub/ (c.txt deeper/ (d.txt)) zz.txt
class FileTree : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name :
             {".hidden.txt", "A.TXT", "b.dat", "sub/c.txt", "sub/deeper/d.txt", "zz.txt"})
            WriteFile(Path(name), name);
    }
    QString Path(const QString& rel) const { return root.path() + QLatin1Char('/') + rel; }
    QStringList Paths(const QStringList& rels) const {
        QStringList out;
        for (const QString& r : rels)
            out << Path(r);
        return out;
    }

    QTemporaryDir root;
    QStringList paths{"untouched"};
    QList<qint32> attrs;
};

TEST_F(FileTree, SearchFileIsDepthFirstPreOrderInByteOrder) {
    EXPECT_EQ(clsFileSystem::SearchFile(root.path(), &paths, &attrs, "*.txt", true), 4);
    // "sub" does not match but is searched; the match is case-blind.
    EXPECT_EQ(paths, Paths({".hidden.txt", "A.TXT", "sub/c.txt", "sub/deeper/d.txt", "zz.txt"}));
    EXPECT_EQ(attrs[0], 2);  // hidden by its name

    EXPECT_EQ(clsFileSystem::SearchFile(root.path() + "/", &paths, &attrs, "", true), 7);
    EXPECT_EQ(paths, Paths({".hidden.txt", "A.TXT", "b.dat", "sub", "sub/c.txt", "sub/deeper",
                            "sub/deeper/d.txt", "zz.txt"}));
    EXPECT_EQ(attrs[3], 16);

    EXPECT_EQ(clsFileSystem::SearchFile(root.path(), &paths, &attrs, "*.txt", false), 2);
}

TEST_F(FileTree, SearchFileOfAnEmptyOrMissingFolderLeavesOneEmptyElement) {
    QDir().mkdir(Path("empty"));
    for (const QString& folder : {Path("empty"), Path("missing")}) {
        EXPECT_EQ(clsFileSystem::SearchFile(folder, &paths, &attrs, "", true), -1);
        EXPECT_EQ(paths, QStringList{QString()});
        EXPECT_EQ(attrs, QList<qint32>{0});
    }
}

TEST_F(FileTree, SearchFileDoesNotFollowALinkBackIntoItsOwnBranch) {
    ASSERT_TRUE(QFile::link(root.path(), Path("sub/deeper/loop")));
    EXPECT_EQ(clsFileSystem::SearchFile(root.path(), &paths, &attrs, "loop", true), 0);
    EXPECT_EQ(paths, Paths({"sub/deeper/loop"}));
}

TEST_F(FileTree, EnumDir) {
    EXPECT_TRUE(clsFileSystem::EnumDir(root.path(), &paths, true));
    EXPECT_EQ(paths, Paths({"sub"}));
    EXPECT_TRUE(clsFileSystem::EnumDir(Path("sub"), &paths, false));
    EXPECT_EQ(paths, QStringList{"deeper"});

    paths = QStringList{"untouched"};
    EXPECT_TRUE(clsFileSystem::EnumDir(Path("sub/deeper"), &paths, true));  // files only
    QDir().mkdir(Path("empty"));
    EXPECT_FALSE(clsFileSystem::EnumDir(Path("empty"), &paths, true));
    EXPECT_FALSE(clsFileSystem::EnumDir(Path("missing"), &paths, true));
    EXPECT_FALSE(clsFileSystem::EnumDir(Path("b.dat"), &paths, true));
    EXPECT_EQ(paths, QStringList{"untouched"});
}

TEST_F(FileTree, Dir2MasksAndContinuation) {
    struct Case {
        const char* pattern;
        qint32 mask;
        QStringList names;
    };
    const Case cases[] = {
        {"/*.*", 0, {".hidden.txt", "A.TXT", "b.dat", "zz.txt"}},
        {"/*", 16, {".", "..", "sub"}},
        {"/*.TXT", 0, {".hidden.txt", "A.TXT", "zz.txt"}},
        {"/*", 2, {".hidden.txt"}},
        {"/sub", 16, {"sub"}},
        {"/missing/*.*", 0, {}},
    };
    clsFileSystem fs;
    for (const Case& c : cases) {
        QStringList got;
        for (QString name = fs.Dir2(root.path() + c.pattern, c.mask); !name.isEmpty();
             name = fs.Dir2())
            got << name;
        EXPECT_EQ(got, c.names) << c.pattern << " mask " << c.mask;
        EXPECT_EQ(fs.Dir2(), QString());
    }
}

TEST_F(FileTree, MakeFoldersStopsAtAFile) {
    EXPECT_TRUE(clsFileSystem::MakeFolders(Path("x/y/z")));
    EXPECT_EQ(clsFileSystem::ExistFileOrFolder(Path("x/y/z")), clsFileSystem::FS_EXIST_FOLDER);
    EXPECT_FALSE(clsFileSystem::MakeFolders(Path("b.dat/y")));
    EXPECT_EQ(clsFileSystem::ExistFileOrFolder(Path("b.dat/y")), clsFileSystem::FS_EXIST_NONE);
    EXPECT_EQ(clsFileSystem::ExistFileOrFolder(Path("b.dat")), clsFileSystem::FS_EXIST_FILE);
    EXPECT_EQ(clsFileSystem::ExistFileOrFolder(""), clsFileSystem::FS_EXIST_NONE);
}

TEST_F(FileTree, FolderCopy) {
    clsFileSystem fs;
    QDir().mkdir(Path("empty"));
    EXPECT_EQ(fs.FolderCopy(Path("empty"), Path("out/empty")), 0);
    EXPECT_EQ(clsFileSystem::ExistFileOrFolder(Path("out/empty")), clsFileSystem::FS_EXIST_FOLDER);

    // Into a folder of the source itself: what was there when it started, once.
    EXPECT_EQ(fs.FolderCopy(Path("sub"), Path("sub/copy")), 2);
    EXPECT_EQ(ReadFile(Path("sub/copy/deeper/d.txt")), "sub/deeper/d.txt");
    EXPECT_EQ(clsFileSystem::ExistFileOrFolder(Path("sub/copy/copy")),
              clsFileSystem::FS_EXIST_NONE);
}

// A second folder on another file system, for moves across file systems.
QString OtherFileSystem(const QString& than) {
    struct stat a {};
    struct stat b {};
    if (::stat("/dev/shm", &b) != 0 || ::stat(QFile::encodeName(than).constData(), &a) != 0 ||
        a.st_dev == b.st_dev)
        return QString();
    return QStringLiteral("/dev/shm");
}

TEST_F(FileTree, CopyKeepsPermissionsAndTimesAndAsksBeforeReplacing) {
    ScriptedFileSystemHost host;
    clsFileSystem fs(&host);
    const qint64 when = QDateTime(QDate(2004, 3, 7), QTime(9, 5, 0)).toSecsSinceEpoch();
    const struct timespec times[2] = {{when, 0}, {when, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(Path("b.dat")).constData(), times, 0);
    Chmod(Path("b.dat"), 0640);
    fs.FileName(Path("b.dat"));

    fs.FileCopy(Path("new/folder/b.copy"));
    EXPECT_EQ(ModeOf(Path("new/folder/b.copy")), 0640u);
    EXPECT_EQ(QFileInfo(Path("new/folder/b.copy")).lastModified().toSecsSinceEpoch(), when);
    EXPECT_EQ(ReadFile(Path("new/folder/b.copy")), "b.dat");

    fs.FileCopy(Path("sub"));  // an existing folder takes the file
    EXPECT_EQ(ReadFile(Path("sub/b.dat")), "b.dat");

    host.answers = {false, true};
    fs.FileCopy(Path("zz.txt"));
    EXPECT_EQ(ReadFile(Path("zz.txt")), "zz.txt");
    fs.FileCopy(Path("zz.txt"));
    EXPECT_EQ(ReadFile(Path("zz.txt")), "b.dat");
    EXPECT_EQ(host.questions.size(), 2);
    EXPECT_TRUE(host.questions[0].contains(Path("zz.txt")));
}

TEST_F(FileTree, MoveRenameAndTrash) {
    clsFileSystem fs;  // headless: never replaces
    fs.FileName(Path("b.dat"));
    fs.Rename(Path("zz.txt"));
    EXPECT_EQ(ReadFile(Path("zz.txt")), "zz.txt");
    fs.Rename(Path("b2.dat"));
    EXPECT_EQ(ReadFile(Path("b2.dat")), "b.dat");

    fs.FileName(Path("b2.dat"));
    fs.Move(Path("moved/here.dat"));
    EXPECT_EQ(ReadFile(Path("moved/here.dat")), "b.dat");
    EXPECT_FALSE(QFile::exists(Path("b2.dat")));

    const QString other = OtherFileSystem(root.path());
    if (!other.isEmpty()) {
        QTemporaryDir there(other + "/fslib-XXXXXX");
        fs.FileName(Path("moved/here.dat"));
        fs.Move(there.path());
        EXPECT_EQ(ReadFile(there.path() + "/here.dat"), "b.dat");
        EXPECT_FALSE(QFile::exists(Path("moved/here.dat")));
    }

    fs.FileName(Path("A.TXT"));
    fs.Trash();
    EXPECT_FALSE(QFile::exists(Path("A.TXT")));
    EXPECT_EQ(ReadFile(qEnvironmentVariable("XDG_DATA_HOME") + "/Trash/files/A.TXT"), "A.TXT");
}

TEST_F(FileTree, FirstMoveStaysOnOneFileSystemAndNeverReplaces) {
    ScriptedFileSystemHost host;
    clsFileSystem fs(&host);
    fs.FileName(Path("b.dat"));
    fs.FirstMove(Path("zz.txt"));
    EXPECT_EQ(ReadFile(Path("zz.txt")), "zz.txt");
    fs.FirstMove(Path("sub/b.moved"));
    EXPECT_EQ(ReadFile(Path("sub/b.moved")), "b.dat");
    EXPECT_TRUE(host.messages.isEmpty());
    EXPECT_TRUE(host.questions.isEmpty());

    const QString other = OtherFileSystem(root.path());
    ASSERT_FALSE(other.isEmpty()) << "/dev/shm is needed on a file system of its own";
    fs.FileName(Path("zz.txt"));
    fs.FirstMove(other + "/zz.txt");
    EXPECT_TRUE(QFile::exists(Path("zz.txt")));
    ASSERT_EQ(host.messages.size(), 1);
    EXPECT_EQ(host.messages[0].text,
              QStringLiteral("移動元と移動先のﾄﾞﾗｲﾌﾞは同じである必用があります"));
    EXPECT_EQ(host.messages[0].title, QStringLiteral("ﾌｧｲﾙ制御ｸﾗｽﾗｲﾌﾞﾗﾘ"));
    EXPECT_EQ(host.messages[0].icon, FileSystemHost::Icon::None);
}

TEST_F(FileTree, MembersOnTheCurrentFileFailWith53WhenItIsNotEnabled) {
    const QString to = Path("to");
    const std::function<void(clsFileSystem&)> members[] = {
        [&](clsFileSystem& f) { f.FileCopy(to); },
        [&](clsFileSystem& f) { f.Move(to); },
        [&](clsFileSystem& f) { f.Rename(to); },
        [](clsFileSystem& f) { f.Trash(); },
        [&](clsFileSystem& f) { f.FirstMove(to); },
        [](clsFileSystem& f) { f.Hidden(true); },
        [](clsFileSystem& f) { (void)f.Directory(); },
        [](clsFileSystem& f) { (void)f.ReadOnly(); },
        [](clsFileSystem& f) { (void)f.Executable(); },
        [](clsFileSystem& f) { (void)f.SIZE(); },
        [](clsFileSystem& f) { (void)f.Links(); },
        [](clsFileSystem& f) { (void)f.CreationTime(); },
        [](clsFileSystem& f) { (void)f.FileVersion(); },
        [](clsFileSystem& f) { (void)f.BuildType(); },
    };
    clsFileSystem fs;
    // A NUL would cut the path short to the system: it names no file at all.
    const QString cut = Path("b.dat") + QChar(u'\0') + "x";
    for (const QString& current : {Path("sub"), Path("missing"), Path("b.dat/"), cut, QString()}) {
        fs.FileName(current);
        EXPECT_FALSE(fs.ENABLED()) << qPrintable(current);
        for (const auto& member : members) {
            try {
                member(fs);
                ADD_FAILURE() << "no error on " << qPrintable(current);
            } catch (const FileSystemError& e) {
                EXPECT_EQ(e.Number(), 53);
            }
        }
    }
    EXPECT_TRUE(QFileInfo(Path("sub")).isDir());
    fs.FileName(Path("missing"));
    EXPECT_EQ(fs.CompressedSize(), -1);
}

TEST(FindExecutable, TheDesktopsDefaultApplication) {
    const QString data = qEnvironmentVariable("XDG_DATA_HOME");
    WriteFile(data + "/applications/fslib-viewer.desktop",
              "[Desktop Entry]\nType=Application\nName=Viewer\nExec=\"sh\" -c true %f\n");
    WriteFile(qEnvironmentVariable("XDG_CONFIG_HOME") + "/mimeapps.list",
              "[Default Applications]\ntext/plain=missing.desktop;fslib-viewer.desktop;\n");
    QTemporaryDir dir;
    // A C source is a kind of plain text.
    WriteFile(dir.path() + "/doc.c", "int main() { return 0; }\n");
    WriteFile(dir.path() + "/doc.png", "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(clsFileSystem::FindExecutable(dir.path() + "/doc.c"),
              QStandardPaths::findExecutable("sh"));
    EXPECT_EQ(clsFileSystem::FindExecutable(dir.path() + "/doc.png"), QString());
    EXPECT_EQ(clsFileSystem::FindExecutable(dir.path() + "/none.c"), QString());
}

}  // namespace
