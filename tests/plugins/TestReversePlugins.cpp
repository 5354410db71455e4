#include "RecordingPluginContext.h"
#include "TestPlugins.h"
#include "plugins/api/PhonavoPlugin.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QJsonObject>
#include <QPluginLoader>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

class RecordingContext : public RecordingPluginContext
{
public:
    RecordingContext() : RecordingPluginContext(QStringLiteral("Test.Reverse")) {}
};

struct Answer
{
    bool found = false;
    QString name;
    QString image;
    QString extra;
};

} // namespace

class TestReversePlugins : public QObject
{
    Q_OBJECT

    QPluginLoader m_geocoderLoader{testPluginFile(QStringLiteral("phonavo_geocoder"))};
    QPluginLoader m_phonebookLoader{testPluginFile(QStringLiteral("phonavo_phonebook"))};
    phonavo::ReversePlugin* m_geocoder = nullptr;
    phonavo::ReversePlugin* m_phonebook = nullptr;
    QTemporaryDir m_dir;
    int m_files = 0;

    static Answer lookup(phonavo::ReversePlugin* plugin, RecordingContext& context,
                         const QString& number, const QString& extraBefore = QString())
    {
        plugin->SetContext(&context);
        Answer answer;
        answer.extra = extraBefore;
        answer.found = plugin->Lookup(number, answer.name, answer.image, answer.extra);
        return answer;
    }

    // A phone book file of its own for every case: the plug-in reads a new
    // path at once, whatever it read before.
    QString writeBook(const QByteArray& content, const QString& suffix)
    {
        const QString path = m_dir.filePath(QStringLiteral("book%1.%2").arg(++m_files).arg(suffix));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    RecordingContext bookContext(const QString& path, const QString& countryCode = QString())
    {
        RecordingContext context;
        context.settings.insert(QStringLiteral("File"), path);
        context.settings.insert(QStringLiteral("RecheckSeconds"), QStringLiteral("0"));
        if (!countryCode.isEmpty())
            context.settings.insert(QStringLiteral("CountryCode"), countryCode);
        return context;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const struct
        {
            QPluginLoader* loader;
            phonavo::ReversePlugin** plugin;
            const char* progId;
            const char* name;
        } plugins[] = {
            {&m_geocoderLoader, &m_geocoder, "PhonavoGeocoder.Reverse",
             "Region of the number (offline)"},
            {&m_phonebookLoader, &m_phonebook, "PhonavoPhonebook.Reverse",
             "Local phone book (CSV or vCard)"},
        };
        for (const auto& p : plugins) {
            QVERIFY2(p.loader->load(), qPrintable(p.loader->errorString()));
            *p.plugin = qobject_cast<phonavo::ReversePlugin*>(p.loader->instance());
            QVERIFY(*p.plugin);
            const QJsonObject meta =
                p.loader->metaData().value(QLatin1String("MetaData")).toObject();
            QCOMPARE(meta.value(QLatin1String("ProgID")).toString(), QLatin1String(p.progId));
            QCOMPARE(meta.value(QLatin1String("Kind")).toString(), QLatin1String("reverse"));
            QCOMPARE(meta.value(QLatin1String("InterfaceVersion")).toString(), QLatin1String("2"));
            QCOMPARE(meta.value(QLatin1String("Name")).toString(), QLatin1String(p.name));
        }
        QCOMPARE(m_geocoder->CountryCode(), qint16(0));
        QVERIFY(!m_geocoder->HasSettings());
    }

    void geocoderNamesTheRegion_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("region");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("expected");
        QTest::newRow("Berlin") << "+49 30 1234567"
                                << ""
                                << "en"
                                << "Berlin";
        QTest::newRow("Munich, English") << "+49 89 1234567"
                                         << ""
                                         << "en"
                                         << "Munich";
        QTest::newRow("Munich, German, 00") << "0049 89 1234567"
                                            << ""
                                            << "de"
                                            << "München";
        QTest::newRow("Vienna, German") << "+43 1 5125555"
                                        << ""
                                        << "de_AT"
                                        << "Wien";
        QTest::newRow("Paris") << "+33 1 42 68 53 00"
                               << ""
                               << "fr"
                               << "Paris";
        QTest::newRow("Mountain View") << "+1 650 253 0000"
                                       << ""
                                       << "en"
                                       << "Mountain View, CA";
        QTest::newRow("mobile: country only") << "+49 151 12345678"
                                              << ""
                                              << "en"
                                              << "Germany";
        QTest::newRow("country in French") << "+49 151 12345678"
                                           << ""
                                           << "fr"
                                           << "Allemagne";
        QTest::newRow("national, DE") << "030 1234567"
                                      << "DE"
                                      << "en"
                                      << "Berlin";
        QTest::newRow("national, AT") << "01 5125555"
                                      << "AT"
                                      << "de"
                                      << "Wien";
        QTest::newRow("national, US") << "(650) 253-0000"
                                      << "US"
                                      << "en"
                                      << "Mountain View, CA";
        QTest::newRow("national, region lower case") << "020 7946 0958"
                                                     << "gb"
                                                     << "en"
                                                     << "London";
        // 00 is international even where the exit code is 011.
        QTest::newRow("00 with region US") << "0033 1 42 68 53 00"
                                           << "US"
                                           << "en"
                                           << "Paris";
    }

