#include "MqttOutbox.h"

#include "MqttLink.h"
#include "PhonavoPlugin.h"

MqttOutbox::MqttOutbox(MqttLink& link, phonavo::PluginContext& context, int capacity)
    : m_link(link), m_context(context), m_capacity(qMax(1, capacity))
{}

void MqttOutbox::post(const QString& topic, const QByteArray& payload, bool retain)
{
    if (m_queue.isEmpty() && m_link.isConnected()) {
        // A message the library refuses on a working link (logged there) would
        // be refused again: it is not kept.
        m_link.publish(topic, payload, retain);
        return;
    }
    if (retain)
        m_queue.removeIf([&](const Message& m) { return m.retain && m.topic == topic; });
    m_queue.append({topic, payload, retain});
    if (m_queue.size() > m_capacity) {
        m_context.log(m_context.translate(
            QStringLiteral("MQTT: too many messages wait for the broker; dropped the oldest (%s)"),
            {m_queue.constFirst().topic}));
        m_queue.removeFirst();
    }
}

void MqttOutbox::flush()
{
    while (!m_queue.isEmpty() && m_link.isConnected()) {
        const Message& m = m_queue.constFirst();
        if (!m_link.publish(m.topic, m.payload, m.retain) && !m_link.isConnected())
            break;
        m_queue.removeFirst();
    }
}
