#pragma once

#include "PhonavoPlugin.h"
#include "RegionDescriber.h"

// A reverse lookup that finds no names: it tells where a number belongs (the
// town, or the country) from libphonenumber's offline data and hands that back
// as the extra text, so an unknown caller at least shows "Berlin". Lookup
// always answers false, since a region is not a name.
//
// Settings below its registration key: Region (ISO 3166 code for numbers in
// national form; default the system's territory, else DE) and Language (the
// language of the descriptions; default the system's language).
class GeocoderPlugin : public QObject, public phonavo::ReversePlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID PHONAVO_REVERSE_PLUGIN_IID FILE "GeocoderPlugin.json")
    Q_INTERFACES(phonavo::ReversePlugin)

public:
    void SetContext(phonavo::PluginContext* context) override { m_context = context; }
    bool HasSettings() override { return false; }
    bool Lookup(const QString& number, QString& name, QString& imageFile, QString& extra) override;
    void ShowSettings() override {}
    qint16 CountryCode() override { return 0; }

    // The defaults of the two settings, from the system locale.
    static QString systemRegion();
    static QString systemLanguage();

private:
    QString region();

    phonavo::PluginContext* m_context = nullptr;
    RegionDescriber m_describer;
    QString m_reportedRegion; // the unknown Region setting already logged
};
