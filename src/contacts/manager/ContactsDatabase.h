#pragma once

#include "platform/Result.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <functional>
#include <optional>

class LocGuru;

// One row of the contact manager's own table.
struct ManagedContact
{
    // The number columns in the order the lookup searches them.
    static constexpr int kNumberCount = 5;

    QString guid; // empty until the contact is stored
    QString firstName;
    QString lastName;
    QString company;
    QByteArray picture; // image file bytes; empty without a picture
    // TelPrivate, TelCompany, Mobile, Fax, VoIP
    std::array<QString, kNumberCount> numbers;
    QString email;
    QString notes;

    // "First Last", else the company, else the first number.
    QString displayName() const;
    // Whether the contact shows up for a search text: a name, the company,
    // the e-mail address or a number containing it (case-insensitive), or a
    // number containing its digits.
    bool matches(const QString& search) const;
};

// The contact database the installation ships (contacts.db, SQLite), which
// the contact manager edits and the lookup reads by default. It has its own
// connection; every statement binds its values.
class ContactsDatabase
{
public:
    static constexpr const char* kTable = "Contacts";
    static constexpr const char* kKeyColumn = "ContactGUID";
    // The table's number columns, in ManagedContact::numbers order.
    static const std::array<QString, ManagedContact::kNumberCount>& numberColumns();

    // <install folder>/contacts.db
    static QString defaultPath();

    // Texts are translated through `loc` when given.
    explicit ContactsDatabase(QString path = defaultPath(), const LocGuru* loc = nullptr);
    ~ContactsDatabase();
    ContactsDatabase(const ContactsDatabase&) = delete;
    ContactsDatabase& operator=(const ContactsDatabase&) = delete;

    QString path() const { return m_path; }

    // Opens the file, creating it and the table when missing. A file that is
    // not such a database is left as it is and reported.
    Result<bool> open();
    bool isOpen() const;
    void close();

    // The contacts a search text finds (all for an empty one), sorted by
    // name; their pictures are not read.
    Result<QList<ManagedContact>> list(const QString& search = QString()) const;
    // The contact with that key; an empty optional when there is none.
    Result<std::optional<ManagedContact>> get(const QString& guid) const;
    // Stores a new contact under a new key, which it returns (and sets).
    Result<QString> insert(ManagedContact& contact);
    // False when no contact has that key.
    Result<bool> update(const ManagedContact& contact);
    Result<bool> remove(const QString& guid);

private:
    QString GetS(const QString& text, const QStringList& params = {}) const;
    Result<bool> createOrCheckTable();
    QString failure(const QString& what, const QString& reason) const;

    QString m_path;
    QString m_connection;
    const LocGuru* m_loc;
};

// Points the contact lookup at `path` when no contact database is configured
// (an empty Data\ConnectString), with the column names of the table above.
// True when it wrote the mapping.
class SettingsStore;
bool writeDefaultContactMapping(SettingsStore& settings, const QString& path);

// Program start: makes sure the shipped contact database exists and, when the
// user has none configured, that the lookup reads it. Problems go to `log`.
void prepareShippedContactDatabase(SettingsStore& settings, const LocGuru& loc,
                                   const std::function<void(const QString&)>& log);
