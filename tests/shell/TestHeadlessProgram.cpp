#include "../loc/LangDbFixture.h"
#include "OnePluginHost.h"
#include "TestHome.h"
#include "core/log/LogListModel.h"

#include "contacts/manager/ContactsDatabase.h"
#include "contacts/store/CallDatabase.h"
#include "core/controller/MainForm.h"
#include "core/log/LogListModel.h"
#include "core/log/ProgramLog.h"
#include "loc/LocGuru.h"
#include "platform/AppPaths.h"
#include "platform/db/ConnectionString.h"
#include "shell/settings/SettingsStore.h"
#include "shell/startup/Program.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

#include <unistd.h>

namespace {

const QByteArray kMachineHeader = "Windows Registry Editor Version 5.00\r\n\r\n"
                                  "[HKEY_LOCAL_MACHINE\\Software\\Morvane\\Phonavo]\r\n";

// `phonavo --headless` in the test's PHONAVO_HOME.
std::unique_ptr<Program> startHeadless(const QStringList& arguments = {})
{
    Program::FrontEnd frontEnd;
    frontEnd.headless = true;
    frontEnd.arguments = arguments;
    auto program = std::make_unique<Program>(frontEnd);
    if (program->start() != 0)
        return nullptr;
    return program;
}

} // namespace

// The headless program as it is wired together: start-up, settings and the
// call history, without windows.
class TestHeadlessProgram : public QObject
{
    Q_OBJECT

private slots:
    // Standard output (a service's journal) gets the log only when asked, or
    // when it is a terminal; the list of a program without a window stays short.
    void headlessLogGoesWhereItIsRead()
    {
        TestHome home;
        for (const bool asked : {false, true}) {
            auto program =
                startHeadless(asked ? QStringList{QStringLiteral("--log-stdout")} : QStringList());
            QVERIFY(program);
            QCOMPARE(program->log().echoToStdout(), asked || isatty(STDOUT_FILENO) != 0);
            QVERIFY(program->log().model()->maxBytes() <= 256 * 1024);
            program->shutdown();
        }
    }

    // A new or upgraded installation records its version, so its server
    // accepts clients of the same version; a newer recorded one stays.
    void startRecordsTheInstalledVersion_data()
    {
        QTest::addColumn<QByteArray>("machine");
        QTest::addColumn<QString>("expected");
        QTest::newRow("new installation") << QByteArray() << Program::versionText();
        QTest::newRow("upgraded") << QByteArray("\"InstalledVersion\"=\"0.0.9\"\r\n")
                                  << Program::versionText();
        QTest::newRow("unreadable")
            << QByteArray("\"InstalledVersion\"=\"?\"\r\n") << Program::versionText();
        QTest::newRow("newer one installed")
            << QByteArray("\"InstalledVersion\"=\"99.1.0\"\r\n") << QStringLiteral("99.1.0");
    }

    void startRecordsTheInstalledVersion()
    {
        QFETCH(QByteArray, machine);
        QFETCH(QString, expected);
        TestHome home;
        home.write(QStringLiteral("machine.reg"), kMachineHeader + "\"Log\"=\"1\"\r\n" + machine);
        {
            const auto program = startHeadless();
            QVERIFY(program);
            QCOMPARE(program->settings().getString(SettingsStore::Hive::LocalMachine, QString(),
                                                   QStringLiteral("InstalledVersion"), QString()),
                     expected);
            program->log().flush();
            QVERIFY(
                QString::fromUtf8(home.read(QStringLiteral("protocol.log")))
                    .contains(QStringLiteral("(InstalledVersion: ") + expected + QLatin1Char(')')));
        }
        SettingsStore reread(home.file(QStringLiteral("user.reg")),
                             home.file(QStringLiteral("machine.reg")));
        QCOMPARE(reread.getString(SettingsStore::Hive::LocalMachine, QString(),
                                  QStringLiteral("InstalledVersion"), QString()),
                 expected);
    }

    // The call history names the plug-in that reported a call, not a line.
    void pluginCallsAreStoredUnderThePluginsName()
    {
        TestHome home;
        const auto program = startHeadless();
        QVERIFY(program);
        OnePluginHost plugin;
        plugin.name = QStringLiteral("Office ISDN");
        MainForm& form = program->mainForm();
        form.setPluginHost(&plugin);
        form.evtIncomingCall(77, plugin.name, QStringLiteral("0301234567"), QString(),
                             QStringLiteral("5551"), QString(), QString(), QString());
        form.setPluginHost(nullptr);
        const qint32 row = form.colCalls().Item(77)->DBCallID;
        QVERIFY(row > 0);
        QCOMPARE(
            querySql(home.file(QStringLiteral("data.db")),
                     QStringLiteral("SELECT CalledDevice FROM Calls WHERE CallID = %1").arg(row)),
            QVariantList{plugin.name});
    }

    // Calls the history has not taken yet are written when the program ends,
    // or listed in its log as lost: the program's own unloading sees to it.
    void keptCallsAreWrittenOrListedAtExit_data()
    {
        QTest::addColumn<bool>("spaceFreed");
        QTest::newRow("database takes them again") << true;
        QTest::newRow("database still full") << false;
    }

