#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

// Values of the telephony world as the line monitor sees them. The numbers are
// those of the Telephony API, which every line source maps onto.
namespace LineCallState {
enum : qint32
{
    Idle = 0x1,
    Offering = 0x2,
    Accepted = 0x4,
    Dialtone = 0x8,
    Dialing = 0x10,
    Ringback = 0x20,
    Busy = 0x40,
    SpecialInfo = 0x80,
    Connected = 0x100,
    Proceeding = 0x200,
    OnHold = 0x400,
    Conferenced = 0x800,
    OnHoldPendConf = 0x1000,
    OnHoldPendTransfer = 0x2000,
    Disconnected = 0x4000,
    Unknown = 0x8000,
};
}

namespace LineMediaMode {
enum : qint32
{
    Unknown = 0x2,
    InteractiveVoice = 0x4,
    AutomatedVoice = 0x8,
    DataModem = 0x10,
};
}

namespace LinePrivilege {
enum : qint32
{
    None = 0x1,
    Monitor = 0x2,
    Owner = 0x4,
};
}

namespace LineCallFeature {
enum : qint32
{
    Accept = 0x1,
    Answer = 0x4,
    Dial = 0x40,
    Drop = 0x80,
};
}

namespace LineDeviceFeature {
enum : qint32
{
    CanDial = 0x8,
};
}

namespace LineCallOrigin {
enum : qint32
{
    Outbound = 0x1,
    Internal = 0x2,
    External = 0x4,
    Unknown = 0x10,
    Inbound = 0x80,
};
}

// Field numbers of getCallRelevantInfos.
namespace CallInfoField {
enum : int
{
    CallState = 1,
    CallerId = 2,
    ConnectedId = 3,
    ConnectedIdName = 4,
    RedirectionId = 5,
    CalledId = 6,
    RedirectingId = 7,
    Trunk = 8,
    CallOrigin = 9,
    CallReason = 10,
    CallerIdName = 11,
    CallId = 12,
    RelatedCallId = 13,
    CallFeatures = 14,
    CallFeatures2 = 15,
    CallPrivilege = 16,
    CallData = 17,
    AddressId = 18,
    ChargeInfo = 19,
    NumMonitors = 20,
    NumOwners = 21,
    AppSpecific = 22,
};
}

// Kinds of getStrFromValue.
namespace LineValueKind {
enum : int
{
    CallState = 1,
    CallOrigin = 2,
    CallReason = 3,
    CallFeatures = 4,
    CallPrivilege = 5,
};
}

// One notification of the line callback. Field names follow the position of the
// callback argument they stand for.
struct LineNotification
{
    enum Kind : int
    {
        CallState = 1,
        CallerId = 2,
        CalledId = 3
    };

    int kind = CallState;
    qint32 device = 0;      // 1st
    qint32 callHandle = 0;  // 3rd
    qint32 state = 0;       // 4th (call state notifications)
    qint32 stateDetail = 0; // 5th
    qint32 arg6 = 0;        // 6th
    qint32 callId = 0;      // 7th
    qint32 arg8 = 0;        // 8th
    QString number;         // 9th: caller or called number
    QString name;           // 10th: caller or called name
};

using LineCallback = std::function<void(const LineNotification&)>;

// Return codes of the line operations.
namespace LineResult {
enum : qint32
{
    Ok = 0,
    BadDeviceId = -2,
    NotOpen = -3,
    InvalidCallId = -4,
    OperationUnavailable = -5,
    NotInitialised = -6,
    ResourceUnavailable = -7,
};
}

QString lineValueName(int kind, qint32 value);
QString lineResultText(qint32 result);
