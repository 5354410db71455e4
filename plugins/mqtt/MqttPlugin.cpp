#include "MqttPlugin.h"

#include "CallDocument.h"
#include "MqttLink.h"
#include "MqttOutbox.h"
#include "MqttSettingsDialog.h"

#include <QMessageBox>

namespace {

const QString kCaPath = QStringLiteral("/etc/ssl/certs");
const QByteArray kOnline = QByteArrayLiteral("online");
const QByteArray kOffline = QByteArrayLiteral("offline");

} // namespace

MqttPlugin::MqttPlugin() = default;

MqttPlugin::~MqttPlugin()
{
    // After Shutdown this runs as the process unloads its libraries, when the
    // network and TLS libraries may be gone: it only frees.
    if (!m_shutDown)
        Shutdown();
}

void MqttPlugin::Shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    stop();
    if (m_outbox && m_outbox->waiting() > 0 && m_context)
        m_context->log(
            m_context->translate(QStringLiteral("MQTT: %s messages never reached the broker"),
                                 {QString::number(m_outbox->waiting())}));
}

void MqttPlugin::SetValue(const QString& key, const QVariant& value)
{
    if (key != QLatin1String("Enabled") || !m_context || m_shutDown)
        return;
    if (value.toBool())
        start();
    else
        stop();
}

bool MqttPlugin::Init(phonavo::PluginContext* host)
{
    if (host)
        m_context = host;
    if (!m_context)
        return false;
    m_shutDown = false; // loaded again (a test runs several programs in one process)
    // An unticked plug-in stays off the broker until it is ticked and told of
    // a call: a fresh installation lists it without a broker to talk to.
    if (m_context->setting(QStringLiteral("Enabled"), QStringLiteral("1")) != QLatin1String("0"))
        start();
    return true;
}

QString MqttPlugin::topic(const QString& suffix) const
{
    return m_settings.topicPrefix + QLatin1Char('/') + suffix;
}

void MqttPlugin::start()
{
    stop();
    m_settings = MqttSettings::read(*m_context);
    if (!m_link) {
        m_link = std::make_unique<MqttLink>(*m_context);
        m_outbox = std::make_unique<MqttOutbox>(*m_link, *m_context);
        connect(m_link.get(), &MqttLink::connected, this, &MqttPlugin::onConnected);
    }
    MqttLink::Options o;
    o.host = m_settings.broker;
    o.port = m_settings.port;
    o.user = m_settings.user;
    o.password = m_settings.password;
    o.clientId = m_settings.clientId;
    o.tls = m_settings.tls;
    o.caPath = kCaPath;
    o.willTopic = topic(QStringLiteral("status"));
    o.willPayload = kOffline;
    o.retryFirstMs = m_settings.retryFirstMs;
    o.retryMaxMs = m_settings.retryMaxMs;
    m_context->log(m_context->translate(
        QStringLiteral("MQTT: publishing call events to %s as %s below the topic %s"),
        {m_settings.broker + QLatin1Char(':') + QString::number(m_settings.port),
         m_settings.clientId, m_settings.topicPrefix}));
    m_link->open(o);
}

void MqttPlugin::stop()
{
    if (!m_link)
        return;
    // A clean goodbye: the broker drops the will, so "offline" is said here.
    if (m_link->isConnected())
        m_link->publish(topic(QStringLiteral("status")), kOffline, true);
    m_link->close();
}

void MqttPlugin::onConnected()
{
    m_link->publish(topic(QStringLiteral("status")), kOnline, true);
    m_outbox->flush();
}

void MqttPlugin::publishEvent(const QString& event, qint32 callId, bool asLastCall)
{
    if (!m_context || m_shutDown)
        return;
    if (!m_outbox)
        start();
    phonavo::CallInfo call;
    if (!m_context->activeCall(callId, call)) {
        m_context->log(QLatin1Char('[') + QString::number(callId) + QStringLiteral("] ") +
                       m_context->translate(
                           QStringLiteral("MQTT: the call is not known; only its id is sent")));
        call = phonavo::CallInfo();
        call.callId = callId;
    }
    const QByteArray doc = CallDocument::build(event, call, QDateTime::currentDateTimeUtc());
    m_outbox->post(topic(QStringLiteral("call/") + event), doc, false);
    if (asLastCall)
        m_outbox->post(topic(QStringLiteral("lastcall")), doc, true);
}

QString MqttPlugin::NotifyIncomingCall(qint32 callId)
{
    publishEvent(QStringLiteral("incoming"), callId, true);
    return QString();
}

void MqttPlugin::NotifyOutgoingCall(qint32 callId)
{
    publishEvent(QStringLiteral("outgoing"), callId);
}

void MqttPlugin::NotifyCallAnswered(qint32 callId)
{
    publishEvent(QStringLiteral("answered"), callId);
}

void MqttPlugin::NotifyCallDisconnected(qint32 callId)
{
    publishEvent(QStringLiteral("disconnected"), callId);
}

void MqttPlugin::ShowSettings()
{
    if (!m_context)
        return;
    if (m_context->headless()) {
        m_context->log(m_context->translate(
            QStringLiteral("MQTT: the settings can be changed in the desktop program only")));
        return;
    }
    if (MqttSettingsDialog::edit(*m_context))
        start();
}

void MqttPlugin::ShowInfo()
{
    if (!m_context)
        return;
    const QString state = m_link && m_link->isConnected()
                              ? m_context->translate(QStringLiteral("connected"))
                              : m_context->translate(QStringLiteral("not connected"));
    const QString text = m_context->translate(
        QStringLiteral("MQTT: publishes call events for home automation to the broker %s below "
                       "the topic %s (%s)."),
        {m_settings.broker + QLatin1Char(':') + QString::number(m_settings.port),
         m_settings.topicPrefix, state});
    if (m_context->headless())
        m_context->log(text);
    else
        QMessageBox::information(
            nullptr, m_context->translate(QStringLiteral("MQTT (home automation)")), text);
}
