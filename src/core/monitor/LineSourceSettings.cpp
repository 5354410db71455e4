#include "LineSourceSettings.h"

#include "platform/telephony/AsteriskProvider.h"
#include "platform/telephony/RouterCallMonitorProvider.h"
#include "platform/telephony/VirtualLineProvider.h"
#include "shell/settings/SettingsStore.h"

namespace LineSourceSettings {

QStringList virtualLineNames(const SettingsStore& settings)
{
    const QString key = QStringLiteral("Options\\VirtualLines");
    const int count = qBound(
        0, settings.getInt(SettingsStore::Hive::CurrentUser, key, QStringLiteral("Count"), 2),
        kMaxVirtualLines);
    QStringList names;
    for (int i = 1; i <= count; ++i) {
        QString name = settings
                           .getString(SettingsStore::Hive::CurrentUser, key,
                                      QStringLiteral("Line%1").arg(i), QString())
                           .trimmed();
        if (name.isEmpty() || names.contains(name))
            name = QStringLiteral("Virtual line %1").arg(i);
        names << name;
    }
    return names;
}

namespace {

using Hive = SettingsStore::Hive;

QStringList sourceKeys(const SettingsStore& settings, const QString& kind)
{
    const QStringList keys = settings.RegEnumKeys(
        Hive::CurrentUser,
        SettingsStore::rootKey() + QStringLiteral("\\Options\\LineSources\\") + kind);
    return keys.mid(1);
}

QString sub(const QString& kind, const QString& name)
{
    return QStringLiteral("Options\\LineSources\\") + kind + QLatin1Char('\\') + name;
}

quint16 port(const SettingsStore& s, const QString& key, int def)
{
    const int value = s.getInt(Hive::CurrentUser, key, QStringLiteral("Port"), def);
    return quint16(value > 0 && value < 65536 ? value : def);
}

int ms(const SettingsStore& s, const QString& key, const char* name, int def)
{
    return qMax(0, s.getInt(Hive::CurrentUser, key, QString::fromLatin1(name), def));
}

// Hand-written settings give the password as plain SecretText; the program
// itself stores it scrambled as Secret. A SecretText that is set wins.
QString secret(const SettingsStore& s, const QString& key)
{
    const QString plain =
        s.getString(Hive::CurrentUser, key, QStringLiteral("SecretText"), QString());
    if (!plain.isEmpty())
        return plain;
    return s.GetSettingHKCU(key, QStringLiteral("Secret"), QString(), true).toString();
}

} // namespace

std::vector<std::unique_ptr<LineProvider>> createProviders(const SettingsStore& settings,
                                                           const Logger& logger)
{
    std::vector<std::unique_ptr<LineProvider>> providers;
    providers.push_back(std::make_unique<VirtualLineProvider>(virtualLineNames(settings)));

    QList<RouterConfig> routers;
    for (const QString& name : sourceKeys(settings, QStringLiteral("Routers"))) {
        const QString key = sub(QStringLiteral("Routers"), name);
        RouterConfig c;
        c.label =
            settings.getString(Hive::CurrentUser, key, QStringLiteral("Label"), name).trimmed();
        c.host =
            settings.getString(Hive::CurrentUser, key, QStringLiteral("Host"), QString()).trimmed();
        c.port = port(settings, key, 1012);
        c.enabled = settings.getBool(Hive::CurrentUser, key, QStringLiteral("Enabled"), true);
        c.reconnectMinMs = qMax(10, ms(settings, key, "ReconnectMinMs", c.reconnectMinMs));
        c.reconnectMaxMs =
            qMax(c.reconnectMinMs, ms(settings, key, "ReconnectMaxMs", c.reconnectMaxMs));
        c.readTimeoutMs = ms(settings, key, "ReadTimeoutMs", c.readTimeoutMs);
        if (c.label.isEmpty())
            c.label = name;
        if (c.host.isEmpty()) {
            if (logger)
                logger(QStringLiteral("Router %1: no Host configured, skipped").arg(name));
            continue;
        }
        routers << c;
    }
    if (!routers.isEmpty()) {
        auto router = std::make_unique<RouterCallMonitorProvider>(routers);
        router->setLogger(logger);
        providers.push_back(std::move(router));
    }

    for (const QString& name : sourceKeys(settings, QStringLiteral("Asterisk"))) {
        const QString key = sub(QStringLiteral("Asterisk"), name);
        AsteriskConfig c;
        c.label =
            settings.getString(Hive::CurrentUser, key, QStringLiteral("Label"), name).trimmed();
        c.host =
            settings.getString(Hive::CurrentUser, key, QStringLiteral("Host"), QString()).trimmed();
        c.port = port(settings, key, 5038);
        c.user =
            settings.getString(Hive::CurrentUser, key, QStringLiteral("User"), QString()).trimmed();
        c.secret = secret(settings, key);
        c.extensions =
            settings.getString(Hive::CurrentUser, key, QStringLiteral("Extensions"), QString())
                .split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& e : c.extensions)
            e = e.trimmed();
        c.extensions.removeAll(QString());
        c.originateContext = settings.getString(
            Hive::CurrentUser, key, QStringLiteral("OriginateContext"), c.originateContext);
        c.enabled = settings.getBool(Hive::CurrentUser, key, QStringLiteral("Enabled"), true);
        c.reconnectMinMs = qMax(10, ms(settings, key, "ReconnectMinMs", c.reconnectMinMs));
        c.reconnectMaxMs =
            qMax(c.reconnectMinMs, ms(settings, key, "ReconnectMaxMs", c.reconnectMaxMs));
        if (c.label.isEmpty())
            c.label = name;
        if (!c.enabled)
            continue;
        if (c.host.isEmpty() || c.extensions.isEmpty()) {
            if (logger)
                logger(
                    QStringLiteral("Asterisk %1: Host or Extensions missing, skipped").arg(name));
            continue;
        }
        auto pbx = std::make_unique<AsteriskProvider>(c);
        pbx->setLogger(logger);
        providers.push_back(std::move(pbx));
    }
    return providers;
}

} // namespace LineSourceSettings
