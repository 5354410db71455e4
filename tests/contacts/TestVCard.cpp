#include "contacts/addressbook/VCard.h"

#include <QFile>
#include <QStringDecoder>
#include <QTest>

Q_DECLARE_METATYPE(VCardContact)

using namespace Qt::StringLiterals;

namespace {

QByteArray dataFile(const QString& name)
{
    QFile file(QStringLiteral(PHONAVO_VCARD_DATA_DIR "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing test file %s", qPrintable(file.fileName()));
    return file.readAll();
}

// "number [type,type]" per phone; sorted types where only the set matters.
QStringList phoneTexts(const QList<VCardPhone>& phones, bool sortTypes = false)
{
    QStringList texts;
    for (const VCardPhone& phone : phones) {
        QStringList types = phone.types;
        if (sortTypes)
            types.sort();
        texts.append(phone.number + QStringLiteral(" [") + types.join(u',') + u']');
    }
    return texts;
}

QStringList names(const QList<VCardContact>& contacts)
{
    QStringList list;
    for (const VCardContact& contact : contacts)
        list.append(contact.displayName());
    return list;
}

QStringList errorTexts(const QList<VCardError>& errors)
{
    QStringList list;
    for (const VCardError& error : errors)
        list.append(QStringLiteral("%1/%2 %3").arg(error.card).arg(error.line).arg(error.reason));
    return list;
}

void compareContact(const VCardContact& actual, const VCardContact& expected, bool sortTypes)
{
    QCOMPARE(actual.uid, expected.uid);
    QCOMPARE(actual.formattedName, expected.formattedName);
    QCOMPARE(actual.familyName, expected.familyName);
    QCOMPARE(actual.givenName, expected.givenName);
    QCOMPARE(actual.additionalNames, expected.additionalNames);
    QCOMPARE(actual.prefixes, expected.prefixes);
    QCOMPARE(actual.suffixes, expected.suffixes);
    QCOMPARE(actual.organization, expected.organization);
    QCOMPARE(actual.addressLines, expected.addressLines);
    QCOMPARE(phoneTexts(actual.phones, sortTypes), phoneTexts(expected.phones, sortTypes));
    QCOMPARE(actual.emails, expected.emails);
    QCOMPARE(actual.note, expected.note);
    QCOMPARE(actual.photoData, expected.photoData);
    QCOMPARE(actual.photoUri, expected.photoUri);
    QCOMPARE(actual.photoMediaType, expected.photoMediaType);
}

QStringList list(std::initializer_list<const char*> items)
{
    QStringList out;
    for (const char* item : items)
        out.append(QString::fromUtf8(item));
    return out;
}

VCardPhone phone(const char* number, std::initializer_list<const char*> types)
{
    return {QString::fromUtf8(number), list(types)};
}

// The physical lines of written output; empty when one of them breaks the
// frame every card shares: CRLF only, at most 75 octets, whole UTF-8.
QStringList checkedLines(const QByteArray& written)
{
    QList<QByteArray> parts = written.split('\n');
    if (parts.takeLast() != "")
        return {};
    QStringList lines;
    for (const QByteArray& line : parts) {
        const QByteArray text = line.chopped(line.endsWith('\r') ? 1 : 0);
        QStringDecoder utf8(QStringDecoder::Utf8);
        lines.append(utf8(text));
        if (text.size() == line.size() || text.size() > 75 || text.contains('\r') ||
            utf8.hasError())
            return {};
    }
    return lines;
}

} // namespace

class TestVCard : public QObject
{
    Q_OBJECT

private slots:
    void readsRealWorldFiles_data();
    void readsRealWorldFiles();
    void readsLineVariants_data();
    void readsLineVariants();
    void skipsBrokenCards_data();
    void skipsBrokenCards();
    void stopsAfterTooManyCards();
    void displayName_data();
    void displayName();
    void writesVCard40_data();
    void writesVCard40();
    void roundTrip_data();
    void roundTrip();
};

void TestVCard::readsRealWorldFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("count");
    QTest::addColumn<VCardContact>("expected");

