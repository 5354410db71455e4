#include "ConnectionString.h"

#include <QSqlDatabase>
#include <QStringList>

ConnectionString ConnectionString::parse(const QString& text)
{
    ConnectionString cs;
    cs.m_text = text;
    for (const auto& [key, value] : splitPairs(text))
        cs.m_values.insert(key.toLower(), value);
    const QString provider = cs.value(QStringLiteral("Provider")).toLower();
    if (provider == QLatin1String("sqlite"))
        cs.m_engine = Engine::SQLite;
    else if (provider == QLatin1String("postgresql") || provider == QLatin1String("postgres"))
        cs.m_engine = Engine::PostgreSQL;
    else if (provider == QLatin1String("mysql") || provider == QLatin1String("mariadb"))
        cs.m_engine = Engine::MySQL;
    else if (provider == QLatin1String("odbc"))
        cs.m_engine = Engine::ODBC;
    return cs;
}

ConnectionString::Pairs ConnectionString::splitPairs(const QString& text)
{
    Pairs pairs;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype end = text.indexOf(QLatin1Char(';'), i);
        const qsizetype eq = text.indexOf(QLatin1Char('='), i);
        if (eq < 0 || (end >= 0 && end < eq)) {
            // A part without '=' says nothing.
            i = end < 0 ? n : end + 1;
            continue;
        }
        const QString key = text.mid(i, eq - i).trimmed();
        qsizetype v = eq + 1;
        while (v < n && text.at(v).isSpace() && text.at(v) != QLatin1Char(';'))
            ++v;
        QString value;
        if (v < n && (text.at(v) == QLatin1Char('"') || text.at(v) == QLatin1Char('\''))) {
            const QChar quote = text.at(v);
            qsizetype c = v + 1;
            for (; c < n; ++c) {
                if (text.at(c) != quote) {
                    value += text.at(c);
                } else if (c + 1 < n && text.at(c + 1) == quote) {
                    value += quote;
                    ++c;
                } else {
                    break;
                }
            }
            // Anything between the closing quote and the next ';' is dropped.
            const qsizetype next = c < n ? text.indexOf(QLatin1Char(';'), c) : -1;
            i = next < 0 ? n : next + 1;
        } else {
            const qsizetype stop = end < 0 ? n : end;
            value = text.mid(v, stop - v).trimmed();
            i = stop + 1;
        }
        if (!key.isEmpty())
            pairs.append({key, value});
    }
    return pairs;
}

QString ConnectionString::quoteValue(const QString& value)
{
    const bool plain = !value.contains(QLatin1Char(';')) && value == value.trimmed() &&
                       !value.startsWith(QLatin1Char('"')) && !value.startsWith(QLatin1Char('\''));
    if (plain)
        return value;
    QString doubled = value;
    doubled.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + doubled + QLatin1Char('"');
}

QString ConnectionString::compose(const Pairs& pairs)
{
    QStringList parts;
    for (const auto& [key, value] : pairs)
        parts << key + QLatin1Char('=') + quoteValue(value);
    return parts.join(QLatin1Char(';'));
}

QString ConnectionString::forSQLite(const QString& filePath)
{
    return QStringLiteral("Provider=SQLite;Data Source=") + quoteValue(filePath);
}

QString ConnectionString::value(const QString& key) const
{
    return m_values.value(key.toLower());
}

bool ConnectionString::readOnly() const
{
    return value(QStringLiteral("Mode")).compare(QLatin1String("Read"), Qt::CaseInsensitive) == 0;
}

Result<bool> ConnectionString::configure(const QString& connectionName) const
{
    QString driver;
    switch (m_engine) {
    case Engine::SQLite:
        driver = QStringLiteral("QSQLITE");
        break;
    case Engine::PostgreSQL:
        driver = QStringLiteral("QPSQL");
        break;
    case Engine::MySQL:
        driver = QStringLiteral("QMYSQL");
        break;
    case Engine::ODBC:
        driver = QStringLiteral("QODBC");
        break;
    case Engine::Unknown:
        return Result<bool>::fail(QStringLiteral("Unknown database provider \"%1\" in \"%2\"")
                                      .arg(value(QStringLiteral("Provider")), m_text));
    }
    if (!QSqlDatabase::isDriverAvailable(driver))
        return Result<bool>::fail(
            QStringLiteral("The database driver %1 is not installed").arg(driver));
    if (QSqlDatabase::contains(connectionName))
        QSqlDatabase::removeDatabase(connectionName);
    QSqlDatabase db = QSqlDatabase::addDatabase(driver, connectionName);
    if (m_engine == Engine::SQLite || m_engine == Engine::ODBC) {
        db.setDatabaseName(value(QStringLiteral("Data Source")));
    } else {
        db.setHostName(value(QStringLiteral("Host")));
        if (const int port = value(QStringLiteral("Port")).toInt(); port > 0)
            db.setPort(port);
        db.setDatabaseName(value(QStringLiteral("Database")));
        db.setUserName(value(QStringLiteral("User ID")));
        db.setPassword(value(QStringLiteral("Password")));
    }
    // A server that does not answer must not hold up the program for the
    // system's TCP time-out: opening happens on the event loop's thread.
    switch (m_engine) {
    case Engine::SQLite:
        db.setConnectOptions(
            QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1%2")
                .arg(kSqliteBusyTimeoutMs)
                .arg(readOnly() ? QStringLiteral(";QSQLITE_OPEN_READONLY") : QString()));
        break;
    case Engine::PostgreSQL:
        db.setConnectOptions(QStringLiteral("connect_timeout=%1").arg(kConnectTimeoutSeconds));
        break;
    case Engine::MySQL:
        db.setConnectOptions(
            QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=%1").arg(kConnectTimeoutSeconds));
        break;
    case Engine::ODBC:
        db.setConnectOptions(
            QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(kConnectTimeoutSeconds));
        break;
    case Engine::Unknown:
        break;
    }
    return Result<bool>::ok(true);
}
