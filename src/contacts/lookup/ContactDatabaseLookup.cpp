#include "ContactDatabaseLookup.h"

#include "PictureFile.h"
#include "platform/db/ConnectionString.h"
#include "shell/settings/SettingsStore.h"

#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {

const QString kConnection = QStringLiteral("phonavo-contacts");

// Names come from the user's settings, not from the caller, but one that
// closes its own quoting would still change the statement: such names are
// refused instead of being passed on.
QString quotedName(const QString& name, const QSqlDriver& driver, QSqlDriver::IdentifierType type,
                   QString* error)
{
    QString bare = name;
    if (driver.isIdentifierEscaped(bare, type))
        bare = driver.stripDelimiters(bare, type);
    QString forbidden = QStringLiteral("[]");
    const QString probe = driver.escapeIdentifier(QStringLiteral("x"), type);
    if (probe.size() == 3)
        forbidden += probe.front() + probe.back();
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    const QString escaped = driver.escapeIdentifier(bare, type);
    const bool unsafe = std::any_of(forbidden.cbegin(), forbidden.cend(),
                                    [&](QChar c) { return bare.contains(c); }) ||
                        (escaped == bare && !plain.match(bare).hasMatch());
    if (bare.isEmpty() || unsafe) {
        *error = QStringLiteral("The name \"%1\" cannot be used in a query").arg(name);
        return QString();
    }
    return escaped;
}

QString delimitedColumn(const QString& name, const QString& delim, const QSqlDriver& driver,
                        QString* error)
{
    if (delim.isEmpty())
        return quotedName(name, driver, QSqlDriver::FieldName, error);
    for (const QChar c : delim)
        if (name.contains(c)) {
            *error =
                QStringLiteral("The name \"%1\" contains the field delimiter %2").arg(name, delim);
            return QString();
        }
    return delim + name + delim;
}

// With a field delimiter the table name goes into the query as it is, so it
// must be a plain (optionally schema-qualified) name.
QString tableName(const QString& table, const QString& delim, const QSqlDriver& driver,
                  QString* error)
{
    if (delim.isEmpty())
        return quotedName(table, driver, QSqlDriver::TableName, error);
    static const QRegularExpression plain(QStringLiteral("^[\\w$]+(\\.[\\w$]+)*$"),
                                          QRegularExpression::UseUnicodePropertiesOption);
    if (!plain.match(table).hasMatch()) {
        *error = QStringLiteral("The table name \"%1\" cannot be used in a query").arg(table);
        return QString();
    }
    return table;
}

// The mapped columns in query order with their aliases.
QList<QPair<QString, QString>> selectedColumns(const ContactMapping& m)
{
    QList<QPair<QString, QString>> columns;
    const auto add = [&](const QString& column, const QString& alias) {
        if (!column.isEmpty())
            columns.append({column, alias});
    };
    add(m.primKey, QStringLiteral("ContactGUID"));
    add(m.firstName, QStringLiteral("FirstName"));
    add(m.lastName, QStringLiteral("LastName"));
    add(m.extraField, QStringLiteral("ExtraField"));
    add(m.picture, QStringLiteral("Picture"));
    for (int i = 0; i < int(m.numbers.size()); ++i)
        add(m.numbers[i], QStringLiteral("Number%1").arg(i + 1));
    return columns;
}

} // namespace

ContactMapping ContactMapping::fromSettings(const SettingsStore& settings)
{
    const auto data = [&](const char* name) {
        return settings.GetSettingHKCU(QStringLiteral("Data"), QString::fromLatin1(name), QString())
            .toString();
    };
    ContactMapping m;
    m.connectString = data("ConnectString");
    m.table = data("DBTable");
    m.primKey = data("PrimKey");
    m.firstName = data("FirstName");
    m.lastName = data("LastName");
    m.extraField = data("ExtraField");
    m.picture = data("Picture");
    for (int i = 0; i < int(m.numbers.size()); ++i)
        m.numbers[i] = data(QStringLiteral("Number%1").arg(i + 1).toLatin1().constData());
    m.fieldDelim =
        settings.GetSettingHKCU(QString(), QStringLiteral("SQLFieldDelim"), QString()).toString();
    return m;
}

bool ContactMapping::searchable() const
{
    return !connectString.trimmed().isEmpty() && !table.isEmpty() &&
           std::any_of(numbers.cbegin(), numbers.cend(),
                       [](const QString& n) { return !n.isEmpty(); });
}

ContactDatabaseLookup::ContactDatabaseLookup(ContactMapping mapping) : m_mapping(std::move(mapping))
{}

