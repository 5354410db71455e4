#include "contacts/lookup/NumberLookup.h"
#include "contacts/manager/ContactsDatabase.h"
#include "platform/AppPaths.h"
#include "platform/db/ConnectionString.h"

#include "ControllerRig.h"
#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

namespace {

ManagedContact person(const char* first, const char* last, const char* company,
                      std::array<const char*, 5> numbers = {})
{
    ManagedContact c;
    c.firstName = QString::fromUtf8(first);
    c.lastName = QString::fromUtf8(last);
    c.company = QString::fromUtf8(company);
    for (size_t i = 0; i < numbers.size(); ++i)
        c.numbers[i] = QString::fromUtf8(numbers[i]);
    return c;
}

QStringList columnsOf(const QString& file)
{
    QStringList names;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peek"));
        db.setDatabaseName(file);
        if (db.open()) {
            const QSqlRecord record = db.record(QStringLiteral("Contacts"));
            for (int i = 0; i < record.count(); ++i)
                names << record.fieldName(i);
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("peek"));
    return names;
}

bool runSql(const QString& file, const QString& sql)
{
    bool ok = false;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        db.setDatabaseName(file);
        ok = db.open() && QSqlQuery(db).exec(sql);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    return ok;
}

} // namespace

class TestContactsDatabase : public QObject
{
    Q_OBJECT

private slots:
    // A missing file is made with the table; an older table gains the
    // optional columns and keeps its rows.
    void createsOrCompletesTheTable_data()
    {
        QTest::addColumn<QString>("existing"); // SQL run on the file first; empty: no file
        QTest::addColumn<int>("rows");
        QTest::newRow("new file in a new folder") << QString() << 0;
        QTest::newRow("table without Email and Notes")
            << QStringLiteral("CREATE TABLE Contacts (ContactGUID TEXT PRIMARY KEY, FirstName "
                              "TEXT, LastName TEXT, Company TEXT, Picture BLOB, TelPrivate TEXT, "
                              "TelCompany TEXT, Mobile TEXT, Fax TEXT, VoIP TEXT); INSERT INTO "
                              "Contacts (ContactGUID, LastName) VALUES ('k1', 'Old')")
            << 1;
    }
    void createsOrCompletesTheTable()
    {
        QFETCH(QString, existing);
        QFETCH(int, rows);
        TestHome home;
        const QString file = home.file(QStringLiteral("sub/dir/contacts.db"));
        if (!existing.isEmpty()) {
            QVERIFY(QDir().mkpath(home.file(QStringLiteral("sub/dir"))));
            for (const QString& sql : existing.split(QStringLiteral("; ")))
                QVERIFY(runSql(file, sql));
        }
        {
            ContactsDatabase db(file);
            const auto opened = db.open();
            QVERIFY2(opened, qPrintable(opened.error()));
            QCOMPARE(db.list().value().size(), rows);
        }
        // A new table has its picture last; an older one keeps its order.
        QStringList columns = columnsOf(file);
        QCOMPARE(columns.indexOf("Picture"), existing.isEmpty() ? columns.size() - 1 : 4);
        columns.sort();
        QCOMPARE(columns,
                 (QStringList{"Company", "ContactGUID", "Email", "Fax", "FirstName", "LastName",
                              "Mobile", "Notes", "Picture", "TelCompany", "TelPrivate", "VoIP"}));
    }

