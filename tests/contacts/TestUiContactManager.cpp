#include "contacts/addressbook/VCard.h"
#include "contacts/manager/ContactsDatabase.h"
#include "contacts/manager/ManagerCommandLine.h"
#include "contacts/manager/ui/ContactManagerWindow.h"
#include "loc/LocGuru.h"
#include "shell/dialogs/ScriptedDialogs.h"

#include "Screenshot.h"
#include "TestHome.h"

#include <QAction>
#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace {

// The window on a database of its own, with scripted boxes and file prompts.
struct ManagerRig
{
    TestHome home;
    LocGuru loc;
    QStringList logged;
    ScriptedDialogs dialogs;
    ContactsDatabase db{home.file(QStringLiteral("contacts.db"))};
    std::unique_ptr<ContactManagerWindow> window;
    QString pictureFile;
    QStringList importFiles;
    QString exportFile;

    ManagerRig()
    {
        if (!db.open())
            qFatal("contact database not opened");
    }
    ContactManagerWindow& open()
    {
        window = std::make_unique<ContactManagerWindow>(
            db, dialogs, loc, [this](const QString& line) { logged << line; });
        window->setFilePrompts({[this] { return pictureFile; }, [this] { return importFiles; },
                                [this] { return exportFile; }});
        window->show();
        return *window;
    }
    template <typename T> T* child(const char* name)
    {
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }
    QString text(const char* name) { return child<QLineEdit>(name)->text(); }
    void type(const char* name, const QString& value)
    {
        QLineEdit* edit = child<QLineEdit>(name);
        edit->selectAll();
        QTest::keyClicks(edit, value);
    }
    void click(const char* name) { child<QPushButton>(name)->click(); }
    QStringList listed()
    {
        QStringList names;
        auto* list = child<QListWidget>("lstContacts");
        for (int i = 0; i < list->count(); ++i)
            names << list->item(i)->text();
        return names;
    }
    QString lastBox() const
    {
        return dialogs.history().isEmpty() ? QString() : dialogs.history().last().prompt;
    }
    QString add(ManagedContact c) { return db.insert(c).value(); }
};

ManagedContact person(const QString& first, const QString& last, const QString& number)
{
    ManagedContact c;
    c.firstName = first;
    c.lastName = last;
    c.numbers[0] = number;
    return c;
}

