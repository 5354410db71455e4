// Server figures over loopback: the old-call replay (with the log switch off
// and on), memory with idle clients, the delay from a line's offering
// notification to the last client's "incomingcall", and a steady call rate
// with every event checked for loss and order at every client.
//   cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DPHONAVO_BUILD_BENCH=ON
//   ninja -C build-bench bench_server
//   build-bench/bench/bench_server [clients=256] [calls/s=50] [seconds=60] [replay rows=100000]
// bench_fanout compares the fan-out with a Qt and an epoll floor. Lines
// starting with RESULT are for scripts/bench.
// The clients run in a child process (this program with --clients), each from
// its own 127.x.y.z address, as the server keeps one connection per address.
// 256 clients need about 300 file handles on each side (see ulimit -n).

#include "BenchKit.h"
#include "core/calls/CCall.h"
#include "server/protocol/WireProtocol.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <map>
#include <unistd.h>
#include <vector>

using namespace bench;

namespace {

// ---- the client side (child process) -------------------------------------

struct BenchClient
{
    QTcpSocket socket;
    QByteArray buffer;
    bool accepted = false;
    qint64 events = 0;
    qint64 disorder = 0;
    qint32 lastIncoming = 0;
    QHash<qint32, int> stage; // 1 incomingcall, 2 answered, 3 disconnect
};

int runClients(int count, quint16 port)
{
    QTextStream out(stdout);
    std::vector<std::unique_ptr<BenchClient>> clients;
    std::map<qint32, qint64> lastReceipt; // call id -> latest incomingcall receipt
    std::map<qint32, int> receipts;
    int accepted = 0;
    auto handle = [&](BenchClient& c, const QByteArray& message) {
        const QStringList f = QString::fromLatin1(message).split(QStringLiteral("\r\n"));
        const QString& cmd = f[0];
        if (cmd == QLatin1String("accepted")) {
            c.accepted = true;
            if (++accepted == count) {
                out << "ready" << Qt::endl;
            }
            return;
        }
        const qint32 id = f.value(1).toInt();
        int want = 0;
        if (cmd == QLatin1String("incomingcall")) {
            const qint64 now = monoNs();
            lastReceipt[id] = std::max(lastReceipt[id], now);
            ++receipts[id];
            if (id <= c.lastIncoming)
                ++c.disorder;
            c.lastIncoming = id;
            want = 1;
        } else if (cmd == QLatin1String("answered")) {
            want = 2;
        } else if (cmd == QLatin1String("disconnect")) {
            want = 3;
        } else {
            return;
        }
        ++c.events;
        if (c.stage.value(id) != want - 1)
            ++c.disorder;
        c.stage[id] = want;
        if (want == 3)
            c.stage.remove(id);
    };
    for (int i = 0; i < count; ++i) {
        auto c = std::make_unique<BenchClient>();
        BenchClient* raw = c.get();
        QObject::connect(&raw->socket, &QTcpSocket::readyRead, [raw, &handle] {
            raw->buffer += raw->socket.readAll();
            qsizetype end;
            while ((end = raw->buffer.indexOf('\0')) >= 0) {
                handle(*raw, raw->buffer.left(end));
                raw->buffer.remove(0, end + 1);
            }
        });
        QObject::connect(&raw->socket, &QTcpSocket::connected, [raw, i] {
            raw->socket.write(listenMessage(QStringLiteral("bench-%1").arg(i), QString()));
        });
        if (!raw->socket.bind(QHostAddress(clientAddress(i)), 0)) {
            out << "cannot bind " << clientAddress(i) << Qt::endl;
            return 1;
        }
        raw->socket.connectToHost(QHostAddress::LocalHost, port);
        clients.push_back(std::move(c));
    }
    // Logged-in clients ping as real ones do; the server drops silent ones.
    QTimer ping;
    QObject::connect(&ping, &QTimer::timeout, [&] {
        const QByteArray message = WireProtocol::encode(QStringLiteral("ping"));
        for (const auto& c : clients)
            if (c->accepted)
                c->socket.write(message);
    });
    ping.start(20'000);
    // "end" on standard input: report and stop.
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buf[64];
        if (::read(STDIN_FILENO, buf, sizeof buf) <= 0 || true) {
            qint64 minEvents = -1, maxEvents = 0, disorder = 0;
            for (const auto& c : clients) {
                minEvents = minEvents < 0 ? c->events : std::min(minEvents, c->events);
                maxEvents = std::max(maxEvents, c->events);
                disorder += c->disorder;
            }
            out << "events " << minEvents << ' ' << maxEvents << ' ' << disorder << '\n';
            for (const auto& [id, t] : lastReceipt)
                out << "recv " << id << ' ' << t << ' ' << receipts[id] << '\n';
            out << "done" << Qt::endl;
            QCoreApplication::exit(0);
        }
    });
    return QCoreApplication::exec();
}