    const QByteArray jpeg = dataFile(QStringLiteral("photo.jpg"));
    const QByteArray png = dataFile(QStringLiteral("photo.png"));
    const QString v21 = QStringLiteral("phone-export-21.vcf");
    const QString v30 = QStringLiteral("export-30.vcf");
    const QString v40 = QStringLiteral("card-40.vcf");

    VCardContact c;
    c.formattedName = u"Dr. Jürgen Müller"_s;
    c.familyName = u"Müller"_s;
    c.givenName = u"Jürgen"_s;
    c.prefixes = u"Dr."_s;
    c.phones = {phone("+49 30 1234567", {"work", "voice"}),
                phone("0171 9876543", {"cell", "pref"})};
    c.addressLines = list({"Hauptstraße 5", "Köln", "50667", "Deutschland"});
    c.note = u"Grüße an die Familie,\nund ein langer Text, der umgebrochen wird; Ende."_s;
    c.photoData = jpeg;
    c.photoMediaType = u"image/jpeg"_s;
    QTest::addRow("2.1 quoted-printable latin-1, indented photo") << v21 << 0 << 3 << c;

    c = {};
    c.familyName = u"Schön"_s;
    c.givenName = u"Björn"_s;
    c.phones = {phone("030 555 12", {"home"})};
    c.photoData = png;
    c.photoMediaType = u"image/png"_s;
    QTest::addRow("2.1 utf-8, unindented photo") << v21 << 1 << 3 << c;

    c = {};
    c.organization = u"Café Müller – Bistro, Küche"_s;
    c.phones = {phone("+49 221 444", {"work"})};
    QTest::addRow("2.1 windows-1252 without charset") << v21 << 2 << 3 << c;

    c = {};
    c.formattedName = u"Anna-Karin Lindqvist"_s;
    c.familyName = u"Lindqvist"_s;
    c.givenName = u"Anna-Karin"_s;
    c.additionalNames = u"Maria"_s;
    c.organization = u"Nordlicht AB, Forschung; Entwicklung"_s;
    c.phones = {phone("+46 8 123 456 78", {"work", "voice", "pref"}), phone("+46 70 111 22 33", {}),
                phone("+46 8 999", {"home"})};
    c.emails = list({"anna@nordlicht.example"});
    c.addressLines =
        list({"Storgatan 1", "Hinterhof", "Haus 3", "Stockholm", "111 22", "Schweden"});
    c.note = u"Termine nur vormittags, bitte; Rückruf\nZweite Zeile \\ Ende"_s;
    c.photoData = jpeg;
    c.photoMediaType = u"image/jpeg"_s;
    QTest::addRow("3.0 folded, groups, escapes, photo") << v30 << 0 << 2 << c;

    c = {};
    c.uid = u"4c1b8a52-1f1d-4a6b-b0e7-2f9b3d7d1e10"_s;
    c.formattedName = u"Ola"_s;
    c.givenName = u"Ola"_s;
    c.phones = {phone("+47 400 00 000", {"cell"})};
    QTest::addRow("3.0 after blank lines") << v30 << 1 << 2 << c;

    c = {};
    c.uid = u"0e7d4a38-9a3c-4b8e-8f4e-6b1f4b2e9c01"_s;
    c.formattedName = u"Zoë Ångström"_s;
    c.familyName = u"Ångström"_s;
    c.givenName = u"Zoë"_s;
    c.phones = {phone("+49-30-1234567", {"work", "voice", "pref"}),
                phone("+49-171-2223334", {"cell"})};
    c.emails = list({"zoe@example.org"});
    c.photoUri = u"file:///home/zoe/.local/share/photos/zoe.jpg"_s;
    c.photoMediaType = u"image/jpeg"_s;
    QTest::addRow("4.0 tel: URIs, PREF=1, file photo") << v40 << 0 << 2 << c;

    c = {};
    c.formattedName = u"Stadtwerke Beispielstadt"_s;
    c.organization = u"Stadtwerke Beispielstadt, Kundendienst"_s;
    c.phones = {phone("+49 800 100200", {"work"})};
    c.photoData = png;
    c.photoMediaType = u"image/png"_s;
    QTest::addRow("4.0 data: photo, PREF=2") << v40 << 1 << 2 << c;
}

