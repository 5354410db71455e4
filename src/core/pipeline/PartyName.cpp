#include "PartyName.h"

#include "loc/LocGuru.h"

QString FormatPartyName(const LocGuru& loc, const QString& number, const QString& name)
{
    QString result;
    if (!name.isEmpty() && !number.isEmpty() && name != number)
        result = name + QStringLiteral(" (") + number + QLatin1Char(')');
    else if (name.isEmpty() || name == number)
        result = number;
    else
        result = name;
    if (result.isEmpty())
        result = loc.GetS(QStringLiteral("(unknown)"));
    return result;
}