QByteArray pngBytes()
{
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace

class TestUiContactManager : public QObject
{
    Q_OBJECT

private slots:
    // The ways callers hand over the same command, and what is made of it.
    void commandLines_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("action");
        QTest::addColumn<QStringList>("values"); // number, name, extra, guid
        QTest::addColumn<int>("warnings");
        const int List = int(ManagerCommandLine::Action::List);
        const int New = int(ManagerCommandLine::Action::New);
        const int Open = int(ManagerCommandLine::Action::Open);
        const int Help = int(ManagerCommandLine::Action::Help);
        const QStringList smith = {"030 123", "John Smith", "ACME", ""};
        QTest::newRow("none") << QStringList{} << List << QStringList{"", "", "", ""} << 0;
        QTest::newRow("split by a shell")
            << QStringList{"/command=new", "/number=030 123", "/name=John Smith", "/extra=ACME"}
            << New << smith << 0;
        QTest::newRow("split at every blank, quotes kept")
            << QStringList{"/command=new", "/number=\"030", "123\"",
                           "/name=\"John", "Smith\"",       "/extra=\"ACME\""}
            << New << smith << 0;
        QTest::newRow("one argument")
            << QStringList{"/command=new /number=\"030 123\" /name=\"John Smith\" /extra=\"ACME\""}
            << New << smith << 0;
        QTest::newRow("empty quotes and missing values")
            << QStringList{"/COMMAND=New", "/number=\"5551\"", "/name=\"\"", "/extra"} << New
            << QStringList{"5551", "", "", ""} << 0;
        QTest::newRow("open") << QStringList{"/command=open", "/guid=abc-1"} << Open
                              << QStringList{"", "", "", "abc-1"} << 0;
        QTest::newRow("open without key")
            << QStringList{"/command=open", "/guid="} << List << QStringList{"", "", "", ""} << 1;
        QTest::newRow("unknown command and arguments")
            << QStringList{"stray", "/command=dial", "/colour=red"} << List
            << QStringList{"", "", "", ""} << 3;
        QTest::newRow("help") << QStringList{"--help", "/command=new"} << Help
                              << QStringList{"", "", "", ""} << 0;
    }
    void commandLines()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, action);
        QFETCH(QStringList, values);
        QFETCH(int, warnings);
        const ManagerCommandLine c = ManagerCommandLine::parse(arguments);
        QCOMPARE(int(c.action), action);
        QCOMPARE((QStringList{c.number, c.name, c.extra, c.guid}), values);
        QCOMPARE(c.warnings.size(), warnings);
    }

    void nameSplit_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::newRow("two words") << "John Smith"
                                   << "John"
                                   << "Smith";
        QTest::newRow("at the last blank") << " Anna  Maria Meier "
                                           << "Anna Maria"
                                           << "Meier";
        QTest::newRow("one word is a last name") << "Smith"
                                                 << ""
                                                 << "Smith";
        QTest::newRow("last name first") << "Meier, Hans Peter"
                                         << "Hans Peter"
                                         << "Meier";
        QTest::newRow("empty") << ""
                               << ""
                               << "";
    }
    void nameSplit()
    {
        QFETCH(QString, name);
        QFETCH(QString, first);
        QFETCH(QString, last);
        const SplitName split = splitPersonName(name);
        QCOMPARE(split.first, first);
        QCOMPARE(split.last, last);
    }

    // /command=new shows the caller for editing; only Save stores it, and the
    // saved contact is then the one in the list.
    void newContactFromACall()
    {
        ManagerRig rig;
        rig.add(person(QStringLiteral("Ann"), QStringLiteral("Lee"), QStringLiteral("12345")));
        ContactManagerWindow& w = rig.open();
        QVERIFY(w.apply(ManagerCommandLine::parse(
            {"/command=new", "/number=+49 30 1234567", "/name=John Smith", "/extra=ACME"})));
        QCOMPARE(rig.text("txtFirstName"), QStringLiteral("John"));
        QCOMPARE(rig.text("txtLastName"), QStringLiteral("Smith"));
        QCOMPARE(rig.text("txtCompany"), QStringLiteral("ACME"));
        QCOMPARE(rig.text("txtTelPrivate"), QStringLiteral("+49 30 1234567"));
        QVERIFY(w.isModified());
        QCOMPARE(rig.db.list().value().size(), 1);
        saveScreenshot(w, QStringLiteral("frmContactManager-new"), false);

        rig.click("btnSave");
        QVERIFY(!w.isModified());
        const auto saved = rig.db.list(QStringLiteral("0301234567")).value();
        QCOMPARE(saved.size(), 1);
        QCOMPARE(saved.first().guid, w.currentGuid());
        QCOMPARE(saved.first().company, QStringLiteral("ACME"));
        QCOMPARE(rig.listed(), (QStringList{"Ann Lee", "John Smith"}));
        QCOMPARE(rig.child<QListWidget>("lstContacts")->currentItem()->text(),
                 QStringLiteral("John Smith"));
        QVERIFY(rig.logged.contains(QStringLiteral("Contact saved: John Smith")));
    }

    void openByKey_data()
    {
        QTest::addColumn<bool>("known");
        QTest::newRow("known key") << true;
        QTest::newRow("unknown key") << false;
    }
    void openByKey()
    {
        QFETCH(bool, known);
        ManagerRig rig;
        const QString guid =
            rig.add(person(QStringLiteral("Ann"), QStringLiteral("Lee"), QStringLiteral("12345")));
        ContactManagerWindow& w = rig.open();
        const QString asked = known ? guid : QStringLiteral("4711-gone");
        QCOMPARE(w.apply(ManagerCommandLine::parse({"/command=open", "/guid=" + asked})), known);
        QCOMPARE(rig.text("txtLastName"), known ? QStringLiteral("Lee") : QString());
        QCOMPARE(w.currentGuid(), known ? guid : QString());
        QCOMPARE(rig.dialogs.history().size(), known ? 0 : 1);
        if (!known) {
            QCOMPARE(rig.lastBox(), QStringLiteral("There is no contact with the key 4711-gone."));
            QVERIFY(rig.logged.contains(rig.lastBox()));
        }
        QCOMPARE(rig.listed(), QStringList{"Ann Lee"});
    }

    // Edits reach the database by Save, or by the question when the user
    // moves on; Delete asks first.
    void editSaveAndDelete()
    {
        ManagerRig rig;
        const QString ann =
            rig.add(person(QStringLiteral("Ann"), QStringLiteral("Lee"), QStringLiteral("12345")));
        const QString max =
            rig.add(person(QStringLiteral("Max"), QStringLiteral("Bauer"), QStringLiteral("089")));
        ContactManagerWindow& w = rig.open();
        QVERIFY(w.openContact(ann));
        rig.type("txtMobile", QStringLiteral("0171 5551234"));
        rig.child<QPlainTextEdit>("txtNotes")->setPlainText(QStringLiteral("met at the fair"));
        rig.click("btnSave");
        auto stored = rig.db.get(ann).value();
        QCOMPARE(stored->numbers[2], QStringLiteral("0171 5551234"));
        QCOMPARE(stored->notes, QStringLiteral("met at the fair"));

        // Unsaved edit, another contact chosen: "Yes" saves it.
        rig.type("txtCompany", QStringLiteral("Lee & Co"));
        QVERIFY(w.isModified());
        rig.dialogs.queueAnswer(MsgResult::Yes);
        auto* list = rig.child<QListWidget>("lstContacts");
        list->setCurrentRow(int(rig.listed().indexOf(QStringLiteral("Max Bauer"))));
        QCOMPARE(rig.lastBox(), QStringLiteral("Save the changes to Ann Lee?"));
        QCOMPARE(rig.db.get(ann).value()->company, QStringLiteral("Lee & Co"));
        QCOMPARE(w.currentGuid(), max);
        QCOMPARE(rig.text("txtFirstName"), QStringLiteral("Max"));

        // Search narrows the list; digits match whatever the formatting.
        rig.type("txtSearch", QStringLiteral("0171-555"));
        QCOMPARE(rig.listed(), QStringList{"Ann Lee"});
        rig.child<QLineEdit>("txtSearch")->clear();

        rig.dialogs.queueAnswer(MsgResult::No);
        rig.click("btnDelete");
        QCOMPARE(rig.lastBox(), QStringLiteral("Delete the contact Max Bauer?"));
        QVERIFY(rig.db.get(max).value());
        rig.dialogs.queueAnswer(MsgResult::Yes);
        rig.click("btnDelete");
        QVERIFY(!rig.db.get(max).value());
        QCOMPARE(rig.listed(), QStringList{"Ann Lee"});
        QCOMPARE(w.currentGuid(), QString());
        QCOMPARE(rig.text("txtFirstName"), QString());
    }

    // A picture is kept only when it is an image; removing it clears the column.
    void pictures()
    {
        ManagerRig rig;
        ManagedContact ann =
            person(QStringLiteral("Ann"), QStringLiteral("Lee"), QStringLiteral("12345"));
        ann.picture = pngBytes();
        const QString guid = rig.add(ann);
        ContactManagerWindow& w = rig.open();
        QVERIFY(w.openContact(guid));
        QVERIFY(!rig.child<QLabel>("picContact")->pixmap().isNull());

        rig.home.write(QStringLiteral("notes.png"), "just some text, not a picture");
        rig.pictureFile = rig.home.file(QStringLiteral("notes.png"));
        rig.click("btnChoosePicture");
        QCOMPARE(rig.lastBox(), rig.pictureFile + QStringLiteral(" is not a picture."));
        QVERIFY(rig.logged.contains(rig.lastBox()));
        QVERIFY(!w.isModified());

        rig.click("btnRemovePicture");
        rig.click("btnSave");
        QVERIFY(rig.db.get(guid).value()->picture.isEmpty());
        QVERIFY(rig.child<QLabel>("picContact")->pixmap().isNull());

        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(Qt::blue);
        rig.pictureFile = rig.home.file(QStringLiteral("face.jpg"));
        QVERIFY(image.save(rig.pictureFile, "JPEG"));
        rig.click("btnChoosePicture");
        rig.click("btnSave");
        QFile file(rig.pictureFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(rig.db.get(guid).value()->picture, file.readAll());
        saveScreenshot(w, QStringLiteral("frmContactManager-picture"), false);
    }

    // Good cards are imported, broken ones skipped and named in one message.
    void importSkipsBrokenCards()
    {
        ManagerRig rig;
        rig.home.write(QStringLiteral("two.vcf"),
                       "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Smith;John;;;\r\nFN:John Smith\r\n"
                       "ORG:ACME\r\nTEL;TYPE=WORK,VOICE:+49 30 1234567\r\n"
                       "TEL;TYPE=CELL:0171 555\r\nEMAIL:john@example.org\r\nEND:VCARD\r\n"
                       "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Broken\r\n"
                       "PHOTO;ENCODING=b;TYPE=JPEG:***not base64***\r\nEND:VCARD\r\n");
        rig.importFiles = {rig.home.file(QStringLiteral("two.vcf"))};
        rig.open();
        rig.click("btnImport");
        const auto all = rig.db.list().value();
        QCOMPARE(all.size(), 1);
        QCOMPARE(all.first().displayName(), QStringLiteral("John Smith"));
        QCOMPARE(all.first().numbers[1], QStringLiteral("+49 30 1234567"));
        QCOMPARE(all.first().numbers[2], QStringLiteral("0171 555"));
        QCOMPARE(all.first().email, QStringLiteral("john@example.org"));
        QCOMPARE(rig.dialogs.history().size(), 1);
        const QString box = rig.lastBox();
        QVERIFY2(box.startsWith(QStringLiteral("1 contacts imported.\n1 cards skipped:\n"
                                               "two.vcf, card 2")),
                 qPrintable(box));
        QVERIFY(rig.logged.contains(QStringLiteral("1 contacts imported.")));
        QCOMPARE(rig.listed(), QStringList{"John Smith"});
    }

    // Exported cards read back into another database give the same contacts.
    void exportRoundTrip()
    {
        ManagerRig rig;
        ManagedContact john =
            person(QStringLiteral("John"), QStringLiteral("Smith"), QStringLiteral("030 1234"));
        john.company = QStringLiteral("ACME; Berlin");
        john.numbers = {QStringLiteral("030 1234"), QStringLiteral("030 9"),
                        QStringLiteral("0171 5"), QStringLiteral("030 8"),
                        QStringLiteral("sip:john@acme.example")};
        john.email = QStringLiteral("john@acme.example");
        john.notes = QStringLiteral("first line\nsecond, with comma");
        john.picture = pngBytes();
        ManagedContact firm;
        firm.company = QStringLiteral("Müller GmbH");
        firm.numbers[1] = QStringLiteral("089 55");
        john.guid = rig.add(john);
        rig.add(firm);
        rig.add(person(QStringLiteral("Ann"), QStringLiteral("Lee"), QStringLiteral("12345")));
        ContactManagerWindow& w = rig.open();

        rig.exportFile = rig.home.file(QStringLiteral("selected"));
        QVERIFY(w.openContact(john.guid));
        rig.child<QAction>("mnuExportSelected")->trigger();
        QCOMPARE(VCard::parse(rig.home.read(QStringLiteral("selected.vcf"))).contacts.size(), 1);

        rig.exportFile = rig.home.file(QStringLiteral("all.vcf"));
        rig.child<QAction>("mnuExportAll")->trigger();
        QCOMPARE(rig.lastBox(),
                 QStringLiteral("3 contacts exported to ") + rig.exportFile + QLatin1Char('.'));

        ManagerRig other;
        other.importFiles = {rig.exportFile};
        other.open();
        other.click("btnImport");
        const auto before = rig.db.list().value();
        const auto after = other.db.list().value();
        QCOMPARE(after.size(), before.size());
        for (qsizetype i = 0; i < before.size(); ++i) {
            const ManagedContact a = *rig.db.get(before[i].guid).value();
            const ManagedContact b = *other.db.get(after[i].guid).value();
            QCOMPARE(b.firstName, a.firstName);
            QCOMPARE(b.lastName, a.lastName);
            QCOMPARE(b.company, a.company);
            QCOMPARE(b.numbers, a.numbers);
            QCOMPARE(b.email, a.email);
            QCOMPARE(b.notes, a.notes);
            QCOMPARE(b.picture, a.picture);
        }
    }
};

QTEST_MAIN(TestUiContactManager)
#include "TestUiContactManager.moc"
