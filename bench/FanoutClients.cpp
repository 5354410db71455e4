#include "FanoutClients.h"

#include "BenchKit.h"
#include "server/protocol/WireProtocol.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// Idle clients ping now and then, so a long run is not taken for dead clients.
constexpr qint64 kPingIntervalNs = 20'000'000'000;
constexpr uint64_t kStdin = ~uint64_t(0);

struct Client
{
    int index = 0;
    int fd = -1;
    bool connected = false;
    bool accepted = false;
    std::string buffer;
    qint64 listenSentNs = 0;
};

struct Receipt
{
    qint64 first = 0;
    qint64 last = 0;
    int clients = 0;
};

class ClientSet
{
public:
    explicit ClientSet(const FanoutClientOptions& o) : m_o(o), m_clients(size_t(o.count))
    {
        m_ping = WireProtocol::encode(QStringLiteral("ping")).toStdString();
    }

    int run()
    {
        m_epoll = epoll_create1(EPOLL_CLOEXEC);
        epoll_event in{};
        in.events = EPOLLIN;
        in.data.u64 = kStdin;
        epoll_ctl(m_epoll, EPOLL_CTL_ADD, STDIN_FILENO, &in);
        for (int i = 0; i < m_o.count; ++i) {
            m_clients[size_t(i)].index = i;
            if (!open(m_clients[size_t(i)]))
                return 1;
        }
        qint64 nextPing = bench::monoNs() + kPingIntervalNs;
        qint64 nextRejoin = 0;
        std::vector<epoll_event> events(512);
        for (;;) {
            const qint64 now = bench::monoNs();
            qint64 due = nextPing;
            if (rejoining() && nextRejoin > 0)
                due = std::min(due, nextRejoin);
            const int wait = int(std::max<qint64>(0, (due - now) / 1'000'000 + 1));
            const int n = epoll_wait(m_epoll, events.data(), int(events.size()), wait);
            for (int e = 0; e < n; ++e) {
                if (events[size_t(e)].data.u64 == kStdin) {
                    char buf[64];
                    if (::read(STDIN_FILENO, buf, sizeof buf) >= 0) // "end" or closed: report
                        return report();
                    continue;
                }
                handle(m_clients[events[size_t(e)].data.u64], events[size_t(e)].events);
            }
            const qint64 after = bench::monoNs();
            if (rejoining()) {
                Client& last = m_clients.back();
                if (nextRejoin == 0 && last.accepted)
                    nextRejoin = after + qint64(m_o.rejoinMs) * 1'000'000;
                if (nextRejoin > 0 && after >= nextRejoin) {
                    nextRejoin = 0;
                    drop(last);
                    ++m_rejoins;
                    if (!open(last))
                        return 1;
                }
            }
            if (after >= nextPing) {
                nextPing = after + kPingIntervalNs;
                for (Client& c : m_clients)
                    if (c.accepted)
                        send(c, m_ping);
            }
        }
    }

private:
    bool rejoining() const { return !m_o.rejoinStamp.isEmpty(); }
    bool counted(const Client& c) const { return !rejoining() || c.index < m_o.count - 1; }

