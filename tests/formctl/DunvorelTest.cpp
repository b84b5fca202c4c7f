// The form-behaviour control as a host meets it: created by ProgID from libDunvorel.so beside the
// test program and reached only through its type library, on forms of the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QMetaClassInfo>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "API_IniFileAccess.h"
#include "ComponentControl.h"
#include "ComponentInterface.h"
#include "Dunvorel_TypeLib.h"
#include "QtPrint.h"
#include "TestHostProcess.h"

using namespace Dunvorel_TypeLib;

namespace {

QString PositionIni() {
    const QString name = QCoreApplication::applicationName();
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u'/' + name +
           u'/' + name + QStringLiteral(".ini");
}

QString Stored(const QString& key) {
    QString value;
    API_IniFileAccess::IniRead(QStringLiteral("Position_frmTest"), value, key, PositionIni());
    return value;
}

void Store(const QStringList& values) {
    QDir().mkpath(QFileInfo(PositionIni()).path());
    const QStringList keys{"WindowState", "Top", "Left", "Height", "Width"};
    for (int i = 0; i < values.size(); ++i)
        API_IniFileAccess::IniWrite(QStringLiteral("Position_frmTest"), values[i], keys[i],
                                    PositionIni());
}

QRect Screen() {
    return QGuiApplication::primaryScreen()->geometry();
}

// Twips of the offscreen screen (96 DPI): 15 a pixel.
constexpr int kTwips = 15;

class FormBehaviour : public ::testing::Test {
protected:
    void SetUp() override {
        QFile::remove(PositionIni());
        NewForm();
    }

    // A new form (and, once created, a new control on it); the position file stays.
    void NewForm() {
        form = std::make_unique<QMainWindow>();
        form->setObjectName(QStringLiteral("frmTest"));
        form->menuBar()->addMenu(QStringLiteral("File"));
        form->resize(300, 200);
    }

    ComponentControl* Create(const QVariantMap& bag = {}) {
        QString error;
        ff = ComponentControl::Create(QString::fromLatin1(ProgID), form.get(), bag, &error);
        EXPECT_NE(ff, nullptr) << error.toStdString();
        if (ff)
            ff->ConnectEvent(EventId::AfterFormPosition, [this](ComponentEvent&) { ++placed; });
        return ff;
    }

    void Show() {
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        QCoreApplication::processEvents();
    }

    QVariant Get(qint32 id) {
        QVariant value;
        QString error;
        EXPECT_TRUE(ff->GetProperty(id, &value, &error)) << error.toStdString();
        return value;
    }
    void Set(qint32 id, const QVariant& value) {
        QString error;
        EXPECT_TRUE(ff->SetProperty(id, value, &error)) << error.toStdString();
    }
    QVariant Call(qint32 id, const QVariantList& args = {}) {
        QVariant result;
        QString error;
        EXPECT_TRUE(ff->Invoke(id, args, &result, &error)) << error.toStdString();
        return result;
    }

