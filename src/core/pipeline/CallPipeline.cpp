#include "CallPipeline.h"

#include "CallSeams.h"
#include "core/controller/MainForm.h"
#include "core/devices/NumberRules.h"
#include "core/log/ProgramLog.h"
#include "platform/Clock.h"
#include "platform/SoundPlayer.h"
#include "platform/telephony/TelephonyWrapper.h"
#include "shell/settings/SettingsStore.h"

#include <QFileInfo>
#include <QPointer>
#include <QScopeGuard>
#include <QTimer>

bool CallPipeline::step(const QString& where, const std::function<void()>& body)
{
    return trapErrors(m_form.errors(), where, body);
}

CallPipeline::CallDevice CallPipeline::deviceOf(CCall& call, bool forIncoming)
{
    CallDevice result;
    result.device.lDeviceID = call.lDeviceID;
    if (call.lDeviceID < MainForm::kFirstPluginDeviceId) {
        if (const DevicePtr listed = m_form.colDevices().find(call.lDeviceID))
            result.device = *listed;
        else
            result.device.DeviceName = m_form.deviceDisplayName(call.lDeviceID);
        result.canReject =
            (m_form.telephony().getActiveCallFeatures(call.lDeviceID, call.CallID.toInt()) &
             LineCallFeature::Answer) != 0;
    } else if (PluginHost* plugins = m_form.pluginHost()) {
        result.device.DeviceName = plugins->connectionPluginName(call.lDeviceID);
        result.canReject = plugins->canRejectCalls(call.lDeviceID);
        if (forIncoming)
            call.CallerExtra = plugins->callerExtra(call.lDeviceID);
    }
    result.device.Load(m_form.settings());
    return result;
}

void CallPipeline::writeLastCall()
{
    m_form.settings().SaveSettingHKCU(
        QString(), QStringLiteral("LastCall"),
        Clock::instance().now().toString(QStringLiteral("yyyyMMddHHmmss")));
}

void CallPipeline::IncomingCall(const CallPtr& callIn)
{
    CallPtr c = callIn;
    const QString where = QStringLiteral("IncomingCall");
    const QString id = c->CallID;
    // Settings are saved on every call, but after the call is announced: the
    // settings cannot change while lines are monitored, and a save walks every
    // option and device, which is most of an announcement's delay.
    const auto saveSettings = qScopeGuard([&] { step(where, [&] { m_form.SaveSettings(); }); });
    step(where, [&] {
        c->OriginalCallerID = c->CallerID();
        c->OriginalCalledID = c->CalledID();
        m_form.setCurrentCall(c);
    });
    CallDevice dev;
    dev.device.lDeviceID = c->lDeviceID;
    step(where, [&] { dev = deviceOf(*c, true); });
    QString called = c->CalledID();
    QString caller = c->CallerID();
    step(where, [&] {
        called = dev.device.rewriteCalled(called);
        caller = dev.device.rewriteCaller(caller);
    });
    if (dev.device.callerTooShort(caller)) {
        m_form.logCall(id, m_form.GetS(QStringLiteral("Ignoring call: too short (%s <- %s)"),
                                       caller, QString::number(dev.device.iCallerIDMinLength)));
        return;
    }
    step(where, [&] {
        c->setCalledID(called);
        c->setCallerID(caller);
    });
    step(where, [&] {
        const QString msnName = m_form.getNameForMSN(called, QString());
        if (!msnName.isEmpty())
            c->CalledName = msnName;
        c->Outgoing = false;
        c->SaveCall();
    });
    step(where, [&] {
        if (c->CalledName.isEmpty())
            c->CalledName = called;
        if (c->CalledName.isEmpty())
            c->CalledName = dev.device.DeviceName;
    });
    const QString filter = m_form.options().text(QStringLiteral("txtAcceptedNumber"));
    if (!filter.isEmpty() &&
        !QString(QLatin1Char(';') + filter + QLatin1Char(';'))
             .contains(QString(QLatin1Char(';') + called + QLatin1Char(';')))) {
        m_form.logCall(
            id, m_form.GetS(QStringLiteral("Call from: %s. Callee: %s not accepted by filter"),
                            m_form.FormatPartyName(caller, c->CallerName),
                            m_form.FormatPartyName(called, c->CalledName)));
        return;
    }
    m_form.logCall(id, m_form.GetS(QStringLiteral("Incoming call from: %s. Callee: %s"),
                                   m_form.FormatPartyName(caller, c->CallerName),
                                   m_form.FormatPartyName(called, c->CalledName)));
    step(where, [&] { c = IncomingCallHandling(caller, c->DBCallID, c); });
    if (PluginHost* plugins = m_form.pluginHost())
        step(where, [&] { plugins->raiseIncomingCall(c->DBCallID); });
    if (ClientNotifier* clients = m_form.clientNotifier())
        step(where, [&] {
            if (clients->serverEnabled())
                clients->incomingCall(*c);
        });
    QString actions;
    step(where, [&] {
        if (dev.canReject)
            actions = QLatin1Char('|') + m_form.GetS(QStringLiteral("Reject"));
    });
    if (PluginHost* plugins = m_form.pluginHost())
        step(where, [&] {
            const QString offered = plugins->notifyIncomingCall(*c);
            if (!offered.isEmpty())
                actions +=
                    offered.startsWith(QLatin1Char('|')) ? offered : QLatin1Char('|') + offered;
        });
    c->ActionList = actions;
    step(where, [&] {
        if (!dev.device.SoundFile.isEmpty() && QFileInfo::exists(dev.device.SoundFile)) {
            const QString result =
                m_form.sound().play(dev.device.SoundFile, QStringLiteral("sound"));
            if (result != QLatin1String("Success") && m_form.traceOn())
                m_form.logCall(id, QStringLiteral("Ring sound not played: ") + result);
        }
    });
    step(where, [&] {
        if (m_form.options().flag(QStringLiteral("cbPopup")))
            c->ShowCall(caller, c->CalledName, c->CallerName, QString(), c->CallerExtra,
                        c->PictureFilename, actions, c->OutlookContact);
    });
}

