#include "SqlCallStore.h"

#include "CallDatabase.h"
#include "core/calls/CCall.h"
#include "platform/Clock.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <limits>

namespace {

const QString kDateFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz");

QString callPrefix(const CCall& call)
{
    return QLatin1Char('[') + call.CallID + QStringLiteral("] ");
}

} // namespace

SqlCallStore::SqlCallStore(CallDatabase& database, Hooks hooks)
    : m_db(database), m_hooks(std::move(hooks))
{
    m_retry.setSingleShot(true);
    QObject::connect(&m_retry, &QTimer::timeout, [this] { retry(); });
}

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

QString SqlCallStore::GetS(const QString& text, const QStringList& params) const
{
    if (m_hooks.translate)
        return m_hooks.translate(text, params);
    QString filled = text;
    for (const QString& param : params) {
        const auto at = filled.indexOf(QLatin1String("%s"));
        if (at < 0)
            break;
        filled.replace(at, 2, param);
    }
    return filled;
}

void SqlCallStore::log(const QString& line) const
{
    if (m_hooks.log)
        m_hooks.log(line);
}

void SqlCallStore::report(const QString& text) const
{
    if (m_hooks.reportError)
        m_hooks.reportError(text);
}

bool SqlCallStore::reopen(bool replaced)
{
    return m_hooks.reopenDatabase && m_hooks.reopenDatabase(replaced);
}

bool SqlCallStore::SaveCall(CCall& call)
{
    bool written = false;
    if (!m_hooks.addToCallHistory || m_hooks.addToCallHistory()) {
        const QDateTime now = Clock::instance().now();
        m_held.pickUp(call);
        checkDatabaseFile();
        if (m_held.holds(call)) {
            // Its earlier save still waits: this one joins it, so the row is
            // made before it is updated.
            m_held.hold(call, now);
            writeHeld(kBatch);
            m_held.pickUp(call);
            written = !m_held.holds(call) && call.isSaved();
        } else if (!m_held.isEmpty() && writeHeld(kBatch)) {
            keep(call, now); // the database still refuses: no need to wait for it again
        } else {
            const CCall before = call;
            const Outcome outcome = writeInTransaction(call, {now, {}, now});
            written = outcome == Outcome::Written;
            if (outcome == Outcome::Failed) {
                call = before;
                keep(call, now);
                if (reopenBrokenFile()) {
                    writeHeld(kBatch);
                    m_held.pickUp(call);
                }
                written = !m_held.holds(call) && call.isSaved();
            }
        }
    }
    if (m_hooks.historyChanged)
        m_hooks.historyChanged();
    return written;
}

void SqlCallStore::keep(const CCall& call, const QDateTime& at)
{
    if (const auto dropped = m_held.hold(call, at)) {
        const CCall& lost = dropped->record;
        const QString text =
            callPrefix(lost) +
            GetS(QStringLiteral("More than %s calls wait for the call history: the oldest, from "
                                "%s to %s at %s, is dropped."),
                 {QString::number(m_held.limit()), lost.CallerID(), lost.CalledID(),
                  dropped->firstDue.toString(Qt::ISODate)});
        if (!m_outage.toldDropped) {
            m_outage.toldDropped = true;
            report(text);
        } else {
            log(text);
        }
    }
    noteRefusal(&call);
    if (!m_retry.isActive())
        m_retry.start(m_retryMs);
}

void SqlCallStore::noteRefusal(const CCall* call)
{
    const QDateTime now = Clock::instance().now();
    if (!m_outage.active) {
        m_outage = {};
        m_outage.active = true;
        m_outage.since = now;
    }
    // A database that took no writes when it was opened was told about then.
    if (!m_db.writeProblem().isEmpty())
        m_outage.told = true;
    const bool longBusy = m_outage.since.secsTo(now) >= kBusyTellSeconds;
    if (!m_outage.told && (m_failure.kind != SqlFailure::Busy || longBusy)) {
        m_outage.told = true;
        report(GetS(QStringLiteral("The call history cannot be written: %s{\\r}Calls are kept in "
                                   "memory and written as soon as the database takes them again."),
                    {m_failure.text}));
    } else if (call) {
        log(callPrefix(*call) +
            GetS(QStringLiteral("Call kept until the call history can be written (%s waiting): %s"),
                 {QString::number(m_held.size()), m_failure.text}));
    }
}

