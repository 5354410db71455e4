#include "NumberKey.h"

QString numberKey(const QString& number, int countryCode)
{
    QString digits;
    bool plus = false;
    for (const QChar c : number) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digits.append(c);
        else if (c == QLatin1Char('+') && digits.isEmpty())
            plus = true;
    }
    if (digits.isEmpty())
        return QString();

    bool international = plus;
    if (!plus && digits.startsWith(QLatin1String("00"))) {
        digits.remove(0, 2);
        international = true;
    }
    if (international) {
        const QString home = QString::number(countryCode);
        if (countryCode <= 0 || !digits.startsWith(home))
            return QLatin1Char('+') + digits;
        digits.remove(0, home.size());
    }
    // The trunk prefix of the national form, also written after the country
    // code as in "+49 (0)30 ...".
    if (digits.startsWith(QLatin1Char('0')))
        digits.remove(0, 1);
    return digits;
}
