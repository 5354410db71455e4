#include "CallDetails.h"

#include "contacts/store/CallDatabase.h"
#include "core/controller/MainForm.h"
#include "core/log/ProgramLog.h"
#include "core/pipeline/CallSeams.h"

#include <QSqlQuery>

namespace {

QString formatDuration(qint64 seconds)
{
    seconds = std::max<qint64>(0, seconds);
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

CallDetails::CallDetails(MainForm& form, CallDatabase* database)
    : m_form(form), m_database(database), m_call(form.callStore(), nullptr)
{}

bool CallDetails::load(qint32 dbCallId)
{
    CCall fresh(m_form.callStore(), nullptr);
    if (!m_form.callStore() || !fresh.LoadCall(dbCallId))
        return false;
    m_call = fresh;
    m_changed = false;
    m_device = m_form.deviceDisplayName(m_call.lDeviceID);
    // The device as the row names it: a line that is gone still has its name.
    if (m_database && m_database->isOpen()) {
        QSqlQuery q(m_database->database());
        q.prepare(QStringLiteral("SELECT CalledDevice FROM Calls WHERE CallID = ?"));
        q.addBindValue(dbCallId);
        if (q.exec() && q.next())
            m_device = q.value(0).toString().trimmed();
    }
    return true;
}

QString CallDetails::directionText() const
{
    return m_form.GetS(m_call.Outgoing ? QStringLiteral("Outgoing call")
                                       : QStringLiteral("Incoming call"));
}

QString CallDetails::dateText() const
{
    return ProgramLog::formatGeneralDate(m_call.CallStart);
}

QString CallDetails::durationText() const
{
    if (m_call.CallEnd.isValid() && m_call.Answered())
        return m_form.GetS(QStringLiteral("Duration: %s"),
                           formatDuration(m_call.CallStart.secsTo(m_call.CallEnd)));
    return m_form.GetS(QStringLiteral("Not answered"));
}

QString CallDetails::number(Party party) const
{
    return party == Party::Caller ? m_call.CallerID() : m_call.CalledID();
}

QString CallDetails::numberText(Party party) const
{
    const QString n = number(party);
    return n.isEmpty() ? m_form.GetS(QStringLiteral("(unknown)")) : n;
}

QString CallDetails::name(Party party) const
{
    return party == Party::Caller ? m_call.CallerName : m_call.CalledName;
}

QString CallDetails::nameText(Party party) const
{
    if (number(party).isEmpty() && name(party).isEmpty())
        return m_form.GetS(QStringLiteral("(unknown)"));
    return name(party);
}

QString CallDetails::extra(Party party) const
{
    return party == Party::Caller ? m_call.CallerExtra : m_call.CalledExtra;
}

QString CallDetails::guid(Party party) const
{
    return party == Party::Caller ? m_call.CallerGUID : m_call.CalledGUID;
}

bool CallDetails::lookupAgain(Party party, QString* picture)
{
    ContactLookup* lookup = m_form.contactLookup();
    QString n = number(party);
    if (!lookup || n.isEmpty())
        return false;
    QString guid, name, file, extra;
    QVariant contact;
    if (!lookup->LookupNumber(n, guid, name, file, extra, contact))
        return false;
    if (party == Party::Caller) {
        m_call.setCallerID(n);
        m_call.CallerName = name;
        m_call.CallerGUID = guid;
        m_call.CallerExtra = extra;
    } else {
        m_call.setCalledID(n);
        m_call.CalledName = name;
        m_call.CalledGUID = guid;
        m_call.CalledExtra = extra;
    }
    if (picture)
        *picture = file;
    m_changed = true;
    return true;
}

bool CallDetails::changeNumber(Party party, const QString& newNumber)
{
    const QString trimmed = newNumber.trimmed();
    if (trimmed.isEmpty() || trimmed == number(party))
        return false;
    if (party == Party::Caller)
        m_call.setCallerID(trimmed);
    else
        m_call.setCalledID(trimmed);
    m_changed = true;
    return true;
}

void CallDetails::linkContact(Party party, const QString& guid)
{
    if (guid.isEmpty() || guid == this->guid(party))
        return;
    (party == Party::Caller ? m_call.CallerGUID : m_call.CalledGUID) = guid;
    m_changed = true;
}

bool CallDetails::save()
{
    if (!m_changed)
        return true;
    const bool saved = m_call.SaveCall();
    if (saved)
        m_changed = false;
    return saved;
}
