#include "GeocoderPlugin.h"

#include <QLocale>

namespace {
const QString kFallbackRegion = QStringLiteral("DE");
}

QString GeocoderPlugin::systemRegion()
{
    const QLocale::Territory territory = QLocale::system().territory();
    const QString code =
        territory == QLocale::AnyTerritory ? QString() : QLocale::territoryToCode(territory);
    return RegionDescriber::isKnownRegion(code) ? code : kFallbackRegion;
}

QString GeocoderPlugin::systemLanguage()
{
    const QLocale::Language language = QLocale::system().language();
    if (language == QLocale::C || language == QLocale::AnyLanguage)
        return QStringLiteral("en");
    return QLocale::languageToCode(language);
}

QString GeocoderPlugin::region()
{
    const QString configured =
        m_context ? m_context->setting(QStringLiteral("Region")).trimmed().toUpper() : QString();
    if (configured.isEmpty())
        return systemRegion();
    if (!RegionDescriber::isKnownRegion(configured) && configured != m_reportedRegion) {
        m_reportedRegion = configured;
        m_context->log(m_context->translate(
            QStringLiteral("Region of the number: unknown region code %s; numbers without a "
                           "country code are not looked up"),
            {configured}));
    }
    return configured;
}

bool GeocoderPlugin::Lookup(const QString& number, QString& name, QString& imageFile,
                            QString& extra)
{
    Q_UNUSED(name)
    Q_UNUSED(imageFile)
    QString language =
        m_context ? m_context->setting(QStringLiteral("Language")).trimmed() : QString();
    if (language.isEmpty())
        language = systemLanguage();
    const QString description = m_describer.describe(number, region(), language);
    if (!description.isEmpty())
        extra = description;
    return false;
}
