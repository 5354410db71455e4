#include "SleepWatcher.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {
const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");
} // namespace

SleepWatcher::SleepWatcher(QObject* parent) : SleepWatcher(QDBusConnection::systemBus(), parent) {}

SleepWatcher::SleepWatcher(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), m_bus(bus)
{
    if (!m_bus.isConnected()) {
        const QString reason = m_bus.lastError().isValid() ? m_bus.lastError().message()
                                                           : QStringLiteral("no system bus");
        fail(reason);
        return;
    }
    if (!m_bus.connect(kService, kPath, kManager, QStringLiteral("PrepareForSleep"), this,
                       SLOT(onPrepareForSleep(bool)))) {
        fail(m_bus.lastError().message());
        return;
    }
    m_available = true;
    takeInhibitor();
}

SleepWatcher::~SleepWatcher()
{
    if (m_available)
        m_bus.disconnect(kService, kPath, kManager, QStringLiteral("PrepareForSleep"), this,
                         SLOT(onPrepareForSleep(bool)));
}

void SleepWatcher::fail(const QString& reason)
{
    const bool wasAvailable = m_available;
    m_available = false;
    m_error = QStringLiteral("Power events are not available: ") + reason;
    if (wasAvailable)
        emit unavailable(m_error);
}

void SleepWatcher::takeInhibitor()
{
    if (m_pending || m_inhibitor.isValid())
        return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kManager, QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep") << QStringLiteral("Phonavo")
         << QStringLiteral("Stop monitoring before standby") << QStringLiteral("delay");
    // Asynchronous: a slow or missing logind must not hold up the event loop.
    m_pending = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(m_pending, &QDBusPendingCallWatcher::finished, this, &SleepWatcher::inhibitorReply);
}

void SleepWatcher::inhibitorReply(QDBusPendingCallWatcher* call)
{
    m_pending = nullptr;
    call->deleteLater();
    const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *call;
    if (reply.isError()) {
        fail(reply.error().message());
        return;
    }
    m_inhibitor = reply.value();
}

void SleepWatcher::onPrepareForSleep(bool start)
{
    if (start) {
        // Direct connections run now; then the system may go to sleep.
        emit aboutToSleep();
        m_inhibitor = QDBusUnixFileDescriptor(); // closes our copy of the lock
        return;
    }
    takeInhibitor();
    emit resumed();
}
