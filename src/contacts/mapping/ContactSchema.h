#pragma once

#include "platform/Result.h"

#include <QString>
#include <QStringList>

// What the contact-database settings dialog asks of the user's database: its
// tables and views, a table's columns, and whether a mapping can be read. The
// connection is the dialog's own (never the lookup's), opened for reading and
// removed again by close() or the destructor.
//
// Opening is synchronous in Qt SQL: an embedded database opens at once, a
// server that does not answer holds the caller for up to
// ConnectionString::kConnectTimeoutSeconds.
class ContactSchema
{
public:
    ContactSchema();
    ~ContactSchema();
    ContactSchema(const ContactSchema&) = delete;
    ContactSchema& operator=(const ContactSchema&) = delete;

    // Closes an open connection first; on failure nothing stays open.
    Result<bool> open(const QString& connectString);
    void close();
    bool isOpen() const;
    QString connectionName() const { return m_name; }

    // Table names, then view names, each group sorted.
    QStringList tables() const;
    // The table's column names in table order; empty for an unknown table.
    QStringList columns(const QString& table) const;

    // On a connection of its own: selects the mapped columns (every one must
    // exist in the table), then counts the table's rows. The count, or the
    // database's error.
    static Result<qint64> countContacts(const QString& connectString, const QString& table,
                                        const QStringList& columns);

private:
    QString m_name;
};
