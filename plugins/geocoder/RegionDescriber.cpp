#include "RegionDescriber.h"

#include <phonenumbers/geocoding/phonenumber_offline_geocoder.h>
#include <phonenumbers/phonenumberutil.h>

#include <QRegularExpression>
#include <QStringList>

#include <string>

using i18n::phonenumbers::PhoneNumber;
using i18n::phonenumbers::PhoneNumberOfflineGeocoder;
using i18n::phonenumbers::PhoneNumberUtil;

RegionDescriber::RegionDescriber() = default;
RegionDescriber::~RegionDescriber() = default;

namespace {

icu::Locale localeFor(const QString& language)
{
    const QStringList parts = language.trimmed().split(QRegularExpression(QStringLiteral("[_-]")));
    const std::string lang = parts.value(0).toLower().toStdString();
    const std::string region = parts.size() > 1 ? parts.constLast().toUpper().toStdString() : "";
    return icu::Locale(lang.c_str(), region.c_str());
}

} // namespace

QString RegionDescriber::describe(const QString& number, const QString& defaultRegion,
                                  const QString& language) const
{
    QString text = number.left(kMaxNumberLength).trimmed();
    if (text.startsWith(QLatin1String("00")))
        text.replace(0, 2, QLatin1Char('+'));
    if (text.isEmpty())
        return QString();

    const PhoneNumberUtil* util = PhoneNumberUtil::GetInstance();
    PhoneNumber parsed;
    // toUtf8 never yields invalid UTF-8: lone surrogates become replacement
    // characters, which the parser rejects like any other letter.
    const std::string utf8 = text.toUtf8().toStdString();
    if (util->Parse(utf8, defaultRegion.toUpper().toStdString(), &parsed) !=
        PhoneNumberUtil::NO_PARSING_ERROR)
        return QString();

    if (!m_geocoder)
        m_geocoder = std::make_unique<PhoneNumberOfflineGeocoder>();
    // Checks validity itself, and names only the country for numbers whose
    // area tells nothing about a place (mobile and service numbers).
    return QString::fromStdString(m_geocoder->GetDescriptionForNumber(parsed, localeFor(language)));
}

bool RegionDescriber::isKnownRegion(const QString& regionCode)
{
    return PhoneNumberUtil::GetInstance()->GetCountryCodeForRegion(
               regionCode.toUpper().toStdString()) != 0;
}