    bool open(Client& c)
    {
        const int index = c.index;
        c = Client();
        c.index = index;
        c.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        inet_pton(AF_INET, bench::clientAddress(c.index).toLatin1().constData(), &local.sin_addr);
        sockaddr_in server{};
        server.sin_family = AF_INET;
        server.sin_port = htons(m_o.port);
        server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (c.fd < 0 || bind(c.fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
            (connect(c.fd, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0 &&
             errno != EINPROGRESS)) {
            std::printf("cannot connect from %s: %s\n", qPrintable(bench::clientAddress(c.index)),
                        std::strerror(errno));
            std::fflush(stdout);
            return false;
        }
        epoll_event ev{};
        ev.events = EPOLLIN | EPOLLOUT;
        ev.data.u64 = uint64_t(c.index);
        epoll_ctl(m_epoll, EPOLL_CTL_ADD, c.fd, &ev);
        return true;
    }

    void drop(Client& c)
    {
        if (c.fd >= 0) {
            epoll_ctl(m_epoll, EPOLL_CTL_DEL, c.fd, nullptr);
            ::close(c.fd);
        }
        c.fd = -1;
        c.connected = c.accepted = false;
    }

    void send(Client& c, const std::string& bytes)
    {
        // A few bytes into an empty socket buffer: they go at once.
        if (::write(c.fd, bytes.data(), bytes.size()) != ssize_t(bytes.size()))
            ++m_shortWrites;
    }

    void handle(Client& c, uint32_t events)
    {
        if (!c.connected && (events & EPOLLOUT)) {
            int error = 0;
            socklen_t size = sizeof error;
            getsockopt(c.fd, SOL_SOCKET, SO_ERROR, &error, &size);
            if (error != 0) {
                lose(c);
                return;
            }
            c.connected = true;
            const bool rejoiner = !counted(c);
            const QString name = QStringLiteral("bench-%1").arg(c.index);
            send(c,
                 bench::listenMessage(name, rejoiner ? m_o.rejoinStamp : QString()).toStdString());
            c.listenSentNs = bench::monoNs();
            epoll_event ev{};
            ev.events = EPOLLIN;
            ev.data.u64 = uint64_t(c.index);
            epoll_ctl(m_epoll, EPOLL_CTL_MOD, c.fd, &ev);
        }
        if (!(events & (EPOLLIN | EPOLLHUP | EPOLLERR)))
            return;
        char buf[65536];
        for (;;) {
            const ssize_t n = ::read(c.fd, buf, sizeof buf);
            if (n > 0) {
                const qint64 at = bench::monoNs();
                c.buffer.append(buf, size_t(n));
                take(c, at);
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return;
            lose(c); // closed by the server, or broken
            return;
        }
    }

    void lose(Client& c)
    {
        drop(c);
        if (counted(c))
            ++m_lost;
    }

    // The complete messages in the client's buffer.
    void take(Client& c, qint64 at)
    {
        size_t start = 0;
        for (size_t end; (end = c.buffer.find('\0', start)) != std::string::npos; start = end + 1) {
            const char* m = c.buffer.data() + start;
            const size_t size = end - start;
            static constexpr char kIncoming[] = "incomingcall\r\n";
            if (size >= 8 && std::memcmp(m, "accepted", 8) == 0) {
                if (c.accepted)
                    continue;
                c.accepted = true;
                if (!counted(c)) {
                    m_rejoinMs.push_back(double(at - c.listenSentNs) / 1e6);
                } else if (++m_acceptedOnce == m_o.count - (rejoining() ? 1 : 0)) {
                    std::printf("ready\n");
                    std::fflush(stdout);
                }
            } else if (size > sizeof kIncoming - 1 &&
                       std::memcmp(m, kIncoming, sizeof kIncoming - 1) == 0 && counted(c)) {
                const int id = std::atoi(m + sizeof kIncoming - 1);
                Receipt& r = m_receipts[id];
                r.first = r.clients == 0 ? at : std::min(r.first, at);
                r.last = std::max(r.last, at);
                ++r.clients;
            }
        }
        c.buffer.erase(0, start);
    }

    int report()
    {
        std::vector<std::pair<int, Receipt>> sorted(m_receipts.begin(), m_receipts.end());
        std::sort(sorted.begin(), sorted.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [id, r] : sorted)
            std::printf("recv %d %lld %lld %d\n", id, static_cast<long long>(r.first),
                        static_cast<long long>(r.last), r.clients);
        std::printf("rejoin %d %g %g\n", m_rejoins, bench::percentile(m_rejoinMs, 0.5),
                    bench::percentile(m_rejoinMs, 0.99));
        std::printf("lost %d %d\ndone\n", m_lost, m_shortWrites);
        std::fflush(stdout);
        return 0;
    }

    const FanoutClientOptions m_o;
    std::vector<Client> m_clients;
    std::string m_ping;
    int m_epoll = -1;
    int m_acceptedOnce = 0;
    int m_rejoins = 0;
    int m_lost = 0;
    int m_shortWrites = 0;
    std::vector<double> m_rejoinMs;
    std::unordered_map<int, Receipt> m_receipts;
};

} // namespace

int runFanoutClients(const FanoutClientOptions& options)
{
    ClientSet clients(options);
    return clients.run();
}
