#include "contacts/addressbook/AddressBookContact.h"
#include "contacts/journal/CallJournal.h"
#include "core/calls/CCall.h"

#include "ControllerRig.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <libical/ical.h>

namespace {

// What a calendar program reads from an entry, read with libical alone.
struct ReadBack
{
    bool ok = false;
    QString uid, summary, description, contact, contactUri, contactUid, categories;
    qint64 start = 0;
    qint64 duration = -1;
};

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

ReadBack readBack(const QString& path)
{
    QFile file(path);
    ReadBack r;
    if (!file.open(QIODevice::ReadOnly))
        return r;
    icalcomponent* calendar = icalparser_parse_string(file.readAll().constData());
    icalcomponent* j =
        calendar ? icalcomponent_get_first_component(calendar, ICAL_VJOURNAL_COMPONENT) : nullptr;
    if (!j) {
        if (calendar)
            icalcomponent_free(calendar);
        return r;
    }
    r.ok = icalcomponent_count_components(calendar, ICAL_ANY_COMPONENT) == 1;
    r.uid = QString::fromUtf8(icalcomponent_get_uid(j));
    r.summary = QString::fromUtf8(icalcomponent_get_summary(j));
    r.description = QString::fromUtf8(icalcomponent_get_description(j));
    r.start =
        icaltime_as_timet_with_zone(icalcomponent_get_dtstart(j), icaltimezone_get_utc_timezone());
    if (icalproperty* c = icalcomponent_get_first_property(j, ICAL_CONTACT_PROPERTY)) {
        r.contact = QString::fromUtf8(icalproperty_get_contact(c));
        if (icalparameter* a = icalproperty_get_first_parameter(c, ICAL_ALTREP_PARAMETER))
            r.contactUri = QString::fromUtf8(icalparameter_get_altrep(a));
    }
    if (icalproperty* c = icalcomponent_get_first_property(j, ICAL_CATEGORIES_PROPERTY))
        r.categories = QString::fromUtf8(icalproperty_get_categories(c));
    for (icalproperty* x = icalcomponent_get_first_property(j, ICAL_X_PROPERTY); x;
         x = icalcomponent_get_next_property(j, ICAL_X_PROPERTY)) {
        const QByteArray name = icalproperty_get_x_name(x);
        if (name == "X-PHONAVO-DURATION")
            r.duration = QByteArray(icalproperty_get_x(x)).toLongLong();
        else if (name == "X-PHONAVO-CONTACT-UID")
            r.contactUid = QString::fromUtf8(icalproperty_get_x(x));
    }
    icalcomponent_free(calendar);
    return r;
}

} // namespace

class TestCallJournal : public QObject
{
    Q_OBJECT

    std::unique_ptr<ControllerRig> m_rig;
    std::unique_ptr<CallJournal> m_journal;
    QStringList m_opened;
    const QDateTime m_start{QDate(2026, 12, 4), QTime(19, 41, 57), Qt::UTC};

    void set(const char* name, const char* value)
    {
        m_rig->settings.SaveSettingHKCU(QStringLiteral("Outlook"), QString::fromLatin1(name),
                                        QString::fromLatin1(value));
    }
    QString defaultFolder() const
    {
        return m_rig->home.file(QStringLiteral("calendars/phonavo-journal"));
    }
    QStringList entries(const QString& dir) const
    {
        return QDir(dir).entryList({QStringLiteral("*.ics")}, QDir::Files);
    }
    CCall call(bool outgoing, const QString& number, const QString& name, const QString& extra)
    {
        CCall c;
        c.CallID = QStringLiteral("7");
        c.Outgoing = outgoing;
        c.CallStart = m_start;
        if (outgoing) {
            c.setCalledID(number);
            c.CalledName = name;
            c.CalledExtra = extra;
        } else {
            c.setCallerID(number);
            c.CallerName = name;
            c.CallerExtra = extra;
        }
        return c;
    }

private slots:
    void init()
    {
        m_rig = std::make_unique<ControllerRig>();
        m_opened.clear();
        m_journal = std::make_unique<CallJournal>(
            *m_rig->form, [this](const QString& file) { m_opened << file; });
        set("AddToJournal", "1");
    }
    void cleanup()
    {
        m_journal.reset();
        m_rig.reset();
    }

