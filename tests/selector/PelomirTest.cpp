#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "API_SpecialFolders.h"
#include "DropFiles.h"
#include "Pelomir.h"
#include "Pelomir_TypeLib.h"
#include "QtPrint.h"
#include "ScriptedDialogHost.h"

namespace {

using namespace Pelomir_TypeLib;
using FileAnswer = DialogHost::FileAnswer;

class Selector : public ::testing::Test {
protected:
    void SetUp() override {
        QDir(dir.path()).mkpath("data/sub");
        for (const char* name : {"data/a.txt", "data/b.txt"})
            QFile(dir.filePath(name)).open(QIODevice::WriteOnly);
        form.resize(400, 100);
        selector = new Pelomir(&form);
        selector->SetDialogHost(host);
        selector->setGeometry(10, 10, 300, 24);
        QObject::connect(selector, &Pelomir::OnPelomir, [this](QString& target) {
            raised.append(target);
            target = "changed by the handler";
        });
        QObject::connect(selector, &Pelomir::OnBeforeShowDialog, [this](bool& cancel) {
            ++before;
            EXPECT_FALSE(cancel);
            cancel = cancelDialogs;
        });
        form.show();
        QApplication::setActiveWindow(&form);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    }

    QString Path(const char* name) const { return dir.filePath(name); }
    QLineEdit* Field() const { return selector->findChild<QLineEdit*>("txtFolder"); }
    QPushButton* Button() const { return selector->findChild<QPushButton*>("btnFolder"); }
    QMenu* Menu() const { return selector->findChild<QMenu*>("mnuPopup"); }
    QString Text() const { return selector->Target().toString(); }

    void CloseMenu() {
        Menu()->hide();
        QApplication::setActiveWindow(&form);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
    }

