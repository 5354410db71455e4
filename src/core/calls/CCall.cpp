#include "CCall.h"

#include "CallStore.h"

namespace {
quint64 g_lastSerial = 0; // the program's one thread makes every record
} // namespace

CCall::CCall(CallStore* store, CallPopupFactory* popups)
    : m_serial(++g_lastSerial), m_store(store), m_popups(popups)
{}

void CCall::AnswerCall()
{
    m_answered = true;
    m_isConnected = true;
    SaveCall();
}

void CCall::HideNotification()
{
    if (frmNotification) {
        frmNotification->unload();
        frmNotification.clear();
    }
    m_showing = false;
}

void CCall::ShowCall(const QString& callerNumber, const QString& calledNumber,
                     const QString& firstName, const QString& lastName, const QString& extra,
                     const QString& pathToPic, const QString& actionLinks, const QVariant& contact)
{
    m_showing = true;
    PictureFilename = pathToPic;
    if (!m_popups)
        return;
    frmNotification = m_popups->createPopup();
    if (frmNotification)
        frmNotification->ShowCall(callerNumber, calledNumber, firstName, lastName, extra, pathToPic,
                                  actionLinks, contact, CallerGUID);
}

bool CCall::SaveCall()
{
    return m_store ? m_store->SaveCall(*this) : false;
}

bool CCall::LoadCall(qint32 dbCallId)
{
    return m_store ? m_store->LoadCall(*this, dbCallId) : false;
}
