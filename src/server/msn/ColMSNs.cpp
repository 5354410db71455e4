#include "ColMSNs.h"

#include "shell/settings/SettingsStore.h"

namespace {

bool listContains(const QString& list, const QString& item)
{
    return QString(QLatin1Char(';') + list + QLatin1Char(';'))
        .contains(QString(QLatin1Char(';') + item + QLatin1Char(';')));
}

QString norm(const QString& text)
{
    return text.trimmed().toLower();
}

} // namespace

MSNPtr ColMSNs::Add(const QString& name)
{
    auto entry = std::make_shared<CMSN>();
    entry->Name = name;
    m_entries.append(entry);
    return entry;
}

MSNPtr ColMSNs::AddItem(MSNPtr entry)
{
    m_entries.append(entry);
    return entry;
}

MSNPtr ColMSNs::Item(int position) const
{
    if (position < 1 || position > m_entries.size())
        return nullptr;
    return m_entries[position - 1];
}

void ColMSNs::Remove(int position)
{
    if (position >= 1 && position <= m_entries.size())
        m_entries.removeAt(position - 1);
}

void ColMSNs::Load(const SettingsStore& settings)
{
    Clear();
    const QString base = SettingsStore::rootKey() + QLatin1Char('\\') + QLatin1String(kSettingsKey);
    const QStringList names = settings.RegEnumKeys(SettingsStore::Hive::CurrentUser, base);
    for (int i = 1; i < names.size(); ++i) {
        const QString sub = QLatin1String(kSettingsKey) + QLatin1Char('\\') + names[i];
        MSNPtr entry = Add(names[i]);
        entry->MSN = settings.GetSettingHKCU(sub, QStringLiteral("MSN"), QString()).toString();
        entry->Clients =
            settings.GetSettingHKCU(sub, QStringLiteral("Clients"), QString()).toString();
    }
}

void ColMSNs::Save(SettingsStore& settings) const
{
    const QString base = SettingsStore::rootKey() + QLatin1Char('\\') + QLatin1String(kSettingsKey);
    const QStringList existing = settings.RegEnumKeys(SettingsStore::Hive::CurrentUser, base);
    for (int i = 1; i < existing.size(); ++i)
        settings.RegDeleteSubKey(SettingsStore::Hive::CurrentUser, base, existing[i]);
    for (const MSNPtr& entry : m_entries) {
        if (entry->Name.isEmpty())
            continue;
        const QString sub = QLatin1String(kSettingsKey) + QLatin1Char('\\') + entry->Name;
        settings.SaveSettingHKCU(sub, QStringLiteral("MSN"), entry->MSN);
        settings.SaveSettingHKCU(sub, QStringLiteral("Clients"), entry->Clients);
    }
}

MSNPtr ColMSNs::FindMSN(const QString& calledNumber, const QString& ip) const
{
    for (const MSNPtr& entry : m_entries)
        if (entry->MSN == calledNumber)
            return entry;
    auto made = std::make_shared<CMSN>();
    made->Name = calledNumber;
    made->MSN = calledNumber;
    made->Clients = ip;
    return made;
}

bool ColMSNs::ClientGetsNotification(const QString& number, const ClientAddress& client) const
{
    return recipientsOf(number).admits(client);
}

MsnRecipients ColMSNs::recipientsOf(const QString& number) const
{
    MsnRecipients recipients;
    const QString k = norm(number);
    for (const MSNPtr& entry : m_entries) {
        const QString m = norm(entry->MSN);
        if (m != QLatin1String("*") && !listContains(m, k))
            continue;
        const QString l = norm(entry->Clients);
        if (l == QLatin1String("*")) {
            recipients.m_everyone = true;
            recipients.m_lists.clear();
            break;
        }
        recipients.m_lists.append(l.split(QLatin1Char(';')));
    }
    return recipients;
}

bool MsnRecipients::listed(const QStringList& items, const QString& item)
{
    // ";" + list + ";" containing ";" + item + ";" is the item being one of
    // the list's parts, unless the item itself holds a ";".
    if (item.contains(QLatin1Char(';')))
        return listContains(items.join(QLatin1Char(';')), norm(item));
    const QStringView wanted = QStringView(item).trimmed();
    for (const QString& listedItem : items)
        if (listedItem.size() == wanted.size() &&
            QStringView(listedItem).compare(wanted, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool MsnRecipients::admits(const ClientAddress& client) const
{
    if (m_everyone)
        return true;
    for (const QStringList& items : m_lists)
        if (listed(items, client.IP) || listed(items, client.HostName))
            return true;
    return false;
}

QString ColMSNs::nameForMSN(const QString& number, const QString& defaultEntryName,
                            const QString* defaultName) const
{
    const QString n = norm(number);
    for (const MSNPtr& entry : m_entries)
        if (norm(entry->MSN) == n)
            return entry->Name;
    for (const MSNPtr& entry : m_entries)
        if (entry->MSN.trimmed() == QLatin1String("*") && entry->Name != defaultEntryName)
            return entry->Name;
    return defaultName ? *defaultName : number;
}
