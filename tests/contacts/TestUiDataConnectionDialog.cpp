#include "contacts/ui/DataConnectionDialog.h"
#include "platform/db/ConnectionString.h"

#include "ControllerRig.h"
#include "Screenshot.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

namespace {

// Empty: SQLite only; else the PostgreSQL server of PHONAVO_TEST_PG_CONNECTION.
QString g_postgres;

const QStringList kColumnLists = {"cmbPrimKey", "cmbFirstName", "cmbLastName", "cmbExtraField",
                                  "cmbPicture", "cmbNumber1",   "cmbNumber2",  "cmbNumber3",
                                  "cmbNumber4", "cmbNumber5"};
// The contact manager's own table without its VoIP column, a table whose
// name has a blank, another table and a view.
const QStringList kContactsColumns = {"ContactGUID", "FirstName",  "LastName", "Company", "Picture",
                                      "TelPrivate",  "TelCompany", "Mobile",   "Fax"};

bool execAll(const QString& connectString, const QStringList& statements)
{
    const QString name = QStringLiteral("test-setup");
    bool ok = bool(ConnectionString::parse(connectString).configure(name));
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        ok = ok && db.open();
        QSqlQuery query(db);
        for (const QString& statement : statements)
            if (ok && !query.exec(statement)) {
                qWarning("%s: %s", qPrintable(statement), qPrintable(query.lastError().text()));
                ok = false;
            }
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

QStringList items(const QComboBox* list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->itemText(i);
    return texts;
}

QStringList openSchemaConnections()
{
    QStringList names = QSqlDatabase::connectionNames();
    names.removeIf(
        [](const QString& n) { return !n.startsWith(QLatin1String("phonavo-contact")); });
    return names;
}

struct Fixture
{
    ControllerRig rig;
    QString connect =
        g_postgres.isEmpty()
            ? ConnectionString::forSQLite(rig.home.file(QStringLiteral("contacts.db")))
            : g_postgres;
    std::unique_ptr<DataConnectionDialog> dialog;

    bool makeTables()
    {
        QStringList columns;
        for (const QString& c : kContactsColumns)
            columns << QLatin1Char('"') + c + QLatin1Char('"') +
                           (c == QLatin1String("Picture") ? " bytea" : " text");
        return execAll(
            connect,
            {R"(DROP VIEW IF EXISTS "ContactView")", R"(DROP TABLE IF EXISTS "Contacts")",
             R"(DROP TABLE IF EXISTS "My Contacts")", R"(DROP TABLE IF EXISTS "Addresses")",
             R"(CREATE TABLE "Contacts" ()" + columns.join(QStringLiteral(", ")) + ")",
             R"(CREATE TABLE "My Contacts" ("Id" text, "Name" text))",
             R"(CREATE TABLE "Addresses" ("Id" text, "Surname" text, "Phone" text))",
             R"(CREATE VIEW "ContactView" AS SELECT "ContactGUID", "LastName" FROM "Contacts")",
             R"(INSERT INTO "Contacts" ("ContactGUID", "LastName", "Mobile") VALUES )"
             R"(('a', 'Smith', '0171 1'), ('b', 'Jones', NULL), ('c', NULL, '030 2'))"});
    }
    void store(const QString& name, const QString& value)
    {
        rig.settings.SaveSettingHKCU(QStringLiteral("Data"), name, value);
    }
    QString stored(const QString& name) const
    {
        return rig.settings.GetSettingHKCU(QStringLiteral("Data"), name, QStringLiteral("<unset>"))
            .toString();
    }
    DataConnectionDialog& open()
    {
        dialog = std::make_unique<DataConnectionDialog>(*rig.form);
        dialog->load();
        dialog->show();
        return *dialog;
    }
    template <typename T = QComboBox> T* child(const QString& name) const
    {
        return dialog->findChild<T*>(name);
    }
    void select(const QString& list, const QString& text) const
    {
        QComboBox* combo = child(list);
        combo->setCurrentIndex(combo->findText(text));
    }
    void click(const char* button) const
    {
        child<QPushButton>(QString::fromLatin1(button))->click();
    }
    bool told(const QString& text) const
    {
        const QStringList shown = rig.dialogs.shown();
        return std::any_of(shown.cbegin(), shown.cend(),
                           [&](const QString& box) { return box.startsWith(text); });
    }
    // Selects the table and the given columns (every other list "(none)").
    void map(const QMap<QString, QString>& columns) const
    {
        for (const QString& list : kColumnLists)
            select(list, columns.value(list, QStringLiteral("(none)")));
    }
};

} // namespace

class TestUiDataConnectionDialog : public QObject
{
    Q_OBJECT

private slots:
    void opensTheStoredMappingOnItsOwnConnection()
    {
        Fixture f;
        QVERIFY(f.makeTables());
        f.store(QStringLiteral("ConnectString"), f.connect);
        f.store(QStringLiteral("DBTable"), QStringLiteral("Contacts"));
        f.store(QStringLiteral("LastName"), QStringLiteral("LastName"));
        f.store(QStringLiteral("Number3"), QStringLiteral("Mobile"));
        f.store(QStringLiteral("Number4"), QStringLiteral("NoSuchColumn"));
        f.store(QStringLiteral("CaptionNumber3"), QStringLiteral("Handy"));
        f.open();
        QCOMPARE(openSchemaConnections().size(), 1);
        QCOMPARE(f.child<QLineEdit>("txtConnectString")->text(), f.connect);

        // Tables, then views.
        const QStringList tables = items(f.child("cmbDBTable"));
        if (g_postgres.isEmpty())
            QCOMPARE(tables, (QStringList{"Addresses", "Contacts", "My Contacts", "ContactView"}));
        QVERIFY(tables.indexOf("ContactView") > tables.indexOf("My Contacts"));
        QCOMPARE(f.child("cmbDBTable")->currentText(), QStringLiteral("Contacts"));

        for (const QString& list : kColumnLists) {
            QVERIFY2(f.child(list)->isEnabled(), qPrintable(list));
            QCOMPARE(items(f.child(list)), QStringList{"(none)"} + kContactsColumns);
        }
        QCOMPARE(f.child("cmbLastName")->currentText(), QStringLiteral("LastName"));
        QCOMPARE(f.child("cmbNumber3")->currentText(), QStringLiteral("Mobile"));
        QCOMPARE(f.child("cmbNumber4")->currentText(), QStringLiteral("(none)"));
        QCOMPARE(f.child("cmbFirstName")->currentText(), QStringLiteral("(none)"));
        QCOMPARE(f.child<QLineEdit>("txtCaptionNumber3")->text(), QStringLiteral("Handy"));
        QCOMPARE(f.child<QLineEdit>("txtCaptionExtrainfo")->text(), QStringLiteral("Extra info"));
        saveScreenshot(*f.dialog, QStringLiteral("frmDataConnection"));

        f.click("btnCancel");
        QVERIFY(openSchemaConnections().isEmpty());
        QCOMPARE(f.stored(QStringLiteral("FirstName")), QStringLiteral("<unset>"));
    }

