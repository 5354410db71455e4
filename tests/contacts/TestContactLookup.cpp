#include "contacts/lookup/ContactDatabaseLookup.h"
#include "contacts/lookup/NumberLookup.h"
#include "platform/db/ConnectionString.h"

#include "ControllerRig.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

namespace {

// Set for the second run of the same cases on a PostgreSQL server.
QString g_postgres;

constexpr char kPictureBytes[] = "\x89PNG\r\n\x1a\n\0\x01picture";
const QByteArray kPicture(kPictureBytes, sizeof kPictureBytes - 1); // NUL inside included

struct Row
{
    const char* id;
    const char* first;
    const char* last;
    const char* company;
    bool picture;
    const char* tel1;
    const char* tel2;
    const char* tel3;
};

// Numbers stored the way people type them.
const Row kRows[] = {
    {"k1", "John", "Smith", "ACME", true, "+49 30 123 45 67", nullptr, nullptr},
    {"k2", "", "Jones", "", false, nullptr, "(0221) 98 76 54-3", nullptr},
    {"k3", "Ann", "Lee", nullptr, false, "12345", nullptr, nullptr},
    {"k4", "Max", "Bauer", "", false, nullptr, nullptr, "0 89/555 12 10"},
};

QVariant text(const char* s)
{
    return s ? QVariant(QString::fromUtf8(s)) : QVariant(QMetaType(QMetaType::QString));
}

} // namespace

class TestContactLookup : public QObject
{
    Q_OBJECT

    std::unique_ptr<ControllerRig> m_rig;
    std::unique_ptr<NumberLookup> m_lookup;
    QString m_connect;
    QStringList m_reverseAsked;
    QString m_reverseName;

    QSqlDatabase setupDb() { return QSqlDatabase::database(QStringLiteral("setup")); }

    void mapDefault()
    {
        const QStringList values = {
            "ConnectString=" + m_connect,    QStringLiteral("DBTable=contacts"),
            QStringLiteral("PrimKey=ID"),    QStringLiteral("FirstName=First"),
            QStringLiteral("LastName=Last"), QStringLiteral("ExtraField=Company"),
            QStringLiteral("Picture=Photo"), QStringLiteral("Number1=Tel1"),
            QStringLiteral("Number2=Tel2"),  QStringLiteral("Number3=Tel3")};
        for (const QString& v : values)
            map(v);
    }
    void map(const QString& assignment)
    {
        const int eq = int(assignment.indexOf(QLatin1Char('=')));
        const QString name = assignment.left(eq);
        const QString key =
            name == QLatin1String("SQLFieldDelim") ? QString() : QStringLiteral("Data");
        m_rig->settings.SaveSettingHKCU(key, name, assignment.mid(eq + 1));
    }

    int rowCount()
    {
        QSqlQuery q(setupDb());
        return q.exec(QStringLiteral("SELECT COUNT(*) FROM contacts")) && q.next()
                   ? q.value(0).toInt()
                   : -1;
    }

    struct Answer
    {
        bool found = false;
        QString number, guid, name, picture, extra;
    };
    Answer lookup(const QString& number)
    {
        Answer a;
        a.number = number;
        a.name = QStringLiteral("stale");
        QVariant contact;
        a.found = m_lookup->LookupNumber(a.number, a.guid, a.name, a.picture, a.extra, contact);
        return a;
    }

