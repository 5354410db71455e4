#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>

class QDBusPendingCallWatcher;

// Standby and resume as systemd-logind announces them on the system bus
// (Manager.PrepareForSleep). While running it holds a "delay" sleep inhibitor,
// so the system waits until the handlers of aboutToSleep() have run before it
// suspends; the inhibitor is released right after them and taken again on
// resume. Without a system bus or logind, available() is false and
// errorString() says why; the program then simply gets no power events.
class SleepWatcher : public QObject
{
    Q_OBJECT
public:
    explicit SleepWatcher(QObject* parent = nullptr); // the system bus
    explicit SleepWatcher(const QDBusConnection& bus, QObject* parent = nullptr);
    ~SleepWatcher() override;

    bool available() const { return m_available; }
    // "Power events are not available: ..." when not available.
    QString errorString() const { return m_error; }
    bool holdsInhibitor() const { return m_inhibitor.isValid(); }

signals:
    void aboutToSleep();
    void resumed();
    // logind turned out to be missing after construction (the inhibitor
    // request failed); errorString() has the text.
    void unavailable(const QString& error);

private slots:
    void onPrepareForSleep(bool start);

private:
    void takeInhibitor();
    void inhibitorReply(QDBusPendingCallWatcher* call);
    void fail(const QString& reason);

    QDBusConnection m_bus;
    QDBusUnixFileDescriptor m_inhibitor;
    QDBusPendingCallWatcher* m_pending = nullptr;
    bool m_available = false;
    QString m_error;
};
