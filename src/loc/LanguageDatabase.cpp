#include "LanguageDatabase.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {

const QString kNative = QStringLiteral("Native");
const QString kEnglish = QStringLiteral("English");

// A flag column may hold 1/0 (SQLite), or "True"/"False" from an imported file.
bool flagSet(const QVariant& value)
{
    if (value.isNull())
        return false;
    const QString text = value.toString().trimmed();
    return text.compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0 ||
           text.compare(QStringLiteral("yes"), Qt::CaseInsensitive) == 0 ||
           (!text.isEmpty() && text != QStringLiteral("0") && text.toLongLong() != 0);
}

// Table and column names come from settings; they are quoted, never pasted.
QString quoted(const QString& identifier)
{
    QString inner = identifier;
    inner.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + inner + QLatin1Char('"');
}

QString sqlError(const QSqlQuery& query)
{
    const QString text = query.lastError().text().trimmed();
    return text.isEmpty() ? QStringLiteral("unknown database error") : text;
}

} // namespace

const QStringList& LanguageDatabase::languageColumns()
{
    static const QStringList columns = {QStringLiteral("German"),
                                        QStringLiteral("Spanish"),
                                        QStringLiteral("Dutch"),
                                        QStringLiteral("Norwegian"),
                                        QStringLiteral("French"),
                                        QStringLiteral("Swedish"),
                                        kEnglish};
    return columns;
}

LanguageDatabase::LanguageDatabase()
{
    static quint64 counter = 0;
    m_connection = QStringLiteral("phonavo-langdata-%1").arg(++counter);
}

LanguageDatabase::~LanguageDatabase()
{
    close();
}

bool LanguageDatabase::fail(const QString& message)
{
    m_error = message;
    close();
    return false;
}

LanguageDatabase::Column
LanguageDatabase::describeColumn(const QList<QPair<QString, QString>>& columns, const QString& name)
{
    Column column;
    for (const auto& [columnName, type] : columns) {
        if (columnName.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        column.found = true;
        const QString upper = type.toUpper();
        // SQLite's own rule for text affinity, plus the Access name for long text.
        column.text = upper.contains(QStringLiteral("CHAR")) ||
                      upper.contains(QStringLiteral("TEXT")) ||
                      upper.contains(QStringLiteral("CLOB")) ||
                      upper.contains(QStringLiteral("MEMO")) || upper.isEmpty();
        static const QRegularExpression sized(QStringLiteral("CHAR\\s*\\(\\s*(\\d+)\\s*\\)"));
        const QRegularExpressionMatch match = sized.match(upper);
        if (match.hasMatch())
            column.size = match.captured(1).toInt();
        break;
    }
    return column;
}

bool LanguageDatabase::open(const Options& options)
{
    close();
    m_error.clear();
    m_options = options;
    if (options.languageColumn.trimmed().isEmpty())
        return fail(QStringLiteral("No language column given"));
    // SQLite would create a missing file when opened for writing.
    const QFileInfo file(options.path);
    if (!file.isFile())
        return fail(QStringLiteral("The file %1 does not exist").arg(options.path));

    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        db.setDatabaseName(options.path);
        if (options.readOnly)
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (!db.open()) {
            const QString error = db.lastError().text().trimmed();
            db = QSqlDatabase(); // the connection is removed on failure
            return fail(QStringLiteral("Cannot open %1: %2").arg(options.path, error));
        }
    }
    m_open = true;

    // Statements are gone before a failure removes their connection.
    QList<QPair<QString, QString>> columns;
    QString tableError;
    {
        QSqlQuery info(QSqlDatabase::database(m_connection, false));
        if (!info.exec(QStringLiteral("PRAGMA table_info(") + quoted(options.table) +
                       QLatin1Char(')')))
            tableError = sqlError(info);
        while (info.next())
            columns.append({info.value(1).toString(), info.value(2).toString()});
    }
    if (!tableError.isEmpty())
        return fail(
            QStringLiteral("%1 is not a language database: %2").arg(options.path, tableError));
    if (columns.isEmpty())
        return fail(QStringLiteral("The language database %1 has no table %2")
                        .arg(options.path, options.table));

    const Column native = describeColumn(columns, options.nativeColumn);
    const Column language = describeColumn(columns, options.languageColumn);
    if (!native.found)
        return fail(QStringLiteral("Column %1 not found in table %2")
                        .arg(options.nativeColumn, options.table));
    if (!language.found)
        return fail(QStringLiteral("Language %1 not found in Language Database")
                        .arg(options.languageColumn));
    if (!language.text)
        return fail(
            QStringLiteral("Language column %1 is not a text column").arg(options.languageColumn));
    if (!describeColumn(columns, kNative).found)
        return fail(QStringLiteral("Column Native not found in table %1").arg(options.table));
    m_hasSkip = describeColumn(columns, QStringLiteral("bSkip")).found;
    m_hasEnglish = describeColumn(columns, kEnglish).text;
    m_maxPhraseLength = language.size;
    return loadRows();
}

