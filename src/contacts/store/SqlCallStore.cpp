#include "SqlCallStore.h"

#include "CallDatabase.h"
#include "CallDatabaseSwitch.h"
#include "core/calls/CCall.h"
#include "platform/Clock.h"

#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

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
    QObject::connect(&m_retry, &QTimer::timeout, [this] { drain(); });
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

namespace {

// The text the program writes into SQLite ("2024-03-02T20:00:00.000"), read
// by hand: the history and a replay read it for every row, and the general
// parser costs many times this. Anything else is left to it.
QDateTime readStoredText(const QString& s)
{
    if (s.size() != 19 && s.size() != 23)
        return {};
    int values[7] = {0, 0, 0, 0, 0, 0, 0};
    static constexpr int starts[7] = {0, 5, 8, 11, 14, 17, 20};
    static constexpr int lengths[7] = {4, 2, 2, 2, 2, 2, 3};
    static constexpr char separators[6] = {'-', '-', 'T', ':', ':', '.'};
    for (int part = 0; part < (s.size() == 23 ? 7 : 6); ++part) {
        if (part > 0 && s.at(starts[part] - 1) != QLatin1Char(separators[part - 1]))
            return {};
        for (int i = 0; i < lengths[part]; ++i) {
            const char16_t c = s.at(starts[part] + i).unicode();
            if (c < u'0' || c > u'9')
                return {};
            values[part] = values[part] * 10 + (c - u'0');
        }
    }
    const QDate date(values[0], values[1], values[2]);
    const QTime time(values[3], values[4], values[5], values[6]);
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time);
}

} // namespace

QDateTime readCallDate(const QVariant& v)
{
    if (v.isNull())
        return {};
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime();
    const QString text = v.toString();
    if (QDateTime quick = readStoredText(text); quick.isValid())
        return quick;
    QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
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

bool SqlCallStore::reopen(Reopen how)
{
    return m_hooks.reopenDatabase && m_hooks.reopenDatabase(how);
}

bool SqlCallStore::SaveCall(CCall& call)
{
    bool written = false;
    if (!m_hooks.addToCallHistory || m_hooks.addToCallHistory()) {
        const QDateTime now = Clock::instance().now();
        m_held.pickUp(call);
        checkDatabaseFile();
        if (notStoredByRequest()) {
            // The user switched saving off for this database.
        } else if (!m_held.isEmpty()) {
            // Never ahead of older saves (a client's replay goes by CallID), and
            // never a wait of its own: the queue is written on the event loop.
            keep(call, now);
            if (m_wait > 0)
                logKept(call);
            else if (!m_retry.isActive() && !m_draining)
                m_retry.start(0);
        } else {
            const CCall before = call;
            const Outcome outcome = writeInTransaction(call, {now, {}, now});
            written = outcome == Outcome::Written;
            if (outcome == Outcome::Failed) {
                call = before;
                keep(call, now);
                if (refused(&call))
                    m_retry.start(0);
                else
                    waitAfterRefusal();
            }
        }
    }
    if (m_hooks.historyChanged)
        m_hooks.historyChanged();
    return written;
}

void SqlCallStore::keep(CCall& call, const QDateTime& at)
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
}

void SqlCallStore::beginOutage()
{
    if (m_outage.active)
        return;
    m_outage = {};
    m_outage.active = true;
    m_outage.since = Clock::instance().now();
}

bool SqlCallStore::refused(const CCall* call)
{
    beginOutage();
    switch (m_failure.kind) {
    case SqlFailure::NotADatabase:
        if (reopenBrokenFile())
            return true;
        break;
    case SqlFailure::Other:
        // A server that restarted or ended the session answers nothing on this
        // connection any more (or its driver closed it); a statement that
        // failed for its own reason does.
        if (!m_noDatabase && !m_db.answers()) {
            log(GetS(QStringLiteral("The connection to the call database %s was lost (%s); it "
                                    "is opened again"),
                     {CallDatabaseSwitch::masked(m_db.connectionString()), m_failure.text}));
            m_db.close();
            m_lostConnection = true;
        }
        break;
    default:
        break;
    }
    noteRefusal(call);
    return false;
}

