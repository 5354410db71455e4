#pragma once

#include "BoundedLineSplitter.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// One line of a home router's call monitor (TCP port 1012).
struct RouterCallEvent
{
    enum class Type
    {
        Ring,
        Call,
        Connect,
        Disconnect
    };

    Type type = Type::Ring;
    QDateTime time;
    int connectionId = 0;    // the router reuses these once a call is over
    QString extension;       // Call, Connect: the own phone that took part
    QString remoteNumber;    // Ring: caller; Call: called; Connect: the other party
    QString ownNumber;       // Ring: the own number called; Call: the own number used
    QString trunk;           // Ring, Call: e.g. SIP0
    int durationSeconds = 0; // Disconnect
};

// Turns the call monitor's byte stream into events. Lines end in CR LF or LF
// and may arrive split anywhere; a line that grows past kMaxLineLength is
// dropped as a whole, so a peer that never ends its line costs bounded memory.
// A line whose number fields hold anything but a number (digits, * and #, a
// leading +) is skipped: two lines run together look like that.
class RouterCallMonitorParser
{
public:
    static constexpr qsizetype kMaxLineLength = 64 * 1024;
    static constexpr qsizetype kMaxFieldLength = 256;

    struct Output
    {
        QList<RouterCallEvent> events;
        QStringList problems; // what was skipped, e.g. "a line with a bad time stamp: ..."
    };

    Output feed(QByteArrayView bytes);
    void reset();
    qsizetype pendingBytes() const { return m_lines.pendingBytes(); }

    // One line without its line end; nullopt (and why) for a line to skip.
    static std::optional<RouterCallEvent> parseLine(QByteArrayView line, QString* problem);

private:
    void takeLine(QByteArrayView line, Output& out);

    BoundedLineSplitter m_lines{kMaxLineLength};
};
