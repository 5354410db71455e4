#pragma once

#include "CDevice.h"

#include <QList>

#include <memory>

using DevicePtr = std::shared_ptr<CDevice>;

// The line devices the wrapper reported, keyed "K" + device id, in order.
class ColDevices
{
public:
    static constexpr int kMaxMonitored = 20;

    DevicePtr Add(qint32 deviceId, const QString& deviceName);
    DevicePtr Item(qint32 deviceId) const; // throws PhonavoError when absent
    DevicePtr find(qint32 deviceId) const; // nullptr when absent
    int Count() const { return int(m_devices.size()); }
    void Remove(qint32 deviceId);
    void Clear();
    const QList<DevicePtr>& NewEnum() const { return m_devices; }

    int monitoredCount() const;

private:
    QList<DevicePtr> m_devices;
};
