#pragma once

// A controller on virtual lines whose call events reach the shared automation
// object the way the plug-in host passes them on, and whose call history can
// be read back.

#include "ControllerRig.h"
#include "OnePluginHost.h"

#include "plugins/automation/Application.h"
#include "plugins/automation/Helper.h"

#include <QMap>

// Keeps every saved call, so GetCallByID has something to load.
class HistoryStore : public RecordingStore
{
public:
    QMap<qint32, CCall> rows;

    bool SaveCall(CCall& c) override
    {
        RecordingStore::SaveCall(c);
        rows.insert(c.DBCallID, c);
        return true;
    }
    bool LoadCall(CCall& c, qint32 dbCallId) override
    {
        if (!rows.contains(dbCallId))
            return false;
        c = rows.value(dbCallId);
        return true;
    }
};

// Hands the pipeline's plug-in events to the automation object, as the
// plug-in host does, and notes when each was handed over.
class AutomationHost : public OnePluginHost
{
public:
    QStringList* trail = nullptr;

    void raiseIncomingCall(qint32 id) override { pass(QStringLiteral("incoming"), id); }
    void raiseOutgoingCall(qint32 id) override { pass(QStringLiteral("outgoing"), id); }
    void raiseCallAnswered(qint32 id) override { pass(QStringLiteral("answered"), id); }
    void raiseCallDisconnected(qint32 id) override { pass(QStringLiteral("disconnected"), id); }

private:
    void pass(const QString& what, qint32 id)
    {
        if (trail)
            *trail << QStringLiteral("raise ") + what;
        Application& app = Helper::GetApplication();
        if (what == QStringLiteral("incoming"))
            app.RaiseIncomingCall(id);
        else if (what == QStringLiteral("outgoing"))
            app.RaiseOutgoingCall(id);
        else if (what == QStringLiteral("answered"))
            app.RaiseCallAnswered(id);
        else
            app.RaiseCallDisconnected(id);
    }
};

// Knows one contact, with a GUID the picture lookup can use.
class OneContact : public ContactLookup
{
public:
    QString number = QStringLiteral("0301234");
    bool LookupNumber(QString& n, QString& guid, QString& name, QString&, QString&,
                      QVariant&) override
    {
        if (n != number)
            return false;
        guid = QStringLiteral("guid-") + n;
        name = QStringLiteral("Ada Lovelace");
        return true;
    }
};

struct AutomationRig : ControllerRig
{
    HistoryStore history;
    AutomationHost host;
    OneContact contact;

    AutomationRig()
    {
        form->setCallStore(&history);
        form->setPluginHost(&host);
        form->setContactLookup(&contact);
    }
};
