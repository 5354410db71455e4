#pragma once

// A complete controller on virtual lines in a temporary PHONAVO_HOME, with
// recording stand-ins for the parts that plug into it.

#include "ManualClock.h"
#include "TestHome.h"

#include "core/calls/CallStore.h"
#include "core/controller/Editors.h"
#include "core/controller/MainForm.h"
#include "core/log/ErrorReport.h"
#include "core/log/ProgramLog.h"
#include "core/pipeline/CallSeams.h"
#include "loc/LocGuru.h"
#include "platform/SoundPlayer.h"
#include "platform/telephony/TelephonyHub.h"
#include "platform/telephony/VirtualLineProvider.h"
#include "shell/dialogs/ScriptedDialogs.h"
#include "shell/settings/SettingsStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegularExpression>

#include <algorithm>

struct SavedCall
{
    QString callId;
    qint32 dbId = 0;
    bool connected = false;
    bool answered = false;
    bool outgoing = false;
    QString caller;
    QString called;
    QString callerName;
    QString calledName;
};

class RecordingStore : public CallStore
{
public:
    QList<SavedCall> saves;
    qint32 nextId = 1;

    bool SaveCall(CCall& c) override
    {
        if (c.DBCallID == 0)
            c.DBCallID = nextId++;
        c.setSaved(true);
        saves.append({c.CallID, c.DBCallID, c.IsConnected(), c.Answered(), c.Outgoing, c.CallerID(),
                      c.CalledID(), c.CallerName, c.CalledName});
        return true;
    }
    bool LoadCall(CCall&, qint32) override { return false; }
};

class RecordingPopup : public CallPopup
{
public:
    explicit RecordingPopup(QStringList* shown) : m_shown(shown) {}
    void ShowCall(const QString& caller, const QString& called, const QString& first,
                  const QString&, const QString&, const QString&, const QString& actions,
                  const QVariant&, const QString&) override
    {
        m_shown->append(caller + QLatin1Char('/') + called + QLatin1Char('/') + first +
                        QLatin1Char('/') + actions);
    }
    void unload() override
    {
        m_shown->append(QStringLiteral("closed"));
        deleteLater();
    }

private:
    QStringList* m_shown;
};

class RecordingPopups : public CallPopupFactory
{
public:
    QStringList shown;
    QObject owner; // popups still open when the test ends go with it
    CallPopup* createPopup() override
    {
        auto* popup = new RecordingPopup(&shown);
        popup->setParent(&owner);
        return popup;
    }
};

class RecordingSound : public SoundPlayer
{
public:
    QStringList played;
    QString play(const QString& file, const QString& alias) override
    {
        played << alias + QLatin1Char(':') + file;
        return QStringLiteral("Success");
    }
    void stop(const QString&) override {}
    void close(const QString&) override {}
};

class ScriptedEditors : public DeviceEditor, public MsnEditor
{
public:
    std::function<bool(CDevice&)> onDevice;
    std::function<bool(CMSN&, bool)> onMsn;
    bool EditDevice(CDevice& d) override { return onDevice ? onDevice(d) : false; }
    bool EditMSN(CMSN& m, bool showClients) override
    {
        return onMsn ? onMsn(m, showClients) : false;
    }
};

struct ControllerRig
{
    TestHome home;
    ManualClock clock;
    QStringList lineNames;
    SettingsStore settings{home.file(QStringLiteral("user.reg")),
                           home.file(QStringLiteral("machine.reg"))};
    LocGuru loc;
    ProgramLog log{home.file(QStringLiteral("protocol.log"))};
    QStringList dialogLog;
    ScriptedDialogs dialogs{[this](const QString& line) { dialogLog << line; }};
    ErrorReporter errors{log, loc, dialogs};
    TelephonyHub hub{[this] {
        std::vector<std::unique_ptr<LineProvider>> providers;
        providers.push_back(std::make_unique<VirtualLineProvider>(lineNames));
        return providers;
    }};
    RecordingSound sound;
    RecordingStore store;
    RecordingPopups popups;
    ScriptedEditors editors;
    std::unique_ptr<MainForm> form;

    explicit ControllerRig(QStringList names = {QStringLiteral("Virtual line 1"),
                                                QStringLiteral("Virtual line 2")},
                           std::function<void(SettingsStore&)> prepare = {})
        : lineNames(std::move(names))
    {
        if (prepare)
            prepare(settings);
        errors.setMainWindowLoaded(true);
        form = std::make_unique<MainForm>(
            MainForm::Services{settings, loc, log, dialogs, errors, hub, sound});
        form->setCallStore(&store);
        form->setPopupFactory(&popups);
        form->setDeviceEditor(&editors);
        form->setMsnEditor(&editors);
        form->initTelephony();
        form->loadOptions();
        form->loadMSNs();
        form->setLoaded(true);
    }

    VirtualLineProvider& lines() { return *hub.findProvider<VirtualLineProvider>(); }

    bool monitor(const QList<qint32>& devices)
    {
        for (qint32 d : devices)
            form->setDeviceMonitored(d, true);
        return form->startMonitoring();
    }

    // Lets every queued line notification reach the monitor.
    void settle()
    {
        QElapsedTimer t;
        t.start();
        do {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        } while (hub.hasPendingNotifications() && t.elapsed() < 5000);
        QCoreApplication::processEvents();
    }

    // The log lines without their time stamps.
    QStringList messages() const
    {
        static const QRegularExpression stamp(
            QStringLiteral("^.*?\\d{1,2}:\\d{2}:\\d{2}(?: [AP]M)?: "));
        QStringList result;
        for (QString line : log.lines())
            result << line.remove(stamp);
        return result;
    }

    template <typename Pred> bool anyMessage(Pred pred) const
    {
        const QStringList all = messages();
        return std::any_of(all.cbegin(), all.cend(), pred);
    }

    bool logged(const QString& text) const { return messages().contains(text); }
    int loggedCount(const QString& text) const { return int(messages().count(text)); }
};
