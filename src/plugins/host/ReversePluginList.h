#pragma once

#include "HostContext.h"

#include <QObject>
#include <QStringList>

#include <memory>
#include <vector>

class MainForm;
class PluginCatalog;

// One usable reverse-lookup plug-in.
struct CReversePlugin
{
    QObject* object = nullptr;
    phonavo::ReversePlugin* objPlugin = nullptr;
    QString Name;
    QString Countryname;
    qint16 CountryCode = 0;
    QString ComKey;
    HostContext* context = nullptr; // bound while this holder lives
    quint64 contextBinding = 0;

    CReversePlugin() = default;
    CReversePlugin(const CReversePlugin&) = delete;
    CReversePlugin& operator=(const CReversePlugin&) = delete;
    ~CReversePlugin()
    {
        if (context)
            context->unbind(contextBinding);
    }
};

// ColReversePlugins: every usable reverse-lookup plug-in of every country,
// country by country, and the query with its country-code walk.
class ReversePluginList : public QObject
{
    Q_OBJECT
public:
    ReversePluginList(MainForm& form, PluginCatalog& catalog, bool headless,
                      QObject* parent = nullptr);
    ~ReversePluginList() override;

    // Fills the list from the settings (start-up).
    void load();
    // Add (Countryname, ComKey); false when the plug-in cannot be created.
    bool Add(const QString& country, const QString& progId);
    int Count() const { return int(m_plugins.size()); }
    CReversePlugin* Item(int position) const; // from 1
    void Remove(int position);
    // True when an object can be created from the ProgID.
    bool blnReversePluginValid(const QString& progId);
    void shutdown();

    // The countries (cmbReverseCountry) and, per country, the number of
    // plug-ins listed before its first one (the item data).
    QStringList countries() const;
    int countryOffset(const QString& country) const;
    // The display names of a country's plug-ins (cmbReversePlugin).
    QStringList pluginNames(const QString& country) const;
    QStringList pluginKeys(const QString& country) const;
    // The selected plug-in: ReversePlugin of the ReverseCountry, else that
    // country's first; nullptr when none.
    CReversePlugin* selected() const;

    bool QueryReversePlugin(const QString& sNumber, QString& sName, QString& sImage,
                            QString& sExtra);

private:
    bool lookup(CReversePlugin& plugin, const QString& number, QString& name, QString& image,
                QString& extra);

    MainForm& m_form;
    PluginCatalog& m_catalog;
    bool m_headless;
    std::vector<std::unique_ptr<CReversePlugin>> m_plugins;
};
