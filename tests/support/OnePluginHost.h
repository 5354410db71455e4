#pragma once

#include "core/pipeline/CallSeams.h"

#include <QList>
#include <QPair>
#include <QString>

// One connection plug-in at position 1 (device id 1001) with a name, that may
// or may not reject calls; the other plug-in events are ignored.
class OnePluginHost : public PluginHost
{
public:
    QString name = QStringLiteral("ISDN");
    bool canReject = false;
    QList<QPair<qint32, qint32>> rejected; // device id, call id

    void raiseIncomingCall(qint32) override {}
    void raiseOutgoingCall(qint32) override {}
    void raiseCallAnswered(qint32) override {}
    void raiseCallDisconnected(qint32) override {}
    QString connectionPluginName(qint32 deviceId) const override
    {
        return deviceId == 1001 ? name : QString();
    }
    qint32 connectionPluginDeviceId(const QString&) const override { return 1001; }
    bool canRejectCalls(qint32) const override { return canReject; }
    QString callerExtra(qint32) const override { return QString(); }
    bool rejectCall(qint32 device, qint32 callId) override
    {
        rejected.append({device, callId});
        return true;
    }
    bool anyConnectionPluginEnabled() const override { return false; }
    void startConnectionPlugins() override {}
    void stopConnectionPlugins() override {}
    QString notifyIncomingCall(const CCall&) override { return QString(); }
    void notifyCallAnswered(const CCall&) override {}
    void notifyCallDisconnected(const CCall&) override {}
    void notifyActionChosen(const QString&) override {}
};
