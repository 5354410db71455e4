#include "shell/settings/RegFile.h"

#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTest>

using Sections = QList<RegFile::Section>;

namespace {

const QByteArray kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

// Header plus the given lines, as regedit lays them out.
QByteArray reg(const QByteArray& lines)
{
    return kHeader + lines;
}

QByteArray utf16leWithBom(const QString& text)
{
    return QByteArray("\xFF\xFE") + RegValue::utf16le(text);
}

QByteArray sz(const QString& text)
{
    return RegValue::fromString(text).data;
}

// One line per key and value, so a mismatch shows where it is.
QString describe(const Sections& sections)
{
    QStringList lines;
    for (const RegFile::Section& s : sections) {
        lines << (s.deleted ? QStringLiteral("[-%1]") : QStringLiteral("[%1]")).arg(s.path);
        for (const RegFile::Value& v : s.values) {
            lines << QStringLiteral("  <%1> %2 type %3: %4")
                         .arg(v.name, v.deleted ? QStringLiteral("deleted") : QString())
                         .arg(v.value.type)
                         .arg(QString::fromLatin1(v.value.data.toHex(' ')));
        }
    }
    return lines.join(u'\n');
}

RegFile::Section section(const QString& path, QList<RegFile::Value> values, bool deleted = false)
{
    RegFile::Section s;
    s.path = path;
    s.values = std::move(values);
    s.deleted = deleted;
    return s;
}

RegFile::Value value(const QString& name, RegValue v)
{
    return RegFile::Value{name, false, std::move(v)};
}

} // namespace