    bool raisedError() const
    {
        return m_rig->anyMessage([](const QString& m) { return m.startsWith("RaiseError: "); });
    }

private slots:
    void init()
    {
        m_rig = std::make_unique<ControllerRig>();
        m_reverseAsked.clear();
        m_reverseName.clear();
        m_lookup = std::make_unique<NumberLookup>(
            *m_rig->form, [this](const QString& number, QString& name, QString&, QString& extra) {
                m_reverseAsked << number;
                name = m_reverseName;
                extra = m_reverseName.isEmpty() ? QString() : QStringLiteral("Berlin");
                return true;
            });
        m_rig->form->setContactLookup(m_lookup.get());
        m_rig->form->options().setValue(QStringLiteral("cmbDataConnection"), 1);
        m_rig->form->options().setValue(QStringLiteral("cbReverseLookup"), true);

        m_connect = g_postgres.isEmpty() ? ConnectionString::forSQLite(m_rig->home.file("c.db"))
                                         : g_postgres;
        QVERIFY(ConnectionString::parse(m_connect).configure(QStringLiteral("setup")));
        QSqlDatabase db = setupDb();
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        QSqlQuery q(db);
        q.exec(QStringLiteral("DROP TABLE IF EXISTS contacts"));
        const QString blob =
            g_postgres.isEmpty() ? QStringLiteral("BLOB") : QStringLiteral("bytea");
        QVERIFY2(q.exec(QStringLiteral("CREATE TABLE contacts (\"ID\" VARCHAR(10), \"First\" "
                                       "VARCHAR(40), \"Last\" VARCHAR(40), \"Company\" "
                                       "VARCHAR(40), \"Photo\" ") +
                        blob +
                        QStringLiteral(", \"Tel1\" VARCHAR(30), \"Tel2\" VARCHAR(30), \"Tel3\" "
                                       "VARCHAR(30))")),
                 qPrintable(q.lastError().text()));
        QVERIFY(q.prepare(QStringLiteral("INSERT INTO contacts VALUES (?, ?, ?, ?, ?, ?, ?, ?)")));
        for (const Row& r : kRows) {
            for (const QVariant& v :
                 {text(r.id), text(r.first), text(r.last), text(r.company),
                  r.picture ? QVariant(kPicture) : QVariant(QMetaType(QMetaType::QByteArray)),
                  text(r.tel1), text(r.tel2), text(r.tel3)})
                q.addBindValue(v);
            QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
        }
        mapDefault();
    }

    void cleanup()
    {
        setupDb().close();
        QSqlDatabase::removeDatabase(QStringLiteral("setup"));
        m_rig->form->setContactLookup(nullptr);
        m_lookup.reset();
        m_rig.reset();
    }

    void searchPattern_data()
    {
        QTest::addColumn<QString>("digits");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("5 digits exact") << "12345"
                                        << "12345";
        QTest::newRow("6 digits anywhere") << "123456"
                                           << "%123456%";
        QTest::newRow("7 digits anywhere") << "0123456"
                                           << "%0123456%";
        QTest::newRow("trunk zero dropped") << "012345678"
                                            << "%1%2%3%4%5%6%7%8%";
        QTest::newRow("plus kept") << "+4930123456"
                                   << "%+%4%9%3%0%1%2%3%4%5%6%";
    }
    void searchPattern()
    {
        QFETCH(QString, digits);
        QFETCH(QString, pattern);
        QCOMPARE(ContactDatabaseLookup::searchPattern(digits), pattern);
    }