CallPtr CallPipeline::IncomingCallHandling(const QString& callerNumber, qint32 dbCallId, CallPtr c)
{
    const QString where = QStringLiteral("IncomingCallHandling");
    if (!c) {
        c = std::make_shared<CCall>(m_form.callStore(), nullptr);
        c->LoadCall(dbCallId);
    }
    if (!callerNumber.isEmpty())
        if (ContactLookup* lookup = m_form.contactLookup())
            step(where, [&] {
                QString number = callerNumber, guid, name, picture, extra;
                QVariant contact;
                if (lookup->LookupNumber(number, guid, name, picture, extra, contact)) {
                    c->setCallerID(number);
                    c->CallerGUID = guid;
                    c->CallerName = name;
                    c->CallerExtra = extra;
                    c->PictureFilename = picture;
                    c->OutlookContact = contact;
                    c->SaveCall();
                } else if (!extra.isEmpty() && c->CallerExtra.isEmpty()) {
                    // Not found, but a reverse lookup knew the region.
                    c->CallerExtra = extra;
                    c->SaveCall();
                }
            });
    step(where, [&] { writeLastCall(); });
    step(where, [&] {
        m_form.setTrayToolTip(QString::fromLatin1(MainForm::kProductName) + QStringLiteral("\r\n") +
                              m_form.GetS(QStringLiteral("Latest call on %s from %s"),
                                          ProgramLog::formatGeneralDate(c->CallStart),
                                          m_form.FormatPartyName(callerNumber, c->CallerName)));
    });
    // A caller named by another source still has no address-book contact; the
    // address book decides whether to make one.
    if (!c->OutlookContact.isValid())
        if (AddressBook* book = m_form.addressBook())
            step(where, [&] { book->unknownCaller(*c); });
    return c;
}

