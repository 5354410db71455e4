#include "NotificationsClient.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
// A connection of its own, so that closing it never touches the host's.
const QString kConnectionName = QStringLiteral("phonavo-desktopnotify");

QDBusMessage methodCall(const QString& method)
{
    return QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
}

} // namespace

NotificationsClient::NotificationsClient(QObject* parent)
    : QObject(parent), m_bus(QStringLiteral("none"))
{}

NotificationsClient::~NotificationsClient()
{
    if (m_bus.isConnected()) {
        m_bus.disconnect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                         SLOT(onActionInvoked(uint, QString)));
        m_bus.disconnect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                         SLOT(onNotificationClosed(uint, uint)));
    }
    // The connection stays with Qt until the program ends: closing it here
    // could drop the last CloseNotification calls before they were written.
}

bool NotificationsClient::open()
{
    m_bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, kConnectionName);
    if (!m_bus.isConnected()) {
        m_error = m_bus.lastError().message();
        if (m_error.isEmpty())
            m_error = QStringLiteral("DBUS_SESSION_BUS_ADDRESS=") +
                      qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
        QDBusConnection::disconnectFromBus(kConnectionName);
        return false;
    }
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                  SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                  SLOT(onNotificationClosed(uint, uint)));
    askCapabilities();
    return true;
}

void NotificationsClient::askCapabilities()
{
    if (!m_bus.isConnected() || m_state != State::Unknown)
        return;
    m_state = State::Asking;
    auto* watcher = new QDBusPendingCallWatcher(
        m_bus.asyncCall(methodCall(QStringLiteral("GetCapabilities"))), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                const QDBusPendingReply<QStringList> reply = *call;
                QList<std::function<void()>> jobs;
                jobs.swap(m_waiting);
                if (reply.isError()) {
                    m_state = State::Unknown;
                    emit capabilitiesFailed(reply.error().message());
                    return;
                }
                m_state = State::Ready;
                m_capabilities = reply.value();
                emit capabilitiesKnown();
                for (const auto& job : jobs)
                    job();
            });

    auto* info = new QDBusPendingCallWatcher(
        m_bus.asyncCall(methodCall(QStringLiteral("GetServerInformation"))), this);
    connect(info, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        const QDBusPendingReply<QString, QString, QString, QString> reply = *call;
        if (!reply.isError())
            m_serverInformation =
                QStringList{reply.argumentAt<0>(), reply.argumentAt<1>(), reply.argumentAt<2>()}
                    .join(QLatin1Char(' '));
    });
}

void NotificationsClient::whenReady(std::function<void()> job)
{
    if (!m_bus.isConnected())
        return;
    if (m_state == State::Ready) {
        job();
        return;
    }
    m_waiting.append(std::move(job));
    askCapabilities();
}

void NotificationsClient::notify(const NotificationContent& content, quint32 replacesId,
                                 std::function<void(quint32, const QString&)> done)
{
    QDBusMessage call = methodCall(QStringLiteral("Notify"));
    call << QStringLiteral("Phonavo") << uint(replacesId) << content.appIcon << content.summary
         << content.body << content.actionList() << content.hints << qint32(content.expireTimeout);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [done = std::move(done)](QDBusPendingCallWatcher* pending) {
                pending->deleteLater();
                const QDBusPendingReply<uint> reply = *pending;
                if (reply.isError())
                    done(0, reply.error().message());
                else
                    done(reply.value(), QString());
            });
}

void NotificationsClient::close(quint32 id)
{
    QDBusMessage call = methodCall(QStringLiteral("CloseNotification"));
    call << uint(id);
    // Nobody waits for the answer; an unknown id is no harm.
    m_bus.send(call);
}

void NotificationsClient::onActionInvoked(uint id, const QString& key)
{
    emit actionInvoked(id, key);
}

void NotificationsClient::onNotificationClosed(uint id, uint reason)
{
    Q_UNUSED(reason)
    emit notificationClosed(id);
}
