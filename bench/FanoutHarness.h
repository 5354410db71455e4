#pragma once

// Rounds of calls through one of the three servers, all read by the same
// epoll clients (FanoutClients.h) in a child process: this program started
// again with "--clients <count> <port> [stamp]", which main() hands to
// runFanoutClients.

#include "BenchKit.h"
#include "FanoutServers.h"

#include <optional>
#include <vector>

namespace bench {

enum class Kind
{
    Qt,
    Epoll,
    Phonavo
};
inline const char* const kKindKeys[] = {"qt", "epoll", "phonavo"};
inline const char* const kKindNames[] = {"Qt floor", "epoll floor", "Phonavo"};

// Delays in ms from the server being told about a call to the first and to
// the last client reading it.
struct Round
{
    double firstP50 = 0, firstP99 = 0, lastP50 = 0, lastP99 = 0;
    int calls = 0;
    int incomplete = 0; // calls not read by every counted client
    int lost = 0;       // counted clients the server closed
    int rejoins = 0;
    double rejoinP50 = 0; // listen to "accepted" of the client that logs in again
};

// The median over the rounds of each figure; the counts added up.
Round summarize(const std::vector<Round>& rounds);

class FanoutHarness
{
public:
    FanoutHarness(QTextStream& out, PhonavoRig& rig, int clients);

    bool listen() { return m_qt.listen() && m_epoll.listen(); }
    // One round: the clients log in, `calls` calls spacingMs apart, the
    // receipts. With a stamp the last client logs in again every 0.5 s with
    // it and is not counted. Nothing when the clients could not log in.
    std::optional<Round> run(Kind kind, int calls, int spacingMs, const QString& rejoinStamp = {});

private:
    QTextStream& m_out;
    PhonavoRig& m_rig;
    const int m_clients;
    QtFanoutServer m_qt;
    EpollFanoutServer m_epoll;
    qint32 m_floorCallId = 0;
    int m_serial = 0;
};

} // namespace bench
