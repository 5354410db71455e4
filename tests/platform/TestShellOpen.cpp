#include "platform/FileHandleLimit.h"
#include "platform/desktop/ShellOpen.h"
#include "shell/dialogs/ScriptedDialogs.h"
#include "shell/settings/SettingsStore.h"

#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include <sys/resource.h>

class TestShellOpen : public QObject
{
    Q_OBJECT

    // An opener that records what it was asked to open and ends with `exitCode`.
    static QString fakeOpener(const TestHome& home, int exitCode)
    {
        const QString path = home.file(QStringLiteral("opener-%1").arg(exitCode));
        home.write(QStringLiteral("opener-%1").arg(exitCode),
                   QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" >> \"%1\"\nexit %2\n")
                       .arg(home.file(QStringLiteral("opened.txt")))
                       .arg(exitCode)
                       .toUtf8());
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

    static QStringList boxes(const ScriptedDialogs& dialogs)
    {
        QStringList prompts;
        for (const auto& box : dialogs.history()) {
            if (box.style != MsgStyle::Critical)
                prompts << QStringLiteral("(not critical)");
            prompts << box.prompt;
        }
        return prompts;
    }

private slots:
    void localFailuresAreFoundBeforeStarting_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("verb");
        QTest::addColumn<QString>("text");
        QTest::newRow("missing file") << "missing.txt"
                                      << "open"
                                      << "Datei nicht gefunden";
        QTest::newRow("missing folder") << "nowhere/missing.txt"
                                        << ""
                                        << "Pfad nicht gefunden";
        QTest::newRow("file URL") << "file:///nonexistent-folder/x.pdf"
                                  << "open"
                                  << "Pfad nicht gefunden";
        QTest::newRow("print") << "present.txt"
                               << "print"
                               << "Mit diesem Dateityp ist keine Anwendung verbunden.";
    }

    void localFailuresAreFoundBeforeStarting()
    {
        QFETCH(QString, file);
        QFETCH(QString, verb);
        QFETCH(QString, text);
        TestHome home;
        home.write(QStringLiteral("present.txt"), "x");
        ScriptedDialogs dialogs;
        ShellOpener opener(ShellOpener::messageBoxes(dialogs), fakeOpener(home, 0));
        QVERIFY(!opener.ShellOpen(file, 1, QString(), home.path(), verb));
        QCOMPARE(boxes(dialogs), QStringList{QStringLiteral("Fehler beim Öffnen von \n") + file +
                                             QStringLiteral(":\n\n") + text});
        QCOMPARE(opener.running(), 0);
        QVERIFY(!QFile::exists(home.file(QStringLiteral("opened.txt"))));
    }

    void unreadableFileIsRefused()
    {
        TestHome home;
        home.write(QStringLiteral("secret.txt"), "x");
        QFile::setPermissions(home.file(QStringLiteral("secret.txt")), QFileDevice::WriteOwner);
        if (QFileInfo(home.file(QStringLiteral("secret.txt"))).isReadable())
            QSKIP("running with privileges that read any file");
        QStringList reports;
        ShellOpener opener([&](const QString& m) { reports << m; }, fakeOpener(home, 0));
        QVERIFY(!opener.ShellOpen(home.file(QStringLiteral("secret.txt"))));
        QCOMPARE(reports.size(), 1);
        QVERIFY(reports[0].endsWith(QLatin1String("Pfad/Datei-Zugriff nicht erlaubt")));
    }

    void openerResultIsReportedWhenItEnds_data()
    {
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("text");
        QTest::newRow("success") << 0 << QString();
        QTest::newRow("file missing") << 2 << "Datei nicht gefunden";
        QTest::newRow("no application")
            << 3 << "Mit diesem Dateityp ist keine Anwendung verbunden.";
        QTest::newRow("action failed")
            << 4 << "Ein Fehler ist beim Öffnen oder Drucken der Datei aufgetreten.";
    }

    void openerResultIsReportedWhenItEnds()
    {
        QFETCH(int, exitCode);
        QFETCH(QString, text);
        TestHome home;
        home.write(QStringLiteral("letter.pdf"), "%PDF");
        ScriptedDialogs dialogs;
        ShellOpener opener(ShellOpener::messageBoxes(dialogs), fakeOpener(home, exitCode));
        // Relative to the folder; the opener gets the full path.
        QVERIFY(opener.ShellOpen(QStringLiteral("letter.pdf"), 1, QString(), home.path()));
        QTRY_COMPARE(opener.running(), 0);
        QCOMPARE(home.read(QStringLiteral("opened.txt")),
                 home.file(QStringLiteral("letter.pdf")).toUtf8() + '\n');
        const QStringList expected =
            text.isEmpty()
                ? QStringList()
                : QStringList{QStringLiteral("Fehler beim Öffnen von \nletter.pdf:\n\n") + text};
        QCOMPARE(boxes(dialogs), expected);
    }

    // The program's raised file-handle limit is its own: the opener (and what
    // it starts) gets the limit the program was started with.
    void openerGetsTheOriginalHandleLimit()
    {
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &saved), 0);
        const auto restore = qScopeGuard([&saved] { setrlimit(RLIMIT_NOFILE, &saved); });
        if (saved.rlim_max != RLIM_INFINITY && saved.rlim_max <= 256)
            QSKIP("the hard limit leaves nothing to raise");
        rlimit low = saved;
        low.rlim_cur = 256;
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &low), 0);
        QVERIFY(FileHandleLimit::raiseSoftLimit().after > 256);

        TestHome home;
        const QString opener = home.file(QStringLiteral("opener"));
        home.write(QStringLiteral("opener"), QStringLiteral("#!/bin/sh\nulimit -n > \"%1\"\n")
                                                 .arg(home.file(QStringLiteral("limit.txt")))
                                                 .toUtf8());
        QFile::setPermissions(opener, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QStringList reports;
        ShellOpener shell([&](const QString& m) { reports << m; }, opener);
        QVERIFY(shell.ShellOpen(QStringLiteral("https://phonavo.example/")));
        QTRY_COMPARE(shell.running(), 0);
        QCOMPARE(home.read(QStringLiteral("limit.txt")).trimmed(), QByteArray("256"));
        QVERIFY(reports.isEmpty());
    }

    void missingOpenerMeansNoApplication()
    {
        QStringList reports;
        ShellOpener opener([&](const QString& m) { reports << m; },
                           QStringLiteral("/nonexistent/xdg-open"));
        QVERIFY(!opener.ShellOpen(QStringLiteral("https://phonavo.example/")));
        QCOMPARE(reports, QStringList{QStringLiteral(
                              "Fehler beim Öffnen von \nhttps://phonavo.example/:\n\nMit "
                              "diesem Dateityp ist keine Anwendung verbunden.")});
    }

    void vendorPagesComeFromMachineSettings()
    {
        TestHome home;
        SettingsStore settings(home.file(QStringLiteral("user.reg")),
                               home.file(QStringLiteral("machine.reg")));
        QStringList reports;
        ShellOpener opener([&](const QString& m) { reports << m; }, fakeOpener(home, 0));
        opener.setSettings(&settings);
        QVERIFY(opener.mnuWebsite());
        QTRY_COMPARE(opener.running(), 0);
        settings.SaveSettingHKLM(QString(), QStringLiteral("HomepageURL"),
                                 QStringLiteral("https://www.example.org/phonavo"));
        QVERIFY(opener.mnuWebsite());
        QTRY_COMPARE(opener.running(), 0);
        QCOMPARE(home.read(QStringLiteral("opened.txt")),
                 QByteArray("https://phonavo.example/\nhttps://www.example.org/phonavo\n"));
        QVERIFY(reports.isEmpty());
    }

    // Help opens the pages built from the user guide and the FAQ, which the
    // program finds beside itself.
    void helpOpensTheInstalledPages()
    {
        TestHome home;
        QStringList reports;
        ShellOpener opener([&](const QString& m) { reports << m; }, fakeOpener(home, 0));
        for (const QString& topic : {QStringLiteral("index"), QStringLiteral("faq")}) {
            QVERIFY(opener.DoOpenHelp(topic));
            QTRY_COMPARE(opener.running(), 0);
        }
        const QList<QByteArray> opened = home.read(QStringLiteral("opened.txt")).split('\n');
        QCOMPARE(opened.size(), 3);
        const QString guide = QString::fromUtf8(opened[0]);
        const QString faq = QString::fromUtf8(opened[1]);
        QVERIFY(guide.endsWith(QLatin1String("/help/index.html")));
        QVERIFY(faq.endsWith(QLatin1String("/help/faq.html")));
        for (const QString& page : {guide, faq}) {
            QFile file(page);
            QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(page));
            const QByteArray html = file.readAll();
            QVERIFY(html.startsWith("<!DOCTYPE html>") && html.contains("<h1>Phonavo"));
            // Every picture a page shows is there.
            static const QRegularExpression picture(QStringLiteral("<img src=\"([^\"]+)\""));
            for (auto it = picture.globalMatch(QString::fromUtf8(html)); it.hasNext();) {
                const QString src = it.next().captured(1);
                QVERIFY2(QFile::exists(QFileInfo(page).absolutePath() + QLatin1Char('/') + src),
                         qPrintable(src));
            }
        }
        QVERIFY(reports.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestShellOpen)
#include "TestShellOpen.moc"
