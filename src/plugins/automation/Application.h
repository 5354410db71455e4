#pragma once

#include "core/controller/MainForm.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <functional>

class ErrorReporter;

// The automation object: what plug-ins and other programs use to report calls,
// dial, read a stored call and write to the log, and the events they receive
// about every call, every log line and the program's end. Call events are
// never raised inside a call handler: each goes through its own AsyncEvent a
// moment later. The members are in the order of the published interface.
class Application : public QObject
{
    Q_OBJECT
public:
    static constexpr int kApiVersion = 2;
    // Texts a caller hands in are cut like a line's (guards the log and the store).
    static constexpr int kMaxTextLength = 128;
    static constexpr qsizetype kMaxLogTextLength = 4096;

    // Who asked: a caller in this process may be shown a box; a caller on the
    // bus may be gone or far away, so a box would only block its reply.
    using ReportTo = MainForm::ReportTo;

    explicit Application(QObject* parent = nullptr);
    ~Application() override;

    // Members for plug-ins and other programs.
    int APIVersion() const { return kApiVersion; }
    bool Connect(const QString& AppName);
    // The stored call with that DBCallID; empty when there is none.
    QVariantMap GetCallByID(qint32 CallID);
    bool StartCall(const QString& NumberToDial, ReportTo reportTo = ReportTo::User);
    QString Version() const;
    void Log(const QString& Text);
    QVariant vntUniversal(const QString& sKey, const QVariant& Params,
                          ReportTo reportTo = ReportTo::User);
    // The id the call got; 0 when nobody took it.
    qint32 ShowIncomingCall(const QString& DeviceName, const QString& CallerID,
                            const QString& CallerName, const QString& CalledID,
                            const QString& CalledName);
    qint32 ShowOutgoingCall(const QString& DeviceName, const QString& CallerID,
                            const QString& CallerName, const QString& CalledID,
                            const QString& CalledName);
    // False for an id that is not an active call.
    bool SetCallAnswered(qint32 CallID);
    bool SetCallDisconnected(qint32 CallID);

    // Host only.
    void linkMainForm(MainForm* form);
    MainForm* mainForm() const { return m_form; }
    bool connected() const { return m_connected; }
    // Where "API not connected" goes before a main window was linked.
    void setErrorReporter(ErrorReporter* errors) { m_errors = errors; }
    void RaiseIncomingCall(qint32 CallID);
    void RaiseOutgoingCall(qint32 CallID);
    void RaiseCallDisconnected(qint32 CallID);
    void RaiseCallAnswered(qint32 CallID);
    void raiseUniversal(const QString& key, const QVariant& UniversalData);
    void raiseLog(const QString& LogText);
    // The program ends: evtExit, and no event after it.
    void raiseExit();
    bool ended() const { return m_ended; }

    // The picture file of a stored call's contact (by its GUID); empty for none.
    // The contact source fills it in; without one stored calls have no picture.
    using PictureLookup = std::function<QString(const QString& contactGuid)>;
    void setPictureLookup(PictureLookup lookup) { m_pictureLookup = std::move(lookup); }

signals:
    void evtIncomingCall(qint32 CallID);
    void evtOutgoingCall(qint32 CallID);
    void evtCallDisconnected(qint32 CallID);
    void evtCallAnswered(qint32 CallID);
    void evtUniversal(const QString& key, const QVariant& UniversalData);
    void evtLog(const QString& LogText);
    void evtExit();

private:
    friend class AsyncEvent;

    // Events 1 to 6 need a connected object; false (and reported) otherwise.
    bool mayRaise();
    void reportNotConnected();
    // The form's GetS; before the link the text with its parameters filled in.
    QString GetS(const QString& text, const QStringList& params = {}) const;
    QString cleanText(const QString& text) const;
    // Runs the controller's handler for an active call (false for any other id).
    bool handleActiveCall(qint32 CallID, void (MainForm::*handler)(qint32));
    bool activeCall(qint32 CallID) const;

    QPointer<MainForm> m_form;
    ErrorReporter* m_errors = nullptr;
    QMetaObject::Connection m_logLink;
    PictureLookup m_pictureLookup;
    bool m_connected = false;
    bool m_ended = false;
    bool m_inLogEvent = false;
};
