#include "VirtualLineCommands.h"

#include "TelephonyHub.h"
#include "VirtualLineProvider.h"

using ControlProtocol::Reply;

namespace {

const QStringList kStateNames = {
    QStringLiteral("idle"),       QStringLiteral("offering"),    QStringLiteral("accepted"),
    QStringLiteral("dialtone"),   QStringLiteral("dialing"),     QStringLiteral("ringback"),
    QStringLiteral("busy"),       QStringLiteral("specialinfo"), QStringLiteral("connected"),
    QStringLiteral("proceeding"), QStringLiteral("onhold")};

} // namespace

QString VirtualLineCommands::usage()
{
    return QStringLiteral(
        "commands:\n"
        "  list                                   virtual lines: number<TAB>name\n"
        "  calls                                  live calls: id<TAB>device<TAB>state\n"
        "  ring DEVICE CALLER CALLED [--name NAME] offer an incoming call, prints its id\n"
        "  callerid CALLID NUMBER [NAME]          report the caller of a call\n"
        "  calledid CALLID NUMBER [NAME]          report the called party of a call\n"
        "  answer CALLID                          the call is answered\n"
        "  hangup CALLID                          the call ends\n"
        "  dial DEVICE NUMBER                     an outgoing call, prints its id\n"
        "  state CALLID STATE                     any call state (number or name)\n"
        "DEVICE is a device number or a device name.");
}

Reply VirtualLineCommands::execute(const QStringList& args)
{
    if (args.isEmpty())
        return Reply::failure(QStringLiteral("no command given"));
    if (!m_hub.isInitialised())
        return Reply::failure(QStringLiteral("telephony is not initialised"));
    const QString command = args.first().toLower();
    const QStringList rest = args.mid(1);
    if (command == QLatin1String("list"))
        return list();
    if (command == QLatin1String("calls"))
        return calls();
    if (command == QLatin1String("ring"))
        return ring(rest);
    if (command == QLatin1String("callerid"))
        return identity(rest, true);
    if (command == QLatin1String("calledid"))
        return identity(rest, false);
    if (command == QLatin1String("answer") || command == QLatin1String("hangup") ||
        command == QLatin1String("state"))
        return onCall(args);
    if (command == QLatin1String("dial"))
        return dial(rest);
    if (command == QLatin1String("help"))
        return Reply::success(usage());
    return Reply::failure(QStringLiteral("unknown command \"%1\"").arg(args.first()));
}

std::optional<VirtualLineCommands::Target> VirtualLineCommands::resolveDevice(const QString& text,
                                                                              QString* error) const
{
    bool numeric = false;
    qint32 device = text.trimmed().toInt(&numeric);
    if (!numeric) {
        device = m_hub.getDeviceIdFromName(text);
        if (device < 0) {
            *error = QStringLiteral("no line device named \"%1\"").arg(text);
            return std::nullopt;
        }
    }
    int local = -1;
    auto* provider = qobject_cast<VirtualLineProvider*>(m_hub.providerOf(device, &local));
    if (!provider) {
        *error = m_hub.providerOf(device)
                     ? QStringLiteral("device %1 is not a virtual line").arg(device)
                     : QStringLiteral("no line device %1").arg(device);
        return std::nullopt;
    }
    return Target{provider, local};
}

std::optional<qint32> VirtualLineCommands::parseCallId(const QString& text, QString* error)
{
    bool ok = false;
    const qint32 id = text.trimmed().toInt(&ok);
    if (!ok || id <= 0) {
        *error = QStringLiteral("\"%1\" is not a call id").arg(text);
        return std::nullopt;
    }
    return id;
}

std::optional<qint32> VirtualLineCommands::parseState(const QString& text, QString* error)
{
    bool ok = false;
    const QString t = text.trimmed();
    qint32 state = t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
                       ? qint32(t.mid(2).toUInt(&ok, 16))
                       : t.toInt(&ok);
    if (!ok) {
        const int index = kStateNames.indexOf(t.toLower());
        if (index >= 0) {
            state = qint32(1) << index;
            ok = true;
        }
    }
    if (!ok || state <= 0) {
        *error = QStringLiteral("\"%1\" is not a call state (a number or one of %2)")
                     .arg(text, kStateNames.join(QLatin1String(", ")));
        return std::nullopt;
    }
    return state;
}