    void aTableNameWithABlankIsRefused()
    {
        Fixture f;
        QVERIFY(f.makeTables());
        f.store(QStringLiteral("ConnectString"), f.connect);
        f.store(QStringLiteral("DBTable"), QStringLiteral("Addresses"));
        f.store(QStringLiteral("LastName"), QStringLiteral("Surname"));
        f.open();
        f.select("cmbDBTable", QStringLiteral("My Contacts"));
        QCOMPARE(f.rig.dialogs.shown(), QStringList{"No whitespaces allowed in table name"});
        QCOMPARE(f.child("cmbDBTable")->currentText(), QStringLiteral("Addresses"));
        QCOMPARE(items(f.child("cmbLastName")), (QStringList{"(none)", "Id", "Surname", "Phone"}));
        QCOMPARE(f.child("cmbLastName")->currentText(), QStringLiteral("Surname"));

        // Another table shows its own columns and the stored choices where they fit.
        f.select("cmbDBTable", QStringLiteral("Contacts"));
        QCOMPARE(items(f.child("cmbNumber1")), QStringList{"(none)"} + kContactsColumns);
        QCOMPARE(f.child("cmbLastName")->currentText(), QStringLiteral("(none)"));
        f.map(
            {{"cmbPrimKey", "ContactGUID"}, {"cmbFirstName", "FirstName"}, {"cmbNumber1", "Fax"}});
        QVERIFY(f.child<QPushButton>("btnSave")->isEnabled());
        f.click("btnSave");
        QCOMPARE(f.stored(QStringLiteral("DBTable")), QStringLiteral("Contacts"));
    }

