#include "ManagerCommandLine.h"

#include "loc/LocGuru.h"

#include <QRegularExpression>

namespace {

QString GetS(const QString& text, const QStringList& params, const LocGuru* loc)
{
    return loc ? loc->GetS(text, params)
               : LocGuru::SubstituteParameters(text, int(params.size()), params);
}

bool isHelp(const QString& piece)
{
    static const QStringList help = {QStringLiteral("-h"), QStringLiteral("--help"),
                                     QStringLiteral("-?"), QStringLiteral("/?"),
                                     QStringLiteral("/help")};
    return help.contains(piece, Qt::CaseInsensitive);
}

// A piece that starts an option: "/word" (with or without "=value") or help.
bool startsOption(const QString& piece)
{
    static const QRegularExpression option(QStringLiteral("^/[A-Za-z]+(=|$)"));
    return isHelp(piece) || option.match(piece).hasMatch();
}

// Splits one argument at the blanks outside quotes that are followed by a new
// option, so a whole command line given as one argument falls apart, while a
// name with blanks stays whole.
QStringList splitAtOptions(const QString& argument)
{
    QStringList pieces;
    QString current;
    bool quoted = false;
    for (qsizetype i = 0; i < argument.size(); ++i) {
        const QChar c = argument.at(i);
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        if (!quoted && c.isSpace()) {
            const QString rest = argument.mid(i).trimmed();
            if (startsOption(rest.section(QLatin1Char(' '), 0, 0))) {
                if (!current.isEmpty())
                    pieces << current;
                current.clear();
                continue;
            }
        }
        if (current.isEmpty() && c.isSpace() && !quoted)
            continue;
        current += c;
    }
    if (!current.isEmpty())
        pieces << current;
    return pieces;
}

QString unquoted(QString value)
{
    value = value.trimmed();
    if (value.startsWith(QLatin1Char('"')))
        value.remove(0, 1);
    if (value.endsWith(QLatin1Char('"')))
        value.chop(1);
    return value.replace(QStringLiteral("\"\""), QStringLiteral("\""));
}

} // namespace

ManagerCommandLine ManagerCommandLine::parse(const QStringList& arguments, const LocGuru* loc)
{
    // Options with the pieces that continue their value.
    QStringList options;
    QStringList loose;
    for (const QString& argument : arguments) {
        for (const QString& piece : splitAtOptions(argument)) {
            if (startsOption(piece))
                options << piece;
            else if (!options.isEmpty() && options.last().contains(QLatin1Char('=')))
                options.last() += QLatin1Char(' ') + piece;
            else
                loose << piece;
        }
    }
    ManagerCommandLine result;
    for (const QString& piece : loose)
        result.warnings << GetS(QStringLiteral("Argument ignored: %s"), {piece}, loc);
    QString command;
    for (const QString& option : options) {
        if (isHelp(option)) {
            result.action = Action::Help;
            continue;
        }
        const qsizetype eq = option.indexOf(QLatin1Char('='));
        const QString key = (eq < 0 ? option.mid(1) : option.mid(1, eq - 1)).toLower();
        const QString value = eq < 0 ? QString() : unquoted(option.mid(eq + 1));
        if (key == QLatin1String("command"))
            command = value.toLower();
        else if (key == QLatin1String("number"))
            result.number = value;
        else if (key == QLatin1String("name"))
            result.name = value;
        else if (key == QLatin1String("extra"))
            result.extra = value;
        else if (key == QLatin1String("guid"))
            result.guid = value;
        else
            result.warnings << GetS(QStringLiteral("Argument ignored: %s"), {option}, loc);
    }
    if (result.action == Action::Help)
        return result;
    if (command == QLatin1String("new")) {
        result.action = Action::New;
    } else if (command == QLatin1String("open")) {
        result.action = Action::Open;
        if (result.guid.isEmpty()) {
            result.warnings << GetS(QStringLiteral("/command=open needs /guid=<key>; "
                                                   "showing the list"),
                                    {}, loc);
            result.action = Action::List;
        }
    } else if (!command.isEmpty()) {
        result.warnings << GetS(QStringLiteral("Unknown command \"%s\"; showing the list"),
                                {command}, loc);
    }
    return result;
}

QString ManagerCommandLine::usage(const LocGuru* loc)
{
    return GetS(
        QStringLiteral("Usage: phonavo-contacts [/command=new /number=\"<number>\" "
                       "/name=\"<name>\" /extra=\"<company>\" | /command=open /guid=<key>]"),
        {}, loc);
}

SplitName splitPersonName(const QString& name)
{
    const QString simple = name.simplified();
    const qsizetype comma = simple.indexOf(QLatin1Char(','));
    if (comma > 0)
        return {simple.mid(comma + 1).trimmed(), simple.left(comma).trimmed()};
    const qsizetype blank = simple.lastIndexOf(QLatin1Char(' '));
    if (blank < 0)
        return {QString(), simple};
    return {simple.left(blank), simple.mid(blank + 1)};
}
