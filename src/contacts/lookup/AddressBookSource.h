#pragma once

#include <QString>
#include <QVariant>

// The address book as a contact source of the lookup (data source 2).
class AddressBookSource
{
public:
    enum class Outcome
    {
        Found,
        NotFound, // the reverse lookup follows
        Failed    // reported; the lookup ends unnamed
    };
    virtual ~AddressBookSource() = default;
    // digits is DigitsOnly of the number; on Found, number becomes the number
    // as the contact stores it and contact holds the AddressBookContact.
    virtual Outcome findContact(const QString& digits, QString& number, QString& guid,
                                QString& name, QString& picture, QString& extra,
                                QVariant& contact) = 0;
};