void TestVCard::readsRealWorldFiles()
{
    QFETCH(QString, file);
    QFETCH(int, index);
    QFETCH(int, count);
    QFETCH(VCardContact, expected);

    const VCardParseResult result = VCard::parse(dataFile(file));
    QCOMPARE(errorTexts(result.errors), QStringList());
    QCOMPARE(result.contacts.size(), count);
    compareContact(result.contacts.at(index), expected, false);
}

void TestVCard::readsLineVariants_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("note");

    QTest::addRow("2.1 fold keeps its blank")
        << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Ann\r\nNOTE:long\r\n text\r\nEND:VCARD\r\n")
        << u"Ann"_s << u"long text"_s;
    QTest::addRow("3.0 fold drops one blank")
        << QByteArray("BEGIN:VCARD\nVERSION:3.0\nFN:Ann\nNOTE:long\n  text\nEND:VCARD\n")
        << u"Ann"_s << u"long text"_s;
    QTest::addRow("soft break right before END")
        << QByteArray("BEGIN:VCARD\r\nFN:Ann\r\nNOTE;ENCODING=QUOTED-PRINTABLE:a=3Db=\r\n"
                      "END:VCARD\r\n")
        << u"Ann"_s << u"a=b"_s;
    QTest::addRow("wrong charset falls back to UTF-8")
        << QByteArray("BEGIN:VCARD\nFN;CHARSET=x-unknown:J\xc3\xbcrgen\n"
                      "NOTE;CHARSET=UTF-8:M\xfcller\nEND:VCARD\n")
        << u"Jürgen"_s << u"Müller"_s;
    QTest::addRow("quoted colon in a parameter")
        << QByteArray("BEGIN:VCARD\nFN;X-LABEL=\"a:b\":Ann\nNOTE:x\\:y\nEND:VCARD\n") << u"Ann"_s
        << u"x:y"_s;
    QString utf16Card = u"\uFEFFBEGIN:VCARD\r\nFN:Zoë\r\nNOTE:€\r\nEND:VCARD\r\n"_s;
    QTest::addRow("UTF-16 with byte-order mark")
        << QByteArray(reinterpret_cast<const char*>(utf16Card.utf16()), utf16Card.size() * 2)
        << u"Zoë"_s << u"€"_s;
}

void TestVCard::readsLineVariants()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, name);
    QFETCH(QString, note);

    const VCardParseResult result = VCard::parse(data);
    QCOMPARE(errorTexts(result.errors), QStringList());
    QCOMPARE(result.contacts.size(), 1);
    QCOMPARE(result.contacts.first().displayName(), name);
    QCOMPARE(result.contacts.first().note, note);
}

void TestVCard::skipsBrokenCards_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("errors");

    QTest::addRow("corpus file") << dataFile(QStringLiteral("mixed-with-broken.vcf"))
                                 << list({"Erste Person", "Mit Agent", "Nach dem Abbruch",
                                          "Letzte Person"})
                                 << list({"2/9 the line has no ':'",
                                          "4/23 BEGIN:VCARD without END:VCARD",
                                          "6/34 END:VCARD without BEGIN:VCARD",
                                          "7/35 the card has no name, organization or phone number",
                                          "8/42 the photo is not valid Base64",
                                          "0/49 text outside BEGIN:VCARD and END:VCARD"});
    QTest::addRow("file ends inside a card")
        << QByteArray("BEGIN:VCARD\nFN:A\nEND:VCARD\nBEGIN:VCARD\nFN:B\n") << list({"A"})
        << list({"2/4 BEGIN:VCARD without END:VCARD"});
    QTest::addRow("no property name")
        << QByteArray("BEGIN:VCARD\nFN:A\n;X=1:v\nEND:VCARD\nBEGIN:VCARD\nFN:B\nEND:VCARD\n")
        << list({"B"}) << list({"1/3 the line has no property name"});
    QTest::addRow("data: photo without comma")
        << QByteArray("BEGIN:VCARD\nFN:A\nPHOTO:data:image/png;base64\nEND:VCARD\n")
        << QStringList() << list({"1/3 the photo is a data: URI without ','"});
    QTest::addRow("cut Base64 in a data: photo")
        << QByteArray("BEGIN:VCARD\nFN:A\nPHOTO:data:image/png;base64,iVBORw0KG\nEND:VCARD\n")
        << QStringList() << list({"1/3 the photo is not valid Base64"});
    QByteArray huge = "BEGIN:VCARD\nFN:A\nEND:VCARD\nBEGIN:VCARD\nFN:B\nNOTE:";
    huge.append(VCard::MaxValueSize / 2, 'x');
    huge.append("\n ");
    huge.append(VCard::MaxValueSize / 2 + 1, 'y'); // over the limit only once unfolded
    huge.append("\nEND:VCARD\nBEGIN:VCARD\nFN:C\nEND:VCARD\n");
    QTest::addRow("value over the size limit")
        << huge << list({"A", "C"}) << list({"2/6 a value is larger than 16 MiB"});
}

