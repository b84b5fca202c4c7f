// The target selector as a host meets it: created by ProgID from libPelomir.so beside the test
// program and reached only through its type library.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "ComponentControl.h"
#include "DropFiles.h"
#include "Pelomir_TypeLib.h"
#include "QtPrint.h"

using namespace Pelomir_TypeLib;

namespace {

class SelectorLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        QDir(dir.path()).mkpath("data");
        QFile(dir.filePath("data/a.txt")).open(QIODevice::WriteOnly);
        form.resize(400, 100);
    }

    ComponentControl* Create(const QVariantMap& bag = {}) {
        QString error;
        ComponentControl* st =
            ComponentControl::Create(QString::fromLatin1(ProgID), &form, bag, &error);
        EXPECT_NE(st, nullptr) << error.toStdString();
        return st;
    }

    QVariant Get(ComponentControl* st, qint32 dispId) {
        QVariant value;
        QString error;
        EXPECT_TRUE(st->GetProperty(dispId, &value, &error)) << error.toStdString();
        return value;
    }

    QTemporaryDir dir;
    QWidget form;
};

TEST_F(SelectorLibrary, EveryMemberAnswersToItsDispatchIdWithItsDefault) {
    ComponentControl* st = Create();
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(st->LibraryPath(), QCoreApplication::applicationDirPath() + "/libPelomir.so");
    form.show();
    EXPECT_EQ(Get(st, DispId::Style), ST_Folder);
    EXPECT_EQ(Get(st, DispId::Target), QString());
    EXPECT_EQ(Get(st, DispId::InitDir), QString());
    EXPECT_EQ(Get(st, DispId::Filter), "全てのﾌｧｲﾙ (*.*)|*.*");
    EXPECT_EQ(Get(st, DispId::DefaultFileName), QString());
    EXPECT_EQ(Get(st, DispId::Title), QString());
    EXPECT_EQ(Get(st, DispId::ENABLED), true);
    EXPECT_EQ(Get(st, DispId::Root), ST_DESKTOP);
    EXPECT_NE(Get(st, DispId::hWnd).toInt(), 0);

    const struct {
        qint32 id;
        QVariant value;
    } sets[] = {
        {DispId::Style, ST_FileSave},   {DispId::InitDir, dir.filePath("data/a.txt")},
        {DispId::Filter, "Text|*.txt"}, {DispId::DefaultFileName, "x.txt"},
        {DispId::Title, "T"},           {DispId::ENABLED, false},
        {DispId::Root, ST_FONTS},
    };
    for (const auto& set : sets) {
        QString error;
        EXPECT_TRUE(st->SetProperty(set.id, set.value, &error)) << error.toStdString();
        EXPECT_EQ(Get(st, set.id), set.value) << set.id;
    }
    EXPECT_EQ(Get(st, DispId::Target), dir.filePath("data/a.txt"));
    EXPECT_FALSE(st->SetProperty(DispId::Target, "x"));
    EXPECT_FALSE(st->SetProperty(DispId::hWnd, 1));

    // A missing file may be overwritten without a question.
    st->SetProperty(DispId::InitDir, dir.filePath("data/new.txt"));
    QVariant allowed;
    EXPECT_TRUE(st->Invoke(DispId::IsAllowOverWrite, {}, &allowed));
    EXPECT_EQ(allowed, true);

    // Descriptions of members, for a host or a designer to show.
    const QMetaObject* meta = st->Widget()->metaObject();
    const auto description = [meta](const char* id) {
        return QString::fromUtf8(
            meta->classInfo(meta->indexOfClassInfo(QByteArray("description:") + id)).value());
    };
    EXPECT_EQ(description("68030000"),
              "ｵﾌﾞｼﾞｪｸﾄのｳｨﾝﾄﾞｳを識別するﾊﾝﾄﾞﾙを (Microsoft Windows から) 返します。");
    EXPECT_EQ(description("68030001"),
              "DESKTOPにNETICONがでているときは、DESKTOPで、いいけど、そうでないときで、NETWORKを"
              "表示するときは、NETWORKを選択すること！");
    EXPECT_EQ(description("68030002"),
              "ﾕｰｻﾞｰの操作で発生したｲﾍﾞﾝﾄを、ｵﾌﾞｼﾞｪｸﾄに認識させるかどうかを設定します。値の取得も"
              "可能です。");
}

TEST_F(SelectorLibrary, DesignTimePropertiesComeFromTheBag) {
    ComponentControl* st = Create({{"style", ST_FileOpen}, {"Filter", "Text|*.txt"}});
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(Get(st, DispId::Style), ST_FileOpen);
    EXPECT_EQ(Get(st, DispId::Filter), "Text|*.txt");
}

TEST_F(SelectorLibrary, EventsCrossWithTheirArgumentsByReference) {
    ComponentControl* st = Create();
    ASSERT_NE(st, nullptr);
    form.show();
    QStringList raised;
    int asked = 0;
    ASSERT_TRUE(st->ConnectEvent(EventId::OnBeforeShowDialog, [&](ComponentEvent& event) {
        ++asked;
        EXPECT_TRUE(event.IsByRef(0));
        EXPECT_EQ(event.Value(0), false);
        EXPECT_TRUE(event.SetValue(0, true));
    }));
    ASSERT_TRUE(st->ConnectEvent(EventId::OnPelomir, [&](ComponentEvent& event) {
        EXPECT_TRUE(event.IsByRef(0));
        raised.append(event.Value(0).toString());
    }));
    // Should the Cancel not arrive, the dialog that opens is closed at once and the test fails.
    bool dialogShown = false;
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            dialogShown = true;
            modal->close();
        }
    });
    guard.start(50);
    QTest::mouseClick(st->Widget()->findChild<QPushButton*>("btnFolder"), Qt::LeftButton);
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(dialogShown);

    QLineEdit* field = st->Widget()->findChild<QLineEdit*>("txtFolder");
    EXPECT_TRUE(DropFiles(field, {dir.filePath("data/a.txt")}));
    EXPECT_EQ(raised, QStringList{dir.filePath("data")});
    EXPECT_EQ(Get(st, DispId::Target), dir.filePath("data"));

    st->SetProperty(DispId::ENABLED, false);
    EXPECT_FALSE(DropFiles(field, {dir.filePath("data/a.txt")}));
    EXPECT_EQ(raised.size(), 1);
}

TEST_F(SelectorLibrary, OnlyTheFourEntriesAreExported) {
    QLibrary library(QCoreApplication::applicationDirPath() + "/libPelomir.so");
    ASSERT_TRUE(library.load()) << library.errorString().toStdString();
    for (const char* entry :
         {"DllRegisterServer", "DllUnregisterServer", "DllGetClassObject", "DllCanUnloadNow"})
        EXPECT_NE(library.resolve(entry), nullptr) << entry;
    for (const char* hidden : {"_Z15ServedComponentv", "_ZN7PelomirC1EP7QWidget",
                               "_ZN13clsFileSystem17ExistFileOrFolderERK7QString"})
        EXPECT_EQ(library.resolve(hidden), nullptr) << hidden;
}

}  // namespace
