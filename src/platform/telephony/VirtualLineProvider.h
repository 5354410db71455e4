#pragma once

#include "../Result.h"
#include "LineCallTable.h"
#include "LineProvider.h"

#include <QHash>
#include <QMap>
#include <QStringList>

// Telephone lines that exist only in the program: always present, able to
// answer, drop and dial. Tests, the call simulation and users (through the
// control channel and phonavo-line) ring them.
class VirtualLineProvider : public LineProvider
{
    Q_OBJECT
public:
    static constexpr int kMaxNumberLength = 4096;

    explicit VirtualLineProvider(QStringList deviceNames, QObject* parent = nullptr);

    QString providerName() const override { return QStringLiteral("virtual"); }
    void start(NotifyFn notify, CallIdFn newCallId) override;
    void stop() override;

    int deviceCount() const override { return int(m_names.size()); }
    QString deviceName(int device) const override;
    qint32 mediaModes(int device) const override;
    qint32 open(int device, qint32 mediaMode, qint32 privileges) override;
    void close(int device) override;
    QString callInfo(int device, qint32 callHandle, int field) const override;
    qint32 answer(int device, qint32 callId) override;
    qint32 drop(int device, qint32 callId) override;
    qint32 dial(int device, const QString& number) override;
    qint32 activeCallFeatures(int device, qint32 callId) const override;
    qint32 advancedFeatures(int device) const override;

    // Driving calls. Device numbers are this provider's own.
    Result<qint32> ring(int device, const QString& caller, const QString& called,
                        const QString& callerName = QString());
    Result<qint32> dialOut(int device, const QString& number);
    Result<bool> setCallerId(qint32 callId, const QString& number, const QString& name);
    Result<bool> setCalledId(qint32 callId, const QString& number, const QString& name);
    Result<bool> answerCall(qint32 callId);
    Result<bool> hangup(qint32 callId);
    Result<bool> setState(qint32 callId, qint32 state);

    bool hasCall(qint32 callId) const { return m_calls.live(callId) != nullptr; }
    int deviceOfCall(qint32 callId) const;
    QList<qint32> callIds() const { return m_calls.liveCallIds(); }

private:
    Result<bool> checkNumber(const QString& number) const;
    void changeState(qint32 callId, qint32 state);
    static qint32 featuresFor(qint32 state);

    QStringList m_names;
    LineCallTable m_calls;
    CallIdFn m_newCallId;
};
