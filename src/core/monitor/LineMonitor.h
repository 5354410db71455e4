#pragma once

#include "platform/telephony/LineTypes.h"

#include <QString>

#include <memory>

class CDevice;
class MainForm;

// Turns the telephony wrapper's notifications into call records and hands new
// calls to the call handling; builds the device list and opens the lines.
class LineMonitor
{
public:
    explicit LineMonitor(MainForm& form) : m_form(form) {}

    void initTelephony();
    void openMonitoredLines();
    void closeMonitoredLines();
    bool start();
    // askFirst: the Stop button asks before dropping connected clients;
    // standby and unloading do not (nobody may be there to answer).
    bool stop(bool askFirst = true);

    void onNotification(const LineNotification& n);
    void onCallState(qint32 device, qint32 callHandle, qint32 state, qint32 callId);
    void onCallerId(qint32 device, qint32 callHandle, qint32 callId, const QString& number,
                    const QString& name);
    void onCalledId(qint32 callId, const QString& number, const QString& name);
    void dumpCallInfo(qint32 device, qint32 callHandle);

    // Longest number a line may report before it is cut (guards the log and store).
    static constexpr int kMaxNumberLength = 128;

private:
    QString lineText(qint32 device, qint32 callHandle, int field, qint32 callId);
    std::shared_ptr<CDevice> deviceFor(qint32 deviceId);
    void logAlreadyInQueue(qint32 callId, const class CCall& found);

    MainForm& m_form;
};
