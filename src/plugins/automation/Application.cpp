#include "Application.h"

#include "core/calls/CallText.h"

#include "AsyncEvent.h"
#include "core/calls/CCall.h"
#include "core/log/ErrorReport.h"
#include "core/log/ProgramLog.h"
#include "shell/dialogs/DialogService.h"

#include <QScopedValueRollback>

Application::Application(QObject* parent) : QObject(parent) {}

Application::~Application() = default;

bool Application::Connect(const QString& AppName)
{
    if (!m_form) {
        // Nobody to translate or log for us yet; the report is all we can do.
        const QString text = GetS(QStringLiteral("Unable to connect to API: MainForm is null"));
        if (m_errors)
            m_errors->RaiseError(text);
        else
            qWarning("%s", qPrintable(text));
    }
    m_connected = true;
    if (m_form)
        m_form->LogStr(m_form->GetS(QStringLiteral("API connection established")) +
                       QStringLiteral(" (") + cleanText(AppName) + QLatin1Char(')'));
    return true;
}

QVariantMap Application::GetCallByID(qint32 CallID)
{
    if (!m_connected || !m_form) {
        reportNotConnected();
        return {};
    }
    QVariantMap result;
    trapErrors(m_form->errors(), QStringLiteral("GetCallByID"), [&] {
        CCall call(m_form->callStore());
        if (!call.LoadCall(CallID))
            return;
        bool connected = false;
        for (const CallPtr& active : m_form->colCalls().NewEnum())
            if (active->DBCallID == CallID && active->IsConnected())
                connected = true;
        const auto stamp = [](const QDateTime& when) {
            return when.isValid() ? when.toString(Qt::ISODate) : QString();
        };
        const QString contact = call.Outgoing ? call.CalledGUID : call.CallerGUID;
        result = {
            {QStringLiteral("DBCallID"), call.DBCallID},
            {QStringLiteral("Outgoing"), call.Outgoing},
            {QStringLiteral("CallerID"), call.CallerID()},
            {QStringLiteral("CallerName"), call.CallerName},
            {QStringLiteral("CallerGUID"), call.CallerGUID},
            {QStringLiteral("CallerExtra"), call.CallerExtra},
            {QStringLiteral("CalledID"), call.CalledID()},
            {QStringLiteral("CalledName"), call.CalledName},
            {QStringLiteral("CalledGUID"), call.CalledGUID},
            {QStringLiteral("CalledExtra"), call.CalledExtra},
            {QStringLiteral("CallStart"), stamp(call.CallStart)},
            {QStringLiteral("CallEnd"), stamp(call.CallEnd)},
            {QStringLiteral("Answered"), call.Answered()},
            {QStringLiteral("IsConnected"), connected},
            {QStringLiteral("PictureFilename"),
             m_pictureLookup && !contact.isEmpty() ? m_pictureLookup(contact) : QString()},
        };
    });
    return result;
}

bool Application::StartCall(const QString& NumberToDial, ReportTo reportTo)
{
    raiseLog(QStringLiteral("API StartCall: NumberToDial: ") + cleanText(NumberToDial));
    if (!m_form) {
        reportNotConnected();
        return false;
    }
    return m_form->StartCall(NumberToDial, reportTo);
}

QString Application::Version() const
{
    return QStringLiteral("%1.%2.%3")
        .arg(PHONAVO_VERSION_MAJOR)
        .arg(PHONAVO_VERSION_MINOR)
        .arg(PHONAVO_VERSION_PATCH);
}

void Application::Log(const QString& Text)
{
    if (!m_form) {
        reportNotConnected();
        return;
    }
    // The log raises evtLog for the line, as for every other line. A caller
    // may send megabytes: a log line gets the first few thousand characters.
    m_form->LogStr(Text.size() > kMaxLogTextLength ? Text.left(kMaxLogTextLength) : Text);
}

QVariant Application::vntUniversal(const QString& sKey, const QVariant& Params, ReportTo reportTo)
{
    Q_UNUSED(Params)
    if (!m_form) {
        reportNotConnected();
        return {};
    }
    const QString text = m_form->GetS(QStringLiteral("%s: Not implemented"), cleanText(sKey));
    if (reportTo == ReportTo::User)
        m_form->dialogs().messageBox(text, MsgStyle::Information, QString());
    else
        m_form->LogStr(text);
    return {};
}

qint32 Application::ShowIncomingCall(const QString& DeviceName, const QString& CallerID,
                                     const QString& CallerName, const QString& CalledID,
                                     const QString& CalledName)
{
    if (!m_form) {
        reportNotConnected();
        return 0;
    }
    const qint32 id = m_form->newCallId();
    m_form->evtIncomingCall(id, cleanText(DeviceName), cleanText(CallerID), cleanText(CallerName),
                            cleanText(CalledID), cleanText(CalledName), QString(), QString());
    return id;
}