void TestVCard::skipsBrokenCards()
{
    QFETCH(QByteArray, data);
    QFETCH(QStringList, names);
    QFETCH(QStringList, errors);

    const VCardParseResult result = VCard::parse(data);
    QCOMPARE(errorTexts(result.errors), errors);
    QCOMPARE(::names(result.contacts), names);
}

void TestVCard::stopsAfterTooManyCards()
{
    QByteArray data;
    for (int i = 0; i < VCard::MaxCards + 2; ++i)
        data.append("BEGIN:VCARD\nTEL:1\nEND:VCARD\n");
    const VCardParseResult result = VCard::parse(data);
    QCOMPARE(result.contacts.size(), VCard::MaxCards);
    QCOMPARE(errorTexts(result.errors),
             QStringList(QStringLiteral("%1/%2 the file holds more than %3 cards; the rest is not "
                                        "read")
                             .arg(VCard::MaxCards + 1)
                             .arg(VCard::MaxCards * 3 + 1)
                             .arg(VCard::MaxCards)));
}

void TestVCard::displayName_data()
{
    QTest::addColumn<QString>("fn");
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("org");
    QTest::addColumn<QString>("expected");

    QTest::addRow("FN first") << u" Ann Lee "_s << u"A"_s << u"L"_s << u"O"_s << u"Ann Lee"_s;
    QTest::addRow("given and family") << u" "_s << u" Ann"_s << u"Lee "_s << u"O"_s << u"Ann Lee"_s;
    QTest::addRow("family only") << QString() << QString() << u"Lee"_s << u"O"_s << u"Lee"_s;
    QTest::addRow("organization") << QString() << u" "_s << QString() << u"ACME"_s << u"ACME"_s;
}

void TestVCard::displayName()
{
    QFETCH(QString, fn);
    QFETCH(QString, given);
    QFETCH(QString, family);
    QFETCH(QString, org);
    QFETCH(QString, expected);

    VCardContact contact;
    contact.formattedName = fn;
    contact.givenName = given;
    contact.familyName = family;
    contact.organization = org;
    QCOMPARE(contact.displayName(), expected);
}

void TestVCard::writesVCard40_data()
{
    QTest::addColumn<VCardContact>("contact");
    QTest::addColumn<QStringList>("lines"); // after unfolding, in order

    VCardContact c;
    c.uid = u"0e7d4a38-9a3c-4b8e-8f4e-6b1f4b2e9c01"_s;
    c.givenName = u"Ann"_s;
    c.familyName = u"Lee"_s;
    c.phones = {phone("+49 30 1", {"work", "PREF", "voice"}), phone("030,2", {})};
    QTest::addRow("uuid, name from N, phones")
        << c
        << list({"UID:urn:uuid:0e7d4a38-9a3c-4b8e-8f4e-6b1f4b2e9c01", "FN:Ann Lee", "N:Lee;Ann;;;",
                 "TEL;TYPE=work,voice;PREF=1:+49 30 1", "TEL:030\\,2"});

    c = {};
    c.uid = u"/home/ann/contacts/a;b.vcf"_s;
    c.organization = u"ACME, Sales"_s;
    c.note = u"one, two; three\\four\r\nfive\nsix"_s;
    c.addressLines = list({"Main St 1", "Springfield", "IL", "62701", "USA", "Earth"});
    QTest::addRow("escapes, address")
        << c
        << list({"UID;VALUE=text:/home/ann/contacts/a\\;b.vcf", "FN:ACME\\, Sales",
                 "ORG:ACME\\, Sales", "ADR:;;Main St 1;Springfield;IL;62701;USA\\nEarth",
                 "NOTE:one\\, two\\; three\\\\four\\nfive\\nsix"});

    c = {};
    c.formattedName = u"Picture"_s;
    c.photoData = dataFile(QStringLiteral("photo.png"));
    QTest::addRow("photo type from its bytes")
        << c
        << QStringList{u"FN:Picture"_s, u"PHOTO:data:image/png;base64,"_s +
                                            QString::fromLatin1(c.photoData.toBase64())};

    c.photoData.clear();
    c.photoUri = u"https://example.org/a.jpg"_s;
    c.photoMediaType = u"image/jpeg;x"_s;
    QTest::addRow("photo URI, unusable type left out")
        << c << list({"FN:Picture", "PHOTO;VALUE=uri:https://example.org/a.jpg"});

    c = {};
    c.formattedName = QStringLiteral("x") + QString(60, u'ü') + QString(30, QChar(0x20AC));
    QTest::addRow("folding between multi-byte characters")
        << c << QStringList(QStringLiteral("FN:") + c.formattedName);
}

