#include "VirtualLineProvider.h"

VirtualLineProvider::VirtualLineProvider(QStringList deviceNames, QObject* parent)
    : LineProvider(parent), m_names(std::move(deviceNames))
{}

void VirtualLineProvider::start(NotifyFn notify, CallIdFn newCallId)
{
    m_calls.setNotify(std::move(notify));
    m_newCallId = std::move(newCallId);
}

void VirtualLineProvider::stop()
{
    m_calls.setNotify(nullptr);
    m_calls.clear();
}

QString VirtualLineProvider::deviceName(int device) const
{
    return device >= 0 && device < m_names.size() ? m_names.at(device) : QString();
}

qint32 VirtualLineProvider::mediaModes(int device) const
{
    if (device < 0 || device >= m_names.size())
        return 0;
    return LineMediaMode::InteractiveVoice | LineMediaMode::AutomatedVoice |
           LineMediaMode::DataModem;
}

qint32 VirtualLineProvider::open(int device, qint32 mediaMode, qint32 privileges)
{
    Q_UNUSED(mediaMode);
    Q_UNUSED(privileges);
    return device >= 0 && device < m_names.size() ? LineResult::Ok : LineResult::BadDeviceId;
}

void VirtualLineProvider::close(int device)
{
    Q_UNUSED(device);
}

QString VirtualLineProvider::callInfo(int device, qint32 callHandle, int field) const
{
    return m_calls.field(device, callHandle, field);
}

qint32 VirtualLineProvider::answer(int device, qint32 callId)
{
    if (deviceOfCall(callId) != device)
        return LineResult::InvalidCallId;
    return answerCall(callId) ? LineResult::Ok : LineResult::OperationUnavailable;
}

qint32 VirtualLineProvider::drop(int device, qint32 callId)
{
    if (deviceOfCall(callId) != device)
        return LineResult::InvalidCallId;
    return hangup(callId) ? LineResult::Ok : LineResult::OperationUnavailable;
}

qint32 VirtualLineProvider::dial(int device, const QString& number)
{
    const auto result = dialOut(device, number);
    if (!result)
        return device >= 0 && device < m_names.size() ? LineResult::OperationUnavailable
                                                      : LineResult::BadDeviceId;
    return LineResult::Ok;
}

qint32 VirtualLineProvider::activeCallFeatures(int device, qint32 callId) const
{
    const LineCallTable::Call* call = m_calls.live(callId);
    if (!call || call->device != device)
        return 0;
    return featuresFor(call->state);
}

qint32 VirtualLineProvider::advancedFeatures(int device) const
{
    return device >= 0 && device < m_names.size() ? qint32(LineDeviceFeature::CanDial) : 0;
}

int VirtualLineProvider::deviceOfCall(qint32 callId) const
{
    const LineCallTable::Call* call = m_calls.live(callId);
    return call ? call->device : -1;
}

Result<bool> VirtualLineProvider::checkNumber(const QString& number) const
{
    if (number.size() > kMaxNumberLength)
        return Result<bool>::fail(
            QStringLiteral("number is longer than %1 characters").arg(kMaxNumberLength));
    return Result<bool>::ok(true);
}

Result<qint32> VirtualLineProvider::ring(int device, const QString& caller, const QString& called,
                                         const QString& callerName)
{
    if (device < 0 || device >= m_names.size())
        return Result<qint32>::fail(QStringLiteral("no virtual line %1").arg(device));
    for (const QString* text : {&caller, &called, &callerName})
        if (auto check = checkNumber(*text); !check)
            return Result<qint32>::fail(check.error());
    if (!m_newCallId)
        return Result<qint32>::fail(QStringLiteral("telephony is not initialised"));
    const qint32 callId = m_newCallId();
    m_calls.add(callId, device,
                {{CallInfoField::CallerId, caller},
                 {CallInfoField::CallerIdName, callerName},
                 {CallInfoField::CalledId, called},
                 {CallInfoField::CallOrigin,
                  QString::number(LineCallOrigin::External | LineCallOrigin::Inbound)},
                 {CallInfoField::CallPrivilege, QString::number(LinePrivilege::Owner)}});
    changeState(callId, LineCallState::Offering);
    return Result<qint32>::ok(callId);
}

