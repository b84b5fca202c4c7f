#include <gtest/gtest.h>

#include <functional>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "API_IniFileAccess.h"
#include "AppFiles.h"
#include "ComponentControl.h"
#include "ComponentRegistry.h"
#include "ConvTableHelp.h"
#include "DropFiles.h"
#include "Dunvorel_TypeLib.h"
#include "MessageBoxHost.h"
#include "Pelomir_TypeLib.h"
#include "QtTranslation.h"
#include "RunLogViewer.h"
#include "ScriptedMessageHost.h"
#include "TextFile.h"
#include "frmSkerrow.h"

namespace {

const QString kDiscard = QStringLiteral("編集中のデータがあります。破棄してもよろしいですか？");
const QString kQuitEditing =
    QStringLiteral("編集中のデータがあります。このまま終了してよろしいですか？");

QString DatPath() {
    return AppFiles::AppFilePath(".dat");
}
QString IniPath() {
    return AppFiles::AppFilePath(".ini");
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteRaw(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// The path field inside a selector control.
QLineEdit* SelectorField(const HostedTargetSelector& selector) {
    return selector.Widget()->findChild<QLineEdit*>(QStringLiteral("txtFolder"));
}

QStringList Column(const frmSkerrow& w, int column) {
    QStringList texts;
    for (int i = 0; i < w.ItemCount(); ++i)
        texts.append(w.Item(i)->text(column));
    return texts;
}

class Window : public ::testing::Test {
protected:
    void SetUp() override {
        QFile::remove(DatPath());
        QFile::remove(IniPath());
        QDir(DatPath()).removeRecursively();
        API_IniFileAccess::SetMessageHost(&host);
    }
    void TearDown() override {
        API_IniFileAccess::SetMessageHost(nullptr);
        QDir(DatPath()).removeRecursively();
    }

    // A shown, active window, so that focus changes work as for a user.
    std::unique_ptr<frmSkerrow> Open() {
        auto w = std::make_unique<frmSkerrow>(host);
        w->show();
        QApplication::setActiveWindow(w.get());
        EXPECT_TRUE(QTest::qWaitForWindowActive(w.get()));
        QCoreApplication::processEvents();
        return w;
    }

    // Fills the edit fields as a user would and registers them.
    void Register(frmSkerrow& w, const QString& local, const QString& ftp,
                  const QString& account = "user", const QString& interval = QString()) {
        w.stLocalDir->setInitDir(local);
        w.txtFtpDir->setText(ftp);
        w.txtAccount->setText(account);
        w.txtPasswd->setText("pw-" + account);
        w.txtAmbiguousSecond->setText(interval);
        w.btnAction[1]->click();
    }

    // A real folder: a folder-style selector cuts a path that does not exist back to one that does.
    QString Local(const QString& name) {
        QDir().mkpath(folders.filePath(name));
        return folders.filePath(name);
    }

    // A window an earlier test closed asked the application to exit, which ends any modal loop at
    // once until the application's own loop has run.
    static void FlushExit() {
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        QCoreApplication::exec();
    }

    void Focus(QWidget* widget) {
        widget->setFocus(Qt::TabFocusReason);
        QCoreApplication::processEvents();
    }

    ScriptedMessageHost host;
    QTemporaryDir folders;
};

TEST_F(Window, LoadsProfilesAndSettingAndStartsClean) {
    WriteRaw(DatPath(),
             "True\t/a\t5\tftp://h1/x\tu1\tp1\r\n"
             "short\r\n"
             "False\t/b\t2.5\tftp://h2\tu2\tp2\textra\r\n"
             "\r\n");
    API_IniFileAccess::IniWrite("Setting", "/tables/conv.txt", QStringLiteral("ConvNameTable"));
    auto w = Open();
    ASSERT_EQ(w->ItemCount(), 2);
    EXPECT_EQ(frmSkerrow::ItemKey(w->Item(0)), ":1");
    EXPECT_EQ(frmSkerrow::ItemKey(w->Item(1)), ":2");
    EXPECT_TRUE(w->ItemChecked(0));
    EXPECT_FALSE(w->ItemChecked(1));
    EXPECT_EQ(Column(*w, 2), (QStringList{"ftp://h1/x", "ftp://h2"}));
    EXPECT_EQ(w->stConvTable->Target(), "/tables/conv.txt");
    for (int panel = 1; panel <= 5; ++panel)
        EXPECT_EQ(w->PanelText(panel), QString());
    EXPECT_FALSE(w->blnEditing);
    EXPECT_FALSE(w->tmrSec->isActive());
    EXPECT_EQ(w->tmrSec->interval(), 1000);
    EXPECT_EQ(w->txtPasswd->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(w->txtKey->isVisible());
    EXPECT_EQ(w->lvList->headerItem()->text(1), "Int.");
    EXPECT_GE(w->lvList->columnWidth(0), 20);

    const Typ_Profile p = w->GetProfileFromItem(w->Item(1));
    EXPECT_EQ(p.LocalBaseDir, "/b");
    EXPECT_EQ(p.FtpDir, "h2");
    EXPECT_EQ(p.Account, "u2");
    EXPECT_EQ(p.AmbiguousSecond, 2);   // 2.5 rounds to even
    EXPECT_EQ(p.Passwd, "p2\textra");  // a TAB past the sixth field is the password's
    // The line without a profile is told about, and written back as it was.
    ASSERT_EQ(host.shown.size(), 1);
    EXPECT_EQ(host.shown[0].text,
              "プロファイルファイルの 1 行を読み取れませんでした。"
              "これらの行は変更せずに保存されます。\r\n" +
                  DatPath());
    EXPECT_TRUE(w->close());
    EXPECT_TRUE(ReadAll(DatPath()).endsWith("\tp2\textra\r\nshort\r\n\r\n"));
}

TEST_F(Window, RegisterChecksInOrderWithMessageAndFocus) {
    auto w = Open();
    struct Step {
        QString local, ftp, account, message;
        QWidget* focus;
    };
    const QList<Step> steps{
        {"", "h", "u", "ローカルディレクトリの指定がありません。", w->stLocalDir->Widget()},
        {Local("l"), "", "", "ＦＴＰディレクトリの指定がありません。", w->txtFtpDir},
        {Local("l"), "host\\dir", "", "ＦＴＰディレクトリに不正な文字が含まれています。",
         w->txtFtpDir},
        {Local("l"), "host/dir/", "", "アカウントの設定がありません。", w->txtAccount},
    };
    for (const Step& step : steps) {
        host.shown.clear();
        Focus(w->txtPasswd);
        w->stLocalDir->setInitDir(step.local);
        w->txtFtpDir->setText(step.ftp);
        w->txtAccount->setText(step.account);
        w->btnAction[1]->click();
        ASSERT_EQ(host.shown.size(), 1) << step.message.toStdString();
        EXPECT_EQ(host.shown[0].text, step.message);
        EXPECT_EQ(host.shown[0].icon, MsgIcon::Exclamation);
        EXPECT_EQ(host.shown[0].buttons, MsgButtons::Ok);
        EXPECT_TRUE(step.focus->hasFocus()) << step.message.toStdString();
        EXPECT_EQ(w->ItemCount(), 0);
    }
    // The profile file parts its fields with TABs and its profiles with line ends; blanks around
    // a number pass the numeric check, a line break must not.
    w->txtAccount->setText("u");
    for (QLineEdit* box : {w->txtPasswd, w->txtAmbiguousSecond}) {
        host.shown.clear();
        box->setText("\n1");
        w->btnAction[1]->click();
        ASSERT_EQ(host.shown.size(), 1);
        EXPECT_EQ(host.shown[0].text, "タブ文字と改行はプロファイルに保存できません。");
        EXPECT_TRUE(box->hasFocus());
        box->clear();
    }
    // A bare host, and a path with a trailing slash, are accepted as typed.
    host.shown.clear();
    w->txtAccount->setText("u");
    w->btnAction[1]->click();
    EXPECT_TRUE(host.shown.isEmpty());
    ASSERT_EQ(w->ItemCount(), 1);
    EXPECT_EQ(w->Item(0)->text(2), "ftp://host/dir/");
}

TEST_F(Window, RegisterAddsThenUpdatesTheSameItemAndDeleteKeepsKeysUnique) {
    auto w = Open();
    Register(*w, Local("one"), "h1", "a");
    ASSERT_EQ(w->ItemCount(), 1);
    EXPECT_TRUE(w->ItemChecked(0));
    EXPECT_EQ(w->txtKey->text(), ":1");
    EXPECT_EQ(w->Item(0)->text(1), "0");  // an empty interval is stored as 0
    EXPECT_FALSE(w->blnEditing);
    // A second Register after New updates the item the first one made.
    w->SetItemChecked(0, false);
    Register(*w, Local("one-b"), "h1b", "a2", "7");
    ASSERT_EQ(w->ItemCount(), 1);
    EXPECT_EQ((QStringList{w->Item(0)->text(0), w->Item(0)->text(1), w->Item(0)->text(2),
                           w->Item(0)->text(3)}),
              (QStringList{Local("one-b"), "7", "ftp://h1b", "a2"}));
    EXPECT_FALSE(w->ItemChecked(0));  // an update keeps the tick
    EXPECT_EQ(w->GetProfileFromItem(w->Item(0)).Passwd, "pw-a2");

    w->btnAction[0]->click();
    EXPECT_FALSE(w->btnAction[2]->isEnabled());
    EXPECT_EQ(w->txtKey->text(), QString());
    Register(*w, Local("two"), "h2");
    w->btnAction[0]->click();
    Register(*w, Local("three"), "h3");
    // Deleting ":1" leaves two items; a new one must not take ":3" again.
    w->LoadItemIntoFields(w->Item(0));
    EXPECT_TRUE(w->btnAction[2]->isEnabled());
    // Delete asks first, naming the profile, with No the default; No keeps it.
    host.answers = {MsgAnswer::No};
    w->btnAction[2]->click();
    EXPECT_TRUE(host.shown.value(0).text.contains(Local("one-b") + "\r\nFTP BASE DIR: ftp://h1b"));
    EXPECT_EQ(host.shown.value(0).buttons, MsgButtons::YesNoDefaultNo);
    EXPECT_EQ(w->ItemCount(), 3);
    w->btnAction[2]->click();
    EXPECT_EQ(w->txtKey->text(), QString());
    EXPECT_FALSE(w->btnAction[2]->isEnabled());
    Register(*w, Local("four"), "h4");
    QStringList keys;
    for (int i = 0; i < w->ItemCount(); ++i)
        keys.append(frmSkerrow::ItemKey(w->Item(i)));
    EXPECT_EQ(keys, (QStringList{":2", ":3", ":4"}));
    // Deleting with no item in the fields does nothing.
    w->btnAction[0]->click();
    w->btnAction[2]->click();
    EXPECT_EQ(w->ItemCount(), 3);
}

// A profile whose folder is missing (a disk not mounted) shows the nearest existing parent; an
// update of its other fields keeps the profile's own folder, so a run never mirrors the parent.
TEST_F(Window, AnUpdateKeepsAMissingFolderUnlessTheUserChoosesAnother) {
    auto w = Open();
    const QString gone = Local("disk/photos");
    Register(*w, gone, "h1");
    ASSERT_TRUE(QDir(gone).removeRecursively());
    w->btnAction[0]->click();
    w->LoadItemIntoFields(w->Item(0));
    EXPECT_EQ(w->stLocalDir->Target(), Local("disk"));
    w->txtPasswd->setText("new");
    w->btnAction[1]->click();
    EXPECT_EQ(w->Item(0)->text(frmSkerrow::ColLocalBaseDir), gone);
    // A folder the user drops is taken, even the one shown.
    ASSERT_TRUE(DropFiles(SelectorField(*w->stLocalDir), {Local("disk")}));
    w->btnAction[1]->click();
    EXPECT_EQ(w->Item(0)->text(frmSkerrow::ColLocalBaseDir), Local("disk"));
}

TEST_F(Window, ClickAndEnterLoadItemsAndAskAboutUnsavedEdits) {
    WriteRaw(DatPath(), ("True\t" + Local("a") + "\t5\tftp://h1/x\tu1\tp1\r\nTrue\t" + Local("b") +
                         "\t\tftp://h2\tu2\tp2\r\n")
                            .toUtf8());
    auto w = Open();
    QTreeWidget* list = w->lvList;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(w->Item(1)).center());
    EXPECT_EQ(w->txtKey->text(), ":2");
    EXPECT_EQ(w->stLocalDir->Target(), Local("b"));
    EXPECT_EQ(w->txtFtpDir->text(), "h2");
    EXPECT_EQ(w->txtAccount->text(), "u2");
    EXPECT_EQ(w->txtPasswd->text(), "p2");
    EXPECT_FALSE(w->blnEditing);
    EXPECT_TRUE(host.shown.isEmpty());

    // Enter loads the selected item.
    list->setFocus();
    list->setCurrentItem(w->Item(0));
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(w->txtKey->text(), ":1");
    EXPECT_EQ(w->txtAmbiguousSecond->text(), "5");
    EXPECT_EQ(w->txtFtpDir->text(), "h1/x");

    // Unsaved edits: No keeps the fields and selects the edited item again.
    w->txtAccount->setText("changed");
    EXPECT_TRUE(w->blnEditing);
    host.answers = {MsgAnswer::No};
    w->LoadItemIntoFields(w->Item(1));
    ASSERT_EQ(host.shown.size(), 1);
    EXPECT_EQ(host.shown[0].text, kDiscard);
    EXPECT_EQ(host.shown[0].icon, MsgIcon::Question);
    EXPECT_EQ(host.shown[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(w->txtKey->text(), ":1");
    EXPECT_EQ(w->txtAccount->text(), "changed");
    EXPECT_EQ(list->currentItem(), w->Item(0));
    // Yes discards them.
    w->LoadItemIntoFields(w->Item(1));
    EXPECT_EQ(w->txtAccount->text(), "u2");
    EXPECT_FALSE(w->blnEditing);

    // Enter with nothing selected does nothing; New with edits asks too.
    list->clearSelection();
    w->txtAccount->setText("edited");
    host.shown.clear();
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_TRUE(host.shown.isEmpty());
    host.answers = {MsgAnswer::No};
    w->btnAction[0]->click();
    EXPECT_EQ(w->txtAccount->text(), "edited");
    w->btnAction[0]->click();
    EXPECT_EQ(w->txtAccount->text(), QString());
    EXPECT_EQ(host.shown.size(), 2);
    // The local folder chosen by the user marks the fields as edited too.
    EXPECT_FALSE(w->blnEditing);
    ASSERT_TRUE(DropFiles(SelectorField(*w->stLocalDir), {Local("c")}));
    EXPECT_TRUE(w->blnEditing);

    // A click on a check box selects the row it loads; the server settings are the fields'.
    QStyleOptionViewItem option;
    option.rect = list->visualItemRect(w->Item(1));
    option.features = QStyleOptionViewItem::HasCheckIndicator;
    QTest::mouseClick(
        list->viewport(), Qt::LeftButton, {},
        w->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option).center());
    EXPECT_FALSE(w->ItemChecked(1));
    EXPECT_EQ(list->selectedItems(), QList<QTreeWidgetItem*>{w->Item(1)});
    FlushExit();
    QString title;
    QTimer::singleShot(0, [&] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            title = dialog->windowTitle();
            dialog->close();
        }
    });
    w->mnuServerSetting->trigger();
    EXPECT_EQ(title, "ｻｰﾊﾞｰ接続設定 - h2:21");
}

TEST_F(Window, FieldsStripTheSchemeValidateTheIntervalAndSelectOnFocus) {
    auto w = Open();
    Focus(w->txtFtpDir);
    w->txtFtpDir->setText("FTP://Host/Dir");
    Focus(w->txtAccount);
    EXPECT_EQ(w->txtFtpDir->text(), "Host/Dir");
    w->txtFtpDir->setText("ftp://ftp://h");
    Focus(w->txtFtpDir);
    Focus(w->txtAccount);
    EXPECT_EQ(w->txtFtpDir->text(), "ftp://h");  // removed once only

    // Leaving the box by a button's access key strips the scheme before the button acts.
    w->stLocalDir->setInitDir(Local("l"));
    Focus(w->txtFtpDir);
    w->txtFtpDir->setText("ftp://host/x");
    w->txtAccount->setText("u");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_R, Qt::AltModifier);
    // The access key presses the button a moment later, as a click the user can see.
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->ItemCount() == 1; }));
    EXPECT_EQ(w->Item(0)->text(2), "ftp://host/x");

    w->txtAccount->setText("someone");
    Focus(w->txtPasswd);
    Focus(w->txtAccount);
    EXPECT_EQ(w->txtAccount->selectedText(), "someone");

    Focus(w->txtAmbiguousSecond);
    w->txtAmbiguousSecond->setText("12,000.5");
    Focus(w->txtAccount);
    EXPECT_TRUE(host.shown.isEmpty());
    Focus(w->txtAmbiguousSecond);
    w->txtAmbiguousSecond->setText("12 sec");
    Focus(w->txtAccount);
    ASSERT_EQ(host.shown.size(), 1);
    EXPECT_EQ(host.shown[0].text, "この項目は数値項目です。");
    EXPECT_EQ(host.shown[0].icon, MsgIcon::Exclamation);
    EXPECT_TRUE(w->txtAmbiguousSecond->hasFocus());
    EXPECT_EQ(w->txtAmbiguousSecond->selectedText(), "12 sec");
}

