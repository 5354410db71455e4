#include "contacts/manager/ContactManagerLauncher.h"

#include "ControllerRig.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTest>

namespace {

// A stand-in for the contact manager: writes its arguments beside itself and
// ends with exit code 3.
void writeManager(const QString& folder, QFile::Permissions permissions)
{
    const QString path = QDir(folder).filePath(QStringLiteral("phonavo-contacts"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/args.new\"\n"
               "mv \"$(dirname \"$0\")/args.new\" \"$(dirname \"$0\")/args.txt\"\nexit 3\n");
    file.close();
    QVERIFY(file.setPermissions(permissions));
}

} // namespace

class TestContactManagerLauncher : public QObject
{
    Q_OBJECT

private slots:
    void looksBesideTheRunningProgram()
    {
        ControllerRig rig;
        ContactManagerLauncher launcher(rig.loc, rig.errors);
        QCOMPARE(launcher.programPath(),
                 QCoreApplication::applicationDirPath() + QStringLiteral("/phonavo-contacts"));
    }

    void startAndWaitCallsBackWithTheExitCode_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("wait");
        QTest::newRow("wait, two arguments") << QStringList{"-edit", "a b"} << true;
        QTest::newRow("start without arguments") << QStringList{} << false;
    }

    void startAndWaitCallsBackWithTheExitCode()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, wait);
        ControllerRig rig;
        ContactManagerLauncher launcher(rig.loc, rig.errors);
        launcher.setFolder(rig.home.path());
        writeManager(rig.home.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QList<int> codes;
        QVERIFY(wait ? launcher.startAndWait(arguments, [&](int code) { codes << code; })
                     : launcher.start(arguments));
        QVERIFY(codes.isEmpty()); // nothing waits for the program
        const QString args = rig.home.file(QStringLiteral("args.txt"));
        QTRY_VERIFY(QFile::exists(args));
        if (wait)
            QTRY_COMPARE(codes, QList<int>{3});
        QCOMPARE(rig.home.read(QStringLiteral("args.txt")),
                 arguments.isEmpty() ? QByteArray("\n") : arguments.join('\n').toUtf8() + '\n');
        QVERIFY(rig.dialogs.shown().isEmpty());
    }

    void aMissingProgramIsReportedWithItsFolder()
    {
        ControllerRig rig;
        ContactManagerLauncher launcher(rig.loc, rig.errors);
        const QString folder = rig.home.file(QStringLiteral("no manager here"));
        launcher.setFolder(folder);
        bool called = false;
        QVERIFY(!launcher.startAndWait({}, [&](int) { called = true; }));
        QVERIFY(!launcher.start({}));
        const QString expected =
            QStringLiteral("Unable to find \"phonavo-contacts\" in \"%1\"").arg(folder);
        QCOMPARE(rig.dialogs.shown().size(), 2);
        QVERIFY2(rig.dialogs.shown().first().startsWith(expected),
                 qPrintable(rig.dialogs.shown().first()));
        QVERIFY(rig.anyMessage([&](const QString& line) { return line.contains(expected); }));
        QTest::qWait(50);
        QVERIFY(!called);
    }

    void aProgramThatCannotRunIsReportedAndEnds()
    {
        ControllerRig rig;
        ContactManagerLauncher launcher(rig.loc, rig.errors);
        launcher.setFolder(rig.home.path());
        writeManager(rig.home.path(), QFile::ReadOwner | QFile::WriteOwner); // not executable
        QList<int> codes;
        QVERIFY(launcher.startAndWait({}, [&](int code) { codes << code; }));
        QTRY_COMPARE(codes, QList<int>{-1});
        QCOMPARE(rig.dialogs.shown().size(), 1);
        QVERIFY(rig.dialogs.shown().first().startsWith(
            QStringLiteral("Unable to start \"%1\": ").arg(launcher.programPath())));
    }
};

QTEST_GUILESS_MAIN(TestContactManagerLauncher)
#include "TestContactManagerLauncher.moc"