Result<qint32> VirtualLineProvider::dialOut(int device, const QString& number)
{
    if (device < 0 || device >= m_names.size())
        return Result<qint32>::fail(QStringLiteral("no virtual line %1").arg(device));
    if (auto check = checkNumber(number); !check)
        return Result<qint32>::fail(check.error());
    if (number.trimmed().isEmpty())
        return Result<qint32>::fail(QStringLiteral("no number to dial"));
    if (!m_newCallId)
        return Result<qint32>::fail(QStringLiteral("telephony is not initialised"));
    const qint32 callId = m_newCallId();
    m_calls.add(callId, device,
                {{CallInfoField::CalledId, number.trimmed()},
                 {CallInfoField::CallOrigin, QString::number(LineCallOrigin::Outbound)},
                 {CallInfoField::CallPrivilege, QString::number(LinePrivilege::Owner)}});
    changeState(callId, LineCallState::Dialing);
    changeState(callId, LineCallState::Ringback);
    return Result<qint32>::ok(callId);
}

Result<bool> VirtualLineProvider::setCallerId(qint32 callId, const QString& number,
                                              const QString& name)
{
    if (!hasCall(callId))
        return Result<bool>::fail(QStringLiteral("no call %1").arg(callId));
    for (const QString* text : {&number, &name})
        if (auto check = checkNumber(*text); !check)
            return check;
    m_calls.setField(callId, CallInfoField::CallerId, number);
    if (!name.isEmpty())
        m_calls.setField(callId, CallInfoField::CallerIdName, name);
    m_calls.notifyIdentity(callId, LineNotification::CallerId, number, name);
    return Result<bool>::ok(true);
}

Result<bool> VirtualLineProvider::setCalledId(qint32 callId, const QString& number,
                                              const QString& name)
{
    if (!hasCall(callId))
        return Result<bool>::fail(QStringLiteral("no call %1").arg(callId));
    for (const QString* text : {&number, &name})
        if (auto check = checkNumber(*text); !check)
            return check;
    m_calls.setField(callId, CallInfoField::CalledId, number);
    m_calls.notifyIdentity(callId, LineNotification::CalledId, number, name);
    return Result<bool>::ok(true);
}

Result<bool> VirtualLineProvider::answerCall(qint32 callId)
{
    const LineCallTable::Call* call = m_calls.live(callId);
    if (!call)
        return Result<bool>::fail(QStringLiteral("no call %1").arg(callId));
    if (call->state == LineCallState::Connected)
        return Result<bool>::fail(QStringLiteral("call %1 is already connected").arg(callId));
    changeState(callId, LineCallState::Connected);
    return Result<bool>::ok(true);
}

Result<bool> VirtualLineProvider::hangup(qint32 callId)
{
    if (!hasCall(callId))
        return Result<bool>::fail(QStringLiteral("no call %1").arg(callId));
    changeState(callId, LineCallState::Idle);
    return Result<bool>::ok(true);
}

Result<bool> VirtualLineProvider::setState(qint32 callId, qint32 state)
{
    if (!hasCall(callId))
        return Result<bool>::fail(QStringLiteral("no call %1").arg(callId));
    if (state <= 0)
        return Result<bool>::fail(QStringLiteral("%1 is not a call state").arg(state));
    changeState(callId, state);
    return Result<bool>::ok(true);
}

qint32 VirtualLineProvider::featuresFor(qint32 state)
{
    switch (state) {
    case LineCallState::Offering:
    case LineCallState::Accepted:
        return LineCallFeature::Answer | LineCallFeature::Accept | LineCallFeature::Drop;
    case LineCallState::Idle:
        return 0;
    default:
        return LineCallFeature::Drop;
    }
}

void VirtualLineProvider::changeState(qint32 callId, qint32 state)
{
    m_calls.changeState(callId, state, featuresFor(state));
}