// The replay client: one listen with an old stamp, the time until "accepted" is in.
int runReplay(quint16 port)
{
    QTextStream out(stdout);
    QTcpSocket socket;
    socket.bind(QHostAddress(QStringLiteral("127.1.0.1")), 0);
    QByteArray buffer;
    qint64 start = 0;
    QObject::connect(&socket, &QTcpSocket::connected, [&] {
        start = monoNs();
        socket.write(listenMessage(QStringLiteral("replay"), QStringLiteral("20000101000000")));
    });
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] {
        buffer += socket.readAll();
        const qsizetype at = buffer.indexOf("accepted");
        if (at < 0 || buffer.indexOf('\0', at) < 0)
            return;
        const double ms = double(monoNs() - start) / 1e6;
        const QByteArray list = buffer.mid(at + 10, buffer.indexOf('\0', at) - at - 10);
        out << "replay " << ms << ' ' << list.size() << ' ' << list.count(char(0xFF)) << Qt::endl;
        QCoreApplication::exit(0);
    });
    socket.connectToHost(QHostAddress::LocalHost, port);
    return QCoreApplication::exec();
}

// ---- the server side ------------------------------------------------------

// Passes every event on to the server and notes when "incomingcall" was handed
// over and when its broadcast was done, to split the delay.
class TimedNotifier : public ClientNotifier
{
public:
    explicit TimedNotifier(PhonavoServer& server) : m_server(server) {}
    std::map<qint32, std::pair<qint64, qint64>> incoming; // call id -> (start, end)
    bool noting = true;

