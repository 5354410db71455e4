#include "CConnection.h"

#include "core/controller/MainForm.h"
#include "platform/Clock.h"
#include "platform/net/ClientSocket.h"
#include "server/protocol/WireProtocol.h"
#include "shell/settings/SettingsStore.h"

namespace {

// The password this installation sends when it is itself a client of another
// server; masked when such a message shows up in the log.
QString ownClientPassword(const MainForm& form)
{
    return form.settings()
        .GetSettingHKCU(QStringLiteral("Options\\Devices\\PhonavoConnectionTapiServer.Connection"),
                        QStringLiteral("Password"), QString())
        .toString();
}

} // namespace

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
    if (m_form.traceOn()) {
        const QByteArray text = message.left(message.size() - 1);
        const QString shown = command == QLatin1String("listen")
                                  ? WireProtocol::logText(text, ownClientPassword(m_form))
                                  : WireProtocol::logText(text, QString());
        m_form.LogStr(m_form.GetS(QStringLiteral("Sending \"%s\" to %s"), command, displayName()) +
                      QStringLiteral(": ") + shown);
    }
    return wsConnection->sendData(message);
}
