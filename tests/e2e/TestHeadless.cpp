#include "TestHome.h"

#include "shell/settings/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSysInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

const QByteArray kHives =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options]\n"
    "\"ConnectOnStart\"=\"1\"\n\n"
    "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options\\Devices\\Virtual line 1]\n"
    "\"Monitor\"=\"1\"\n\n"
    "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options\\Devices\\Virtual line 2]\n"
    "\"Monitor\"=\"1\"\n\"CheckMinLength\"=\"1\"\n\"CallerIDMinLength\"=\"5\"\n\n"
    "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options\\MSNs\\Office]\n"
    "\"MSN\"=\"5551\"\n\"Clients\"=\"*\"\n";

const QByteArray kMachine = "Windows Registry Editor Version 5.00\n\n"
                            "[HKEY_LOCAL_MACHINE\\Software\\Morvane\\Phonavo]\n"
                            "\"Log\"=\"1\"\n\"InstalledVersion\"=\"2.1.0\"\n";

// A client of the server: a plain TCP socket from its own loopback address
// (the server tells clients apart by address), collecting the messages.
struct Client
{
    Client(const QString& address, quint16 port)
    {
        socket.bind(QHostAddress(address));
        socket.connectToHost(QHostAddress::LocalHost, port);
    }
    void send(const QByteArray& message)
    {
        socket.write(message + '\0');
        socket.flush();
    }
    // Every complete message received so far, parameters joined by "|".
    QStringList messages()
    {
        received += socket.readAll();
        QStringList out;
        const QList<QByteArray> pieces = received.split('\0');
        for (qsizetype i = 0; i + 1 < pieces.size(); ++i)
            out << QString::fromLatin1(pieces[i]).replace(QStringLiteral("\r\n"),
                                                          QStringLiteral("|"));
        return out;
    }
    QTcpSocket socket;
    QByteArray received;
};

struct LineResult
{
    int exitCode = -1;
    QString out;
    QString err;
};

LineResult phonavoLine(const QStringList& args,
                       const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(PHONAVO_LINE_BIN), args);
    p.waitForFinished(15000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()).trimmed(),
            QString::fromUtf8(p.readAllStandardError()).trimmed()};
}

} // namespace

class TestHeadless : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<QProcess> m_program;

    QString log() const { return QString::fromUtf8(m_home->read(QStringLiteral("protocol.log"))); }

    bool waitForLog(const QString& text, int ms = 10000)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            if (log().contains(text))
                return true;
            QTest::qWait(50);
        }
        qWarning().noquote() << "log so far:\n" << log();
        return false;
    }

    static quint16 freePortOutsideEphemeralRange()
    {
        for (int i = 0; i < 200; ++i) {
            const auto candidate = quint16(20000 + QRandomGenerator::global()->bounded(12000));
            QTcpServer probe;
            if (probe.listen(QHostAddress::Any, candidate))
                return candidate;
        }
        return 0;
    }

    void startProgram(const QByteArray& extraUserHive = {},
                      const QString& binary = QStringLiteral(PHONAVO_BIN),
                      const QByteArray& machineHive = kMachine)
    {
        m_home = std::make_unique<TestHome>();
        m_home->write(QStringLiteral("user.reg"), kHives + extraUserHive);
        m_home->write(QStringLiteral("machine.reg"), machineHive);
        m_program = std::make_unique<QProcess>();
        m_program->setProcessChannelMode(QProcess::MergedChannels);
        m_program->start(binary, {QStringLiteral("--headless")});
        QVERIFY(m_program->waitForStarted());
        QVERIFY(waitForLog(QStringLiteral("Start listen to TAPI Device: Virtual line 1 (ID: 0)")));
    }

