// The component layer end to end: a real control library registered by the regsvr tool, found by
// ProgID, created on a form and reached only by dispatch ids and event ids.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QLibraryInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>

#include "ComponentControl.h"
#include "ComponentInterface.h"
#include "ComponentRegistry.h"
#include "Dunvorel_TypeLib.h"
#include "PropertyBag.h"
#include "QtPrint.h"

using namespace ComponentInterface;

namespace {

const QString kProbe = QStringLiteral("SkerrowTest.ComponentProbe");
const QString kProbeClassId = QStringLiteral("{0CF8163C-B488-4FEF-9514-1C6BF16ADF5B}");
const QString kProbeLibrary = QStringLiteral(PROBE_LIBRARY);
const QString kDunvorel = QString::fromLatin1(Dunvorel_TypeLib::ProgID);

enum Probe : qint32 {
    Text = 0x68030000,
    Count = 0x68030001,
    Poke = 0x68030002,
    Join = 0x60030000,
    Fail = 0x60030001,
    NameOf = 0x60030002,
    Ghost = 0x60030003,
};

struct ToolRun {
    int code;
    QString out;
    QString err;
};

ToolRun Regsvr(const QStringList& args, const QString& configHome = QString()) {
    QProcess regsvr;
    if (!configHome.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
        regsvr.setProcessEnvironment(env);
    }
    regsvr.start(QStringLiteral(REGSVR_EXE), args);
    regsvr.waitForFinished(30000);
    return {regsvr.exitCode(), QString::fromLocal8Bit(regsvr.readAllStandardOutput()),
            QString::fromLocal8Bit(regsvr.readAllStandardError())};
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class ComponentLayer : public ::testing::Test {
protected:
    void SetUp() override {
        QFile::remove(ComponentRegistry::RegistryPath());
        form.setObjectName(QStringLiteral("frmProbe"));
    }
    void TearDown() override { QFile::remove(ComponentRegistry::RegistryPath()); }

    ComponentControl* CreateProbe() {
        ComponentRegistry::Register(kProbe, {kProbeClassId, kProbeLibrary}, nullptr);
        QString error;
        ComponentControl* probe = ComponentControl::Create(kProbe, &form, {}, &error);
        EXPECT_NE(probe, nullptr) << error.toStdString();
        return probe;
    }

    QWidget form;
};

TEST_F(ComponentLayer, RegsvrRegistersAndUnregistersWhatHostsFind) {
    QString error;
    EXPECT_EQ(ComponentControl::Create(kProbe, &form, {}, &error), nullptr);
    EXPECT_TRUE(error.contains(QStringLiteral("SkerrowTest.ComponentProbe is not registered")));
    // Looked for in the installed library folder (lib/skerrowex beside bin/), then beside the
    // program.
    const QString programs = QCoreApplication::applicationDirPath();
    EXPECT_TRUE(error.endsWith(QStringLiteral("libComponentProbe.so is not in ") +
                               QDir::cleanPath(programs + QStringLiteral("/../lib/skerrowex")) +
                               QStringLiteral(", ") + programs))
        << error.toStdString();

    ToolRun run = Regsvr({kProbeLibrary});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("registered ") + kProbeLibrary))
        << run.out.toStdString();
    EXPECT_EQ(ReadAll(ComponentRegistry::RegistryPath()),
              "[SkerrowTest.ComponentProbe]\r\nCLSID=" + kProbeClassId.toLatin1() +
                  "\r\nLibrary=" + kProbeLibrary.toUtf8() + "\r\n");

    ComponentControl* probe = ComponentControl::Create(kProbe, &form, {{"Count", 4}}, &error);
    ASSERT_NE(probe, nullptr) << error.toStdString();
    EXPECT_EQ(probe->LibraryPath(), kProbeLibrary);
    EXPECT_EQ(probe->Widget()->parentWidget(), &form);
    EXPECT_EQ(probe->Widget()->property(kProgIdProperty).toString(), kProbe);
    QVariant count;
    EXPECT_TRUE(probe->GetProperty(Count, &count));
    EXPECT_EQ(count, 4);

