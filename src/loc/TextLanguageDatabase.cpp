#include "TextLanguageDatabase.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>

#include <algorithm>

namespace {

const QString kInvalid = QStringLiteral("Not a valid Text Language Database");
const QString kNotFound = QStringLiteral("Language not found in Language Database");
constexpr qint64 kMaxFileSize = 64 * 1024 * 1024;

struct Line
{
    qint64 offset;
    QString text;
};

QList<Line> splitLines(const QByteArray& bytes)
{
    QList<Line> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        const qsizetype next = end < 0 ? bytes.size() : end + 1;
        if (end < 0)
            end = bytes.size();
        qsizetype stop = end;
        if (stop > start && bytes.at(stop - 1) == '\r')
            --stop;
        lines.append({start, QString::fromUtf8(bytes.constData() + start, stop - start)});
        start = next;
    }
    return lines;
}

bool isSection(const QString& line, const QString& name)
{
    const QString trimmed = line.trimmed();
    return trimmed.size() == name.size() + 2 && trimmed.startsWith(QLatin1Char('[')) &&
           trimmed.endsWith(QLatin1Char(']')) &&
           trimmed.mid(1, name.size()).compare(name, Qt::CaseInsensitive) == 0;
}

int positiveNumber(const QString& text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok && value > 0 ? value : 0;
}

} // namespace

bool TextLanguageDatabase::fail(const QString& message)
{
    m_error = message;
    m_entries.clear();
    m_version.clear();
    m_localeId.clear();
    return false;
}

bool TextLanguageDatabase::open(const QString& path, const QString& language)
{
    m_error.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    if (file.size() > kMaxFileSize)
        return fail(kInvalid);
    const QList<Line> lines = splitLines(file.readAll());

    // The header section and its keys.
    qsizetype at = 0;
    while (at < lines.size() && lines[at].text.trimmed().isEmpty())
        ++at;
    if (at >= lines.size() || !isSection(lines[at].text, QStringLiteral("Localization Guru")))
        return fail(kInvalid);
    QHash<QString, QString> keys;
    for (++at; at < lines.size() && !lines[at].text.trimmed().startsWith(QLatin1Char('[')); ++at) {
        const QString& line = lines[at].text;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals > 0)
            keys.insert(line.left(equals).trimmed().toLower(), line.mid(equals + 1).trimmed());
    }
    const int languageCount = positiveNumber(keys.value(QStringLiteral("numberoflanguages")));
    const int stringCount = positiveNumber(keys.value(QStringLiteral("numberofstrings")));
    if (languageCount < 1 || stringCount < 1)
        return fail(kInvalid);

    while (at < lines.size() && !isSection(lines[at].text, QStringLiteral("NATIVE")))
        ++at;
    const qsizetype nativeStart = at + 1;
    if (at >= lines.size() || nativeStart + stringCount > lines.size())
        return fail(kInvalid);

    // The number k of a language's "Language<k>" key; 0 when there is none.
    const auto indexOf = [&](const QString& wanted) {
        for (int k = 1; k <= languageCount && !wanted.isEmpty(); ++k) {
            if (keys.value(QStringLiteral("language%1").arg(k))
                    .compare(wanted, Qt::CaseInsensitive) == 0)
                return k;
        }
        return 0;
    };
    // The first line of language k's block; 0 (blockError says why) without one.
    QString blockError;
    const auto blockOf = [&](int index) -> qsizetype {
        const QString name = keys.value(QStringLiteral("language%1").arg(index));
        const qint64 offset =
            keys.value(QStringLiteral("language%1_offset").arg(index)).toLongLong();
        const auto byOffset = std::find_if(lines.cbegin(), lines.cend(),
                                           [&](const Line& line) { return line.offset == offset; });
        qsizetype header = -1;
        if (byOffset != lines.cend() && isSection(byOffset->text, name))
            header = byOffset - lines.cbegin();
        for (qsizetype i = nativeStart + stringCount; header < 0 && i < lines.size(); ++i) {
            if (isSection(lines[i].text, name))
                header = i;
        }
        if (header < 0) {
            blockError =
                QStringLiteral("The texts of %1 are missing in the Language Database").arg(name);
            return 0;
        }
        if (header + 1 + stringCount > lines.size()) {
            blockError =
                QStringLiteral("The texts of %1 are incomplete in the Language Database").arg(name);
            return 0;
        }
        return header + 1;
    };

    // Which block: the language's own, or the native texts for "Native".
    const bool readsNative = language.compare(QStringLiteral("Native"), Qt::CaseInsensitive) == 0;
    qsizetype blockStart = nativeStart;
    QString localeId;
    if (!readsNative) {
        const int index = indexOf(language);
        if (index == 0)
            return fail(kNotFound);
        blockStart = blockOf(index);
        if (blockStart == 0)
            return fail(blockError);
        localeId = keys.value(QStringLiteral("language%1_localeid").arg(index));
    }
    // The English form of a native text that is not English (see LanguageDatabase).
    const int englishIndex = indexOf(QStringLiteral("English"));
    const qsizetype englishStart = englishIndex > 0 ? blockOf(englishIndex) : 0;

    m_entries.clear();
    m_entries.reserve(stringCount);
    for (int k = 0; k < stringCount; ++k) {
        const QString& foreign = lines[blockStart + k].text;
        const QString english = englishStart > 0 ? lines[englishStart + k].text : QString();
        const bool useEnglish = !english.isEmpty() && (readsNative || foreign.isEmpty());
        m_entries.append({lines[nativeStart + k].text, useEnglish ? english : foreign});
    }
    std::stable_sort(m_entries.begin(), m_entries.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    m_version = keys.value(QStringLiteral("version"));
    m_localeId = localeId;
    return true;
}