bool LanguageDatabase::loadRows()
{
    const bool rekeyed = m_options.nativeColumn.compare(kNative, Qt::CaseInsensitive) != 0;
    const bool readsNative = m_options.languageColumn.compare(kNative, Qt::CaseInsensitive) == 0;
    QString sql =
        QStringLiteral("SELECT ") + quoted(m_options.nativeColumn) + QLatin1Char(',') +
        quoted(m_options.languageColumn) + QLatin1Char(',') + quoted(kNative) + QLatin1Char(',') +
        (m_hasSkip ? quoted(QStringLiteral("bSkip")) : QStringLiteral("0")) + QLatin1Char(',') +
        (m_hasEnglish ? quoted(kEnglish) : QStringLiteral("NULL")) + QStringLiteral(" FROM ") +
        quoted(m_options.table) + QStringLiteral(" ORDER BY rowid");
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.setForwardOnly(true);
    if (!query.exec(sql)) {
        const QString error = sqlError(query);
        query = QSqlQuery(); // gone before its connection
        return fail(QStringLiteral("Cannot read table %1: %2").arg(m_options.table, error));
    }
    while (query.next()) {
        const QString nativeText = query.value(2).toString();
        QString key = query.value(0).toString();
        // Searching by another language (after a language change): a row that
        // language leaves empty was shown in its native form.
        if (rekeyed && key.isEmpty())
            key = nativeText;
        if (key.isEmpty() || m_texts.contains(key))
            continue;                                      // the first row of a text wins
        const QString foreign = query.value(1).toString(); // null reads as empty
        const bool skip = flagSet(query.value(3));
        // A native text that is not English has its English form in column
        // English, shown wherever the native text would be.
        const QString english = query.value(4).toString();
        if (!english.isEmpty() && (skip || readsNative || foreign.isEmpty()))
            m_texts.insert(key, english);
        else
            m_texts.insert(key, skip ? nativeText : foreign);
        if (!foreign.isEmpty())
            m_foreign.insert(foreign);
    }
    return true;
}

void LanguageDatabase::close()
{
    m_texts.clear();
    m_foreign.clear();
    m_open = false;
    m_hasSkip = false;
    m_hasEnglish = false;
    m_maxPhraseLength = 0;
    if (QSqlDatabase::contains(m_connection)) {
        QSqlDatabase::database(m_connection, false).close();
        QSqlDatabase::removeDatabase(m_connection);
    }
}

bool LanguageDatabase::create(const QString& path, const QString& table, QString* error)
{
    auto failed = [error](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    if (QFileInfo::exists(path))
        return failed(QStringLiteral("The file %1 exists already").arg(path));
    const QString connection = QStringLiteral("phonavo-langdata-create");
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        if (!db.open()) {
            failed(db.lastError().text());
        } else {
            QString sql = QStringLiteral("CREATE TABLE ") + quoted(table) +
                          QStringLiteral(" (Native VARCHAR(255) NOT NULL");
            for (const QString& language : languageColumns())
                sql += QStringLiteral(", ") + language + QStringLiteral(" VARCHAR(255)");
            sql += QStringLiteral(", bSkip BOOLEAN NOT NULL DEFAULT 0"
                                  ", bIsUsed BOOLEAN NOT NULL DEFAULT 0)");
            QSqlQuery query(db);
            ok = query.exec(sql) &&
                 query.exec(QStringLiteral("CREATE INDEX ") +
                            quoted(table + QStringLiteral("_Native")) + QStringLiteral(" ON ") +
                            quoted(table) + QStringLiteral(" (Native)"));
            if (!ok)
                failed(sqlError(query));
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(connection);
    return ok;
}

bool LanguageDatabase::clearUsedMarks()
{
    if (!m_open || m_options.readOnly) {
        m_error = QStringLiteral("The language database is not open for writing");
        return false;
    }
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!query.exec(QStringLiteral("UPDATE ") + quoted(m_options.table) +
                    QStringLiteral(" SET bIsUsed = 0"))) {
        m_error = sqlError(query);
        return false;
    }
    return true;
}

bool LanguageDatabase::markUsed(const QString& native)
{
    if (!m_open || m_options.readOnly) {
        m_error = QStringLiteral("The language database is not open for writing");
        return false;
    }
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery find(db);
    find.prepare(QStringLiteral("SELECT rowid, Native FROM ") + quoted(m_options.table) +
                 QStringLiteral(" WHERE Native = ? ORDER BY rowid"));
    find.addBindValue(native);
    if (!find.exec()) {
        m_error = sqlError(find);
        return false;
    }
    // A column declared NOCASE would match more than the exact text.
    qlonglong row = -1;
    while (find.next()) {
        if (find.value(1).toString() == native) {
            row = find.value(0).toLongLong();
            break;
        }
    }
    find.finish();

    QSqlQuery write(db);
    if (row >= 0) {
        write.prepare(QStringLiteral("UPDATE ") + quoted(m_options.table) +
                      QStringLiteral(" SET bIsUsed = 1 WHERE rowid = ?"));
        write.addBindValue(row);
    } else {
        write.prepare(QStringLiteral("INSERT INTO ") + quoted(m_options.table) +
                      QStringLiteral(" (Native, bIsUsed) VALUES (?, 1)"));
        write.addBindValue(native);
    }
    if (!write.exec()) {
        m_error = sqlError(write);
        return false;
    }
    if (row < 0 && !m_texts.contains(native)) {
        const bool nativeIsLanguage =
            m_options.languageColumn.compare(kNative, Qt::CaseInsensitive) == 0;
        m_texts.insert(native, nativeIsLanguage ? native : QString());
    }
    return true;
}

std::optional<QString> LanguageDatabase::lookup(const QString& native) const
{
    const auto it = m_texts.constFind(native);
    if (it == m_texts.cend())
        return std::nullopt;
    return *it;
}

bool LanguageDatabase::containsForeign(const QString& text) const
{
    return m_foreign.contains(text);
}

void LanguageDatabase::exportMissing(const QString& native)
{
    // A read-only database (the usual case) simply does not collect texts.
    if (m_open && !m_options.readOnly)
        markUsed(native);
}
