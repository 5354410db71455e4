#include "DesktopNotifyPlugin.h"

#include "NotificationsClient.h"
#include "ui/DesktopNotifySettingsDialog.h"

#include <QMessageBox>
#include <QTimer>

namespace {

// The program's truth rule for settings stored as text.
bool settingIsTrue(const QString& text)
{
    return text != u"Falsch" && text != u"False" && text != u"0" && !text.isEmpty();
}

} // namespace

DesktopNotifyPlugin::DesktopNotifyPlugin() = default;

DesktopNotifyPlugin::~DesktopNotifyPlugin() = default;

void DesktopNotifyPlugin::Shutdown()
{
    // A notification that stays until its call ends must not outlive the
    // program; this runs while the program's loop and its bus still do (the
    // destructor runs only when the process unloads its libraries).
    if (m_shutDown)
        return;
    m_shutDown = true;
    if (m_client) {
        for (const Shown& shown : std::as_const(m_calls))
            if (shown.id != 0)
                m_client->close(shown.id);
    }
}

bool DesktopNotifyPlugin::Init(phonavo::PluginContext* host)
{
    if (host)
        m_context = host;
    if (!m_context)
        return false;
    m_shutDown = false; // loaded again (a test runs several programs in one process)
    readSettings();
    m_options.appIcon = notificationIconName();

    if (m_client)
        return true; // loaded again by a later program part: one client is enough
    m_client = new NotificationsClient(this);
    connect(m_client, &NotificationsClient::capabilitiesKnown, this, [this] {
        m_serverMissingLogged = false;
        m_options.bodyMarkup = m_client->hasCapability(QStringLiteral("body-markup"));
        m_options.actions = m_client->hasCapability(QStringLiteral("actions"));
    });
    connect(m_client, &NotificationsClient::capabilitiesFailed, this, [this](const QString& error) {
        // Logged once; the question is asked again with the next call.
        if (m_serverMissingLogged)
            return;
        m_serverMissingLogged = true;
        log(QStringLiteral("Desktop notifications: no notification server on the session bus "
                           "(%s)"),
            {error});
    });
    connect(m_client, &NotificationsClient::actionInvoked, this,
            &DesktopNotifyPlugin::onActionInvoked);
    connect(m_client, &NotificationsClient::notificationClosed, this,
            &DesktopNotifyPlugin::onNotificationClosed);
    if (!m_client->open())
        log(QStringLiteral("Desktop notifications: no session bus (%s)"), {m_client->error()});
    // Without a bus the plug-in stays loaded and quiet.
    return true;
}

void DesktopNotifyPlugin::readSettings()
{
    const QString timeout = m_context->setting(QStringLiteral("Timeout")).trimmed();
    bool ok = true;
    const int seconds = timeout.isEmpty() ? 0 : timeout.toInt(&ok);
    if (!ok || seconds < -1) {
        log(QStringLiteral("Desktop notifications: the Timeout setting \"%s\" is not -1, 0 or a "
                           "number of seconds; the server's default applies"),
            {timeout});
        m_options.timeoutSeconds = 0;
    } else {
        m_options.timeoutSeconds = seconds;
    }
    m_options.closeOnAnswer =
        settingIsTrue(m_context->setting(QStringLiteral("CloseOnAnswer"), QStringLiteral("0")));
}

void DesktopNotifyPlugin::log(const QString& text, const QStringList& args)
{
    if (m_context)
        m_context->log(m_context->translate(text, args));
}

QString DesktopNotifyPlugin::NotifyIncomingCall(qint32 callId)
{
    phonavo::CallInfo call;
    if (!m_client || !m_client->isOpen() || !m_context->activeCall(callId, call))
        return QString();
    Shown& shown = m_calls[callId];
    shown = Shown{};
    shown.serial = m_nextSerial++;
    // The call's action list is complete only after every plug-in was asked.
    QTimer::singleShot(0, this, [this, callId, serial = shown.serial] { show(callId, serial); });
    return QString();
}

DesktopNotifyPlugin::Shown* DesktopNotifyPlugin::find(qint32 callId, quint64 serial)
{
    const auto it = m_calls.find(callId);
    if (it == m_calls.end() || it->serial != serial)
        return nullptr;
    return &*it;
}

void DesktopNotifyPlugin::show(qint32 callId, quint64 serial)
{
    m_client->whenReady([this, callId, serial] {
        Shown* shown = find(callId, serial);
        if (!shown || shown->waiting || shown->id != 0)
            return;
        phonavo::CallInfo call;
        if (!m_context->activeCall(callId, call) || (shown->answered && m_options.closeOnAnswer)) {
            m_calls.remove(callId);
            return;
        }
        send(callId, call);
    });
}

