#include "MessageSizeGuard.h"

MessageSizeGuard::Passed MessageSizeGuard::pass(const QByteArray& arrival)
{
    Passed result;
    QByteArray kept;
    qsizetype keptUpTo = 0; // arrival[0, keptUpTo) is in kept or was dropped
    for (qsizetype pos = 0; pos < arrival.size();) {
        const qsizetype nul = arrival.indexOf('\0', pos);
        const bool ends = nul >= 0;
        const qsizetype end = ends ? nul + 1 : arrival.size(); // with its NUL
        const qsizetype length = (ends ? nul : end) - pos;
        const bool drop = m_dropping || m_open + length > m_limit;
        if (drop) {
            result.startedDropping = result.startedDropping || !m_dropping;
            result.dropped += end - pos;
            kept.append(QByteArrayView(arrival).sliced(keptUpTo, pos - keptUpTo));
            keptUpTo = end;
            m_dropping = !ends;
            m_open = 0;
        } else {
            m_open = ends ? 0 : m_open + length;
        }
        pos = end;
    }
    if (result.dropped == 0) {
        result.data = arrival; // the usual case: nothing copied
    } else {
        kept.append(QByteArrayView(arrival).sliced(keptUpTo));
        result.data = kept;
    }
    return result;
}
