#include "CsvPhonebookReader.h"

#include <array>

namespace {

const QChar kQuote = QLatin1Char('"');

bool endsRecord(QChar c)
{
    return c == QLatin1Char('\n') || c == QLatin1Char('\r');
}

} // namespace

QChar CsvPhonebookReader::guessSeparator(const QString& text)
{
    // Counted on the first record only, outside quotes; on a tie the rarer
    // separator of names wins (a name may hold a comma, hardly a tab).
    const std::array<QChar, 3> candidates{QLatin1Char('\t'), QLatin1Char(';'), QLatin1Char(',')};
    std::array<int, 3> counts{};
    bool quoted = false;
    for (const QChar c : text) {
        if (c == kQuote)
            quoted = !quoted;
        else if (!quoted && endsRecord(c))
            break;
        else if (!quoted)
            for (size_t i = 0; i < candidates.size(); ++i)
                counts[i] += c == candidates[i] ? 1 : 0;
    }
    size_t best = candidates.size() - 1;
    for (size_t i = 0; i < candidates.size(); ++i)
        if (counts[i] > counts[best] || (counts[i] == counts[best] && counts[i] > 0 && i < best))
            best = i;
    return candidates[best];
}

QList<QStringList> CsvPhonebookReader::rows(const QString& text, QChar separator)
{
    QList<QStringList> out;
    QStringList row;
    QString field;
    bool quoted = false;
    bool fieldStarted = false; // the field holds something, if only empty quotes
    const auto endField = [&] {
        row.append(field);
        field.clear();
        fieldStarted = false;
    };
    const auto endRow = [&] {
        endField();
        out.append(row);
        row.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c != kQuote)
                field.append(c);
            else if (i + 1 < text.size() && text.at(i + 1) == kQuote)
                field.append(text.at(++i));
            else
                quoted = false;
        } else if (c == kQuote && field.trimmed().isEmpty()) {
            // Quotes open a field only at its start; blanks before them are
            // dropped. A quote inside an unquoted field is kept as it is.
            field.clear();
            quoted = true;
            fieldStarted = true;
        } else if (c == separator) {
            endField();
        } else if (endsRecord(c)) {
            if (c == QLatin1Char('\r') && i + 1 < text.size() &&
                text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            endRow();
        } else {
            field.append(c);
            fieldStarted = true;
        }
    }
    if (fieldStarted || !field.isEmpty() || !row.isEmpty())
        endRow();
    return out;
}

CsvPhonebookReader::Result CsvPhonebookReader::read(const QString& text)
{
    Result result;
    const QList<QStringList> all = rows(text, guessSeparator(text));
    if (all.isEmpty())
        return result;

    qsizetype numberColumn = 0;
    qsizetype nameColumn = 1;
    qsizetype extraColumn = 2;
    qsizetype first = 0;
    const QStringList& head = all.constFirst();
    const auto columnOf = [&head](const char* title) {
        for (qsizetype i = 0; i < head.size(); ++i)
            if (head.at(i).trimmed().compare(QLatin1String(title), Qt::CaseInsensitive) == 0)
                return i;
        return qsizetype(-1);
    };
    nameColumn = columnOf("name");
    numberColumn = columnOf("number");
    extraColumn = columnOf("extra");
    if (nameColumn >= 0 || numberColumn >= 0 || extraColumn >= 0) {
        if (numberColumn < 0) {
            result.error =
                QStringLiteral("Phone book: %s has a header row without the column Number");
            return result;
        }
        first = 1;
    } else {
        numberColumn = 0;
        nameColumn = 1;
        extraColumn = 2;
    }

    for (qsizetype r = first; r < all.size(); ++r) {
        const QStringList& row = all.at(r);
        PhonebookEntry entry;
        entry.name = row.value(nameColumn).trimmed();
        entry.extra = row.value(extraColumn).trimmed();
        const QString number = row.value(numberColumn).trimmed();
        if (number.isEmpty())
            continue;
        entry.numbers.append(number);
        result.entries.append(entry);
    }
    return result;
}
