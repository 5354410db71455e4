// The server's fan-out against two floors, on the same clients: a minimal Qt
// server (QTcpServer, one pre-built "incomingcall" written to every client)
// and a bare epoll server (write(2) per client); then the replay of the newest
// 1,000 calls from tables of growing size, a client that logs in again every
// 0.5 s during calls, and the memory after many calls.
//   cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DPHONAVO_BUILD_BENCH=ON
//   ninja -C build-bench bench_fanout
//   build-bench/bench/bench_fanout [clients=256] [calls per round=100] [rows=1000000]
//                                  [calls for the memory figure=100000] [rounds=5]
// The clients are plain epoll sockets in a child process (this program with
// --clients), each from its own 127.x.y.z address. A call's delay runs from
// the moment the server side is told about it (Phonavo: its line offers the
// call; the floors: the call is handed to them) to the first and to the last
// client reading its "incomingcall", on the monotonic clock both processes
// share. Each figure is the median over the rounds of the round's p50 or p99;
// the servers take turns round by round, so a busy machine hurts all three.
// Lines starting with RESULT are for scripts/bench.

#include "BenchKit.h"
#include "FanoutClients.h"
#include "FanoutHarness.h"
#include "server/protocol/WireProtocol.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

#include <optional>

using namespace bench;

namespace {

// A client's listen with `stamp`: the time until its "accepted" is complete and
// the records in it; nothing on a time-out.
std::optional<std::pair<double, int>> replayOnce(quint16 port, const QString& stamp)
{
    QTcpSocket socket;
    QByteArray buffer;
    qint64 start = 0;
    std::optional<std::pair<double, int>> got;
    QEventLoop loop;
    QObject::connect(&socket, &QTcpSocket::connected, [&] {
        start = monoNs();
        socket.write(listenMessage(QStringLiteral("replay"), stamp));
    });
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] {
        buffer += socket.readAll();
        const qsizetype at = buffer.indexOf("accepted\r\n");
        const qsizetype end = at < 0 ? -1 : buffer.indexOf('\0', at);
        if (end < 0)
            return;
        got = {double(monoNs() - start) / 1e6, int(buffer.mid(at, end - at).count(char(0xFF)))};
        loop.quit();
    });
    QTimer::singleShot(120'000, &loop, &QEventLoop::quit);
    socket.connectToHost(QHostAddress::LocalHost, port);
    loop.exec();
    socket.abort();
    pause(50);
    return got;
}

QString formatMs(double ms)
{
    return QString::number(ms, 'f', ms < 10 ? 3 : 1);
}