bool CallPipeline::OutgoingCall(const CallPtr& callIn)
{
    CallPtr c = callIn;
    const QString where = QStringLiteral("OutgoingCall");
    const QString id = c->CallID;
    step(where, [&] {
        c->OriginalCallerID = c->CallerID();
        c->OriginalCalledID = c->CalledID();
        m_form.setCurrentCall(c);
    });
    QString called = DigitsOnly(c->CalledID());
    QString caller = DigitsOnly(c->CallerID());
    CallDevice dev;
    dev.device.lDeviceID = c->lDeviceID;
    step(where, [&] { dev = deviceOf(*c, false); });
    step(where, [&] {
        called = dev.device.rewriteCalled(called);
        caller = dev.device.rewriteCaller(caller);
    });
    step(where, [&] {
        c->setCalledID(called);
        c->setCallerID(caller);
        const QString msnName = m_form.getNameForMSN(caller, QString());
        if (!msnName.isEmpty())
            c->CallerName = msnName;
        if (c->CallerName.isEmpty() && c->CallerID().isEmpty())
            c->CallerName = dev.device.DeviceName;
    });
    step(where, [&] {
        c->Outgoing = true;
        c->SaveCall();
    });
    m_form.logCall(id, m_form.GetS(QStringLiteral("Outgoing call: %s called: %s"),
                                   m_form.FormatPartyName(caller, c->CallerName),
                                   m_form.FormatPartyName(called, c->CalledName)));
    step(where, [&] { c = OutgoingCallHandling(called, c->CallID.toInt(), c); });
    if (PluginHost* plugins = m_form.pluginHost())
        step(where, [&] { plugins->raiseOutgoingCall(c->DBCallID); });
    if (PluginHost* plugins = m_form.pluginHost())
        step(where, [&] { plugins->notifyOutgoingCall(*c); });
    if (ClientNotifier* clients = m_form.clientNotifier())
        step(where, [&] {
            if (clients->serverEnabled())
                clients->outgoingCall(*c);
        });
    return true;
}

CallPtr CallPipeline::OutgoingCallHandling(const QString& calledNumber, qint32 callId, CallPtr c)
{
    const QString where = QStringLiteral("OutgoingCallHandling");
    if (!c) {
        c = std::make_shared<CCall>(m_form.callStore(), nullptr);
        c->LoadCall(callId);
    }
    if (!calledNumber.isEmpty())
        if (ContactLookup* lookup = m_form.contactLookup())
            step(where, [&] {
                QString number = calledNumber, guid, name, picture, extra;
                QVariant contact;
                if (lookup->LookupNumber(number, guid, name, picture, extra, contact)) {
                    c->setCalledID(number);
                    c->CalledGUID = guid;
                    c->CalledName = name;
                    c->CalledExtra = extra;
                    c->PictureFilename = picture;
                    c->OutlookContact = contact;
                    c->SaveCall();
                } else if (!extra.isEmpty() && c->CalledExtra.isEmpty()) {
                    c->CalledExtra = extra;
                    c->SaveCall();
                }
            });
    step(where, [&] { writeLastCall(); });
    if (AddressBook* book = m_form.addressBook()) {
        step(where, [&] { book->journalCall(*c); });
        if (!c->OutlookContact.isValid())
            step(where, [&] { book->unknownCallee(*c); });
    }
    return c;
}

void CallPipeline::pluginIncomingCall(qint32 callId, const QString& deviceName,
                                      const QString& callerId, const QString& callerName,
                                      const QString& calledId, const QString& calledName,
                                      const QString& extra, const QString& calledExtra,
                                      const QString& picture, bool outgoing)
{
    ColCalls& calls = m_form.colCalls();
    CallPtr c = calls.ItemForNewCall(callId);
    c->Outgoing = outgoing;
    c->setIsConnected(true);
    c->setCallerID(callerId);
    c->CallerName = callerName;
    c->CallerExtra = extra;
    c->PictureFilename = picture;
    c->CalledName = calledName;
    c->setCalledID(calledId);
    if (outgoing)
        c->CalledExtra = calledExtra;
    PluginHost* plugins = m_form.pluginHost();
    c->lDeviceID =
        plugins ? plugins->connectionPluginDeviceId(deviceName) : MainForm::kFirstPluginDeviceId;
    c->SaveCall();
    if (outgoing)
        m_form.OutgoingCall(c);
    else
        m_form.IncomingCall(c);
}

