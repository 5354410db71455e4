#pragma once

#include "NotificationContent.h"

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

// The desktop's notification server (org.freedesktop.Notifications) on the
// session bus. Every call is asynchronous; answers come back through the
// callbacks and signals on the event loop.
class NotificationsClient : public QObject
{
    Q_OBJECT

public:
    explicit NotificationsClient(QObject* parent = nullptr);
    ~NotificationsClient() override;

    // Connects to the session bus (DBUS_SESSION_BUS_ADDRESS) and asks the
    // server what it can do. False when there is no session bus; error() says why.
    bool open();
    bool isOpen() const { return m_bus.isConnected(); }
    QString error() const { return m_error; }

    // Runs job once the server's capabilities are known: at once, or when the
    // answer comes. While the server is missing, jobs are dropped and the
    // question is asked again for the next one.
    void whenReady(std::function<void()> job);
    bool hasCapability(const QString& name) const { return m_capabilities.contains(name); }
    // "name vendor version" of the server, once known.
    QString serverInformation() const { return m_serverInformation; }

    // Shows (or, with replacesId, replaces) a notification; done gets the
    // server's id, or 0 and the error.
    void notify(const NotificationContent& content, quint32 replacesId,
                std::function<void(quint32 id, const QString& error)> done);
    void close(quint32 id);

signals:
    void capabilitiesFailed(const QString& error);
    void capabilitiesKnown();
    void actionInvoked(quint32 id, const QString& key);
    void notificationClosed(quint32 id);

private slots:
    void onActionInvoked(uint id, const QString& key);
    void onNotificationClosed(uint id, uint reason);

private:
    enum class State
    {
        Unknown,
        Asking,
        Ready
    };
    void askCapabilities();

    QDBusConnection m_bus;
    QString m_error;
    State m_state = State::Unknown;
    QStringList m_capabilities;
    QString m_serverInformation;
    QList<std::function<void()>> m_waiting;
};