    void savingStoresEveryListAndEveryCaption()
    {
        Fixture f;
        QVERIFY(f.makeTables());
        f.store(QStringLiteral("ConnectString"), f.connect);
        f.store(QStringLiteral("DBTable"), QStringLiteral("Contacts"));
        f.store(QStringLiteral("FirstName"), QStringLiteral("FirstName"));
        f.store(QStringLiteral("Number1"), QStringLiteral("TelPrivate"));
        f.store(QStringLiteral("Picture"), QStringLiteral("Picture"));
        f.open();
        f.map(
            {{"cmbPrimKey", "ContactGUID"}, {"cmbLastName", "LastName"}, {"cmbNumber3", "Mobile"}});
        f.child<QLineEdit>("txtCaptionNumber3")->setText(QStringLiteral("Cell"));
        f.click("btnSave");
        QCOMPARE(f.dialog->result(), int(QDialog::Accepted));
        QVERIFY(openSchemaConnections().isEmpty());
        const QMap<QString, QString> expected = {{"ConnectString", f.connect},
                                                 {"DBTable", "Contacts"},
                                                 {"PrimKey", "ContactGUID"},
                                                 {"FirstName", ""},
                                                 {"LastName", "LastName"},
                                                 {"ExtraField", ""},
                                                 {"Picture", ""},
                                                 {"Number1", ""},
                                                 {"Number2", ""},
                                                 {"Number3", "Mobile"},
                                                 {"Number4", ""},
                                                 {"Number5", ""},
                                                 {"CaptionFirstName", "First Name"},
                                                 {"CaptionExtraInfo", "Extra info"},
                                                 {"CaptionNumber3", "Cell"},
                                                 {"CaptionNumber5", "Number 5"}};
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QCOMPARE(f.stored(it.key()), it.value());
        QVERIFY(f.rig.dialogs.shown().isEmpty());
    }

    void savingIsRefusedWithoutKeyNameOrNumber_data()
    {
        QTest::addColumn<QStringList>("mapped"); // list, column, list, column, ...
        QTest::addColumn<QString>("refusal");
        QTest::newRow("no key") << QStringList{"cmbLastName", "LastName", "cmbNumber1", "Fax"}
                                << "Please select the primary key of the table";
        QTest::newRow("no name") << QStringList{"cmbPrimKey", "ContactGUID", "cmbExtraField",
                                                "Company",    "cmbNumber1",  "Fax"}
                                 << "Please select at least a firstname or lastname";
        QTest::newRow("no number")
            << QStringList{"cmbPrimKey", "ContactGUID", "cmbFirstName", "FirstName"}
            << "Please select at least one field for a number";
    }

    void savingIsRefusedWithoutKeyNameOrNumber()
    {
        QFETCH(QStringList, mapped);
        QFETCH(QString, refusal);
        Fixture f;
        QVERIFY(f.makeTables());
        f.store(QStringLiteral("ConnectString"), f.connect);
        f.open();
        QCOMPARE(f.child("cmbDBTable")->currentText(), QStringLiteral("Addresses"));
        f.select("cmbDBTable", QStringLiteral("Contacts"));
        QMap<QString, QString> columns;
        for (int i = 0; i + 1 < mapped.size(); i += 2)
            columns.insert(mapped[i], mapped[i + 1]);
        f.map(columns);
        f.click("btnSave");
        QVERIFY2(f.told(refusal), qPrintable(f.rig.dialogs.shown().join('|')));
        QVERIFY(f.dialog->isVisible());
        for (const char* name : {"DBTable", "PrimKey", "FirstName", "LastName", "ExtraField",
                                 "Number1", "CaptionFirstName"})
            QCOMPARE(f.stored(QString::fromLatin1(name)), QStringLiteral("<unset>"));
        QCOMPARE(f.stored(QStringLiteral("ConnectString")), f.connect);
    }

    void defaultCaptionsSelectTheManagersColumnsWhereTheTableHasThem()
    {
        Fixture f;
        QVERIFY(f.makeTables());
        f.store(QStringLiteral("ConnectString"), f.connect);
        f.store(QStringLiteral("DBTable"), QStringLiteral("Contacts"));
        f.store(QStringLiteral("CaptionFirstName"), QStringLiteral("Given"));
        f.open();
        f.select("cmbNumber5", QStringLiteral("Fax"));
        f.rig.dialogs.queueAnswer(MsgResult::No);
        f.click("btnDefaultCaptions");
        QCOMPARE(f.child("cmbPrimKey")->currentText(), QStringLiteral("(none)"));
        QCOMPARE(f.child<QLineEdit>("txtCaptionFirstName")->text(), QStringLiteral("Given"));

        f.rig.dialogs.queueAnswer(MsgResult::Yes);
        f.click("btnDefaultCaptions");
        QCOMPARE(f.rig.dialogs.shown(),
                 QStringList(2, "Set all fields to their default caption and value?"));
        QCOMPARE(f.child<QLineEdit>("txtCaptionFirstName")->text(), QStringLiteral("First Name"));
        QStringList selected;
        for (const QString& list : kColumnLists)
            selected << f.child(list)->currentText();
        // No VoIP column: cmbNumber5 keeps what it had.
        QCOMPARE(selected,
                 (QStringList{"ContactGUID", "FirstName", "LastName", "Company", "Picture",
                              "TelPrivate", "TelCompany", "Mobile", "Fax", "Fax"}));
    }

