#pragma once

#include "core/calls/ColCalls.h"
#include "core/devices/CDevice.h"

class MainForm;

// The steps every call goes through once it is known: number rules, filter,
// names, log lines, lookup, and the announcement to plug-ins, clients, the
// sound and the popup. Each step runs in its own error trap so one failing
// step never stops the announcement.
class CallPipeline
{
public:
    explicit CallPipeline(MainForm& form) : m_form(form) {}

    void IncomingCall(const CallPtr& call);
    CallPtr IncomingCallHandling(const QString& callerNumber, qint32 dbCallId, CallPtr call);
    bool OutgoingCall(const CallPtr& call);
    CallPtr OutgoingCallHandling(const QString& calledNumber, qint32 callId, CallPtr call);

    void pluginIncomingCall(qint32 callId, const QString& deviceName, const QString& callerId,
                            const QString& callerName, const QString& calledId,
                            const QString& calledName, const QString& extra,
                            const QString& calledExtra, const QString& picture, bool outgoing);
    void pluginCallAnswered(qint32 callId);
    void pluginCallDisconnected(qint32 callId);
    void RaiseNotificationAction(const QString& caption);

    static constexpr int kRejectStepMs = 100;

private:
    struct CallDevice
    {
        CDevice device;
        bool canReject = false;
    };
    CallDevice deviceOf(CCall& call, bool forIncoming);
    void writeLastCall();
    bool step(const QString& where, const std::function<void()>& body);

    MainForm& m_form;
};