QString ContactDatabaseLookup::searchPattern(const QString& digits)
{
    if (digits.size() <= 5)
        return digits;
    if (digits.size() <= 7)
        return QLatin1Char('%') + digits + QLatin1Char('%');
    // Long numbers match with any formatting between the digits and without
    // the trunk prefix, so "+49 30 123 45 67" and "(030) 123 45 67" both do.
    const QString rest = digits.startsWith(QLatin1Char('0')) ? digits.mid(1) : digits;
    QString pattern;
    for (const QChar c : rest)
        pattern += QLatin1Char('%') + c;
    return pattern + QLatin1Char('%');
}

bool ContactDatabaseLookup::matchesPattern(const QString& value, const QString& pattern)
{
    QStringList parts = pattern.split(QLatin1Char('%'));
    for (QString& part : parts)
        part = QRegularExpression::escape(part);
    const QRegularExpression re(
        QRegularExpression::anchoredPattern(parts.join(QStringLiteral(".*"))),
        QRegularExpression::DotMatchesEverythingOption);
    return re.match(value).hasMatch();
}

QString ContactDatabaseLookup::buildQuery(const ContactMapping& mapping, const QSqlDriver& driver,
                                          QString* error)
{
    const QString& delim = mapping.fieldDelim;
    QStringList select;
    for (const auto& [column, alias] : selectedColumns(mapping)) {
        const QString name = delimitedColumn(column, delim, driver, error);
        if (name.isEmpty())
            return QString();
        select << name + QStringLiteral(" AS ") + alias;
    }
    QStringList where;
    for (const QString& column : mapping.numbers)
        if (!column.isEmpty())
            where << delimitedColumn(column, delim, driver, error) + QStringLiteral(" LIKE ?");
    const QString table = tableName(mapping.table, delim, driver, error);
    if (table.isEmpty())
        return QString();
    return QStringLiteral("SELECT ") + select.join(QStringLiteral(", ")) +
           QStringLiteral(" FROM ") + table + QStringLiteral(" WHERE ") +
           where.join(QStringLiteral(" OR "));
}

ContactDatabaseLookup::Outcome ContactDatabaseLookup::find(const QString& digits,
                                                           ContactMatch& match)
{
    m_error.clear();
    if (!m_mapping.searchable())
        return Outcome::NotConfigured;
    const Result<bool> configured =
        ConnectionString::parse(m_mapping.connectString).configure(kConnection);
    if (!configured) {
        m_error = configured.error();
        return Outcome::Failed;
    }
    const Outcome outcome = query(kConnection, searchPattern(digits), match);
    // Opened for this lookup only: the next one sees changed settings.
    QSqlDatabase::database(kConnection, false).close();
    QSqlDatabase::removeDatabase(kConnection);
    return outcome;
}

ContactDatabaseLookup::Outcome
ContactDatabaseLookup::query(const QString& connection, const QString& pattern, ContactMatch& match)
{
    // Opening is synchronous: an embedded database opens at once, but a
    // server that does not answer holds the program for up to
    // ConnectionString::kConnectTimeoutSeconds on every lookup.
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    if (!db.open()) {
        m_error = db.lastError().text();
        return Outcome::Failed;
    }
    // The pattern scans the whole table on every call, on a connection opened
    // just for it: mapping the file reads the pages from the system's cache
    // instead of copying each one in again.
    if (db.driverName() == QLatin1String("QSQLITE"))
        QSqlQuery(db).exec(QStringLiteral("PRAGMA mmap_size=268435456"));
    // SQLite reads a quoted name it cannot resolve as a text constant, so a
    // misspelt column would silently never match: every mapped name is
    // checked against the table first, on every engine.
    const QSqlRecord fields = db.record(m_mapping.table);
    if (fields.isEmpty()) {
        m_error = QStringLiteral("The table \"%1\" was not found").arg(m_mapping.table);
        return Outcome::Failed;
    }
    for (const auto& [column, alias] : selectedColumns(m_mapping)) {
        const QString bare = db.driver()->isIdentifierEscaped(column, QSqlDriver::FieldName)
                                 ? db.driver()->stripDelimiters(column, QSqlDriver::FieldName)
                                 : column;
        if (!fields.contains(bare)) {
            m_error = QStringLiteral("The column \"%1\" was not found in the table \"%2\"")
                          .arg(column, m_mapping.table);
            return Outcome::Failed;
        }
    }
    const QString sql = buildQuery(m_mapping, *db.driver(), &m_error);
    if (sql.isEmpty())
        return Outcome::Failed;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.prepare(sql)) {
        m_error = q.lastError().text();
        return Outcome::Failed;
    }
    // The caller's number only ever reaches the database as a bound value.
    for (const QString& column : m_mapping.numbers)
        if (!column.isEmpty())
            q.addBindValue(pattern);
    if (!q.exec()) {
        m_error = q.lastError().text();
        return Outcome::Failed;
    }
    if (!q.next()) {
        if (!q.lastError().isValid())
            return Outcome::NotFound;
        m_error = q.lastError().text();
        return Outcome::Failed;
    }

    // Columns by position: some engines fold the aliases' case.
    QHash<QString, QVariant> row;
    const auto columns = selectedColumns(m_mapping);
    for (int i = 0; i < int(columns.size()); ++i)
        row.insert(columns[i].second, q.value(i));
    const auto text = [&](const QString& alias) {
        const QVariant v = row.value(alias);
        return v.isNull() ? QString() : v.toString();
    };
    const QString first = text(QStringLiteral("FirstName"));
    const QString last = text(QStringLiteral("LastName"));
    match.extra = text(QStringLiteral("ExtraField"));
    for (int i = 1; i <= int(m_mapping.numbers.size()); ++i) {
        const QString alias = QStringLiteral("Number%1").arg(i);
        if (row.contains(alias) && matchesPattern(text(alias), pattern)) {
            match.storedNumber = text(alias);
            break;
        }
    }
    match.guid = row.contains(QStringLiteral("ContactGUID"))
                     ? text(QStringLiteral("ContactGUID"))
                     : first + QLatin1Char(',') + last + QLatin1Char(',') + match.extra;
    if (row.contains(QStringLiteral("Picture"))) {
        match.picture = GetTempFile(QStringLiteral(".tmp"));
        if (!match.picture.isEmpty() &&
            !SaveFieldToFile(row.value(QStringLiteral("Picture")), match.picture)) {
            QFile::remove(match.picture);
            match.picture.clear();
        }
    }
    match.name = first.isEmpty() ? last : first + QLatin1Char(' ') + last;
    return Outcome::Found;
}