    void keptCallsAreWrittenOrListedAtExit()
    {
        QFETCH(bool, spaceFreed);
        TestHome home;
        home.write(QStringLiteral("machine.reg"), kMachineHeader + "\"Log\"=\"1\"\r\n");
        {
            const auto program = startHeadless();
            QVERIFY(program);
            // Nothing fits any more on the program's own connection.
            QSqlQuery fill(program->callDatabase()->database());
            QVERIFY(fill.exec(QStringLiteral("PRAGMA page_count")) && fill.next());
            const int pages = fill.value(0).toInt();
            fill.finish();
            QVERIFY(fill.exec(QStringLiteral("PRAGMA max_page_count = %1").arg(pages)));
            while (fill.exec(QStringLiteral("INSERT INTO Calls (CallerID) VALUES ('filler')"))) {
            }
            QCOMPARE(fill.lastError().nativeErrorCode(), QStringLiteral("13"));

            OnePluginHost plugin;
            MainForm& form = program->mainForm();
            form.setPluginHost(&plugin);
            form.evtIncomingCall(77, plugin.name, QStringLiteral("0301234567"), QString(),
                                 QStringLiteral("5551"), QString(), QString(), QString());
            QCOMPARE(form.colCalls().Item(77)->DBCallID, 0);
            if (spaceFreed)
                QVERIFY(fill.exec(QStringLiteral("PRAGMA max_page_count = 1000000")));
            program->gCloseApplication();
            form.setPluginHost(nullptr);
        }
        const QVariantList written =
            querySql(home.file(QStringLiteral("data.db")),
                     QStringLiteral("SELECT CallerID FROM Calls WHERE CallerID <> 'filler'"));
        const QString log = QString::fromUtf8(home.read(QStringLiteral("protocol.log")));
        QCOMPARE(written, spaceFreed ? QVariantList{QStringLiteral("0301234567")} : QVariantList());
        QCOMPARE(log.contains(QLatin1String(
                     "[77] Not written to the call history: call from 0301234567 to 5551")),
                 !spaceFreed);
        QCOMPARE(log.contains(QLatin1String(
                     "1 calls could not be written to the call history and are lost")),
                 !spaceFreed);
    }

    // A new installation names callers from the contact database it ships;
    // a database the user configured stays the one the lookup reads.
    void callersNamedFromTheShippedContactDatabase_data()
    {
        QTest::addColumn<QString>("configured");
        QTest::newRow("new installation") << QString();
        QTest::newRow("own database configured")
            << QStringLiteral("Provider=SQLite;Data Source=/nonexistent/people.db");
    }
    void callersNamedFromTheShippedContactDatabase()
    {
        QFETCH(QString, configured);
        TestHome home;
        if (!configured.isEmpty()) {
            SettingsStore user(home.file(QStringLiteral("user.reg")),
                               home.file(QStringLiteral("machine.reg")));
            user.SaveSettingHKCU(QStringLiteral("Data"), QStringLiteral("ConnectString"),
                                 configured);
            QVERIFY(user.flush());
        }
        const auto program = startHeadless();
        QVERIFY(program);
        ContactsDatabase contacts(home.file(QStringLiteral("contacts.db")));
        QVERIFY(contacts.open());
        ManagedContact john;
        john.firstName = QStringLiteral("John");
        john.lastName = QStringLiteral("Smith");
        john.numbers[2] = QStringLiteral("+49 171 5551234");
        QVERIFY(contacts.insert(john));
        QCOMPARE(
            program->settings()
                .GetSettingHKCU(QStringLiteral("Data"), QStringLiteral("ConnectString"), QString())
                .toString(),
            configured.isEmpty() ? ConnectionString::forSQLite(contacts.path()) : configured);

        OnePluginHost plugin;
        MainForm& form = program->mainForm();
        form.setPluginHost(&plugin);
        form.evtIncomingCall(78, plugin.name, QStringLiteral("01715551234"), QString(),
                             QStringLiteral("5551"), QString(), QString(), QString());
        form.setPluginHost(nullptr);
        QCOMPARE(form.colCalls().Item(78)->CallerName,
                 configured.isEmpty() ? QStringLiteral("John Smith") : QString());
    }

    // In debug mode a writable language database collects the texts it lacks.
    void debugModeCollectsMissingTexts()
    {
        TestHome home;
        const QString database = home.file(QStringLiteral("langdata.db"));
        QVERIFY(QFile::copy(AppPaths::dataFile(QStringLiteral("langdata.db")), database));
        QFile::setPermissions(database, QFile::ReadOwner | QFile::WriteOwner);
        home.write(QStringLiteral("machine.reg"), kMachineHeader + "\"Debug\"=\"1\"\r\n");
        const QString missing = QStringLiteral("A text the database has never seen");
        {
            const auto program = startHeadless();
            QVERIFY(program);
            QCOMPARE(program->loc().GetS(missing), missing);
        }
        QCOMPARE(
            querySql(
                database,
                QStringLiteral("SELECT bIsUsed FROM resstrings WHERE Native = '%1'").arg(missing)),
            QVariantList{1});
    }
};

QTEST_GUILESS_MAIN(TestHeadlessProgram)
#include "TestHeadlessProgram.moc"
