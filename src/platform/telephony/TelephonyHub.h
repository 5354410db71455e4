#pragma once

#include "LineProvider.h"
#include "TelephonyWrapper.h"

#include <QObject>
#include <QSet>
#include <QTimer>

#include <deque>
#include <memory>
#include <vector>

// The TelephonyWrapper the program uses: it joins the devices of several line
// providers into one numbering, hands out call ids that are unique across them,
// forwards notifications only for opened lines, and delivers them one by one
// from the event loop in the order they were reported.
class TelephonyHub : public QObject, public TelephonyWrapper
{
    Q_OBJECT
public:
    using ProviderFactory = std::function<std::vector<std::unique_ptr<LineProvider>>()>;

    explicit TelephonyHub(ProviderFactory factory, QObject* parent = nullptr);
    ~TelephonyHub() override;

    qint32 TapiLineInitEx(const QString& appName, LineCallback callback,
                          qint32& deviceCount) override;
    qint32 getMediaModes(qint32 device) override;
    QString getDeviceName(qint32 device) override;
    qint32 TapiLineOpen(qint32 device, qint32 mediaMode, qint32 privileges) override;
    qint32 TapiLineClose(qint32 device) override;
    void TapiLineShutDown() override;
    QString getCallRelevantInfos(qint32 device, qint32 callHandle, int field) override;
    qint32 TapiLineAnswer(qint32 device, qint32 callId) override;
    qint32 TapiLineDrop(qint32 device, qint32 callId) override;
    qint32 TapiLineDial(qint32 device, const QString& number) override;
    qint32 getActiveCallFeatures(qint32 device, qint32 callId) override;
    qint32 getAdvancedFeatures(qint32 device) override;
    qint32 getDeviceIdFromName(const QString& deviceName) override;

    bool isInitialised() const { return m_initialised; }
    bool isOpen(qint32 device) const { return m_open.contains(device); }
    int deviceCount() const;
    bool hasPendingNotifications() const { return !m_pending.empty(); }

    // The provider of a device and its number there; nullptr for a bad number.
    LineProvider* providerOf(qint32 device, int* localDevice = nullptr) const;
    // The wrapper's number of a provider's device, or -1.
    qint32 globalDevice(const LineProvider* provider, int localDevice) const;
    template <typename P> P* findProvider() const
    {
        for (const auto& p : m_providers)
            if (auto* typed = qobject_cast<P*>(p.get()))
                return typed;
        return nullptr;
    }

    // A fresh call id; also for calls that plug-ins report, so no two calls share one.
    qint32 nextCallId();

signals:
    // Emitted after each notification of an opened line was delivered.
    void notificationDelivered(const LineNotification& notification);

private:
    void enqueue(const LineProvider* provider, LineNotification notification);
    void deliverPending();

    ProviderFactory m_factory;
    std::vector<std::unique_ptr<LineProvider>> m_providers;
    std::vector<int> m_offsets; // first global device number of each provider
    LineCallback m_callback;
    QSet<qint32> m_open;
    std::deque<LineNotification> m_pending;
    QTimer m_deliveryTimer;
    qint32 m_lastCallId = 1; // 0 and 1 are never line call ids
    bool m_initialised = false;
};
