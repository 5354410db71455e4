#pragma once

#include <QString>

#include <functional>

class AddressBookService;
class ContactManagerLauncher;
class MainForm;

// A call party's contact in the active contact source: the contact database
// (through the companion contact manager) or the address book. The details
// window finds, opens and creates contacts through it.
class PartyContacts
{
public:
    enum Source
    {
        None = 0,
        Database = 1,
        AddressBook = 2
    };

    struct Contact
    {
        bool found = false;
        QString key;     // what opens it: the database's key value or the entry id
        QString picture; // a picture file, or empty
    };

    PartyContacts(MainForm& form, AddressBookService* book, ContactManagerLauncher* manager);

    Source source() const;
    bool canCreate() const { return source() != None; }
    // The contact a stored GUID names; not found when it no longer resolves.
    Contact find(const QString& guid) const;
    // Opens the contact; `edited` runs once the contact manager has ended.
    bool open(const Contact& contact, std::function<void()> edited) const;
    // Creates a contact for a party. The contact database's manager is run
    // with the party's values; in the address book the card is written at
    // once and `made` gets its entry id.
    bool create(bool caller, const QString& number, const QString& name, const QString& extra,
                std::function<void(const QString& madeGuid)> made) const;

    // The contact manager's arguments for a new contact.
    static QStringList newContactArguments(const QString& number, const QString& name,
                                           const QString& extra);

private:
    MainForm& m_form;
    AddressBookService* m_book;
    ContactManagerLauncher* m_manager;
};