    bool serverEnabled() const override { return m_server.serverEnabled(); }
    void incomingCall(const CCall& call) override
    {
        const qint64 start = monoNs();
        m_server.incomingCall(call);
        if (noting)
            incoming[call.CallID.toInt()] = {start, monoNs()};
    }
    void outgoingCall(const CCall& call) override { m_server.outgoingCall(call); }
    void callAnswered(const CCall& call) override { m_server.callAnswered(call); }
    void callDisconnected(const CCall& call) override { m_server.callDisconnected(call); }
    int connectedClients() const override { return m_server.connectedClients(); }
    bool confirmStop() override { return m_server.confirmStop(); }
    bool checkPasswordOnStart() override { return m_server.checkPasswordOnStart(); }
    void startServer() override { m_server.startServer(); }
    void stopServer() override { m_server.stopServer(); }

private:
    PhonavoServer& m_server;
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == QLatin1String("--clients"))
        return runClients(args.value(2).toInt(), quint16(args.value(3).toUInt()));
    if (args.value(1) == QLatin1String("--replay"))
        return runReplay(quint16(args.value(2).toUInt()));

    QTextStream out(stdout);
    const int clients = args.size() > 1 ? args[1].toInt() : 256;
    const int rate = args.size() > 2 ? args[2].toInt() : 50;
    const int seconds = args.size() > 3 ? args[3].toInt() : 60;
    const int replayRows = args.size() > 4 ? args[4].toInt() : 100'000;

    PhonavoRig rig(out);
    QElapsedTimer fillTime;
    fillTime.start();
    fillCalls(rig.database(), 1, replayRows,
              QDateTime::currentDateTime().addSecs(-qint64(replayRows) * 60 - 3600));
    out << "stored " << replayRows << " old calls in " << fillTime.elapsed() << " ms" << Qt::endl;
    PhonavoServer& server = *rig.server;
    TimedNotifier timed(server);
    if (!rig.start(&timed))
        return 1;
    const QString port = QString::number(rig.port());
    const QString self = QCoreApplication::applicationFilePath();

    // Old-call replay, with the log switch off and on (then each message sent
    // is written to the log file too).
    for (const bool logOn : {false, true}) {
        rig.log.setLogFlag(logOn);
        QProcess replay;
        replay.start(self, {QStringLiteral("--replay"), port});
        const QStringList lines = readUntil(replay, "replay", 120'000);
        const QStringList f =
            lines.isEmpty() ? QStringList() : lines.last().split(QLatin1Char(' '));
        out << "replay of " << f.value(3) << " old calls (" << f.value(2)
            << " bytes) on listen, Log=" << int(logOn) << ": " << f.value(1) << " ms" << Qt::endl;
        if (f.value(0) == QLatin1String("replay"))
            result(out, QStringLiteral("replay.all.log%1").arg(int(logOn)), f.value(1).toDouble(),
                   QStringLiteral("ms"));
        result(out, QStringLiteral("replay.all.rows"), f.value(3).toDouble(),
               QStringLiteral("calls"));
        replay.waitForFinished(5000);
        pause(300); // its close
    }
    rig.log.setLogFlag(false);

    const qint64 rssBefore = rssKiB();
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer connectTime;
    connectTime.start();
    child.start(self, {QStringLiteral("--clients"), QString::number(clients), port});
    const QStringList ready = readUntil(child, "ready", 120'000);
    if (ready.isEmpty() || ready.last() != QLatin1String("ready")) {
        out << "clients not ready: " << ready.join(QLatin1Char('|')) << "; listed "
            << server.clientsModel().rowCount() << Qt::endl;
        return 1;
    }
    out << clients << " clients verified in " << connectTime.elapsed() << " ms (listed "
        << server.clientsModel().rowCount() << ")" << Qt::endl;
    pause(1000);
    const qint64 rssIdle = rssKiB();
    out << "server RSS: " << rssBefore << " KiB before the clients, " << rssIdle << " KiB with "
        << clients << " idle clients (" << (rssIdle - rssBefore) * 1024 / std::max(1, clients)
        << " bytes per client)" << Qt::endl;
    result(out, QStringLiteral("server.rss.before"), double(rssBefore) / 1024,
           QStringLiteral("MiB"));
    result(out, QStringLiteral("server.rss.idle"), double(rssIdle) / 1024, QStringLiteral("MiB"));

    // Latency: one call at a time.
    CallDriver driver{rig.line(), {}, 0};
    const int latencyCalls = 200;
    for (int i = 0; i < latencyCalls; ++i) {
        driver.ring(&app, 10, 20);
        pause(40);
    }
    std::map<qint32, qint64> latencyCallIds = driver.offered;
    // The steady calls are only counted: what the process holds afterwards is
    // the server's.
    driver.noteOffers = false;
    timed.noting = false;

    // Steady rate.
    QTimer rateTimer;
    rateTimer.setTimerType(Qt::PreciseTimer);
    rateTimer.setInterval(1000 / std::max(1, rate));
    QObject::connect(&rateTimer, &QTimer::timeout, [&] { driver.ring(&app, 300, 700); });
    QElapsedTimer rateTime;
    rateTime.start();
    rateTimer.start();
    // Half-way, to tell a memory that keeps growing from one that levels off.
    qint64 rssHalfWay = 0;
    int callsHalfWay = 0;
    QTimer::singleShot(seconds * 500, &app, [&] {
        rssHalfWay = rssKiB();
        callsHalfWay = driver.rung;
    });
    pause(seconds * 1000);
    rateTimer.stop();
    const double rateSeconds = double(rateTime.elapsed()) / 1000;
    pause(2000); // the last calls end
    const int total = driver.rung;
    const int rated = total - latencyCalls;
    const qint64 rssAfter = rssKiB();
    out << "server RSS after " << total << " calls: " << rssAfter << " KiB" << Qt::endl;
    result(out, QStringLiteral("server.rss.after"), double(rssAfter) / 1024, QStringLiteral("MiB"));
    result(out, QStringLiteral("server.calls"), total, QStringLiteral("calls"));
    if (rssHalfWay > 0) {
        out << "  half-way, after " << callsHalfWay << " calls: " << rssHalfWay << " KiB"
            << Qt::endl;
        result(out, QStringLiteral("server.rss.growth"), double(rssAfter - rssHalfWay) / 1024,
               QStringLiteral("MiB"));
    }

    child.write("end\n");
    const QStringList report = readUntil(child, "done", 60'000);
    std::vector<double> latencies, toServer, broadcasts;
    int incomplete = 0;
    for (const QString& line : report) {
        const QStringList f = line.split(QLatin1Char(' '));
        if (f.value(0) == QLatin1String("events")) {
            out << "calls: " << total << " (" << rated << " at " << rate << "/s over "
                << rateSeconds << " s); events per client min " << f.value(1) << " max "
                << f.value(2) << " (expected " << 3 * total << "), out of order " << f.value(3)
                << Qt::endl;
            result(out, QStringLiteral("server.rate.events.missing"),
                   double(3 * total - f.value(1).toLongLong()), QStringLiteral("events"));
            result(out, QStringLiteral("server.rate.disorder"), f.value(3).toDouble(),
                   QStringLiteral("events"));
        } else if (f.value(0) == QLatin1String("recv")) {
            const qint32 id = f.value(1).toInt();
            if (f.value(3).toInt() != clients)
                ++incomplete;
            if (latencyCallIds.count(id)) {
                latencies.push_back(double(f.value(2).toLongLong() - latencyCallIds[id]) / 1e6);
                const auto [start, end] = timed.incoming[id];
                toServer.push_back(double(start - latencyCallIds[id]) / 1e6);
                broadcasts.push_back(double(end - start) / 1e6);
            }
        }
    }
    out << "offering to last client's incomingcall (" << latencies.size() << " calls, " << clients
        << " clients): p50 " << percentile(latencies, 0.5) << " ms, p99 "
        << percentile(latencies, 0.99) << " ms, max " << percentile(latencies, 1.0) << " ms"
        << Qt::endl;
    out << "  of which call handling up to the server: p50 " << percentile(toServer, 0.5)
        << " ms, p99 " << percentile(toServer, 0.99) << " ms; sending to all clients: p50 "
        << percentile(broadcasts, 0.5) << " ms, p99 " << percentile(broadcasts, 0.99) << " ms"
        << Qt::endl;
    out << "calls not received by every client: " << incomplete << Qt::endl;
    result(out, QStringLiteral("server.last.p50"), percentile(latencies, 0.5),
           QStringLiteral("ms"));
    result(out, QStringLiteral("server.last.p99"), percentile(latencies, 0.99),
           QStringLiteral("ms"));
    result(out, QStringLiteral("server.incomplete"), incomplete, QStringLiteral("calls"));
    child.waitForFinished(5000);
    return 0;
}
