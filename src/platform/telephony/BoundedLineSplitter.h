#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <utility>

// Cuts a byte stream that arrives in chunks of any size into lines ending in
// LF. A line that grows past the limit is dropped whole (up to its LF), so a
// peer that never ends a line cannot make us buffer without bound.
class BoundedLineSplitter
{
public:
    explicit BoundedLineSplitter(qsizetype maxLineLength) : m_max(maxLineLength) {}

    // onLine(QByteArrayView line) for each complete line (without the LF);
    // onOverflow(bool lineEndSeen) once for each line that was too long.
    template <typename OnLine, typename OnOverflow>
    void feed(QByteArrayView bytes, OnLine&& onLine, OnOverflow&& onOverflow)
    {
        while (!bytes.isEmpty()) {
            const qsizetype end = bytes.indexOf('\n');
            const QByteArrayView piece = end < 0 ? bytes : bytes.first(end);
            if (m_skipping) {
                if (end >= 0)
                    m_skipping = false;
            } else if (m_pending.size() + piece.size() > m_max) {
                m_pending.clear();
                m_skipping = end < 0;
                onOverflow(end >= 0);
            } else if (end < 0) {
                m_pending += piece;
            } else if (m_pending.isEmpty()) {
                onLine(piece);
            } else {
                m_pending += piece;
                const QByteArray line = std::exchange(m_pending, QByteArray());
                onLine(QByteArrayView(line));
            }
            bytes = end < 0 ? QByteArrayView() : bytes.sliced(end + 1);
        }
    }

    qsizetype pendingBytes() const { return m_pending.size(); }
    void reset()
    {
        m_pending.clear();
        m_skipping = false;
    }

private:
    qsizetype m_max;
    QByteArray m_pending;
    bool m_skipping = false;
};
