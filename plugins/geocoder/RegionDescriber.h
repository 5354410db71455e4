#pragma once

#include <QString>

#include <memory>

namespace i18n::phonenumbers {
class PhoneNumberOfflineGeocoder;
}

// Where a telephone number belongs, from libphonenumber's offline data: the
// town or area when the data knows it ("Berlin" for +49 30 ...), otherwise the
// country ("Germany" for a German mobile number). Kept apart from the plug-in
// so that libphonenumber's headers stay out of the moc'ed class.
class RegionDescriber
{
public:
    RegionDescriber();
    ~RegionDescriber();
    RegionDescriber(const RegionDescriber&) = delete;
    RegionDescriber& operator=(const RegionDescriber&) = delete;

    // The longest number that is parsed; anything longer is cut first, so that
    // no text of any length reaches the library.
    static constexpr qsizetype kMaxNumberLength = 64;

    // The region description of number in language (an ISO 639 code, optionally
    // with a region: "de", "de_AT"). A number in national form is read as a
    // number of defaultRegion (ISO 3166 code such as "DE"); "00" starts an
    // international number whatever the region's own exit code is. Empty when
    // the number cannot be parsed or is not a valid number.
    QString describe(const QString& number, const QString& defaultRegion,
                     const QString& language) const;

    // Whether libphonenumber knows regionCode ("DE", "US", ...).
    static bool isKnownRegion(const QString& regionCode);

private:
    // Created on the first lookup and kept: it loads its area tables lazily
    // and caches them.
    mutable std::unique_ptr<i18n::phonenumbers::PhoneNumberOfflineGeocoder> m_geocoder;
};
