#include "PhonebookPlugin.h"

#include "PhonebookSettingsDialog.h"

#include <QFileInfo>

namespace {
constexpr qint64 kMaxPictureBytes = 4 * 1024 * 1024;
constexpr int kDefaultCountryCode = 49;
constexpr int kDefaultRecheckSeconds = 5;
} // namespace

PhonebookPlugin::PhonebookPlugin()
    : m_book([this](const QString& text, const QStringList& args) {
          if (m_context)
              m_context->log(m_context->translate(text, args));
      })
{}

int PhonebookPlugin::settingNumber(const QString& name, int fallback, int low, int high) const
{
    if (!m_context)
        return fallback;
    bool ok = false;
    const int value = m_context->setting(name).trimmed().toInt(&ok);
    return ok && value >= low && value <= high ? value : fallback;
}

qint16 PhonebookPlugin::CountryCode()
{
    return static_cast<qint16>(
        settingNumber(QStringLiteral("CountryCode"), kDefaultCountryCode, 0, 999));
}

bool PhonebookPlugin::Lookup(const QString& number, QString& name, QString& imageFile,
                             QString& extra)
{
    if (!m_context)
        return false;
    const int recheck =
        settingNumber(QStringLiteral("RecheckSeconds"), kDefaultRecheckSeconds, 0, 86400);
    m_book.refresh(m_context->setting(QStringLiteral("File")), CountryCode(),
                   qint64(recheck) * 1000);
    const PhonebookEntry* entry = m_book.find(number);
    if (!entry)
        return false;
    name = entry->name;
    extra = entry->extra;
    // A picture that is gone is no picture; only a regular file of a sane size
    // is one (a file URI may name a device or a pipe).
    const QFileInfo picture(entry->imageFile);
    imageFile =
        picture.isFile() && picture.size() <= kMaxPictureBytes ? entry->imageFile : QString();
    return true;
}

void PhonebookPlugin::ShowSettings()
{
    if (!m_context)
        return;
    if (m_context->headless()) {
        m_context->log(m_context->translate(
            QStringLiteral("%s: the settings can be changed in the desktop program only"),
            {m_context->translate(QStringLiteral("Local phone book"))}));
        return;
    }
    PhonebookSettingsDialog dialog(*m_context, m_context->setting(QStringLiteral("File")),
                                   CountryCode());
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_context->saveSetting(QStringLiteral("File"), dialog.file());
    m_context->saveSetting(QStringLiteral("CountryCode"), QString::number(dialog.countryCode()));
}
