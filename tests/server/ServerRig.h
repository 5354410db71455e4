#pragma once

// A controller with the server switched on (ephemeral port, password "secret",
// version "2.0"), and clients that talk to it over real loopback sockets, each
// from its own 127.0.0.x address.

#include "ControllerRig.h"

#include "platform/net/ClientSocket.h"
#include "server/connections/PhonavoServer.h"
#include "server/protocol/WireProtocol.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTest>

inline const QString kPassword = QStringLiteral("secret");
inline const QString kVersion = QStringLiteral("2.0");

// A client as a real one reads: messages end at NUL, a partial one waits for its rest.
class TestClient
{
public:
    explicit TestClient(int lastOctet = 2) : m_address(QStringLiteral("127.0.0.%1").arg(lastOctet))
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { read(); });
    }

    bool connectTo(quint16 port)
    {
        if (!socket.bind(QHostAddress(m_address), 0))
            return false;
        socket.connectToHost(QHostAddress::LocalHost, port);
        return waitFor(QStringLiteral("connect"));
    }

    void send(const QByteArray& raw)
    {
        socket.write(raw);
        socket.flush();
    }
    void send(const QString& command, const QStringList& params = {})
    {
        send(WireProtocol::encode(command, params));
    }
    void listen(const QString& numbers = QString(), const QString& stamp = QString(),
                const QString& name = QString(), const QString& password = kPassword,
                const QString& version = kVersion)
    {
        send(QStringLiteral("listen"),
             {numbers, password, name.isEmpty() ? ip() : name, stamp, version});
    }

    // Waits for the next message with this command that was not waited for yet.
    bool waitFor(const QString& command, int ms = 5000)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            for (int i = m_consumed; i < messages.size(); ++i)
                if (messages[i].value(0) == command) {
                    m_consumed = i + 1;
                    m_last = messages[i];
                    return true;
                }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return false;
    }
    // The fields of the message waitFor found last.
    const QStringList& last() const { return m_last; }

    bool waitForClose(int ms = 5000)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms && socket.state() != QAbstractSocket::UnconnectedState)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return socket.state() == QAbstractSocket::UnconnectedState;
    }

    QStringList commands() const
    {
        QStringList result;
        for (const QStringList& m : messages)
            result << m.value(0);
        return result;
    }
    QString ip() const { return m_address; }

    QTcpSocket socket;
    QList<QStringList> messages;

private:
    void read()
    {
        m_buffer += socket.readAll();
        qsizetype end;
        while ((end = m_buffer.indexOf('\0')) >= 0) {
            messages << QString::fromLatin1(m_buffer.left(end)).split(QStringLiteral("\r\n"));
            m_buffer.remove(0, end + 1);
        }
    }

    QString m_address;
    QByteArray m_buffer;
    QStringList m_last;
    int m_consumed = 0;
};

struct ServerRig : ControllerRig
{
    std::unique_ptr<PhonavoServer> server;

    explicit ServerRig(CallDatabase* db = nullptr,
                       QStringList lines = {QStringLiteral("Virtual line 1"),
                                            QStringLiteral("Virtual line 2")})
        : ControllerRig(std::move(lines), [](SettingsStore& s) {
              s.SaveSettingHKLM(QString(), QStringLiteral("InstalledVersion"), kVersion);
          })
    {
        form->options().setValue(QStringLiteral("cbPhonavoServer"), true);
        form->options().setValue(QStringLiteral("txtPassword"), kPassword);
        form->options().setValue(QStringLiteral("txtPort"), QStringLiteral("0"));
        server = std::make_unique<PhonavoServer>(*form, db);
        // Wrong passwords are answered after 20, 40, 80 ... ms instead of seconds.
        server->loginThrottle().setDelays(20, 1000);
        form->setClientNotifier(server.get());
    }
    ~ServerRig()
    {
        form->setClientNotifier(nullptr);
        server.reset();
    }

    bool start() { return monitor({0}) && server->isListening(); }
    quint16 port() const { return server->listeningPort(); }

    // A client that has connected and passed the handshake.
    std::unique_ptr<TestClient> verifiedClient(int lastOctet, const QString& numbers = QString())
    {
        auto client = std::make_unique<TestClient>(lastOctet);
        if (!client->connectTo(port()))
            return nullptr;
        client->listen(numbers);
        if (!client->waitFor(QStringLiteral("accepted")))
            return nullptr;
        return client;
    }

    // Lets the server's queued work (closes, line notifications) run.
    void spin(int ms = 50)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        settle();
    }
};
