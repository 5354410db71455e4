#pragma once

// The client side of the fan-out benchmark: plain epoll clients in one
// process, each from its own 127.x.y.z address, that log in with "listen" and
// note when each "incomingcall" arrives. The same clients serve every server
// measured, so the figures differ only by the server.
//
// Standard output: "ready" once every client is accepted; after "end" on
// standard input, per call "recv <id> <first ns> <last ns> <clients>" (the
// monotonic clock), then "rejoin <count> <replay p50 ms> <replay p99 ms>",
// "lost <clients>" and "done".

#include <QByteArray>
#include <QString>

struct FanoutClientOptions
{
    int count = 256;
    quint16 port = 0;
    // Not empty: the last client logs out and in again every rejoinMs with
    // this stamp (it asks for the calls since then); it does not count in
    // the receipts.
    QString rejoinStamp;
    int rejoinMs = 500;
};

// The whole client process; its exit code.
int runFanoutClients(const FanoutClientOptions& options);
