#include "contacts/addressbook/AddressBookService.h"
#include "contacts/addressbook/ContactBuffer.h"
#include "contacts/lookup/ContactDatabaseLookup.h"
#include "contacts/lookup/NumberLookup.h"

#include "ControllerRig.h"

#include <QDir>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>

namespace {

const QByteArray kPng = QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUl"
                                               "EQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==");

QByteArray card(const QString& uid, const QString& name, const QStringList& tels,
                const QString& extra = QString())
{
    QString text = QStringLiteral("BEGIN:VCARD\r\nVERSION:3.0\r\n");
    if (!uid.isEmpty())
        text += QStringLiteral("UID:%1\r\n").arg(uid);
    text += QStringLiteral("FN:%1\r\nN:%1;;;;\r\n").arg(name);
    for (const QString& tel : tels)
        text += QStringLiteral("TEL;%1\r\n").arg(tel);
    return (text + extra + QStringLiteral("END:VCARD\r\n")).toUtf8();
}

} // namespace

class TestAddressBook : public QObject
{
    Q_OBJECT

    std::unique_ptr<ControllerRig> m_rig;
    std::unique_ptr<AddressBookService> m_book;
    std::unique_ptr<NumberLookup> m_lookup;
    QStringList m_opened;

    QString root() const { return AddressBookService::defaultRoot(); }
    void writeCard(const QString& relative, const QByteArray& content)
    {
        const QString path = root() + QLatin1Char('/') + relative;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    void setOutlook(const QString& name, const QString& value)
    {
        m_rig->settings.SaveSettingHKCU(QStringLiteral("Outlook"), name, value);
    }
    int rebuild()
    {
        m_book->monitoringStarted();
        QSignalSpy rebuilt(m_book.get(), &AddressBookService::bufferRebuilt);
        if (!rebuilt.wait(5000))
            return -1;
        return rebuilt.takeFirst().at(0).toInt();
    }
    QStringList bufferRows()
    {
        QStringList rows;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "check");
            db.setDatabaseName(ContactBuffer::defaultPath());
            db.open();
            QSqlQuery q(QStringLiteral("SELECT pattern, contactid, phonenumber FROM ContactBuffer "
                                       "ORDER BY rowid"),
                        db);
            while (q.next())
                rows << q.value(0).toString() + QLatin1Char('|') + q.value(1).toString() +
                            QLatin1Char('|') + q.value(2).toString();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("check"));
        return rows;
    }

    struct Answer
    {
        bool found = false;
        QString number, guid, name, picture, extra;
        QVariant contact;
    };
    Answer lookup(const QString& number)
    {
        Answer a;
        a.number = number;
        a.found = m_lookup->LookupNumber(a.number, a.guid, a.name, a.picture, a.extra, a.contact);
        return a;
    }