TEST_F(Window, CountersTimerAndRunState) {
    auto w = Open();
    for (int i = 0; i < 3; ++i)
        w->CountUpError();
    EXPECT_EQ(w->PanelText(4), "3 err");
    w->CountUpFiles();
    EXPECT_EQ(w->PanelText(2), "1 files");
    w->SetPanelText(3, "  41 copies");
    w->CountUpCopies();
    EXPECT_EQ(w->PanelText(3), "42 copies");
    w->SetPanelText(3, "junk");
    w->CountUpCopies();
    EXPECT_EQ(w->PanelText(3), "1 copies");
    QMetaObject::invokeMethod(w->tmrSec, "timeout");
    QMetaObject::invokeMethod(w->tmrSec, "timeout");
    EXPECT_EQ(w->PanelText(5), "2 sec");
    w->SetPanelText(6, "x");
    EXPECT_EQ(w->PanelText(0), QString());

    EXPECT_FALSE(w->IsRunning());
    EXPECT_FALSE(w->mnuQuitRunning->isVisible());
    w->btnAction[0]->click();  // New leaves Delete disabled, and so does the end of a run
    w->SetRunning(true);
    w->SetEditingEnabled(false);
    for (QPushButton* button : w->btnAction)
        EXPECT_FALSE(button->isEnabled());
    EXPECT_TRUE(w->IsRunning());
    EXPECT_FALSE(w->mnuRun->isVisible());
    EXPECT_FALSE(w->lvList->isEnabled());
    EXPECT_FALSE(w->stConvTable->ENABLED());
    EXPECT_FALSE(w->stLocalDir->Widget()->isEnabled());
    EXPECT_FALSE(w->txtPasswd->isEnabled());
    w->SetRunning(false);
    w->SetEditingEnabled(true);
    EXPECT_TRUE(w->btnAction[1]->isEnabled());
    EXPECT_FALSE(w->btnAction[2]->isEnabled());
    EXPECT_TRUE(w->mnuRun->isVisible());
    EXPECT_TRUE(w->stLocalDir->ENABLED());
    EXPECT_TRUE(w->stLocalDir->Widget()->isEnabled());
}

