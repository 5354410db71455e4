#include "CallTooltip.h"

#include "loc/LocGuru.h"

#include <QLocale>

namespace CallTooltip {

namespace {

QString twoDigits(qint64 n)
{
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

QString party(const QString& number, const QString& name, const QString& extra)
{
    QString text = number;
    for (const QString& more : {name, extra})
        if (!more.isEmpty())
            text += QLatin1Char('\n') + more;
    return text;
}

} // namespace

QString FormatDuration(const LocGuru& loc, qint64 seconds)
{
    seconds = qMax<qint64>(0, seconds);
    const qint64 h = seconds / 3600;
    const qint64 m = seconds % 3600 / 60;
    const qint64 s = seconds % 60;
    if (h >= 1)
        return QString::number(h) + QLatin1Char(':') + twoDigits(m) + QLatin1Char(':') +
               twoDigits(s) + QLatin1Char(' ') + loc.GetS(QStringLiteral("hours"));
    if (m >= 1)
        return QString::number(m) + QLatin1Char(':') + twoDigits(s) + QLatin1Char(' ') +
               loc.GetS(QStringLiteral("minutes"));
    return QString::number(s) + QLatin1Char(' ') + loc.GetS(QStringLiteral("seconds"));
}

QString title(const LocGuru& loc, const CallSummary& call)
{
    return call.incoming ? loc.GetS(QStringLiteral("Incoming call"))
                         : loc.GetS(QStringLiteral("Outgoing call"));
}

QString text(const LocGuru& loc, const CallSummary& call)
{
    const QString duration =
        call.end.isValid() && call.answered
            ? loc.GetS(QStringLiteral("Duration: %s"),
                       QStringList{FormatDuration(loc, call.date.secsTo(call.end))})
            : loc.GetS(QStringLiteral("Not answered"));
    return loc.GetS(QStringLiteral("%s{\\r}%s{\\r}{\\r}Caller: %s{\\r}{\\r}Callee: %s"),
                    QStringList{QLocale().toString(call.date, QLocale::ShortFormat), duration,
                                party(call.callerId, call.callerName, call.callerExtra),
                                party(call.calledId, call.calledName, call.calledExtra)});
}

} // namespace CallTooltip
