#include "SqlCallStore.h"

#include "CallDatabase.h"
#include "core/calls/CCall.h"
#include "platform/Clock.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {

constexpr qint32 kFirstPluginDeviceId = 1000;
const QString kDateFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz");

} // namespace

SqlCallStore::SqlCallStore(CallDatabase& database, Hooks hooks)
    : m_db(database), m_hooks(std::move(hooks))
{}

QDateTime SqlCallStore::durationValue(qint64 seconds)
{
    return QDateTime(QDate(1899, 12, 30), QTime(0, 0)).addSecs(qMax<qint64>(0, seconds));
}

QVariant SqlCallStore::dateValue(const QDateTime& t) const
{
    // SQLite has no date type: keep the text form its column default uses.
    if (m_db.engine() == ConnectionString::Engine::SQLite)
        return t.toString(kDateFormat);
    return t;
}

QDateTime SqlCallStore::readDate(const QVariant& v)
{
    if (v.isNull())
        return {};
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime();
    QDateTime t = QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
    if (!t.isValid())
        t = QDateTime::fromString(v.toString(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return t;
}

QString SqlCallStore::cut(const QString& column, const QString& text) const
{
    const int size = m_db.columnSize(column);
    return size > 0 ? text.left(size) : text;
}

bool SqlCallStore::SaveCall(CCall& call)
{
    bool written = false;
    if (!m_hooks.addToCallHistory || m_hooks.addToCallHistory()) {
        try {
            // One transaction per save: the row never shows half a change, and
            // the database commits once.
            QSqlDatabase db = m_db.database();
            const bool inTransaction = m_db.isOpen() && db.transaction();
            const CCall before = call;
            written = writeCall(call);
            if (inTransaction && !(written ? db.commit() : db.rollback()) && written) {
                written = false;
                call = before;
            }
        } catch (const std::exception& e) {
            if (m_hooks.reportError)
                m_hooks.reportError(QString::fromLocal8Bit(e.what()));
        }
    }
    if (m_hooks.historyChanged)
        m_hooks.historyChanged();
    return written;
}

QSqlQuery* SqlCallStore::run(const QString& sql, const QVariantList& values)
{
    QString error;
    QSqlQuery* query = m_db.prepared(sql, &error);
    if (!query) {
        if (m_hooks.reportError)
            m_hooks.reportError(QStringLiteral("SaveCall: ") + error);
        return nullptr;
    }
    for (int i = 0; i < values.size(); ++i)
        query->bindValue(i, values.at(i));
    if (!query->exec()) {
        // Done with the statement before reporting: the report may show a box
        // whose event loop reopens the database, and the statement with it.
        const QString error = query->lastError().text();
        query->finish();
        if (m_hooks.reportError)
            m_hooks.reportError(QStringLiteral("SaveCall: ") + error);
        return nullptr;
    }
    // A finished write leaves no statement open to hold the database's lock.
    if (!query->isSelect())
        query->finish();
    return query;
}

bool SqlCallStore::writeCall(CCall& call)
{
    if (!m_db.isOpen()) {
        if (m_hooks.reportError)
            m_hooks.reportError(
                QStringLiteral("No call database is open: call %1 not saved").arg(call.CallID));
        return false;
    }
    const QDateTime now = Clock::instance().now();
    if (!call.isSaved()) {
        const qint32 id = m_db.GetNextId(QStringLiteral("Calls"), QStringLiteral("CallID"), 1);
        QString device;
        if (m_hooks.deviceName)
            device = m_hooks.deviceName(call.lDeviceID);
        if (!run(QStringLiteral("INSERT INTO Calls (CallID, New, CalledDevice, Answered, Incoming) "
                                "VALUES (?, ?, ?, ?, ?)"),
                 {id, true, device.trimmed(), call.Answered(), !call.Outgoing}))
            return false;
        call.DBCallID = id;
        call.CallStart = now;
        call.setSaved(true);
    }
    QSqlQuery* row = run(QStringLiteral("SELECT CallDate, CallEnd FROM Calls WHERE CallID = ?"),
                         {call.DBCallID});
    if (!row)
        return false;
    if (!row->next()) {
        row->finish();
        if (m_hooks.log)
            m_hooks.log(QStringLiteral("Saved call not found: %1").arg(call.DBCallID));
        return false;
    }
    const QDateTime callDate = readDate(row->value(0));
    const bool hasEnd = !row->value(1).isNull();
    row->finish();

    if (!call.IsConnected() && call.Answered() && !hasEnd) {
        if (!run(QStringLiteral("UPDATE Calls SET CallEnd = ?, CallDuration = ? WHERE CallID = ?"),
                 {dateValue(now),
                  dateValue(durationValue(callDate.isValid() ? callDate.secsTo(now) : 0)),
                  call.DBCallID}))
            return false;
        call.CallEnd = now;
    }

    if (!run(QStringLiteral(
                 "UPDATE Calls SET CallerID = ?, CallerName = ?, CallerGUID = ?, CallerExtra = ?, "
                 "CalledID = ?, CalledName = ?, CalledGUID = ?, CalledExtra = ?, Answered = ?, "
                 "Incoming = ? WHERE CallID = ?"),
             {cut(QStringLiteral("CallerID"), call.CallerID()),
              cut(QStringLiteral("CallerName"),
                  call.CallerName == QLatin1String("0") ? QString() : call.CallerName),
              cut(QStringLiteral("CallerGUID"), call.CallerGUID),
              cut(QStringLiteral("CallerExtra"), call.CallerExtra),
              cut(QStringLiteral("CalledID"), call.CalledID()),
              cut(QStringLiteral("CalledName"), call.CalledName),
              cut(QStringLiteral("CalledGUID"), call.CalledGUID),
              cut(QStringLiteral("CalledExtra"), call.CalledExtra), call.Answered(), !call.Outgoing,
              call.DBCallID}))
        return false;
    call.setSaved(true);
    return true;
}

bool SqlCallStore::LoadCall(CCall& call, qint32 dbCallId)
{
    if (!m_db.isOpen())
        return false;
    QSqlQuery* found = m_db.prepared(QStringLiteral(
        "SELECT CallerID, CallerName, CallerGUID, CallerExtra, CalledID, CalledName, CalledGUID, "
        "CalledExtra, CalledDevice, Answered, Incoming, CallDate, CallEnd FROM Calls "
        "WHERE CallID = ?"));
    if (!found)
        return false;
    found->bindValue(0, dbCallId);
    if (!found->exec() || !found->next()) {
        found->finish();
        return false;
    }
    // Read into a record, so the statement is free again before anything else runs.
    const QSqlRecord record = found->record();
    QVariantList values;
    for (int i = 0; i < record.count(); ++i)
        values << found->value(i);
    found->finish();
    const auto value = [&values](int i) { return values.value(i); };
    call.DBCallID = dbCallId;
    call.lDeviceID = -1;
    const QString device = value(8).toString();
    if (!device.isEmpty() && m_hooks.deviceIdFromName)
        call.lDeviceID = m_hooks.deviceIdFromName(device);
    call.setCallerID(value(0).toString());
    call.CallerName = value(1).toString();
    call.CallerGUID = value(2).toString();
    call.CallerExtra = value(3).toString();
    call.setCalledID(value(4).toString());
    call.CalledName = value(5).toString();
    call.CalledGUID = value(6).toString();
    call.CalledExtra = value(7).toString();
    call.setAnsweredFromStore(value(9).toBool());
    call.Outgoing = !value(10).toBool();
    call.CallStart = readDate(value(11));
    if (!value(12).isNull())
        call.CallEnd = readDate(value(12));
    call.setSaved(true);
    return true;
}

bool SqlCallStore::deleteCall(qint32 dbCallId)
{
    QSqlQuery q(m_db.database());
    q.prepare(QStringLiteral("DELETE FROM Calls WHERE CallID = ?"));
    q.addBindValue(dbCallId);
    return q.exec();
}

bool SqlCallStore::deleteAll()
{
    QSqlQuery q(m_db.database());
    return q.exec(QStringLiteral("DELETE FROM Calls"));
}
