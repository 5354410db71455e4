#pragma once

#include "core/pipeline/CallSeams.h"

class AddressBookSource;

#include <functional>

class MainForm;

// LookupNumber: turns a phone number into a contact. The user's own sources
// (contact database, address book) come first; the reverse lookup of the
// plug-ins is the fall-back when they find nothing.
class NumberLookup : public ContactLookup
{
public:
    using ReverseQuery =
        std::function<bool(const QString& number, QString& name, QString& image, QString& extra)>;

    // The entries of the data-source list (cmbDataConnection).
    enum DataSource
    {
        NoLocalData = 0,
        Database = 1,
        Outlook = 2
    };

    NumberLookup(MainForm& form, ReverseQuery reverse);

    bool LookupNumber(QString& number, QString& guid, QString& name, QString& picture,
                      QString& extra, QVariant& contact) override;

    // The address book, asked when it is the data source; none until it starts.
    void setAddressBook(AddressBookSource* book) { m_addressBook = book; }

private:
    enum class Local
    {
        Found,
        NotFound,
        Failed
    };
    Local lookupDatabase(const QString& digits, QString& number, QString& guid, QString& name,
                         QString& picture, QString& extra);
    bool lookupReverse(const QString& number, QString& name, QString& picture, QString& extra);

    MainForm& m_form;
    ReverseQuery m_reverse;
    AddressBookSource* m_addressBook = nullptr;
};