void CallPipeline::pluginCallAnswered(qint32 callId)
{
    CallPtr c = m_form.colCalls().Item(callId);
    c->AnswerCall();
    m_form.logCall(QString::number(callId),
                   m_form.GetS(QStringLiteral("Call was answered from %s. Callee: %s"),
                               m_form.FormatPartyName(c->CallerID(), c->CallerName),
                               m_form.FormatPartyName(c->CalledID(), c->CalledName)));
    if (PluginHost* plugins = m_form.pluginHost())
        step(QStringLiteral("CallAnswered"), [&] { plugins->raiseCallAnswered(c->DBCallID); });
    if (PluginHost* plugins = m_form.pluginHost())
        step(QStringLiteral("CallAnswered"), [&] { plugins->notifyCallAnswered(*c); });
    if (ClientNotifier* clients = m_form.clientNotifier())
        step(QStringLiteral("CallAnswered"), [&] {
            if (clients->serverEnabled())
                clients->callAnswered(*c);
        });
}

void CallPipeline::pluginCallDisconnected(qint32 callId)
{
    CallPtr c = m_form.colCalls().Item(callId);
    m_form.logCall(QString::number(callId),
                   m_form.GetS(QStringLiteral("Disconnected call from %s. Callee: %s"),
                               m_form.FormatPartyName(c->CallerID(), c->CallerName),
                               m_form.FormatPartyName(c->CalledID(), c->CalledName)));
    c->setIsConnected(false);
    c->SaveCall();
    if (AddressBook* book = m_form.addressBook())
        step(QStringLiteral("CallDisconnected"), [&] { book->journalCall(*c); });
    if (PluginHost* plugins = m_form.pluginHost())
        step(QStringLiteral("CallDisconnected"),
             [&] { plugins->raiseCallDisconnected(c->DBCallID); });
    if (PluginHost* plugins = m_form.pluginHost())
        step(QStringLiteral("CallDisconnected"), [&] { plugins->notifyCallDisconnected(*c); });
    if (m_form.options().flag(QStringLiteral("cbHideNotificationOnEndOfCall")))
        c->HideNotification();
    if (ClientNotifier* clients = m_form.clientNotifier())
        step(QStringLiteral("CallDisconnected"), [&] {
            if (clients->serverEnabled())
                clients->callDisconnected(*c);
        });
    m_form.colCalls().Remove(callId);
}

void CallPipeline::RaiseNotificationAction(const QString& caption)
{
    step(QStringLiteral("RaiseNotificationAction"), [&] {
        if (m_form.traceOn())
            m_form.LogStr(QStringLiteral("NotificationAction: ") + caption);
        if (caption != m_form.GetS(QStringLiteral("Reject"))) {
            if (PluginHost* plugins = m_form.pluginHost())
                plugins->notifyActionChosen(caption);
            return;
        }
        const CallPtr c = m_form.currentCall();
        if (!c)
            return;
        if (c->lDeviceID < MainForm::kFirstPluginDeviceId) {
            const qint32 device = c->lDeviceID;
            const qint32 callId = m_form.lastNotifiedCallId();
            m_form.logCall(c->CallID, m_form.GetS(QStringLiteral("Rejecting call on %s"),
                                                  m_form.deviceDisplayName(device)));
            TelephonyWrapper* tapi = &m_form.telephony();
            tapi->TapiLineAnswer(device, callId);
            // Answer and hang up at once; the pauses let the line settle between.
            QTimer::singleShot(kRejectStepMs, &m_form, [form = &m_form, tapi, device, callId] {
                QTimer::singleShot(kRejectStepMs, form,
                                   [tapi, device, callId] { tapi->TapiLineDrop(device, callId); });
            });
        } else if (PluginHost* plugins = m_form.pluginHost()) {
            if (plugins->canRejectCalls(c->lDeviceID)) {
                m_form.logCall(c->CallID, m_form.GetS(QStringLiteral("Rejecting call on %s"),
                                                      plugins->connectionPluginName(c->lDeviceID)));
                plugins->rejectCall(c->lDeviceID, c->CallID.toInt());
            }
        }
    });
}