    run = Regsvr({QStringLiteral("/u"), kProbeLibrary});
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("unregistered"))) << run.out.toStdString();
    EXPECT_FALSE(ComponentRegistry::Lookup(kProbe));
    EXPECT_EQ(ComponentControl::Create(kProbe, &form, {}, &error), nullptr);
    run = Regsvr({QStringLiteral("-u"), QStringLiteral("-s"), kProbeLibrary});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, QString());
}

TEST_F(ComponentLayer, RegsvrTellsWhatIsNoControlLibrary) {
    QTemporaryDir dir;
    const QString text = dir.filePath(QStringLiteral("libText.so"));
    QFile f(text);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a library");
    f.close();
    const QString qtCore =
        QLibraryInfo::path(QLibraryInfo::LibrariesPath) + QStringLiteral("/libQt6Core.so.6");
    struct Case {
        QStringList args;
        int code;
        QString message;
    };
    const QList<Case> cases{
        {{}, 1, QStringLiteral("usage: regsvr")},
        {{QStringLiteral("-x"), kProbeLibrary}, 1, QStringLiteral("usage: regsvr")},
        {{kProbeLibrary, kProbeLibrary}, 1, QStringLiteral("usage: regsvr")},
        {{dir.filePath(QStringLiteral("missing.so"))}, 3, QStringLiteral("cannot load")},
        {{text}, 3, QStringLiteral("cannot load ") + text},
        {{qtCore}, 4, QStringLiteral("has no DllRegisterServer: it is not a control library")},
        {{QStringLiteral("-u"), qtCore}, 4, QStringLiteral("has no DllUnregisterServer")},
    };
    for (const Case& c : cases) {
        const ToolRun run = Regsvr(c.args);
        EXPECT_EQ(run.code, c.code) << c.args.join(u' ').toStdString();
        EXPECT_TRUE(run.err.contains(c.message)) << run.err.toStdString();
    }
    // A registry that cannot be written: the configuration folder is a file.
    const ToolRun run = Regsvr({kProbeLibrary}, text);
    EXPECT_EQ(run.code, 5);
    EXPECT_TRUE(run.err.contains(QStringLiteral("DllRegisterServer in ") + kProbeLibrary +
                                 QStringLiteral(" failed (0x80040201)")))
        << run.err.toStdString();
    EXPECT_FALSE(QFile::exists(ComponentRegistry::RegistryPath()));
}

TEST_F(ComponentLayer, RegistrationWinsOverTheLibraryBesideTheProgram) {
    QString error;
    ComponentControl* beside = ComponentControl::Create(kDunvorel, &form, {}, &error);
    ASSERT_NE(beside, nullptr) << error.toStdString();
    EXPECT_EQ(beside->LibraryPath(),
              QCoreApplication::applicationDirPath() + QStringLiteral("/libDunvorel.so"));

    const QString gone = QStringLiteral("/nonexistent/libDunvorel.so");
    ASSERT_TRUE(ComponentRegistry::Register(kDunvorel, {QString(), gone}, &error))
        << error.toStdString();
    EXPECT_EQ(ComponentControl::Create(kDunvorel, &form, {}, &error), nullptr);
    EXPECT_TRUE(error.contains(QStringLiteral("is registered to ") + gone)) << error.toStdString();
    // Unregistering the library beside the program leaves another library's registration.
    const ToolRun run = Regsvr({QStringLiteral("-u"), QStringLiteral(DUNVOREL_LIBRARY)});
    EXPECT_EQ(run.code, 0);
    EXPECT_TRUE(run.out.contains(QStringLiteral("nothing changed"))) << run.out.toStdString();
    EXPECT_EQ(ComponentRegistry::Lookup(kDunvorel)->library, gone);

    // A library that serves another class is not taken for this one.
    ASSERT_TRUE(ComponentRegistry::Register(kDunvorel, {QString(), kProbeLibrary}, &error));
    EXPECT_EQ(ComponentControl::Create(kDunvorel, &form, {}, &error), nullptr);
    EXPECT_TRUE(error.contains(kProbeLibrary + QStringLiteral(" does not serve ") + kDunvorel))
        << error.toStdString();
}

