#include "AutomationBus.h"

#include "Application.h"
#include "ApplicationAdaptor.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>

AutomationBus::AutomationBus(Application& application, QDBusConnection connection)
    : m_app(application), m_connection(std::move(connection))
{}

AutomationBus::~AutomationBus()
{
    unpublish();
}

void AutomationBus::log(const QString& text)
{
    if (MainForm* form = m_app.mainForm())
        form->LogStr(text);
    else
        qWarning("%s", qPrintable(text));
}

bool AutomationBus::publish()
{
    if (m_published)
        return true;
    const QString service = QString::fromLatin1(kService);
    // The texts go through GetS by name, so the language source sees them.
    const auto GetS = [this](const QString& text, const QString& param) {
        MainForm* form = m_app.mainForm();
        return form ? form->GetS(text, param) : QString(text).replace(QStringLiteral("%s"), param);
    };
    if (!m_connection.isConnected()) {
        QString reason = m_connection.lastError().message();
        if (reason.isEmpty())
            reason = QStringLiteral("not connected");
        log(GetS(QStringLiteral("The automation object is not on D-Bus: no session bus (%s)"),
                 reason));
        return false;
    }
    m_exported = new BusCallContext;
    new ApplicationAdaptor(m_app, m_exported);
    if (!m_connection.registerObject(QString::fromLatin1(kPath), m_exported,
                                     QDBusConnection::ExportAdaptors)) {
        log(GetS(QStringLiteral("The automation object is not on D-Bus: %s"),
                 m_connection.lastError().message()));
        delete m_exported;
        return false;
    }
    // Never queued behind another owner: a second Phonavo's object would
    // answer for the first.
    QDBusConnectionInterface* bus = m_connection.interface();
    const auto reply =
        bus ? bus->registerService(service, QDBusConnectionInterface::DontQueueService,
                                   QDBusConnectionInterface::DontAllowReplacement)
            : QDBusReply<QDBusConnectionInterface::RegisterServiceReply>();
    if (!reply.isValid()) {
        log(GetS(QStringLiteral("The automation object is not on D-Bus: %s"),
                 bus ? reply.error().message() : QStringLiteral("no bus interface")));
        m_connection.unregisterObject(QString::fromLatin1(kPath));
        delete m_exported;
        return false;
    }
    if (reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        log(GetS(QStringLiteral("The automation object is not on D-Bus: %s is taken by another "
                                "program"),
                 service));
        m_connection.unregisterObject(QString::fromLatin1(kPath));
        delete m_exported;
        return false;
    }
    m_published = true;
    log(GetS(QStringLiteral("The automation object is on D-Bus as %s"), service));
    return true;
}

void AutomationBus::unpublish(bool sayExit)
{
    if (m_published) {
        m_connection.unregisterObject(QString::fromLatin1(kPath));
        // Sent by hand: the adaptor relays its signals later, from the bus
        // thread, and only while the object is still registered.
        if (sayExit)
            m_connection.send(QDBusMessage::createSignal(QString::fromLatin1(kPath),
                                                         QString::fromLatin1(kInterface),
                                                         QStringLiteral("evtExit")));
        m_connection.unregisterService(QString::fromLatin1(kService));
        m_published = false;
    }
    delete m_exported;
}
