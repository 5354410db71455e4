#include "AutostartEntry.h"

#include "platform/AppPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

#include <algorithm>

namespace {

QString configHome()
{
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    return QDir::isAbsolutePath(xdg) ? xdg : QDir::homePath() + QStringLiteral("/.config");
}

// An argument quoted for Exec: reserved characters inside double quotes are
// escaped with a backslash, and the value's own escaping doubles that.
QString quoted(const QString& arg)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`=%");
    if (!arg.isEmpty() &&
        std::none_of(arg.cbegin(), arg.cend(), [](QChar c) { return reserved.contains(c); }))
        return arg;
    QString out = QStringLiteral("\"");
    for (const QChar c : arg) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        out += c == QLatin1Char('%') ? QStringLiteral("%%") : QString(c);
    }
    out += QLatin1Char('"');
    out.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return out;
}

} // namespace

namespace AutostartEntry {

QString path()
{
    return configHome() + QStringLiteral("/autostart/net.phonavo.Phonavo.desktop");
}

bool isEnabled()
{
    QFile file(path());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QString text = QString::fromUtf8(file.read(64 * 1024));
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QString l = line.trimmed();
        if (l == QLatin1String("Hidden=true") ||
            l == QLatin1String("X-GNOME-Autostart-enabled=false"))
            return false;
    }
    return true;
}

QString execLine(const QString& program, const QStringList& args)
{
    QStringList parts{quoted(program)};
    for (const QString& arg : args)
        parts << quoted(arg);
    return parts.join(QLatin1Char(' '));
}

QString enable(const QString& program)
{
    const QString file = path();
    const QString problem = AppPaths::createDirProblem(QFileInfo(file).absolutePath());
    if (!problem.isEmpty())
        return problem;
    QString exec = execLine(program, {QStringLiteral("/autostart")});
    const QString home = AppPaths::homeOverride();
    if (!home.isEmpty())
        exec = execLine(QStringLiteral("env"),
                        {QStringLiteral("PHONAVO_HOME=") + QDir(home).absolutePath()}) +
               QLatin1Char(' ') + exec;
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=Phonavo\n"
                                        "Comment=Caller identification and call monitor\n"
                                        "Icon=net.phonavo.Phonavo\n"
                                        "Exec=%1\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(exec);
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(text.toUtf8()) < 0 || !out.commit())
        return out.errorString();
    return {};
}

QString disable()
{
    QFile file(path());
    if (!file.exists() || file.remove())
        return {};
    return file.errorString();
}

} // namespace AutostartEntry
