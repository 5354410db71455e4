#include "ColDevices.h"

#include "core/log/ErrorReport.h"

DevicePtr ColDevices::Add(qint32 deviceId, const QString& deviceName)
{
    if (find(deviceId))
        PHONAVO_THROW(QStringLiteral("Device K%1 is already in the list").arg(deviceId));
    auto device = std::make_shared<CDevice>();
    device->DeviceName = deviceName.trimmed();
    device->lDeviceID = deviceId;
    m_devices.append(device);
    return device;
}

DevicePtr ColDevices::find(qint32 deviceId) const
{
    for (const auto& device : m_devices)
        if (device->lDeviceID == deviceId)
            return device;
    return nullptr;
}

DevicePtr ColDevices::Item(qint32 deviceId) const
{
    DevicePtr device = find(deviceId);
    if (!device)
        PHONAVO_THROW(QStringLiteral("No device K%1").arg(deviceId));
    return device;
}

void ColDevices::Remove(qint32 deviceId)
{
    for (int i = 0; i < m_devices.size(); ++i)
        if (m_devices[i]->lDeviceID == deviceId) {
            m_devices.removeAt(i);
            return;
        }
}

void ColDevices::Clear()
{
    while (!m_devices.isEmpty())
        m_devices.removeFirst();
}

int ColDevices::monitoredCount() const
{
    int count = 0;
    for (const auto& device : m_devices)
        if (device->bMonitor && !device->isPseudoDevice())
            ++count;
    return count;
}
