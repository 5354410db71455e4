#include "FanoutHarness.h"

#include "server/protocol/WireProtocol.h"

#include <QCoreApplication>
#include <QProcess>

namespace bench {

Round summarize(const std::vector<Round>& rounds)
{
    std::vector<double> f50, f99, l50, l99, rejoin;
    Round s;
    for (const Round& r : rounds) {
        f50.push_back(r.firstP50);
        f99.push_back(r.firstP99);
        l50.push_back(r.lastP50);
        l99.push_back(r.lastP99);
        rejoin.push_back(r.rejoinP50);
        s.calls += r.calls;
        s.incomplete += r.incomplete;
        s.lost += r.lost;
        s.rejoins += r.rejoins;
    }
    s.firstP50 = median(f50);
    s.firstP99 = median(f99);
    s.lastP50 = median(l50);
    s.lastP99 = median(l99);
    s.rejoinP50 = median(rejoin);
    return s;
}

FanoutHarness::FanoutHarness(QTextStream& out, PhonavoRig& rig, int clients)
    : m_out(out), m_rig(rig), m_clients(clients)
{}

std::optional<Round> FanoutHarness::run(Kind kind, int calls, int spacingMs,
                                        const QString& rejoinStamp)
{
    const quint16 port = kind == Kind::Qt      ? m_qt.port()
                         : kind == Kind::Epoll ? m_epoll.port()
                                               : m_rig.port();
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList args{QStringLiteral("--clients"), QString::number(m_clients),
                     QString::number(port)};
    if (!rejoinStamp.isEmpty())
        args << rejoinStamp;
    child.start(QCoreApplication::applicationFilePath(), args);
    if (kind == Kind::Epoll && !m_epoll.acceptClients(m_clients, 60'000)) {
        m_out << "the epoll floor got " << m_epoll.clients() << " clients" << Qt::endl;
        child.kill();
        child.waitForFinished(5000);
        m_epoll.closeClients();
        return std::nullopt;
    }
    const QStringList ready = readUntil(child, "ready", 60'000);
    if (ready.isEmpty() || ready.last() != QLatin1String("ready")) {
        m_out << kKindNames[int(kind)] << ": clients not ready: " << ready.join(QLatin1Char('|'))
              << Qt::endl;
        child.kill();
        child.waitForFinished(5000);
        return std::nullopt;
    }
    pause(200);

    CallDriver driver{m_rig.line(), {}, m_serial};
    std::map<qint32, qint64> offered;
    for (int i = 0; i < calls; ++i) {
        if (kind == Kind::Phonavo) {
            driver.ring(QCoreApplication::instance(), spacingMs / 3, spacingMs / 2);
        } else {
            const qint32 id = ++m_floorCallId;
            const QByteArray message = WireProtocol::encode(
                QStringLiteral("incomingcall"),
                WireProtocol::incomingCallParameters(
                    QString::number(id), QStringLiteral("0301%1").arg(id, 7, 10, QLatin1Char('0')),
                    QStringLiteral("5551"), QString(), QString(), false, QString(), std::nullopt));
            offered[id] = monoNs();
            if (kind == Kind::Qt)
                m_qt.broadcast(message);
            else
                m_epoll.broadcast(message);
        }
        pause(spacingMs);
    }
    m_serial = driver.serial;
    if (kind == Kind::Phonavo)
        offered = driver.offered;
    pause(300);
    child.write("end\n");
    const QStringList report = readUntil(child, "done", 60'000);
    child.waitForFinished(5000);
    if (kind == Kind::Qt)
        m_qt.closeClients();
    else if (kind == Kind::Epoll)
        m_epoll.closeClients();
    pause(300); // the server sees the clients go

    const int expected = m_clients - (rejoinStamp.isEmpty() ? 0 : 1);
    std::map<qint32, std::pair<qint64, qint64>> receipts;
    Round r;
    for (const QString& line : report) {
        const QStringList f = line.split(QLatin1Char(' '));
        if (f.value(0) == QLatin1String("recv") && f.value(4).toInt() == expected)
            receipts[f.value(1).toInt()] = {f.value(2).toLongLong(), f.value(3).toLongLong()};
        else if (f.value(0) == QLatin1String("rejoin")) {
            r.rejoins = f.value(1).toInt();
            r.rejoinP50 = f.value(2).toDouble();
        } else if (f.value(0) == QLatin1String("lost"))
            r.lost = f.value(1).toInt();
    }
    std::vector<double> first, last;
    for (const auto& [id, t0] : offered) {
        const auto it = receipts.find(id);
        if (it == receipts.end()) {
            ++r.incomplete;
            continue;
        }
        first.push_back(double(it->second.first - t0) / 1e6);
        last.push_back(double(it->second.second - t0) / 1e6);
    }
    r.calls = int(offered.size());
    r.firstP50 = percentile(first, 0.5);
    r.firstP99 = percentile(first, 0.99);
    r.lastP50 = percentile(last, 0.5);
    r.lastP99 = percentile(last, 0.99);
    return r;
}

} // namespace bench
