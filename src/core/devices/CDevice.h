#pragma once

#include <QString>

class SettingsStore;

// One telephone line device with the user's settings for it: monitoring, line
// privileges and the rules that rewrite its numbers.
class CDevice
{
public:
    static constexpr const char* kPseudoDeviceName = "foo plugin";
    static constexpr qint32 kPseudoDeviceId = -1;

    QString DeviceName;
    bool bOwner = true;
    bool bIsDataModem = false;
    bool bMonitor = false;
    QString CutIncoming;
    QString PrependIncoming;
    QString CutCalled;
    QString PrependCalled;
    qint32 lDeviceID = 0;
    QString SoundFile;
    bool GetCallerIDInOnCallerID = false;
    QString PrependOutgoing;
    QString CutOutgoing;
    qint16 iCallerIDMinLength = 5;
    bool bCheckMinLength = false;

    bool Load(const SettingsStore& settings);
    bool Save(SettingsStore& settings) const;

    bool isPseudoDevice() const { return DeviceName == QLatin1String(kPseudoDeviceName); }
    // The settings sub-key of this device; names that are no valid key name
    // are made into one.
    QString settingsKey() const;

    QString rewriteCaller(const QString& number) const;
    QString rewriteCalled(const QString& number) const;
    QString rewriteOutgoing(const QString& number) const;

    // The minimum-length rule: true when a caller number this short is ignored.
    bool callerTooShort(const QString& rewrittenCaller) const;

    static QString defaultSoundFile();
};