    std::unique_ptr<QMainWindow> form;
    ComponentControl* ff = nullptr;
    int placed = 0;
};

TEST_F(FormBehaviour, TypeLibraryNamesEveryMemberOfTheControl) {
    ASSERT_TRUE(Create());
    const QList<std::pair<qint32, const char*>> members{
        {DispId::SetMinButton, "SetMinButton"},
        {DispId::SetFocusCtrl, "SetFocusCtrl"},
        {DispId::TextBoxClearAll, "TextBoxClearAll"},
        {DispId::ShowMenuLine, "ShowMenuLine"},
        {DispId::SetCurrentDir, "SetCurrentDir"},
        {DispId::IsRunMode, "IsRunMode"},
        {DispId::PositionScreen, "PositionScreen"},
        {DispId::CaptionIsAppTitle, "CaptionIsAppTitle"},
        {DispId::FormulatedCmdLine, "FormulatedCmdLine"},
        {DispId::IsWinNT, "IsWinNT"},
        {DispId::IsHavingFocus, "IsHavingFocus"},
        {DispId::AppPrevInstance, "AppPrevInstance"},
        {DispId::SetMostTop, "SetMostTop"},
        {DispId::hWnd, "hWnd"},
        {DispId::Parent, "Parent"},
        {DispId::ScreenMouse, "ScreenMouse"},
        {DispId::BlinkMe, "BlinkMe"},
        {DispId::CustomMouseIcon, "CustomMouseIcon"},
        {DispId::PositionResume, "PositionResume"},
        {DispId::OnlyOneCtrl, "OnlyOneCtrl"},
        {DispId::Resize, "Resize"},
        {DispId::SelectText, "SelectText"},
        {DispId::ControlEnabledWithColor, "ControlEnabledWithColor"},
        {DispId::IsSystemUnload, "IsSystemUnload"},
        {DispId::PostionRegistery, "PostionRegistery"},
        {DispId::Instr2, "Instr2"},
        {DispId::Unload2, "Unload2"},
    };
    const QMetaObject* meta = ff->Widget()->metaObject();
    QMap<QString, QString> recorded;
    for (int i = 0; i < meta->classInfoCount(); ++i)
        recorded.insert(QString::fromLatin1(meta->classInfo(i).name()),
                        QString::fromUtf8(meta->classInfo(i).value()));
    for (const auto& [id, name] : members) {
        const QString key = QStringLiteral("dispid:") +
                            QString::number(quint32(id), 16).toUpper().rightJustified(8, u'0');
        EXPECT_EQ(recorded.take(key), QString::fromLatin1(name));
        // Every member is reachable: a property by name, or a method.
        bool found = meta->indexOfProperty(name) >= 0;
        for (int m = 0; m < meta->methodCount() && !found; ++m)
            found = meta->method(m).name() == name;
        EXPECT_TRUE(found) << name;
    }
    EXPECT_EQ(recorded.take(QStringLiteral("event:1")), QStringLiteral("AfterFormPosition"));
    EXPECT_EQ(recorded.take(QStringLiteral("event:2")), QStringLiteral("LinkExecute"));
    EXPECT_EQ(recorded.take(QStringLiteral("description:6803000B")),
              QStringLiteral("AppPrevのとｌき終わらすのためのもの。\r\nPrevにDDEをSENDする。"));
    EXPECT_TRUE(recorded.isEmpty()) << recorded.firstKey().toStdString();
}

TEST_F(FormBehaviour, PersistedPropertiesByStoredNameAndOnlyWhenNotDefault) {
    ASSERT_TRUE(Create({{"positionscreen", 3},
                        {"SHOWMENULINE", false},
                        {"PostionResume", true},
                        {"BlinkMe", true},
                        {"ScreenMouse", 11}}));
    EXPECT_EQ(Get(DispId::PositionScreen), 3);
    EXPECT_EQ(Get(DispId::ShowMenuLine), false);
    EXPECT_EQ(Get(DispId::PositionResume), false);  // its own stored name
    EXPECT_EQ(Get(DispId::BlinkMe), true);
    EXPECT_EQ(Get(DispId::ScreenMouse), 11);
    // Reading the bag runs nothing: no blinking, no pointer.
    EXPECT_FALSE(ff->Widget()->findChild<QTimer*>(QStringLiteral("tmrFlash"))->isActive());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    QVariantMap written;
    QMetaObject::invokeMethod(ff->Widget(), "WriteProperties", Q_RETURN_ARG(QVariantMap, written));
    EXPECT_EQ(written, (QVariantMap{{"PositionScreen", 3},
                                    {"ShowMenuLine", false},
                                    {"PostionResume", true},
                                    {"BlinkMe", true},
                                    {"ScreenMouse", 11}}));

    // Assignments mark the stored names changed for a form designer.
    QSignalSpy changed(ff->Widget(), SIGNAL(PropertyChanged(QString)));
    Set(DispId::PositionScreen, 0);
    Set(DispId::ShowMenuLine, true);
    Set(DispId::BlinkMe, false);
    Set(DispId::ScreenMouse, 0);
    Set(DispId::PositionResume, true);
    QStringList names;
    for (const QList<QVariant>& signal : changed)
        names.append(signal.value(0).toString());
    EXPECT_EQ(names, (QStringList{"PositionScreen", "ShowMenuLine", "BlinkMe", "ScreenMouse",
                                  "PositionResume", "PostionResume"}));
    QMetaObject::invokeMethod(ff->Widget(), "WriteProperties", Q_RETURN_ARG(QVariantMap, written));
    EXPECT_EQ(written, (QVariantMap{{"PositionResume", true}, {"PostionResume", true}}));
}

TEST_F(FormBehaviour, ShownWithDefaultsOnlyDrawsTheLineAndTellsThePosition) {
    ASSERT_TRUE(Create());
    form->move(37, 41);
    Show();
    EXPECT_EQ(placed, 1);
    EXPECT_EQ(form->frameGeometry().topLeft(), QPoint(37, 41));
    QWidget* line = ff->Widget();
    EXPECT_TRUE(line->isVisible());
    EXPECT_EQ(line->geometry(), QRect(0, form->menuBar()->geometry().bottom() + 1, 300, 2));
    const QImage image = line->grab().toImage();
    EXPECT_EQ(image.pixel(5, 0), line->palette().color(QPalette::Dark).rgb());
    EXPECT_EQ(image.pixel(5, 1), line->palette().color(QPalette::Light).rgb());
    form->resize(420, 200);
    QCoreApplication::processEvents();
    EXPECT_EQ(line->width(), 420);

    // Switched off, the control hides itself when the form is shown.
    form->hide();
    Set(DispId::ShowMenuLine, false);
    Show();
    EXPECT_FALSE(line->isVisible());
    EXPECT_EQ(placed, 2);
}

TEST_F(FormBehaviour, FiveScreenPositionsAndTheDefault) {
    ASSERT_TRUE(Create());
    form->move(50, 60);
    Show();
    const QSize outer = form->frameGeometry().size();
    const QRect s = Screen();
    const int bottom = s.bottom() - QGuiApplication::primaryScreen()->availableGeometry().bottom();
    const QList<std::pair<int, QPoint>> cases{
        {FormPos_Default, QPoint(50, 60)},
        {FormPos_CenterMiddle,
         QPoint((s.width() - outer.width()) / 2, (s.height() - outer.height()) / 2)},
        {FormPos_RightBottom,
         QPoint(s.width() - outer.width(), s.height() - outer.height() - bottom)},
        {9, QPoint(s.width() - outer.width(), s.height() - outer.height() - bottom)},  // unknown
        {FormPos_RightTop, QPoint(s.width() - outer.width(), 0)},
        {FormPos_LeftBottom, QPoint(0, s.height() - outer.height() - bottom)},
        {FormPos_LeftTop, QPoint(0, 0)},
    };
    int raised = placed;
    for (const auto& [code, expected] : cases) {
        Set(DispId::PositionScreen, code);
        EXPECT_EQ(form->frameGeometry().topLeft(), expected) << code;
        EXPECT_EQ(placed, ++raised) << code;
    }
}

TEST_F(FormBehaviour, TextBoxesAreEmptiedWhenShownButNotThoseOfHostedControls) {
    auto* line = new QLineEdit(QStringLiteral("a"), form.get());
    auto* plain = new QPlainTextEdit(QStringLiteral("b"), form.get());
    auto* combo = new QComboBox(form.get());
    combo->setEditable(true);
    combo->setEditText(QStringLiteral("c"));
    auto* label = new QLabel(QStringLiteral("keep"), form.get());
    auto* hosted = new QWidget(form.get());
    hosted->setProperty(ComponentInterface::kProgIdProperty, QStringLiteral("Other.Control"));
    auto* inner = new QLineEdit(QStringLiteral("inner"), hosted);
    ASSERT_TRUE(Create({{"TextBoxClearAll", true}}));
    Show();
    EXPECT_EQ(line->text(), QString());
    EXPECT_EQ(plain->toPlainText(), QString());
    EXPECT_EQ(combo->currentText(), QString());
    EXPECT_EQ(label->text(), QStringLiteral("keep"));
    EXPECT_EQ(inner->text(), QStringLiteral("inner"));

    // A window restored from minimized is not shown anew: what the user typed stays.
    line->setText(QStringLiteral("typed"));
    form->showMinimized();
    QCoreApplication::processEvents();
    form->showNormal();
    QCoreApplication::processEvents();
    EXPECT_EQ(line->text(), QStringLiteral("typed"));
}

TEST_F(FormBehaviour, PositionMemoryRoundTrips) {
    const QVariantMap memory{{"PositionResume", true}, {"PostionResume", true}};
    ASSERT_TRUE(Create(memory));
    form->move(120, 90);
    Show();
    const QRect saved = form->frameGeometry();
    Call(DispId::PostionRegistery);
    EXPECT_EQ(Stored("WindowState"), "0");
    EXPECT_EQ(Stored("Top"), QString::number(saved.y() * kTwips));
    EXPECT_EQ(Stored("Left"), QString::number(saved.x() * kTwips));
    EXPECT_EQ(Stored("Height"), QString::number(saved.height() * kTwips));
    EXPECT_EQ(Stored("Width"), QString::number(saved.width() * kTwips));

    // Minimized: nothing is saved.
    form->setWindowState(Qt::WindowMinimized);
    form->move(10, 10);
    Call(DispId::PostionRegistery);
    EXPECT_EQ(Stored("WindowState"), "0");
    EXPECT_EQ(Stored("Left"), QString::number(saved.x() * kTwips));

    // Maximized: the state, and the normal place and size saved before.
    form->setWindowState(Qt::WindowMaximized);
    QCoreApplication::processEvents();
    Call(DispId::PostionRegistery);
    EXPECT_EQ(Stored("WindowState"), "2");
    EXPECT_EQ(Stored("Width"), QString::number(saved.width() * kTwips));

    // Reopened: maximized over the earlier normal place and size, and no AfterFormPosition.
    NewForm();
    placed = 0;
    ASSERT_TRUE(Create(memory));
    Show();
    EXPECT_TRUE(form->windowState() & Qt::WindowMaximized);
    form->setWindowState(Qt::WindowNoState);
    QCoreApplication::processEvents();
    EXPECT_EQ(form->frameGeometry(), saved);
    EXPECT_EQ(placed, 0);
}

TEST_F(FormBehaviour, RestoredPositionsArePulledBackOntoTheScreen) {
    const int sh = Screen().height() * kTwips;
    const int taskBar =
        (Screen().height() - QGuiApplication::primaryScreen()->availableGeometry().height()) *
        kTwips;
    struct Case {
        QStringList stored;  // WindowState, Top, Left, Height, Width (twips)
        QRect expected;      // frame, pixels; empty: the form stays where it was
    };
    const QList<Case> cases{
        {{"0", "1500", "1500", "3000", "4500"}, QRect(100, 100, 300, 200)},
        {{"0", "1500", "-200", "3000", "4500"}, QRect(0, 100, 300, 200)},
        {{"0", "-15", "99999", "3000", "4500"}, QRect(0, 0, 300, 200)},
        {{"0", "0", "0", QString::number(sh + 1500), "4500"},
         QRect(0, 0, 300, (sh - taskBar) / kTwips)},
        {{"0", "1500", "1500", "3000", "999999"}, QRect(100, 100, Screen().width(), 200)},
        {{"0", "1500", "abc", "3000", "4500"}, QRect()},
        {{"0", "1500", "1500", "", "4500"}, QRect()},  // incomplete: the screen position
    };
    for (const Case& c : cases) {
        SetUp();
        Store(c.stored);
        ASSERT_TRUE(Create({{"PositionResume", true}, {"PostionResume", true}}));
        form->move(33, 44);
        Show();
        const QRect expected =
            c.expected.isNull() ? QRect(QPoint(33, 44), form->frameGeometry().size()) : c.expected;
        EXPECT_EQ(form->frameGeometry(), expected) << c.stored.join(u',').toStdString();
    }
    // An incomplete section falls back to the screen position code.
    SetUp();
    Store({"0", "1500"});
    ASSERT_TRUE(Create({{"PositionResume", true}, {"PostionResume", true}, {"PositionScreen", 5}}));
    form->move(33, 44);
    Show();
    EXPECT_EQ(form->frameGeometry().topLeft(), QPoint(0, 0));
}

TEST_F(FormBehaviour, SingleControlFitsTheForm) {
    form->statusBar()->showMessage(QStringLiteral("status"));
    auto* list = new QPlainTextEdit(form.get());
    list->setGeometry(0, 0, 240, 150);
    ASSERT_TRUE(Create());
    Show();
    const auto control = QVariant::fromValue<QWidget*>(list);

    Call(DispId::OnlyOneCtrl, {control});
    QCoreApplication::processEvents();
    EXPECT_EQ(form->width(), 240);
    EXPECT_EQ(form->height(), 150 + form->menuBar()->height() + form->statusBar()->height());
    EXPECT_EQ(list->pos(), QPoint(0, form->menuBar()->height()));
    Call(DispId::Resize);
    EXPECT_EQ(list->size(), QSize(240, 150));

    // Resize calls that arrive while the form is being sized around its control change nothing.
    bool fitting = false;
    QList<QSize> seenWhileFitting;
    struct Filter : QObject {
        std::function<void()> onResize;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Resize)
                onResize();
            return false;
        }
    } filter;
    filter.onResize = [&] {
        Call(DispId::Resize);
        if (fitting)
            seenWhileFitting.append(list->size());
    };
    form->installEventFilter(&filter);
    list->resize(200, 120);
    fitting = true;
    Call(DispId::OnlyOneCtrl, {control, -2});
    fitting = false;
    EXPECT_FALSE(seenWhileFitting.isEmpty());
    for (const QSize& size : seenWhileFitting)
        EXPECT_EQ(size, QSize(200, 120));
    form->removeEventFilter(&filter);
    Call(DispId::Resize);
    EXPECT_EQ(list->size(), QSize(198, 118));  // pitch -2: two pixels less each way
}

