#pragma once

#include <QString>
#include <QStringList>

#include <array>

class SettingsStore;
class QSqlDriver;

// How the user's contact table maps onto a contact: the Data section of the
// settings (column names; empty means not mapped) and SQLFieldDelim.
struct ContactMapping
{
    QString connectString;
    QString table;
    QString primKey;
    QString firstName;
    QString lastName;
    QString extraField;
    QString picture;
    std::array<QString, 5> numbers;
    QString fieldDelim; // put around every column name when set

    static ContactMapping fromSettings(const SettingsStore& settings);
    // Enough to search: a database, a table and at least one number column.
    bool searchable() const;
};

// What the contact database knows about a number.
struct ContactMatch
{
    QString storedNumber; // as the row stores it; empty when no column matched
    QString guid;
    QString name;
    QString extra;
    QString picture; // a file holding the row's picture, or empty
};

// Looks a number up in the user's own contact table. The connection is opened
// for one lookup and closed at its end, so edited settings count at once.
class ContactDatabaseLookup
{
public:
    enum class Outcome
    {
        Found,
        NotFound,
        NotConfigured, // nothing to search: the reverse lookup follows
        Failed         // see error()
    };

    explicit ContactDatabaseLookup(ContactMapping mapping);

    // digits is DigitsOnly of the number and not empty.
    Outcome find(const QString& digits, ContactMatch& match);
    QString error() const { return m_error; }
    // The row whose primary key is `key`: its key value as stored and its
    // picture written to a temporary file (empty when it has none).
    Outcome findByKey(const QString& key, QString& storedKey, QString& picture);

    // The LIKE pattern for a digit string; "%" stands for any run of characters.
    static QString searchPattern(const QString& digits);
    // Whether a stored value matches the pattern the way LIKE does.
    static bool matchesPattern(const QString& value, const QString& pattern);
    // The SELECT with one bound placeholder per mapped number column; empty
    // with *error set when a name from the mapping cannot be used safely.
    static QString buildQuery(const ContactMapping& mapping, const QSqlDriver& driver,
                              QString* error);

private:
    Outcome query(const QString& connection, const QString& pattern, ContactMatch& match);
    Outcome queryKey(const QString& connection, const QString& key, QString& storedKey,
                     QString& picture);

    ContactMapping m_mapping;
    QString m_error;
};