    void entryTellsTheCall_data()
    {
        QTest::addColumn<bool>("outgoing");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("extra");
        QTest::addColumn<int>("talked"); // seconds answered; -1 not answered
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("description");
        QTest::newRow("incoming, known, company")
            << false << "+49301234"
            << "Jane Roe"
            << "ACME" << 125 << "Incoming call from Jane Roe (ACME)"
            << "Name: Jane Roe\nNumber: +49301234\nACME";
        QTest::newRow("incoming, number only, missed") << false << "0301234"
                                                       << ""
                                                       << "" << -1 << "Incoming call from 0301234"
                                                       << "Name: \nNumber: 0301234\n";
        QTest::newRow("incoming, anonymous") << false << ""
                                             << ""
                                             << "" << -1 << "Incoming call"
                                             << "Name: \nNumber: \n";
        QTest::newRow("outgoing, known") << true << "555"
                                         << "Bob"
                                         << "" << 0 << "Outgoing call to Bob"
                                         << "Name: Bob\nNumber: 555\n";
        QTest::newRow("outgoing, nothing known, extra")
            << true << ""
            << ""
            << "Hotline" << 3 << "Outgoing call (Hotline)"
            << "Name: \nNumber: \nHotline";
    }
    void entryTellsTheCall()
    {
        QFETCH(bool, outgoing);
        QFETCH(QString, number);
        QFETCH(QString, name);
        QFETCH(QString, extra);
        QFETCH(int, talked);
        QFETCH(QString, summary);
        QFETCH(QString, description);
        CCall c = call(outgoing, number, name, extra);
        if (talked >= 0) {
            c.setAnsweredFromStore(true);
            c.CallEnd = m_start.addSecs(talked);
        }
        QVERIFY(m_journal->AddJournalEntry(c));

        const QString path = c.OutlookJournalEntry.toString();
        QCOMPARE(QFileInfo(path).absolutePath(), defaultFolder());
        QCOMPARE(entries(defaultFolder()), QStringList{QFileInfo(path).fileName()});
        const ReadBack r = readBack(path);
        QVERIFY(r.ok);
        QCOMPARE(r.uid + QStringLiteral(".ics"), QFileInfo(path).fileName());
        QCOMPARE(r.summary, summary);
        QCOMPARE(r.description, description);
        QCOMPARE(r.start, m_start.toSecsSinceEpoch());
        // Only a call that was talked on has a length.
        QCOMPARE(r.duration, talked > 0 ? qint64(talked) : qint64(-1));
        QVERIFY(r.contact.isEmpty());
        QVERIFY(m_rig->logged(QStringLiteral("[7] Outlook Journal entry added")));
    }