TEST_F(Window, HeaderClicksSortAscendingDescendingAscending) {
    WriteRaw(DatPath(),
             "True\tb\t1\tftp://z\tu\tp\r\nTrue\tc\t2\tftp://y\tu\tp\r\n"
             "True\ta\t3\tftp://x\tu\tp\r\n");
    auto w = Open();
    QHeaderView* header = w->lvList->header();
    auto click = [&](int column) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 4, 4));
    };
    click(0);
    EXPECT_EQ(Column(*w, 0), (QStringList{"a", "b", "c"}));
    click(0);
    EXPECT_EQ(Column(*w, 0), (QStringList{"c", "b", "a"}));
    click(0);
    EXPECT_EQ(Column(*w, 0), (QStringList{"a", "b", "c"}));
    click(2);
    EXPECT_EQ(Column(*w, 2), (QStringList{"ftp://x", "ftp://y", "ftp://z"}));
    // Keys travel with their items.
    EXPECT_EQ(frmSkerrow::ItemKey(w->Item(0)), ":3");
}

TEST_F(Window, MenusCaptionsAndCommands) {
    auto w = Open();
    QStringList file;
    for (QAction* a : w->mnuFile->actions())
        file.append(a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(file, (QStringList{"実行(&R)", "ﾌﾟﾚﾋﾞｭｰ(&P)", "中止(&Q)", "-",
                                 "変換テーブルを使用しない(&W)", "-", "調査(&G)", "-",
                                 "ｻｰﾊﾞｰ接続設定(&S)...", "-", "閉じる(&C)"}));
    QStringList help;
    for (QAction* a : w->mnuHelp->actions())
        help.append(a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(help, (QStringList{"変換ﾃｰﾌﾞﾙについて(&C)...", "-", "ﾊﾞｰｼﾞｮﾝ情報(&A)..."}));
    EXPECT_EQ(w->mnuFile->title(), "ﾌｧｲﾙ(&F)");
    EXPECT_EQ(w->mnuHelp->title(), "ﾍﾙﾌﾟ(&H)");

    // Investigate mode says so between runs too.
    w->mnuSeek->trigger();
    EXPECT_TRUE(w->InvestigateMode());
    EXPECT_EQ(w->PanelText(1), "調査");
    w->mnuSeek->trigger();
    EXPECT_FALSE(w->InvestigateMode());
    EXPECT_EQ(w->PanelText(1), QString());

    w->mnuHelpConvTable->trigger();
    w->mnuVersion->trigger();
    ASSERT_EQ(host.shown.size(), 2);
    EXPECT_EQ(host.shown[0].text, ConvTableHelpText());
    EXPECT_EQ(host.shown[0].icon, MsgIcon::Information);
    EXPECT_EQ(host.shown[0].title, QString());
    EXPECT_TRUE(host.shown[1].text.startsWith("SkerrowEx v"));
    EXPECT_EQ(host.shown[1].title, "ﾊﾞｰｼﾞｮﾝ情報");

    // Server settings belong to the server in the fields: there is none.
    w->mnuServerSetting->trigger();
    ASSERT_EQ(host.shown.size(), 3);
    EXPECT_EQ(host.shown[2].icon, MsgIcon::Exclamation);
}

TEST_F(Window, ItemAccessForTheRun) {
    WriteRaw(DatPath(), "False\t/a\t5\tftp://h\tu\tp\r\n");
    auto w = Open();
    w->SetItemChecked(0, true);
    EXPECT_TRUE(w->ItemChecked(0));
    EXPECT_FALSE(w->ItemTextColor(0).isValid());
    w->SetItemTextColor(0, QColor(255, 0, 0));
    EXPECT_EQ(w->ItemTextColor(0), QColor(255, 0, 0));
    w->SetItemTextColor(0, QColor());
    EXPECT_FALSE(w->ItemTextColor(0).isValid());
    // Out of range: nothing, and no crash.
    w->SetItemChecked(5, true);
    w->SetItemTextColor(-1, Qt::red);
    EXPECT_FALSE(w->ItemChecked(1));
    EXPECT_EQ(w->FindItem(":9"), nullptr);
}

TEST_F(Window, CloseSavesProfilesAndTableAndTheyComeBack) {
    {
        auto w = Open();
        Register(*w, Local("site"), "example.org/www", "alice", "3");
        w->stConvTable->setInitDir("/tables/t.txt");
        w->mnuClose->trigger();
        EXPECT_FALSE(w->isVisible());
        EXPECT_TRUE(w->Driver().Ftp().blnAbend);
    }
    EXPECT_EQ(ReadAll(DatPath()), "True\t" + Local("site").toUtf8() +
                                      "\t3\tftp://example.org/www\talice\tpw-alice\r\n\r\n");
    EXPECT_EQ(QFileInfo(DatPath()).permissions() & 0x7077,
              QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(ReadAll(IniPath()), QByteArray("[Setting]\r\nConvNameTable=/tables/t.txt\r\n"));
    {
        auto w = Open();
        ASSERT_EQ(w->ItemCount(), 1);
        EXPECT_EQ(w->GetProfileFromItem(w->Item(0)).Passwd, "pw-alice");
        EXPECT_EQ(w->stConvTable->Target(), "/tables/t.txt");
        // Dropping the table is what the next close stores.
        w->mnuWithOutConvTable->trigger();
        EXPECT_EQ(w->stConvTable->Target(), QString());
        delete w->Item(0);
        w->close();
    }
    EXPECT_EQ(ReadAll(DatPath()), QByteArray("\r\n"));
    QString table = "x";
    EXPECT_FALSE(API_IniFileAccess::IniRead("Setting", table, QStringLiteral("ConvNameTable")));
    EXPECT_TRUE(host.shown.isEmpty());
}

TEST_F(Window, CloseAsksAboutEditsAndKeepsTheWindowWhenTheSaveFails) {
    auto w = Open();
    w->txtAccount->setText("typing");
    host.answers = {MsgAnswer::No};
    EXPECT_FALSE(w->close());
    ASSERT_EQ(host.shown.size(), 1);
    EXPECT_EQ(host.shown[0].text, kQuitEditing);
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(QFile::exists(DatPath()));

    // A folder where the profile file belongs makes the save fail (for root too).
    QDir().mkpath(DatPath());
    w->blnEditing = false;
    host.shown.clear();
    EXPECT_FALSE(w->close());
    ASSERT_EQ(host.shown.size(), 1);
    EXPECT_TRUE(
        host.shown[0].text.startsWith("プロファイルを保存できませんでした。\r\n" + DatPath()));
    EXPECT_EQ(host.shown[0].icon, MsgIcon::Exclamation);
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(w->Driver().Ftp().blnAbend);
    QDir(DatPath()).removeRecursively();
    EXPECT_TRUE(w->close());
}

// A file that is there but cannot be read (here: reading /proc/self/mem at offset 0 fails, for
// root too) is not silently replaced by an empty list.
TEST_F(Window, UnreadableProfileFileIsReplacedOnlyWhenTheUserAgrees) {
    ASSERT_TRUE(QFile::link("/proc/self/mem", DatPath()));
    auto w = Open();
    ASSERT_EQ(host.shown.size(), 1);
    EXPECT_EQ(host.shown[0].text, "プロファイルファイルを読み込めませんでした。\r\n" + DatPath());
    EXPECT_EQ(w->ItemCount(), 0);
    host.answers = {MsgAnswer::No};
    EXPECT_TRUE(w->close());
    EXPECT_EQ(host.shown.size(), 2);
    EXPECT_EQ(host.shown[1].icon, MsgIcon::Question);
    EXPECT_TRUE(QFileInfo(DatPath()).isSymLink());

    // Yes tries the save; here the link's target cannot take it, so the window stays open.
    auto again = Open();
    Register(*again, Local("new"), "h");
    host.shown.clear();
    host.answers = {MsgAnswer::Yes};
    EXPECT_FALSE(again->close());
    ASSERT_EQ(host.shown.size(), 2);
    EXPECT_EQ(host.shown[1].icon, MsgIcon::Exclamation);
    QFile::remove(DatPath());
    EXPECT_TRUE(again->close());
    EXPECT_EQ(ReadAll(DatPath()),
              "True\t" + Local("new").toUtf8() + "\t0\tftp://h\tuser\tpw-user\r\n\r\n");
}

TEST_F(Window, SystemUnloadSavesNothing) {
    WriteRaw(DatPath(), "True\t/a\t5\tftp://h\tu\tp\textra\n");
    auto w = Open();
    w->txtAccount->setText("typing");
    w->SystemUnload(3);
    w->SystemUnload(2);
    EXPECT_TRUE(w->Driver().Ftp().blnAbend);
    EXPECT_TRUE(host.shown.isEmpty());
    EXPECT_EQ(ReadAll(DatPath()), QByteArray("True\t/a\t5\tftp://h\tu\tp\textra\n"));
    EXPECT_FALSE(QFile::exists(IniPath()));
}

TEST_F(Window, ABadIntervalStopsTheActionTheUserMovesTo) {
    WriteRaw(DatPath(), "True\t/a\t5\tftp://h\tu\tp\r\nTrue\t/b\t6\tftp://h2\tu2\tp2\r\n");
    auto w = Open();
    host.whileShown = [] { QTest::qWait(20); };
    QTreeWidget* list = w->lvList;
    const QList<std::pair<const char*, std::function<void()>>> actions{
        {"register by mouse", [&] { QTest::mouseClick(w->btnAction[1], Qt::LeftButton); }},
        {"register by access key",
         [&] { QTest::keyClick(w->txtAmbiguousSecond, Qt::Key_R, Qt::AltModifier); }},
        {"new", [&] { w->btnAction[0]->click(); }},
        {"delete", [&] { w->btnAction[2]->click(); }},
        {"item click",
         [&] {
             QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                               list->visualItemRect(w->Item(1)).center());
         }},
        {"run", [&] { w->mnuRun->trigger(); }},
    };
    for (const auto& [name, act] : actions) {
        w->blnEditing = false;
        w->LoadItemIntoFields(w->Item(0));
        Focus(w->txtAmbiguousSecond);
        w->txtAmbiguousSecond->setText("xyz");
        host.shown.clear();
        act();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !host.shown.isEmpty(); })) << name;
        QTest::qWait(20);
        ASSERT_EQ(host.shown.size(), 1) << name;
        EXPECT_EQ(host.shown[0].text, "この項目は数値項目です。");
        EXPECT_TRUE(w->txtAmbiguousSecond->hasFocus()) << name;
        EXPECT_EQ(w->txtKey->text(), ":1") << name;
        EXPECT_EQ(Column(*w, 1), (QStringList{"5", "6"})) << name;
    }
    EXPECT_EQ(ReadAll(DatPath()),
              QByteArray("True\t/a\t5\tftp://h\tu\tp\r\nTrue\t/b\t6\tftp://h2\tu2\tp2\r\n"));
}

