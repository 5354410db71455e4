#pragma once

#include "CCall.h"

#include <QList>
#include <QString>

#include <memory>
#include <utility>

using CallPtr = std::shared_ptr<CCall>;

// The calls going on right now, keyed "K" + call id, in the order they came,
// plus the aliases that link a second report of a call to its first record.
class ColCalls
{
public:
    static constexpr qint64 kRepeatWindowMs = 10'000;

    void setCallStore(CallStore* store) { m_store = store; }
    void setPopupFactory(CallPopupFactory* popups) { m_popups = popups; }

    CallPtr Add(qint32 callId); // throws PhonavoError on a duplicate id
    CallPtr Item(qint32 callId);
    // The record for a call that starts now: a record of this id still marked
    // connected belongs to an earlier call, which is saved and removed first.
    CallPtr ItemForNewCall(qint32 callId);
    int Count() const { return int(m_calls.size()); }
    void Remove(qint32 callId);
    CallPtr Find(const QString& callerNumber, const QString& calledNumber, qint32 newCallId);
    const QList<CallPtr>& NewEnum() const { return m_calls; }
    bool contains(qint32 callId) const;

    // Aliases in their order: (key of the first record, key of the second report).
    const QList<std::pair<QString, QString>>& aliases() const { return m_aliases; }

    static QString key(qint32 callId) { return QLatin1Char('K') + QString::number(callId); }

private:
    int indexOf(const QString& key) const;

    QList<CallPtr> m_calls;
    QList<std::pair<QString, QString>> m_aliases;
    CallStore* m_store = nullptr;
    CallPopupFactory* m_popups = nullptr;
};