    // Files that cannot be the contact database are reported and left alone.
    void badFilesAreReportedAndKept_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("a folder") << QStringLiteral("folder");
        QTest::newRow("not a database") << QStringLiteral("text");
        QTest::newRow("table lacks a number column") << QStringLiteral("table");
        QTest::newRow("folder cannot be made") << QStringLiteral("parent is a file");
    }
    void badFilesAreReportedAndKept()
    {
        QFETCH(QString, kind);
        TestHome home;
        QString file = home.file(QStringLiteral("contacts.db"));
        const QByteArray text = "BEGIN:VCARD this is no database\n";
        if (kind == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(file));
        else if (kind == QLatin1String("text"))
            home.write(QStringLiteral("contacts.db"), text);
        else if (kind == QLatin1String("table"))
            QVERIFY(runSql(file, QStringLiteral("CREATE TABLE Contacts (ContactGUID TEXT, "
                                                "FirstName TEXT, LastName TEXT)")));
        else {
            home.write(QStringLiteral("plain"), text);
            file = home.file(QStringLiteral("plain/contacts.db"));
        }
        const QByteArray before = home.read(QStringLiteral("contacts.db"));
        ContactsDatabase db(file);
        const auto opened = db.open();
        QVERIFY(!opened);
        QVERIFY2(opened.error().contains(file), qPrintable(opened.error()));
        QVERIFY(!db.isOpen());
        QVERIFY(!db.list());
        ManagedContact c = person("A", "B", "");
        QVERIFY(!db.insert(c));
        QCOMPARE(home.read(QStringLiteral("contacts.db")), before);
    }

    void insertGetUpdateRemove()
    {
        TestHome home;
        ContactsDatabase db(home.file(QStringLiteral("contacts.db")));
        QVERIFY(db.open());
        ManagedContact john = person("John", "Smith", "ACME", {"+49 30 1234567", "", "0171 555"});
        john.picture = QByteArray("\x89PNG\0\x01", 6);
        john.email = QStringLiteral("john@example.org");
        john.notes = QStringLiteral("line 1\nline 2 'quoted'; DROP TABLE Contacts");
        ManagedContact ann = person("Ann", "Lee", "");
        const auto first = db.insert(john);
        const auto second = db.insert(ann);
        QVERIFY(first && second);
        QCOMPARE(john.guid, first.value());
        QVERIFY(QUuid::fromString(john.guid).isNull() == false);
        QVERIFY(!john.guid.contains(QLatin1Char('{')));
        QVERIFY(john.guid != ann.guid);

        const auto got = db.get(john.guid);
        QVERIFY(got && got.value());
        const ManagedContact& back = *got.value();
        QCOMPARE(back.displayName(), QStringLiteral("John Smith"));
        QCOMPARE(back.company, john.company);
        QCOMPARE(back.numbers, john.numbers);
        QCOMPARE(back.picture, john.picture);
        QCOMPARE(back.email, john.email);
        QCOMPARE(back.notes, john.notes);

        ManagedContact changed = back;
        changed.numbers[4] = QStringLiteral("sip:john@example.org");
        changed.picture.clear();
        QCOMPARE(db.update(changed).value(), true);
        QCOMPARE(db.get(john.guid).value()->numbers[4], changed.numbers[4]);
        QVERIFY(db.get(john.guid).value()->picture.isEmpty());

        ManagedContact ghost = changed;
        ghost.guid = QStringLiteral("no-such-key");
        QCOMPARE(db.update(ghost).value(), false);
        QCOMPARE(db.remove(ghost.guid).value(), false);
        QVERIFY(!db.get(ghost.guid).value());

        QCOMPARE(db.remove(john.guid).value(), true);
        QVERIFY(!db.get(john.guid).value());
        QCOMPARE(db.list().value().size(), 1);
    }

    // Names, companies and numbers as typed; numbers also digit by digit.
    void search_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<QStringList>("found");
        QTest::newRow("empty lists all, by name")
            << QString() << QStringList{"ACME Ltd", "Ann Lee", "John Smith", "Max Bauer"};
        QTest::newRow("part of a last name, any case") << "smi" << QStringList{"John Smith"};
        QTest::newRow("full name") << "john smith" << QStringList{"John Smith"};
        QTest::newRow("company") << "acme" << QStringList{"ACME Ltd", "John Smith"};
        QTest::newRow("number with trunk zero") << "030 12" << QStringList{"John Smith"};
        QTest::newRow("international form") << "+49 30 1234" << QStringList{"John Smith"};
        QTest::newRow("number with separators") << "089/555-12" << QStringList{"Max Bauer"};
        QTest::newRow("number as stored") << "(0221)" << QStringList{"Ann Lee"};
        QTest::newRow("digits of several") << "55" << QStringList{"ACME Ltd", "Max Bauer"};
        QTest::newRow("name with digit is no number") << "Smith 1" << QStringList{};
        QTest::newRow("nobody") << "Zed" << QStringList{};
    }
    void search()
    {
        QFETCH(QString, search);
        QFETCH(QStringList, found);
        TestHome home;
        ContactsDatabase db(home.file(QStringLiteral("contacts.db")));
        QVERIFY(db.open());
        for (ManagedContact c : {person("John", "Smith", "ACME", {"+49 30 1234567"}),
                                 person("Ann", "Lee", "", {"", "(0221) 98 76 54-3"}),
                                 person("Max", "Bauer", "", {"", "", "0 89/555 12 10"}),
                                 person("", "", "ACME Ltd", {"", "", "", "", "5500"})})
            QVERIFY(db.insert(c));
        const auto listed = db.list(search);
        QVERIFY(listed);
        QStringList names;
        for (const ManagedContact& c : listed.value())
            names << c.displayName();
        QCOMPARE(names, found);
    }

    // The default mapping is written only where the user has none, and its
    // connection string keeps any path whole.
    void defaultMapping_data()
    {
        QTest::addColumn<QString>("configured");
        QTest::addColumn<QString>("fileName");
        QTest::newRow("none configured") << QString() << QStringLiteral("contacts.db");
        QTest::newRow("path with ; and quotes") << QString() << QStringLiteral("a;b \"c\".db");
        QTest::newRow("own database kept")
            << QStringLiteral("Provider=SQLite;Data Source=/srv/people.db")
            << QStringLiteral("contacts.db");
    }
    void defaultMapping()
    {
        QFETCH(QString, configured);
        QFETCH(QString, fileName);
        TestHome home;
        const QString path = home.file(fileName);
        SettingsStore settings(home.file(QStringLiteral("user.reg")),
                               home.file(QStringLiteral("machine.reg")));
        if (!configured.isEmpty())
            settings.SaveSettingHKCU(QStringLiteral("Data"), QStringLiteral("ConnectString"),
                                     configured);
        QCOMPARE(writeDefaultContactMapping(settings, path), configured.isEmpty());
        const auto data = [&](const char* name) {
            return settings
                .GetSettingHKCU(QStringLiteral("Data"), QString::fromLatin1(name), QString())
                .toString();
        };
        if (!configured.isEmpty()) {
            QCOMPARE(data("ConnectString"), configured);
            QCOMPARE(data("DBTable"), QString());
            return;
        }
        const ConnectionString cs = ConnectionString::parse(data("ConnectString"));
        QCOMPARE(cs.engine(), ConnectionString::Engine::SQLite);
        QCOMPARE(cs.value(QStringLiteral("Data Source")), path);
        const QStringList expected = {"Contacts", "ContactGUID", "FirstName",  "LastName",
                                      "Company",  "Picture",     "TelPrivate", "TelCompany",
                                      "Mobile",   "Fax",         "VoIP"};
        QStringList mapped;
        for (const char* name : {"DBTable", "PrimKey", "FirstName", "LastName", "ExtraField",
                                 "Picture", "Number1", "Number2", "Number3", "Number4", "Number5"})
            mapped << data(name);
        QCOMPARE(mapped, expected);
    }

    // What the manager saves, the program's own lookup finds with the mapping
    // a new installation gets.
    void lookupFindsSavedContacts_data()
    {
        QTest::addColumn<QString>("path"); // empty: the shipped database at start-up
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("stored");
        QTest::newRow("shipped, private number") << QString() << "0301234567"
                                                 << "+49 30 1234567";
        QTest::newRow("shipped, VoIP column") << QString() << "4930777888"
                                              << "+49 30 777 888";
        QTest::newRow("path with ;") << QStringLiteral("odd;name/contacts.db") << "030 1234567"
                                     << "+49 30 1234567";
    }
    void lookupFindsSavedContacts()
    {
        QFETCH(QString, path);
        QFETCH(QString, number);
        QFETCH(QString, stored);
        ControllerRig rig;
        if (path.isEmpty()) {
            QStringList lines;
            prepareShippedContactDatabase(rig.settings, rig.loc,
                                          [&lines](const QString& l) { lines << l; });
            path = ContactsDatabase::defaultPath();
            QCOMPARE(path, AppPaths::installDir() + QStringLiteral("contacts.db"));
            QVERIFY(lines.contains(QStringLiteral("Contact database created: ") + path));
        } else {
            path = rig.home.file(path);
            QVERIFY(writeDefaultContactMapping(rig.settings, path));
        }
        ContactsDatabase db(path);
        QVERIFY(db.open());
        ManagedContact john = person("John", "Smith", "ACME", {"+49 30 1234567"});
        john.numbers[4] = QStringLiteral("+49 30 777 888");
        QVERIFY(db.insert(john));
        QVERIFY(QFileInfo(path).isFile());

        QStringList reverse;
        NumberLookup lookup(*rig.form, [&reverse](const QString& n, QString&, QString&, QString&) {
            reverse << n;
            return false;
        });
        QString found = number, guid, name, picture, extra;
        QVariant contact;
        QVERIFY(lookup.LookupNumber(found, guid, name, picture, extra, contact));
        QCOMPARE(found, stored);
        QCOMPARE(guid, john.guid);
        QCOMPARE(name, QStringLiteral("John Smith"));
        QCOMPARE(extra, QStringLiteral("ACME"));
        QVERIFY(
            rig.logged(QStringLiteral("Found contact in Database for %1: John Smith").arg(stored)));
        QVERIFY(reverse.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestContactsDatabase)
#include "TestContactsDatabase.moc"
