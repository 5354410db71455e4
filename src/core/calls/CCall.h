#pragma once

#include "CallPopup.h"

#include <QDateTime>
#include <QPointer>
#include <QString>
#include <QVariant>

#include <memory>

class CallStore;
class CallPopupFactory;

// One telephone call, from its first report until its end (and longer, while a
// popup, a plug-in or a client still holds it). The live records are shared;
// the store writes a save it had to keep back later and then gives the live
// record its row.
class CCall : public std::enable_shared_from_this<CCall>
{
public:
    CCall(CallStore* store = nullptr, CallPopupFactory* popups = nullptr);

    QString OriginalCalledID;
    QString OriginalCallerID;
    qint32 lDeviceID = 0;
    bool Outgoing = false;
    bool Secondary = false;
    QString CallerGUID;
    QString CallerName;
    QString CallerExtra;
    QString CalledGUID;
    QString CalledName;
    QString CalledExtra;
    QDateTime CallStart;
    QDateTime CallEnd;
    QVariant OutlookContact;
    QVariant OutlookJournalEntry;
    QString CallID;
    qint32 DBCallID = 0;
    QString PictureFilename;
    // The popup's action captions for the call, each preceded by "|" (set when
    // an incoming call is announced; plug-ins read it back).
    QString ActionList;
    QPointer<CallPopup> frmNotification;

    QString CallerID() const { return m_callerId.trimmed(); }
    void setCallerID(const QString& number) { m_callerId = number.trimmed(); }
    QString CalledID() const { return m_calledId.trimmed(); }
    void setCalledID(const QString& number) { m_calledId = number.trimmed(); }

    bool IsConnected() const { return m_isConnected; }
    void setIsConnected(bool connected) { m_isConnected = connected; }
    bool Showing() const { return m_showing; }
    bool Answered() const { return m_answered; }

    // Whether the call already has a row in the call history.
    bool isSaved() const { return m_saved; }
    void setSaved(bool saved) { m_saved = saved; }
    // Which of the call databases opened in this run holds that row (the store
    // numbers them): a record whose database was replaced gets a new row
    // instead of updating someone else's.
    quint32 DBGeneration = 0;
    // The same for every copy of one record and different for every other
    // record, so a save the store had to keep back can be matched to later saves.
    quint64 serial() const { return m_serial; }
    // Restores the answered flag when a stored call is loaded.
    void setAnsweredFromStore(bool answered) { m_answered = answered; }

    void AnswerCall();
    void HideNotification();
    void ShowCall(const QString& callerNumber, const QString& calledNumber,
                  const QString& firstName, const QString& lastName, const QString& extra,
                  const QString& pathToPic, const QString& actionLinks = QString(),
                  const QVariant& contact = QVariant());
    bool SaveCall();
    bool LoadCall(qint32 dbCallId);

    CallStore* store() const { return m_store; }

private:
    QString m_callerId;
    QString m_calledId;
    bool m_isConnected = false;
    bool m_answered = false;
    bool m_showing = false;
    bool m_saved = false;
    quint64 m_serial = 0;
    CallStore* m_store = nullptr;
    CallPopupFactory* m_popups = nullptr;
};
