#include "ConnectionSettings.h"

#include "ClientWire.h"
#include "PhonavoPlugin.h"

#include <QRegularExpression>

ConnectionSettings ConnectionSettings::load(const phonavo::PluginContext& context)
{
    ConnectionSettings s;
    s.server = context.setting(QStringLiteral("server")).trimmed();
    bool ok = false;
    const uint port = context.setting(QStringLiteral("port"), QString::number(kDefaultPort))
                          .trimmed()
                          .toUInt(&ok);
    s.port = ok && port > 0 && port <= 65535 ? quint16(port) : 0;
    s.password = context.unscramble(context.setting(QStringLiteral("password")));
    s.listenNumbers = parseNumbers(context.setting(QStringLiteral("ListenNumbers")));
    const int timeout = context.setting(QStringLiteral("Timeout")).toInt(&ok);
    if (ok && timeout > 0)
        s.timeoutSeconds = timeout;
    return s;
}

void ConnectionSettings::save(phonavo::PluginContext& context) const
{
    context.saveSetting(QStringLiteral("server"), server.trimmed());
    context.saveSetting(QStringLiteral("port"), QString::number(port));
    context.saveSetting(QStringLiteral("password"), context.scramble(password));
    context.saveSetting(QStringLiteral("ListenNumbers"), listenNumbers.join(QLatin1Char(',')));
}

QStringList ConnectionSettings::parseNumbers(const QString& text)
{
    static const QRegularExpression separators(QStringLiteral("[,;]"));
    QStringList numbers;
    for (const QString& n : text.split(separators)) {
        const QString number = ClientWire::sendableText(n).trimmed();
        if (!number.isEmpty() && !numbers.contains(number))
            numbers << number;
    }
    return numbers;
}

QString ConnectionSettings::wireNumbers() const
{
    return listenNumbers.join(QLatin1Char(';'));
}
