#pragma once

#include "CMSN.h"

#include <QList>

#include <memory>

class SettingsStore;

using MSNPtr = std::shared_ptr<CMSN>;

// The clients that hear about calls of one own number, worked out once so that
// a broadcast asks per client without making a string.
class MsnRecipients
{
public:
    bool admits(const ClientAddress& client) const;

private:
    friend class ColMSNs;
    static bool listed(const QStringList& items, const QString& item);
    bool m_everyone = false;
    QList<QStringList> m_lists; // each covering entry's clients, lower-cased, split at ";"
};

// The own-number table, addressed by position (1 to Count).
class ColMSNs
{
public:
    static constexpr const char* kSettingsKey = "Options\\MSNs";

    MSNPtr Add(const QString& name);
    MSNPtr AddItem(MSNPtr entry);
    MSNPtr Item(int position) const; // nullptr outside 1..Count
    int Count() const { return int(m_entries.size()); }
    void Remove(int position);
    void Clear() { m_entries.clear(); }
    const QList<MSNPtr>& NewEnum() const { return m_entries; }

    void Load(const SettingsStore& settings);
    void Save(SettingsStore& settings) const;

    // The entry for exactly this number, or a new unlisted entry for it.
    MSNPtr FindMSN(const QString& calledNumber, const QString& ip = QString()) const;
    bool ClientGetsNotification(const QString& number, const ClientAddress& client) const;
    MsnRecipients recipientsOf(const QString& number) const;
    // The name for a called number; defaultName (or the number) when nothing fits.
    // defaultEntryName is the translated name of the built-in default entry.
    QString nameForMSN(const QString& number, const QString& defaultEntryName,
                       const QString* defaultName = nullptr) const;

private:
    QList<MSNPtr> m_entries;
};
