#pragma once

#include "LineTypes.h"

// The line monitor's only way to the telephone lines. Every source of line
// events (virtual lines, a router's call monitor, a PBX) sits behind it.
// Notifications reach the callback on the event-loop thread, never from inside
// one of these calls.
class TelephonyWrapper
{
public:
    virtual ~TelephonyWrapper() = default;

    // Devices are numbered 0 to deviceCount-1. Returns a LineResult code.
    virtual qint32 TapiLineInitEx(const QString& appName, LineCallback callback,
                                  qint32& deviceCount) = 0;
    virtual qint32 getMediaModes(qint32 device) = 0;
    virtual QString getDeviceName(qint32 device) = 0;
    virtual qint32 TapiLineOpen(qint32 device, qint32 mediaMode, qint32 privileges) = 0;
    virtual qint32 TapiLineClose(qint32 device) = 0;
    virtual void TapiLineShutDown() = 0;
    virtual QString getCallRelevantInfos(qint32 device, qint32 callHandle, int field) = 0;
    virtual QString getStrFromValue(int kind, qint32 value) { return lineValueName(kind, value); }
    virtual qint32 TapiLineAnswer(qint32 device, qint32 callId) = 0;
    virtual qint32 TapiLineDrop(qint32 device, qint32 callId) = 0;
    virtual qint32 TapiLineDial(qint32 device, const QString& number) = 0;
    virtual qint32 getActiveCallFeatures(qint32 device, qint32 callId) = 0;
    virtual qint32 getAdvancedFeatures(qint32 device) = 0;
    virtual qint32 getDeviceIdFromName(const QString& deviceName) = 0;
};
