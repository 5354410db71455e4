#include "VirtualLineProvider.h"

VirtualLineProvider::VirtualLineProvider(QStringList deviceNames, QObject* parent)
    : LineProvider(parent), m_names(std::move(deviceNames))
{}

void VirtualLineProvider::start(NotifyFn notify, CallIdFn newCallId)
{
    m_notify = std::move(notify);
    m_newCallId = std::move(newCallId);
}

void VirtualLineProvider::stop()
{
    m_notify = nullptr;
    m_calls.clear();
    m_ended.clear();
    m_endedOrder.clear();
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
    auto it = m_calls.constFind(callHandle);
    if (it == m_calls.constEnd()) {
        it = m_ended.constFind(callHandle);
        if (it == m_ended.constEnd())
            return QString();
    }
    return it->device == device ? it->fields.value(field) : QString();
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
    const auto it = m_calls.constFind(callId);
    if (it == m_calls.constEnd() || it->device != device)
        return 0;
    return featuresFor(it->state);
}

qint32 VirtualLineProvider::advancedFeatures(int device) const
{
    return device >= 0 && device < m_names.size() ? qint32(LineDeviceFeature::CanDial) : 0;
}

int VirtualLineProvider::deviceOfCall(qint32 callId) const
{
    const auto it = m_calls.constFind(callId);
    return it == m_calls.constEnd() ? -1 : it->device;
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
    VirtualCall call;
    call.device = device;
    call.fields[CallInfoField::CallerId] = caller;
    call.fields[CallInfoField::CallerIdName] = callerName;
    call.fields[CallInfoField::CalledId] = called;
    call.fields[CallInfoField::CallOrigin] =
        QString::number(LineCallOrigin::External | LineCallOrigin::Inbound);
    call.fields[CallInfoField::CallId] = QString::number(callId);
    call.fields[CallInfoField::CallPrivilege] = QString::number(LinePrivilege::Owner);
    m_calls.insert(callId, call);
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
    VirtualCall call;
    call.device = device;
    call.fields[CallInfoField::CalledId] = number.trimmed();
    call.fields[CallInfoField::CallOrigin] = QString::number(LineCallOrigin::Outbound);
    call.fields[CallInfoField::CallId] = QString::number(callId);
    call.fields[CallInfoField::CallPrivilege] = QString::number(LinePrivilege::Owner);
    m_calls.insert(callId, call);
    changeState(callId, LineCallState::Dialing);
    changeState(callId, LineCallState::Ringback);
    return Result<qint32>::ok(callId);
}

Result<bool> VirtualLineProvider::setCallerId(qint32 callId, const QString& number,
                                              const QString& name)
{
    if (!m_calls.contains(callId))
        return Result<bool>::fail(QStringLiteral("no call %1").arg(callId));
    for (const QString* text : {&number, &name})
        if (auto check = checkNumber(*text); !check)
            return check;
    auto& call = m_calls[callId];
    call.fields[CallInfoField::CallerId] = number;
    if (!name.isEmpty())
        call.fields[CallInfoField::CallerIdName] = name;
    notifyIdentity(callId, LineNotification::CallerId, number, name);
    return Result<bool>::ok(true);
}

Result<bool> VirtualLineProvider::setCalledId(qint32 callId, const QString& number,
                                              const QString& name)
{
    if (!m_calls.contains(callId))
        return Result<bool>::fail(QStringLiteral("no call %1").arg(callId));
    for (const QString* text : {&number, &name})
        if (auto check = checkNumber(*text); !check)
            return check;
    m_calls[callId].fields[CallInfoField::CalledId] = number;
    notifyIdentity(callId, LineNotification::CalledId, number, name);
    return Result<bool>::ok(true);
}

Result<bool> VirtualLineProvider::answerCall(qint32 callId)
{
    const auto it = m_calls.constFind(callId);
    if (it == m_calls.constEnd())
        return Result<bool>::fail(QStringLiteral("no call %1").arg(callId));
    if (it->state == LineCallState::Connected)
        return Result<bool>::fail(QStringLiteral("call %1 is already connected").arg(callId));
    changeState(callId, LineCallState::Connected);
    return Result<bool>::ok(true);
}

Result<bool> VirtualLineProvider::hangup(qint32 callId)
{
    if (!m_calls.contains(callId))
        return Result<bool>::fail(QStringLiteral("no call %1").arg(callId));
    changeState(callId, LineCallState::Idle);
    return Result<bool>::ok(true);
}

Result<bool> VirtualLineProvider::setState(qint32 callId, qint32 state)
{
    if (!m_calls.contains(callId))
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
    auto it = m_calls.find(callId);
    if (it == m_calls.end())
        return;
    it->state = state;
    it->fields[CallInfoField::CallState] = QString::number(state);
    it->fields[CallInfoField::CallFeatures] = QString::number(featuresFor(state));
    LineNotification n;
    n.kind = LineNotification::CallState;
    n.device = it->device;
    n.callHandle = callId;
    n.state = state;
    n.callId = callId;
    if (state == LineCallState::Idle) {
        constexpr int kKeptEndedCalls = 256;
        m_ended.insert(callId, *it);
        m_endedOrder.append(callId);
        if (m_endedOrder.size() > kKeptEndedCalls)
            m_ended.remove(m_endedOrder.takeFirst());
        m_calls.erase(it);
    }
    if (m_notify)
        m_notify(n);
}

void VirtualLineProvider::notifyIdentity(qint32 callId, int kind, const QString& number,
                                         const QString& name)
{
    const auto it = m_calls.constFind(callId);
    if (it == m_calls.constEnd() || !m_notify)
        return;
    LineNotification n;
    n.kind = kind;
    n.device = it->device;
    n.callHandle = callId;
    n.callId = callId;
    n.number = number;
    n.name = name;
    m_notify(n);
}
