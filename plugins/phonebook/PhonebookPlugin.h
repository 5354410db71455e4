#pragma once

#include "PhonavoPlugin.h"
#include "Phonebook.h"

// Reverse lookup in a phone book file of the user's (CSV or vCard).
//
// Settings below its registration key: File (the phone book), CountryCode (the
// home country, default 49: its numbers match in national and international
// form, and the host asks this plug-in for them) and RecheckSeconds (how often
// a lookup looks whether the file changed, default 5; tests set 0 because the
// plug-in cannot use the program's clock).
class PhonebookPlugin : public QObject, public phonavo::ReversePlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID PHONAVO_REVERSE_PLUGIN_IID FILE "PhonebookPlugin.json")
    Q_INTERFACES(phonavo::ReversePlugin)

public:
    PhonebookPlugin();

    void SetContext(phonavo::PluginContext* context) override { m_context = context; }
    bool HasSettings() override { return true; }
    bool Lookup(const QString& number, QString& name, QString& imageFile, QString& extra) override;
    void ShowSettings() override;
    qint16 CountryCode() override;

private:
    int settingNumber(const QString& name, int fallback, int low, int high) const;

    phonavo::PluginContext* m_context = nullptr;
    Phonebook m_book;
};