    // Start, then end of one call: one file, updated, the user's additions kept.
    void secondEntryUpdatesTheSameFile()
    {
        set("OpenJournalEntry", "1");
        CCall c = call(false, QStringLiteral("+49301234"), QStringLiteral("Jane"), QString());
        AddressBookContact contact;
        contact.entryId = QStringLiteral("uid-jane-1");
        contact.filePath = m_rig->home.file(QStringLiteral("contacts/family/jane roe.vcf"));
        contact.card.formattedName = QStringLiteral("Jane Roe");
        c.OutlookContact = QVariant::fromValue(contact);
        c.setAnsweredFromStore(true);
        QVERIFY(m_journal->AddJournalEntry(c));
        const QString path = c.OutlookJournalEntry.toString();
        const ReadBack first = readBack(path);
        QCOMPARE(first.duration, qint64(-1));
        QVERIFY(m_opened.isEmpty()); // not over yet
        QCOMPARE(first.contact, QStringLiteral("Jane Roe"));
        QCOMPARE(QUrl(first.contactUri).toLocalFile(), contact.filePath);
        QVERIFY(first.contactUri.endsWith(QLatin1String("/contacts/family/jane%20roe.vcf")));
        QCOMPARE(first.contactUid, QStringLiteral("uid-jane-1"));

        // A calendar program added a category in between.
        QByteArray text = readFile(path);
        text.replace("END:VJOURNAL", "CATEGORIES:Important\r\nEND:VJOURNAL");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) > 0);
        file.close();

        c.CallEnd = m_start.addSecs(61);
        c.CallerExtra = QStringLiteral("ACME");
        QVERIFY(m_journal->AddJournalEntry(c));
        QCOMPARE(c.OutlookJournalEntry.toString(), path);
        QCOMPARE(entries(defaultFolder()).size(), 1);
        const ReadBack second = readBack(path);
        QVERIFY(second.ok);
        QCOMPARE(second.uid, first.uid);
        QCOMPARE(second.duration, qint64(61));
        QCOMPARE(second.summary, QStringLiteral("Incoming call from Jane (ACME)"));
        QCOMPARE(second.categories, QStringLiteral("Important"));
        QCOMPARE(second.contactUid, QStringLiteral("uid-jane-1"));
        const QString written = QString::fromLatin1(readFile(path));
        QCOMPARE(written.count(QLatin1String("\nSUMMARY")), 1);
        QCOMPARE(written.count(QLatin1String("\nCONTACT;")), 1);
        QCOMPARE(m_opened, QStringList{path});
        QCOMPARE(m_rig->loggedCount(QStringLiteral("[7] Outlook Journal entry added")), 2);
    }

    void nothingWrittenOrLoggedFailure_data()
    {
        QTest::addColumn<QString>("case_");
        QTest::addColumn<QString>("logged"); // start of the log line; empty: none
        QTest::newRow("journal off") << "off"
                                     << "";
        QTest::newRow("folder blocked by a file") << "blocked"
                                                  << "[7] The call journal folder ";
        QTest::newRow("earlier entry unreadable") << "garbage"
                                                  << "[7] The journal entry ";
    }
    void nothingWrittenOrLoggedFailure()
    {
        QFETCH(QString, case_);
        QFETCH(QString, logged);
        CCall c = call(false, QStringLiteral("123"), QString(), QString());
        const QString garbage = m_rig->home.file(QStringLiteral("old.ics"));
        QString folder = defaultFolder();
        if (case_ == QLatin1String("off")) {
            set("AddToJournal", "0");
        } else if (case_ == QLatin1String("blocked")) {
            m_rig->home.write(QStringLiteral("plain-file"), "x");
            folder = m_rig->home.file(QStringLiteral("plain-file/journal"));
            m_rig->settings.SaveSettingHKCU(QStringLiteral("Outlook"),
                                            QStringLiteral("JournalFolder"), folder);
        } else {
            m_rig->home.write(QStringLiteral("old.ics"), "not a calendar\n");
            c.OutlookJournalEntry = garbage;
        }
        const bool written = m_journal->AddJournalEntry(c);
        // Only the unreadable entry is replaced by a new one; it stays as it was.
        QCOMPARE(written, case_ == QLatin1String("garbage"));
        QCOMPARE(entries(folder).size(), written ? 1 : 0);
        QCOMPARE(c.OutlookJournalEntry.toString().startsWith(folder), written);
        if (case_ == QLatin1String("garbage"))
            QCOMPARE(m_rig->home.read(QStringLiteral("old.ics")), QByteArray("not a calendar\n"));
        const bool anyLog = m_rig->anyMessage(
            [&](const QString& line) { return line.startsWith(QLatin1String("[7] The")); });
        QCOMPARE(anyLog, !logged.isEmpty());
        if (!logged.isEmpty())
            QVERIFY(m_rig->anyMessage([&](const QString& line) {
                return line.startsWith(logged) && line.contains(QLatin1String(": "));
            }));
    }
};

QTEST_GUILESS_MAIN(TestCallJournal)
#include "TestCallJournal.moc"
