#include "ContactCards.h"

#include <QMimeDatabase>

namespace {

// The TYPE each number column is written with, in ManagedContact::numbers order.
const std::array<QStringList, ManagedContact::kNumberCount>& columnTypes()
{
    static const std::array<QStringList, ManagedContact::kNumberCount> types = {
        QStringList{QStringLiteral("home"), QStringLiteral("voice")},
        QStringList{QStringLiteral("work"), QStringLiteral("voice")},
        QStringList{QStringLiteral("cell")}, QStringList{QStringLiteral("fax")},
        QStringList{QStringLiteral("x-voip")}};
    return types;
}

// The column a number's types ask for, or -1.
int columnFor(const QStringList& types)
{
    const auto has = [&](const char* t) { return types.contains(QLatin1String(t)); };
    if (has("fax"))
        return 3;
    if (has("cell") || has("mobile"))
        return 2;
    if (has("x-voip") || has("sip") || has("voip"))
        return 4;
    if (has("work"))
        return 1;
    if (has("home"))
        return 0;
    return -1;
}

} // namespace

namespace ContactCards {

ManagedContact fromCard(const VCardContact& card)
{
    ManagedContact c;
    c.firstName = card.givenName.trimmed();
    c.lastName = card.familyName.trimmed();
    if (c.firstName.isEmpty() && c.lastName.isEmpty()) {
        // Cards without N (vCard 4.0 allows it) still name a person in FN,
        // unless FN is just the organization.
        const QString fn = card.formattedName.trimmed();
        if (!fn.isEmpty() && fn != card.organization.trimmed()) {
            const SplitName split = splitPersonName(fn);
            c.firstName = split.first;
            c.lastName = split.last;
        }
    }
    c.company = card.organization.trimmed();
    QList<VCardPhone> unplaced;
    for (const VCardPhone& phone : card.phones) {
        const QString number = phone.number.trimmed();
        if (number.isEmpty())
            continue;
        const int column = columnFor(phone.types);
        if (column >= 0 && c.numbers[size_t(column)].isEmpty())
            c.numbers[size_t(column)] = number;
        else
            unplaced.append({number, phone.types});
    }
    for (const VCardPhone& phone : unplaced)
        for (QString& slot : c.numbers)
            if (slot.isEmpty()) {
                slot = phone.number.trimmed();
                break;
            }
    c.email = card.emails.value(0);
    c.notes = card.note;
    c.picture = card.photoData;
    return c;
}

VCardContact toCard(const ManagedContact& contact)
{
    VCardContact card;
    card.uid = contact.guid;
    card.givenName = contact.firstName;
    card.familyName = contact.lastName;
    card.formattedName = contact.displayName();
    card.organization = contact.company;
    for (int i = 0; i < ManagedContact::kNumberCount; ++i)
        if (!contact.numbers[size_t(i)].trimmed().isEmpty())
            card.phones.append({contact.numbers[size_t(i)].trimmed(), columnTypes()[size_t(i)]});
    if (!contact.email.trimmed().isEmpty())
        card.emails << contact.email.trimmed();
    card.note = contact.notes;
    if (!contact.picture.isEmpty()) {
        card.photoData = contact.picture;
        card.photoMediaType = QMimeDatabase().mimeTypeForData(contact.picture).name();
    }
    return card;
}

} // namespace ContactCards