qint32 Application::ShowOutgoingCall(const QString& DeviceName, const QString& CallerID,
                                     const QString& CallerName, const QString& CalledID,
                                     const QString& CalledName)
{
    if (!m_form) {
        reportNotConnected();
        return 0;
    }
    const qint32 id = m_form->newCallId();
    m_form->evtOutgoingCall(id, cleanText(DeviceName), cleanText(CallerID), cleanText(CallerName),
                            cleanText(CalledID), cleanText(CalledName), QString(), QString(),
                            QString());
    return id;
}

bool Application::activeCall(qint32 CallID) const
{
    // Looking an unknown id up in the list would add a record for it: a call
    // nobody reported, stored in the history as if it had happened.
    if (m_form->colCalls().contains(CallID))
        return true;
    m_form->LogStr(m_form->GetS(QStringLiteral("Automation object: there is no active call %s"),
                                QString::number(CallID)));
    return false;
}

bool Application::SetCallAnswered(qint32 CallID)
{
    return handleActiveCall(CallID, &MainForm::evtCallAnswered);
}

bool Application::SetCallDisconnected(qint32 CallID)
{
    return handleActiveCall(CallID, &MainForm::evtCallDisconnected);
}

bool Application::handleActiveCall(qint32 CallID, void (MainForm::*handler)(qint32))
{
    if (!m_form) {
        reportNotConnected();
        return false;
    }
    if (!activeCall(CallID))
        return false;
    (m_form->*handler)(CallID);
    return true;
}

void Application::linkMainForm(MainForm* form)
{
    disconnect(m_logLink);
    m_form = form;
    m_connected = form != nullptr;
    m_ended = false;
    if (!form)
        return;
    m_errors = &form->errors();
    // Only once linked: a line logged while not connected would report
    // "API not connected", which is logged, which would raise again.
    m_logLink = connect(&form->log(), &ProgramLog::textLogged, this, &Application::raiseLog);
}

bool Application::mayRaise()
{
    if (m_ended)
        return false; // the program is ending: events have stopped, quietly
    if (m_connected)
        return true;
    reportNotConnected();
    return false;
}

void Application::reportNotConnected()
{
    static bool reporting = false;
    if (reporting)
        return;
    QScopedValueRollback guard(reporting, true);
    const QString text = GetS(QStringLiteral("API not connected"));
    if (m_errors)
        m_errors->RaiseError(text);
    else
        qWarning("%s", qPrintable(text));
}

QString Application::GetS(const QString& text, const QStringList& params) const
{
    if (m_form)
        return m_form->GetS(text, params);
    QString filled = text;
    for (const QString& p : params)
        filled.replace(filled.indexOf(QStringLiteral("%s")), 2, p);
    return filled;
}

QString Application::cleanText(const QString& text) const
{
    bool cut = false;
    const QString clean = cleanCallText(text, kMaxTextLength, &cut);
    if (cut && m_form)
        m_form->LogStr(
            m_form->GetS(QStringLiteral("Automation object: a text was cut to %s characters"),
                         QString::number(kMaxTextLength)));
    return clean;
}

void Application::RaiseIncomingCall(qint32 CallID)
{
    if (mayRaise())
        (new AsyncEvent(*this))->RaiseIncomingCall(CallID);
}

void Application::RaiseOutgoingCall(qint32 CallID)
{
    if (mayRaise())
        (new AsyncEvent(*this))->RaiseOutgoingCall(CallID);
}

void Application::RaiseCallDisconnected(qint32 CallID)
{
    if (mayRaise())
        (new AsyncEvent(*this))->RaiseCallDisconnected(CallID);
}

void Application::RaiseCallAnswered(qint32 CallID)
{
    if (mayRaise())
        (new AsyncEvent(*this))->RaiseCallAnswered(CallID);
}

void Application::raiseUniversal(const QString& key, const QVariant& UniversalData)
{
    if (mayRaise())
        emit evtUniversal(key, UniversalData);
}

void Application::raiseLog(const QString& LogText)
{
    // A line that an evtLog receiver writes is not raised again: a receiver
    // that logs what it hears would go round forever.
    if (m_inLogEvent || !mayRaise())
        return;
    QScopedValueRollback guard(m_inLogEvent, true);
    emit evtLog(LogText);
}

void Application::raiseExit()
{
    if (m_ended)
        return;
    m_ended = true;
    disconnect(m_logLink);
    emit evtExit();
}