// An SFTP address keeps its scheme in the list, in the fields and in the profile.
TEST_F(Window, TheAddressPortIsCheckedAtRegister) {
    auto w = Open();
    EXPECT_EQ(w->txtFtpDir->placeholderText(), "host[:port]/path, sftp://host[:port]/path");
    for (const QString ftp : {"127.0.0.1:abc/site", "h:0", "h:65536/x", "h:/x", ":21/x", "[::1/x",
                              "sftp://", "sftp://h:0/x", "sftp://:22/x"}) {
        host.shown.clear();
        Focus(w->txtAccount);
        Register(*w, "/l", ftp);
        ASSERT_EQ(host.shown.size(), 1) << ftp.toStdString();
        EXPECT_TRUE(host.shown[0].text.startsWith("ＦＴＰディレクトリのホスト名またはポート番号"));
        EXPECT_TRUE(w->txtFtpDir->hasFocus());
        EXPECT_EQ(w->ItemCount(), 0);
    }
    Register(*w, "/l", "[::1]:2121/site");
    Register(*w, "/l", "h:65535");
    EXPECT_EQ(Column(*w, 2), (QStringList{"ftp://h:65535"}));
    w->btnAction[0]->click();
    Register(*w, "/l", "SFTP://h:2222/home/me");
    EXPECT_EQ(Column(*w, 2), (QStringList{"ftp://h:65535", "sftp://h:2222/home/me"}));
    EXPECT_EQ(w->GetProfileFromItem(w->Item(1)).FtpDir, "sftp://h:2222/home/me");
    w->LoadItemIntoFields(w->Item(1));
    EXPECT_EQ(w->txtFtpDir->text(), "sftp://h:2222/home/me");
}