TEST_F(FormBehaviour, SmallFunctionsTable) {
    ASSERT_TRUE(Create());
    QTemporaryDir home;
    const QString blank = home.filePath(QStringLiteral("with blank"));
    QDir().mkpath(blank);
    const QString linked = blank + QStringLiteral("/host");
    ASSERT_TRUE(QFile::link(QStringLiteral(DUNVOREL_TEST_HOST), linked));
    struct Row {
        qint32 member;
        QVariantList args;  // FormulatedCmdLine: the program and its arguments
        QVariant expected;
    };
    const QList<Row> rows{
        {DispId::Instr2, {"a.b.c", "."}, 4},
        {DispId::Instr2, {"abc.", "."}, 4},
        {DispId::Instr2, {"abc", "."}, 0},
        {DispId::Instr2, {"ab", "abc"}, 0},
        {DispId::Instr2, {"xyxy", "xy"}, 3},
        {DispId::IsSystemUnload, {0}, false},
        {DispId::IsSystemUnload, {1}, false},
        {DispId::IsSystemUnload, {2}, true},
        {DispId::IsSystemUnload, {3}, true},
        {DispId::IsSystemUnload, {4}, false},
        {DispId::FormulatedCmdLine, {linked}, linked},
        {DispId::FormulatedCmdLine,
         {linked, "two words", "x"},
         linked + QStringLiteral(" \"two words\" x")},
        {DispId::FormulatedCmdLine,
         {QStringLiteral(DUNVOREL_TEST_HOST), "a.txt"},
         QStringLiteral(DUNVOREL_TEST_HOST " a.txt")},
    };
    for (const Row& row : rows) {
        QVariant result;
        if (row.member == DispId::FormulatedCmdLine) {
            QStringList args;
            for (const QVariant& arg : row.args.mid(1))
                args.append(arg.toString());
            TestHostProcess host(home.path(), {QStringLiteral("DUNVOREL_TEST_CMDLINE")}, args,
                                 row.args[0].toString());
            ASSERT_TRUE(host.process.waitForFinished(30000));
            host.WaitForLine(QString());
            result = host.lines.value(0);
        } else {
            result = Call(row.member, row.args);
        }
        EXPECT_EQ(result, row.expected) << row.args.value(0).toString().toStdString();
    }
}

