#include "contacts/store/CallDatabase.h"
#include "platform/AppPaths.h"
#include "platform/db/ui/ConnectionStringDialog.h"

#include "Screenshot.h"
#include "TestHome.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestUiConnectionStringDialog : public QObject
{
    Q_OBJECT

    template <typename T> static T* child(QWidget& w, const char* name)
    {
        T* found = w.findChild<T*>(QString::fromLatin1(name));
        if (!found)
            qWarning("no control %s", name);
        return found;
    }

    // Runs the prompt; `act` gets the dialog once it is shown.
    static QString prompt(const QString& current, std::function<void(QDialog&)> act)
    {
        QTimer::singleShot(0, [act] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                act(*dialog);
        });
        return PromptConnectionString(nullptr, current);
    }

private slots:
    void fieldsAndStringFollowEachOther()
    {
        ConnectionStringDialog dialog;
        dialog.setConnectionString(QStringLiteral(
            "Provider=PostgreSQL;Host=db.local;Port=5432;Database=calls;User ID=phonavo;"
            "Password=pw;Application Name=desk"));
        auto* provider = child<QComboBox>(dialog, "cmbProvider");
        auto* host = child<QLineEdit>(dialog, "txtHost");
        auto* dataSource = child<QLineEdit>(dialog, "txtDataSource");
        auto* raw = child<QLineEdit>(dialog, "txtConnectionString");
        QVERIFY(provider && host && dataSource && raw);
        QCOMPARE(provider->currentText(), QStringLiteral("PostgreSQL"));
        QCOMPARE(host->text(), QStringLiteral("db.local"));
        QCOMPARE(child<QLineEdit>(dialog, "txtPort")->text(), QStringLiteral("5432"));
        QCOMPARE(child<QLineEdit>(dialog, "txtUserID")->text(), QStringLiteral("phonavo"));
        QCOMPARE(child<QLineEdit>(dialog, "txtPassword")->text(), QStringLiteral("pw"));
        dialog.show();
        QVERIFY(host->isVisible());
        QVERIFY(!dataSource->isVisible());
        saveScreenshot(dialog, QStringLiteral("frmConnectionString-postgresql"));

        // Field to string: the key keeps its place, keys without a field stay.
        host->clear();
        QTest::keyClicks(host, QStringLiteral("10.0.0.2"));
        QCOMPARE(dialog.connectionString(),
                 QStringLiteral("Provider=PostgreSQL;Host=10.0.0.2;Port=5432;Database=calls;"
                                "User ID=phonavo;Password=pw;Application Name=desk"));
        child<QLineEdit>(dialog, "txtPassword")->clear();
        QVERIFY(!dialog.connectionString().contains(QLatin1String("Password")));

        // Another provider drops the fields it has no use for.
        provider->setCurrentText(QStringLiteral("SQLite"));
        QCOMPARE(dialog.connectionString(),
                 QStringLiteral("Provider=SQLite;Application Name=desk"));
        QVERIFY(dataSource->isVisible() && !host->isVisible());
        QTest::keyClicks(dataSource, QStringLiteral("/tmp/calls.db"));
        QCOMPARE(dialog.connectionString(),
                 QStringLiteral("Provider=SQLite;Data Source=/tmp/calls.db;Application Name=desk"));
        saveScreenshot(dialog, QStringLiteral("frmConnectionString-sqlite"));

        // String to fields, case-insensitive keys.
        raw->setText(QStringLiteral("provider=mysql;host=maria;database=x"));
        QCOMPARE(provider->currentText(), QStringLiteral("MySQL"));
        QCOMPARE(host->text(), QStringLiteral("maria"));
        QCOMPARE(dataSource->text(), QString());
        QVERIFY(host->isVisible());

        // A provider this program does not know leaves only the raw string.
        raw->setText(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\data.mdb"));
        QCOMPARE(provider->currentIndex(), -1);
        QVERIFY(!host->isVisible() && !dataSource->isVisible());
        QCOMPARE(dialog.connectionString(),
                 QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\data.mdb"));
    }

    void promptReturnsTheEditedOrTheGivenString()
    {
        const QString current = QStringLiteral("Provider=SQLite;Data Source=/srv/calls.db");
        QCOMPARE(prompt(current,
                        [](QDialog& d) {
                            child<QLineEdit>(d, "txtDataSource")->setText(QStringLiteral("/x.db"));
                            d.reject();
                        }),
                 current);
        QCOMPARE(prompt(current,
                        [](QDialog& d) {
                            child<QLineEdit>(d, "txtDataSource")->setText(QStringLiteral("/x.db"));
                            child<QPushButton>(d, "btnOK")->click();
                        }),
                 QStringLiteral("Provider=SQLite;Data Source=/x.db"));
        // Blank: a new connection, starting on the embedded database.
        QString title;
        QCOMPARE(prompt(QString(),
                        [&title](QDialog& d) {
                            title = d.windowTitle();
                            d.accept();
                        }),
                 QStringLiteral("Provider=SQLite"));
        QCOMPARE(title, QStringLiteral("New database connection"));
    }

    void testButtonTriesTheConnection()
    {
        TestHome home;
        const QString file = home.file(QStringLiteral("calls.db"));
        QString error;
        QVERIFY2(CallDatabase::createSQLiteDatabase(
                     file, AppPaths::dataDir() + QStringLiteral("/schema/sqlite.sql"), &error),
                 qPrintable(error));
        ConnectionStringDialog dialog;
        auto* test = child<QPushButton>(dialog, "btnTest");
        QVERIFY(test);

        dialog.setConnectionString(QStringLiteral("Provider=SQLite;Data Source=") + file);
        test->click();
        QCOMPARE(dialog.testResult(), QStringLiteral("Test connection succeeded."));
        QCOMPARE(child<QLabel>(dialog, "lblTestResult")->text(), dialog.testResult());
        QVERIFY(test->isEnabled());

        const QString missing = home.file(QStringLiteral("missing.db"));
        dialog.setConnectionString(QStringLiteral("Provider=SQLite;Data Source=") + missing);
        test->click();
        QVERIFY2(dialog.testResult().startsWith(QLatin1String("Test connection failed: ")),
                 qPrintable(dialog.testResult()));
        QVERIFY(!QFile::exists(missing)); // trying must not create an empty database

        dialog.setConnectionString(QStringLiteral("Provider=Jet;Data Source=") + file);
        test->click();
        QVERIFY2(dialog.testResult().contains(QLatin1String("Unknown database provider")),
                 qPrintable(dialog.testResult()));
        dialog.show();
        saveScreenshot(dialog, QStringLiteral("frmConnectionString-failed"));
    }
};

QTEST_MAIN(TestUiConnectionStringDialog)
#include "TestUiConnectionStringDialog.moc"
