#include "TelephonyHub.h"

#include <limits>

TelephonyHub::TelephonyHub(ProviderFactory factory, QObject* parent)
    : QObject(parent), m_factory(std::move(factory))
{
    m_deliveryTimer.setSingleShot(true);
    m_deliveryTimer.setInterval(0);
    connect(&m_deliveryTimer, &QTimer::timeout, this, &TelephonyHub::deliverPending);
}

TelephonyHub::~TelephonyHub()
{
    TapiLineShutDown();
}

qint32 TelephonyHub::TapiLineInitEx(const QString& appName, LineCallback callback,
                                    qint32& deviceCount)
{
    Q_UNUSED(appName);
    TapiLineShutDown();
    m_callback = std::move(callback);
    m_providers = m_factory ? m_factory() : std::vector<std::unique_ptr<LineProvider>>{};
    int offset = 0;
    for (auto& provider : m_providers) {
        m_offsets.push_back(offset);
        LineProvider* raw = provider.get();
        provider->start([this, raw](const LineNotification& n) { enqueue(raw, n); },
                        [this] { return nextCallId(); });
        offset += provider->deviceCount();
    }
    m_initialised = true;
    deviceCount = offset;
    return LineResult::Ok;
}

void TelephonyHub::TapiLineShutDown()
{
    m_deliveryTimer.stop();
    m_pending.clear();
    m_open.clear();
    for (auto& provider : m_providers)
        provider->stop();
    m_providers.clear();
    m_offsets.clear();
    m_initialised = false;
}

int TelephonyHub::deviceCount() const
{
    int count = 0;
    for (const auto& provider : m_providers)
        count += provider->deviceCount();
    return count;
}

LineProvider* TelephonyHub::providerOf(qint32 device, int* localDevice) const
{
    if (device < 0)
        return nullptr;
    for (size_t i = 0; i < m_providers.size(); ++i) {
        const int local = device - m_offsets[i];
        if (local >= 0 && local < m_providers[i]->deviceCount()) {
            if (localDevice)
                *localDevice = local;
            return m_providers[i].get();
        }
    }
    return nullptr;
}

qint32 TelephonyHub::globalDevice(const LineProvider* provider, int localDevice) const
{
    for (size_t i = 0; i < m_providers.size(); ++i)
        if (m_providers[i].get() == provider && localDevice >= 0 &&
            localDevice < provider->deviceCount())
            return m_offsets[i] + localDevice;
    return -1;
}

qint32 TelephonyHub::getMediaModes(qint32 device)
{
    int local = 0;
    LineProvider* p = providerOf(device, &local);
    return p ? p->mediaModes(local) : 0;
}

QString TelephonyHub::getDeviceName(qint32 device)
{
    int local = 0;
    LineProvider* p = providerOf(device, &local);
    return p ? p->deviceName(local) : QString();
}

qint32 TelephonyHub::TapiLineOpen(qint32 device, qint32 mediaMode, qint32 privileges)
{
    int local = 0;
    LineProvider* p = providerOf(device, &local);
    if (!p)
        return LineResult::BadDeviceId;
    const qint32 result = p->open(local, mediaMode, privileges);
    if (result == LineResult::Ok)
        m_open.insert(device);
    return result;
}

qint32 TelephonyHub::TapiLineClose(qint32 device)
{
    int local = 0;
    LineProvider* p = providerOf(device, &local);
    if (!p)
        return LineResult::BadDeviceId;
    m_open.remove(device);
    p->close(local);
    return LineResult::Ok;
}

QString TelephonyHub::getCallRelevantInfos(qint32 device, qint32 callHandle, int field)
{
    int local = 0;
    LineProvider* p = providerOf(device, &local);
    return p ? p->callInfo(local, callHandle, field).trimmed() : QString();
}

qint32 TelephonyHub::TapiLineAnswer(qint32 device, qint32 callId)
{
    int local = 0;
    LineProvider* p = providerOf(device, &local);
    return p ? p->answer(local, callId) : LineResult::BadDeviceId;
}

qint32 TelephonyHub::TapiLineDrop(qint32 device, qint32 callId)
{
    int local = 0;
    LineProvider* p = providerOf(device, &local);
    return p ? p->drop(local, callId) : LineResult::BadDeviceId;
}

qint32 TelephonyHub::TapiLineDial(qint32 device, const QString& number)
{
    int local = 0;
    LineProvider* p = providerOf(device, &local);
    return p ? p->dial(local, number) : LineResult::BadDeviceId;
}

qint32 TelephonyHub::getActiveCallFeatures(qint32 device, qint32 callId)
{
    int local = 0;
    LineProvider* p = providerOf(device, &local);
    return p ? p->activeCallFeatures(local, callId) : 0;
}

qint32 TelephonyHub::getAdvancedFeatures(qint32 device)
{
    int local = 0;
    LineProvider* p = providerOf(device, &local);
    return p ? p->advancedFeatures(local) : 0;
}

qint32 TelephonyHub::getDeviceIdFromName(const QString& deviceName)
{
    const QString wanted = deviceName.trimmed();
    const int count = deviceCount();
    for (int device = 0; device < count; ++device)
        if (getDeviceName(device).trimmed() == wanted)
            return device;
    return -1;
}

void TelephonyHub::enqueue(const LineProvider* provider, LineNotification notification)
{
    for (size_t i = 0; i < m_providers.size(); ++i) {
        if (m_providers[i].get() != provider)
            continue;
        notification.device += m_offsets[i];
        m_pending.push_back(std::move(notification));
        if (!m_deliveryTimer.isActive())
            m_deliveryTimer.start();
        return;
    }
}

void TelephonyHub::deliverPending()
{
    // One notification per event-loop turn keeps the order and lets socket
    // events and timers in between run, as a real line driver would.
    if (m_pending.empty())
        return;
    const LineNotification n = std::move(m_pending.front());
    m_pending.pop_front();
    if (!m_pending.empty())
        m_deliveryTimer.start();
    if (!m_open.contains(n.device))
        return;
    if (m_callback)
        m_callback(n);
    emit notificationDelivered(n);
}

qint32 TelephonyHub::nextCallId()
{
    if (m_lastCallId >= std::numeric_limits<qint32>::max() - 1)
        m_lastCallId = 1;
    return ++m_lastCallId;
}
