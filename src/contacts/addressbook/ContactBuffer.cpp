#include "ContactBuffer.h"

#include "platform/AppPaths.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace {

int g_instances = 0;

const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS ContactBuffer (pattern TEXT, contactid TEXT, phonenumber TEXT)",
    "CREATE INDEX IF NOT EXISTS ContactBufferPattern ON ContactBuffer (pattern)",
    "CREATE TABLE IF NOT EXISTS ContactFiles (contactid TEXT PRIMARY KEY, path TEXT)",
};

} // namespace

QString ContactBuffer::defaultPath()
{
    return AppPaths::installDir() + QStringLiteral("pvsystem.db");
}

ContactBuffer::ContactBuffer(QString path) : m_path(std::move(path))
{
    const int n = ++g_instances;
    m_lookupName = QStringLiteral("phonavo-pvsystem-%1").arg(n);
    m_rebuildName = QStringLiteral("phonavo-pvsystem-rebuild-%1").arg(n);
}

ContactBuffer::~ContactBuffer()
{
    abandonRebuild();
    close();
}

bool ContactBuffer::openConnection(const QString& name)
{
    if (QSqlDatabase::contains(name) && QSqlDatabase::database(name, false).isOpen())
        return true;
    if (!AppPaths::ensureParentDir(m_path)) {
        m_error = QStringLiteral("cannot create the folder of %1").arg(m_path);
        return false;
    }
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::contains(name)
                              ? QSqlDatabase::database(name, false)
                              : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(m_path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
        ok = db.open();
        if (!ok) {
            m_error = db.lastError().text();
        } else {
            QSqlQuery q(db);
            // Readers keep their snapshot while a rebuild writes.
            q.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
            for (const char* statement : kSchema)
                if (!q.exec(QString::fromLatin1(statement))) {
                    m_error = q.lastError().text();
                    ok = false;
                    break;
                }
            if (!ok)
                db.close();
        }
    }
    if (!ok)
        QSqlDatabase::removeDatabase(name);
    return ok;
}

bool ContactBuffer::open()
{
    m_error.clear();
    return openConnection(m_lookupName);
}

void ContactBuffer::close()
{
    if (!QSqlDatabase::contains(m_lookupName))
        return;
    QSqlDatabase::database(m_lookupName, false).close();
    QSqlDatabase::removeDatabase(m_lookupName);
}

bool ContactBuffer::isOpen() const
{
    return QSqlDatabase::contains(m_lookupName) &&
           QSqlDatabase::database(m_lookupName, false).isOpen();
}

std::optional<ContactBuffer::Row> ContactBuffer::findOne(const QString& condition,
                                                         const QString& value)
{
    if (!isOpen() && !open())
        return std::nullopt;
    QSqlQuery q(QSqlDatabase::database(m_lookupName, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT contactid, phonenumber FROM ContactBuffer WHERE ") +
              condition + QStringLiteral(" LIMIT 1"));
    q.addBindValue(value);
    if (!q.exec()) {
        m_error = q.lastError().text();
        return std::nullopt;
    }
    if (!q.next())
        return std::nullopt;
    return Row{q.value(0).toString(), q.value(1).toString()};
}

std::optional<ContactBuffer::Row> ContactBuffer::findExact(const QString& digits)
{
    // A digit string holds no wildcard, so equality is the same match as LIKE
    // and can use the index.
    return findOne(QStringLiteral("pattern = ?"), digits);
}

std::optional<ContactBuffer::Row> ContactBuffer::findPattern(const QString& likePattern)
{
    return findOne(QStringLiteral("pattern LIKE ?"), likePattern);
}

QString ContactBuffer::fileOf(const QString& contactId)
{
    if (!isOpen() && !open())
        return QString();
    QSqlQuery q(QSqlDatabase::database(m_lookupName, false));
    q.prepare(QStringLiteral("SELECT path FROM ContactFiles WHERE contactid = ?"));
    q.addBindValue(contactId);
    if (q.exec() && q.next())
        return q.value(0).toString();
    return QString();
}

bool ContactBuffer::beginRebuild()
{
    abandonRebuild();
    m_error.clear();
    if (!openConnection(m_rebuildName))
        return false;
    QSqlDatabase db = QSqlDatabase::database(m_rebuildName, false);
    QSqlQuery q(db);
    if (!db.transaction() || !q.exec(QStringLiteral("DELETE FROM ContactBuffer")) ||
        !q.exec(QStringLiteral("DELETE FROM ContactFiles"))) {
        m_error = q.lastError().isValid() ? q.lastError().text() : db.lastError().text();
        db.rollback();
        return false;
    }
    m_rebuilding = true;
    return true;
}

bool ContactBuffer::add(const QString& pattern, const QString& contactId,
                        const QString& phoneNumber)
{
    if (!m_rebuilding)
        return false;
    QSqlQuery q(QSqlDatabase::database(m_rebuildName, false));
    q.prepare(QStringLiteral(
        "INSERT INTO ContactBuffer (pattern, contactid, phonenumber) VALUES (?, ?, ?)"));
    q.addBindValue(pattern);
    q.addBindValue(contactId);
    q.addBindValue(phoneNumber);
    if (q.exec())
        return true;
    m_error = q.lastError().text();
    return false;
}

bool ContactBuffer::addFile(const QString& contactId, const QString& file)
{
    if (!m_rebuilding)
        return false;
    QSqlQuery q(QSqlDatabase::database(m_rebuildName, false));
    q.prepare(
        QStringLiteral("INSERT OR REPLACE INTO ContactFiles (contactid, path) VALUES (?, ?)"));
    q.addBindValue(contactId);
    q.addBindValue(file);
    if (q.exec())
        return true;
    m_error = q.lastError().text();
    return false;
}

bool ContactBuffer::commitRebuild()
{
    if (!m_rebuilding)
        return false;
    m_rebuilding = false;
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::database(m_rebuildName, false);
        ok = db.commit();
        if (!ok) {
            m_error = db.lastError().text();
            db.rollback();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(m_rebuildName);
    return ok;
}

void ContactBuffer::abandonRebuild()
{
    if (!QSqlDatabase::contains(m_rebuildName))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_rebuildName, false);
        if (m_rebuilding)
            db.rollback();
        db.close();
    }
    m_rebuilding = false;
    QSqlDatabase::removeDatabase(m_rebuildName);
}
