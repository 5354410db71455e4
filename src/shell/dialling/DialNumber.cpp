#include "DialNumber.h"

#include "core/devices/NumberRules.h"

#include <algorithm>

QString pureTelNumber2(const QString& text)
{
    QString result;
    if (text.trimmed().startsWith(QLatin1Char('+')))
        result += QLatin1Char('+');
    for (const QChar c : text)
        if ((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('*') ||
            c == QLatin1Char('#'))
            result += c;
    return result;
}

QString initialDialNumber(const QString& given, const QString& lastCalled)
{
    const QString digits = DigitsOnly(given);
    if (!digits.isEmpty())
        return digits;
    // The setting may have been edited by hand.
    return pureTelNumber2(lastCalled);
}

bool containsLetters(const QString& text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.isLetter(); });
}
