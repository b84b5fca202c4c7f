// The string functions of clsFileSystem over the documented examples, mapped to Linux paths.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "FileSystemError.h"
#include "FsTestSupport.h"
#include "LikePattern.h"
#include "QtPrint.h"
#include "clsFileSystem.h"

namespace {

using Fn = QString (*)(const QString&);

struct NameCase {
    const char* function;
    Fn fn;
    const char* input;
    const char* expected;
};

const NameCase kNameCases[] = {
    {"GetPathName", &clsFileSystem::GetPathName, "/a/b.txt", "/a/"},
    {"GetPathName", &clsFileSystem::GetPathName, "b.txt", ""},
    {"GetPathName", &clsFileSystem::GetPathName, "/a", "/"},
    {"GetFileName", [](const QString& s) { return clsFileSystem::GetFileName(s); }, "/a/ b.txt ",
     "b.txt"},
    {"GetFileName", [](const QString& s) { return clsFileSystem::GetFileName(s); }, "b", "b"},
    {"GetFileNameOnly", &clsFileSystem::GetFileNameOnly, "/a/b.tar.gz", "b.tar"},
    {"GetFileNameOnly", &clsFileSystem::GetFileNameOnly, "/a/b", "b"},
    {"GetFileExOnly", &clsFileSystem::GetFileExOnly, "/a.d/b", ""},
    {"GetFileExOnly", &clsFileSystem::GetFileExOnly, "/a/b.TXT", "TXT"},
    {"FormulateSaveFileName",
     [](const QString& s) { return clsFileSystem::FormulateSaveFileName(s, "txt"); }, "/a/b",
     "/a/b.txt"},
    {"FormulateSaveFileName",
     [](const QString& s) { return clsFileSystem::FormulateSaveFileName(s, "txt"); }, "/a/b.csv",
     "/a/b.csv"},
    {"DirNameLikeWeb", &clsFileSystem::DirNameLikeWeb, "/a b/c", "file:///a b/c"},
    {"GetAbsolutePath", &clsFileSystem::GetAbsolutePath, "/a/./b/../c/", "/a/c"},
    {"GetAbsolutePath", &clsFileSystem::GetAbsolutePath, "a/./b", "a/b"},
    {"GetAbsolutePath", &clsFileSystem::GetAbsolutePath, "/a/..", "/"},
    {"GetAbsolutePath", &clsFileSystem::GetAbsolutePath, "//srv/share/x", "/srv/share/x"},
    {"GetDrive", &clsFileSystem::GetDrive, "//srv/share/x", "//srv"},
    {"GetDrive", &clsFileSystem::GetDrive, "/proc/self/x", "/proc"},
    {"GetDrive", &clsFileSystem::GetDrive, "/procfoo/x", "/"},
    {"GetDrive", &clsFileSystem::GetDrive, "/proc/../x", "/"},
};

TEST(PathNames, DocumentedExamples) {
    for (const NameCase& c : kNameCases)
        EXPECT_EQ(c.fn(QString::fromUtf8(c.input)), QString::fromUtf8(c.expected))
            << c.function << "(" << c.input << ")";
}

TEST(PathNames, GetDriveOfARelativePathIsTheProgramsDrive) {
    EXPECT_EQ(clsFileSystem::GetDrive("b.txt"),
              clsFileSystem::GetDrive(QCoreApplication::applicationDirPath()));
    EXPECT_EQ(clsFileSystem::GetDrive("//srv"), clsFileSystem::GetDrive("b.txt"));
}

TEST(PathNames, GetAbsolutePathAboveTheFirstPieceIsError9) {
    for (const char* path : {"/..", "/a/../..", "a/../../b"}) {
        try {
            clsFileSystem::GetAbsolutePath(path);
            ADD_FAILURE() << path << " folded";
        } catch (const FileSystemError& e) {
            EXPECT_EQ(e.Number(), 9) << path;
            EXPECT_FALSE(e.Description().isEmpty());
        }
    }
}

struct RelativeCase {
    const char* source;
    const char* target;
    bool byAbsolute;
    const char* expected;
};

const RelativeCase kRelativeCases[] = {
    {"/site/a/index.html", "/site/img/logo.gif", false, "../img/logo.gif"},
    {"/site/a/index.html", "/site/a/x.gif", false, "x.gif"},
    {"/site/a/b/x.html", "/site/y.gif", false, "../../y.gif"},
    {"/site/x.html", "/site/a/b/y.gif", false, "a/b/y.gif"},
    {"/x.html", "/y.gif", false, "y.gif"},
    // Another file system has nothing in common: the target's absolute path.
    {"/x.html", "/proc/y.gif", false, "/proc/y.gif"},
    {"/proc/a/x.html", "/site/y.gif", false, "/site/y.gif"},
    // Folders compare case-sensitively.
    {"/Site/a/x.html", "/site/a/y.gif", false, "../../site/a/y.gif"},
    {"/a/b.html", "/a/./c/d.gif", false, "./c/d.gif"},
    {"/a/b.html", "/a/./c/d.gif", true, "c/d.gif"},
    {"/a/b.html", "/a/../../d.gif", true, ""},
    {"", "/a/b.gif", false, ""},
    {"x.html", "/site/y.gif", false, "/site/y.gif"},
};

TEST(PathNames, RelativeFile) {
    clsFileSystem fs;
    for (const RelativeCase& c : kRelativeCases)
        EXPECT_EQ(fs.RelativeFile(c.source, c.target, false, c.byAbsolute),
                  QString::fromUtf8(c.expected))
            << c.source << " -> " << c.target;
}

TEST(PathNames, RelativeFileRefusesUrlsWithAMessage) {
    ScriptedFileSystemHost host;
    clsFileSystem fs(&host);
    EXPECT_EQ(fs.RelativeFile("/a/x.html", "http://host/y.gif"), QString());
    ASSERT_EQ(host.messages.size(), 1);
    EXPECT_EQ(
        host.messages[0].text,
        QStringLiteral("clsFileSystem.RelativeFileは、url形式をｻﾎﾟｰﾄしてません。(delimiter=/) "));
    EXPECT_EQ(host.messages[0].icon, FileSystemHost::Icon::Exclamation);
    EXPECT_TRUE(host.messages[0].title.isEmpty());
}

struct LikeCase {
    const char* text;
    const char* pattern;
    bool matches;
};

const LikeCase kLikeCases[] = {
    {"a.txt", "*.txt", true},
    {"a.txt", "*.TXT", false},
    {"file7", "file#", true},
    {"filex", "file#", false},
    {"b", "[a-c]", true},
    {"d", "[a-c]", false},
    {"d", "[!a-c]", true},
    {"-", "[a-]", true},
    {"a", "[]a", true},
    {"*", "[*]", true},
    {"ab", "a[", false},
    {"a", "[c-a]", false},
    {"", "*", true},
    {"", "?", false},
    {"abc", "a*c*", true},
    {"日本.txt", "??.txt", true},
    {"x~12", "*~##", true},
    {"x~1", "*~##", false},
    {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "*a*a*a*a*a*a*a*a*a*a*a*c", false},
};

TEST(PathNames, LikeOperator) {
    for (const LikeCase& c : kLikeCases)
        EXPECT_EQ(LikeMatch(QString::fromUtf8(c.text), QString::fromUtf8(c.pattern)), c.matches)
            << c.text << " like " << c.pattern;
}

}  // namespace