TEST_F(Window, RegisterAndDeleteSaveAtOnceInTheListsVisibleOrder) {
    WriteRaw(DatPath(), "True\tb\t1\tftp://h\tu\tp\r\n");
    auto w = Open();
    w->lvList->header()->sectionClicked(0);
    Register(*w, Local("z"), "h1", "z");
    w->btnAction[0]->click();
    Register(*w, "a", "h2", "a");
    EXPECT_EQ(Column(*w, 0), (QStringList{Local("z"), "a", "b"}));
    // A rename takes its new place too.
    w->txtAmbiguousSecond->setText("9");
    w->stLocalDir->setInitDir("c");
    w->btnAction[1]->click();
    EXPECT_EQ(Column(*w, 0), (QStringList{Local("z"), "b", "c"}));
    EXPECT_EQ(ReadAll(DatPath()), "True\t" + Local("z").toUtf8() +
                                      "\t0\tftp://h1\tz\tpw-z\r\n"
                                      "True\tb\t1\tftp://h\tu\tp\r\n"
                                      "True\tc\t9\tftp://h2\ta\tpw-a\r\n\r\n");
    w->LoadItemIntoFields(w->Item(0));
    w->btnAction[2]->click();
    EXPECT_EQ(ReadAll(DatPath()), QByteArray("True\tb\t1\tftp://h\tu\tp\r\n"
                                             "True\tc\t9\tftp://h2\ta\tpw-a\r\n\r\n"));
    EXPECT_EQ(host.shown.size(), 1);  // the delete's question
}

