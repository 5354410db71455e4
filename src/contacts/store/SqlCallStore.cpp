#include "SqlCallStore.h"

#include "CallDatabase.h"
#include "core/calls/CCall.h"
#include "platform/Clock.h"

#include <QSqlError>
#include <QSqlQuery>

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

bool SqlCallStore::writeCall(CCall& call)
{
    if (!m_db.isOpen()) {
        if (m_hooks.reportError)
            m_hooks.reportError(
                QStringLiteral("No call database is open: call %1 not saved").arg(call.CallID));
        return false;
    }
    QSqlDatabase db = m_db.database();
    const QDateTime now = Clock::instance().now();
    const auto fail = [&](const QSqlQuery& q) {
        if (m_hooks.reportError)
            m_hooks.reportError(QStringLiteral("SaveCall: ") + q.lastError().text());
        return false;
    };
    if (!call.isSaved()) {
        const qint32 id = m_db.GetNextId(QStringLiteral("Calls"), QStringLiteral("CallID"), 1);
        QString device;
        if (m_hooks.deviceName)
            device = m_hooks.deviceName(call.lDeviceID);
        QSqlQuery insert(db);
        insert.prepare(
            QStringLiteral("INSERT INTO Calls (CallID, New, CalledDevice, Answered, Incoming) "
                           "VALUES (?, ?, ?, ?, ?)"));
        insert.addBindValue(id);
        insert.addBindValue(true);
        insert.addBindValue(device.trimmed());
        insert.addBindValue(call.Answered());
        insert.addBindValue(!call.Outgoing);
        if (!insert.exec())
            return fail(insert);
        call.DBCallID = id;
        call.CallStart = now;
        call.setSaved(true);
    }
    QSqlQuery row(db);
    row.prepare(QStringLiteral("SELECT CallDate, CallEnd FROM Calls WHERE CallID = ?"));
    row.addBindValue(call.DBCallID);
    if (!row.exec())
        return fail(row);
    if (!row.next()) {
        if (m_hooks.log)
            m_hooks.log(QStringLiteral("Saved call not found: %1").arg(call.DBCallID));
        return false;
    }
    const QDateTime callDate = readDate(row.value(0));
    const bool hasEnd = !row.value(1).isNull();
    row.finish();

    if (!call.IsConnected() && call.Answered() && !hasEnd) {
        QSqlQuery end(db);
        end.prepare(
            QStringLiteral("UPDATE Calls SET CallEnd = ?, CallDuration = ? WHERE CallID = ?"));
        end.addBindValue(dateValue(now));
        end.addBindValue(dateValue(durationValue(callDate.isValid() ? callDate.secsTo(now) : 0)));
        end.addBindValue(call.DBCallID);
        if (!end.exec())
            return fail(end);
        call.CallEnd = now;
    }

    QSqlQuery update(db);
    update.prepare(QStringLiteral(
        "UPDATE Calls SET CallerID = ?, CallerName = ?, CallerGUID = ?, CallerExtra = ?, "
        "CalledID = ?, CalledName = ?, CalledGUID = ?, CalledExtra = ?, Answered = ?, "
        "Incoming = ? WHERE CallID = ?"));
    update.addBindValue(cut(QStringLiteral("CallerID"), call.CallerID()));
    update.addBindValue(cut(QStringLiteral("CallerName"),
                            call.CallerName == QLatin1String("0") ? QString() : call.CallerName));
    update.addBindValue(cut(QStringLiteral("CallerGUID"), call.CallerGUID));
    update.addBindValue(cut(QStringLiteral("CallerExtra"), call.CallerExtra));
    update.addBindValue(cut(QStringLiteral("CalledID"), call.CalledID()));
    update.addBindValue(cut(QStringLiteral("CalledName"), call.CalledName));
    update.addBindValue(cut(QStringLiteral("CalledGUID"), call.CalledGUID));
    update.addBindValue(cut(QStringLiteral("CalledExtra"), call.CalledExtra));
    update.addBindValue(call.Answered());
    update.addBindValue(!call.Outgoing);
    update.addBindValue(call.DBCallID);
    if (!update.exec())
        return fail(update);
    call.setSaved(true);
    return true;
}

bool SqlCallStore::LoadCall(CCall& call, qint32 dbCallId)
{
    if (!m_db.isOpen())
        return false;
    QSqlQuery q(m_db.database());
    q.prepare(QStringLiteral(
        "SELECT CallerID, CallerName, CallerGUID, CallerExtra, CalledID, CalledName, CalledGUID, "
        "CalledExtra, CalledDevice, Answered, Incoming, CallDate, CallEnd FROM Calls "
        "WHERE CallID = ?"));
    q.addBindValue(dbCallId);
    if (!q.exec() || !q.next())
        return false;
    call.DBCallID = dbCallId;
    call.lDeviceID = -1;
    const QString device = q.value(8).toString();
    if (!device.isEmpty() && m_hooks.deviceIdFromName)
        call.lDeviceID = m_hooks.deviceIdFromName(device);
    call.setCallerID(q.value(0).toString());
    call.CallerName = q.value(1).toString();
    call.CallerGUID = q.value(2).toString();
    call.CallerExtra = q.value(3).toString();
    call.setCalledID(q.value(4).toString());
    call.CalledName = q.value(5).toString();
    call.CalledGUID = q.value(6).toString();
    call.CalledExtra = q.value(7).toString();
    call.setAnsweredFromStore(q.value(9).toBool());
    call.Outgoing = !q.value(10).toBool();
    call.CallStart = readDate(q.value(11));
    if (!q.value(12).isNull())
        call.CallEnd = readDate(q.value(12));
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
