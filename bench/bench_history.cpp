// Call history window figures on a SQLite Calls table.
//   cmake -S . -B build -G Ninja -DPHONAVO_BUILD_BENCH=ON ...
//   ninja -C build bench_history && build/bench/bench_history [rows]
// Measures, on the window's model shown in a tree view (offscreen):
//   opening with `rows` stored calls (default 1,000,000) until the first rows are there;
//   at 100,000 calls, each keystroke of a filter text until the view is updated;
//   at 100,000 calls, grouping by caller until the groups are there.
// Goals: opening under 1 s at 1,000,000 calls, a keystroke under 200 ms,
// grouping under 1 s. Lines starting with RESULT are for scripts/bench.

#include "contacts/store/CallDatabase.h"
#include "history/CallHistoryModel.h"
#include "loc/LocGuru.h"
#include "platform/AppPaths.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTreeView>

#include <algorithm>
#include <vector>

namespace {

QTextStream out(stdout);

// Calls 1..rows, one a minute, from 5,000 callers; appends to what is there.
void fill(CallDatabase& db, int from, int to)
{
    QSqlDatabase sql = db.database();
    sql.transaction();
    QSqlQuery q(sql);
    q.prepare(QStringLiteral(
        "INSERT INTO Calls (CallID, CallerID, CallerName, CallerExtra, CalledID, CalledName, "
        "CalledDevice, Answered, Incoming, New, CallDate) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, 1, "
        "?)"));
    const QDateTime start = QDateTime(QDate(2020, 1, 1), QTime(0, 0));
    for (int i = from; i <= to; ++i) {
        const int caller = i % 5000;
        for (const QVariant& v : QVariantList{
                 i, QStringLiteral("0301%1").arg(caller, 6, 10, QLatin1Char('0')),
                 QStringLiteral("Caller %1").arg(caller), QStringLiteral("Town %1").arg(i % 97),
                 QStringLiteral("5551"), QStringLiteral("Office"), QStringLiteral("Virtual line 1"),
                 i % 3 != 0, i % 4 != 0,
                 start.addSecs(qint64(i) * 60).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"))})
            q.addBindValue(v);
        q.exec();
    }
    sql.commit();
}

// Runs a change of the model and waits until the view has laid out the new rows.
double timed(QTreeView& view, const std::function<void()>& change)
{
    QElapsedTimer t;
    t.start();
    change();
    view.doItemsLayout();
    QCoreApplication::processEvents();
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1'000'000;
    const int small = std::min(rows, 100'000);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("data.db"));
    QString error;
    if (!CallDatabase::createSQLiteDatabase(
            file, AppPaths::dataDir() + QStringLiteral("/schema/sqlite.sql"), &error)) {
        out << "cannot create database: " << error << '\n';
        return 1;
    }
    CallDatabase db([](const QString& e) { out << "error: " << e << '\n'; });
    QString connection = ConnectionString::forSQLite(file);
    if (!db.OpenCallDatabase(connection, QString()))
        return 1;
    LocGuru loc;
    CallHistoryModel model(loc);
    model.setDatabase(&db);
    QTreeView view;
    view.setUniformRowHeights(true);
    view.setModel(&model);
    view.resize(1000, 600);
    view.show();

    QElapsedTimer filling;
    filling.start();
    fill(db, 1, small);
    out << "filled " << small << " rows in " << filling.elapsed() << " ms\n";
    model.refresh();

    // Typing "Caller 123" one letter at a time.
    std::vector<double> keys;
    const QString typed = QStringLiteral("Caller 123");
    for (int n = 1; n <= typed.size(); ++n)
        keys.push_back(timed(view, [&] {
            CallHistoryModel::Settings s = model.settings();
            s.filter.text = typed.left(n);
            model.setSettings(s);
            model.refresh();
        }));
    out << "filter keystroke at " << small << " calls: worst "
        << *std::max_element(keys.begin(), keys.end()) << " ms, median " <<
        [&] {
            auto v = keys;
            std::sort(v.begin(), v.end());
            return v[v.size() / 2];
        }()
        << " ms (" << model.rowCount() << " rows shown for \"" << typed << "\")\n";
    out << "RESULT history.filter.worst " << *std::max_element(keys.begin(), keys.end()) << " ms\n";

    const double grouping = timed(view, [&] {
        CallHistoryModel::Settings s = model.settings();
        s.filter.text.clear();
        s.groupColumn = HistoryColumns::Caller;
        model.setSettings(s);
        model.refresh();
    });
    out << "group by caller at " << small << " calls: " << grouping << " ms (" << model.rowCount()
        << " groups on the first page)\n";
    out << "RESULT history.group " << grouping << " ms\n";
    const double opening = timed(view, [&] { view.expand(model.index(0, 0)); });
    out << "open one group: " << opening << " ms\n";

    if (rows > small) {
        filling.restart();
        fill(db, small + 1, rows);
        out << "filled up to " << rows << " rows in " << filling.elapsed() << " ms\n";
    }
    // A window opened anew: its own connection, then the first page.
    CallHistoryModel fresh(loc);
    fresh.setDatabase(&db);
    QTreeView freshView;
    freshView.setUniformRowHeights(true);
    freshView.setModel(&fresh);
    freshView.resize(1000, 600);
    freshView.show();
    const double open = timed(freshView, [&] { fresh.refresh(); });
    out << "open with " << rows << " calls to first rows: " << open << " ms (" << fresh.rowsRead()
        << " rows read)\n";
    out << "RESULT history.open " << open << " ms\nRESULT history.rows " << rows << " rows\n";
    return 0;
}