TEST_F(FormBehaviour, FormMembersActOnTheForm) {
    QApplication::setApplicationDisplayName(QStringLiteral("Display Title"));
    auto* edit = new QLineEdit(QStringLiteral("select me"), form.get());
    ASSERT_TRUE(Create());
    Show();
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));

    EXPECT_EQ(Get(DispId::IsRunMode), true);
    EXPECT_EQ(Get(DispId::IsWinNT), false);
    EXPECT_EQ(Get(DispId::IsHavingFocus), true);
    EXPECT_EQ(Get(DispId::Parent).value<QObject*>(), form.get());

    Set(DispId::SetFocusCtrl, QVariant::fromValue<QWidget*>(edit));
    EXPECT_TRUE(edit->hasFocus());
    Call(DispId::SelectText);
    EXPECT_EQ(edit->selectedText(), QStringLiteral("select me"));

    Set(DispId::CaptionIsAppTitle, true);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Display Title"));
    Set(DispId::SetMostTop, true);
    QCoreApplication::processEvents();
    EXPECT_TRUE(form->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(form->isVisible());
    Set(DispId::SetMostTop, false);
    EXPECT_FALSE(form->windowFlags() & Qt::WindowStaysOnTopHint);
    Set(DispId::SetMinButton, true);
    EXPECT_TRUE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(placed, 1);  // showing the form again for a flag is no new showing

    Call(DispId::ControlEnabledWithColor, {QVariant::fromValue<QWidget*>(edit), false});
    EXPECT_FALSE(edit->isEnabled());
    EXPECT_EQ(edit->palette().color(QPalette::Active, QPalette::Base),
              QApplication::palette(edit).color(QPalette::Active, QPalette::Button));

    Set(DispId::ScreenMouse, 11);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QString error;
    EXPECT_FALSE(ff->SetProperty(DispId::ScreenMouse, 42, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("42 is no mouse pointer code")))
        << error.toStdString();
    EXPECT_EQ(Get(DispId::ScreenMouse), 11);
    Set(DispId::ScreenMouse, 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // The caption blinks every 500 ms while BlinkMe is on, and no more once it is off.
    const QTimer* flash = ff->Widget()->findChild<QTimer*>(QStringLiteral("tmrFlash"));
    Set(DispId::BlinkMe, true);
    EXPECT_TRUE(flash->isActive() && flash->interval() == 500);
    Set(DispId::BlinkMe, false);
    EXPECT_FALSE(flash->isActive());

    Call(DispId::Unload2);
    EXPECT_FALSE(form->isVisible());
}

TEST(PrevInstance, SecondInstanceHandsOverItsArgumentsAndCloses) {
    QTemporaryDir home;
    TestHostProcess first(home.path(), {QStringLiteral("DUNVOREL_TEST_PREV")});
    ASSERT_TRUE(first.WaitForLine(QStringLiteral("SHOWN")));

    TestHostProcess second(home.path(), {QStringLiteral("DUNVOREL_TEST_PREV")},
                           {QStringLiteral("my file.txt"), QStringLiteral("--flag")});
    ASSERT_TRUE(second.process.waitForFinished(30000));
    EXPECT_EQ(second.process.exitCode(), 0);
    second.WaitForLine(QStringLiteral("CLOSED"));
    EXPECT_EQ(second.lines.value(second.lines.size() - 1), QStringLiteral("CLOSED"));

    ASSERT_TRUE(first.WaitForLine(QStringLiteral("EXECUTE:")));
    EXPECT_EQ(first.LinesStartingWith(QStringLiteral("EXECUTE:")),
              QStringList{QStringLiteral("EXECUTE:\"my file.txt\" --flag")});
    EXPECT_EQ(first.process.state(), QProcess::Running);
}

// What a second instance did not send must not arrive: a third, sending instance marks the end.
TEST(PrevInstance, NothingIsSentWithTheSwitchOffOrWithoutATextBox) {
    QTemporaryDir home;
    TestHostProcess first(home.path(), {QStringLiteral("DUNVOREL_TEST_PREV")});
    ASSERT_TRUE(first.WaitForLine(QStringLiteral("SHOWN")));

    {
        TestHostProcess off(home.path(), {}, {QStringLiteral("off")});
        ASSERT_TRUE(off.WaitForLine(QStringLiteral("SHOWN")));
        QTest::qWait(200);
        EXPECT_EQ(off.process.state(), QProcess::Running);  // it stays open
    }
    TestHostProcess noBox(
        home.path(),
        {QStringLiteral("DUNVOREL_TEST_PREV"), QStringLiteral("DUNVOREL_TEST_NO_TEXTBOX")},
        {QStringLiteral("nobox")});
    ASSERT_TRUE(noBox.process.waitForFinished(30000));
    EXPECT_EQ(noBox.process.exitCode(), 0);

    TestHostProcess marker(home.path(), {QStringLiteral("DUNVOREL_TEST_PREV")},
                           {QStringLiteral("marker")});
    ASSERT_TRUE(marker.process.waitForFinished(30000));
    ASSERT_TRUE(first.WaitForLine(QStringLiteral("EXECUTE:marker")));
    EXPECT_EQ(first.LinesStartingWith(QStringLiteral("EXECUTE:")),
              QStringList{QStringLiteral("EXECUTE:marker")});
}

}  // namespace
