#include "ServerConnectionPlugin.h"

#include "ConnectionSettings.h"
#include "SettingsDialog.h"

#include <QDateTime>
#include <QMessageBox>
#include <QPointer>
#include <QSysInfo>

namespace {

const QString kDeviceName = QStringLiteral("Phonavo Server");
// Pictures above this size are not stored (the server sends at most 4 MiB).
constexpr qsizetype kMaxPictureBytes = 4 * 1024 * 1024;
constexpr int kMaxMalformedLogged = 20;

// The version the server compares with its own: both must be the same release.
QString programVersion()
{
    return QStringLiteral("%1.%2.%3")
        .arg(PHONAVO_VERSION_MAJOR)
        .arg(PHONAVO_VERSION_MINOR)
        .arg(PHONAVO_VERSION_PATCH);
}

bool isCallId(const QString& id)
{
    if (id.isEmpty() || id.size() > 10)
        return false;
    return std::all_of(id.cbegin(), id.cend(),
                       [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
}

} // namespace

ServerConnectionPlugin::ServerConnectionPlugin()
{
    connect(&m_link, &ServerLink::message, this, &ServerConnectionPlugin::onMessage);
    connect(&m_link, &ServerLink::lost, this, &ServerConnectionPlugin::onLost);
}

ServerConnectionPlugin::~ServerConnectionPlugin()
{
    // After Shutdown this runs as the process unloads its libraries: nothing
    // may touch the network then.
    if (!m_shutDown) {
        m_events = nullptr;
        reset();
    }
}

QString ServerConnectionPlugin::say(const QString& text, const QStringList& args) const
{
    return m_context ? m_context->translate(text, args) : text;
}

bool ServerConnectionPlugin::Init(phonavo::ConnectionEvents* events)
{
    m_events = events;
    return m_events != nullptr && m_context != nullptr;
}

QStringList ServerConnectionPlugin::GetDevices()
{
    QStringList names;
    for (const Device& d : m_devices)
        names << d.name;
    return names;
}

bool ServerConnectionPlugin::Connect()
{
    m_shutDown = false;
    if (!m_context || !m_events)
        return false;
    reset();
    const ConnectionSettings s = ConnectionSettings::load(*m_context);
    if (s.server.isEmpty()) {
        m_context->log(say(QStringLiteral("Phonavo Server plugin: no server is set")));
        return false;
    }
    if (s.port == 0) {
        m_context->log(say(QStringLiteral("Phonavo Server plugin: the port %s is not valid"),
                           {m_context->setting(QStringLiteral("port"))}));
        return false;
    }
    QString stamp = m_context->setting(QStringLiteral("LastStamp"));
    if (!ClientWire::parseStamp(stamp).isValid())
        stamp.clear(); // nothing to catch up with
    const QByteArray listen = ClientWire::encode(
        QStringLiteral("listen"),
        {s.wireNumbers(), ClientWire::sendableText(s.password),
         ClientWire::sendableText(QSysInfo::machineHostName()), stamp, programVersion()});
    m_state = State::LoggingIn;
    m_link.open(s.server, s.port, listen, s.timeoutSeconds * 1000);
    m_context->log(say(QStringLiteral("Connecting to Phonavo Server %s"), {m_link.peer()}));
    return true;
}

void ServerConnectionPlugin::Disconnect()
{
    reset();
}

void ServerConnectionPlugin::reset()
{
    m_link.close();
    m_state = State::Idle;
    // Calls the server can no longer end are ended here, so the host and its
    // notification plug-ins do not wait for them forever.
    const QList<qint32> open = m_calls.hostIds();
    m_calls.clear();
    m_currentExtra.clear();
    m_currentCall.clear();
    m_malformedLogged = 0;
    if (m_events)
        for (const qint32 hostId : open)
            m_events->evtCallDisconnected(hostId);
}

void ServerConnectionPlugin::Shutdown()
{
    m_shutDown = true;
    reset();
}

void ServerConnectionPlugin::drop()
{
    reset();
    if (m_events && m_context)
        m_events->evtDisconnected(m_context->progId());
}

void ServerConnectionPlugin::onLost(ServerLink::Loss loss, const QString& detail)
{
    const QString peer = m_link.peer();
    switch (loss) {
    case ServerLink::Loss::Refused:
        m_context->log(say(QStringLiteral("Unable to connect to Phonavo Server %s: %s"),
                           {peer, ClientWire::cleanText(detail)}));
        break;
    case ServerLink::Loss::Closed:
        m_context->log(say(QStringLiteral("Connection to Phonavo Server %s lost"), {peer}));
        break;
    case ServerLink::Loss::Overflow:
        m_context->log(
            say(QStringLiteral("Phonavo Server %s sent a message that is too long; disconnecting"),
                {peer}));
        break;
    case ServerLink::Loss::Silent:
        m_context->log(
            say(QStringLiteral("Phonavo Server %s did not answer in time; disconnecting"), {peer}));
        break;
    }
    drop();
}

void ServerConnectionPlugin::onMessage(const QStringList& fields)
{
    const QString& command = fields.constFirst();
    if (command == QLatin1String("connect"))
        return; // the server's greeting; the listen is on its way
    if (command == QLatin1String("accepted"))
        return onAccepted(fields);
    if (command == QLatin1String("wrongpass"))
        return onRefused(QStringLiteral("Phonavo Server %s refused the password"));
    if (command == QLatin1String("wrongprotocol"))
        return onRefused(
            QStringLiteral("Phonavo Server %s refused the version of this program (%s)"));
    if (command == QLatin1String("maxreached"))
        return onRefused(QStringLiteral("Phonavo Server %s has the maximum number of clients"));
    if (command == QLatin1String("timeout"))
        return onRefused(QStringLiteral("Phonavo Server %s ended the connection: no sign of life"));
    if (m_state != State::LoggedIn)
        return malformed(fields, QStringLiteral("not logged in yet"));
    if (command == QLatin1String("incomingcall"))
        return onCall(fields, true);
    if (command == QLatin1String("outgoingcall"))
        return onCall(fields, false);
    if (command == QLatin1String("answered"))
        return onCallEvent(fields, false);
    if (command == QLatin1String("disconnect"))
        return onCallEvent(fields, true);
    if (command == QLatin1String("outgoingdevices"))
        return onDevices(fields);
    malformed(fields, QStringLiteral("unknown command"));
}

void ServerConnectionPlugin::onRefused(const QString& text)
{
    m_context->log(say(text, {m_link.peer(), programVersion()}));
    drop();
}

void ServerConnectionPlugin::onAccepted(const QStringList& fields)
{
    if (m_state == State::LoggedIn)
        return malformed(fields, QStringLiteral("already logged in"));
    m_state = State::LoggedIn;
    m_link.answered();
    // The calls missed while away: the history of this installation has no
    // way in for them, so the log lists them.
    QDateTime newest;
    const QString yes = say(QStringLiteral("yes"));
    const QString no = say(QStringLiteral("no"));
    const auto party = [this](const QString& number, const QString& name) {
        const QString n = ClientWire::cleanText(number);
        const QString nm = ClientWire::cleanText(name);
        if (nm.isEmpty())
            return n.isEmpty() ? say(QStringLiteral("(unknown)")) : n;
        return n.isEmpty() ? nm : nm + QStringLiteral(" (") + n + QLatin1Char(')');
    };
    qsizetype missed = 0;
    for (const QStringList& r : ClientWire::records(fields.value(1))) {
        const QDateTime date = ClientWire::parseStamp(r.value(0));
        if (r.size() < 13 || !date.isValid()) {
            malformed(fields.mid(0, 1), QStringLiteral("old call record"));
            continue;
        }
        if (!newest.isValid() || date > newest)
            newest = date;
        // A server may send a huge list: the log gets the newest ones' count.
        if (++missed <= kMaxMissedCallsLogged)
            m_context->log(
                say(QStringLiteral("Missed call: on %s, %s called %s (answered: %s)"),
                    {date.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), party(r[3], r[4]),
                     party(r[6], r[7]), r[10] == QLatin1String("1") ? yes : no}));
    }
    if (missed > kMaxMissedCallsLogged)
        m_context->log(say(QStringLiteral("%s further missed calls are not listed"),
                           {QString::number(missed - kMaxMissedCallsLogged)}));
    // The replay goes up to the newest call it found; the next starts after it.
    if (newest.isValid())
        saveStamp(newest.addSecs(1));
    else if (!ClientWire::parseStamp(m_context->setting(QStringLiteral("LastStamp"))).isValid())
        saveStamp(QDateTime::currentDateTime());
    m_context->log(say(QStringLiteral("Connected to Phonavo Server %s"), {m_link.peer()}));
    m_link.send(ClientWire::encode(QStringLiteral("getoutgoingdevices")));
    m_events->evtConnected(m_context->progId());
}

void ServerConnectionPlugin::saveStamp(const QDateTime& t)
{
    m_context->saveSetting(QStringLiteral("LastStamp"), ClientWire::stamp(t));
}

void ServerConnectionPlugin::onCall(const QStringList& f, bool incoming)
{
    // incomingcall: id, caller, called, called name, caller name, can reject,
    // extra, then ten empty fields, the picture's extension and its text.
    // outgoingcall: id, caller, caller name, dialled, called name, then the
    // same with the picture at 16 and 17.
    const int params = incoming ? 7 : 5;
    const int pictureAt = incoming ? 18 : 16;
    const QString serverId = f.value(1);
    if (f.size() < params + 1 || !isCallId(serverId))
        return malformed(f, QStringLiteral("call id or fields missing"));
    std::unique_ptr<QTemporaryFile> picture;
    if (f.size() > pictureAt + 1) {
        const QByteArray bytes = ClientWire::pictureBytes(f, pictureAt + 1, kMaxPictureBytes);
        if (!bytes.isEmpty())
            picture = CallTable::writePicture(bytes, f[pictureAt]);
        if (!picture)
            m_context->log(
                QStringLiteral("Phonavo Server %1: the picture of call %2 was not stored")
                    .arg(m_link.peer(), serverId));
    }
    const auto text = [&f](int i) { return ClientWire::cleanText(f.value(i)); };
    const QString pictureFile = picture ? picture->fileName() : QString();
    CallTable::Call call;
    call.serverId = serverId;
    call.picture = std::move(picture);
    // Kept before the host hears of the call: it may ask for the extra at once.
    const QPointer<QObject> alive(this);
    if (incoming) {
        call.callerExtra = text(7);
        m_currentExtra = call.callerExtra;
        m_currentCall = serverId;
    }
    saveStamp(QDateTime::currentDateTime());
    const qint32 hostId =
        incoming ? m_events->evtIncomingCall(kDeviceName, text(2), text(5), text(3), text(4),
                                             text(7), pictureFile)
                 : m_events->evtOutgoingCall(kDeviceName, text(2), text(3), text(4), text(5),
                                             QString(), QString(), pictureFile);
    if (!alive || m_state != State::LoggedIn)
        return; // the host ended the connection meanwhile
    call.hostId = hostId;
    // A server that never ends its calls: the oldest one held ends here.
    if (const qint32 evicted = m_calls.add(std::move(call)); evicted != 0 && m_events)
        m_events->evtCallDisconnected(evicted);
}

void ServerConnectionPlugin::onCallEvent(const QStringList& f, bool ended)
{
    const QString serverId = f.value(1);
    if (!isCallId(serverId))
        return malformed(f, QStringLiteral("call id missing"));
    const CallTable::Call* call = m_calls.byServerId(serverId);
    if (!call) {
        if (m_calls.firstUnknown(serverId))
            m_context->log(QStringLiteral("Phonavo Server %1: \"%2\" for the unknown call %3 "
                                          "ignored")
                               .arg(m_link.peer(), f.constFirst(), serverId));
        return;
    }
    const qint32 hostId = call->hostId;
    if (ended) {
        if (m_currentCall == serverId) {
            m_currentCall.clear();
            m_currentExtra.clear();
        }
        m_calls.remove(serverId);
    }
    if (hostId == 0)
        return; // the host did not take the call
    if (ended)
        m_events->evtCallDisconnected(hostId);
    else
        m_events->evtCallAnswered(hostId);
}

void ServerConnectionPlugin::onDevices(const QStringList& f)
{
    m_devices.clear();
    for (const QStringList& r : ClientWire::records(f.value(1))) {
        if (r.size() != 2 || !isCallId(r[0])) {
            malformed(f.mid(0, 1), QStringLiteral("device record"));
            continue;
        }
        if (m_devices.size() < 256)
            m_devices.append({r[0], ClientWire::cleanText(r[1])});
    }
}

void ServerConnectionPlugin::RejectCall(qint32 callId)
{
    const CallTable::Call* call = m_calls.byHostId(callId);
    if (m_state != State::LoggedIn || !call)
        return;
    // The server rejects its current call; the id tells which one we meant.
    m_link.send(ClientWire::encode(QStringLiteral("rejectcall"), {call->serverId}));
}

void ServerConnectionPlugin::StartCall(const QString& number)
{
    if (m_state != State::LoggedIn)
        return;
    // The server dials on the device chosen there; the first one listed is named.
    const QString device = m_devices.isEmpty() ? QString() : m_devices.constFirst().id;
    m_link.send(ClientWire::encode(QStringLiteral("startcall"),
                                   {device, ClientWire::sendableText(number)}));
}

void ServerConnectionPlugin::malformed(const QStringList& fields, const QString& why)
{
    if (m_malformedLogged > kMaxMalformedLogged)
        return;
    if (++m_malformedLogged > kMaxMalformedLogged) {
        m_context->log(
            QStringLiteral("Further malformed messages from Phonavo Server %1 are not logged")
                .arg(m_link.peer()));
        return;
    }
    m_context->log(QStringLiteral("Phonavo Server %1 sent a malformed \"%2\" (%3); ignored")
                       .arg(m_link.peer(), ClientWire::cleanText(fields.value(0), 40), why));
}

void ServerConnectionPlugin::ShowSettings()
{
    if (!m_context)
        return;
    if (m_context->headless()) {
        m_context->log(say(QStringLiteral(
            "Phonavo Server plugin: the settings can only be changed in the desktop program")));
        return;
    }
    SettingsDialog dialog(*m_context, ConnectionSettings::load(*m_context));
    if (dialog.exec() == QDialog::Accepted)
        dialog.settings().save(*m_context);
}

void ServerConnectionPlugin::ShowInfo()
{
    if (!m_context)
        return;
    const QString text = say(
        QStringLiteral("Phonavo Server plugin: receives the calls of another Phonavo server (%s)"),
        {m_context->setting(QStringLiteral("server"))});
    if (m_context->headless())
        m_context->log(text);
    else
        QMessageBox::information(nullptr, say(kDeviceName), text);
}