    QTemporaryDir dir;
    QWidget form;
    Pelomir* selector = nullptr;
    ScriptedDialogHost host;
    QStringList raised;
    int before = 0;
    bool cancelDialogs = false;
};

// How a folder-style selector shows what it is given.
TEST_F(Selector, FolderStyleShowsTheNearestExistingFolder) {
    const struct {
        QString given;
        QString shown;
    } cases[] = {
        {Path("data/sub"), Path("data/sub")},
        {Path("data/a.txt"), Path("data")},
        {Path("data/missing/deeper/still"), Path("data")},
        {"/no-such-top-folder/x", "/"},
        {"bare-name-that-is-not-here", "bare-name-that-is-not-here"},
        {"", ""},
    };
    for (const auto& c : cases) {
        selector->setInitDir(Path("data/sub"));
        selector->setInitDir(c.given);
        EXPECT_EQ(Text(), c.shown) << c.given.toStdString();
        EXPECT_EQ(selector->InitDir(), c.shown);
    }
    EXPECT_TRUE(raised.isEmpty());

    // A file style shows what it is given.
    selector->setStyle(ST_FileOpen);
    selector->setInitDir(Path("data/missing.txt"));
    EXPECT_EQ(Text(), Path("data/missing.txt"));
}

TEST_F(Selector, DroppedFileGivesItsFolderAndRaisesOnPelomirWithIt) {
    EXPECT_TRUE(DropFiles(Field(), {Path("data/a.txt"), Path("data/b.txt")}));
    EXPECT_EQ(Text(), Path("data"));
    // The handler's change of its argument stays with the handler.
    EXPECT_EQ(raised, QStringList{Path("data")});

    selector->setStyle(ST_FileOpen);
    EXPECT_TRUE(DropFiles(Field(), {Path("data/b.txt"), Path("data/a.txt")}));
    EXPECT_EQ(Text(), Path("data/b.txt"));
    EXPECT_EQ(raised.size(), 2);
}

TEST_F(Selector, DropsOfAnythingButLocalFilesAreRefused) {
    selector->setInitDir(Path("data"));
    QMimeData text;
    text.setText(Path("data/a.txt"));
    EXPECT_FALSE(DropOnto(Field(), text));
    QMimeData web;
    web.setUrls({QUrl("https://example.org/a.txt")});
    EXPECT_FALSE(DropOnto(Field(), web));
    EXPECT_EQ(Text(), Path("data"));
    EXPECT_TRUE(raised.isEmpty());

    // A drag that offers a move is taken as a copy.
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(Path("data/a.txt"))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, &files, Qt::LeftButton,
                          Qt::NoModifier);
    QCoreApplication::sendEvent(Field(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
    QDragEnterEvent moveOnly(QPoint(5, 5), Qt::MoveAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Field(), &moveOnly);
    EXPECT_FALSE(moveOnly.isAccepted());
}

// The three ways the user opens the dialog, each asked first through OnBeforeShowDialog.
TEST_F(Selector, ButtonDoubleClickAndEnterAskBeforeTheDialog) {
    const QList<std::function<void()>> triggers{
        [this] { QTest::mouseClick(Button(), Qt::LeftButton); },
        [this] { QTest::mouseDClick(Field(), Qt::LeftButton); },
        [this] { QTest::keyClick(Field(), Qt::Key_Return); },
        [this] { QTest::keyClick(Field(), Qt::Key_Enter, Qt::KeypadModifier); },
    };
    for (const auto& trigger : triggers) {
        cancelDialogs = true;
        before = 0;
        trigger();
        EXPECT_EQ(before, 1);
        EXPECT_EQ(host.Asked(), 0);

        cancelDialogs = false;
        before = 0;
        host.folderAnswers = {Path("data/sub")};
        trigger();
        EXPECT_EQ(before, 1);
        EXPECT_EQ(host.folders.size(), 1);
        host.folders.clear();
    }
    EXPECT_EQ(Text(), Path("data/sub"));
    EXPECT_EQ(raised.size(), 4);
}

// Called directly, ShowDialog asks nothing first.
TEST_F(Selector, FolderDialogOpensAtTheTextOrTheDesktopWithItsTitle) {
    EXPECT_FALSE(selector->ShowDialog());  // cancelled
    selector->setInitDir(Path("data/sub"));
    selector->setTitle("Pick one");
    selector->setRoot(ST_PERSONAL);
    EXPECT_FALSE(selector->ShowDialog());
    ASSERT_EQ(host.folders.size(), 2);
    // The tests' home has no desktop folder: the dialog opens at home.
    EXPECT_EQ(host.folders[0].initial, QDir::homePath());
    EXPECT_EQ(host.folders[0].title, "ﾌｫﾙﾀﾞを選択してください");
    EXPECT_EQ(host.folders[0].root, "");
    EXPECT_EQ(host.folders[0].owner, &form);
    EXPECT_EQ(host.folders[1].initial, Path("data/sub"));
    EXPECT_EQ(host.folders[1].title, "Pick one");
    EXPECT_EQ(host.folders[1].root, API_SpecialFolders::GetSpecialFolderPath(ST_PERSONAL));
    EXPECT_EQ(Text(), Path("data/sub"));
    EXPECT_TRUE(raised.isEmpty());
    host.folderAnswers = {Path("data")};
    EXPECT_TRUE(selector->ShowDialog());
    EXPECT_EQ(raised, QStringList{Path("data")});
    EXPECT_EQ(before, 0);
}

TEST_F(Selector, OpenStyleAsksForAnExistingFileWithTheFilter) {
    selector->setStyle(ST_FileOpen);
    selector->setFilter("変換ﾃｰﾌﾞﾙ (*.txt)|*.txt|全てのﾌｧｲﾙ (*.*)|*.*");
    selector->setDefaultFileName("conv.txt");
    EXPECT_FALSE(selector->ShowDialog());
    host.fileAnswers = {FileAnswer{{Path("data/a.txt")}, 0}};
    EXPECT_TRUE(selector->ShowDialog());
    ASSERT_EQ(host.files.size(), 2);
    const DialogHost::FileRequest& r = host.files[0];
    EXPECT_FALSE(r.save);
    EXPECT_TRUE(r.fileMustExist && r.pathMustExist);
    EXPECT_FALSE(r.multiSelect || r.overwritePrompt);
    EXPECT_EQ(r.folder, QDir::homePath());
    EXPECT_EQ(r.fileName, "conv.txt");
    EXPECT_EQ(r.title, QString());
    EXPECT_EQ(r.filters, (QStringList{"変換ﾃｰﾌﾞﾙ (*.txt) (*.txt)", "全てのﾌｧｲﾙ (*.*) (*.*)"}));
    EXPECT_EQ(r.owner, &form);
    EXPECT_EQ(Text(), Path("data/a.txt"));
    EXPECT_EQ(raised, QStringList{Path("data/a.txt")});
    // The next dialog opens at the chosen file.
    selector->ShowDialog();
    EXPECT_EQ(host.files[2].folder, Path("data/a.txt"));
}

TEST_F(Selector, SaveStyleKeepsTheTextWhenOverwritingIsRefused) {
    QApplication::setApplicationDisplayName("Host Program");
    selector->resize(320, 24);
    selector->setStyle(ST_FileSave);
    selector->setInitDir(Path("data/b.txt"));
    host.fileAnswers = {FileAnswer{{Path("data/a.txt")}, 0}, FileAnswer{{Path("data/new")}, 0}};
    host.answers = {false};
    EXPECT_FALSE(selector->ShowDialog());
    EXPECT_EQ(Text(), Path("data/b.txt"));
    ASSERT_EQ(host.questions.size(), 1);
    EXPECT_EQ(host.questions[0].title, "Host Program");
    // A new file asks nothing, and takes the first filter's extension (none for *.*).
    EXPECT_TRUE(selector->ShowDialog());
    EXPECT_EQ(Text(), Path("data/new"));
    EXPECT_EQ(host.questions.size(), 1);
    EXPECT_TRUE(host.files[0].save);
    EXPECT_EQ(raised, QStringList{Path("data/new")});
    QApplication::setApplicationDisplayName(QApplication::applicationName());
}

TEST_F(Selector, QuestionsUseTheTextAndTheHostTitle) {
    QApplication::setApplicationDisplayName("Host");
    selector->resize(320, 24);
    QApplication::setApplicationDisplayName(QApplication::applicationName());
    selector->setStyle(ST_FileSave);
    selector->setInitDir(Path("data/a.txt"));
    host.answers = {true, false, true};
    EXPECT_TRUE(selector->IsAllowOverWrite());
    EXPECT_FALSE(selector->IsAllowCreateNewFile());
    EXPECT_TRUE(selector->IsAllowAppTerminate());
    ASSERT_EQ(host.questions.size(), 3);
    // The title found at the last resize.
    EXPECT_EQ(host.questions[0].title, "Host");
    EXPECT_EQ(host.questions[0].owner, &form);
    selector->setInitDir(Path("data/missing.txt"));
    EXPECT_TRUE(selector->IsAllowOverWrite());
    EXPECT_EQ(host.questions.size(), 3);
}

// The entries of the menu in order: name, caption, and whether it ever acts.
TEST_F(Selector, ContextMenuHasTheElevenEditEntriesOfWhichCopyAndSelectAllAct) {
    const struct {
        const char* name;
        QString caption;
        bool acts;
    } entries[] = {
        {"mnuResume", "元に戻す(&U)", false},
        {"xSep2", "", false},
        {"mnuCut", "切り取り(&T)", false},
        {"mnuCopy", "コピー(&C)", true},
        {"mnuPaste", "貼り付け(&P)", false},
        {"mnuDel", "削除(&D)", false},
        {"xSep4", "", false},
        {"mnuSelectAll", "すべて選択(&A)", true},
        {"xSep0", "", false},
        {"mnuImeOpen", "IME を開く(&O)", false},
        {"mnuImeRechange", "再変換(&R)", false},
    };
    const QList<QAction*> actions = Menu()->actions();
    ASSERT_EQ(actions.size(), 11);
    for (const QString& text : {QString(), Path("data")}) {
        selector->setInitDir(text);
        Button()->setFocus();
        QTest::mouseClick(Field(), Qt::RightButton);
        EXPECT_EQ(QApplication::focusWidget(), Field());
        ASSERT_TRUE(Menu()->isVisible());
        for (int i = 0; i < 11; ++i) {
            EXPECT_EQ(actions[i]->objectName(), entries[i].name);
            EXPECT_EQ(actions[i]->isSeparator(), entries[i].caption.isEmpty());
            if (!actions[i]->isSeparator()) {
                EXPECT_EQ(actions[i]->text(), entries[i].caption);
                EXPECT_EQ(actions[i]->isEnabled(), entries[i].acts && !text.isEmpty())
                    << entries[i].name;
            }
        }
        CloseMenu();
    }
}

TEST_F(Selector, MenuKeyAndShiftF10OpenTheMenuOtherKeysDoNot) {
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        bool opens;
    } cases[] = {
        {Qt::Key_Menu, Qt::NoModifier, true},
        {Qt::Key_F10, Qt::ShiftModifier, true},
        {Qt::Key_F10, Qt::NoModifier, false},
        {Qt::Key_F10, Qt::ShiftModifier | Qt::ControlModifier, false},
    };
    for (const auto& c : cases) {
        Field()->setFocus();
        QTest::keyClick(Field(), c.key, c.modifiers);
        EXPECT_EQ(Menu()->isVisible(), c.opens) << c.key;
        CloseMenu();
    }
}

TEST_F(Selector, CopyPutsTheTextOnTheClipboardAndSelectAllSelectsIt) {
    selector->setInitDir(Path("data"));
    QApplication::clipboard()->setText("before");
    Field()->setFocus();
    Field()->deselect();
    Menu()->findChild<QAction*>("mnuCopy");
    for (QAction* action : Menu()->actions()) {
        if (action->objectName() == "mnuCopy" || action->objectName() == "mnuSelectAll") {
            action->setEnabled(true);
            action->trigger();
        }
    }
    EXPECT_EQ(QApplication::clipboard()->text(), Path("data"));
    EXPECT_EQ(Field()->selectedText(), Path("data"));
}

TEST_F(Selector, DisabledItStopsButtonMenuAndDrops) {
    selector->setInitDir(Path("data"));
    selector->setENABLED(false);
    EXPECT_FALSE(selector->ENABLED());
    EXPECT_FALSE(Field()->isEnabled());
    EXPECT_FALSE(Button()->isEnabled());
    QTest::mouseClick(Button(), Qt::LeftButton);
    QTest::mouseDClick(Field(), Qt::LeftButton);
    QTest::mouseClick(Field(), Qt::RightButton);
    EXPECT_FALSE(Menu()->isVisible());
    EXPECT_FALSE(DropFiles(Field(), {Path("data/sub")}));
    EXPECT_EQ(Text(), Path("data"));
    EXPECT_EQ(before, 0);
    EXPECT_EQ(host.Asked(), 0);
    EXPECT_TRUE(raised.isEmpty());

    // Its own state, whatever the form's; the host may still call ShowDialog.
    selector->setENABLED(true);
    form.setEnabled(false);
    EXPECT_TRUE(selector->ENABLED());
    form.setEnabled(true);
}

TEST_F(Selector, NeverNarrowerThanThreeButtonsNorLowerThanOne) {
    const int button = Button()->width();
    selector->resize(5, 5);
    EXPECT_EQ(selector->size(), QSize(3 * button, Button()->height()));
    EXPECT_EQ(selector->minimumSize(), selector->size());
    selector->resize(250, 30);
    QCoreApplication::processEvents();
    EXPECT_EQ(Button()->geometry(), QRect(250 - button, 0, button, 30));
    EXPECT_EQ(Field()->geometry(), QRect(0, 0, 250 - button - 1, 30));
}

TEST_F(Selector, PersistedPropertiesWriteOnlyWhatDiffersAndReadBack) {
    EXPECT_TRUE(selector->WriteProperties().isEmpty());
    form.setEnabled(false);  // its own Enabled is stored, not the form's
    EXPECT_TRUE(selector->WriteProperties().isEmpty());
    form.setEnabled(true);
    EXPECT_TRUE(Field()->isReadOnly());
    QStringList changed;
    QObject::connect(selector, &Pelomir::PropertyChanged,
                     [&](const QString& name) { changed.append(name); });
    selector->setStyle(ST_FileSave);
    selector->setInitDir(Path("data/a.txt"));
    selector->setFilter("Text|*.txt");
    selector->setTitle("T");
    selector->setENABLED(false);
    selector->setRoot(ST_FONTS);
    selector->setDefaultFileName("not persisted");
    EXPECT_EQ(changed, (QStringList{"Style", "InitDir", "Filter", "Title", "Enabled", "Root"}));
    const QVariantMap bag = selector->WriteProperties();
    EXPECT_EQ(bag, (QVariantMap{{"Style", 2},
                                {"InitDir", Path("data/a.txt")},
                                {"Filter", "Text|*.txt"},
                                {"Title", "T"},
                                {"Enabled", false},
                                {"Root", 20}}));
    Pelomir copy(&form);
    copy.ReadProperties(bag);
    EXPECT_EQ(copy.WriteProperties(), bag);
    EXPECT_EQ(copy.Target().toString(), Path("data/a.txt"));
    EXPECT_FALSE(copy.ENABLED());
}

}  // namespace
