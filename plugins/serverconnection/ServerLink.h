#pragma once

#include "ClientWire.h"

#include <QObject>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

// One connection to a Phonavo server: the socket, the reading of messages,
// the pings that keep the server from timing the client out, and the rule
// that a server which does not answer in time is gone. It reports what
// arrives and when the connection is lost; a close() of its own is never
// reported.
class ServerLink : public QObject
{
    Q_OBJECT
public:
    enum class Loss
    {
        Refused,
        Closed,
        Overflow,
        Silent
    };
    Q_ENUM(Loss)

    explicit ServerLink(QObject* parent = nullptr);
    ~ServerLink() override;

    // Starts connecting; `greeting` goes out as soon as the connection is up.
    // The server must answer it within timeoutMs; pings go out every quarter
    // of it once answered(), and a server that takes none of our data for
    // that long is gone too.
    void open(const QString& host, quint16 port, const QByteArray& greeting, int timeoutMs);
    void close();
    bool isOpen() const { return m_socket != nullptr; }
    // The greeting was answered: from now on the link pings.
    void answered();
    void send(const QByteArray& message);
    QString peer() const { return m_peer; }

signals:
    // One message from the server, its fields (field 0 the command).
    void message(const QStringList& fields);
    // The connection went away; detail is the socket's error text, if any.
    void lost(ServerLink::Loss loss, const QString& detail);

private:
    void onConnected();
    void onReadyRead();
    void onGone(Loss loss, const QString& detail);
    void onPingTimer();
    void tuneKeepAlive();

    QPointer<QTcpSocket> m_socket;
    ClientWire::MessageReader m_reader;
    QTimer m_answerTimer;
    QTimer m_pingTimer;
    QByteArray m_greeting;
    QString m_peer;
    int m_timeoutMs = 120'000;
    int m_stalledMs = 0; // how long written data has waited unsent
};
