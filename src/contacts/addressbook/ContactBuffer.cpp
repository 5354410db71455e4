#include "ContactBuffer.h"

#include "platform/AppPaths.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace {

int g_instances = 0;

const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS ContactBuffer (pattern TEXT, contactid TEXT, phonenumber TEXT)",
    "CREATE INDEX IF NOT EXISTS ContactBufferPattern ON ContactBuffer (pattern)",
    "CREATE TABLE IF NOT EXISTS ContactFiles (contactid TEXT PRIMARY KEY, path TEXT)",
    // Changes with every rebuild, so a copy of the rows knows when it is stale.
    "CREATE TABLE IF NOT EXISTS BufferInfo (stamp TEXT)",
};

inline char folded(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// A piece of a pattern without "%" at this place of the value.
inline bool segmentAt(QByteArrayView value, qsizetype at, QByteArrayView segment)
{
    if (at + segment.size() > value.size())
        return false;
    for (qsizetype i = 0; i < segment.size(); ++i)
        if (segment[i] != '_' && folded(segment[i]) != folded(value[at + i]))
            return false;
    return true;
}

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
            // Readers keep their snapshot while a rebuild writes. The file
            // keeps the mode and the tables, so once per run is enough.
            if (!m_schemaReady)
                q.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
            for (const char* statement : kSchema) {
                if (m_schemaReady)
                    break;
                if (!q.exec(QString::fromLatin1(statement))) {
                    m_error = q.lastError().text();
                    ok = false;
                    break;
                }
            }
            m_schemaReady = ok;
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

ContactBuffer::LikePattern::LikePattern(QByteArrayView pattern) : m_pattern(pattern.toByteArray())
{
    const QByteArrayView p(m_pattern);
    qsizetype from = 0;
    for (qsizetype i = 0; i <= p.size(); ++i)
        if (i == p.size() || p[i] == '%') {
            m_pieces.push_back(p.sliced(from, i - from));
            from = i + 1;
        }
}

bool ContactBuffer::LikePattern::matches(QByteArrayView value) const
{
    // Pieces between "%" have a fixed length, so taking each at its first
    // place after the one before finds a match whenever there is one.
    if (m_pieces.size() == 1)
        return value.size() == m_pattern.size() && segmentAt(value, 0, m_pieces.front());
    if (!segmentAt(value, 0, m_pieces.front()))
        return false;
    qsizetype at = m_pieces.front().size();
    const QByteArrayView last = m_pieces.back();
    const qsizetype lastAt = value.size() - last.size();
    if (lastAt < at || !segmentAt(value, lastAt, last))
        return false;
    const char* text = value.data();
    for (size_t p = 1; p + 1 < m_pieces.size(); ++p) {
        const QByteArrayView piece = m_pieces[p];
        const char c = piece.isEmpty() ? '\0' : piece.front();
        if (piece.size() == 1 && c != '_' && folded(c) == c && (c < 'a' || c > 'z')) {
            // One digit between "%": the common case, kept tight.
            while (at < lastAt && text[at] != c)
                ++at;
            if (at >= lastAt)
                return false;
            ++at;
            continue;
        }
        while (at + piece.size() <= lastAt && !segmentAt(value, at, piece))
            ++at;
        if (at + piece.size() > lastAt)
            return false;
        at += piece.size();
    }
    return true;
}

bool ContactBuffer::loadPatterns()
{
    QSqlDatabase db = QSqlDatabase::database(m_lookupName, false);
    QSqlQuery stamp(db);
    QString current;
    if (stamp.exec(QStringLiteral("SELECT stamp FROM BufferInfo")) && stamp.next())
        current = stamp.value(0).toString();
    if (!m_rowids.empty() && current == m_patternsStamp)
        return true;
    m_patterns.clear();
    m_starts.clear();
    m_rowids.clear();
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT rowid, pattern FROM ContactBuffer ORDER BY rowid"))) {
        m_error = q.lastError().text();
        return false;
    }
    while (q.next()) {
        m_rowids.push_back(q.value(0).toLongLong());
        m_starts.push_back(m_patterns.size());
        m_patterns += q.value(1).toString().toUtf8();
    }
    m_starts.push_back(m_patterns.size());
    m_patternsStamp = current;
    return true;
}

std::optional<ContactBuffer::Row> ContactBuffer::findPattern(const QString& likePattern)
{
    if ((!isOpen() && !open()) || !loadPatterns())
        return std::nullopt;
    const LikePattern pattern(likePattern.toUtf8());
    const QByteArrayView all(m_patterns);
    for (size_t i = 0; i < m_rowids.size(); ++i) {
        if (!pattern.matches(all.sliced(m_starts[i], m_starts[i + 1] - m_starts[i])))
            continue;
        QSqlQuery q(QSqlDatabase::database(m_lookupName, false));
        q.prepare(
            QStringLiteral("SELECT contactid, phonenumber FROM ContactBuffer WHERE rowid = ?"));
        q.addBindValue(m_rowids[i]);
        if (q.exec() && q.next())
            return Row{q.value(0).toString(), q.value(1).toString()};
        // Rows changed under the copy: ask the table itself.
        m_rowids.clear();
        return findOne(QStringLiteral("pattern LIKE ?"), likePattern);
    }
    return std::nullopt;
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
        !q.exec(QStringLiteral("DELETE FROM ContactFiles")) ||
        !q.exec(QStringLiteral("DELETE FROM BufferInfo"))) {
        m_error = q.lastError().isValid() ? q.lastError().text() : db.lastError().text();
        db.rollback();
        return false;
    }
    q.prepare(QStringLiteral("INSERT INTO BufferInfo (stamp) VALUES (?)"));
    q.addBindValue(QUuid::createUuid().toString());
    q.exec();
    m_insert = std::make_unique<QSqlQuery>(db);
    m_insert->prepare(QStringLiteral(
        "INSERT INTO ContactBuffer (pattern, contactid, phonenumber) VALUES (?, ?, ?)"));
    m_insertFile = std::make_unique<QSqlQuery>(db);
    m_insertFile->prepare(
        QStringLiteral("INSERT OR REPLACE INTO ContactFiles (contactid, path) VALUES (?, ?)"));
    m_rebuilding = true;
    return true;
}

bool ContactBuffer::add(const QString& pattern, const QString& contactId,
                        const QString& phoneNumber)
{
    if (!m_rebuilding)
        return false;
    m_insert->bindValue(0, pattern);
    m_insert->bindValue(1, contactId);
    m_insert->bindValue(2, phoneNumber);
    if (m_insert->exec())
        return true;
    m_error = m_insert->lastError().text();
    return false;
}

bool ContactBuffer::addFile(const QString& contactId, const QString& file)
{
    if (!m_rebuilding)
        return false;
    m_insertFile->bindValue(0, contactId);
    m_insertFile->bindValue(1, file);
    if (m_insertFile->exec())
        return true;
    m_error = m_insertFile->lastError().text();
    return false;
}

bool ContactBuffer::commitRebuild()
{
    if (!m_rebuilding)
        return false;
    m_rebuilding = false;
    m_insert.reset();
    m_insertFile.reset();
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
    m_insert.reset();
    m_insertFile.reset();
    {
        QSqlDatabase db = QSqlDatabase::database(m_rebuildName, false);
        if (m_rebuilding)
            db.rollback();
        db.close();
    }
    m_rebuilding = false;
    QSqlDatabase::removeDatabase(m_rebuildName);
}
