#pragma once

#include "ContactsDatabase.h"
#include "ManagerCommandLine.h"
#include "contacts/addressbook/VCard.h"

// Between the contact manager's rows and vCards, for import and export.
namespace ContactCards {

// Numbers go to the column their TYPE names (home/voice: private, work:
// company, cell: mobile, fax, and sip/x-voip/other: VoIP); numbers without a
// fitting free column fill the first free one, the rest are dropped.
ManagedContact fromCard(const VCardContact& card);
// The key becomes the UID; every number is written with its column's TYPE.
VCardContact toCard(const ManagedContact& contact);

} // namespace ContactCards
