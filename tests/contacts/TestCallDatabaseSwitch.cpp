#include "contacts/store/CallDatabase.h"
#include "contacts/store/CallDatabaseSwitch.h"
#include "platform/AppPaths.h"
#include "shell/settings/SettingsStore.h"

#include "TestHome.h"

#include <QDir>
#include <QTest>

class TestCallDatabaseSwitch : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<CallDatabase> m_db;
    std::unique_ptr<CallDatabaseSwitch> m_switch;
    QStringList m_errors;
    QStringList m_log;

    static QString schema() { return AppPaths::dataDir() + QStringLiteral("/schema/sqlite.sql"); }

    // A second, valid call database beside the default one.
    QString otherDatabase()
    {
        const QString file = m_home->file(QStringLiteral("other.db"));
        QString error;
        if (!CallDatabase::createSQLiteDatabase(file, schema(), &error))
            qWarning() << error;
        return ConnectionString::forSQLite(file);
    }

    QString stored() const { return m_switch->storedConnectionString(); }

    // Errors that are the switch's own messages, not the driver's details.
    QStringList messages(const QString& start) const
    {
        QStringList found;
        for (const QString& e : m_errors)
            if (e.startsWith(start))
                found << e;
        return found;
    }

private slots:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_errors.clear();
        m_log.clear();
        m_settings = std::make_unique<SettingsStore>(m_home->file(QStringLiteral("user.reg")),
                                                     m_home->file(QStringLiteral("machine.reg")));
        m_settings->SaveSettingHKLM(QString(), QStringLiteral("InstallDir"),
                                    m_home->file(QStringLiteral("install")));
        m_db = std::make_unique<CallDatabase>([this](const QString& e) { m_errors << e; });
        m_switch = std::make_unique<CallDatabaseSwitch>(
            *m_db, *m_settings,
            CallDatabaseSwitch::Hooks{[this](const QString& l) { m_log << l; },
                                      [this](const QString& e) { m_errors << e; },
                                      {}});
    }

    void cleanup()
    {
        m_switch.reset();
        m_db.reset();
        m_settings.reset();
        m_home.reset();
    }

    void freshInstallationGetsItsDefaultDatabase()
    {
        const QString file = m_home->file(QStringLiteral("install/data.db"));
        QCOMPARE(m_switch->defaultConnectionString(), ConnectionString::forSQLite(file));
        QVERIFY(m_switch->openAtStartUp());
        QVERIFY(QFile::exists(file));
        QVERIFY(m_db->isOpen());
        QCOMPARE(m_db->connectionString(), m_switch->defaultConnectionString());
        QCOMPARE(m_log, QStringList{QStringLiteral("Created the call database ") + file});
        QVERIFY(m_errors.isEmpty());
        QVERIFY(stored().isEmpty());

        // The next start finds it and leaves it alone.
        m_log.clear();
        QVERIFY(m_switch->openAtStartUp());
        QVERIFY(m_log.isEmpty());
    }

    void startUpFallsBackToTheDefault()
    {
        const QString broken = QStringLiteral("Provider=SQLite;Data Source=") +
                               m_home->file(QStringLiteral("gone.db"));
        m_settings->SaveSettingHKCU(QStringLiteral("Options"), QStringLiteral("CallsConnection"),
                                    broken);
        QVERIFY(m_switch->openAtStartUp());
        QCOMPARE(m_db->connectionString(), m_switch->defaultConnectionString());
        QVERIFY(messages(QStringLiteral("Unable")).isEmpty());
        QCOMPARE(stored(), broken); // a server that is down today may be back tomorrow

        // A stored connection that works is used as it is.
        const QString other = otherDatabase();
        m_settings->SaveSettingHKCU(QStringLiteral("Options"), QStringLiteral("CallsConnection"),
                                    other);
        QVERIFY(m_switch->openAtStartUp());
        QCOMPARE(m_db->connectionString(), other);
    }

    void startUpWithoutAnyDatabaseSaysWhichFailed_data()
    {
        QTest::addColumn<QString>("storedConnection");
        QTest::addColumn<QString>("message");
        QTest::newRow("nothing stored") << QString() << "Unable to open standard-database %1";
        QTest::newRow("stored fails too") << "Provider=PostgreSQL;Host=/nonexistent;Password=secret"
                                          << "Unable to open database %1";
    }

    void startUpWithoutAnyDatabaseSaysWhichFailed()
    {
        QFETCH(QString, storedConnection);
        QFETCH(QString, message);
        m_settings->SaveSettingHKCU(QStringLiteral("Options"), QStringLiteral("CallsConnection"),
                                    storedConnection);
        m_switch->setSchemaFile(m_home->file(QStringLiteral("missing.sql")));
        QVERIFY(!m_switch->openAtStartUp());
        QVERIFY(!m_db->isOpen());
        // No half-made default database is left for the next start to trust.
        QVERIFY(!QFile::exists(m_switch->defaultDatabaseFile()));
        QCOMPARE(messages(QStringLiteral("Unable")),
                 QStringList{message.arg(m_switch->defaultConnectionString())});
        QVERIFY(!messages(QStringLiteral("The call database")).isEmpty());
        QVERIFY(!m_errors.join(QLatin1Char('\n')).contains(QLatin1String("secret")));
    }

    void reopenUsesTheStoredOrDefaultConnection()
    {
        QVERIFY(m_switch->openAtStartUp());
        m_db->close();
        QVERIFY(m_switch->reopen());
        QCOMPARE(m_db->connectionString(), m_switch->defaultConnectionString());

        const QString other = otherDatabase();
        m_settings->SaveSettingHKCU(QStringLiteral("Options"), QStringLiteral("CallsConnection"),
                                    other);
        QVERIFY(m_switch->reopen());
        QCOMPARE(m_db->connectionString(), other);
    }

    void switchingDatabases()
    {
        QVERIFY(m_switch->openAtStartUp());
        const QString first = m_switch->defaultConnectionString();
        QStringList offered;
        QString answer = first;
        const auto prompt = [&](const QString& current) {
            offered << current;
            return answer;
        };

        // Unchanged: nothing is reopened or stored.
        QCOMPARE(m_switch->mnuSetCallDB(prompt), CallDatabaseSwitch::SwitchResult::Unchanged);
        QCOMPARE(offered, QStringList{first});
        QVERIFY(stored().isEmpty());
        QVERIFY(m_db->isOpen());

        // A working database is opened and remembered.
        const QString other = otherDatabase();
        answer = other;
        QCOMPARE(m_switch->mnuSetCallDB(prompt), CallDatabaseSwitch::SwitchResult::Switched);
        QCOMPARE(m_db->connectionString(), other);
        QCOMPARE(stored(), other);
        QVERIFY(m_errors.isEmpty());

        // A failing one is reported, and the previous one is open again.
        answer = QStringLiteral("Provider=MySQL;Host=/nonexistent;Password=secret");
        QCOMPARE(m_switch->mnuSetCallDB(prompt), CallDatabaseSwitch::SwitchResult::Refused);
        QCOMPARE(offered.last(), other);
        QCOMPARE(messages(QStringLiteral("Unable")),
                 QStringList{QStringLiteral(
                     "Unable to open database Provider=MySQL;Host=/nonexistent;Password=***. "
                     "Using previous set or default database.")});
        QVERIFY(m_db->isOpen());
        QCOMPARE(m_db->connectionString(), other);
        QCOMPARE(stored(), other);
    }
};

QTEST_GUILESS_MAIN(TestCallDatabaseSwitch)
#include "TestCallDatabaseSwitch.moc"