class TestRegFile : public QObject
{
    Q_OBJECT

private slots:
    void readsEveryHeaderAndEncoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QString body = QStringLiteral(
            "[HKEY_CURRENT_USER\\Software\\T]\r\n\"Name\"=\"Grüße € \\\"q\\\"\"\r\n");
        QTest::newRow("utf-8") << reg(body.toUtf8());
        QTest::newRow("utf-8 with bom") << QByteArray("\xEF\xBB\xBF" + reg(body.toUtf8()));
        QTest::newRow("utf-16le regedit export")
            << utf16leWithBom(QString::fromUtf8(kHeader) + body);
        QTest::newRow("utf-16le without bom")
            << RegValue::utf16le(QString(QString::fromUtf8(kHeader) + body));
        QTest::newRow("regedit4 in windows-1252")
            << QByteArray("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\T]\n"
                          "\"Name\"=\"Gr\xFC\xDF"
                          "e \x80 \\\"q\\\"\"\n");
        QTest::newRow("lf only")
            << QString(QString::fromUtf8(kHeader) + body).remove(u'\r').toUtf8();
    }

    void readsEveryHeaderAndEncoding()
    {
        QFETCH(QByteArray, bytes);
        const auto parsed = RegFile::parse(bytes);
        QVERIFY2(parsed.isOk(), qPrintable(parsed.error()));
        QCOMPARE(parsed.value().size(), 1);
        const RegFile::Section& s = parsed.value().first();
        QCOMPARE(s.path, QStringLiteral("HKEY_CURRENT_USER\\Software\\T"));
        QCOMPARE(s.line, 3);
        QCOMPARE(s.values.size(), 1);
        QCOMPARE(s.values[0].name, QStringLiteral("Name"));
        QCOMPARE(s.values[0].value, RegValue::fromString(QStringLiteral("Grüße € \"q\"")));
    }

    void readsValueKinds_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("name");
        QTest::addColumn<quint32>("type");
        QTest::addColumn<QByteArray>("data");

        QTest::newRow("escaped text")
            << QStringLiteral("\"Pa\\\"th\"=\"C:\\\\x\\\\\\\"y\\\"\"") << QStringLiteral("Pa\"th")
            << quint32(RegValue::String) << sz(QStringLiteral("C:\\x\\\"y\""));
        QTest::newRow("default value") << QStringLiteral("@=\"d\"") << QString()
                                       << quint32(RegValue::String) << sz(QStringLiteral("d"));
        QTest::newRow("blanks around =")
            << QStringLiteral("  \"A\" = \"b c \" ") << QStringLiteral("A")
            << quint32(RegValue::String) << sz(QStringLiteral("b c "));
        QTest::newRow("odd name") << QStringLiteral("\"=[x]; @ -\"=\"\"")
                                  << QStringLiteral("=[x]; @ -") << quint32(RegValue::String)
                                  << sz(QString());
        QTest::newRow("dword") << QStringLiteral("\"N\"=dword:0000001f") << QStringLiteral("N")
                               << quint32(RegValue::DWord) << QByteArray("\x1F\0\0\0", 4);
        QTest::newRow("dword upper case, short")
            << QStringLiteral("\"N\"=DWORD:FfFfFfF") << QStringLiteral("N")
            << quint32(RegValue::DWord) << QByteArray("\xFF\xFF\xFF\x0F", 4);
        QTest::newRow("binary") << QStringLiteral("\"B\"=hex:01,02,ff") << QStringLiteral("B")
                                << quint32(RegValue::Binary) << QByteArray("\x01\x02\xFF");
        QTest::newRow("empty binary") << QStringLiteral("\"B\"=hex:") << QStringLiteral("B")
                                      << quint32(RegValue::Binary) << QByteArray();
        QTest::newRow("continued binary")
            << QStringLiteral("\"B\"=hex:01,02,\\\r\n  03,\\\n  04") << QStringLiteral("B")
            << quint32(RegValue::Binary) << QByteArray("\x01\x02\x03\x04");
        QTest::newRow("hex(1) with line feed")
            << QStringLiteral("\"S\"=hex(1):41,00,0a,00,00,00") << QStringLiteral("S")
            << quint32(RegValue::String) << sz(QStringLiteral("A\n"));
        QTest::newRow("expand string")
            << QStringLiteral("\"E\"=hex(2):25,00,41,00,25,00,00,00") << QStringLiteral("E")
            << quint32(RegValue::ExpandString) << sz(QStringLiteral("%A%"));
        QTest::newRow("multi string")
            << QStringLiteral("\"M\"=hex(7):61,00,00,00,62,00,00,00,00,00") << QStringLiteral("M")
            << quint32(RegValue::MultiString) << QByteArray("a\0\0\0b\0\0\0\0\0", 10);
        QTest::newRow("qword kept raw")
            << QStringLiteral("\"Q\"=hex(b):01,00,00,00,00,00,00,00") << QStringLiteral("Q")
            << quint32(RegValue::QWord) << QByteArray("\x01\0\0\0\0\0\0\0", 8);
        QTest::newRow("unknown type kept raw")
            << QStringLiteral("\"U\"=hex(12345678):7f") << QStringLiteral("U")
            << quint32(0x12345678) << QByteArray("\x7F");
    }

    void readsValueKinds()
    {
        QFETCH(QString, line);
        QFETCH(QString, name);
        QFETCH(quint32, type);
        QFETCH(QByteArray, data);
        const QByteArray bytes = kHeader + "; a comment\n[HKEY_CURRENT_USER\\A]\n\n" +
                                 line.toUtf8() + "\n\n; trailing comment\n";
        const auto parsed = RegFile::parse(bytes);
        QVERIFY2(parsed.isOk(), qPrintable(parsed.error()));
        QCOMPARE(parsed.value().size(), 1);
        const auto& values = parsed.value().first().values;
        QCOMPARE(values.size(), 1);
        QCOMPARE(values[0].name, name);
        QVERIFY(!values[0].deleted);
        QCOMPARE(values[0].value.type, type);
        QCOMPARE(values[0].value.data.toHex(' '), data.toHex(' '));
    }

    void readsDeletionsAndRegedit4Strings()
    {
        const QByteArray bytes = "REGEDIT4\n\n[-HKEY_CURRENT_USER\\Old]\n\n"
                                 "[HKEY_CURRENT_USER\\New]\n\"gone\"=-\n"
                                 "\"ansi\"=hex(1):e4,80,00\n";
        const auto parsed = RegFile::parse(bytes);
        QVERIFY2(parsed.isOk(), qPrintable(parsed.error()));
        QCOMPARE(parsed.value().size(), 2);
        QVERIFY(parsed.value()[0].deleted);
        QCOMPARE(parsed.value()[0].path, QStringLiteral("HKEY_CURRENT_USER\\Old"));
        const auto& values = parsed.value()[1].values;
        QCOMPARE(values.size(), 2);
        QVERIFY(values[0].deleted);
        QCOMPARE(values[0].name, QStringLiteral("gone"));
        // 8-bit string data of old exports becomes the UTF-16 the registry holds.
        QCOMPARE(values[1].value.text(), QStringLiteral("ä€"));
    }

    void rejectsBadInputWithLineNumber_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("line"); // 0: no line to report
        QTest::addColumn<QString>("fragment");

        const QByteArray key = "[HKEY_CURRENT_USER\\A]\r\n";
        QTest::newRow("empty") << QByteArray() << 0 << QStringLiteral("no header");
        QTest::newRow("no header") << key << 1 << QStringLiteral("not a registry file");
        QTest::newRow("other text file")
            << QByteArray("hello\nworld\n") << 1 << QStringLiteral("first line must be");
        QTest::newRow("stray line")
            << reg(key + "Name=value\r\n") << 4 << QStringLiteral("\"Name=value\"");
        QTest::newRow("unterminated quote")
            << reg(key + "\"Name\"=\"abc\r\n") << 4 << QStringLiteral("missing closing quote");
        QTest::newRow("unterminated name")
            << reg(key + "\"Name=1\r\n") << 4 << QStringLiteral("missing closing quote");
        QTest::newRow("unknown escape")
            << reg(key + "\"N\"=\"a\\nb\"\r\n") << 4 << QStringLiteral("unknown escape \\n");
        QTest::newRow("text after string")
            << reg(key + "\"N\"=\"a\" b\r\n") << 4 << QStringLiteral("after the closing quote");
        QTest::newRow("missing =")
            << reg(key + "\"N\" \"a\"\r\n") << 4 << QStringLiteral("expected =");
        QTest::newRow("unknown data")
            << reg(key + "\"N\"=qword:1\r\n") << 4 << QStringLiteral("unknown value data");
        QTest::newRow("dword too long")
            << reg(key + "\"N\"=dword:123456789\r\n") << 4 << QStringLiteral("1 to 8 hex digits");
        QTest::newRow("dword not hex")
            << reg(key + "\"N\"=dword:12g4\r\n") << 4 << QStringLiteral("1 to 8 hex digits");
        QTest::newRow("empty dword")
            << reg(key + "\"N\"=dword:\r\n") << 4 << QStringLiteral("1 to 8 hex digits");
        QTest::newRow("bad hex byte")
            << reg(key + "\"N\"=hex:01,zz\r\n") << 4 << QStringLiteral("\"zz\" is not a hex byte");
        QTest::newRow("three digit byte")
            << reg(key + "\"N\"=hex:001\r\n") << 4 << QStringLiteral("is not a hex byte");
        QTest::newRow("trailing comma")
            << reg(key + "\"N\"=hex:01,\r\n") << 4 << QStringLiteral("is not a hex byte");
        QTest::newRow("bad hex type")
            << reg(key + "\"N\"=hex(zz):01\r\n") << 4 << QStringLiteral("hex(N)");
        QTest::newRow("hex without colon")
            << reg(key + "\"N\"=hex01\r\n") << 4 << QStringLiteral("expected hex:");
        QTest::newRow("continuation at end")
            << reg(key + "\"N\"=hex:01,\\") << 4 << QStringLiteral("ends inside");
        QTest::newRow("value before key")
            << reg("\"N\"=\"a\"\r\n") << 3 << QStringLiteral("before the first [key]");
        QTest::newRow("value under deleted key")
            << reg("[-HKEY_CURRENT_USER\\A]\r\n\"N\"=\"a\"\r\n") << 4 << QStringLiteral("deleted");
        QTest::newRow("key without ]")
            << reg("[HKEY_CURRENT_USER\\A\r\n") << 3 << QStringLiteral("must end with ]");
        QTest::newRow("empty key name")
            << reg("[HKEY_CURRENT_USER\\\\A]\r\n") << 3 << QStringLiteral("empty key name");
        QTest::newRow("key name too long")
            << reg("[HKEY_CURRENT_USER\\" + QByteArray(256, 'k') + "]\r\n") << 3
            << QStringLiteral("invalid key name");
        QByteArray deep = "[HKEY_CURRENT_USER";
        for (int i = 0; i < 513; ++i)
            deep += "\\k";
        QTest::newRow("key path too deep")
            << reg(deep + "]\r\n") << 3 << QStringLiteral("levels deep");
        QTest::newRow("control character in name")
            << reg(key + "\"a\x01\"=\"b\"\r\n") << 4 << QStringLiteral("invalid value name");
        QTest::newRow("utf-16 with odd length")
            << QByteArray("\xFF\xFEW\0i\0x", 7) << 0 << QStringLiteral("odd number of bytes");
        QTest::newRow("utf-16 lone surrogate")
            << QByteArray(utf16leWithBom(QString::fromUtf8(kHeader)) + QByteArray("\x00\xD8", 2))
            << 0 << QStringLiteral("not valid UTF-16");
        QTest::newRow("utf-8 mark but not utf-8")
            << QByteArray(QByteArray("\xEF\xBB\xBF") + kHeader + "\xE4\r\n") << 0
            << QStringLiteral("not valid UTF-8");
    }

    void rejectsBadInputWithLineNumber()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, line);
        QFETCH(QString, fragment);
        const auto parsed = RegFile::parse(bytes);
        QVERIFY(!parsed.isOk());
        QVERIFY2(parsed.error().contains(fragment), qPrintable(parsed.error()));
        if (line > 0)
            QVERIFY2(parsed.error().startsWith(QStringLiteral("line %1:").arg(line)),
                     qPrintable(parsed.error()));
        else
            QVERIFY2(!parsed.error().startsWith(QStringLiteral("line")),
                     qPrintable(parsed.error()));
    }

    void roundTrips_data()
    {
        QTest::addColumn<Sections>("sections");

        const QString root = QStringLiteral("HKEY_CURRENT_USER\\Software\\T");
        QTest::newRow("quotes and backslashes") << Sections{section(
            root + QStringLiteral("\\Key \"with\" [odd] = chars; -x"),
            {value(QStringLiteral("a\\\"b\\"), RegValue::fromString(QStringLiteral("\"\\\\\"")))})};
        QTest::newRow("default value and empty text") << Sections{
            section(root, {value(QString(), RegValue::fromString(QStringLiteral("d"))),
                           value(QStringLiteral("e"), RegValue::fromString(QString()))})};
        QString scrambled;
        for (int code : {10, 13, 9, 1, 31, 32, 255, 127})
            scrambled += QChar(code);
        QTest::newRow("control characters") << Sections{section(
            root,
            {value(QStringLiteral("Pass"), RegValue::fromString(scrambled)),
             value(QStringLiteral("Lines"), RegValue::fromString(QStringLiteral("a\r\nb\n")))})};
        QTest::newRow("non-ascii") << Sections{section(
            root + QStringLiteral("\\Grüße"),
            {value(QStringLiteral("€ \u0085 \U0001F4DE"),
                   RegValue::fromString(QStringLiteral("ä \u0080\u009F \uFFFE \U0001F4DE")))})};
        QTest::newRow("raw string data") << Sections{section(
            root,
            {value(QStringLiteral("embedded nul"),
                   RegValue{RegValue::String, QByteArray("a\0b\0\0\0", 6)}),
             value(QStringLiteral("no nul"), RegValue{RegValue::String, QByteArray("a\0", 2)}),
             value(QStringLiteral("odd"), RegValue{RegValue::String, QByteArray("a\0\0", 3)}),
             value(QStringLiteral("lone surrogate"),
                   RegValue{RegValue::String, QByteArray("\x00\xD8\0\0", 4)}),
             value(QStringLiteral("empty"), RegValue{RegValue::String, QByteArray()})})};
        QByteArray big(300, '\0');
        for (int i = 0; i < big.size(); ++i)
            big[i] = char(i);
        QTest::newRow("numbers and raw types") << Sections{section(
            root,
            {value(QStringLiteral("dword"), RegValue::fromDWord(0xDEADBEEF)),
             value(QStringLiteral("short dword"), RegValue{RegValue::DWord, QByteArray("\1\2\3")}),
             value(QStringLiteral("binary"), RegValue::fromBinary(big)),
             value(QStringLiteral("none"), RegValue{RegValue::None, QByteArray()}),
             value(QStringLiteral("expand"),
                   RegValue::fromString(QStringLiteral("%X%"), RegValue::ExpandString)),
             value(QStringLiteral("odd type"), RegValue{0xFFFFFFFF, QByteArray("\0", 1)})})};
        QTest::newRow("deletions")
            << Sections{section(root + QStringLiteral("\\Gone"), {}, true),
                        section(root, {RegFile::Value{QStringLiteral("x"), true, RegValue()}}),
                        section(QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\T"), {})};
    }

    void roundTrips()
    {
        QFETCH(Sections, sections);
        const QByteArray written = RegFile::write(sections);
        QVERIFY(!written.contains('\r'));
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString text = utf8(written);
        QVERIFY(!utf8.hasError());
        for (const QString& line : text.split(u'\n'))
            QVERIFY2(line.size() <= 80 || !line.contains(QStringLiteral("=hex")) ||
                         line.endsWith(u'\\'),
                     qPrintable(line));

        const auto parsed = RegFile::parse(written);
        QVERIFY2(parsed.isOk(), qPrintable(QString(parsed.error() + u'\n' + text)));
        QCOMPARE(describe(parsed.value()), describe(sections));
    }

    void writesRegeditLayout()
    {
        const Sections sections{
            section(QStringLiteral("HKEY_CURRENT_USER\\Software\\A"),
                    {value(QStringLiteral("Name"), RegValue::fromString(QStringLiteral("x \"y\""))),
                     value(QString(), RegValue::fromString(QStringLiteral("d"))),
                     value(QStringLiteral("N"), RegValue::fromDWord(31))}),
            section(QStringLiteral("HKEY_CURRENT_USER\\Software\\B"),
                    {value(QStringLiteral("S"), RegValue::fromString(QStringLiteral("A\n")))})};
        QCOMPARE(RegFile::write(sections), QByteArray("Windows Registry Editor Version 5.00\n\n"
                                                      "[HKEY_CURRENT_USER\\Software\\A]\n"
                                                      "\"Name\"=\"x \\\"y\\\"\"\n"
                                                      "@=\"d\"\n"
                                                      "\"N\"=dword:0000001f\n\n"
                                                      "[HKEY_CURRENT_USER\\Software\\B]\n"
                                                      "\"S\"=hex(1):41,00,0a,00,00,00\n\n"));
    }

    void writerLeavesOutWhatItCannotHold()
    {
        const Sections sections{
            section(QStringLiteral("HKEY_CURRENT_USER\\Bad\nKey"),
                    {value(QStringLiteral("v"), RegValue::fromString(QStringLiteral("x")))}),
            section(QStringLiteral("HKEY_CURRENT_USER\\Good"),
                    {value(QStringLiteral("bad\nname"), RegValue::fromString(QStringLiteral("x"))),
                     value(QStringLiteral("good"), RegValue::fromString(QStringLiteral("y")))})};
        const auto parsed = RegFile::parse(RegFile::write(sections));
        QVERIFY2(parsed.isOk(), qPrintable(parsed.error()));
        QCOMPARE(describe(parsed.value()),
                 describe({section(
                     QStringLiteral("HKEY_CURRENT_USER\\Good"),
                     {value(QStringLiteral("good"), RegValue::fromString(QStringLiteral("y")))})}));
    }

    void survivesHostileInput()
    {
        QByteArray tooBig(RegFile::MaxFileSize + 1, ' ');
        const auto refused = RegFile::parse(tooBig);
        QVERIFY(!refused.isOk());
        QVERIFY2(refused.error().contains(QStringLiteral("16 MiB")), qPrintable(refused.error()));

        // A very long line is fine as long as it is well-formed.
        const QByteArray longText(4 * 1024 * 1024, 'x');
        const auto longLine =
            RegFile::parse(kHeader + "[HKEY_CURRENT_USER\\A]\n\"N\"=\"" + longText + "\"\n");
        QVERIFY2(longLine.isOk(), qPrintable(longLine.error()));
        QCOMPARE(longLine.value().first().values.first().value.text().size(), longText.size());

        // Random bytes and random damage to a valid file: never a crash, and
        // whatever parses writes back to the same sections.
        const QByteArray valid = RegFile::write(
            {section(QStringLiteral("HKEY_CURRENT_USER\\Software\\T"),
                     {value(QStringLiteral("a"), RegValue::fromString(QStringLiteral("b\nc"))),
                      value(QStringLiteral("d"), RegValue::fromDWord(7)),
                      value(QStringLiteral("e"), RegValue::fromBinary(QByteArray(60, 'z')))})});
        QRandomGenerator random(20240601);
        int parsedCount = 0;
        for (int round = 0; round < 3000; ++round) {
            QByteArray bytes = valid;
            if (round % 3 == 0) {
                bytes = QByteArray(random.bounded(1, 400), '\0');
                for (char& c : bytes)
                    c = char(random.bounded(256));
            } else {
                for (int n = random.bounded(1, 4); n > 0; --n)
                    bytes[random.bounded(bytes.size())] = char(random.bounded(256));
            }
            const auto parsed = RegFile::parse(bytes);
            if (!parsed.isOk()) {
                QVERIFY(!parsed.error().isEmpty());
                continue;
            }
            ++parsedCount;
            const auto again = RegFile::parse(RegFile::write(parsed.value()));
            QVERIFY2(again.isOk(), qPrintable(again.error()));
            QCOMPARE(describe(again.value()), describe(parsed.value()));
        }
        QVERIFY(parsedCount > 0);
    }
};

QTEST_GUILESS_MAIN(TestRegFile)
#include "TestRegFile.moc"
