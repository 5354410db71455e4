#include "MqttSettings.h"

#include "PhonavoPlugin.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QRegularExpression>

namespace {

bool isHostName(const QString& host)
{
    // RFC 1123 names; addresses (IPv6 included) are checked by QHostAddress.
    static const QRegularExpression name(QStringLiteral(
        "^(?=.{1,253}$)[A-Za-z0-9]([A-Za-z0-9-]{0,62})(\\.[A-Za-z0-9]([A-Za-z0-9-]{0,62}))*\\.?$"));
    return name.match(host).hasMatch() || !QHostAddress(host).isNull();
}

// Topic names must not hold wildcards or NUL; a prefix has no leading or trailing "/".
bool isTopicPrefix(const QString& prefix)
{
    return !prefix.isEmpty() && prefix.size() <= 200 && !prefix.contains(QLatin1Char('+')) &&
           !prefix.contains(QLatin1Char('#')) && !prefix.contains(QChar(0)) &&
           !prefix.startsWith(QLatin1Char('/')) && !prefix.endsWith(QLatin1Char('/'));
}

bool isClientId(const QString& id)
{
    if (id.isEmpty() || id.toUtf8().size() > 65535)
        return false;
    for (const QChar c : id)
        if (c.category() == QChar::Other_Control)
            return false;
    return true;
}

class Reader
{
public:
    explicit Reader(phonavo::PluginContext& context) : m_context(context) {}

    // The value, or the fallback when it is empty or fails the check (then logged).
    template <typename Check>
    QString text(const QString& name, const QString& fallback, Check check) const
    {
        const QString value = m_context.setting(name).trimmed();
        if (value.isEmpty())
            return fallback;
        if (check(value))
            return value;
        invalid(name, value, fallback);
        return fallback;
    }

    int number(const QString& name, int fallback, int min, int max) const
    {
        const QString value = m_context.setting(name).trimmed();
        if (value.isEmpty())
            return fallback;
        bool ok = false;
        const int n = value.toInt(&ok);
        if (ok && n >= min && n <= max)
            return n;
        invalid(name, value, QString::number(fallback));
        return fallback;
    }

    bool flag(const QString& name) const
    {
        const QString value = m_context.setting(name).trimmed();
        if (value.isEmpty() || value == QLatin1String("0"))
            return false;
        if (value == QLatin1String("1"))
            return true;
        invalid(name, value, QStringLiteral("0"));
        return false;
    }

private:
    void invalid(const QString& name, const QString& value, const QString& fallback) const
    {
        m_context.log(m_context.translate(
            QStringLiteral("MQTT: the setting %s has an unusable value \"%s\"; using \"%s\""),
            {name, value.left(80), fallback}));
    }

    phonavo::PluginContext& m_context;
};

} // namespace

QString MqttSettings::defaultClientId()
{
    return QStringLiteral("phonavo-") + QHostInfo::localHostName();
}

MqttSettings MqttSettings::read(phonavo::PluginContext& context)
{
    const Reader r(context);
    MqttSettings s;
    s.broker = r.text(QStringLiteral("Broker"), s.broker, isHostName);
    s.port = r.number(QStringLiteral("Port"), s.port, 1, 65535);
    s.user = context.setting(QStringLiteral("User"));
    const QString stored = context.setting(QStringLiteral("Password"));
    s.password = stored.isEmpty() ? QString() : context.unscramble(stored);
    s.topicPrefix = r.text(QStringLiteral("TopicPrefix"), s.topicPrefix, isTopicPrefix);
    s.clientId = r.text(QStringLiteral("ClientId"), defaultClientId(), isClientId);
    s.tls = r.flag(QStringLiteral("TLS"));
    s.retryFirstMs = r.number(QStringLiteral("RetryFirstMs"), s.retryFirstMs, 10, 3600000);
    s.retryMaxMs =
        qMax(s.retryFirstMs, r.number(QStringLiteral("RetryMaxMs"), s.retryMaxMs, 10, 3600000));
    return s;
}
