#include "LineTypes.h"

#include <QStringList>

#include <utility>

namespace {

using NamedBit = std::pair<qint32, const char*>;

QString bitNames(qint32 value, std::initializer_list<NamedBit> names)
{
    QStringList parts;
    qint32 rest = value;
    for (const auto& [bit, name] : names) {
        if (value & bit) {
            parts << QString::fromLatin1(name);
            rest &= ~bit;
        }
    }
    if (rest != 0)
        parts << QStringLiteral("0x%1").arg(quint32(rest), 0, 16);
    return parts.isEmpty() ? QStringLiteral("0") : parts.join(QLatin1Char('|'));
}

QString exactName(qint32 value, std::initializer_list<NamedBit> names)
{
    for (const auto& [bit, name] : names)
        if (value == bit)
            return QString::fromLatin1(name);
    return bitNames(value, names);
}

} // namespace

QString lineValueName(int kind, qint32 value)
{
    switch (kind) {
    case LineValueKind::CallState:
        return exactName(value, {{LineCallState::Idle, "IDLE"},
                                 {LineCallState::Offering, "OFFERING"},
                                 {LineCallState::Accepted, "ACCEPTED"},
                                 {LineCallState::Dialtone, "DIALTONE"},
                                 {LineCallState::Dialing, "DIALING"},
                                 {LineCallState::Ringback, "RINGBACK"},
                                 {LineCallState::Busy, "BUSY"},
                                 {LineCallState::SpecialInfo, "SPECIALINFO"},
                                 {LineCallState::Connected, "CONNECTED"},
                                 {LineCallState::Proceeding, "PROCEEDING"},
                                 {LineCallState::OnHold, "ONHOLD"},
                                 {LineCallState::Conferenced, "CONFERENCED"},
                                 {LineCallState::OnHoldPendConf, "ONHOLDPENDCONF"},
                                 {LineCallState::OnHoldPendTransfer, "ONHOLDPENDTRANSFER"},
                                 {LineCallState::Disconnected, "DISCONNECTED"},
                                 {LineCallState::Unknown, "UNKNOWN"}});
    case LineValueKind::CallOrigin:
        return bitNames(value, {{LineCallOrigin::Outbound, "OUTBOUND"},
                                {LineCallOrigin::Internal, "INTERNAL"},
                                {LineCallOrigin::External, "EXTERNAL"},
                                {LineCallOrigin::Unknown, "UNKNOWN"},
                                {LineCallOrigin::Inbound, "INBOUND"}});
    case LineValueKind::CallReason:
        return bitNames(value, {{0x1, "DIRECT"},
                                {0x2, "FWDBUSY"},
                                {0x4, "FWDNOANSWER"},
                                {0x8, "FWDUNCOND"},
                                {0x10, "PICKUP"},
                                {0x20, "UNPARK"},
                                {0x40, "REDIRECT"},
                                {0x80, "CALLCOMPLETION"},
                                {0x100, "TRANSFER"},
                                {0x200, "REMINDER"},
                                {0x400, "UNKNOWN"}});
    case LineValueKind::CallFeatures:
        return bitNames(value, {{LineCallFeature::Accept, "ACCEPT"},
                                {0x2, "ADDTOCONF"},
                                {LineCallFeature::Answer, "ANSWER"},
                                {0x8, "BLINDTRANSFER"},
                                {LineCallFeature::Dial, "DIAL"},
                                {LineCallFeature::Drop, "DROP"}});
    case LineValueKind::CallPrivilege:
        return bitNames(value, {{LinePrivilege::None, "NONE"},
                                {LinePrivilege::Monitor, "MONITOR"},
                                {LinePrivilege::Owner, "OWNER"}});
    default:
        return QString::number(value);
    }
}

QString lineResultText(qint32 result)
{
    switch (result) {
    case LineResult::Ok:
        return QStringLiteral("success");
    case LineResult::BadDeviceId:
        return QStringLiteral("no such line device");
    case LineResult::NotOpen:
        return QStringLiteral("the line is not open");
    case LineResult::InvalidCallId:
        return QStringLiteral("no such call on this line");
    case LineResult::OperationUnavailable:
        return QStringLiteral("the line cannot do that");
    case LineResult::NotInitialised:
        return QStringLiteral("telephony is not initialised");
    case LineResult::ResourceUnavailable:
        return QStringLiteral("the line source is not available");
    default:
        return QStringLiteral("line error %1").arg(result);
    }
}
