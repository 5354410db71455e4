#include "RouterCallMonitorParser.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

// Enough of a bad line to recognise it in the log, without flooding it.
QString excerpt(QByteArrayView line)
{
    constexpr qsizetype kShown = 80;
    QString text = QString::fromUtf8(line.first(std::min(line.size(), kShown)));
    for (QChar& c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char('?');
    return line.size() > kShown ? text + QStringLiteral("...") : text;
}

QDateTime parseTime(const QString& text)
{
    QDateTime time = QDateTime::fromString(text, QStringLiteral("dd.MM.yy HH:mm:ss"));
    if (time.isValid())
        return time.addYears(100); // "yy" reads as 19yy
    return QDateTime::fromString(text, QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

// Signs that a lost line end ran two lines together: the next line's time
// stamp or event word inside a number field, or a trunk id where the called
// number belongs. Anything else a router reports as a number (a "+" in the
// middle, "anonymous", an address) is kept: a call must not be lost over it.
bool looksCorrupt(const QString& text, bool calledNumber)
{
    static const QRegularExpression stamp(
        QStringLiteral("\\d{2}\\.\\d{2}\\.\\d{2}\\s+\\d{1,2}:\\d{2}"));
    static const QRegularExpression trunk(QStringLiteral("^(SIP|ISDN|POTS|PSTN)\\d*$"),
                                          QRegularExpression::CaseInsensitiveOption);
    static const QStringList events = {QStringLiteral("RING"), QStringLiteral("CALL"),
                                       QStringLiteral("CONNECT"), QStringLiteral("DISCONNECT")};
    return stamp.match(text).hasMatch() || events.contains(text.toUpper()) ||
           (calledNumber && trunk.match(text).hasMatch());
}

bool isDigits(const QString& text)
{
    return !text.isEmpty() &&
           std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

enum class NumberField
{
    Required,
    EmptyAllowed, // a withheld caller, an own number the line does not report
    CalledNumber, // the own number of a RING: may be empty, never a trunk id
    Extension     // the router's number of one of its phones
};

// Why a number field shows a broken line, or nothing when it is fine.
QString numberProblem(const QString& type, const char* name, const QString& text, NumberField kind)
{
    bool ok = false;
    switch (kind) {
    case NumberField::Required:
        ok = !text.isEmpty() && !looksCorrupt(text, false);
        break;
    case NumberField::EmptyAllowed:
    case NumberField::CalledNumber:
        ok = !looksCorrupt(text, kind == NumberField::CalledNumber);
        break;
    case NumberField::Extension:
        ok = isDigits(text);
        break;
    }
    if (ok)
        return QString();
    return QStringLiteral("a %1 whose %2 \"%3\" is not a number")
        .arg(type, QLatin1String(name), text.left(40));
}

} // namespace

RouterCallMonitorParser::Output RouterCallMonitorParser::feed(QByteArrayView bytes)
{
    Output out;
    m_lines.feed(
        bytes, [&](QByteArrayView line) { takeLine(line, out); },
        [&](bool) {
            out.problems << QStringLiteral("a line longer than %1 bytes").arg(kMaxLineLength);
        });
    return out;
}

void RouterCallMonitorParser::reset()
{
    m_lines.reset();
}

void RouterCallMonitorParser::takeLine(QByteArrayView line, Output& out)
{
    if (line.endsWith('\r'))
        line.chop(1);
    if (line.trimmed().isEmpty())
        return;
    QString problem;
    if (auto event = parseLine(line, &problem))
        out.events.append(std::move(*event));
    else
        out.problems << problem + QStringLiteral(": ") + excerpt(line);
}

std::optional<RouterCallEvent> RouterCallMonitorParser::parseLine(QByteArrayView line,
                                                                  QString* problem)
{
    const auto reject = [problem](QString why) {
        if (problem)
            *problem = std::move(why);
        return std::nullopt;
    };
    for (const char c : line)
        if ((uchar(c) < 0x20 && c != '\t') || c == 0x7f)
            return reject(QStringLiteral("a line with control characters"));

    QStringList fields = QString::fromUtf8(line).split(QLatin1Char(';'));
    if (fields.size() > 1 && fields.last().trimmed().isEmpty())
        fields.removeLast(); // the closing ";" is optional
    for (QString& field : fields) {
        if (field.size() > kMaxFieldLength)
            return reject(QStringLiteral("a line with a field longer than %1 characters")
                              .arg(kMaxFieldLength));
        field = field.trimmed();
    }
    if (fields.size() < 3)
        return reject(QStringLiteral("a line that is not from a call monitor"));

    RouterCallEvent event;
    event.time = parseTime(fields[0]);
    if (!event.time.isValid())
        return reject(QStringLiteral("a line with a bad time stamp"));
    bool ok = false;
    event.connectionId = fields[2].toInt(&ok);
    if (!ok || event.connectionId < 0)
        return reject(QStringLiteral("a line with a bad connection id"));

    const QString type = fields[1].toUpper();
    const auto need = [&](qsizetype count) { return fields.size() >= count; };
    if (type == QLatin1String("RING")) {
        if (!need(5))
            return reject(QStringLiteral("a RING with too few fields"));
        event.type = RouterCallEvent::Type::Ring;
        event.remoteNumber = fields[3];
        event.ownNumber = fields[4];
        event.trunk = fields.value(5);
        for (const QString& why :
             {numberProblem(type, "caller number", event.remoteNumber, NumberField::EmptyAllowed),
              numberProblem(type, "called number", event.ownNumber, NumberField::CalledNumber)})
            if (!why.isEmpty())
                return reject(why);
    } else if (type == QLatin1String("CALL")) {
        if (!need(6))
            return reject(QStringLiteral("a CALL with too few fields"));
        event.type = RouterCallEvent::Type::Call;
        event.extension = fields[3];
        event.ownNumber = fields[4];
        event.remoteNumber = fields[5];
        event.trunk = fields.value(6);
        for (const QString& why :
             {numberProblem(type, "extension", event.extension, NumberField::Extension),
              numberProblem(type, "own number", event.ownNumber, NumberField::EmptyAllowed),
              numberProblem(type, "called number", event.remoteNumber, NumberField::Required)})
            if (!why.isEmpty())
                return reject(why);
    } else if (type == QLatin1String("CONNECT")) {
        if (!need(4))
            return reject(QStringLiteral("a CONNECT with too few fields"));
        event.type = RouterCallEvent::Type::Connect;
        event.extension = fields[3];
        event.remoteNumber = fields.value(4);
        for (const QString& why :
             {numberProblem(type, "extension", event.extension, NumberField::Extension),
              numberProblem(type, "number", event.remoteNumber, NumberField::EmptyAllowed)})
            if (!why.isEmpty())
                return reject(why);
    } else if (type == QLatin1String("DISCONNECT")) {
        event.type = RouterCallEvent::Type::Disconnect;
        // A bad duration must not cost the end of a call.
        event.durationSeconds = std::max(0, fields.value(3).toInt());
    } else {
        return reject(QStringLiteral("an unknown event \"%1\"").arg(fields[1].left(32)));
    }
    return event;
}
