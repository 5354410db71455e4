#include "CDevice.h"

#include "NumberRules.h"
#include "platform/AppPaths.h"
#include "shell/settings/SettingsStore.h"

namespace {

bool isOne(const QString& text)
{
    return text == QLatin1String("1");
}

QString boolText(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

// Numeric value of the leading digits, as the stored length was always read.
qint16 leadingNumber(const QString& text)
{
    const QString t = text.trimmed();
    int i = 0;
    if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+')))
        ++i;
    while (i < t.size() && t[i].isDigit())
        ++i;
    bool ok = false;
    const int value = t.left(i).toInt(&ok);
    if (!ok)
        return 0;
    return qint16(qBound(-32768, value, 32767));
}

} // namespace

QString CDevice::defaultSoundFile()
{
    return AppPaths::dataDir() + QStringLiteral("/ring.wav");
}

QString CDevice::settingsKey() const
{
    QString name = DeviceName.trimmed();
    for (QChar& c : name)
        if (c == QLatin1Char('\\') || c.unicode() < 0x20)
            c = QLatin1Char('_');
    if (name.isEmpty())
        name = QStringLiteral("_");
    return QStringLiteral("Options\\Devices\\") + name.left(255);
}

bool CDevice::Load(const SettingsStore& settings)
{
    const QString key = settingsKey();
    const auto text = [&](const char* name, const QString& def) {
        return settings.GetSettingHKCU(key, QString::fromLatin1(name), def).toString();
    };
    bOwner = isOne(text("Owner", QStringLiteral("1")));
    const bool fritz = DeviceName.contains(QLatin1String("Fritz!Box"), Qt::CaseSensitive);
    bIsDataModem = isOne(text("AsDataModem", boolText(fritz)));
    bMonitor = isOne(text("Monitor", QStringLiteral("0")));
    CutIncoming = text("CutIncoming", QString());
    PrependIncoming = text("PrependIncoming", QString());
    CutCalled = text("CutCalled", QString());
    PrependCalled = text("PrependCalled", QString());
    SoundFile = text("Sound", defaultSoundFile());
    GetCallerIDInOnCallerID = isOne(text("GetCallerIDInOnCallerID", QStringLiteral("0")));
    PrependOutgoing = text("PrependOutgoing", QString());
    CutOutgoing = text("CutOutgoing", QString());
    iCallerIDMinLength = leadingNumber(text("CallerIDMinLength", QStringLiteral("5")));
    bCheckMinLength = isOne(text("CheckMinLength", QString()));
    return true;
}

bool CDevice::Save(SettingsStore& settings) const
{
    if (isPseudoDevice())
        return true;
    const QString key = settingsKey();
    const auto put = [&](const char* name, const QString& value) {
        settings.SaveSettingHKCU(key, QString::fromLatin1(name), value);
    };
    put("Owner", boolText(bOwner));
    put("AsDataModem", boolText(bIsDataModem));
    put("Monitor", boolText(bMonitor));
    put("CutIncoming", CutIncoming);
    put("PrependIncoming", PrependIncoming);
    put("CutCalled", CutCalled);
    put("PrependCalled", PrependCalled);
    put("Sound", SoundFile);
    put("GetCallerIDInOnCallerID", boolText(GetCallerIDInOnCallerID));
    put("PrependOutgoing", PrependOutgoing);
    put("CutOutgoing", CutOutgoing);
    put("CallerIDMinLength", QString::number(iCallerIDMinLength));
    put("CheckMinLength", boolText(bCheckMinLength));
    return true;
}

QString CDevice::rewriteCaller(const QString& number) const
{
    return RewriteNumber(number, CutIncoming, PrependIncoming);
}

QString CDevice::rewriteCalled(const QString& number) const
{
    return RewriteNumber(number, CutCalled, PrependCalled);
}

QString CDevice::rewriteOutgoing(const QString& number) const
{
    return RewriteNumber(number, CutOutgoing, PrependOutgoing);
}

bool CDevice::callerTooShort(const QString& rewrittenCaller) const
{
    return bCheckMinLength && rewrittenCaller.size() < iCallerIDMinLength;
}
