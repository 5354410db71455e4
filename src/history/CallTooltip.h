#pragma once

#include <QDateTime>
#include <QString>

class LocGuru;

// What the history shows of one call beyond its row.
struct CallSummary
{
    QDateTime date;
    QDateTime end;
    bool incoming = true;
    bool answered = false;
    QString callerId, callerName, callerExtra;
    QString calledId, calledName, calledExtra;
};

namespace CallTooltip {

// "1:02:05 hours", "2:05 minutes", "42 seconds".
QString FormatDuration(const LocGuru& loc, qint64 seconds);
// "Incoming call" or "Outgoing call".
QString title(const LocGuru& loc, const CallSummary& call);
// Date, duration (or "Not answered"), caller and callee with their names and extra texts.
QString text(const LocGuru& loc, const CallSummary& call);

} // namespace CallTooltip
