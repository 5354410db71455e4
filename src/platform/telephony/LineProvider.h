#pragma once

#include "LineTypes.h"

#include <QObject>

#include <functional>

// One source of line devices behind the TelephonyHub. Device numbers here are
// the provider's own (0 to deviceCount-1); the hub maps them onto the wrapper's
// numbering. Call ids come from the hub so they stay unique across providers.
class LineProvider : public QObject
{
    Q_OBJECT
public:
    using NotifyFn = std::function<void(const LineNotification&)>; // local device number
    using CallIdFn = std::function<qint32()>;

    using QObject::QObject;
    ~LineProvider() override = default;

    virtual QString providerName() const = 0;
    virtual void start(NotifyFn notify, CallIdFn newCallId) = 0;
    virtual void stop() = 0;

    virtual int deviceCount() const = 0;
    virtual QString deviceName(int device) const = 0;
    virtual qint32 mediaModes(int device) const = 0;
    virtual qint32 open(int device, qint32 mediaMode, qint32 privileges) = 0;
    virtual void close(int device) = 0;
    virtual QString callInfo(int device, qint32 callHandle, int field) const = 0;
    virtual qint32 answer(int device, qint32 callId) = 0;
    virtual qint32 drop(int device, qint32 callId) = 0;
    virtual qint32 dial(int device, const QString& number) = 0;
    virtual qint32 activeCallFeatures(int device, qint32 callId) const = 0;
    virtual qint32 advancedFeatures(int device) const = 0;
};