    void testCountsTheContactsAndFindsAMissingColumn()
    {
        Fixture f;
        QVERIFY(f.makeTables());
        f.store(QStringLiteral("ConnectString"), f.connect);
        f.store(QStringLiteral("DBTable"), QStringLiteral("Contacts"));
        f.store(QStringLiteral("PrimKey"), QStringLiteral("ContactGUID"));
        f.store(QStringLiteral("Number3"), QStringLiteral("Mobile"));
        f.store(QStringLiteral("Picture"), QStringLiteral("Picture"));
        f.open();
        f.click("btnTest");
        QCOMPARE(f.rig.dialogs.shown(), QStringList{"Found 3 contacts"});
        QCOMPARE(openSchemaConnections().size(), 1); // the test's own one is gone again

        // The table changes under the open dialog.
        QVERIFY(execAll(f.connect, {R"(ALTER TABLE "Contacts" RENAME COLUMN "Mobile" TO "Cell")"}));
        f.click("btnTest");
        QCOMPARE(f.rig.dialogs.shown().size(), 2);
        QVERIFY2(f.rig.dialogs.shown().last().contains(QLatin1String("\"Mobile\"")),
                 qPrintable(f.rig.dialogs.shown().last()));
        QCOMPARE(openSchemaConnections().size(), 1);
    }

    void theWizardsStringReplacesTablesAndColumns()
    {
        Fixture f;
        QVERIFY(f.makeTables());
        f.store(QStringLiteral("ConnectString"), f.connect);
        f.store(QStringLiteral("DBTable"), QStringLiteral("Contacts"));
        DataConnectionDialog& dialog = f.open();
        const QString other =
            ConnectionString::forSQLite(f.rig.home.file(QStringLiteral("other.db")));
        QVERIFY(execAll(other, {R"(CREATE TABLE "People" ("Key" text, "Tel" text))"}));
        QString asked;
        dialog.setConnectionPrompt([&](QWidget* parent, const QString& current) {
            asked = parent == &dialog ? current : QString();
            return other;
        });
        f.click("btnConnectStringWizard");
        QCOMPARE(asked, f.connect);
        QCOMPARE(f.child<QLineEdit>("txtConnectString")->text(), other);
        QCOMPARE(items(f.child("cmbDBTable")), QStringList{"People"});
        QCOMPARE(items(f.child("cmbNumber2")), (QStringList{"(none)", "Key", "Tel"}));
        QCOMPARE(openSchemaConnections().size(), 1);
    }

    void aConnectionThatDoesNotOpenLeavesTheListsEmpty_data()
    {
        QTest::addColumn<QString>("connect");
        QTest::addColumn<QString>("report");
        QTest::newRow("missing file") << "Provider=SQLite;Data Source=%1/nowhere.db"
                                      << "Unable to open database: ";
        QTest::newRow("unknown provider")
            << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1/contacts.mdb"
            << "Unable to open database: Unknown database provider";
    }

    void aConnectionThatDoesNotOpenLeavesTheListsEmpty()
    {
        QFETCH(QString, connect);
        QFETCH(QString, report);
        Fixture f;
        f.store(QStringLiteral("ConnectString"), connect.arg(f.rig.home.path()));
        f.store(QStringLiteral("LastName"), QStringLiteral("LastName"));
        f.open();
        QVERIFY2(f.told(report), qPrintable(f.rig.dialogs.shown().join('|')));
        QCOMPARE(f.child("cmbDBTable")->count(), 0);
        QVERIFY(!f.child("cmbDBTable")->isEnabled());
        for (const QString& list : kColumnLists)
            QCOMPARE(f.child(list)->count(), 0);
        QVERIFY(!QFile::exists(f.rig.home.file(QStringLiteral("nowhere.db"))));
        QVERIFY(openSchemaConnections().isEmpty());
        f.click("btnSave");
        QVERIFY(f.told(QStringLiteral("Please select the primary key of the table")));
        QCOMPARE(f.stored(QStringLiteral("LastName")), QStringLiteral("LastName"));
    }
};

// The same cases run on SQLite and, when PHONAVO_TEST_PG_CONNECTION names a
// server, on PostgreSQL.
int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    TestUiDataConnectionDialog test;
    int failures = QTest::qExec(&test, argc, argv);
    g_postgres = qEnvironmentVariable("PHONAVO_TEST_PG_CONNECTION");
    if (!g_postgres.isEmpty()) {
        qInfo("Running again on PostgreSQL");
        failures += QTest::qExec(&test, argc, argv);
    }
    return failures;
}
#include "TestUiDataConnectionDialog.moc"