bool SqlCallStore::writeHeld(int most)
{
    for (int done = 0; !m_held.isEmpty() && done < most; ++done) {
        const HeldSaves::Entry& kept = m_held.oldest();
        CCall record = kept.record;
        switch (writeInTransaction(record, {kept.firstDue, kept.firstDue, kept.endedAt})) {
        case Outcome::Written:
            m_held.oldestDone(&record);
            ++m_outage.written;
            break;
        case Outcome::NotFound:
            m_held.oldestDone(nullptr);
            break;
        case Outcome::Failed:
            noteRefusal(nullptr);
            return true;
        }
    }
    if (m_held.isEmpty()) {
        m_retry.stop();
        if (m_outage.active && m_outage.written > 0)
            log(GetS(QStringLiteral("%s kept calls were written to the call history"),
                     {QString::number(m_outage.written)}));
        m_outage = {};
    }
    return false;
}

void SqlCallStore::retry()
{
    if (m_db.writableAgain() && reopen(false) && m_db.writeProblem().isEmpty())
        log(GetS(QStringLiteral("The call database %s can be written again"), {m_db.file()}));
    checkDatabaseFile();
    const int before = m_held.size();
    bool refused = writeHeld(kBatch);
    if (refused && reopenBrokenFile())
        refused = writeHeld(kBatch);
    if (m_held.size() != before && m_hooks.historyChanged)
        m_hooks.historyChanged();
    // More than one batch waits: the next one after the events that queued up.
    if (!m_held.isEmpty())
        m_retry.start(refused ? m_retryMs : 0);
}

void SqlCallStore::checkDatabaseFile()
{
    switch (m_db.fileState()) {
    case CallDatabase::FileState::Same:
        return;
    case CallDatabase::FileState::Gone:
        log(GetS(QStringLiteral("The call database file %s was deleted while the program ran; "
                                "the call database is opened again"),
                 {m_db.file()}));
        break;
    case CallDatabase::FileState::Replaced:
        log(GetS(QStringLiteral("The call database file %s was replaced while the program ran; "
                                "the call database is opened again"),
                 {m_db.file()}));
        break;
    }
    reopen(true);
}

bool SqlCallStore::reopenBrokenFile()
{
    // Once per outage: a file whose header still reads would fail the same way again.
    if (m_failure.kind != SqlFailure::NotADatabase || m_db.file().isEmpty() || m_outage.reopened)
        return false;
    m_outage.reopened = true;
    log(GetS(QStringLiteral("The call database file %s can no longer be read (%s); the call "
                            "database is opened again"),
             {m_db.file(), m_failure.text}));
    return reopen(true);
}

void SqlCallStore::writeHeldBeforeExit()
{
    m_retry.stop();
    if (m_held.isEmpty())
        return;
    checkDatabaseFile();
    writeHeld(std::numeric_limits<int>::max());
    if (m_held.isEmpty())
        return;
    const auto lost = m_held.takeAll();
    for (const HeldSaves::Entry& kept : lost)
        log(callPrefix(kept.record) +
            GetS(QStringLiteral("Not written to the call history: call from %s to %s at %s"),
                 {kept.record.CallerID(), kept.record.CalledID(),
                  kept.firstDue.toString(Qt::ISODate)}));
    report(GetS(QStringLiteral("%s calls could not be written to the call history and are lost. "
                               "The program log lists them."),
                {QString::number(lost.size())}));
    m_outage = {};
}