private slots:
    void init()
    {
        m_rig = std::make_unique<ControllerRig>();
        m_opened.clear();
        m_book = std::make_unique<AddressBookService>(*m_rig->form, m_rig->clock);
        m_book->setOpener([this](const QString& file) { m_opened << file; });
        m_lookup = std::make_unique<NumberLookup>(*m_rig->form, NumberLookup::ReverseQuery());
        m_lookup->setAddressBook(m_book.get());
        m_rig->form->setContactLookup(m_lookup.get());
        m_rig->form->setAddressBook(m_book.get());
        m_rig->form->options().setValue(QStringLiteral("cmbDataConnection"), 2);
        QVERIFY(m_book->start(false));
    }
    void cleanup()
    {
        m_rig->form->setAddressBook(nullptr);
        m_rig->form->setContactLookup(nullptr);
        m_lookup.reset();
        m_book.reset();
        m_rig.reset();
    }

    void everyNumberOfEveryCardIsBuffered()
    {
        writeCard(QStringLiteral("anna.vcf"),
                  card(QStringLiteral("anna-1"), QStringLiteral("Anna Berg"),
                       {QStringLiteral("TYPE=CELL:+49 171 123 45 67"),
                        QStringLiteral("TYPE=HOME:030 123 456")}));
        // Two cards in one export, one without UID; a broken card between them.
        writeCard(QStringLiteral("work/export.vcf"),
                  card(QString(), QStringLiteral("No Uid"), {QStringLiteral("TYPE=WORK:0221 55")}) +
                      "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Broken\r\n" +
                      card(QStringLiteral("bo-2"), QStringLiteral("Bo"),
                           {QStringLiteral("TYPE=FAX:0221 56")}));
        // A folder without cards is not descended into.
        writeCard(QStringLiteral("empty/hidden/deep.vcf"),
                  card(QStringLiteral("deep"), QStringLiteral("Deep"),
                       {QStringLiteral("TYPE=HOME:999")}));

        QCOMPARE(rebuild(), 4);
        const QString noUid = root() + QStringLiteral("/work/export.vcf");
        const QStringList rows = bufferRows();
        QCOMPARE(rows.size(), 4);
        QVERIFY(rows.contains(QStringLiteral("+491711234567|anna-1|+49 171 123 45 67")));
        QVERIFY(rows.contains(QStringLiteral("030123456|anna-1|030 123 456")));
        QVERIFY(rows.contains(QStringLiteral("022155|") + noUid + QStringLiteral("|0221 55")));
        QVERIFY(m_rig->logged(QStringLiteral("4 numbers buffered from Outlook")));
        QVERIFY(m_rig->anyMessage([](const QString& m) {
            return m.contains(QLatin1String("export.vcf")) && m.contains(QLatin1String("skipped"));
        }));

        // The buffer answers exactly, then by pattern, then not at all.
        Answer a = lookup(QStringLiteral("030123456"));
        QVERIFY(a.found);
        QCOMPARE(a.name, QStringLiteral("Anna Berg"));
        QCOMPARE(a.guid, QStringLiteral("anna-1"));
        QCOMPARE(a.number, QStringLiteral("030 123 456"));
        QVERIFY(m_rig->logged(QStringLiteral("Found Outlook contact (buffered, exact match for "
                                             "030123456): id: anna-1 number: 030 123 456")));
        QVERIFY(m_rig->logged(
            QStringLiteral("Found Outlook contact for 030123456: Anna Berg (id: anna-1)")));
        QCOMPARE(a.contact.value<AddressBookContact>().filePath, root() + "/anna.vcf");

        a = lookup(QStringLiteral("01711234567"));
        QVERIFY(a.found);
        QCOMPARE(a.number, QStringLiteral("+49 171 123 45 67"));
        QVERIFY(m_rig->logged(QStringLiteral(
            "Found Outlook contact (buffered): id: anna-1 number: +49 171 123 45 67")));

        a = lookup(QStringLiteral("0221 55"));
        QCOMPARE(a.guid, noUid);
        QCOMPARE(a.name, QStringLiteral("No Uid"));

        a = lookup(QStringLiteral("999"));
        QVERIFY(!a.found);
        QVERIFY(
            m_rig->logged(QStringLiteral("No Outlook contact found in for: 999 (lookup: 999)")));
    }

    void patternMatchAgreesWithSqlite()
    {
        // The buffer matches patterns in memory; it must agree with LIKE.
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "like");
        db.setDatabaseName(QStringLiteral(":memory:"));
        QVERIFY(db.open());
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT ? LIKE ?"));
        QRandomGenerator rng(4711);
        const auto digits = [&rng](int n) {
            QString s = rng.bounded(4) == 0 ? QStringLiteral("+") : QString();
            while (s.size() < n)
                s += QChar(u'0' + rng.bounded(rng.bounded(2) ? 3 : 10));
            return s;
        };
        int matches = 0;
        for (int i = 0; i < 3000; ++i) {
            const QString value = digits(int(rng.bounded(1, 15)));
            QString pattern = ContactDatabaseLookup::searchPattern(digits(int(rng.bounded(1, 12))));
            if (i % 5 == 0) // hand-made shapes: anchored ends, "_", letters
                pattern = QStringList{QStringLiteral("1%2"), QStringLiteral("_2%"),
                                      QStringLiteral("%1_1%"), QStringLiteral("A%b"),
                                      QStringLiteral("%")}[i / 5 % 5];
            q.addBindValue(value);
            q.addBindValue(pattern);
            QVERIFY(q.exec() && q.next());
            const bool sqlite = q.value(0).toBool();
            matches += sqlite;
            QVERIFY2(ContactBuffer::LikePattern(pattern.toUtf8()).matches(value.toUtf8()) == sqlite,
                     qPrintable(value + " LIKE " + pattern));
        }
        QVERIFY(matches > 100); // the cases are not all misses
        q = QSqlQuery();
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("like"));
    }

    void nameExtraAndPictureOfAFoundContact()
    {
        writeCard(QStringLiteral("acme.vcf"),
                  card(QStringLiteral("acme-7"), QStringLiteral("John Smith"),
                       {QStringLiteral("TYPE=WORK:+49 30 1234567")},
                       QStringLiteral("ORG:ACME\r\nADR;TYPE=WORK:;;Main St 1;Springfield;;;\r\n"
                                      "PHOTO;ENCODING=b;TYPE=PNG:") +
                           QString::fromLatin1(kPng.toBase64()) + QStringLiteral("\r\n")));
        writeCard(QStringLiteral("fake.vcf"),
                  card(QStringLiteral("fake-1"), QStringLiteral("Fake Photo"),
                       {QStringLiteral("TYPE=HOME:040 777")},
                       QStringLiteral("PHOTO;ENCODING=b;TYPE=JPEG:") +
                           QString::fromLatin1(QByteArray("not a picture").toBase64()) +
                           QStringLiteral("\r\n")));
        QCOMPARE(rebuild(), 2);

        const Answer a = lookup(QStringLiteral("0301234567"));
        QVERIFY(a.found);
        QCOMPARE(a.extra, QStringLiteral("ACME, Main St 1, Springfield"));
        QFile picture(a.picture);
        QVERIFY(picture.open(QIODevice::ReadOnly));
        QCOMPARE(picture.readAll(), kPng);
        QCOMPARE(m_book->contactPicture(QStringLiteral("acme-7")).isEmpty(), false);

        const Answer fake = lookup(QStringLiteral("040777"));
        QVERIFY(fake.found);
        QVERIFY(fake.picture.isEmpty());
        QVERIFY(m_rig->anyMessage([](const QString& m) {
            return m.startsWith("Picture of contact fake-1 is not an image");
        }));
    }

    void withoutBufferTheFolderIsSearched()
    {
        setOutlook(QStringLiteral("BufferContacts"), QStringLiteral("0"));
        writeCard(QStringLiteral("a.vcf"), card(QStringLiteral("biz"), QStringLiteral("Biz"),
                                                {QStringLiteral("TYPE=WORK:12345")}));
        writeCard(QStringLiteral("sub/b.vcf"), card(QStringLiteral("home"), QStringLiteral("Home"),
                                                    {QStringLiteral("TYPE=HOME:+49 1234 5678")}));
        m_book->monitoringStarted();
        auto* timer = m_book->findChild<QTimer*>(QStringLiteral("tmrBufferOutlookContacts"));
        QVERIFY(timer);
        // Without buffering the first tick switches the timer off.
        QTRY_VERIFY(!timer->isActive());
        QVERIFY(bufferRows().isEmpty());

        QString number = QStringLiteral("12345");
        QCOMPARE(m_book->findInFolder(root(), number).entryId, QStringLiteral("biz"));
        QCOMPARE(number, QStringLiteral("12345"));
        number = QStringLiteral("%1%2%3%4%5%6%7%8%");
        QCOMPARE(m_book->findInFolder(root() + "/sub", number).entryId, QStringLiteral("home"));
        QCOMPARE(number, QStringLiteral("+49 1234 5678"));

        // The lookup searches the chosen folder, then its sub-folders.
        const Answer a = lookup(QStringLiteral("012345678"));
        QVERIFY(a.found);
        QCOMPARE(a.name, QStringLiteral("Home"));
        QCOMPARE(a.number, QStringLiteral("+49 1234 5678"));
    }

    void theBufferIsRebuiltOncePerDay()
    {
        writeCard(QStringLiteral("a.vcf"), card(QStringLiteral("a"), QStringLiteral("A"),
                                                {QStringLiteral("TYPE=HOME:111")}));
        auto* timer = m_book->findChild<QTimer*>(QStringLiteral("tmrBufferOutlookContacts"));
        QVERIFY(timer && !timer->isActive());
        QCOMPARE(rebuild(), 1);
        QCOMPARE(timer->interval(), 30000);
        QVERIFY(timer->isActive());

        // Faster ticks for the test; a new card shows only after 23 whole hours.
        writeCard(QStringLiteral("b.vcf"), card(QStringLiteral("b"), QStringLiteral("B"),
                                                {QStringLiteral("TYPE=HOME:222")}));
        timer->setInterval(5);
        QSignalSpy rebuilt(m_book.get(), &AddressBookService::bufferRebuilt);
        m_rig->clock.advanceSeconds(23 * 3600);
        QTest::qWait(50);
        QCOMPARE(rebuilt.size(), 0);
        m_rig->clock.advanceSeconds(3600);
        QVERIFY(rebuilt.wait(5000));
        QCOMPARE(rebuilt.first().at(0).toInt(), 2);

        // Another source when monitoring starts stops the timer.
        m_rig->form->options().setValue(QStringLiteral("cmbDataConnection"), 1);
        m_book->monitoringStarted();
        QVERIFY(!timer->isActive());
    }

    void contactsForUnknownNumbers_data()
    {
        QTest::addColumn<QString>("createIfName");
        QTest::addColumn<bool>("outgoing");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("cardName"); // empty: no card made
        QTest::addColumn<QString>("cardNumber");
        QTest::newRow("name needed, none") << "1" << false << "0301234"
                                           << ""
                                           << ""
                                           << "";
        QTest::newRow("name known") << "1" << false << "0301234"
                                    << "Bakery"
                                    << "Bakery"
                                    << "0301234";
        QTest::newRow("any caller") << "0" << false << "0301234"
                                    << ""
                                    << "Unknown caller 0301234"
                                    << "0301234";
        QTest::newRow("callee") << "0" << true << "0405"
                                << ""
                                << "Unknown callee 0405"
                                << "0405";
        QTest::newRow("no number") << "0" << false << ""
                                   << "Withheld"
                                   << "Withheld"
                                   << "(unknown)";
        QTest::newRow("nothing at all") << "0" << true << ""
                                        << ""
                                        << ""
                                        << "";
    }
    void contactsForUnknownNumbers()
    {
        QFETCH(QString, createIfName);
        QFETCH(bool, outgoing);
        QFETCH(QString, number);
        QFETCH(QString, name);
        QFETCH(QString, cardName);
        QFETCH(QString, cardNumber);
        setOutlook(QStringLiteral("CreateNewContact"), QStringLiteral("1"));
        setOutlook(QStringLiteral("CreateIfName"), createIfName);
        CCall call(&m_rig->store, nullptr);
        call.CallID = QStringLiteral("7");
        call.Outgoing = outgoing;
        if (outgoing) {
            call.setCalledID(number);
            call.CalledName = name;
            m_book->unknownCallee(call);
        } else {
            call.setCallerID(number);
            call.CallerName = name;
            m_book->unknownCaller(call);
        }
        const QStringList files = QDir(root()).entryList({QStringLiteral("*.vcf")});
        if (cardName.isEmpty()) {
            QVERIFY(files.isEmpty());
            return;
        }
        QCOMPARE(files.size(), 1);
        const AddressBookContact made =
            m_book->contactById(outgoing ? call.CalledGUID : call.CallerGUID);
        QVERIFY(made.isValid());
        QCOMPARE(made.card.familyName, cardName);
        QCOMPARE(made.card.phones.value(0).number, cardNumber);
        QVERIFY(m_rig->anyMessage(
            [](const QString& m) { return m.startsWith("[7] Outlook contact created for "); }));
        QVERIFY(m_opened.isEmpty());
    }

    void aNewCallerGetsACardThroughThePipeline()
    {
        setOutlook(QStringLiteral("CreateNewContact"), QStringLiteral("1"));
        setOutlook(QStringLiteral("CreateIfName"), QStringLiteral("0"));
        setOutlook(QStringLiteral("OpenNewContact"), QStringLiteral("1"));
        QVERIFY(m_rig->monitor({0}));
        m_rig->lines().ring(0, QStringLiteral("0301234567"), QStringLiteral("5551"));
        m_rig->settle();
        const QStringList files = QDir(root()).entryList({QStringLiteral("*.vcf")});
        QCOMPARE(files.size(), 1);
        QCOMPARE(m_opened, QStringList{root() + QLatin1Char('/') + files.first()});
        QVERIFY(m_rig->anyMessage(
            [](const QString& m) { return m.contains("Outlook contact created for 0301234567"); }));
    }

    void chosenFolderThatWentAwayFallsBackToTheRoot()
    {
        setOutlook(QStringLiteral("ContactsStoreID"), m_rig->home.file("gone"));
        QCOMPARE(m_book->contactsFolder(), root());
        QCOMPARE(m_rig->settings.GetSettingHKCU("Outlook", "ContactsStoreID", "x").toString(),
                 QString());
        // Switched off for this run: nothing is done with it.
        AddressBookService off(*m_rig->form, m_rig->clock);
        QVERIFY(!off.start(true));
        QVERIFY(!off.available());
    }
};

QTEST_GUILESS_MAIN(TestAddressBook)
#include "TestAddressBook.moc"