    // Formatted stored numbers, hostile caller texts and numbers nobody has,
    // all against the real table.
    void lookupByNumber_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("stored"); // empty: not found locally
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("guid");
        QTest::addColumn<QString>("extra");
        QTest::newRow("+49 form") << "+49301234567"
                                  << "+49 30 123 45 67"
                                  << "John Smith"
                                  << "k1"
                                  << "ACME";
        QTest::newRow("trunk form") << "030 1234567"
                                    << "+49 30 123 45 67"
                                    << "John Smith"
                                    << "k1"
                                    << "ACME";
        QTest::newRow("brackets, second column, no first name") << "02219876543"
                                                                << "(0221) 98 76 54-3"
                                                                << "Jones"
                                                                << "k2"
                                                                << "";
        QTest::newRow("slashes, third column") << "089 5551210"
                                               << "0 89/555 12 10"
                                               << "Max Bauer"
                                               << "k4"
                                               << "";
        QTest::newRow("short exact") << "12345"
                                     << "12345"
                                     << "Ann Lee"
                                     << "k3"
                                     << "";
        QTest::newRow("short differs") << "1234"
                                       << ""
                                       << ""
                                       << ""
                                       << "";
        QTest::newRow("quote and OR") << "0301234567' OR '1'='1"
                                      << ""
                                      << ""
                                      << ""
                                      << "";
        QTest::newRow("statement") << "1'; DROP TABLE contacts; --"
                                   << ""
                                   << ""
                                   << ""
                                   << "";
        QTest::newRow("percent") << "%"
                                 << ""
                                 << ""
                                 << ""
                                 << "";
        QTest::newRow("anonymous") << "anonymous"
                                   << ""
                                   << ""
                                   << ""
                                   << "";
    }
    void lookupByNumber()
    {
        QFETCH(QString, number);
        QFETCH(QString, stored);
        QFETCH(QString, name);
        QFETCH(QString, guid);
        QFETCH(QString, extra);
        const Answer a = lookup(number);
        QCOMPARE(a.found, !stored.isEmpty());
        QCOMPARE(a.number, stored.isEmpty() ? number : stored);
        QCOMPARE(a.name, name);
        QCOMPARE(a.guid, guid);
        QCOMPARE(a.extra, extra);
        QCOMPARE(m_rig->logged(
                     QStringLiteral("Found contact in Database for %1: %2").arg(a.number, a.name)),
                 a.found);
        // Not found locally: the reverse lookup is asked with the number as it came.
        QCOMPARE(m_reverseAsked, a.found ? QStringList() : QStringList{number});
        QVERIFY(!raisedError());
        QCOMPARE(rowCount(), int(std::size(kRows)));
    }

    // Pictures come back as a file with the column's bytes; no picture, no file.
    void pictureFile()
    {
        const Answer john = lookup(QStringLiteral("0301234567"));
        QVERIFY(!john.picture.isEmpty());
        QVERIFY(john.picture.endsWith(QLatin1String(".tmp")));
        QFile file(john.picture);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), kPicture);
        file.remove();

        const Answer ann = lookup(QStringLiteral("12345"));
        QVERIFY(ann.found);
        QCOMPARE(ann.picture, QString());
    }

    // Other mappings of the same table, including ones that must fail safely.
    void mappings_data()
    {
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("stored"); // "error": reported, nothing found
        QTest::addColumn<QString>("guid");
        QTest::newRow("field delimiter quote") << QStringList{"SQLFieldDelim=\""} << "0301234567"
                                               << "+49 30 123 45 67"
                                               << "k1";
        QTest::newRow("only Number3") << QStringList{"Number1=", "Number2="} << "0895551210"
                                      << "0 89/555 12 10"
                                      << "k4";
        QTest::newRow("only Number3 ignores others")
            << QStringList{"Number1=", "Number2="} << "0301234567"
            << ""
            << "";
        QTest::newRow("no primary key") << QStringList{"PrimKey="} << "0301234567"
                                        << "+49 30 123 45 67"
                                        << "John,Smith,ACME";
        QTest::newRow("no picture column") << QStringList{"Picture="} << "12345"
                                           << "12345"
                                           << "k3";
        QTest::newRow("missing column") << QStringList{"Number2=Mobile"} << "0301234567"
                                        << "error"
                                        << "";
        QTest::newRow("missing table") << QStringList{"DBTable=people"} << "0301234567"
                                       << "error"
                                       << "";
        QTest::newRow("delimiter inside name")
            << QStringList{"SQLFieldDelim=\"", "Number1=Tel1\" FROM contacts; --"} << "0301234567"
            << "error"
            << "";
        QTest::newRow("quote inside name")
            << QStringList{"Number1=Tel1\" IS NULL OR \"Tel1"} << "0301234567"
            << "error"
            << "";
        QTest::newRow("table with statement, delimiter set")
            << QStringList{"SQLFieldDelim=\"", "DBTable=contacts; DELETE FROM contacts"}
            << "0301234567"
            << "error"
            << "";
        QTest::newRow("bad connection string")
            << QStringList{"ConnectString=Provider=Nothing;Data Source=x"} << "0301234567"
            << "error"
            << "";
        QTest::newRow("no number column mapped")
            << QStringList{"Number1=", "Number2=", "Number3="} << "0301234567"
            << ""
            << "";
    }
    void mappings()
    {
        QFETCH(QStringList, settings);
        QFETCH(QString, number);
        QFETCH(QString, stored);
        QFETCH(QString, guid);
        for (const QString& s : settings)
            map(s);
        const Answer a = lookup(number);
        const bool error = stored == QLatin1String("error");
        QCOMPARE(a.found, !error && !stored.isEmpty());
        QCOMPARE(a.number, a.found ? stored : number);
        QCOMPARE(a.guid, guid);
        QCOMPARE(raisedError(), error);
        // A failing database ends the lookup; nothing found goes on to the reverse lookup.
        QCOMPARE(m_reverseAsked.size(), !a.found && !error ? 1 : 0);
        QCOMPARE(rowCount(), int(std::size(kRows)));
        if (!a.picture.isEmpty())
            QFile::remove(a.picture);
    }

    void generatedQuery()
    {
        map(QStringLiteral("SQLFieldDelim=\""));
        map(QStringLiteral("Number1="));
        map(QStringLiteral("Number2="));
        const QString sql = ContactDatabaseLookup::buildQuery(
            ContactMapping::fromSettings(m_rig->settings), *setupDb().driver(), nullptr);
        QCOMPARE(sql, QStringLiteral("SELECT \"ID\" AS ContactGUID, \"First\" AS FirstName, "
                                     "\"Last\" AS LastName, \"Company\" AS ExtraField, \"Photo\" "
                                     "AS Picture, \"Tel3\" AS Number3 FROM contacts WHERE "
                                     "\"Tel3\" LIKE ?"));
    }

    void sourceAndFallBack_data()
    {
        QTest::addColumn<int>("source");
        QTest::addColumn<QString>("number");
        QTest::addColumn<bool>("reverseOn");
        QTest::addColumn<QString>("reverseName");
        QTest::addColumn<QString>("name");
        QTest::newRow("database wins") << 1 << "0301234567" << true << "Rev"
                                       << "John Smith";
        QTest::newRow("database misses, reverse names") << 1 << "0409999999" << true << "Rev"
                                                        << "Rev";
        QTest::newRow("reverse off") << 1 << "0409999999" << false << "Rev"
                                     << "";
        QTest::newRow("reverse knows nothing") << 1 << "0409999999" << true << ""
                                               << "";
        QTest::newRow("no local data") << 0 << "0301234567" << true << "Rev"
                                       << "Rev";
        QTest::newRow("no digits") << 1 << "unknown" << true << "Rev"
                                   << "Rev";
    }
    void sourceAndFallBack()
    {
        QFETCH(int, source);
        QFETCH(QString, number);
        QFETCH(bool, reverseOn);
        QFETCH(QString, reverseName);
        QFETCH(QString, name);
        m_rig->form->options().setValue(QStringLiteral("cmbDataConnection"), source);
        m_rig->form->options().setValue(QStringLiteral("cbReverseLookup"), reverseOn);
        m_reverseName = reverseName;
        const Answer a = lookup(number);
        QCOMPARE(a.found, !name.isEmpty());
        QCOMPARE(a.name, name);
        QCOMPARE(m_rig->logged(QStringLiteral("Found contact by reverse lookup for %1: %2 Berlin")
                                   .arg(number, reverseName)),
                 a.found && name == reverseName);
        if (!a.picture.isEmpty())
            QFile::remove(a.picture);
    }

    // Through the controller: the caller of a ringing line is named from the
    // database, and a broken mapping leaves the call unnamed but handled.
    void incomingCallIsNamed_data()
    {
        QTest::addColumn<QString>("number2");
        QTest::addColumn<QString>("shownName");
        QTest::newRow("named") << "Tel2"
                               << "John Smith";
        QTest::newRow("broken mapping") << "Mobile"
                                        << "";
    }
    void incomingCallIsNamed()
    {
        QFETCH(QString, number2);
        QFETCH(QString, shownName);
        map(QStringLiteral("Number2=") + number2);
        QVERIFY(m_rig->monitor({0}));
        const qint32 id =
            m_rig->lines().ring(0, QStringLiteral("0301234567"), QStringLiteral("5551")).value();
        m_rig->settle();
        QVERIFY2(m_rig->logged(
                     QStringLiteral("[%1] Incoming call from: 0301234567. Callee: 5551").arg(id)),
                 qPrintable(m_rig->messages().join(QLatin1Char('\n'))));
        QCOMPARE(m_rig->logged(
                     QStringLiteral("Found contact in Database for +49 30 123 45 67: John Smith")),
                 !shownName.isEmpty());
        QCOMPARE(raisedError(), shownName.isEmpty());
        QVERIFY(!m_rig->popups.shown.isEmpty());
        QVERIFY2(
            m_rig->popups.shown.last().contains(QLatin1Char('/') + shownName + QLatin1Char('/')),
            qPrintable(m_rig->popups.shown.last()));
        const CallPtr call = m_rig->form->colCalls().Item(id);
        QCOMPARE(call->CallerName, shownName);
        if (!call->PictureFilename.isEmpty())
            QFile::remove(call->PictureFilename);
    }
};

// The same cases run on SQLite and, when PHONAVO_TEST_PG_CONNECTION names a
// server, on PostgreSQL.
int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    TestContactLookup test;
    int failures = QTest::qExec(&test, argc, argv);
    g_postgres = qEnvironmentVariable("PHONAVO_TEST_PG_CONNECTION");
    if (!g_postgres.isEmpty()) {
        qInfo("Running again on PostgreSQL");
        failures += QTest::qExec(&test, argc, argv);
    } else if (qEnvironmentVariableIsSet("PHONAVO_REQUIRE_PG")) {
        qCritical("PHONAVO_REQUIRE_PG is set but PHONAVO_TEST_PG_CONNECTION is not");
        ++failures;
    }
    return failures;
}
#include "TestContactLookup.moc"