SqlCallStore::Outcome SqlCallStore::writeInTransaction(CCall& call, const Times& times)
{
    if (!m_db.isOpen()) {
        m_failure = {SqlFailure::Other, QStringLiteral("No call database is open")};
        return Outcome::Failed;
    }
    // One transaction per save: the row never shows half a change, and the
    // database commits once.
    QSqlDatabase db = m_db.database();
    QSqlError notBegun;
    const bool inTransaction = m_db.beginWrite(&notBegun);
    if (!inTransaction && m_db.classify(notBegun) == SqlFailure::Busy) {
        m_failure = {SqlFailure::Busy, notBegun.text()};
        return Outcome::Failed;
    }
    Outcome outcome = Outcome::Failed;
    try {
        outcome = writeCall(call, times);
    } catch (const std::exception& e) {
        m_failure = {SqlFailure::Other, QString::fromLocal8Bit(e.what())};
    }
    if (!inTransaction)
        return outcome;
    if (outcome == Outcome::Written) {
        if (db.commit())
            return outcome;
        // A full disk often shows only here, when the journal is written.
        m_failure = {m_db.classify(db.lastError()), db.lastError().text()};
        outcome = Outcome::Failed;
    }
    db.rollback();
    return outcome;
}

QSqlQuery* SqlCallStore::run(const QString& sql, const QVariantList& values)
{
    QString error;
    QSqlQuery* query = m_db.prepared(sql, &error);
    if (!query) {
        m_failure = {SqlFailure::Other, error};
        return nullptr;
    }
    for (int i = 0; i < values.size(); ++i)
        query->bindValue(i, values.at(i));
    if (!query->exec()) {
        // Done with the statement before anything else runs: a report may show
        // a box whose event loop reopens the database, and the statement with it.
        m_failure = {m_db.classify(query->lastError()), query->lastError().text()};
        query->finish();
        return nullptr;
    }
    // A finished write leaves no statement open to hold the database's lock.
    if (!query->isSelect())
        query->finish();
    return query;
}

SqlCallStore::Outcome SqlCallStore::writeCall(CCall& call, const Times& times)
{
    // A row made in a database that is no longer open is not in this one.
    if (!call.isSaved() || call.DBGeneration != m_db.generation()) {
        // A kept save, or a call whose row was in the replaced database, gets the
        // time its row was made, not the time it is written.
        const QDateTime made = call.isSaved() ? call.CallStart : times.firstDue;
        const qint32 id = m_db.GetNextId(QStringLiteral("Calls"), QStringLiteral("CallID"), 1);
        QString device;
        if (m_hooks.deviceName)
            device = m_hooks.deviceName(call.lDeviceID);
        const QVariantList values = {id, true, device.trimmed(), call.Answered(), !call.Outgoing};
        if (made.isValid() ? !run(QStringLiteral("INSERT INTO Calls (CallID, New, CalledDevice, "
                                                 "Answered, Incoming, CallDate) "
                                                 "VALUES (?, ?, ?, ?, ?, ?)"),
                                  values + QVariantList{dateValue(made)})
                           : !run(QStringLiteral("INSERT INTO Calls (CallID, New, CalledDevice, "
                                                 "Answered, Incoming) VALUES (?, ?, ?, ?, ?)"),
                                  values))
            return Outcome::Failed;
        call.DBCallID = id;
        call.DBGeneration = m_db.generation();
        call.CallStart = made.isValid() ? made : times.now;
        call.setSaved(true);
    }
    QSqlQuery* row = run(QStringLiteral("SELECT CallDate, CallEnd FROM Calls WHERE CallID = ?"),
                         {call.DBCallID});
    if (!row)
        return Outcome::Failed;
    if (!row->next()) {
        row->finish();
        log(QStringLiteral("Saved call not found: %1").arg(call.DBCallID));
        return Outcome::NotFound;
    }
    const QDateTime callDate = readDate(row->value(0));
    const bool hasEnd = !row->value(1).isNull();
    row->finish();

    if (!call.IsConnected() && call.Answered() && !hasEnd && times.endAt.isValid()) {
        const QDateTime end = times.endAt;
        if (!run(QStringLiteral("UPDATE Calls SET CallEnd = ?, CallDuration = ? WHERE CallID = ?"),
                 {dateValue(end),
                  dateValue(durationValue(callDate.isValid() ? callDate.secsTo(end) : 0)),
                  call.DBCallID}))
            return Outcome::Failed;
        call.CallEnd = end;
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
        return Outcome::Failed;
    call.setSaved(true);
    return Outcome::Written;
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
    call.DBGeneration = m_db.generation();
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
