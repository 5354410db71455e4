#pragma once

#include <QDateTime>
#include <QString>

class MainForm;

// What one remote address may put into the log, over all its connections, so
// reconnecting refills nothing: the lines of its connections (the request,
// a refusal, the end) up to a number of connections, and the lines its data
// causes up to a number of characters. Both budgets grow back with time.
class PeerLog
{
public:
    static constexpr int kConnectionBurst = 20;     // connections logged in a row
    static constexpr int kConnectionsPerMinute = 6; // then one every ten seconds
    static constexpr qint64 kBurstChars = 16 * 1024;
    static constexpr qint64 kRefillCharsPerMinute = 1024;

    // Whether the lines of a new connection are logged; false counts it as
    // left out. Deciding writes nothing and formats nothing.
    bool admitConnection(const QDateTime& now);
    // Connections left out since the last call; the count starts over.
    int takeLeftOut();
    // A line caused by the peer's data (who names the peer). Past the budget,
    // one line says that its data is not logged, and logging goes on once the
    // budget has grown back half way.
    void logLine(MainForm& form, const QString& who, const QString& line, const QDateTime& now);
    // Both budgets full and nothing left out: no different from an address never seen.
    bool unused(const QDateTime& now);
    QDateTime lastUse() const { return m_at; }

private:
    void refill(const QDateTime& now);

    QDateTime m_at;
    double m_connections = kConnectionBurst;
    int m_leftOut = 0;
    double m_chars = kBurstChars;
    bool m_silenced = false;
    int m_linesNotLogged = 0;
};
