#include "LocalTimeZone.h"

#include <QFileInfo>

#include <cstdlib>
#include <ctime>

LocalTimeZone::LocalTimeZone(QString zoneFile, QObject* parent)
    : QObject(parent), m_file(std::move(zoneFile))
{
    connect(&m_timer, &QTimer::timeout, this, &LocalTimeZone::check);
}

QString LocalTimeZone::signature() const
{
    // The usual change is a new link to another zone; an edited copy
    // changes its time and size.
    const QFileInfo info(m_file);
    return info.symLinkTarget() + QLatin1Char('|') +
           QString::number(info.lastModified().toMSecsSinceEpoch()) + QLatin1Char('|') +
           QString::number(info.size());
}

bool LocalTimeZone::pin()
{
    if (!qEnvironmentVariableIsEmpty("TZ") || !QFileInfo::exists(m_file))
        return false;
    qputenv("TZ", QByteArray(':' + m_file.toLocal8Bit()));
    tzset();
    m_seen = signature();
    m_pinned = true;
    m_timer.start(kCheckMs);
    return true;
}

bool LocalTimeZone::check()
{
    if (!m_pinned)
        return false;
    const QString now = signature();
    if (now == m_seen)
        return false;
    m_seen = now;
    // The library reads the file again only when TZ reads differently: the
    // same file by another path.
    m_alternate = !m_alternate;
    const QFileInfo info(m_file);
    const QString path =
        m_alternate ? info.absolutePath() + QStringLiteral("/./") + info.fileName() : m_file;
    qputenv("TZ", QByteArray(':' + path.toLocal8Bit()));
    tzset();
    return true;
}