int argOr(const QStringList& args, int i, int fallback)
{
    return args.size() > i ? args[i].toInt() : fallback;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == QLatin1String("--clients"))
        return runFanoutClients(
            {args.value(2).toInt(), quint16(args.value(3).toUInt()), args.value(4), 500});

    QTextStream out(stdout);
    const int clients = std::clamp(argOr(args, 1, 256), 2, int(PhonavoServer::kMaxClients));
    const int calls = std::max(1, argOr(args, 2, 100));
    const int rows = std::max(1000, argOr(args, 3, 1'000'000));
    const int enduranceCalls = std::max(0, argOr(args, 4, 100'000));
    const int rounds = std::max(1, argOr(args, 5, 5));
    const int spacingMs = 50;

    PhonavoRig rig(out);
    if (!rig.start())
        return 1;

    // The newest 1,000 calls from tables of growing size: the same work
    // whatever the size, so the time should not grow with it.
    std::vector<int> sizes;
    for (const int n : {10'000, 100'000, 1'000'000})
        if (n < rows)
            sizes.push_back(n);
    sizes.push_back(rows);
    const QDateTime firstDate = QDateTime::currentDateTime().addSecs(-qint64(rows) * 60 - 3600);
    int filled = 0;
    std::map<int, double> newest;
    for (const int n : sizes) {
        QElapsedTimer fillTime;
        fillTime.start();
        fillCalls(rig.database(), filled + 1, n, firstDate);
        filled = n;
        const QString stamp = WireProtocol::FormatStamp(rowDate(firstDate, n - 999));
        std::vector<double> ms;
        int records = 0;
        for (int i = 0; i < rounds; ++i)
            if (const auto got = replayOnce(rig.port(), stamp)) {
                ms.push_back(got->first);
                records = got->second;
            }
        newest[n] = median(ms);
        out << "replay of the newest " << records << " calls from " << n << " rows: median "
            << formatMs(newest[n]) << " ms of " << ms.size() << " (table filled in "
            << fillTime.elapsed() << " ms)" << Qt::endl;
        if (records == 1000 && !ms.empty())
            result(out, QStringLiteral("replay.newest1000.rows%1").arg(n), newest[n],
                   QStringLiteral("ms"));
        else
            out << "  expected 1000 calls" << Qt::endl;
    }
    if (newest.size() > 1 && newest.begin()->second > 0)
        result(out, QStringLiteral("replay.newest1000.growth"),
               newest.rbegin()->second / newest.begin()->second, QStringLiteral("x"));

    // The fan-out against the floors, with the table as filled.
    FanoutHarness harness(out, rig, clients);
    if (!harness.listen()) {
        out << "the floors cannot listen" << Qt::endl;
        return 1;
    }
    std::vector<Round> byKind[3];
    for (int r = 0; r < rounds; ++r)
        for (const Kind kind : {Kind::Qt, Kind::Epoll, Kind::Phonavo})
            if (const auto round = harness.run(kind, calls, spacingMs))
                byKind[int(kind)].push_back(*round);
            else
                return 1;
    Round s[3];
    for (int k = 0; k < 3; ++k) {
        s[k] = summarize(byKind[k]);
        out << kKindNames[k] << ", " << clients << " clients, " << rounds << " rounds of " << calls
            << " calls: first client p50 " << formatMs(s[k].firstP50) << " ms, p99 "
            << formatMs(s[k].firstP99) << " ms; last client p50 " << formatMs(s[k].lastP50)
            << " ms, p99 " << formatMs(s[k].lastP99) << " ms (" << s[k].incomplete
            << " calls not read by every client, " << s[k].lost << " clients closed)" << Qt::endl;
        const QString key = QStringLiteral("fanout.%1.").arg(QLatin1String(kKindKeys[k]));
        result(out, key + QStringLiteral("first.p50"), s[k].firstP50, QStringLiteral("ms"));
        result(out, key + QStringLiteral("first.p99"), s[k].firstP99, QStringLiteral("ms"));
        result(out, key + QStringLiteral("last.p50"), s[k].lastP50, QStringLiteral("ms"));
        result(out, key + QStringLiteral("last.p99"), s[k].lastP99, QStringLiteral("ms"));
        result(out, key + QStringLiteral("incomplete"), s[k].incomplete, QStringLiteral("calls"));
    }
    const Round& p = s[int(Kind::Phonavo)];
    for (const Kind floor : {Kind::Qt, Kind::Epoll}) {
        const Round& f = s[int(floor)];
        const double first = f.firstP50 > 0 ? p.firstP50 / f.firstP50 : 0;
        const double last = f.lastP50 > 0 ? p.lastP50 / f.lastP50 : 0;
        out << "Phonavo to the " << kKindNames[int(floor)] << ": first client p50 "
            << QString::number(first, 'f', 2) << "x, last client p50 "
            << QString::number(last, 'f', 2) << "x" << Qt::endl;
        const QString key = QStringLiteral("fanout.ratio.%1.").arg(kKindKeys[int(floor)]);
        result(out, key + QStringLiteral("first.p50"), first, QStringLiteral("x"));
        result(out, key + QStringLiteral("last.p50"), last, QStringLiteral("x"));
    }

    // One client logging in again every 0.5 s with a recent stamp, against
    // the same calls without it; the client that rejoins is not counted.
    const QString recent = WireProtocol::FormatStamp(QDateTime::currentDateTime().addSecs(-60));
    std::vector<Round> idle, rejoin;
    for (int r = 0; r < rounds; ++r) {
        const auto quiet = harness.run(Kind::Phonavo, calls, spacingMs);
        const auto busy = harness.run(Kind::Phonavo, calls, spacingMs, recent);
        if (!quiet || !busy)
            return 1;
        idle.push_back(*quiet);
        rejoin.push_back(*busy);
    }
    const Round quiet = summarize(idle), busy = summarize(rejoin);
    out << "last client p99 with " << filled << " rows: " << formatMs(quiet.lastP99) << " ms idle, "
        << formatMs(busy.lastP99) << " ms with one client logging in again every "
        << "0.5 s (" << busy.rejoins << " times, its replay p50 " << formatMs(busy.rejoinP50)
        << " ms; " << busy.incomplete << " calls not read by every other client)" << Qt::endl;
    result(out, QStringLiteral("rejoin.idle.last.p99"), quiet.lastP99, QStringLiteral("ms"));
    result(out, QStringLiteral("rejoin.busy.last.p99"), busy.lastP99, QStringLiteral("ms"));
    result(out, QStringLiteral("rejoin.rows"), filled, QStringLiteral("rows"));
    if (quiet.lastP99 > 0)
        result(out, QStringLiteral("rejoin.ratio"), busy.lastP99 / quiet.lastP99,
               QStringLiteral("x"));

    // Memory after many calls, each answered and ended, with every client listening.
    if (enduranceCalls > 0) {
        const qint64 before = rssKiB();
        QElapsedTimer t;
        t.start();
        // A call every 5 ms, or as fast as the server takes them.
        const auto many = harness.run(Kind::Phonavo, enduranceCalls, 5);
        if (!many)
            return 1;
        const qint64 after = rssKiB();
        out << "server RSS after " << many->calls << " more calls with " << clients
            << " clients: " << after << " KiB (" << before << " KiB before; " << many->incomplete
            << " calls not read by every client; " << t.elapsed() / 1000 << " s)" << Qt::endl;
        result(out, QStringLiteral("rss.after.calls"), double(after) / 1024, QStringLiteral("MiB"));
        result(out, QStringLiteral("rss.after.calls.count"), many->calls, QStringLiteral("calls"));
    }
    return 0;
}
