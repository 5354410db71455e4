#include "CConnection.h"

#include "core/controller/MainForm.h"
#include "platform/Clock.h"
#include "platform/net/ClientSocket.h"
#include "server/protocol/WireProtocol.h"

#include <algorithm>

QString shortenedForLog(const QString& text, qsizetype max)
{
    return text.size() > max ? text.left(max) + QStringLiteral("...") : text;
}

CConnection::CConnection(MainForm& form, const QString& ip, ClientSocket* socket)
    : wsConnection(socket), dtConnected(Clock::instance().now()), dtLastPing(dtConnected), IP(ip),
      m_form(form), m_logBudgetAt(dtConnected)
{}

QByteArray CConnection::encodeCommand(const QString& command, const QStringList& parameters)
{
    // A NUL inside a parameter would end the message early on the client's side.
    QStringList params = parameters;
    for (QString& p : params)
        p.remove(QChar(0));
    return WireProtocol::encode(command, params);
}

bool CConnection::SendCommand(const QString& command, const QStringList& parameters)
{
    return sendEncoded(command, encodeCommand(command, parameters));
}

bool CConnection::sendEncoded(const QString& command, const QByteArray& message)
{
    const int state = wsConnection ? wsConnection->state() : SocketState::Closed;
    if (state != SocketState::Connected) {
        if (m_form.logMode())
            m_form.LogStr(m_form.GetS(QStringLiteral("Unable to send \"%s\" to %s. State: %s"),
                                      command, displayName(), QString::number(state)));
        return false;
    }
    if (m_form.traceOn()) {
        // Pictures and long old-call lists are cut; a listen's password is masked.
        const QByteArray text = message.first(message.size() - 1).left(4 * kMaxLoggedText);
        m_form.LogStr(m_form.GetS(QStringLiteral("Sending \"%s\" to %s"), command, displayName()) +
                      QStringLiteral(": ") + shortenedForLog(WireProtocol::logText(text)));
    }
    return wsConnection->sendData(message);
}

void CConnection::logFromPeer(const QString& line)
{
    const QDateTime now = Clock::instance().now();
    const qint64 elapsedMs = std::max<qint64>(0, m_logBudgetAt.msecsTo(now));
    m_logBudget = std::min<double>(
        kLogBurstChars, m_logBudget + double(elapsedMs) * kLogRefillCharsPerMinute / 60'000.0);
    m_logBudgetAt = now;
    if (m_logSilenced) {
        if (m_logBudget < kLogBurstChars / 2) {
            ++m_linesNotLogged;
            return;
        }
        m_logSilenced = false;
        m_form.LogStr(
            m_form.GetS(QStringLiteral("Data from %s is logged again (%s lines left out)"),
                        displayName(), QString::number(m_linesNotLogged)));
        m_linesNotLogged = 0;
    }
    if (m_logBudget < line.size()) {
        m_logSilenced = true;
        m_linesNotLogged = 1;
        m_form.LogStr(m_form.GetS(QStringLiteral("Further data from %s is not logged for now"),
                                  displayName()));
        return;
    }
    m_logBudget -= double(line.size());
    m_form.LogStr(line);
}
