#include "ContactSchema.h"

#include "platform/db/ConnectionString.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {

QString errorText(const QSqlError& error, const char* fallback)
{
    const QString text = error.text().trimmed();
    return text.isEmpty() ? QString::fromLatin1(fallback) : text;
}

QSqlRecord recordOf(const QSqlDatabase& db, const QString& table)
{
    return table.isEmpty() ? QSqlRecord() : db.record(table);
}

QStringList sorted(QStringList names)
{
    names.sort(Qt::CaseInsensitive);
    return names;
}

} // namespace

ContactSchema::ContactSchema()
{
    static int serial = 0;
    m_name = QStringLiteral("phonavo-contact-schema-%1").arg(++serial);
}

ContactSchema::~ContactSchema()
{
    close();
}

Result<bool> ContactSchema::open(const QString& connectString)
{
    close();
    const ConnectionString cs = ConnectionString::parse(connectString);
    const Result<bool> configured = cs.configure(m_name);
    if (!configured)
        return configured;
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        // Read only: opening a file that is not there must not make an empty one.
        if (cs.engine() == ConnectionString::Engine::SQLite)
            db.setConnectOptions(db.connectOptions() + QStringLiteral(";QSQLITE_OPEN_READONLY"));
        if (db.open())
            return Result<bool>::ok(true);
        error = errorText(db.lastError(), "The connection could not be opened");
    }
    close();
    return Result<bool>::fail(error);
}

void ContactSchema::close()
{
    if (!QSqlDatabase::contains(m_name))
        return;
    QSqlDatabase::database(m_name, false).close();
    QSqlDatabase::removeDatabase(m_name);
}

bool ContactSchema::isOpen() const
{
    return QSqlDatabase::contains(m_name) && QSqlDatabase::database(m_name, false).isOpen();
}

QStringList ContactSchema::tables() const
{
    if (!isOpen())
        return {};
    const QSqlDatabase db = QSqlDatabase::database(m_name, false);
    return sorted(db.tables(QSql::Tables)) + sorted(db.tables(QSql::Views));
}

QStringList ContactSchema::columns(const QString& table) const
{
    if (!isOpen())
        return {};
    const QSqlRecord record = recordOf(QSqlDatabase::database(m_name, false), table);
    QStringList names;
    for (int i = 0; i < record.count(); ++i)
        names << record.fieldName(i);
    return names;
}

Result<qint64> ContactSchema::countContacts(const QString& connectString, const QString& table,
                                            const QStringList& columns)
{
    ContactSchema test;
    const Result<bool> opened = test.open(connectString);
    if (!opened)
        return Result<qint64>::fail(opened.error());
    const QSqlDatabase db = QSqlDatabase::database(test.m_name, false);
    const QSqlDriver& driver = *db.driver();
    // SQLite reads a quoted name it cannot resolve as a text, so a missing
    // column would pass the query below: each is looked for first.
    const QSqlRecord record = recordOf(db, table);
    if (record.isEmpty())
        return Result<qint64>::fail(QStringLiteral("The table \"%1\" was not found").arg(table));
    QStringList quoted;
    for (const QString& column : columns) {
        if (!record.contains(column))
            return Result<qint64>::fail(
                QStringLiteral("The column \"%1\" was not found in the table \"%2\"")
                    .arg(column, table));
        quoted << driver.escapeIdentifier(column, QSqlDriver::FieldName);
    }
    const QString from =
        QStringLiteral(" FROM ") + driver.escapeIdentifier(table, QSqlDriver::TableName);
    qint64 count = 0;
    QString error;
    {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!quoted.isEmpty() &&
            !query.exec(QStringLiteral("SELECT ") + quoted.join(QStringLiteral(", ")) + from))
            error = errorText(query.lastError(), "The mapped columns could not be read");
        else if (!query.exec(QStringLiteral("SELECT COUNT(*)") + from) || !query.next())
            error = errorText(query.lastError(), "The contacts could not be counted");
        else
            count = query.value(0).toLongLong();
    }
    if (!error.isEmpty())
        return Result<qint64>::fail(error);
    return Result<qint64>::ok(count);
}
