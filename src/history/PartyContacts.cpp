#include "PartyContacts.h"

#include "contacts/addressbook/AddressBookFiles.h"
#include "contacts/addressbook/AddressBookService.h"
#include "contacts/lookup/ContactDatabaseLookup.h"
#include "contacts/manager/ContactManagerLauncher.h"
#include "core/controller/MainForm.h"

PartyContacts::PartyContacts(MainForm& form, AddressBookService* book,
                             ContactManagerLauncher* manager)
    : m_form(form), m_book(book), m_manager(manager)
{}

PartyContacts::Source PartyContacts::source() const
{
    switch (m_form.options().number(QStringLiteral("cmbDataConnection"))) {
    case Database:
        return Database;
    case AddressBook:
        return m_book && m_book->available() ? AddressBook : None;
    default:
        return None;
    }
}

PartyContacts::Contact PartyContacts::find(const QString& guid) const
{
    Contact contact;
    if (guid.isEmpty())
        return contact;
    if (source() == AddressBook) {
        const AddressBookContact card = m_book->contactById(guid);
        if (card.isValid()) {
            contact.found = true;
            contact.key = card.entryId;
            contact.picture = m_book->pictureOf(card);
        }
    } else if (source() == Database) {
        ContactDatabaseLookup lookup(ContactMapping::fromSettings(m_form.settings()));
        const auto outcome = lookup.findByKey(guid, contact.key, contact.picture);
        contact.found = outcome == ContactDatabaseLookup::Outcome::Found;
        if (outcome == ContactDatabaseLookup::Outcome::Failed)
            m_form.LogStr(
                m_form.GetS(QStringLiteral("Contact %s not read: %s"), guid, lookup.error()));
    }
    return contact;
}

bool PartyContacts::open(const Contact& contact, std::function<void()> edited) const
{
    if (!contact.found)
        return false;
    if (source() == AddressBook)
        return m_book->openContact(contact.key);
    if (source() != Database || !m_manager)
        return false;
    return m_manager->startAndWait(
        {QStringLiteral("/command=open"), QStringLiteral("/guid=") + contact.key},
        [edited = std::move(edited)](int) {
            if (edited)
                edited();
        });
}

QStringList PartyContacts::newContactArguments(const QString& number, const QString& name,
                                               const QString& extra)
{
    const auto quoted = [](const char* key, const QString& value) -> QString {
        return QLatin1Char('/') + QLatin1String(key) + QStringLiteral("=\"") + value +
               QLatin1Char('"');
    };
    return {QStringLiteral("/command=new"), quoted("number", number), quoted("name", name),
            quoted("extra", extra)};
}

bool PartyContacts::create(bool caller, const QString& number, const QString& name,
                           const QString& extra, std::function<void(const QString&)> made) const
{
    if (source() == Database) {
        if (!m_manager)
            return false;
        return m_manager->startAndWait(newContactArguments(number, name, extra),
                                       [made = std::move(made)](int) {
                                           if (made)
                                               made(QString());
                                       });
    }
    if (source() != AddressBook)
        return false;
    QString last = name;
    if (last.isEmpty())
        last = m_form.GetS(caller ? QStringLiteral("Unknown caller %s")
                                  : QStringLiteral("Unknown called contact %s"),
                           number);
    QString error;
    const AddressBookContact contact = m_book->makeContact(last, number, &error);
    if (!contact.isValid()) {
        m_form.RaiseError(m_form.GetS(QStringLiteral("The contact was not created: %s"), error));
        return false;
    }
    m_book->openContact(contact.entryId);
    if (made)
        made(contact.entryId);
    return true;
}
