#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include "ComDlgError.h"
#include "QtPrint.h"
#include "ScriptedDialogHost.h"
#include "clsComDlg.h"

namespace {

using FileAnswer = DialogHost::FileAnswer;

const QString kTextFirst = QStringLiteral("Text (*.txt)|*.txt|All (*.*)|*.*");

struct ExtensionCase {
    const char* what;
    QString filter;
    bool addFileEx;
    bool save;
    QString chosen;
    QString expected;
};

class DefaultExtension : public ::testing::TestWithParam<ExtensionCase> {};

TEST_P(DefaultExtension, ComesFromTheFirstFilterWhateverFilterWasChosen) {
    const ExtensionCase& c = GetParam();
    ScriptedDialogHost host;
    // The user picked the second filter.
    host.fileAnswers.append(FileAnswer{{c.chosen}, 1});
    clsComDlg dialog(host);
    dialog.Filter(c.filter);
    dialog.AddFileEx(c.addFileEx);
    c.save ? dialog.ShowSave() : dialog.ShowOpen();
    EXPECT_EQ(dialog.FileName(), c.expected);
    EXPECT_EQ(dialog.FilterIndex(), 2);
    EXPECT_EQ(dialog.APIReturn(), 1);
    EXPECT_EQ(dialog.Action(), c.save ? clsComDlg::Save : clsComDlg::Open);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DefaultExtension,
    ::testing::Values(
        ExtensionCase{"first filter *.txt", kTextFirst, true, true, "/d/report", "/d/report.txt"},
        ExtensionCase{"AddFileEx false", kTextFirst, false, true, "/d/report", "/d/report"},
        ExtensionCase{"first pattern *.*", "All (*.*)|*.*|Text (*.txt)|*.txt", true, true,
                      "/d/report", "/d/report"},
        ExtensionCase{"first of several patterns", "Web|*.htm;*.html|All|*.*", true, true,
                      "/d/index", "/d/index.htm"},
        ExtensionCase{"already has one", kTextFirst, true, true, "/d/report.csv", "/d/report.csv"},
        ExtensionCase{"a dot in the folder only", kTextFirst, true, true, "/d.x/report",
                      "/d.x/report.txt"},
        ExtensionCase{"open dialog", kTextFirst, true, false, "/d/report", "/d/report"},
        ExtensionCase{"no filter", QString(), true, true, "/d/report", "/d/report"}),
    [](const auto& test) {
        std::string name = test.param.what;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return name;
    });

TEST(ComDlgFiles, RequestCarriesFiltersFlagsAndPresets) {
    ScriptedDialogHost host;
    QWidget owner;
    owner.show();
    clsComDlg dialog(host);
    dialog.hWndOwner(qint32(quint32(owner.effectiveWinId())));
    dialog.Filter(QStringLiteral("変換ﾃｰﾌﾞﾙ (*.txt)|*.txt|Web|*.htm;*.html|empty|"));
    dialog.FilterIndex(2);
    dialog.flags(0x1804 | 0x2 | 0x200 | 0x40000);
    dialog.DefaultExt(".txt");
    dialog.DialogTitle("Choose");
    dialog.InitDir("/srv");
    dialog.FileName("preset.txt");
    dialog.ShowSave();
    ASSERT_EQ(host.files.size(), 1);
    const DialogHost::FileRequest& r = host.files[0];
    EXPECT_EQ(r.owner, &owner);
    EXPECT_TRUE(r.save);
    // Descriptions as written, the patterns in the parentheses Qt matches by; a pair without a
    // pattern offers nothing.
    EXPECT_EQ(r.filters, (QStringList{"変換ﾃｰﾌﾞﾙ (*.txt) (*.txt)", "Web (*.htm *.html)"}));
    EXPECT_EQ(r.filterIndex, 1);
    EXPECT_EQ(r.defaultSuffix, "txt");
    EXPECT_EQ(r.title, "Choose");
    EXPECT_EQ(r.folder, "/srv");
    EXPECT_EQ(r.fileName, "preset.txt");
    EXPECT_TRUE(r.fileMustExist && r.pathMustExist && r.overwritePrompt && r.multiSelect);
    // Bits without a Qt option are kept as they were.
    EXPECT_EQ(dialog.flags(), 0x1804 | 0x2 | 0x200 | 0x40000);

    dialog.flags(0);
    dialog.ShowOpen();
    const DialogHost::FileRequest& plain = host.files[1];
    EXPECT_FALSE(plain.save || plain.fileMustExist || plain.pathMustExist ||
                 plain.overwritePrompt || plain.multiSelect);
}

TEST(ComDlgFiles, MultipleSelectionListsLastChosenFirstWithTheFolderPrefix) {
    ScriptedDialogHost host;
    host.fileAnswers = {FileAnswer{{"/d/a.txt", "/d/b", "/d/c.txt"}, 0},
                        FileAnswer{{"/d/a.txt", "/d/b"}, 0}, FileAnswer{{"/d/only.txt"}, 0},
                        FileAnswer{{"/x", "/y"}, 0}};
    clsComDlg dialog(host);
    dialog.flags(0x200);
    dialog.Filter(kTextFirst);
    dialog.ShowOpen();
    EXPECT_EQ(dialog.FileNames(), (QStringList{"/d/c.txt", "/d/b", "/d/a.txt"}));
    EXPECT_EQ(dialog.InitDir(), "/d/");
    EXPECT_EQ(dialog.FileName(), "/d/a.txt");
    EXPECT_TRUE(dialog.FileTitles().isEmpty());
    EXPECT_EQ(dialog.FileTitle(), QString());

    // Saved names take the default extension each.
    dialog.ShowSave();
    EXPECT_EQ(dialog.FileNames(), (QStringList{"/d/b.txt", "/d/a.txt"}));

    // One file chosen is still one name.
    dialog.ShowOpen();
    EXPECT_EQ(dialog.FileNames(), QStringList{"/d/only.txt"});

    dialog.ShowOpen();
    EXPECT_EQ(dialog.FileNames(), (QStringList{"/y", "/x"}));
    EXPECT_EQ(dialog.InitDir(), "/");
}

TEST(ComDlgFiles, CancelClearsTheNameOnlyWithCancelErrorAndRaisesNothing) {
    ScriptedDialogHost host;
    clsComDlg dialog(host);
    dialog.FileName("/d/kept.txt");
    dialog.ShowOpen();
    EXPECT_EQ(dialog.FileName(), "/d/kept.txt");
    EXPECT_EQ(dialog.APIReturn(), 0);
    EXPECT_EQ(dialog.FileNames(), QStringList{QString()});

    dialog.CancelError(true);
    EXPECT_NO_THROW(dialog.ShowSave());
    EXPECT_EQ(dialog.FileName(), QString());
    EXPECT_EQ(dialog.ExtendedError(), 0);
}

TEST(ComDlgFiles, NamesLongerThanMaxFileSizeAreRefused) {
    ScriptedDialogHost host;
    host.fileAnswers = {FileAnswer{{"/d/long-name.txt"}, 0}, FileAnswer{{"/d/ok"}, 0}};
    clsComDlg dialog(host);
    dialog.CancelError(true);
    dialog.MaxFileSize(10);
    dialog.FileName("x");
    dialog.ShowOpen();
    EXPECT_EQ(dialog.APIReturn(), 0);
    EXPECT_EQ(dialog.ExtendedError(), clsComDlg::kBufferTooSmall);
    EXPECT_EQ(dialog.FileName(), QString());
    dialog.ShowOpen();
    EXPECT_EQ(dialog.FileName(), "/d/ok");
    EXPECT_EQ(dialog.ExtendedError(), 0);
}

TEST(ComDlgColour, TheFirstWhiteCustomSlotTakesEachChosenColour) {
    ScriptedDialogHost host;
    host.colourAnswers = {QColor(255, 0, 0), QColor(0, 0, 255), QColor(1, 2, 3)};
    clsComDlg dialog(host);
    dialog.Color(0x00FF00);
    dialog.ShowColor();
    EXPECT_EQ(host.colourInitials[0], QColor(0, 255, 0));
    EXPECT_EQ(dialog.Color(), 0x0000FF);  // red, as 0x00BBGGRR
    EXPECT_EQ(dialog.Action(), clsComDlg::Colour);
    dialog.ShowColor();
    dialog.ShowColor();
    ASSERT_EQ(host.colourCustoms.size(), 3);
    EXPECT_EQ(host.colourCustoms[0][0], Qt::white);
    EXPECT_EQ(host.colourCustoms[1][0], QColor(255, 0, 0));
    EXPECT_EQ(host.colourCustoms[1][1], Qt::white);
    EXPECT_EQ(host.colourCustoms[2][0], QColor(255, 0, 0));
    EXPECT_EQ(host.colourCustoms[2][1], QColor(0, 0, 255));
    EXPECT_EQ(host.colourCustoms[2][2], Qt::white);
}

TEST(ComDlgColour, CancelFailsOnlyWithCancelError) {
    ScriptedDialogHost host;
    clsComDlg dialog(host);
    dialog.Color(0x123456);
    EXPECT_NO_THROW(dialog.ShowColor());
    EXPECT_EQ(dialog.Color(), 0x123456);
    dialog.CancelError(true);
    try {
        dialog.ShowColor();
        FAIL() << "no error";
    } catch (const ComDlgError& error) {
        EXPECT_EQ(error.Number(), qint32(0x8004037E));
        EXPECT_EQ(error.Description(), "Cancel Pressed");
    }
    EXPECT_EQ(dialog.Color(), 0x123456);
}

TEST(ComDlgFont, StyleAndSizeGoInAndComeBack) {
    ScriptedDialogHost host;
    QFont chosen(QStringLiteral("IPAGothic"));
    chosen.setPointSizeF(10.6);
    chosen.setWeight(QFont::DemiBold);
    chosen.setItalic(true);
    chosen.setStrikeOut(true);
    host.fontAnswers = {chosen};
    clsComDlg dialog(host);
    dialog.FontBold(true);
    dialog.FontUnderline(true);
    dialog.FontSize(12);
    dialog.CancelError(true);
    dialog.ShowFont();
    ASSERT_EQ(host.fontInitials.size(), 1);
    EXPECT_EQ(host.fontInitials[0].weight(), QFont::Bold);
    EXPECT_TRUE(host.fontInitials[0].underline());
    EXPECT_EQ(host.fontInitials[0].pointSize(), 12);
    EXPECT_FALSE(dialog.FontBold());  // 600 is not bold
    EXPECT_TRUE(dialog.FontItalic());
    EXPECT_FALSE(dialog.FontUnderline());
    EXPECT_TRUE(dialog.FontStrikethru());
    EXPECT_EQ(dialog.FontName(), "IPAGothic");
    EXPECT_EQ(dialog.FontSize(), 11);
    // Cancel changes nothing and raises nothing, CancelError or not.
    EXPECT_NO_THROW(dialog.ShowFont());
    EXPECT_EQ(dialog.FontSize(), 11);
    EXPECT_EQ(dialog.APIReturn(), 0);
}

TEST(ComDlgPrinter, ValuesGoAsSixteenBitsAndComeBackOnlyWhenAccepted) {
    ScriptedDialogHost host;
    clsComDlg dialog(host);
    dialog.FromPage(2);
    dialog.ToPage(70000);
    dialog.Min(1);
    dialog.Max(99);
    dialog.Copies(3);
    dialog.flags(0x4 | 0x2 | 0x100000);
    dialog.ShowPrinter();
    ASSERT_EQ(host.prints.size(), 1);
    EXPECT_EQ(host.prints[0].toPage, 70000 - 65536);
    EXPECT_TRUE(host.prints[0].noSelection && host.prints[0].pagesChosen &&
                host.prints[0].noPrintToFile);
    EXPECT_FALSE(host.prints[0].noPageNumbers || host.prints[0].selectionChosen);
    EXPECT_EQ(dialog.ToPage(), 70000);  // cancelled: unchanged

    DialogHost::PrintRequest answer = host.prints[0];
    answer.fromPage = 4;
    answer.toPage = 5;
    answer.copies = 7;
    host.printAnswers = {answer};
    dialog.ShowPrinter();
    EXPECT_EQ(dialog.APIReturn(), 1);
    EXPECT_EQ(dialog.FromPage(), 4);
    EXPECT_EQ(dialog.ToPage(), 5);
    EXPECT_EQ(dialog.Copies(), 7);
    EXPECT_EQ(dialog.Max(), 99);
    EXPECT_EQ(dialog.hdc(), 0);
    EXPECT_EQ(dialog.Action(), clsComDlg::Printer);
}

TEST(ComDlgHelp, OpensTheFileUnlessQuitOrNoFile) {
    ScriptedDialogHost host;
    clsComDlg dialog(host);
    dialog.ShowHelp();
    EXPECT_EQ(dialog.APIReturn(), 0);
    dialog.HelpFile("/usr/share/doc/x/index.html");
    dialog.ShowHelp();
    EXPECT_EQ(dialog.APIReturn(), 1);
    dialog.HelpCommand(2);
    dialog.ShowHelp();
    EXPECT_EQ(dialog.APIReturn(), 1);
    EXPECT_EQ(host.helpFiles, QStringList{"/usr/share/doc/x/index.html"});
    EXPECT_EQ(dialog.Action(), clsComDlg::Help);
}

TEST(ComDlgQuestions, OverWriteAsksOnlyForAnExistingFile) {
    QTemporaryDir dir;
    const QString file = dir.filePath("exists.txt");
    QFile(file).open(QIODevice::WriteOnly);
    const QString overWrite =
        QStringLiteral("ﾌｧｲﾙはすでに存在します。上書きしてもよろしいですか？");
    struct Case {
        QString path;
        QList<bool> answers;
        bool expected;
        bool asked;
    };
    const QList<Case> cases{
        {dir.filePath("missing.txt"), {}, true, false},
        {dir.path(), {}, true, false},
        {file, {true}, true, true},
        {file, {false}, false, true},
    };
    for (const Case& c : cases) {
        ScriptedDialogHost host;
        host.answers = c.answers;
        clsComDlg dialog(host);
        QString title = QStringLiteral("Host");
        EXPECT_EQ(dialog.IsAllowOverWrite(c.path, title), c.expected) << c.path.toStdString();
        ASSERT_EQ(host.questions.size(), c.asked ? 1 : 0) << c.path.toStdString();
        if (c.asked) {
            EXPECT_EQ(host.questions[0].text, overWrite);
            EXPECT_EQ(host.questions[0].title, "Host");
        }
    }
}

TEST(ComDlgQuestions, AnEmptyTitleIsFilledWithTheLibrarysOwn) {
    ScriptedDialogHost host;
    host.answers = {true, false};
    clsComDlg dialog(host);
    QString title;
    EXPECT_TRUE(dialog.IsAllowCreateNewFile(title));
    EXPECT_EQ(title, "Pelomir");
    EXPECT_FALSE(dialog.IsAllowAppTerminate(title));
    ASSERT_EQ(host.questions.size(), 2);
    EXPECT_EQ(host.questions[0].text,
              "ﾌｧｲﾙは保存されてません。作業中のﾌｧｲﾙは破棄してもよろしいですか？");
    EXPECT_EQ(host.questions[1].text,
              "ﾌｧｲﾙは保存されてません。ｱﾌﾟﾘｹｰｼｮﾝを終了してもよろしいですか？");
    EXPECT_EQ(host.questions[1].title, "Pelomir");
}

}  // namespace