private slots:
    void cleanup()
    {
        if (m_program && m_program->state() != QProcess::NotRunning) {
            m_program->terminate();
            QVERIFY(m_program->waitForFinished(10000));
            QCOMPARE(m_program->exitStatus(), QProcess::NormalExit);
            QCOMPARE(m_program->exitCode(), 0);
        }
        m_program.reset();
        m_home.reset();
    }

    // An installed program without the shipped language database (a copy of
    // the program outside the build tree finds none).
    void firstStartWithoutLanguageData_data()
    {
        QTest::addColumn<QByteArray>("language");
        QTest::addColumn<QString>("told");
        QTest::newRow("English") << QByteArray("Native") << QString();
        QTest::newRow("German") << QByteArray("German")
                                << QStringLiteral("While opening Language Database (");
    }

    void firstStartWithoutLanguageData()
    {
        QFETCH(QByteArray, language);
        QFETCH(QString, told);
        QTemporaryDir installed;
        const QString binary = installed.filePath(QStringLiteral("phonavo"));
        QVERIFY(QFile::copy(QStringLiteral(PHONAVO_BIN), binary));
        startProgram("\n[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo]\n\"LanguageColumn\"=\"" +
                         language + "\"\n",
                     binary);
        if (QTest::currentTestFailed())
            return;
        const QString text = log();
        if (!text.contains(QStringLiteral("is missing: the texts are shown in English")))
            QSKIP("a language database is installed on this machine");
        if (!told.isEmpty())
            QVERIFY(text.contains(told));
        QVERIFY(!text.contains(QStringLiteral("Unable to init")));
        // The header names the running system in its third line.
        const QStringList header = text.split(QLatin1Char('\n')).mid(0, 5);
        QCOMPARE(header.size(), 5);
        const QString system = header[2].section(QStringLiteral(": "), 1, -1);
        QVERIFY2(system.startsWith(QStringLiteral("System: ") + QSysInfo::prettyProductName()),
                 qPrintable(header[2]));
        QVERIFY(system.contains(QSysInfo::kernelVersion()));
        QVERIFY(system.contains(QSysInfo::currentCpuArchitecture()));
    }

    void unusableHomeIsToldApartFromASecondStart_data()
    {
        QTest::addColumn<bool>("readOnly");
        QTest::newRow("home below a file") << false;
        QTest::newRow("read-only home") << true;
    }

    void unusableHomeIsToldApartFromASecondStart()
    {
        QFETCH(bool, readOnly);
        QTemporaryDir dir;
        QString home = dir.filePath(QStringLiteral("home"));
        QVERIFY(QDir().mkpath(home));
        if (readOnly) {
            QFile::setPermissions(home, QFile::ReadOwner | QFile::ExeOwner);
            if (QFileInfo(home).isWritable())
                QSKIP("running with privileges that write anywhere");
        } else {
            QFile file(dir.filePath(QStringLiteral("file")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            home = file.fileName() + QStringLiteral("/home");
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PHONAVO_HOME"), home);
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(PHONAVO_BIN), {QStringLiteral("--headless")});
        QVERIFY(program.waitForFinished(15000));
        const QString err = QString::fromUtf8(program.readAllStandardError());
        QFile::setPermissions(home, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(program.exitCode(), 1);
        QVERIFY2(err.contains(QStringLiteral("Phonavo cannot use the folder ") + home +
                              QStringLiteral(": ") +
                              (readOnly ? QStringLiteral("Permission denied")
                                        : QStringLiteral("Not a directory"))),
                 qPrintable(err));
        QVERIFY(!err.contains(QStringLiteral("already running")));
    }

    // Without PHONAVO_HOME, XDG_RUNTIME_DIR and USER the control socket and
    // the lock live in the temp folder, in a folder of the user's own id.
    void runtimeFolderWithoutUserIsPrivate()
    {
        QTemporaryDir dir;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"PHONAVO_HOME", "XDG_RUNTIME_DIR", "USER", "LOGNAME",
                                 "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("HOME"), dir.filePath(QStringLiteral("home")));
        env.insert(QStringLiteral("TMPDIR"), dir.filePath(QStringLiteral("tmp")));
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("tmp"))));
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(PHONAVO_BIN), {QStringLiteral("--headless")});
        QVERIFY(program.waitForStarted());
        const QString base = dir.filePath(QStringLiteral("tmp/phonavo-%1").arg(::getuid()));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(base + QStringLiteral("/phonavo/control")),
                                 10000);
        const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner |
                                             QFile::ExeOwner | QFile::ReadUser | QFile::WriteUser |
                                             QFile::ExeUser;
        QCOMPARE(QFileInfo(base).permissions(), ownerOnly);
        QCOMPARE(QFileInfo(base + QStringLiteral("/phonavo")).permissions(), ownerOnly);
        QCOMPARE(phonavoLine({QStringLiteral("list")}, env).exitCode, 0);
        program.terminate();
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitCode(), 0);
    }

    void callsDrivenByPhonavoLine()
    {
        startProgram();
        const LineResult list = phonavoLine({QStringLiteral("list")});
        QCOMPARE(list.exitCode, 0);
        QCOMPARE(list.out, QStringLiteral("0\tVirtual line 1\n1\tVirtual line 2"));

        const LineResult ring = phonavoLine(
            {QStringLiteral("ring"), QStringLiteral("Virtual line 1"), QStringLiteral("0301234567"),
             QStringLiteral("5551"), QStringLiteral("--name"), QStringLiteral("Smith")});
        QCOMPARE(ring.exitCode, 0);
        const QString id = ring.out;
        QVERIFY(id.toInt() > 1);
        QVERIFY(waitForLog(
            QLatin1Char('[') + id +
            QStringLiteral("] Incoming call from: Smith (0301234567). Callee: Office (5551)")));
        QCOMPARE(phonavoLine({QStringLiteral("answer"), id}).exitCode, 0);
        QCOMPARE(phonavoLine({QStringLiteral("hangup"), id}).exitCode, 0);
        QVERIFY(waitForLog(
            QLatin1Char('[') + id +
            QStringLiteral("] Disconnected call from Smith (0301234567). Callee: Office (5551)")));

        const LineResult dial =
            phonavoLine({QStringLiteral("dial"), QStringLiteral("0"), QStringLiteral("0409876")});
        QCOMPARE(dial.exitCode, 0);
        QVERIFY(waitForLog(QLatin1Char('[') + dial.out +
                           QStringLiteral("] Outgoing call: Virtual line 1 called: 0409876")));

        const LineResult shortCall = phonavoLine({QStringLiteral("ring"), QStringLiteral("1"),
                                                  QStringLiteral("1234"), QStringLiteral("5551")});
        QVERIFY(waitForLog(QLatin1Char('[') + shortCall.out +
                           QStringLiteral("] Ignoring call: too short (1234 <- 5)")));

        // Bad commands get a clear error; the program keeps running.
        const LineResult bad = phonavoLine({QStringLiteral("answer"), QStringLiteral("424242")});
        QCOMPARE(bad.exitCode, 1);
        QCOMPARE(bad.err, QStringLiteral("phonavo-line: no call 424242"));
        QCOMPARE(phonavoLine({QStringLiteral("frobnicate")}).exitCode, 1);
        QCOMPARE(phonavoLine({QStringLiteral("list")}).exitCode, 0);

        // A second start is refused; the running program and its log stay as they are.
        const QString logBefore = log();
        QProcess second;
        second.start(QStringLiteral(PHONAVO_BIN), {QStringLiteral("--headless")});
        QVERIFY(second.waitForFinished(15000));
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(QString::fromUtf8(second.readAllStandardError())
                    .contains(QLatin1String(
                        "Phonavo or Phonavo Setup Wizard already running. Please close both "
                        "before starting this application.")));
        // (Lines the running program gathered before may still arrive.)
        QTest::qWait(500);
        QVERIFY(log().startsWith(logBefore));
        QCOMPARE(log().count(QLatin1String("Program started")), 1);
        QCOMPARE(phonavoLine({QStringLiteral("list")}).exitCode, 0);
    }

    // A call committed to the embedded database survives the program being
    // killed before anything copied it from the write-ahead log.
    void killedProgramKeepsCommittedCalls()
    {
        startProgram();
        const QString id = phonavoLine({QStringLiteral("ring"), QStringLiteral("0"),
                                        QStringLiteral("0301234567"), QStringLiteral("5551")})
                               .out;
        QCOMPARE(phonavoLine({QStringLiteral("answer"), id}).exitCode, 0);
        QCOMPARE(phonavoLine({QStringLiteral("hangup"), id}).exitCode, 0);
        const auto endedCalls = [this] {
            int rows = -1;
            {
                QSqlDatabase db =
                    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reader"));
                db.setDatabaseName(m_home->file(QStringLiteral("data.db")));
                QSqlQuery q(db);
                if (db.open() &&
                    q.exec(QStringLiteral("SELECT COUNT(*) FROM Calls WHERE CallerID = "
                                          "'0301234567' AND CallEnd IS NOT NULL")) &&
                    q.next())
                    rows = q.value(0).toInt();
            }
            QSqlDatabase::removeDatabase(QStringLiteral("reader"));
            return rows;
        };
        QTRY_COMPARE_WITH_TIMEOUT(endedCalls(), 1, 10000);
        m_program->kill();
        QVERIFY(m_program->waitForFinished(10000));
        QCOMPARE(m_program->exitStatus(), QProcess::CrashExit);
        QCOMPARE(endedCalls(), 1);
    }

    // A new installation names callers from its own contact database; after
    // switching to the address book, a card of the user's names the next call
    // and the call gets a journal entry.
    void callersNamedFromTheUsersOwnContacts()
    {
        startProgram();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "contacts");
            db.setDatabaseName(m_home->file(QStringLiteral("contacts.db")));
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral(
                "INSERT INTO Contacts (ContactGUID, FirstName, LastName, TelPrivate) "
                "VALUES ('k1', 'Anna', 'Berg', '+49 30 1234567')")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("contacts"));
        const LineResult first =
            phonavoLine({QStringLiteral("ring"), QStringLiteral("0"), QStringLiteral("0301234567"),
                         QStringLiteral("5551")});
        QVERIFY(
            waitForLog(QStringLiteral("Found contact in Database for +49 30 1234567: Anna Berg")));
        QCOMPARE(phonavoLine({QStringLiteral("hangup"), first.out}).exitCode, 0);
        m_program->terminate();
        QVERIFY(m_program->waitForFinished(10000));

        {
            SettingsStore settings(m_home->file(QStringLiteral("user.reg")),
                                   m_home->file(QStringLiteral("machine.reg")));
            settings.SaveSettingHKCU(QStringLiteral("Options"), QStringLiteral("DataSource"),
                                     QStringLiteral("2"));
            settings.SaveSettingHKCU(QStringLiteral("Outlook"), QStringLiteral("AddToJournal"),
                                     QStringLiteral("1"));
            QVERIFY(settings.flush());
        }
        QVERIFY(QDir().mkpath(m_home->file(QStringLiteral("contacts/friends"))));
        m_home->write(QStringLiteral("contacts/friends/bo.vcf"),
                      "BEGIN:VCARD\r\nVERSION:4.0\r\nUID:bo-1\r\nFN:Bo Lind\r\nORG:ACME\r\n"
                      "TEL;TYPE=cell:+49 171 5550123\r\nEND:VCARD\r\n");
        m_program->start(QStringLiteral(PHONAVO_BIN), {QStringLiteral("--headless")});
        QVERIFY(m_program->waitForStarted());
        QVERIFY(waitForLog(QStringLiteral("1 numbers buffered from Outlook")));
        const LineResult second =
            phonavoLine({QStringLiteral("ring"), QStringLiteral("0"), QStringLiteral("01715550123"),
                         QStringLiteral("5551")});
        QVERIFY(waitForLog(
            QStringLiteral("Found Outlook contact for 01715550123: Bo Lind (id: bo-1)")));
        QCOMPARE(phonavoLine({QStringLiteral("answer"), second.out}).exitCode, 0);
        QCOMPARE(phonavoLine({QStringLiteral("hangup"), second.out}).exitCode, 0);
        QVERIFY(waitForLog(QLatin1Char('[') + second.out +
                           QStringLiteral("] Outlook Journal entry added")));
        const QDir journal(m_home->file(QStringLiteral("calendars/phonavo-journal")));
        const QStringList entries = journal.entryList({QStringLiteral("*.ics")});
        QCOMPARE(entries.size(), 1);
        const QString entry = QString::fromUtf8(
            m_home->read(QStringLiteral("calendars/phonavo-journal/") + entries.first()));
        QVERIFY(entry.contains(QLatin1String("SUMMARY:Incoming call from Bo Lind (ACME")));
    }

    // Every program answers --help and --version, and refuses an unknown
    // option with a hint and exit status 2, before touching any file.
    void commandLines_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output"); // the start of stdout, or of stderr when it fails
        const QString phonavo = QStringLiteral(PHONAVO_BIN);
        const QString line = QStringLiteral(PHONAVO_LINE_BIN);
        const QString contacts = QStringLiteral(PHONAVO_CONTACTS_BIN);
        QTest::newRow("phonavo --version")
            << phonavo << QStringList{"--version"} << 0 << "phonavo 0.1.0";
        QTest::newRow("phonavo --help")
            << phonavo << QStringList{"--help"} << 0 << "usage: phonavo";
        QTest::newRow("phonavo unknown") << phonavo << QStringList{"--headles"} << 2
                                         << "phonavo: unknown option '--headles'\nTry";
        QTest::newRow("phonavo import without file")
            << phonavo << QStringList{"--import-settings"} << 2 << "phonavo: --import-settings";
        QTest::newRow("line --version")
            << line << QStringList{"--version"} << 0 << "phonavo-line 0.1.0";
        QTest::newRow("line unknown")
            << line << QStringList{"--frob"} << 2 << "phonavo-line: unknown option '--frob'";
        QTest::newRow("contacts --version")
            << contacts << QStringList{"--version"} << 0 << "phonavo-contacts 0.1.0";
        QTest::newRow("contacts --help") << contacts << QStringList{"--help"} << 0 << "";
    }
    void commandLines()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        TestHome home; // nothing may be written into it
        QProcess p;
        p.start(program, arguments);
        QVERIFY(p.waitForFinished(15000));
        QCOMPARE(p.exitCode(), exitCode);
        const QString text =
            QString::fromUtf8(exitCode == 0 ? p.readAllStandardOutput() : p.readAllStandardError());
        QVERIFY2(text.startsWith(output), qPrintable(text));
        QVERIFY(!text.trimmed().isEmpty());
        QCOMPARE(QDir(home.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList());
    }

    // An installation made by cmake --install anywhere finds its language
    // data, schemas and plug-ins beside itself, never in the build tree.
    void installedProgramFindsItsFiles()
    {
        QTemporaryDir prefix;
        QProcess install;
        install.start(QStringLiteral(CMAKE_COMMAND),
                      {QStringLiteral("--install"), QStringLiteral(PHONAVO_BUILD_ROOT),
                       QStringLiteral("--prefix"), prefix.path()});
        QVERIFY(install.waitForFinished(120000));
        QVERIFY2(install.exitCode() == 0, install.readAllStandardError().constData());
        const QString installed = prefix.filePath(QStringLiteral("bin/phonavo"));
        QVERIFY(QFileInfo(installed).isExecutable());
        // The help the Help menu opens, with its pictures.
        for (const char* page : {"index.html", "faq.html", "screenshots/MainForm-General.png"})
            QVERIFY2(QFileInfo::exists(prefix.filePath(QStringLiteral("share/phonavo/help/") +
                                                       QLatin1String(page))),
                     page);
        startProgram(QByteArray(), installed);
        QVERIFY(waitForLog(QStringLiteral("Loading PhonavoConnectionTapiServer.Connection")));
        QVERIFY(waitForLog(QStringLiteral("Created the call database")));
        const LineResult ring = phonavoLine({QStringLiteral("ring"), QStringLiteral("0"),
                                             QStringLiteral("0301234567"), QStringLiteral("5551")});
        QVERIFY(
            waitForLog(QLatin1Char('[') + ring.out +
                       QStringLiteral("] Incoming call from: 0301234567. Callee: Office (5551)")));
        QVERIFY(!log().contains(QLatin1String("language"), Qt::CaseInsensitive));
        QVERIFY(!log().contains(QLatin1String(PHONAVO_BUILD_ROOT)));
    }

    // Starts the program with its server on (password "abc123" stored as
    // `scrambled`) and returns the port it listens on, 0 when it could not.
    quint16 startServingProgram(const QByteArray& scrambled,
                                const QByteArray& machineHive = kMachine)
    {
        // A port that was free a moment ago can be taken before the program binds it
        // (another program on a shared machine, an outgoing connection's local port), so
        // ports come from below the usual ephemeral range and a taken one is tried again.
        quint16 port = 0;
        bool serving = false;
        for (int attempt = 0; attempt < 5 && !serving; ++attempt) {
            port = freePortOutsideEphemeralRange();
            if (port == 0)
                return 0;
            startProgram(
                QByteArray("\n[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options\\Server]\n"
                           "\"Enabled\"=\"1\"\n\"Port\"=\"" +
                           QByteArray::number(port) + "\"\n\"Pass\"=\"" + scrambled + "\"\n"),
                QStringLiteral(PHONAVO_BIN), machineHive);
            QElapsedTimer waited;
            waited.start();
            while (!log().contains(QLatin1String("Enabled server")) &&
                   !log().contains(QLatin1String("Unable to start the server")) &&
                   waited.elapsed() < 10000)
                QTest::qWait(50);
            serving = log().contains(QLatin1String("Enabled server"));
            if (!serving)
                cleanup();
        }
        return serving ? port : 0;
    }

    void serverDeliversCallsToTheEntitledClientOnly()
    {
        // The password is stored scrambled; without one, clients could not dial.
        const QByteArray scrambled = ScrambleSetting(QStringLiteral("abc123")).toUtf8();
        QVERIFY(!scrambled.contains('"') && !scrambled.contains('\\'));
        const quint16 port = startServingProgram(scrambled);
        QVERIFY(port != 0);

        Client kitchen(QStringLiteral("127.0.0.2"), port);
        Client office(QStringLiteral("127.0.0.3"), port);
        QVERIFY(kitchen.socket.waitForConnected(5000) && office.socket.waitForConnected(5000));
        kitchen.send("listen\r\n5551\r\nabc123\r\nkitchen\r\n\r\n2.1.0");
        office.send("listen\r\n999\r\nabc123\r\noffice\r\n\r\n2.1.0");
        QTRY_VERIFY_WITH_TIMEOUT(kitchen.messages().contains(QStringLiteral("accepted|")), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(office.messages().contains(QStringLiteral("accepted|")), 10000);
        kitchen.send("ping");
        office.send("ping");

        const QString id = phonavoLine({QStringLiteral("ring"), QStringLiteral("0"),
                                        QStringLiteral("0301234567"), QStringLiteral("5551")})
                               .out;
        QVERIFY(waitForLog(QLatin1Char('[') + id + QStringLiteral("] Incoming call from")));
        QCOMPARE(phonavoLine({QStringLiteral("answer"), id}).exitCode, 0);
        QCOMPARE(phonavoLine({QStringLiteral("hangup"), id}).exitCode, 0);
        const QStringList expected = {
            QStringLiteral("connect"), QStringLiteral("accepted|"),
            QStringLiteral("incomingcall|%1|0301234567|5551|Office||1|").arg(id),
            QStringLiteral("answered|") + id, QStringLiteral("disconnect|") + id};
        QTRY_COMPARE_WITH_TIMEOUT(kitchen.messages(), expected, 10000);
        QVERIFY(waitForLog(QStringLiteral("office does not match filter for 5551")));
        QCOMPARE(office.messages(),
                 (QStringList{QStringLiteral("connect"), QStringLiteral("accepted|")}));

        // No dialling device was ever stored: the first line is the one.
        kitchen.send("startcall\r\n\r\n0409876");
        QVERIFY(waitForLog(
            QStringLiteral("Starting outgoing call on device 0=Virtual line 1: 0409876")));
    }

    // A second installation gets its calls from this one's server through the
    // server-connection plug-in: in its log, its call history and for its
    // plug-ins, as if the call had come from a line of its own.
    void clientInstallationReceivesCallsThroughThePlugin()
    {
        const QByteArray scrambled = ScrambleSetting(QStringLiteral("abc123")).toUtf8();
        // The server accepts clients of its own version.
        const quint16 port = startServingProgram(
            scrambled, "Windows Registry Editor Version 5.00\n\n"
                       "[HKEY_LOCAL_MACHINE\\Software\\Morvane\\Phonavo]\n\"Log\"=\"1\"\n");
        QVERIFY(port != 0);

        TestHome clientHome;
        clientHome.write(
            QStringLiteral("user.reg"),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options]\n"
            "\"ConnectOnStart\"=\"1\"\n\n"
            "[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\ConnectionPlugins\\"
            "PhonavoConnectionTapiServer.Connection]\n"
            "\"InterfaceVersion\"=\"2\"\n\"Name\"=\"Phonavo Server\"\n\"Enabled\"=\"1\"\n"
            "\"server\"=\"127.0.0.1\"\n\"port\"=\"" +
                QByteArray::number(port) + "\"\n\"password\"=\"" + scrambled + "\"\n");
        clientHome.write(QStringLiteral("machine.reg"),
                         "Windows Registry Editor Version 5.00\n\n"
                         "[HKEY_LOCAL_MACHINE\\Software\\Morvane\\Phonavo]\n"
                         "\"InterfaceVersion\"=\"2\"\n\"Log\"=\"1\"\n");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PHONAVO_HOME"), clientHome.path());
        QProcess client;
        client.setProcessEnvironment(env);
        client.setProcessChannelMode(QProcess::MergedChannels);
        client.start(QStringLiteral(PHONAVO_BIN), {QStringLiteral("--headless")});
        QVERIFY(client.waitForStarted());
        const auto clientLog = [&] {
            return QString::fromUtf8(clientHome.read(QStringLiteral("protocol.log")));
        };
        QVERIFY(waitForLog(QStringLiteral("Sending \"accepted\"")));
        QVERIFY2(
            clientLog().contains(QStringLiteral(
                "Initializing addon: Phonavo Server (PhonavoConnectionTapiServer.Connection)")),
            qPrintable(clientLog()));

        // phonavo-line drives the server's lines (the newest TestHome is the process's).
        QProcessEnvironment serverEnv = QProcessEnvironment::systemEnvironment();
        serverEnv.insert(QStringLiteral("PHONAVO_HOME"), m_home->path());
        const QString serverId = phonavoLine({QStringLiteral("ring"), QStringLiteral("0"),
                                              QStringLiteral("0301234567"), QStringLiteral("5551")},
                                             serverEnv)
                                     .out;
        QTRY_VERIFY_WITH_TIMEOUT(
            clientLog().contains(QStringLiteral("Incoming call from: 0301234567. Callee: Office")),
            10000);
        QCOMPARE(phonavoLine({QStringLiteral("answer"), serverId}, serverEnv).exitCode, 0);
        QTRY_VERIFY_WITH_TIMEOUT(clientLog().contains(QStringLiteral("Call was answered from")),
                                 10000);
        QCOMPARE(phonavoLine({QStringLiteral("hangup"), serverId}, serverEnv).exitCode, 0);
        QTRY_VERIFY_WITH_TIMEOUT(clientLog().contains(QStringLiteral("Disconnected call from")),
                                 10000);

        client.terminate();
        QVERIFY(client.waitForFinished(10000));
        QCOMPARE(client.exitCode(), 0);
        // The client's own call history holds the call, on the plug-in's device.
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                                        QStringLiteral("client-history"));
            db.setDatabaseName(clientHome.file(QStringLiteral("data.db")));
            QVERIFY(db.open());
            QSqlQuery query(
                QStringLiteral("SELECT CallerID, CalledID, Answered, CalledDevice FROM Calls"), db);
            QVERIFY(query.next());
            QCOMPARE(query.value(0).toString(), QStringLiteral("0301234567"));
            QCOMPARE(query.value(1).toString(), QStringLiteral("5551"));
            QVERIFY(query.value(2).toBool());
            QCOMPARE(query.value(3).toString(), QStringLiteral("Phonavo Server"));
            QVERIFY(!query.next());
        }
        QSqlDatabase::removeDatabase(QStringLiteral("client-history"));
    }

    void routerCallMonitorOnLoopback()
    {
        QTcpServer router;
        QVERIFY(router.listen(QHostAddress::LocalHost));
        const QByteArray config =
            "\n[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options\\LineSources\\Routers\\Home]"
            "\n"
            "\"Label\"=\"Home router\"\n\"Host\"=\"127.0.0.1\"\n\"Port\"=\"" +
            QByteArray::number(router.serverPort()) +
            "\"\n\n[HKEY_CURRENT_USER\\Software\\Morvane\\Phonavo\\Options\\Devices\\Home router]\n"
            "\"Monitor\"=\"1\"\n";
        startProgram(config);
        QVERIFY(waitForLog(QStringLiteral("Start listen to TAPI Device: Home router (ID: 2)")));
        // The connection may already have been taken in while the test waited for the log.
        QTRY_VERIFY_WITH_TIMEOUT(router.hasPendingConnections(), 10000);
        QTcpSocket* peer = router.nextPendingConnection();
        peer->write("05.12.26 19:41:57;RING;0;0301234567;5551;SIP0;\r\n");
        peer->flush();
        QVERIFY(
            waitForLog(QStringLiteral("Incoming call from: 0301234567. Callee: Office (5551)")));
        peer->write("05.12.26 19:42:10;DISCONNECT;0;0;\r\n05.12.26 "
                    "19:43:00;CALL;1;10;5551;0409876;SIP0\r\n");
        peer->flush();
        QVERIFY(
            waitForLog(QStringLiteral("Disconnected call from 0301234567. Callee: Office (5551)")));
        QVERIFY(waitForLog(QStringLiteral("Outgoing call: Office (5551) called: 0409876")));
        // The router's line cannot be dialled through phonavo-line: it is not a virtual line.
        QCOMPARE(phonavoLine(
                     {QStringLiteral("dial"), QStringLiteral("Home router"), QStringLiteral("1")})
                     .exitCode,
                 1);
    }
};

QTEST_GUILESS_MAIN(TestHeadless)
#include "TestHeadless.moc"