void TestVCard::writesVCard40()
{
    QFETCH(VCardContact, contact);
    QFETCH(QStringList, lines);

    const QStringList physical = checkedLines(VCard::write(contact));
    QVERIFY2(!physical.isEmpty(), "a line is too long, not CRLF or not whole UTF-8");
    QString unfolded;
    for (const QString& line : physical)
        unfolded += line.startsWith(u' ') ? line.mid(1) : u'\n' + line;
    QStringList logical = unfolded.mid(1).split(u'\n');
    QCOMPARE(logical.takeFirst(), u"BEGIN:VCARD"_s);
    QCOMPARE(logical.takeFirst(), u"VERSION:4.0"_s);
    QCOMPARE(logical.takeLast(), u"END:VCARD"_s);
    QCOMPARE(logical, lines);
}

void TestVCard::roundTrip_data()
{
    QTest::addColumn<VCardContact>("contact");

    VCardContact c;
    c.uid = u"0e7d4a38-9a3c-4b8e-8f4e-6b1f4b2e9c01"_s;
    c.formattedName = u"Dr. Jürgen Müller-Lüdenscheidt, Jr."_s;
    c.familyName = u"Müller-Lüdenscheidt"_s;
    c.givenName = u"Jürgen"_s;
    c.additionalNames = u"Karl,Otto"_s;
    c.prefixes = u"Dr."_s;
    c.suffixes = u"Jr."_s;
    c.organization = u"Café Müller, Küche; Bar"_s;
    c.addressLines = list({"Hauptstraße 5", "Köln", "NRW", "50667", "Deutschland", "Europa"});
    c.phones = {phone("+49 30 1234567", {"work", "voice", "pref"}), phone("0171 98,76", {"cell"}),
                phone("030 5", {})};
    c.emails = list({"j@example.org", "mueller@example.com"});
    c.note = u"Erste Zeile, mit Komma; Semikolon \\ Backslash\nzweite Zeile\n\nletzte"_s;
    c.photoData = dataFile(QStringLiteral("photo.jpg"));
    c.photoMediaType = u"image/jpeg"_s;
    QTest::addRow("everything, inline photo") << c;

    c = {};
    c.uid = u"urn:uuid:kontakt-17@example.org"_s;
    c.phones = {phone("tel:+49 5;ext=1", {"cell"}), phone("TEL:5", {})};
    c.emails = list({"mailto:a@example.org"});
    c.formattedName = QString(200, u'ß');
    c.photoUri = u"file:///home/a/b.png"_s;
    c.photoMediaType = u"image/png"_s;
    QTest::addRow("long name, photo URI, values that look like URIs") << c;
}

void TestVCard::roundTrip()
{
    QFETCH(VCardContact, contact);

    const VCardParseResult result = VCard::parse(VCard::write(contact));
    QCOMPARE(errorTexts(result.errors), QStringList());
    QCOMPARE(result.contacts.size(), 1);
    compareContact(result.contacts.first(), contact, true);
}

QTEST_GUILESS_MAIN(TestVCard)
#include "TestVCard.moc"
