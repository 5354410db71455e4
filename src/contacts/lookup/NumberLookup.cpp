#include "NumberLookup.h"

#include "AddressBookSource.h"
#include "ContactDatabaseLookup.h"
#include "core/controller/MainForm.h"
#include "core/devices/NumberRules.h"
#include "core/log/ErrorReport.h"

NumberLookup::NumberLookup(MainForm& form, ReverseQuery reverse)
    : m_form(form), m_reverse(std::move(reverse))
{}

bool NumberLookup::LookupNumber(QString& number, QString& guid, QString& name, QString& picture,
                                QString& extra, QVariant& contact)
{
    guid.clear();
    name.clear();
    picture.clear();
    extra.clear();
    const QString digits = DigitsOnly(number);
    // An anonymous caller's text has no digit: only the reverse lookup may know it.
    const bool hasDigit =
        std::any_of(digits.cbegin(), digits.cend(), [](QChar c) { return c != QLatin1Char('+'); });
    const int source = m_form.options().number(QStringLiteral("cmbDataConnection"));
    if (hasDigit && source == Database) {
        switch (lookupDatabase(digits, number, guid, name, picture, extra)) {
        case Local::Found:
            return true;
        case Local::Failed:
            return false;
        case Local::NotFound:
            break;
        }
    } else if (hasDigit && source == Outlook && m_addressBook) {
        switch (m_addressBook->findContact(digits, number, guid, name, picture, extra, contact)) {
        case AddressBookSource::Outcome::Found:
            return true;
        case AddressBookSource::Outcome::Failed:
            return false;
        case AddressBookSource::Outcome::NotFound:
            break;
        }
    }
    return lookupReverse(number, name, picture, extra);
}

NumberLookup::Local NumberLookup::lookupDatabase(const QString& digits, QString& number,
                                                 QString& guid, QString& name, QString& picture,
                                                 QString& extra)
{
    ContactDatabaseLookup database(ContactMapping::fromSettings(m_form.settings()));
    ContactMatch match;
    switch (database.find(digits, match)) {
    case ContactDatabaseLookup::Outcome::NotConfigured:
    case ContactDatabaseLookup::Outcome::NotFound:
        return Local::NotFound;
    case ContactDatabaseLookup::Outcome::Failed:
        // The call goes on unnamed; the reverse lookup is not asked about a
        // number the user's own database may well know.
        m_form.RaiseError(
            QString(),
            ErrorInfo{-1, database.error(), QStringLiteral("NumberLookup (contact database)"), 0});
        return Local::Failed;
    case ContactDatabaseLookup::Outcome::Found:
        break;
    }
    if (!match.storedNumber.isEmpty())
        number = match.storedNumber;
    guid = match.guid;
    name = match.name;
    picture = match.picture;
    extra = match.extra;
    m_form.LogStr(
        m_form.GetS(QStringLiteral("Found contact in Database for %s: %s"), number, name));
    return Local::Found;
}

bool NumberLookup::lookupReverse(const QString& number, QString& name, QString& picture,
                                 QString& extra)
{
    if (!m_reverse || !m_form.options().flag(QStringLiteral("cbReverseLookup")))
        return false;
    if (!m_reverse(number, name, picture, extra))
        return false;
    if (name.isEmpty() && extra.isEmpty() && picture.isEmpty())
        return false;
    m_form.LogStr(m_form.GetS(QStringLiteral("Found contact by reverse lookup for %s: %s"), number,
                              QString(name + QLatin1Char(' ') + extra).trimmed()));
    return true;
}