void SqlCallStore::waitAfterRefusal()
{
    m_wait = m_wait == 0 ? m_retryMs : qMin(m_wait * 2, m_retryMs * kLongestWaitFactor);
    m_retry.start(m_wait);
}

void SqlCallStore::noteRefusal(const CCall* call)
{
    beginOutage();
    // A database that took no writes when it was opened was told about then.
    if (!m_db.writeProblem().isEmpty())
        m_outage.told = true;
    const bool longBusy = m_outage.since.secsTo(Clock::instance().now()) >= kBusyTellSeconds;
    if (!m_outage.told && (m_failure.kind != SqlFailure::Busy || longBusy)) {
        m_outage.told = true;
        if (m_failure.kind == SqlFailure::Damaged)
            report(GetS(QStringLiteral("The call history %s is damaged: %s{\\r}It can still be "
                                       "read and repaired, for example with the .recover command "
                                       "of sqlite3. Calls are kept in memory and written as soon "
                                       "as it takes them again."),
                        {m_db.file(), m_failure.text}));
        else
            report(GetS(QStringLiteral("The call history cannot be written: %s{\\r}Calls are kept "
                                       "in memory and written as soon as the database takes them "
                                       "again."),
                        {m_failure.text}));
    } else if (call) {
        logKept(*call);
    }
}

void SqlCallStore::logKept(const CCall& call)
{
    log(callPrefix(call) +
        GetS(QStringLiteral("Call kept until the call history can be written (%s waiting): %s"),
             {QString::number(m_held.size()), m_failure.text}));
}

bool SqlCallStore::notStoredByRequest()
{
    if (!m_db.isOpen() || !m_db.readOnlyByRequest())
        return false;
    if (m_toldNotStored != m_db.connectionString()) {
        m_toldNotStored = m_db.connectionString();
        log(GetS(QStringLiteral("Calls are not stored: the call database %s is read-only by its "
                                "connection string (Mode=Read)"),
                 {CallDatabaseSwitch::masked(m_db.connectionString())}));
    }
    return true;
}

bool SqlCallStore::readyToWrite()
{
    checkDatabaseFile();
    if (m_db.writableAgain() && reopen(Reopen::Same) && m_db.writeProblem().isEmpty())
        log(GetS(QStringLiteral("The call database %s can be written again"), {m_db.file()}));
    if (!m_db.isOpen()) {
        if (!m_outage.toldClosed) {
            m_outage.toldClosed = true;
            log(GetS(QStringLiteral("No call database is open: it is opened again, every %s to "
                                    "%s seconds, until it opens"),
                     {QString::number(m_retryMs / 1000.0),
                      QString::number(m_retryMs * kLongestWaitFactor / 1000.0)}));
        }
        if (!reopen(m_lostConnection ? Reopen::Same : Reopen::StoredOrDefault)) {
            m_failure = {SqlFailure::Other, GetS(QStringLiteral("No call database is open"))};
            return false;
        }
        m_lostConnection = false;
        log(GetS(QStringLiteral("The call database %s is open again"),
                 {CallDatabaseSwitch::masked(m_db.connectionString())}));
    }
    if (notStoredByRequest()) {
        dropKept();
        return false;
    }
    return true;
}

bool SqlCallStore::writeKept(int turnMs)
{
    // The work a turn does is measured, not a time the program waits for:
    // the monotonic clock, not the program's clock.
    QElapsedTimer turn;
    turn.start();
    while (!m_held.isEmpty()) {
        const HeldSaves::Entry& kept = m_held.oldest();
        CCall record = kept.record;
        const Times times{kept.firstDue, kept.firstDue, kept.endedAt};
        switch (writeInTransaction(record, times)) {
        case Outcome::Written:
            m_held.oldestDone(&record);
            ++m_outage.written;
            m_wait = 0;
            break;
        case Outcome::NotFound:
            m_held.oldestDone(nullptr);
            break;
        case Outcome::Failed:
            return false;
        }
        // The rest on a later turn, after the events that queued up meanwhile.
        if (turnMs >= 0 && turn.elapsed() >= turnMs)
            break;
    }
    return true;
}

