#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class MqttLink;

namespace phonavo {
class PluginContext;
}

// Messages on their way to the broker. While the link is down they wait here,
// at most `capacity` of them: the oldest is dropped (and logged) for a new
// one, and a retained message replaces an older waiting one for its topic,
// since the broker would keep only the newer anyway.
class MqttOutbox
{
public:
    MqttOutbox(MqttLink& link, phonavo::PluginContext& context, int capacity = 100);

    void post(const QString& topic, const QByteArray& payload, bool retain);
    // Hands the waiting messages to the link, oldest first, while it takes them.
    void flush();
    qsizetype waiting() const { return m_queue.size(); }

private:
    struct Message
    {
        QString topic;
        QByteArray payload;
        bool retain = false;
    };

    MqttLink& m_link;
    phonavo::PluginContext& m_context;
    int m_capacity;
    QList<Message> m_queue;
};