TEST_F(ComponentLayer, MembersByDispatchId) {
    ComponentControl* probe = CreateProbe();
    ASSERT_NE(probe, nullptr);
    QWidget named(&form);
    named.setObjectName(QStringLiteral("named"));
    QObject notWidget;
    enum Kind { Get, Set, Call };
    struct Case {
        Kind kind;
        qint32 id;
        QVariantList args;
        QVariant expected;
        QString error;  // empty: the call succeeds
    };
    const QList<Case> cases{
        {Set, Text, {"abc"}, {}, {}},
        {Get, Text, {}, "abc", {}},
        {Get, Count, {}, 1, {}},
        {Set, Count, {5}, {}, "SkerrowTest.ComponentProbe Count (0x68030001) is read-only"},
        {Set, Poke, {"7"}, {}, {}},
        {Get, Count, {}, 7, {}},
        {Get, Poke, {}, {}, "Poke (0x68030002) cannot be read"},
        {Call, Join, {"ab", 3}, "ababab", {}},
        {Call, Join, {"ab"}, "ab", {}},
        {Call, Join, {}, {}, "Join (0x60030000) takes 2 or 1 arguments, not 0"},
        {Call, Join, {"ab", "x"}, {}, "Join, argument 2: a QString does not convert to int"},
        {Call, Fail, {}, {}, "Fail: it failed"},
        {Call, NameOf, {QVariant::fromValue(&named)}, "named", {}},
        {Call, NameOf, {QVariant::fromValue(static_cast<QWidget*>(nullptr))}, "none", {}},
        {Call, NameOf, {QVariant::fromValue(&notWidget)}, {}, "a QObject is not a QWidget*"},
        {Call, NameOf, {"text"}, {}, "a QString is not an object"},
        {Call, Ghost, {}, {}, "Ghost (0x60030003) is not a member of the control"},
        {Call, Text, {}, {}, "Text (0x68030000) is a property, not a method"},
        {Get, 0x12345678, {}, {}, "has no member with the dispatch id 0x12345678"},
        {Set, qint32(0x80000001), {1}, {}, "has no member with the dispatch id 0x80000001"},
    };
    for (const Case& c : cases) {
        QVariant result;
        QString error;
        bool ok = false;
        if (c.kind == Get)
            ok = probe->GetProperty(c.id, &result, &error);
        else if (c.kind == Set)
            ok = probe->SetProperty(c.id, c.args.value(0), &error);
        else
            ok = probe->Invoke(c.id, c.args, &result, &error);
        const std::string what = QString::number(quint32(c.id), 16).toStdString();
        EXPECT_EQ(ok, c.error.isEmpty()) << what << " " << error.toStdString();
        if (c.error.isEmpty())
            EXPECT_EQ(result, c.expected) << what;
        else
            EXPECT_TRUE(error.contains(c.error)) << what << ": " << error.toStdString();
    }
}

TEST_F(ComponentLayer, EventsCarryByReferenceArgumentsBackToTheControl) {
    ComponentControl* probe = CreateProbe();
    ASSERT_NE(probe, nullptr);
    QStringList seen;
    ASSERT_TRUE(probe->ConnectEvent(1, [&](ComponentEvent& event) {
        EXPECT_EQ(event.Count(), 2);
        EXPECT_TRUE(event.IsByRef(0) && event.IsByRef(1));
        EXPECT_EQ(event.Value(1), false);
        const QString text = event.Value(0).toString();
        if (text == QStringLiteral("veto")) {
            EXPECT_TRUE(event.SetValue(1, true));
        } else if (text == QStringLiteral("shout")) {
            EXPECT_TRUE(event.SetValue(0, QStringLiteral("SHOUT")));
        }
        EXPECT_FALSE(event.SetValue(2, true));
    }));
    for (int handler = 0; handler < 2; ++handler)
        ASSERT_TRUE(probe->ConnectEvent(2, [&](ComponentEvent& event) {
            EXPECT_FALSE(event.IsByRef(0));
            EXPECT_FALSE(event.SetValue(0, QStringLiteral("changed")));
            seen.append(event.Value(0).toString());
        }));

    QVariant text;
    ASSERT_TRUE(probe->SetProperty(Text, QStringLiteral("veto")));
    ASSERT_TRUE(probe->GetProperty(Text, &text));
    EXPECT_EQ(text, QString());
    ASSERT_TRUE(probe->SetProperty(Text, QStringLiteral("shout")));
    ASSERT_TRUE(probe->GetProperty(Text, &text));
    EXPECT_EQ(text, QStringLiteral("SHOUT"));
    EXPECT_EQ(seen, (QStringList{"SHOUT", "SHOUT"}));

    QString error;
    EXPECT_FALSE(probe->ConnectEvent(
        3, [](ComponentEvent&) {}, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("has no event with the id 3")))
        << error.toStdString();
}

