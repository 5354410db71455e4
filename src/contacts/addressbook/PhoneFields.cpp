#include "PhoneFields.h"

namespace {

bool has(const QStringList& types, const char* type)
{
    return types.contains(QLatin1String(type), Qt::CaseInsensitive);
}

// The first of the given fields still free, or false when all are taken.
bool place(PhoneFields& p, std::initializer_list<PhoneField> order, const QString& number)
{
    for (PhoneField f : order)
        if (p[f].isEmpty()) {
            p[f] = number;
            return true;
        }
    return false;
}

} // namespace

PhoneFields PhoneFields::of(const VCardContact& card)
{
    using F = PhoneField;
    PhoneFields p;
    for (const VCardPhone& phone : card.phones) {
        const QString number = phone.number.trimmed();
        if (number.isEmpty())
            continue;
        const QStringList& t = phone.types;
        const bool work = has(t, "work");
        const bool home = has(t, "home");
        bool placed = false;
        if (has(t, "fax"))
            placed = home ? place(p, {F::HomeFax, F::BusinessFax}, number)
                          : place(p, {F::BusinessFax, F::HomeFax}, number);
        else if (has(t, "cell") || has(t, "mobile") || has(t, "iphone"))
            placed = place(p, {F::Mobile}, number);
        else if (has(t, "car"))
            placed = place(p, {F::Car}, number);
        else if (has(t, "main") || has(t, "x-main") || has(t, "company"))
            placed = place(p, {F::CompanyMain}, number);
        else if (has(t, "pref") && !work && !home)
            placed = place(p, {F::Primary}, number);
        else if (work)
            placed = place(p, {F::Business, F::Business2}, number);
        else if (home)
            placed = place(p, {F::Home, F::Home2}, number);
        else // no type, "voice", "other": a number of the person
            placed = place(p, {F::Home, F::Home2, F::Primary}, number);
        if (!placed)
            p.others << number;
    }
    return p;
}

QStringList PhoneFields::numbers() const
{
    QStringList all;
    for (const QString& n : fields)
        if (!n.isEmpty())
            all << n;
    return all + others;
}
