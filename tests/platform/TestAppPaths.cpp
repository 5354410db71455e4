#include "platform/AppPaths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

// The runtime folder without a session's XDG_RUNTIME_DIR: in the shared temp
// folder, where another user may have been first.
class TestAppPaths : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;
    QHash<QByteArray, QByteArray> m_saved;

    void setEnv(const char* name, const QByteArray& value)
    {
        if (!m_saved.contains(name))
            m_saved.insert(name, qgetenv(name));
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }

private slots:
    void init()
    {
        setEnv("PHONAVO_HOME", QByteArray());
        setEnv("XDG_RUNTIME_DIR", QByteArray());
        setEnv("USER", QByteArray());
        setEnv("TMPDIR", QFile::encodeName(m_tmp.path()));
    }

    void cleanup()
    {
        for (auto it = m_saved.cbegin(); it != m_saved.cend(); ++it) {
            if (it.value().isNull())
                qunsetenv(it.key().constData());
            else
                qputenv(it.key().constData(), it.value());
        }
        m_saved.clear();
        QDir(m_tmp.filePath(QStringLiteral("phonavo-%1").arg(::getuid()))).removeRecursively();
        QFile::remove(m_tmp.filePath(QStringLiteral("phonavo-%1").arg(::getuid())));
    }

    void temporaryRuntimeFolderIsTheUsersOwn_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("reason");
        QTest::newRow("none yet") << ""
                                  << "";
        QTest::newRow("own, open to all") << "open"
                                          << "";
        QTest::newRow("a link") << "link"
                                << "it is a symbolic link";
        QTest::newRow("another user's") << "foreign"
                                        << "it belongs to another user (id 65534)";
    }

    void temporaryRuntimeFolderIsTheUsersOwn()
    {
        QFETCH(QString, before);
        QFETCH(QString, reason);
        const QString base = m_tmp.filePath(QStringLiteral("phonavo-%1").arg(::getuid()));
        const QByteArray path = QFile::encodeName(base);
        if (before == QLatin1String("open")) {
            QVERIFY(::mkdir(path.constData(), 0777) == 0 && ::chmod(path.constData(), 0777) == 0);
        } else if (before == QLatin1String("link")) {
            QVERIFY(QDir().mkpath(m_tmp.filePath(QStringLiteral("elsewhere"))));
            QVERIFY(QFile::link(m_tmp.filePath(QStringLiteral("elsewhere")), base));
        } else if (before == QLatin1String("foreign")) {
            QVERIFY(::mkdir(path.constData(), 0700) == 0);
            if (::chown(path.constData(), 65534, 65534) != 0)
                QSKIP("only the superuser can give a folder away");
        }

        QCOMPARE(AppPaths::runtimeDir(), base + QStringLiteral("/phonavo"));
        QCOMPARE(AppPaths::singleInstanceLockPath(QStringLiteral("M")),
                 base + QStringLiteral("/phonavo/M.lock"));
        const AppPaths::FolderProblem problem = AppPaths::prepareRuntimeDir();
        QCOMPARE(problem.reason, reason);
        if (!reason.isEmpty()) {
            QCOMPARE(problem.folder, base);
            QVERIFY(!QFileInfo::exists(base + QStringLiteral("/phonavo")));
            return;
        }
        for (const QString& dir : QStringList{base, base + QStringLiteral("/phonavo")}) {
            struct stat info = {};
            QCOMPARE(::lstat(QFile::encodeName(dir).constData(), &info), 0);
            QVERIFY(S_ISDIR(info.st_mode));
            QCOMPARE(info.st_mode & 0777, mode_t(0700));
            QCOMPARE(info.st_uid, ::getuid());
        }
    }

    // Address books and the journal live where other desktop programs look.
    void sharedFoldersFollowTheDataHome_data()
    {
        QTest::addColumn<QByteArray>("phonavoHome");
        QTest::addColumn<QByteArray>("dataHome");
        QTest::addColumn<QString>("base");
        QTest::newRow("XDG_DATA_HOME") << QByteArray() << QByteArray("/srv/data") << "/srv/data";
        QTest::newRow("relative one ignored")
            << QByteArray() << QByteArray("rel") << QDir::homePath() + "/.local/share";
        QTest::newRow("PHONAVO_HOME wins")
            << QByteArray("/opt/p/") << QByteArray("/srv/data") << "/opt/p";
    }
    void sharedFoldersFollowTheDataHome()
    {
        QFETCH(QByteArray, phonavoHome);
        QFETCH(QByteArray, dataHome);
        QFETCH(QString, base);
        setEnv("PHONAVO_HOME", phonavoHome);
        setEnv("XDG_DATA_HOME", dataHome);
        QCOMPARE(AppPaths::addressBookDir(), base + QStringLiteral("/contacts"));
        QCOMPARE(AppPaths::journalDir(), base + QStringLiteral("/calendars/phonavo-journal"));
    }
};

QTEST_GUILESS_MAIN(TestAppPaths)
#include "TestAppPaths.moc"