std::optional<QString> TextLanguageDatabase::lookup(const QString& native) const
{
    const auto it = std::lower_bound(m_entries.cbegin(), m_entries.cend(), native,
                                     [](const std::pair<QString, QString>& entry,
                                        const QString& text) { return entry.first < text; });
    if (it == m_entries.cend() || it->first != native)
        return std::nullopt;
    return it->second;
}

QString TextLanguageDatabase::nativeText(int index) const
{
    return index >= 0 && index < m_entries.size() ? m_entries[index].first : QString();
}

QString TextLanguageDatabase::foreignText(int index) const
{
    return index >= 0 && index < m_entries.size() ? m_entries[index].second : QString();
}

bool TextLanguageDatabase::save(const QString& path, const QStringList& natives,
                                const QList<Language>& languages, const QString& version,
                                QString* error)
{
    auto failed = [error](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    auto singleLine = [](const QString& text) {
        return !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r'));
    };
    if (!std::all_of(natives.cbegin(), natives.cend(), singleLine))
        return failed(QStringLiteral("A native text holds a line break"));

    QByteArray body = "[NATIVE]\n";
    for (const QString& text : natives)
        body += text.toUtf8() + '\n';
    QList<qint64> blockOffsets; // relative to the body
    for (const Language& language : languages) {
        if (language.texts.size() != natives.size())
            return failed(QStringLiteral("%1 has %2 texts for %3 native ones")
                              .arg(language.name)
                              .arg(language.texts.size())
                              .arg(natives.size()));
        if (!std::all_of(language.texts.cbegin(), language.texts.cend(), singleLine))
            return failed(QStringLiteral("A text of %1 holds a line break").arg(language.name));
        blockOffsets.append(body.size());
        body += '[' + language.name.toUtf8() + "]\n";
        for (const QString& text : language.texts)
            body += text.toUtf8() + '\n';
    }

    // The offsets count the header itself, whose length depends on them: repeat
    // until the header's length settles (at most a digit more per round).
    QByteArray header;
    qint64 headerSize = 0;
    for (int round = 0; round < 8; ++round) {
        header = "[Localization Guru]\n";
        if (!version.isEmpty())
            header += "Version=" + version.toUtf8() + '\n';
        header += "NumberOfLanguages=" + QByteArray::number(languages.size()) + '\n';
        header += "NumberOfStrings=" + QByteArray::number(natives.size()) + '\n';
        for (qsizetype k = 0; k < languages.size(); ++k) {
            const QByteArray n = QByteArray::number(k + 1);
            header += "Language" + n + '=' + languages[k].name.toUtf8() + '\n';
            header += "Language" + n +
                      "_Offset=" + QByteArray::number(headerSize + blockOffsets[k]) + '\n';
            if (!languages[k].localeId.isEmpty())
                header += "Language" + n + "_LocaleID=" + languages[k].localeId.toUtf8() + '\n';
        }
        if (header.size() == headerSize)
            break;
        headerSize = header.size();
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failed(file.errorString());
    file.write(header);
    file.write(body);
    if (!file.commit())
        return failed(file.errorString());
    return true;
}
