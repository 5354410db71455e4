#include "NotificationContent.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

namespace {

QString partyName(const QString& name, const QString& number)
{
    if (name.isEmpty())
        return number;
    if (number.isEmpty())
        return name;
    return name + QStringLiteral(" (") + number + QLatin1Char(')');
}

} // namespace

QStringList NotificationContent::actionList() const
{
    QStringList list;
    for (qsizetype i = 0; i < actionCaptions.size(); ++i) {
        // An empty caption is a hidden popup button; there is nothing to show.
        if (actionCaptions.at(i).isEmpty())
            continue;
        list << QStringLiteral("a%1").arg(i) << actionCaptions.at(i);
    }
    return list;
}

QString escapeBodyMarkup(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('&'))
            out += QStringLiteral("&amp;");
        else if (c == QLatin1Char('<'))
            out += QStringLiteral("&lt;");
        else if (c == QLatin1Char('>'))
            out += QStringLiteral("&gt;");
        else
            out += c;
    }
    return out;
}

QString notificationIconName()
{
    const QString own = QStringLiteral("phonavo");
    const QStringList themes =
        QStandardPaths::locateAll(QStandardPaths::GenericDataLocation,
                                  QStringLiteral("icons/hicolor"), QStandardPaths::LocateDirectory);
    for (const QString& theme : themes) {
        const QStringList sizes = QDir(theme).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString& size : sizes) {
            const QString apps = theme + QLatin1Char('/') + size + QStringLiteral("/apps/");
            if (QFileInfo::exists(apps + own + QStringLiteral(".png")) ||
                QFileInfo::exists(apps + own + QStringLiteral(".svg")))
                return own;
        }
    }
    if (!QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                QStringLiteral("pixmaps/phonavo.png"))
             .isEmpty())
        return own;
    return QStringLiteral("call-start");
}

NotificationContent buildNotification(const phonavo::CallInfo& call,
                                      const NotificationOptions& options, bool answered,
                                      const phonavo::PluginContext& context)
{
    NotificationContent n;
    QString caller = call.callerName.isEmpty() ? call.callerId : call.callerName;
    if (caller.isEmpty())
        caller = context.translate(QStringLiteral("(unknown)"));
    n.summary = context.translate(QStringLiteral("Call from %s"), {caller});

    QStringList lines;
    // The number goes to the body only when the summary shows the name.
    if (!call.callerName.isEmpty() && !call.callerId.isEmpty())
        lines << call.callerId;
    if (!call.callerExtra.isEmpty())
        lines << call.callerExtra;
    const QString called = partyName(call.calledName, call.calledId);
    if (!called.isEmpty())
        lines << context.translate(QStringLiteral("To: %s"), {called});
    if (answered)
        lines << context.translate(QStringLiteral("Call answered"));
    n.body = lines.join(QLatin1Char('\n'));
    if (options.bodyMarkup)
        n.body = escapeBodyMarkup(n.body);

    n.appIcon = options.appIcon;
    if (!call.pictureFile.isEmpty() && QFileInfo(call.pictureFile).isFile())
        n.hints.insert(QStringLiteral("image-path"),
                       QUrl::fromLocalFile(QFileInfo(call.pictureFile).absoluteFilePath())
                           .toString(QUrl::FullyEncoded));
    n.hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(1));
    n.hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("phonavo"));
    n.hints.insert(QStringLiteral("resident"), false);

    if (options.actions && !answered)
        n.actionCaptions = call.actions;

    if (options.timeoutSeconds == -1)
        n.expireTimeout = 0; // never expires; closed when the call ends
    else if (options.timeoutSeconds > 0)
        n.expireTimeout = options.timeoutSeconds * 1000;
    else
        n.expireTimeout = -1; // the server's default
    return n;
}