void DesktopNotifyPlugin::send(qint32 callId, const phonavo::CallInfo& call)
{
    Shown& shown = m_calls[callId];
    const NotificationContent content =
        buildNotification(call, m_options, shown.answered, *m_context);
    shown.waiting = true;
    shown.actionCaptions = content.actionCaptions;
    shown.answeredShown = shown.answered;
    m_client->notify(content, shown.id,
                     [this, callId, serial = shown.serial](quint32 id, const QString& error) {
                         onNotified(callId, serial, id, error);
                     });
}

void DesktopNotifyPlugin::onNotified(qint32 callId, quint64 serial, quint32 id,
                                     const QString& error)
{
    Shown* shown = find(callId, serial);
    if (!error.isEmpty()) {
        log(QStringLiteral("[%s] Desktop notifications: the notification could not be shown "
                           "(%s)"),
            {QString::number(callId), error});
        if (shown && shown->id == 0)
            m_calls.remove(callId);
        else if (shown)
            shown->waiting = false;
        return;
    }
    if (!shown) {
        // The call ended (or was closed) while the server was still answering.
        m_client->close(id);
        return;
    }
    shown->waiting = false;
    shown->id = id;
    m_callById.insert(id, callId);
    if (shown->answered && !shown->answeredShown)
        showAnswered(callId);
}

void DesktopNotifyPlugin::NotifyCallAnswered(qint32 callId)
{
    const auto it = m_calls.find(callId);
    if (it == m_calls.end())
        return;
    it->answered = true;
    // Before the server named the notification, the answer to Notify does this.
    if (it->id != 0 && !it->waiting)
        showAnswered(callId);
}

void DesktopNotifyPlugin::showAnswered(qint32 callId)
{
    if (m_options.closeOnAnswer) {
        closeAndForget(callId);
        return;
    }
    phonavo::CallInfo call;
    if (!m_context->activeCall(callId, call)) {
        closeAndForget(callId);
        return;
    }
    send(callId, call);
}

void DesktopNotifyPlugin::NotifyCallDisconnected(qint32 callId)
{
    closeAndForget(callId);
}

void DesktopNotifyPlugin::closeAndForget(qint32 callId)
{
    const auto it = m_calls.find(callId);
    if (it == m_calls.end())
        return;
    // Without an id yet, the answer to Notify finds no call and closes it then.
    if (it->id != 0) {
        m_client->close(it->id);
        m_callById.remove(it->id);
    }
    m_calls.erase(it);
}

void DesktopNotifyPlugin::onActionInvoked(quint32 id, const QString& key)
{
    const auto byId = m_callById.constFind(id);
    if (byId == m_callById.constEnd())
        return;
    const qint32 callId = *byId;
    const auto it = m_calls.constFind(callId);
    if (it == m_calls.constEnd() || it->id != id || !key.startsWith(QLatin1Char('a')))
        return;
    bool ok = false;
    const int index = key.mid(1).toInt(&ok);
    if (!ok || index < 0 || index >= it->actionCaptions.size())
        return;
    const QString caption = it->actionCaptions.at(index);
    if (!caption.isEmpty())
        m_context->chooseAction(callId, caption);
}

void DesktopNotifyPlugin::onNotificationClosed(quint32 id)
{
    const auto byId = m_callById.find(id);
    if (byId == m_callById.end())
        return;
    const qint32 callId = *byId;
    m_callById.erase(byId);
    const auto it = m_calls.find(callId);
    if (it != m_calls.end() && it->id == id)
        m_calls.erase(it);
}

void DesktopNotifyPlugin::ShowInfo()
{
    QString server = m_client ? m_client->serverInformation() : QString();
    if (server.isEmpty())
        server = m_context->translate(QStringLiteral("(unknown)"));
    const QString text = m_context->translate(
        QStringLiteral("Shows every incoming call as a desktop notification. Notification "
                       "server: %s"),
        {server});
    if (m_context->headless()) {
        m_context->log(text);
        return;
    }
    QMessageBox::information(nullptr, m_context->translate(QStringLiteral("Desktop notifications")),
                             text);
}

void DesktopNotifyPlugin::ShowSettings()
{
    if (m_context->headless()) {
        log(QStringLiteral("Desktop notifications: the settings need the desktop program"));
        return;
    }
    DesktopNotifySettingsDialog dialog(*m_context);
    if (dialog.exec() == QDialog::Accepted)
        readSettings();
}
