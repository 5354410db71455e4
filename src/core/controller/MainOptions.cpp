#include "MainOptions.h"

#include "shell/settings/SettingsStore.h"

namespace {

QVariant convert(const QVariant& raw, const QVariant& def)
{
    switch (def.typeId()) {
    case QMetaType::Bool:
        return SettingToBool(raw);
    case QMetaType::Int: {
        bool ok = false;
        const int v = raw.toString().trimmed().toInt(&ok);
        return ok ? v : def.toInt();
    }
    default:
        return raw.toString();
    }
}

// The number a text starts with (blanks before it skipped), 0 when none.
QString leadingNumberText(const QString& text)
{
    const QString t = text.trimmed();
    qsizetype digits = 0;
    while (digits < t.size() && t[digits].isDigit() && t[digits].unicode() < 128)
        ++digits;
    bool ok = false;
    const qulonglong value = t.left(digits).toULongLong(&ok);
    return QString::number(ok ? value : 0);
}

QString storedText(const QVariant& v, bool numeric)
{
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    return numeric ? leadingNumberText(v.toString()) : v.toString();
}

} // namespace

const QList<MainOptions::Definition>& MainOptions::definitions()
{
    static const QList<Definition> defs = {
        {"cbConnectOnStart", "Options", "ConnectOnStart", false},
        {"cbHideOnstart", "Options", "HideOnStart", false},
        {"cmbTrayAction", "Options", "TrayIconAction", 0},
        {"txtCountryCode", "Options", "CountryCode", QString()},
        {"cmbDataConnection", "Options", "DataSource", 1},
        {"txtAcceptedNumber", "Options", "AcceptedNumber", QString()},
        {"cbAddToCallHist", "Options", "AddToCallHist", true},
        {"cmbOutgoingDevice", "Options", "OutgoingDevice", QString()},
        {"cbReverseLookup", "Options", "ReverseLookup", false},
        {"cmbReversePlugin", "Options", "ReversePlugin", QString()},
        {"cmbReverseCountry", "Options", "ReverseCountry", QString()},
        {"cbPopup", "Options", "ShowPopup", true},
        {"cbAutoHide", "Options", "AutoHide", true},
        {"txtAutoHideSeconds", "Options", "AutoHideSeconds", 10},
        {"slTransparency", "Options", "Transparency", 20},
        {"cbHideNotificationOnEndOfCall", "Options", "HideNotificationOnEndOfCall", true},
        {"txtPort", "Options\\Server", "Port", QStringLiteral("5773"), false, true},
        {"txtPassword", "Options\\Server", "Pass", QString(), true},
        {"cbPhonavoServer", "Options\\Server", "Enabled", false},
    };
    return defs;
}

MainOptions::MainOptions(QObject* parent) : QObject(parent)
{
    for (const Definition& d : definitions())
        m_values.insert(QString::fromLatin1(d.control), d.defaultValue);
}

QVariant MainOptions::value(const QString& control) const
{
    return m_values.value(control);
}

void MainOptions::setValue(const QString& control, const QVariant& value)
{
    const auto it = m_values.find(control);
    if (it == m_values.end())
        return;
    const QVariant typed = value.typeId() == it->typeId() ? value : convert(value, *it);
    if (*it == typed)
        return;
    *it = typed;
    emit changed(control, typed);
}

void MainOptions::load(const SettingsStore& settings)
{
    for (const Definition& d : definitions()) {
        const QVariant raw = settings.GetSettingHKCU(
            QString::fromLatin1(d.subKey), QString::fromLatin1(d.valueName),
            d.scrambled ? QVariant(QString()) : d.defaultValue, d.scrambled);
        setValue(QString::fromLatin1(d.control), convert(raw, d.defaultValue));
    }
}

void MainOptions::save(SettingsStore& settings, bool monitoring) const
{
    for (const Definition& d : definitions()) {
        const QString control = QString::fromLatin1(d.control);
        settings.SaveSettingHKCU(QString::fromLatin1(d.subKey), QString::fromLatin1(d.valueName),
                                 storedText(m_values.value(control), d.numeric), d.scrambled);
    }
    settings.SaveSettingHKCU(QStringLiteral("Options"), QStringLiteral("Enabled"),
                             monitoring ? QStringLiteral("1") : QStringLiteral("0"));
}