    void geocoderNamesTheRegion()
    {
        QFETCH(QString, number);
        QFETCH(QString, region);
        QFETCH(QString, language);
        QFETCH(QString, expected);
        RecordingContext context;
        context.settings.insert(QStringLiteral("Region"), region);
        context.settings.insert(QStringLiteral("Language"), language);
        const Answer answer = lookup(m_geocoder, context, number, QStringLiteral("before"));
        // A region is not a name: the caller stays unknown, with the region as extra.
        QVERIFY(!answer.found);
        QCOMPARE(answer.name, QString());
        QCOMPARE(answer.image, QString());
        QCOMPARE(answer.extra, expected);
    }

    void geocoderLeavesBadNumbersAlone_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("region");
        QTest::newRow("empty") << ""
                               << "DE";
        QTest::newRow("letters") << "garbage"
                                 << "DE";
        QTest::newRow("plus only") << "+"
                                   << "DE";
        QTest::newRow("00 only") << "00"
                                 << "DE";
        QTest::newRow("no such country code") << "+999 1234567"
                                              << "DE";
        QTest::newRow("too short") << "+49 3"
                                   << "DE";
        QTest::newRow("national, unknown region") << "030 1234567"
                                                  << "XX";
        QTest::newRow("lone surrogates") << QString(3, QChar(0xD800)) << "DE";
        QTest::newRow("control characters")
            << QString::fromUtf8("\x01\x02\x7f\xef\xbf\xbf") << "DE";
        QTest::newRow("very long") << QString(100000, QLatin1Char('9')) << "DE";
        QTest::newRow("long junk") << QString(100000, QChar(0x263A)) << "DE";
    }

    void geocoderLeavesBadNumbersAlone()
    {
        QFETCH(QString, number);
        QFETCH(QString, region);
        RecordingContext context;
        context.settings.insert(QStringLiteral("Region"), region);
        const Answer answer = lookup(m_geocoder, context, number, QStringLiteral("before"));
        QVERIFY(!answer.found);
        QCOMPARE(answer.extra, QStringLiteral("before"));
        QCOMPARE(answer.name, QString());
    }

    void geocoderReportsAnUnknownRegionOnce()
    {
        RecordingContext context;
        context.settings.insert(QStringLiteral("Region"), QStringLiteral("ZZ"));
        for (int i = 0; i < 3; ++i)
            lookup(m_geocoder, context, QStringLiteral("030 1234567"));
        QCOMPARE(context.logLines.size(), 1);
        QVERIFY(context.logLines.constFirst().contains(QLatin1String("ZZ")));
        // International numbers do not need the region.
        QCOMPARE(lookup(m_geocoder, context, QStringLiteral("+49 30 1234567")).extra,
                 QStringLiteral("Berlin"));
    }

    void phonebookReadsCsv_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("extra");
        QTest::newRow("header Name;Number, CRLF")
            << QByteArray("Name;Number\r\nAnna Berg;030 1234\r\nBen;030 9\r\n") << "0301234"
            << "Anna Berg"
            << "";
        QTest::newRow("header in another order, comma, any case")
            << QByteArray("number,EXTRA,Name\n+49 30 5555,ACME,Bob\n") << "0305555"
            << "Bob"
            << "ACME";
        QTest::newRow("header, tab")
            << QByteArray("Name\tNumber\tExtra\nCarl\t030/1111\tHome") << "0301111"
            << "Carl"
            << "Home";
        QTest::newRow("quotes: separator, quote and line break inside")
            << QByteArray("Name,Number,Extra\n\"Berg, Anna \"\"Annie\"\"\",\"030 2222\","
                          "\"first\nsecond\"\n")
            << "0302222"
            << "Berg, Anna \"Annie\""
            << "first\nsecond";
        QTest::newRow("UTF-8 byte order mark before the header")
            << QByteArray("\xEF\xBB\xBFName;Number\nJ\xC3\xBCrgen;030 3333\n") << "0303333"
            << QString::fromUtf8("J\xC3\xBCrgen") << "";
        QTest::newRow("Latin-1") << QByteArray("Name;Number\nJ\xFCrgen;030 6666\n") << "0306666"
                                 << QString::fromUtf8("J\xC3\xBCrgen") << "";
        QTest::newRow("UTF-16 with byte order mark")
            << QByteArray("\xFF\xFE") +
                   QByteArray(
                       QStringEncoder(QStringEncoder::Utf16LE).encode(u"Name;Number\nEva;03077\n"))
            << "03077"
            << "Eva"
            << "";
        QTest::newRow("no header: number, name, extra")
            << QByteArray("0304444;Dora;Office\n0305;Fritz\n") << "0304444"
            << "Dora"
            << "Office";
        QTest::newRow("no header, comma, quoted number")
            << QByteArray("\"030 5555\",Emil\n") << "+49305555"
            << "Emil"
            << "";
        QTest::newRow("blank lines and an empty row")
            << QByteArray("Name;Number\n\n;\nGreta;0307777\n\n") << "0307777"
            << "Greta"
            << "";
    }

    void phonebookReadsCsv()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, number);
        QFETCH(QString, name);
        QFETCH(QString, extra);
        RecordingContext context = bookContext(writeBook(content, QStringLiteral("csv")));
        const Answer answer = lookup(m_phonebook, context, number);
        QVERIFY2(answer.found, qPrintable(context.logLines.join(QLatin1Char('\n'))));
        QCOMPARE(answer.name, name);
        QCOMPARE(answer.extra, extra);
        QCOMPARE(answer.image, QString());
        // A number the book does not hold.
        QVERIFY(!lookup(m_phonebook, context, QStringLiteral("030 99999")).found);
    }

    void phonebookReadsVCards_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("extra");
        QTest::addColumn<bool>("image");
        const QByteArray v30 = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Berg;Anna;;;\r\nFN:Anna\r\n"
                               "  Berg\r\nORG:ACME\\, Inc.;Sales\r\nTEL;TYPE=WORK,VOICE:+49 30 "
                               "1234\r\nTEL;TYPE=CELL:0171\r\n 555666\r\nEND:VCARD\r\n";
        QTest::newRow("3.0 folded, first TEL") << v30 << "vcf"
                                               << "0301234"
                                               << "Anna Berg"
                                               << "ACME, Inc., Sales" << false;
        QTest::newRow("3.0 folded, second TEL") << v30 << "vcf"
                                                << "+49171555666"
                                                << "Anna Berg"
                                                << "ACME, Inc., Sales" << false;
        const QByteArray v21 =
            "BEGIN:VCARD\nVERSION:2.1\nN;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:"
            "M=FCller;J=FCrgen\nTEL;HOME:030-9876\nORG;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:"
            "B=C3=A4ckerei =\nSchmidt=0D=0A\nEND:VCARD\nBEGIN:VCARD\nVERSION:2.1\n"
            "FN;QUOTED-PRINTABLE:Gro=DF\nTEL:030-111\nEND:VCARD\n";
        QTest::newRow("2.1 quoted-printable, charsets, soft break")
            << v21 << "vcf"
            << "0309876" << QString::fromUtf8("J\xC3\xBCrgen M\xC3\xBCller")
            << QString::fromUtf8("B\xC3\xA4"
                                 "ckerei Schmidt")
            << false;
        QTest::newRow("2.1 bare QUOTED-PRINTABLE, not UTF-8")
            << v21 << "vcf"
            << "030111" << QString::fromUtf8("Gro\xC3\x9F") << "" << false;
        const QByteArray v40 =
            "begin:vcard\nversion:4.0\nfn:Carl\nitem1.TEL;VALUE=uri;TYPE=\"voice,home\":"
            "tel:+49-30-4321;ext=7\nPHOTO:%PHOTO%\nend:vcard\nBEGIN:VCARD\nVERSION:4.0\n"
            "N:Doe;John;;Dr.;\nTEL:+41 44 123 45 67\nPHOTO:data:image/png;base64,iVBORw0K\n"
            "END:VCARD\n";
        QTest::newRow("4.0 tel URI, group, photo file") << v40 << "vcf"
                                                        << "0304321"
                                                        << "Carl"
                                                        << "" << true;
        QTest::newRow("4.0 N without FN, inline photo ignored") << v40 << "vcf"
                                                                << "0041441234567"
                                                                << "Dr. John Doe"
                                                                << "" << false;
        QTest::newRow("found by content, UTF-8 BOM")
            << QByteArray("\xEF\xBB\xBF"
                          "BEGIN:VCARD\nFN:Eva \xC3\x96z\nTEL:030 55\n"
                          "END:VCARD")
            << "txt"
            << "03055" << QString::fromUtf8("Eva \xC3\x96z") << "" << false;
    }

    void phonebookReadsVCards()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, suffix);
        QFETCH(QString, number);
        QFETCH(QString, name);
        QFETCH(QString, extra);
        QFETCH(bool, image);
        const QString photo = m_dir.filePath(QStringLiteral("photo of carl.jpg"));
        QFile(photo).open(QIODevice::WriteOnly);
        content.replace("%PHOTO%", QUrl::fromLocalFile(photo).toEncoded());
        RecordingContext context = bookContext(writeBook(content, suffix));
        const Answer answer = lookup(m_phonebook, context, number);
        QVERIFY2(answer.found, qPrintable(context.logLines.join(QLatin1Char('\n'))));
        QCOMPARE(answer.name, name);
        QCOMPARE(answer.extra, extra);
        QCOMPARE(answer.image, image ? photo : QString());
    }

    void phonebookMatchesNumberForms_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("asked");
        QTest::addColumn<QString>("countryCode");
        QTest::addColumn<bool>("found");
        QTest::newRow("+CC stored, national asked") << "+49 30 1234"
                                                    << "030/1234"
                                                    << "" << true;
        QTest::newRow("national stored, +CC asked") << "030/1234"
                                                    << "+49301234"
                                                    << "" << true;
        QTest::newRow("00CC (0) stored, national asked") << "0049 (0)30 1234"
                                                         << "0301234"
                                                         << "" << true;
        QTest::newRow("00CC asked") << "(030) 12-34"
                                    << "0049301234"
                                    << "" << true;
        QTest::newRow("other digits") << "030 1234"
                                      << "0301235"
                                      << "" << false;
        QTest::newRow("other country's code") << "+49 30 1234"
                                              << "+41301234"
                                              << "" << false;
        QTest::newRow("foreign number, both international") << "+41 44 123"
                                                            << "0041 44 123"
                                                            << "" << true;
        QTest::newRow("foreign number is not national") << "+41 44 123"
                                                        << "044123"
                                                        << "" << false;
        QTest::newRow("CountryCode 41 makes it national") << "+41 44 123"
                                                          << "044123"
                                                          << "41" << true;
        QTest::newRow("trunk zero kept after the code (Italy)") << "+39 06 1234"
                                                                << "06 1234"
                                                                << "39" << true;
        QTest::newRow("asked number without digits") << "030 1234"
                                                     << "anonymous"
                                                     << "" << false;
    }

    void phonebookMatchesNumberForms()
    {
        QFETCH(QString, stored);
        QFETCH(QString, asked);
        QFETCH(QString, countryCode);
        QFETCH(bool, found);
        const QString path =
            writeBook("Name;Number\nMatch;" + stored.toUtf8() + '\n', QStringLiteral("csv"));
        RecordingContext context = bookContext(path, countryCode);
        const Answer answer = lookup(m_phonebook, context, asked);
        // The host's country walk asks the plug-in for numbers of this code.
        QCOMPARE(m_phonebook->CountryCode(),
                 qint16(countryCode.isEmpty() ? 49 : countryCode.toInt()));
        QCOMPARE(answer.found, found);
        QCOMPARE(answer.name, found ? QStringLiteral("Match") : QString());
    }

    void phonebookPicksUpChanges_data()
    {
        QTest::addColumn<QString>("recheckSeconds");
        QTest::addColumn<QString>("expected");
        QTest::newRow("checked on every lookup") << "0"
                                                 << "New";
        QTest::newRow("default: not before 5 s") << ""
                                                 << "Old";
    }

    void phonebookPicksUpChanges()
    {
        QFETCH(QString, recheckSeconds);
        QFETCH(QString, expected);
        const QString path = writeBook("Name;Number\nOld;0301234\n", QStringLiteral("csv"));
        RecordingContext context = bookContext(path);
        if (recheckSeconds.isEmpty())
            context.settings.remove(QStringLiteral("RecheckSeconds"));
        QCOMPARE(lookup(m_phonebook, context, QStringLiteral("0301234")).name,
                 QStringLiteral("Old"));

        // Same size, later modification time: only the time tells the change.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QDateTime modified = file.fileTime(QFileDevice::FileModificationTime);
        QVERIFY(file.resize(0));
        QVERIFY(file.write("Name;Number\nNew;0301234\n") > 0);
        QVERIFY(file.flush());
        QVERIFY(file.setFileTime(modified.addSecs(10), QFileDevice::FileModificationTime));
        file.close();
        QCOMPARE(lookup(m_phonebook, context, QStringLiteral("0301234")).name, expected);
    }

    void phonebookSurvivesBrokenFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("logPart");
        QTest::newRow("missing") << "missing"
                                 << "does not exist";
        QTest::newRow("a folder") << "folder"
                                  << "is not a file";
        QTest::newRow("over 20 MB") << "large"
                                    << "larger than 20 MB";
        QTest::newRow("header without Number") << "header"
                                               << "without the column Number";
        QTest::newRow("no file set") << "unset"
                                     << "no file is set";
    }

    void phonebookSurvivesBrokenFiles()
    {
        QFETCH(QString, kind);
        QFETCH(QString, logPart);
        const QByteArray good = "Name;Number\nFine;0301234\n";
        QString path = m_dir.filePath(QStringLiteral("broken%1.csv").arg(++m_files));
        if (kind == QLatin1String("folder")) {
            QVERIFY(QDir(m_dir.path()).mkdir(QFileInfo(path).fileName()));
        } else if (kind == QLatin1String("large")) {
            path = writeBook(good, QStringLiteral("csv"));
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.resize(20 * 1024 * 1024 + 1)); // sparse, stays cheap
        } else if (kind == QLatin1String("header")) {
            path = writeBook("Name;Phone\nFine;0301234\n", QStringLiteral("csv"));
        } else if (kind == QLatin1String("unset")) {
            path.clear();
        }
        RecordingContext context = bookContext(path);
        for (int i = 0; i < 3; ++i)
            QVERIFY(!lookup(m_phonebook, context, QStringLiteral("0301234")).found);
        QCOMPARE(context.logLines.size(), 1); // once, not at every lookup
        QVERIFY2(context.logLines.constFirst().contains(logPart),
                 qPrintable(context.logLines.join(QLatin1Char(';'))));

        // Repaired (written anew, or another file chosen): found again.
        if (kind != QLatin1String("folder") && kind != QLatin1String("unset")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            QVERIFY(file.write(good) > 0 && file.flush());
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(10),
                                     QFileDevice::FileModificationTime));
        } else {
            context.settings.insert(QStringLiteral("File"), writeBook(good, QStringLiteral("csv")));
        }
        QCOMPARE(lookup(m_phonebook, context, QStringLiteral("0301234")).name,
                 QStringLiteral("Fine"));
    }

    void settingsNeedTheDesktopProgram()
    {
        RecordingContext context;
        m_phonebook->SetContext(&context);
        QVERIFY(m_phonebook->HasSettings());
        m_phonebook->ShowSettings();
        QCOMPARE(context.logLines.size(), 1);
        QVERIFY(context.logLines.constFirst().contains(QLatin1String("desktop program")));
    }
};

QTEST_GUILESS_MAIN(TestReversePlugins)
#include "TestReversePlugins.moc"
