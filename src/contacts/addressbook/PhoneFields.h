#pragma once

#include "VCard.h"

#include <QStringList>

#include <array>

// The ten telephone fields a contact is searched and buffered by, in their
// fixed order. A card's TEL lines are sorted into them by their types.
enum class PhoneField
{
    Primary,
    Business,
    Business2,
    BusinessFax,
    Car,
    CompanyMain,
    Home2,
    Home,
    HomeFax,
    Mobile,
};

struct PhoneFields
{
    std::array<QString, 10> fields;
    // Numbers no field took (a third work number, a pager...): still the
    // contact's numbers, searched after the ten.
    QStringList others;

    static PhoneFields of(const VCardContact& card);
    QString& operator[](PhoneField f) { return fields[static_cast<size_t>(f)]; }
    const QString& operator[](PhoneField f) const { return fields[static_cast<size_t>(f)]; }
    // The non-empty numbers: the ten fields in order, then the others.
    QStringList numbers() const;
};
