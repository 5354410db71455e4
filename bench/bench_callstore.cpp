// Call store figures on a Calls table of many rows.
//   cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DPHONAVO_BUILD_BENCH=ON
//   ninja -C build-bench bench_callstore && build-bench/bench/bench_callstore [rows] [connection]
// Goal: the three saves of one call at 1,000,000 rows, median <= 0.15 ms, p99 < 1 ms.
// Lines starting with RESULT are for scripts/bench.
// Without a connection string a temporary SQLite database is used; a PostgreSQL
// connection string measures that server (its Calls table is emptied first).

#include "contacts/store/CallDatabase.h"
#include "contacts/store/SqlCallStore.h"
#include "core/calls/CCall.h"
#include "platform/AppPaths.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[size_t(p * double(v.size() - 1))];
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1'000'000;
    QString connection = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    QTemporaryDir dir;
    const bool sqlite = connection.isEmpty();
    QString error;
    if (sqlite) {
        const QString file = dir.filePath(QStringLiteral("data.db"));
        if (!CallDatabase::createSQLiteDatabase(
                file, AppPaths::dataDir() + QStringLiteral("/schema/sqlite.sql"), &error)) {
            out << "cannot create database: " << error << '\n';
            return 1;
        }
        connection = ConnectionString::forSQLite(file);
    } else {
        const ConnectionString cs = ConnectionString::parse(connection);
        if (!cs.configure(QStringLiteral("bench-setup"))) {
            out << "bad connection string\n";
            return 1;
        }
        {
            QSqlDatabase setup = QSqlDatabase::database(QStringLiteral("bench-setup"));
            if (!CallDatabase::runSchema(
                    setup, AppPaths::dataDir() + QStringLiteral("/schema/postgresql.sql"), &error))
                out << "schema: " << error << '\n';
            setup.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("bench-setup"));
    }
    CallDatabase db([&](const QString& e) { out << "error: " << e << '\n'; });
    if (!db.OpenCallDatabase(connection, QString()))
        return 1;
    QSqlDatabase sql = db.database();
    QSqlQuery(sql).exec(QStringLiteral("DELETE FROM Calls"));

    QElapsedTimer t;
    t.start();
    sql.transaction();
    QSqlQuery fill(sql);
    fill.prepare(QStringLiteral(
        "INSERT INTO Calls (CallID, CallerID, CallerName, CalledID, CalledName, CalledDevice, "
        "Answered, Incoming, New, CallDate) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    const QDateTime start = QDateTime::currentDateTime().addSecs(-qint64(rows) * 60);
    for (int i = 1; i <= rows; ++i) {
        fill.addBindValue(i);
        fill.addBindValue(QStringLiteral("030%1").arg(1000000 + i % 9000000));
        fill.addBindValue(QStringLiteral("Caller %1").arg(i % 5000));
        fill.addBindValue(QStringLiteral("5551"));
        fill.addBindValue(QStringLiteral("Office"));
        fill.addBindValue(QStringLiteral("Virtual line 1"));
        fill.addBindValue(i % 3 != 0);
        fill.addBindValue(true);
        fill.addBindValue(true);
        const QDateTime when = start.addSecs(qint64(i) * 60);
        fill.addBindValue(sqlite
                              ? QVariant(when.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")))
                              : QVariant(when));
        fill.exec();
    }
    sql.commit();
    // The filling's log is copied now, not in the first pause measured below.
    QSqlQuery(sql).exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    out << "filled " << rows << " rows in " << t.elapsed() << " ms\n";

    SqlCallStore store(db, {});
    std::vector<double> saves, loads, pauses;
    // Calls come apart in time: between two of them the event loop runs (and
    // with it the store's timers), as in the program.
    const auto pause = [&] {
        QElapsedTimer turn;
        turn.start();
        QEventLoop wait;
        QTimer::singleShot(1, &wait, &QEventLoop::quit);
        wait.exec();
        pauses.push_back(double(turn.nsecsElapsed()) / 1e6);
    };
    for (int i = 0; i < 3000; ++i) {
        CCall call(&store);
        call.setCallerID(QStringLiteral("0301234567"));
        call.setCalledID(QStringLiteral("5551"));
        call.setIsConnected(true);
        QElapsedTimer one;
        one.start();
        call.SaveCall();   // offered
        call.AnswerCall(); // answered
        call.setIsConnected(false);
        call.SaveCall(); // ended: end and duration
        saves.push_back(double(one.nsecsElapsed()) / 1e6);

        CCall loaded(&store);
        QElapsedTimer load;
        load.start();
        loaded.LoadCall(1 + (i * 7919) % rows);
        loads.push_back(double(load.nsecsElapsed()) / 1e6);
        pause();
    }
    out << "store work of one call (3 SaveCall): median " << median(saves) << " ms, p99 "
        << percentile(saves, 0.99) << " ms\n";
    out << "pause between calls (1 ms timer; checkpoints run here): p99 "
        << percentile(pauses, 0.99) << " ms, longest "
        << *std::max_element(pauses.begin(), pauses.end()) << " ms\n";
    out << "RESULT callstore.save3.median " << median(saves) << " ms\n"
        << "RESULT callstore.save3.p99 " << percentile(saves, 0.99) << " ms\n"
        << "RESULT callstore.rows " << rows << " rows\n"
        << "RESULT callstore.pause.longest " << *std::max_element(pauses.begin(), pauses.end())
        << " ms\n";
    out << "LoadCall by id: median " << median(loads) << " ms, p99 " << percentile(loads, 0.99)
        << " ms\n";

    // The calls since a date: the newest 100,000 rows.
    const QDateTime since = start.addSecs(qint64(rows - 100'000) * 60);
    QElapsedTimer q;
    q.start();
    QSqlQuery range(sql);
    range.setForwardOnly(true);
    range.prepare(QStringLiteral("SELECT * FROM Calls WHERE CallDate >= ?"));
    range.addBindValue(sqlite ? QVariant(since.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")))
                              : QVariant(since));
    range.exec();
    int count = 0;
    while (range.next())
        ++count;
    out << "calls since a date: " << count << " rows in " << q.elapsed() << " ms\n";
    out << "RESULT callstore.load.p99 " << percentile(loads, 0.99) << " ms\n";
    return 0;
}
