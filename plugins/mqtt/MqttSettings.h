#pragma once

#include <QString>

namespace phonavo {
class PluginContext;
}

// The plug-in's settings, read from its registration key. Missing values take
// their defaults; values that cannot be used are logged and take them too, so
// a broken setting never stops the notifications.
struct MqttSettings
{
    QString broker = QStringLiteral("localhost");
    int port = 1883;
    QString user;
    QString password; // plain, after unscrambling
    QString topicPrefix = QStringLiteral("phonavo");
    QString clientId; // "phonavo-<hostname>" when not set
    bool tls = false;
    // Reconnection: the first delay, doubled after each failed attempt up to the last.
    int retryFirstMs = 1000;
    int retryMaxMs = 60000;

    static MqttSettings read(phonavo::PluginContext& context);
    static QString defaultClientId();
};