TEST_F(Window, TwoWindowsNeverOverwriteEachOtherSilently) {
    auto first = Open();
    auto second = Open();
    Register(*first, Local("one"), "h1");
    Register(*second, Local("two"), "h2");
    ASSERT_EQ(host.shown.size(), 1);
    EXPECT_TRUE(host.shown[0].text.contains(DatPath()));
    EXPECT_EQ(host.shown[0].buttons, MsgButtons::YesNoCancel);
    // Yes took the first window's list; the fields still hold the second's profile, as new.
    EXPECT_EQ(Column(*second, 0), QStringList{Local("one")});
    EXPECT_TRUE(second->blnEditing);
    EXPECT_EQ(second->txtKey->text(), QString());
    second->btnAction[1]->click();
    EXPECT_EQ(Column(*second, 0), (QStringList{Local("one"), Local("two")}));
    EXPECT_EQ(host.shown.size(), 1);

    // Cancel writes nothing; No overwrites with this window's list.
    host.answers = {MsgAnswer::Cancel, MsgAnswer::No};
    first->btnAction[0]->click();
    Register(*first, Local("three"), "h3");
    EXPECT_EQ(host.shown.size(), 2);
    EXPECT_TRUE(ReadAll(DatPath()).contains(Local("two").toUtf8()));
    first->close();
    EXPECT_EQ(host.shown.size(), 3);
    EXPECT_EQ(Column(*first, 0), (QStringList{Local("one"), Local("three")}));
    EXPECT_FALSE(ReadAll(DatPath()).contains(Local("two").toUtf8()));
}

