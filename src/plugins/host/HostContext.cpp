#include "HostContext.h"

#include "core/controller/MainForm.h"
#include "shell/settings/SettingsStore.h"

#include <QHash>

HostContext& HostContext::forPlugin(const QString& progId)
{
    // Never freed: plug-ins may call in while the process ends.
    static auto* contexts = new QHash<QString, HostContext*>;
    HostContext*& context = (*contexts)[progId.toLower()];
    if (!context)
        context = new HostContext(progId);
    return *context;
}

quint64 HostContext::bind(MainForm& form, const QString& registrationKey, bool headless)
{
    m_form = &form;
    m_key = registrationKey;
    m_headless = headless;
    return ++m_binding;
}

void HostContext::unbind(quint64 binding)
{
    if (binding == m_binding)
        m_form = nullptr;
}

QString HostContext::setting(const QString& name, const QString& fallback) const
{
    if (!m_form)
        return fallback;
    return m_form->settings().GetSettingHKCU(m_key, name, fallback).toString();
}

void HostContext::saveSetting(const QString& name, const QString& value)
{
    if (!m_form)
        return;
    m_form->settings().SaveSettingHKCU(m_key, name, value);
}

QString HostContext::scramble(const QString& plain) const
{
    return ScrambleSetting(plain);
}

QString HostContext::unscramble(const QString& stored) const
{
    return UnscrambleSetting(stored);
}

void HostContext::log(const QString& text)
{
    if (!m_form)
        return;
    m_form->LogStr(text);
}

QString HostContext::translate(const QString& text, const QStringList& args) const
{
    if (!m_form) {
        QString result = text;
        int at = 0;
        for (const QString& arg : args) {
            at = result.indexOf(QLatin1String("%s"), at);
            if (at < 0)
                break;
            result.replace(at, 2, arg);
            at += arg.size();
        }
        return result;
    }
    return m_form->loc().GetS(text, args);
}

phonavo::CallInfo HostContext::callInfo(const CCall& c, const QString& deviceName)
{
    phonavo::CallInfo info;
    info.callId = c.CallID.toInt();
    info.dbCallId = c.DBCallID;
    info.outgoing = c.Outgoing;
    info.connected = c.IsConnected();
    info.answered = c.Answered();
    info.deviceName = deviceName;
    info.callerId = c.CallerID();
    info.callerName = c.CallerName;
    info.callerExtra = c.CallerExtra;
    info.callerGuid = c.CallerGUID;
    info.calledId = c.CalledID();
    info.calledName = c.CalledName;
    info.calledExtra = c.CalledExtra;
    info.calledGuid = c.CalledGUID;
    info.pictureFile = c.PictureFilename;
    info.start = c.CallStart;
    info.end = c.CallEnd;
    info.actions = c.ActionList.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    return info;
}

bool HostContext::activeCall(qint32 callId, phonavo::CallInfo& call) const
{
    if (!m_form)
        return false;
    // Item() would make a record for an unknown id.
    if (!m_form->colCalls().contains(callId))
        return false;
    const CallPtr c = m_form->colCalls().Item(callId);
    call = callInfo(*c, m_form->deviceDisplayName(c->lDeviceID));
    call.callId = callId;
    return true;
}

bool HostContext::storedCall(qint32 dbCallId, phonavo::CallInfo& call) const
{
    if (!m_form || dbCallId <= 0 || !m_form->callStore())
        return false;
    CCall c(m_form->callStore());
    if (!c.LoadCall(dbCallId))
        return false;
    call = callInfo(c, m_form->deviceDisplayName(c.lDeviceID));
    return true;
}

bool HostContext::startCall(const QString& number)
{
    if (!m_form)
        return false;
    return m_form->StartCall(number, MainForm::ReportTo::Log);
}

void HostContext::chooseAction(qint32 callId, const QString& caption)
{
    if (!m_form)
        return;
    // A popup action acts on the current call; an action chosen elsewhere
    // names its call, which becomes the current one for it.
    if (!m_form->colCalls().contains(callId)) {
        m_form->LogStr(
            QStringLiteral("%1: action \"%2\" for a call that has ended").arg(m_progId, caption));
        return;
    }
    m_form->setCurrentCall(m_form->colCalls().Item(callId));
    m_form->RaiseNotificationAction(caption);
}
