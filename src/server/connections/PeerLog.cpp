#include "PeerLog.h"

#include "core/controller/MainForm.h"

#include <algorithm>
#include <utility>

void PeerLog::refill(const QDateTime& now)
{
    const qint64 elapsedMs = m_at.isValid() ? std::max<qint64>(0, m_at.msecsTo(now)) : 0;
    m_at = now;
    m_connections = std::min<double>(
        kConnectionBurst, m_connections + double(elapsedMs) * kConnectionsPerMinute / 60'000.0);
    m_chars = std::min<double>(kBurstChars,
                               m_chars + double(elapsedMs) * kRefillCharsPerMinute / 60'000.0);
}

bool PeerLog::admitConnection(const QDateTime& now)
{
    refill(now);
    if (m_connections >= 1.0) {
        m_connections -= 1.0;
        return true;
    }
    m_leftOut = std::min(m_leftOut + 1, 1'000'000'000);
    return false;
}

int PeerLog::takeLeftOut()
{
    return std::exchange(m_leftOut, 0);
}

void PeerLog::logLine(MainForm& form, const QString& who, const QString& line, const QDateTime& now)
{
    refill(now);
    if (m_silenced) {
        if (m_chars < kBurstChars / 2) {
            ++m_linesNotLogged;
            return;
        }
        m_silenced = false;
        form.LogStr(form.GetS(QStringLiteral("Data from %s is logged again (%s lines left out)"),
                              who, QString::number(m_linesNotLogged)));
        m_linesNotLogged = 0;
    }
    if (m_chars < line.size()) {
        m_silenced = true;
        m_linesNotLogged = 1;
        form.LogStr(form.GetS(QStringLiteral("Further data from %s is not logged for now"), who));
        return;
    }
    m_chars -= double(line.size());
    form.LogStr(line);
}

bool PeerLog::unused(const QDateTime& now)
{
    refill(now);
    return m_leftOut == 0 && !m_silenced && m_connections >= kConnectionBurst &&
           m_chars >= kBurstChars;
}