ContactDatabaseLookup::Outcome
ContactDatabaseLookup::findByKey(const QString& key, QString& storedKey, QString& picture)
{
    m_error.clear();
    if (key.isEmpty() || m_mapping.connectString.trimmed().isEmpty() || m_mapping.table.isEmpty() ||
        m_mapping.primKey.isEmpty())
        return Outcome::NotConfigured;
    const Result<bool> configured =
        ConnectionString::parse(m_mapping.connectString).configure(kConnection);
    if (!configured) {
        m_error = configured.error();
        return Outcome::Failed;
    }
    const Outcome outcome = queryKey(kConnection, key, storedKey, picture);
    QSqlDatabase::database(kConnection, false).close();
    QSqlDatabase::removeDatabase(kConnection);
    return outcome;
}

ContactDatabaseLookup::Outcome ContactDatabaseLookup::queryKey(const QString& connection,
                                                               const QString& key,
                                                               QString& storedKey, QString& picture)
{
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    if (!db.open()) {
        m_error = db.lastError().text();
        return Outcome::Failed;
    }
    const QString& delim = m_mapping.fieldDelim;
    const QString keyColumn = delimitedColumn(m_mapping.primKey, delim, *db.driver(), &m_error);
    const QString pictureColumn =
        m_mapping.picture.isEmpty()
            ? QString()
            : delimitedColumn(m_mapping.picture, delim, *db.driver(), &m_error);
    const QString table = tableName(m_mapping.table, delim, *db.driver(), &m_error);
    if (keyColumn.isEmpty() || table.isEmpty() || !m_error.isEmpty())
        return Outcome::Failed;
    const QSqlRecord fields = db.record(m_mapping.table);
    if (!fields.contains(m_mapping.primKey) ||
        (!m_mapping.picture.isEmpty() && !fields.contains(m_mapping.picture))) {
        m_error = QStringLiteral("The key or picture column was not found in the table \"%1\"")
                      .arg(m_mapping.table);
        return Outcome::Failed;
    }
    QSqlQuery q(db);
    q.setForwardOnly(true);
    // The key is compared as text, the way a key made by the lookup is kept.
    const QString sql =
        QStringLiteral("SELECT ") + keyColumn +
        (pictureColumn.isEmpty() ? QString() : QStringLiteral(", ") + pictureColumn) +
        QStringLiteral(" FROM ") + table + QStringLiteral(" WHERE ") + keyColumn +
        QStringLiteral(" = ?");
    if (!q.prepare(sql)) {
        m_error = q.lastError().text();
        return Outcome::Failed;
    }
    q.addBindValue(key);
    if (!q.exec()) {
        m_error = q.lastError().text();
        return Outcome::Failed;
    }
    if (!q.next())
        return q.lastError().isValid() ? (m_error = q.lastError().text(), Outcome::Failed)
                                       : Outcome::NotFound;
    storedKey = q.value(0).toString();
    picture.clear();
    if (!pictureColumn.isEmpty() && !q.value(1).isNull()) {
        const QString file = GetTempFile(QStringLiteral(".tmp"));
        if (!file.isEmpty() && SaveFieldToFile(q.value(1), file))
            picture = file;
        else if (!file.isEmpty())
            QFile::remove(file);
    }
    return Outcome::Found;
}
