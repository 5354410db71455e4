#include "platform/db/ConnectionString.h"

#include <QTest>

class TestConnectionString : public QObject
{
    Q_OBJECT

private slots:
    // Quoted values may hold ';', blanks at their ends and quotes; plain ones
    // read as before.
    void pairs_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("pairs"); // key, value, key, value, ...
        QTest::newRow("plain, trimmed")
            << " Provider = SQLite ;Data Source= /x/a.db ;"
            << QStringList{"Provider", "SQLite", "Data Source", "/x/a.db"};
        QTest::newRow("double quotes with ;")
            << "Provider=SQLite;Data Source=\"/x/a;b.db\";Mode=Read"
            << QStringList{"Provider", "SQLite", "Data Source", "/x/a;b.db", "Mode", "Read"};
        QTest::newRow("doubled quote inside")
            << "Password=\"a\"\"b;c\"" << QStringList{"Password", "a\"b;c"};
        QTest::newRow("single quotes keep blanks")
            << "Password=' x ' ;Host=h" << QStringList{"Password", " x ", "Host", "h"};
        QTest::newRow("quote inside a plain value")
            << "Password=pa\"ss;Host=h" << QStringList{"Password", "pa\"ss", "Host", "h"};
        QTest::newRow("unterminated quote takes the rest")
            << "Data Source=\"/a;b" << QStringList{"Data Source", "/a;b"};
        QTest::newRow("parts without key or =") << "junk;=x;Host=h;;" << QStringList{"Host", "h"};
    }
    void pairs()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, pairs);
        QStringList flat;
        for (const auto& [key, value] : ConnectionString::splitPairs(text))
            flat << key << value;
        QCOMPARE(flat, pairs);
        // Written again, the pairs read back the same.
        QCOMPARE(ConnectionString::splitPairs(
                     ConnectionString::compose(ConnectionString::splitPairs(text))),
                 ConnectionString::splitPairs(text));
    }

    void sqlitePathsSurvive_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("plain") << "/home/u/.local/share/phonavo/contacts.db";
        QTest::newRow("semicolon") << "/home/u/a;b/contacts.db";
        QTest::newRow("quotes and blanks") << " /tmp/\"my\" contacts.db ";
        QTest::newRow("starts with a quote") << "'x.db";
    }
    void sqlitePathsSurvive()
    {
        QFETCH(QString, path);
        const ConnectionString cs = ConnectionString::parse(ConnectionString::forSQLite(path));
        QCOMPARE(cs.engine(), ConnectionString::Engine::SQLite);
        QCOMPARE(cs.value(QStringLiteral("Data Source")), path);
    }
};

QTEST_GUILESS_MAIN(TestConnectionString)
#include "TestConnectionString.moc"
