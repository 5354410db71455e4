#pragma once

#include "AddressBookContact.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// The address book on disk: folders of .vcf files (the vdir layout that
// khard and vdirsyncer use; a single exported file with many cards works too).
namespace AddressBookFiles {

// Files larger than this are refused instead of read into memory.
constexpr qint64 kMaxFileSize = 64 * 1024 * 1024;

// Where the user's address books live unless a folder was chosen:
// $XDG_DATA_HOME/contacts (or "contacts" in PHONAVO_HOME).
QString defaultRoot();

using Log = std::function<void(const QString& text)>;

// The .vcf files of a folder (not of its sub-folders), sorted by name.
QStringList cardFiles(const QString& folder);
// The visible sub-folders of a folder, sorted by name, as full paths.
QStringList subfolders(const QString& folder);

// The readable cards of one file; broken cards and unreadable files are
// logged and skipped. A card's entry id is its UID, or the file's path (with
// "#n" for the n-th card without UID after the first) when it has none.
QList<AddressBookContact> readFile(const QString& path, const Log& log);
// Every card of the folder's files.
QList<AddressBookContact> readFolder(const QString& folder, const Log& log);
// The card with the entry id in the given file, or an invalid contact.
AddressBookContact findInFile(const QString& path, const QString& entryId, const Log& log);

// Writes a new card as its own file, named after its UID, atomically. The
// UID is made when the card has none. Returns the contact, or an invalid one
// with *error set.
AddressBookContact createContact(const QString& folder, VCardContact card, QString* error);

} // namespace AddressBookFiles