void SqlCallStore::drain()
{
    if (m_draining || m_held.isEmpty())
        return;
    m_draining = true;
    const int before = m_held.size();
    const bool ready = readyToWrite();
    bool again = ready && writeKept(m_turnMs);
    // Told after the turn: a box lets events run, saves among them.
    if (!again && !m_held.isEmpty()) {
        if (ready)
            again = refused(nullptr);
        else
            noteRefusal(nullptr);
    }
    m_draining = false;
    if (m_held.size() != before && m_hooks.historyChanged)
        m_hooks.historyChanged();
    if (m_held.isEmpty())
        allWritten();
    else if (again)
        m_retry.start(0);
    else
        waitAfterRefusal();
}

void SqlCallStore::allWritten()
{
    m_retry.stop();
    m_wait = 0;
    m_lostConnection = false;
    if (m_outage.active && m_outage.written > 0)
        log(GetS(QStringLiteral("%s kept calls were written to the call history"),
                 {QString::number(m_outage.written)}));
    m_outage = {};
}

void SqlCallStore::checkDatabaseFile()
{
    switch (m_db.fileState()) {
    case CallDatabase::FileState::Same:
        return;
    case CallDatabase::FileState::Unknown:
        // No rights now, a stale or unmounted share: not a sign that the file is
        // gone. Writes that fail are kept and tried again.
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
    reopen(Reopen::AfterLoss);
}

bool SqlCallStore::reopenBrokenFile()
{
    // Once per outage: a file whose header still reads would fail the same way again.
    if (m_db.file().isEmpty() || m_outage.reopened)
        return false;
    m_outage.reopened = true;
    log(GetS(QStringLiteral("The call database file %s can no longer be read (%s); the call "
                            "database is opened again"),
             {m_db.file(), m_failure.text}));
    return reopen(Reopen::AfterLoss);
}

void SqlCallStore::dropKept()
{
    for (const HeldSaves::Entry& kept : m_held.takeAll())
        log(callPrefix(kept.record) +
            GetS(QStringLiteral("Not written to the call history: call from %s to %s at %s"),
                 {kept.record.CallerID(), kept.record.CalledID(),
                  kept.firstDue.toString(Qt::ISODate)}));
}

void SqlCallStore::writeHeldBeforeExit()
{
    m_retry.stop();
    if (m_held.isEmpty())
        return;
    if (readyToWrite() && !writeKept(-1) && refused(nullptr))
        writeKept(-1);
    if (m_held.isEmpty()) {
        allWritten();
        return;
    }
    const int lost = m_held.size();
    dropKept();
    report(GetS(QStringLiteral("%s calls could not be written to the call history and are lost. "
                               "The program log lists them."),
                {QString::number(lost)}));
    m_outage = {};
}

SqlCallStore::Outcome SqlCallStore::writeInTransaction(CCall& call, const Times& times)
{
    m_noDatabase = !m_db.isOpen();
    if (m_noDatabase) {
        m_failure = {SqlFailure::Other, GetS(QStringLiteral("No call database is open"))};
        return Outcome::Failed;
    }
    // One transaction per save: the row never shows half a change, and the
    // database commits once.
    QSqlDatabase db = m_db.database();
    QSqlError notBegun;
    const bool inTransaction = m_db.beginWrite(&notBegun);
    // A driver that found its server gone has closed the connection.
    if (!inTransaction && (m_db.classify(notBegun) == SqlFailure::Busy || !m_db.isOpen())) {
        m_failure = {m_db.classify(notBegun), notBegun.text()};
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
        if (db.commit()) {
            m_db.wrote();
            return outcome;
        }
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
    const QDateTime callDate = readCallDate(row->value(0));
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
    call.CallStart = readCallDate(value(11));
    if (!value(12).isNull())
        call.CallEnd = readCallDate(value(12));
    call.setSaved(true);
    return true;
}

bool SqlCallStore::deleteCall(qint32 dbCallId)
{
    QSqlQuery q(m_db.database());
    q.prepare(QStringLiteral("DELETE FROM Calls WHERE CallID = ?"));
    q.addBindValue(dbCallId);
    const bool done = q.exec();
    m_db.wrote();
    return done;
}

bool SqlCallStore::deleteAll()
{
    QSqlQuery q(m_db.database());
    const bool done = q.exec(QStringLiteral("DELETE FROM Calls"));
    m_db.wrote();
    return done;
}
