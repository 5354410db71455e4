#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

// Local time without a look at the disk per conversion. Without TZ the C
// library checks /etc/localtime (a stat of the file) every time a time is
// turned into local time, which the log's stamps and the call dates of a
// replay do thousands of times a second. With TZ naming that file it reads
// the file once; a timer notices when the system's zone changes (a laptop
// that travels) and has it read again.
class LocalTimeZone : public QObject
{
public:
    static constexpr int kCheckMs = 60 * 1000;

    explicit LocalTimeZone(QString zoneFile = QStringLiteral("/etc/localtime"),
                           QObject* parent = nullptr);
    // Takes over when TZ is not set (false, and nothing changes, when it is):
    // TZ names the zone file from now on, and the timer starts.
    bool pin();
    // Has the zone file read again when it changed since the last look; true then.
    bool check();

private:
    QString signature() const;

    QString m_file;
    QString m_seen;
    bool m_pinned = false;
    bool m_alternate = false;
    QTimer m_timer;
};