Reply VirtualLineCommands::list() const
{
    QStringList lines;
    for (qint32 device = 0; device < m_hub.deviceCount(); ++device)
        if (qobject_cast<VirtualLineProvider*>(m_hub.providerOf(device)))
            lines << QString::number(device) + QLatin1Char('\t') + m_hub.getDeviceName(device);
    return Reply::success(lines.join(QLatin1Char('\n')));
}

Reply VirtualLineCommands::calls() const
{
    auto* provider = m_hub.findProvider<VirtualLineProvider>();
    QStringList lines;
    if (provider) {
        QList<qint32> ids = provider->callIds();
        std::sort(ids.begin(), ids.end());
        for (qint32 id : ids) {
            const qint32 device = m_hub.globalDevice(provider, provider->deviceOfCall(id));
            const qint32 state =
                provider->callInfo(provider->deviceOfCall(id), id, CallInfoField::CallState)
                    .toInt();
            lines << QStringLiteral("%1\t%2\t%3")
                         .arg(id)
                         .arg(device)
                         .arg(lineValueName(LineValueKind::CallState, state));
        }
    }
    return Reply::success(lines.join(QLatin1Char('\n')));
}

Reply VirtualLineCommands::ring(const QStringList& args)
{
    QStringList positional;
    QString name;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--name")) {
            if (i + 1 >= args.size())
                return Reply::failure(QStringLiteral("--name needs a value"));
            name = args[++i];
        } else {
            positional << args[i];
        }
    }
    if (positional.size() != 3)
        return Reply::failure(QStringLiteral("usage: ring DEVICE CALLER CALLED [--name NAME]"));
    QString error;
    const auto target = resolveDevice(positional[0], &error);
    if (!target)
        return Reply::failure(error);
    const auto id = target->provider->ring(target->localDevice, positional[1], positional[2], name);
    if (!id)
        return Reply::failure(id.error());
    return Reply::success(QString::number(id.value()));
}

Reply VirtualLineCommands::identity(const QStringList& args, bool caller)
{
    const QString verb = caller ? QStringLiteral("callerid") : QStringLiteral("calledid");
    if (args.size() < 2 || args.size() > 3)
        return Reply::failure(QStringLiteral("usage: %1 CALLID NUMBER [NAME]").arg(verb));
    QString error;
    const auto id = parseCallId(args[0], &error);
    if (!id)
        return Reply::failure(error);
    auto* provider = m_hub.findProvider<VirtualLineProvider>();
    if (!provider)
        return Reply::failure(QStringLiteral("no virtual lines"));
    const QString name = args.value(2);
    const auto result = caller ? provider->setCallerId(*id, args[1], name)
                               : provider->setCalledId(*id, args[1], name);
    return result ? Reply::success() : Reply::failure(result.error());
}

Reply VirtualLineCommands::onCall(const QStringList& args)
{
    const QString command = args[0].toLower();
    const bool withState = command == QLatin1String("state");
    if (args.size() != (withState ? 3 : 2))
        return Reply::failure(withState ? QStringLiteral("usage: state CALLID STATE")
                                        : QStringLiteral("usage: %1 CALLID").arg(command));
    QString error;
    const auto id = parseCallId(args[1], &error);
    if (!id)
        return Reply::failure(error);
    auto* provider = m_hub.findProvider<VirtualLineProvider>();
    if (!provider)
        return Reply::failure(QStringLiteral("no virtual lines"));
    Result<bool> result = Result<bool>::fail(QString());
    if (command == QLatin1String("answer")) {
        result = provider->answerCall(*id);
    } else if (command == QLatin1String("hangup")) {
        result = provider->hangup(*id);
    } else {
        const auto state = parseState(args[2], &error);
        if (!state)
            return Reply::failure(error);
        result = provider->setState(*id, *state);
    }
    return result ? Reply::success() : Reply::failure(result.error());
}

Reply VirtualLineCommands::dial(const QStringList& args)
{
    if (args.size() != 2)
        return Reply::failure(QStringLiteral("usage: dial DEVICE NUMBER"));
    QString error;
    const auto target = resolveDevice(args[0], &error);
    if (!target)
        return Reply::failure(error);
    const auto id = target->provider->dialOut(target->localDevice, args[1]);
    if (!id)
        return Reply::failure(id.error());
    return Reply::success(QString::number(id.value()));
}
