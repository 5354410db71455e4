#include "ProgramLog.h"

#include "LogListModel.h"
#include "platform/AppPaths.h"
#include "platform/Clock.h"

#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

// The long time format names the time zone ("t"); the log never showed one.
QString longTimeFormatWithoutZone(const QLocale& locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString result;
    result.reserve(format.size());
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        result.append(c);
    }
    return result.simplified();
}

} // namespace

ProgramLog::ProgramLog(const QString& logFilePath, QObject* parent)
    : QObject(parent), m_path(logFilePath), m_model(new LogListModel(kMaxLines, this))
{
    m_flushTimer.setSingleShot(true);
    connect(&m_flushTimer, &QTimer::timeout, this, &ProgramLog::flush);
}

ProgramLog::~ProgramLog()
{
    flush();
}

void ProgramLog::setDebugFlag(bool on)
{
    m_debug = on;
    if (!fileLoggingOn())
        flush();
}

void ProgramLog::setLogFlag(bool on)
{
    m_log = on;
    if (!fileLoggingOn())
        flush();
}

QString ProgramLog::timeStamp(const QDateTime& when, const QLocale& locale)
{
    return formatGeneralDate(when, locale) + QStringLiteral(": ");
}

QString ProgramLog::formatGeneralDate(const QDateTime& when, const QLocale& locale)
{
    // The pattern of the last locale asked for is kept: it is the same locale
    // line after line.
    static QString lastLocale;
    static QString lastFormat;
    if (lastFormat.isEmpty() || locale.name() != lastLocale) {
        lastLocale = locale.name();
        lastFormat = longTimeFormatWithoutZone(locale);
    }
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(when.time(), lastFormat);
}

QString ProgramLog::joinLines(const QString& text)
{
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    QString result = text;
    result.replace(lineBreak, QStringLiteral(" | "));
    return result;
}

QString ProgramLog::neutralised(const QString& text, bool keepLineFeeds)
{
    const auto isControl = [keepLineFeeds](char16_t c) {
        return (c < 0x20 && !(keepLineFeeds && c == u'\n')) || (c >= 0x7F && c <= 0x9F);
    };
    // Line and paragraph separators break a line in some viewers; the
    // direction marks and overrides make a line read as something else.
    const auto isLayoutControl = [](char16_t c) {
        return c == 0x2028 || c == 0x2029 || c == 0x200E || c == 0x200F ||
               (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
    };
    const auto needsEscape = [&](QChar c) {
        return isControl(c.unicode()) || isLayoutControl(c.unicode());
    };
    if (std::none_of(text.cbegin(), text.cend(), needsEscape))
        return text;
    QString result;
    result.reserve(text.size() + 16);
    for (const QChar c : text) {
        if (!needsEscape(c))
            result += c;
        else if (c.unicode() <= 0xFF)
            result +=
                QStringLiteral("\\x") +
                QString::number(c.unicode(), 16).rightJustified(2, QLatin1Char('0')).toUpper();
        else
            result += QStringLiteral("\\u") + QString::number(c.unicode(), 16).toUpper();
    }
    return result;
}

void ProgramLog::LogStr(const QString& text)
{
    // Lines come in bursts (a replay logs every call it sends): the stamp is
    // made once a second.
    const QDateTime now = Clock::instance().now();
    const int second = now.time().msecsSinceStartOfDay() / 1000;
    if (m_stampText.isEmpty() || second != m_stampSecond || now.date() != m_stampDate) {
        m_stampText = timeStamp(now);
        m_stampSecond = second;
        m_stampDate = now.date();
    }
    const QString line = neutralised(joinLines(m_stampText + text));
    m_model->appendLine(line);
    if (m_echo) {
        const QByteArray bytes = line.toUtf8() + '\n';
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
        std::fflush(stdout);
    }
    emit lineLogged(line);
    emit textLogged(neutralised(joinLines(text)));
    if (fileLoggingOn())
        appendToFile(line);
}

void ProgramLog::DoLogStr(const QString& text) noexcept
{
    try {
        LogStr(text);
    } catch (...) {
        // Logging must never take its caller down.
    }
}

void ProgramLog::writeFileOnly(const QString& text)
{
    if (!fileLoggingOn())
        return;
    // Multi-line reports keep their lines here, with the file's own line ends.
    QString body = text;
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    appendToFile(formatGeneralDate(Clock::instance().now()) + QStringLiteral(": ") +
                 neutralised(body, true));
}

void ProgramLog::deleteLogFile()
{
    // Lines of this run not yet written would have gone with the file.
    m_pending.clear();
    m_lineEnds.clear();
    m_flushTimer.stop();
    for (const QString& path : {m_path, rotatedFilename()}) {
        if (!QFile::exists(path))
            continue;
        QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner);
        QFile::remove(path);
    }
}

void ProgramLog::clear()
{
    m_model->clear();
    emit linesCleared();
}

QStringList ProgramLog::lines() const
{
    return m_model->lines();
}

void ProgramLog::appendToFile(const QString& line)
{
    m_pending += line.toUtf8();
    m_pending += '\n';
    m_lineEnds.push_back(m_pending.size());
    if (m_pending.size() >= kFlushBytes)
        flush();
    else if (!m_flushTimer.isActive())
        m_flushTimer.start(kFlushMs);
}

bool ProgramLog::rotate(QFile& file)
{
    // Only the newest part of a long run is kept: the full file moves aside
    // and a new one starts.
    file.close();
    const QString rotated = rotatedFilename();
    QFile::setPermissions(rotated, QFile::permissions(rotated) | QFileDevice::WriteOwner);
    QFile::remove(rotated);
    QFile::rename(m_path, rotated);
    return file.open(QIODevice::WriteOnly | QIODevice::Append);
}

void ProgramLog::flush()
{
    m_flushTimer.stop();
    if (m_pending.isEmpty())
        return;
    const QByteArray pending = std::exchange(m_pending, {});
    const std::vector<qsizetype> ends = std::exchange(m_lineEnds, {});
    // A file that cannot be written leaves the lines in the list only.
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        if (!AppPaths::ensureParentDir(m_path) ||
            !file.open(QIODevice::WriteOnly | QIODevice::Append))
            return;
    }
    // The size limit is kept line by line, as if each had been written alone.
    qint64 size = file.size();
    qsizetype written = 0;
    qsizetype lineStart = 0;
    for (const qsizetype end : ends) {
        const qsizetype length = end - lineStart;
        if (size > 0 && size + length > m_maxFileBytes) {
            file.write(pending.constData() + written, lineStart - written);
            written = lineStart;
            if (!rotate(file))
                return;
            size = 0;
        }
        size += length;
        lineStart = end;
    }
    file.write(pending.constData() + written, pending.size() - written);
}