TEST_F(Window, JapaneseStandardTextsAndAStarredPassword) {
    ASSERT_TRUE(QtTranslation::InstallJapanese());
    QMessageBox box(QMessageBox::Question, "t", "q",
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), "はい(&Y)");
    EXPECT_EQ(box.button(QMessageBox::No)->text(), "いいえ(&N)");
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), "キャンセル");

    auto w = Open();
    w->txtPasswd->setText("secret");
    EXPECT_EQ(w->txtPasswd->displayText(), "******");

    // Enter says No to a question whose default is No.
    FlushExit();
    QTimer::singleShot(0,
                       [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Return); });
    MessageBoxHost boxes;
    EXPECT_EQ(boxes.ShowMessage("q", MsgIcon::Question, MsgButtons::YesNoDefaultNo), MsgAnswer::No);
}

TEST_F(Window, OwnLogViewerOpensAtTheEnd) {
    const QString log = AppFiles::AppFilePath(".log");
    for (int i = 0; i < 300; ++i)
        ASSERT_TRUE(TextFile::AppendLine(log, QString("line %1").arg(i)));
    ASSERT_TRUE(TextFile::AppendLine(log, "END (0 copies)"));
    std::unique_ptr<QPlainTextEdit> view(RunLogViewer::ShowOwn(nullptr, log));
    ASSERT_TRUE(view);
    QScrollBar* bar = view->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(RunLogViewer::ShowOwn(nullptr, log + ".missing"), nullptr);
}

// The frame's centre on the screen's, give or take the pixel an odd difference leaves.
void ExpectCentred(const QWidget& w) {
    const QPoint offset = w.frameGeometry().center() - w.screen()->geometry().center();
    EXPECT_LE(offset.manhattanLength(), 2) << offset.x() << "," << offset.y();
}

TEST_F(Window, OpensCentredWithItsEtchedLineThroughTheFormBehaviourLibrary) {
    API_IniFileAccess::IniWrite("Setting", "/tables/conv.txt", QStringLiteral("ConvNameTable"));
    auto w = Open();
    ASSERT_NE(w->ffMain, nullptr);
    EXPECT_EQ(w->ffMain->LibraryPath(),
              QCoreApplication::applicationDirPath() + QStringLiteral("/libDunvorel.so"));
    QVariant value;
    EXPECT_TRUE(w->ffMain->GetProperty(Dunvorel_TypeLib::DispId::PositionScreen, &value));
    EXPECT_EQ(value, Dunvorel_TypeLib::FormPos_CenterMiddle);
    EXPECT_TRUE(w->ffMain->GetProperty(Dunvorel_TypeLib::DispId::TextBoxClearAll, &value));
    EXPECT_EQ(value, true);
    EXPECT_TRUE(w->isVisible());
    ExpectCentred(*w);
    for (QLineEdit* box : {w->txtFtpDir, w->txtAccount, w->txtPasswd, w->txtAmbiguousSecond})
        EXPECT_EQ(box->text(), QString());
    // Emptying the text boxes at the showing comes before the window's load fills the selector.
    EXPECT_EQ(w->stConvTable->Target(), "/tables/conv.txt");

    const QWidget* line = w->ffMain->Widget();
    EXPECT_EQ(line->objectName(), "ffMain");
    EXPECT_TRUE(line->isVisible());
    EXPECT_EQ(line->geometry(), QRect(0, w->menuBar()->geometry().bottom() + 1, w->width(), 2));
    EXPECT_TRUE(host.shown.isEmpty());
}

TEST_F(Window, OpensCentredAndSaysSoWhenTheLibraryCannotBeLoaded) {
    const QString gone = QStringLiteral("/nonexistent/libDunvorel.so");
    ASSERT_TRUE(ComponentRegistry::Register(QString::fromLatin1(Dunvorel_TypeLib::ProgID),
                                            {QString(), gone}, nullptr));
    auto w = Open();
    QFile::remove(ComponentRegistry::RegistryPath());
    EXPECT_EQ(w->ffMain, nullptr);
    EXPECT_TRUE(w->isVisible());
    ExpectCentred(*w);
    QCoreApplication::processEvents();
    ASSERT_EQ(host.shown.size(), 1);
    EXPECT_TRUE(host.shown[0].text.startsWith(
        QStringLiteral("フォーム制御ライブラリを読み込めませんでした。\r\n")));
    EXPECT_TRUE(host.shown[0].text.contains(gone)) << host.shown[0].text.toStdString();
    EXPECT_EQ(host.shown[0].icon, MsgIcon::Exclamation);
}

