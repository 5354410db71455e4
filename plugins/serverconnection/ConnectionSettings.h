#pragma once

#include <QString>
#include <QStringList>

namespace phonavo {
class PluginContext;
}

// The plug-in's values below its registration key.
struct ConnectionSettings
{
    static constexpr quint16 kDefaultPort = 5773;
    static constexpr int kDefaultTimeoutSeconds = 120;

    QString server;
    quint16 port = kDefaultPort; // 0: the stored value is no port
    QString password;            // plain; stored scrambled
    QStringList listenNumbers;   // empty: every own number of the server
    int timeoutSeconds = kDefaultTimeoutSeconds;

    static ConnectionSettings load(const phonavo::PluginContext& context);
    // The values the settings dialog edits.
    void save(phonavo::PluginContext& context) const;

    // "ListenNumbers" is written with commas (";" is read too); the server
    // wants them joined with ";", and an empty list means all.
    static QStringList parseNumbers(const QString& text);
    QString wireNumbers() const;
};
