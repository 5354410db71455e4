#pragma once

#include "WireProtocol.h"

#include <QByteArray>

// Bounds the length of a message over all arrivals of one socket. Arrivals are
// still handled one by one (a message cut by the network is handled in
// pieces), but the bytes since the last NUL are counted across them: once a
// message grows past the limit, it is thrown away up to its NUL, however the
// network cut it. No sockets here.
class MessageSizeGuard
{
public:
    explicit MessageSizeGuard(qsizetype limit = WireProtocol::kMaxArrival) : m_limit(limit) {}

    struct Passed
    {
        QByteArray data;              // what is to be handled of the arrival
        bool startedDropping = false; // a message went past the limit in this arrival
        qint64 dropped = 0;           // bytes thrown away of this arrival
    };
    Passed pass(const QByteArray& arrival);
    // Whether the rest of an oversized message is being thrown away.
    bool dropping() const { return m_dropping; }

private:
    qsizetype m_limit;
    qint64 m_open = 0; // bytes of the message under way, in earlier arrivals
    bool m_dropping = false;
};