TEST_F(Window, SelectorsComeFromTheirLibraryAndOnlyTheLocalFolderIsAnEdit) {
    auto w = Open();
    for (const HostedTargetSelector* selector : {w->stLocalDir, w->stConvTable}) {
        ASSERT_NE(selector->Control(), nullptr) << selector->Error().toStdString();
        EXPECT_EQ(selector->Control()->LibraryPath(),
                  QCoreApplication::applicationDirPath() + QStringLiteral("/libPelomir.so"));
    }
    EXPECT_EQ(w->stLocalDir->Widget()->objectName(), "stLocalDir");
    QVariant value;
    EXPECT_TRUE(w->stConvTable->Control()->GetProperty(Pelomir_TypeLib::DispId::Style, &value));
    EXPECT_EQ(value, Pelomir_TypeLib::ST_FileOpen);
    EXPECT_TRUE(w->stConvTable->Control()->GetProperty(Pelomir_TypeLib::DispId::Filter, &value));
    EXPECT_EQ(value, "変換ﾃｰﾌﾞﾙ (*.txt)|*.txt|全てのﾌｧｲﾙ (*.*)|*.*");

    // A file dropped on the local folder shows its folder, and is an edit.
    const QString table = Local("tables") + "/conv.txt";
    QFile(table).open(QIODevice::WriteOnly);
    ASSERT_TRUE(DropFiles(SelectorField(*w->stLocalDir), {table}));
    EXPECT_EQ(w->stLocalDir->Target(), Local("tables"));
    EXPECT_TRUE(w->blnEditing);
    // A table is not.
    w->btnAction[0]->click();
    ASSERT_EQ(host.shown.size(), 1);
    EXPECT_EQ(host.shown[0].text, kDiscard);
    host.shown.clear();
    EXPECT_FALSE(w->blnEditing);
    ASSERT_TRUE(DropFiles(SelectorField(*w->stConvTable), {table}));
    EXPECT_EQ(w->stConvTable->Target(), table);
    EXPECT_FALSE(w->blnEditing);
    EXPECT_TRUE(host.shown.isEmpty());

    // A folder chosen in the dialog is an edit too. With no desktop folder in the tests' home, the
    // dialog opens at home, not at the root.
    w->btnAction[0]->click();
    FlushExit();
    QStringList opened;
    QTimer::singleShot(0, [&] {
        auto* dialog = static_cast<QFileDialog*>(QApplication::activeModalWidget());
        opened = dialog->selectedFiles();
        dialog->selectFile(Local("picked"));
        static_cast<QDialog*>(dialog)->accept();
    });
    QTest::mouseClick(w->stLocalDir->Widget()->findChild<QPushButton*>("btnFolder"),
                      Qt::LeftButton);
    EXPECT_EQ(opened, QStringList{QDir::homePath()});
    EXPECT_EQ(w->stLocalDir->Target(), Local("picked"));
    EXPECT_TRUE(w->blnEditing);
}

// Without the selector library the window still opens and says which library is missing; the
// paths it is given pass through unchanged, so nothing stored is lost.
TEST_F(Window, OpensAndSaysSoWhenTheSelectorLibraryCannotBeLoaded) {
    const QString gone = QStringLiteral("/nonexistent/libPelomir.so");
    ASSERT_TRUE(ComponentRegistry::Register(QString::fromLatin1(Pelomir_TypeLib::ProgID),
                                            {QString(), gone}, nullptr));
    WriteRaw(DatPath(), "True\t/gone/site\t5\tftp://h\tu\tp\r\n");
    API_IniFileAccess::IniWrite("Setting", "/tables/conv.txt", QStringLiteral("ConvNameTable"));
    auto w = Open();
    QFile::remove(ComponentRegistry::RegistryPath());
    EXPECT_TRUE(w->isVisible());
    QCoreApplication::processEvents();
    ASSERT_EQ(host.shown.size(), 1);
    EXPECT_TRUE(host.shown[0].text.startsWith(
        QStringLiteral("対象選択ライブラリを読み込めませんでした。\r\n")));
    EXPECT_TRUE(host.shown[0].text.contains(gone)) << host.shown[0].text.toStdString();
    EXPECT_EQ(host.shown[0].icon, MsgIcon::Exclamation);

    EXPECT_EQ(w->stLocalDir->Control(), nullptr);
    EXPECT_EQ(w->stConvTable->Target(), "/tables/conv.txt");
    w->LoadItemIntoFields(w->Item(0));
    EXPECT_EQ(w->stLocalDir->Target(), "/gone/site");
    EXPECT_EQ(qobject_cast<QLabel*>(w->stLocalDir->Widget())->text(), "/gone/site");
    w->SetEditingEnabled(false);
    EXPECT_FALSE(w->stLocalDir->ENABLED());
    w->SetEditingEnabled(true);
    w->txtPasswd->setText("new");
    w->btnAction[1]->click();
    EXPECT_EQ(w->GetProfileFromItem(w->Item(0)).LocalBaseDir, "/gone/site");
    EXPECT_TRUE(w->close());
    QString table;
    API_IniFileAccess::IniRead("Setting", table, QStringLiteral("ConvNameTable"));
    EXPECT_EQ(table, "/tables/conv.txt");
}

}  // namespace
