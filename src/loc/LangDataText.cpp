#include "LangDataText.h"

#include "loc/LanguageDatabase.h"

#include <QFile>
#include <QSet>

namespace LangDataText {

namespace {

// The text between the first and the last quote of a trimmed line.
std::optional<QString> quotedText(const QString& part)
{
    const QString trimmed = part.trimmed();
    if (trimmed.size() < 2 || !trimmed.startsWith(QLatin1Char('"')) ||
        !trimmed.endsWith(QLatin1Char('"')))
        return std::nullopt;
    return trimmed.mid(1, trimmed.size() - 2);
}

// The & that mark an accelerator; "&&" is a literal ampersand.
int accelerators(const QString& text)
{
    int count = 0;
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != QLatin1Char('&'))
            continue;
        if (text[i + 1] != QLatin1Char('&'))
            ++count;
        ++i;
    }
    return count;
}

} // namespace

Result<QList<Entry>> parse(const QByteArray& utf8)
{
    using R = Result<QList<Entry>>;
    QList<Entry> entries;
    QSet<QString> natives;
    const QList<QByteArray> lines = utf8.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const int number = static_cast<int>(i + 1);
        auto failure = [number](const QString& what) {
            return R::fail(QStringLiteral("line %1: %2").arg(number).arg(what));
        };
        QString line = QString::fromUtf8(lines[i]);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
            continue;
        if (trimmed.startsWith(QLatin1Char('"'))) {
            const std::optional<QString> text = quotedText(trimmed);
            if (!text || text->isEmpty())
                return failure(QStringLiteral("a native text needs a closing double quote"));
            if (natives.contains(*text))
                return failure(QStringLiteral("\"%1\" is listed twice").arg(*text));
            natives.insert(*text);
            entries.append(Entry{*text, {}, false, number});
            continue;
        }
        if (entries.isEmpty())
            return failure(QStringLiteral("a translation or flag before the first native text"));
        Entry& entry = entries.last();
        if (trimmed == QStringLiteral("skip")) {
            entry.skip = true;
            continue;
        }
        const qsizetype colon = trimmed.indexOf(QLatin1Char(':'));
        const QString language = colon > 0 ? trimmed.left(colon).trimmed() : QString();
        const std::optional<QString> text =
            colon > 0 ? quotedText(trimmed.mid(colon + 1)) : std::nullopt;
        if (language.isEmpty() || !text)
            return failure(QStringLiteral("expected \"text\", Language: \"text\" or skip"));
        if (!LanguageDatabase::languageColumns().contains(language))
            return failure(
                QStringLiteral("unknown language %1 (one of %2)")
                    .arg(language, LanguageDatabase::languageColumns().join(QStringLiteral(", "))));
        if (entry.translations.contains(language))
            return failure(QStringLiteral("%1 is given twice").arg(language));
        entry.translations.insert(language, *text);
    }
    return R::ok(entries);
}

Result<QList<Entry>> read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Result<QList<Entry>>::fail(
            QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    Result<QList<Entry>> parsed = parse(file.readAll());
    if (!parsed)
        return Result<QList<Entry>>::fail(path + QStringLiteral(", ") + parsed.error());
    return parsed;
}

QByteArray format(const QList<Entry>& entries)
{
    QByteArray out = "# Phonavo language data, the source of langdata.db (UTF-8).\n"
                     "# Each entry: the native text in double quotes on a line of its own,\n"
                     "# then optional lines <Language>: \"text\" and skip. No escapes.\n"
                     "# scripts/langdata update adds the texts new in src/.\n";
    for (const Entry& entry : entries) {
        out += "\n\"" + entry.native.toUtf8() + "\"\n";
        for (auto it = entry.translations.cbegin(); it != entry.translations.cend(); ++it)
            out += it.key().toUtf8() + ": \"" + it.value().toUtf8() + "\"\n";
        if (entry.skip)
            out += "skip\n";
    }
    return out;
}

QStringList missingLanguages(const Entry& entry)
{
    QStringList missing;
    if (entry.skip)
        return missing;
    for (const QString& language : LanguageDatabase::languageColumns()) {
        if (language != QStringLiteral("English") && !entry.translations.contains(language))
            missing.append(language);
    }
    return missing;
}

QStringList translationFaults(const Entry& entry)
{
    static const QStringList tokens = {QStringLiteral("%s"), QStringLiteral("{\\r}"),
                                       QStringLiteral("{\\n}")};
    QStringList faults;
    const int nativeAccelerators = accelerators(entry.native);
    for (auto it = entry.translations.cbegin(); it != entry.translations.cend(); ++it) {
        const QString& text = it.value();
        for (const QString& token : tokens) {
            const qsizetype have = text.count(token);
            const qsizetype want = entry.native.count(token);
            if (have != want)
                faults.append(QStringLiteral("%1: %2 %3, the native text has %4")
                                  .arg(it.key())
                                  .arg(have)
                                  .arg(token)
                                  .arg(want));
        }
        const int have = accelerators(text);
        if (have > 1)
            faults.append(QStringLiteral("%1: %2 & accelerators").arg(it.key()).arg(have));
        else if ((have > 0) != (nativeAccelerators > 0))
            faults.append(QStringLiteral("%1: %2 & accelerator, the native text has %3")
                              .arg(it.key())
                              .arg(have)
                              .arg(nativeAccelerators));
    }
    return faults;
}

} // namespace LangDataText
