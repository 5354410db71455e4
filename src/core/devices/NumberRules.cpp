#include "NumberRules.h"

#include <QStringList>

QString CutNumber(const QString& number, const QString& rule)
{
    if (rule.isEmpty())
        return number;
    QString result = number;
    const QStringList parts = rule.split(QLatin1Char(';'));
    for (const QString& part : parts)
        if (!part.isEmpty() && result.startsWith(part))
            result.remove(0, part.size());
    return result;
}

QString DigitsOnly(const QString& number)
{
    const QString trimmed = number.trimmed();
    QString digits;
    if (trimmed.startsWith(QLatin1Char('+')))
        digits.append(QLatin1Char('+'));
    for (const QChar c : trimmed)
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digits.append(c);
    return digits;
}
