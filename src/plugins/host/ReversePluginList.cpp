#include "ReversePluginList.h"

#include "PluginCall.h"
#include "PluginCatalog.h"
#include "PluginRegistration.h"
#include "core/controller/MainForm.h"
#include "shell/settings/SettingsStore.h"

namespace {
QString countryKey(const QString& country)
{
    return PluginRegistration::kReverseKey + QLatin1Char('\\') + country;
}

// The number written by the first `digits` digits of m, or -1.
int leadingCode(const QString& m, int digits)
{
    if (m.size() < digits)
        return -1;
    bool ok = false;
    const int code = m.left(digits).toInt(&ok);
    return ok ? code : -1;
}
} // namespace

ReversePluginList::ReversePluginList(MainForm& form, PluginCatalog& catalog, bool headless,
                                     QObject* parent)
    : QObject(parent), m_form(form), m_catalog(catalog), m_headless(headless)
{}

ReversePluginList::~ReversePluginList() = default;

void ReversePluginList::load()
{
    m_plugins.clear();
    SettingsStore& settings = m_form.settings();
    for (const QString& country :
         PluginRegistration::registeredProgIds(settings, PluginRegistration::kReverseKey)) {
        QStringList values = settings.RegEnumValues(SettingsStore::Hive::CurrentUser,
                                                    SettingsStore::rootKey() + QLatin1Char('\\') +
                                                        countryKey(country));
        if (!values.isEmpty())
            values.removeFirst();
        for (const QString& progId : values) {
            if (progId.startsWith(QLatin1Char('_')))
                continue;
            const QString name =
                settings.GetSettingHKCU(countryKey(country), progId, progId).toString();
            m_form.LogStr(m_form.GetS(QStringLiteral("Initializing reverse lookup addon: %s (%s)"),
                                      name, progId));
            if (!Add(country, progId))
                m_form.LogStr(m_form.GetS(QStringLiteral("Initializing failed")));
        }
    }
}

bool ReversePluginList::Add(const QString& country, const QString& progId)
{
    const Result<QObject*> created = m_catalog.create(progId, PHONAVO_REVERSE_PLUGIN_IID);
    auto* plugin = created ? qobject_cast<phonavo::ReversePlugin*>(created.value()) : nullptr;
    if (!plugin) {
        m_form.LogStr(m_form.GetS(QStringLiteral("Unable to load plugin \"%s\"."), progId) +
                      QStringLiteral(": ") +
                      (created ? QStringLiteral("not a reverse-lookup plug-in") : created.error()));
        return false;
    }
    auto holder = std::make_unique<CReversePlugin>();
    holder->object = created.value();
    holder->objPlugin = plugin;
    holder->ComKey = progId;
    holder->Countryname = country;
    holder->Name = m_form.settings().GetSettingHKCU(countryKey(country), progId, progId).toString();
    // Its own values live in a sub-key, apart from the country's list of ProgIDs.
    holder->context = &HostContext::forPlugin(progId);
    holder->contextBinding =
        holder->context->bind(m_form, countryKey(country) + QLatin1Char('\\') + progId, m_headless);
    if (!guardedPluginCall(m_form, progId, "CountryCode", [&] {
            plugin->SetContext(holder->context);
            holder->CountryCode = plugin->CountryCode();
        }))
        return false;
    m_plugins.push_back(std::move(holder));
    return true;
}

CReversePlugin* ReversePluginList::Item(int position) const
{
    if (position < 1 || position > Count())
        return nullptr;
    return m_plugins[size_t(position - 1)].get();
}

void ReversePluginList::Remove(int position)
{
    if (Item(position))
        m_plugins.erase(m_plugins.begin() + (position - 1));
}

void ReversePluginList::shutdown()
{
    for (const auto& plugin : m_plugins)
        guardedPluginCall(m_form, plugin->ComKey, "Shutdown",
                          [&] { plugin->objPlugin->Shutdown(); });
}

bool ReversePluginList::blnReversePluginValid(const QString& progId)
{
    const Result<QObject*> created = m_catalog.create(progId, PHONAVO_REVERSE_PLUGIN_IID);
    return created && qobject_cast<phonavo::ReversePlugin*>(created.value());
}

QStringList ReversePluginList::countries() const
{
    QStringList list;
    for (const auto& plugin : m_plugins)
        if (!list.contains(plugin->Countryname))
            list << plugin->Countryname;
    return list;
}

int ReversePluginList::countryOffset(const QString& country) const
{
    for (int i = 0; i < Count(); ++i)
        if (m_plugins[size_t(i)]->Countryname == country)
            return i;
    return -1;
}

QStringList ReversePluginList::pluginNames(const QString& country) const
{
    QStringList names;
    for (const auto& plugin : m_plugins)
        if (plugin->Countryname == country)
            names << plugin->Name;
    return names;
}

QStringList ReversePluginList::pluginKeys(const QString& country) const
{
    QStringList keys;
    for (const auto& plugin : m_plugins)
        if (plugin->Countryname == country)
            keys << plugin->ComKey;
    return keys;
}

CReversePlugin* ReversePluginList::selected() const
{
    const QString country = m_form.options().text(QStringLiteral("cmbReverseCountry"));
    const QString key = m_form.options().text(QStringLiteral("cmbReversePlugin"));
    CReversePlugin* first = nullptr;
    for (const auto& plugin : m_plugins) {
        if (plugin->Countryname != country)
            continue;
        if (plugin->ComKey.compare(key, Qt::CaseInsensitive) == 0)
            return plugin.get();
        if (!first)
            first = plugin.get();
    }
    return first;
}

bool ReversePluginList::lookup(CReversePlugin& plugin, const QString& number, QString& name,
                               QString& image, QString& extra)
{
    bool found = false;
    guardedPluginCall(m_form, plugin.ComKey, "Lookup",
                      [&] { found = plugin.objPlugin->Lookup(number, name, image, extra); });
    return found;
}

bool ReversePluginList::QueryReversePlugin(const QString& n, QString& sName, QString& sImage,
                                           QString& sExtra)
{
    if (n.size() < 5) {
        m_form.LogStr(m_form.GetS(
            QStringLiteral("No reverse lookup: CallerID too short for reverse lookup")));
        return false;
    }
    CReversePlugin* s = selected();
    if (!s)
        return false;
    const int c0 = s->CountryCode;
    m_form.LogStr(m_form.GetS(QStringLiteral("Reverse-Lookup: %s in %s (Country: %s)"), n,
                              s->ComKey, QString::number(c0)));
    if (lookup(*s, n, sName, sImage, sExtra))
        return true;
    QString m;
    if (n.startsWith(QLatin1Char('+')))
        m = n.mid(1);
    else if (n.startsWith(QLatin1String("00")))
        m = n.mid(2);
    else
        return false;
    int code = -1;
    for (const auto& p : m_plugins) {
        if (leadingCode(m, 1) == p->CountryCode)
            code = p->CountryCode;
        else if (leadingCode(m, 2) == p->CountryCode)
            code = p->CountryCode;
        else if (p->CountryCode == 0)
            code = 0;
        if (p->CountryCode != code)
            continue;
        // A region a plug-in already found is kept: the country name says less.
        if (code != c0) {
            m_form.LogStr(m_form.GetS(QStringLiteral("Reverse-Lookup: %s in %s (Country: %s)"), n,
                                      p->ComKey, QString::number(code)));
            if (lookup(*p, n, sName, sImage, sExtra))
                return true;
        }
        if (sExtra.isEmpty())
            sExtra = p->Countryname;
    }
    return false;
}
