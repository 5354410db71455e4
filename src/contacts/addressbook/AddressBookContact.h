#pragma once

#include "contacts/addressbook/VCard.h"

#include <QMetaType>
#include <QString>

// A contact of the user's address book: one card of a .vcf file. This is what
// a call record keeps as its address-book contact (CCall::OutlookContact).
struct AddressBookContact
{
    QString entryId;  // the card's UID; its file path when the card has none
    QString filePath; // the .vcf file that holds the card
    VCardContact card;

    bool isValid() const { return !entryId.isEmpty(); }
};

Q_DECLARE_METATYPE(AddressBookContact)
