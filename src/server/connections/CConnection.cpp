#include "CConnection.h"

#include "core/controller/MainForm.h"
#include "platform/Clock.h"
#include "platform/net/ClientSocket.h"
#include "server/protocol/WireProtocol.h"

QString shortenedForLog(const QString& text, qsizetype max)
{
    return text.size() > max ? text.left(max) + QStringLiteral("...") : text;
}

CConnection::CConnection(MainForm& form, const QString& ip, ClientSocket* socket)
    : wsConnection(socket), dtConnected(Clock::instance().now()), dtLastPing(dtConnected), IP(ip),
      m_form(form)
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
    // A connection whose request was not logged (see PeerLog) is not traced
    // either until it has logged in.
    if (m_form.traceOn() && (lifecycleLogged || Verified)) {
        // Pictures and long old-call lists are cut; a listen's password is masked.
        const QByteArray text = message.first(message.size() - 1).left(4 * kMaxLoggedText);
        m_form.LogStr(m_form.GetS(QStringLiteral("Sending \"%s\" to %s"), command, displayName()) +
                      QStringLiteral(": ") + shortenedForLog(WireProtocol::logText(text)));
    }
    return wsConnection->sendData(message);
}

void CConnection::logFromPeer(const QString& line)
{
    if (!peerLog)
        peerLog = std::make_shared<PeerLog>();
    peerLog->logLine(m_form, displayName(), line, Clock::instance().now());
}
