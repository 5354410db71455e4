#pragma once

#include "platform/telephony/TelephonyHub.h"

#include <QHash>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

// A line source's peer on the loopback interface: the test plays router or
// PBX through it and sees what the program sent.
class FakeLinePeer
{
public:
    FakeLinePeer()
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] { accept(); });
        listen(0);
    }

    bool listen(quint16 port)
    {
        if (!m_server.listen(QHostAddress::LocalHost, port))
            return false;
        m_port = m_server.serverPort();
        return true;
    }
    void stopListening() { m_server.close(); }
    // Stays what it was while not listening, so the port can be taken up again.
    quint16 port() const { return m_port; }

    // Sent to every new connection first, as a PBX greets.
    void setGreeting(QByteArray greeting) { m_greeting = std::move(greeting); }

    int connections() const { return m_connections; }
    bool isConnected() const
    {
        return m_client && m_client->state() == QAbstractSocket::ConnectedState;
    }
    bool waitForConnections(int count)
    {
        return QTest::qWaitFor([&] { return m_connections >= count && isConnected(); }, 5000);
    }
    // Bytes received on the latest connection.
    const QByteArray& received() const { return m_received; }

    void send(const QByteArray& data)
    {
        if (isConnected())
            m_client->write(data);
    }
    // Lets the event loop run between pieces, so the other side reads them apart.
    void sendInChunks(const QByteArray& data, int chunkSize)
    {
        for (qsizetype at = 0; at < data.size(); at += chunkSize) {
            send(data.mid(at, chunkSize));
            m_client->flush();
            QTest::qWait(1);
        }
    }
    // The connection breaks off as when a router reboots.
    void drop()
    {
        if (m_client)
            m_client->abort();
    }

private:
    void accept()
    {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            m_client = socket;
            m_received.clear();
            ++m_connections;
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                if (socket == m_client)
                    m_received += socket->readAll();
            });
            if (!m_greeting.isEmpty())
                socket->write(m_greeting);
        }
    }

    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
    QByteArray m_received;
    QByteArray m_greeting;
    int m_connections = 0;
    quint16 m_port = 0;
};

// The monitor's view of the notifications, one readable line each, e.g.
// "d0 #1 OFFERING from=0301234567 (Smith) to=5551". Calls are numbered in the
// order they first appear, so lines compare across runs whatever ids the hub
// hands out. Numbers are read when the notification arrives, as the monitor does.
class NotificationLog
{
public:
    explicit NotificationLog(TelephonyHub* hub) : m_hub(hub) {}

    LineCallback callback()
    {
        return [this](const LineNotification& n) { record(n); };
    }

    QStringList lines;
    QList<LineNotification> seen;

    qint32 callIdOf(int tag) const { return m_ids.key(tag, 0); }

private:
    void record(const LineNotification& n)
    {
        seen.append(n);
        if (!m_ids.contains(n.callId))
            m_ids.insert(n.callId, int(m_ids.size()) + 1);
        QString line = QStringLiteral("d%1 #%2 ").arg(n.device).arg(m_ids.value(n.callId));
        if (n.callHandle != n.callId)
            line += QStringLiteral("(handle %1) ").arg(n.callHandle);
        switch (n.kind) {
        case LineNotification::CallState:
            line += lineValueName(LineValueKind::CallState, n.state);
            if (n.state == LineCallState::Offering || n.state == LineCallState::Ringback)
                line += QStringLiteral(" from=%1 to=%2")
                            .arg(party(n, CallInfoField::CallerId, CallInfoField::CallerIdName),
                                 info(n, CallInfoField::CalledId));
            break;
        case LineNotification::CallerId:
            line += QStringLiteral("CALLERID %1").arg(n.number);
            if (!n.name.isEmpty())
                line += QStringLiteral(" (%1)").arg(n.name);
            break;
        default:
            line += QStringLiteral("CALLEDID %1").arg(n.number);
        }
        lines.append(line);
    }

    QString info(const LineNotification& n, int field) const
    {
        return m_hub->getCallRelevantInfos(n.device, n.callHandle, field);
    }
    QString party(const LineNotification& n, int numberField, int nameField) const
    {
        const QString name = info(n, nameField);
        return name.isEmpty() ? info(n, numberField)
                              : QStringLiteral("%1 (%2)").arg(info(n, numberField), name);
    }

    TelephonyHub* m_hub;
    QHash<qint32, int> m_ids;
};

inline int countContaining(const QStringList& lines, const QString& text)
{
    int count = 0;
    for (const QString& line : lines)
        if (line.contains(text))
            ++count;
    return count;
}