TEST_F(ComponentLayer, EntriesAnswerWithTheirResultCodes) {
    QLibrary lib(kProbeLibrary);
    ASSERT_TRUE(lib.load()) << lib.errorString().toStdString();
    const auto canUnload = reinterpret_cast<DllCanUnloadNowFn>(lib.resolve("DllCanUnloadNow"));
    const auto getClass = reinterpret_cast<DllGetClassObjectFn>(lib.resolve("DllGetClassObject"));
    ASSERT_TRUE(canUnload && getClass);

    void* object = nullptr;
    const QByteArray classId = kProbeClassId.toLatin1();
    EXPECT_EQ(getClass(classId.constData(), kFactoryInterfaceId, &object), S_Ok);
    EXPECT_NE(object, nullptr);
    EXPECT_EQ(getClass("SkerrowTest.ComponentProbe", kFactoryInterfaceId, &object), S_Ok);
    EXPECT_EQ(getClass("{00000000-0000-0000-0000-000000000000}", kFactoryInterfaceId, &object),
              Class_E_ClassNotAvailable);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(getClass(nullptr, kFactoryInterfaceId, &object), Class_E_ClassNotAvailable);
    EXPECT_EQ(getClass(classId.constData(), "ComponentFactory/0", &object), E_NoInterface);
    EXPECT_EQ(getClass(classId.constData(), kFactoryInterfaceId, nullptr), E_Pointer);

    EXPECT_EQ(canUnload(), S_Ok);
    ComponentControl* probe = CreateProbe();
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(canUnload(), S_False);
    delete probe->Widget();
    EXPECT_EQ(canUnload(), S_Ok);
}

// A control library shares nothing with its host but the four entries.
TEST(ControlLibraries, ExportOnlyTheFourEntries) {
    for (const QString& library : {QStringLiteral(DUNVOREL_LIBRARY), kProbeLibrary}) {
        QProcess nm;
        nm.start(QStringLiteral("nm"), {QStringLiteral("-D"), QStringLiteral("--defined-only"),
                                        QStringLiteral("--format=posix"), library});
        ASSERT_TRUE(nm.waitForFinished(30000));
        QStringList functions;
        for (const QByteArray& line : nm.readAllStandardOutput().split('\n')) {
            const QList<QByteArray> fields = line.split(' ');
            if (fields.size() > 1 && fields[1] != "B" && fields[1] != "D")
                functions.append(QString::fromLatin1(fields[0]));
        }
        functions.sort();
        EXPECT_EQ(functions, (QStringList{"DllCanUnloadNow", "DllGetClassObject",
                                          "DllRegisterServer", "DllUnregisterServer"}))
            << library.toStdString();
    }
}

TEST(PropertyBag, NamesMatchAnyCaseAndDefaultsAreNotWritten) {
    PropertyBag bag({{QStringLiteral("positionscreen"), 1}, {QStringLiteral("BlinkMe"), "true"}});
    EXPECT_EQ(bag.ReadProperty(QStringLiteral("PositionScreen"), 0), 1);
    EXPECT_EQ(bag.ReadProperty(QStringLiteral("BLINKME"), false), true);
    EXPECT_EQ(bag.ReadProperty(QStringLiteral("ShowMenuLine"), true), true);

    bag.WriteProperty(QStringLiteral("PositionScreen"), 3, 0);
    EXPECT_EQ(bag.Values(), (QVariantMap{{"PositionScreen", 3}, {"BlinkMe", "true"}}));
    bag.WriteProperty(QStringLiteral("blinkme"), false, false);
    bag.WriteProperty(QStringLiteral("ShowMenuLine"), true, true);
    EXPECT_EQ(bag.Values(), (QVariantMap{{"PositionScreen", 3}}));
}

}  // namespace
