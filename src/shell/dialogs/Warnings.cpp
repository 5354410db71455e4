#include "Warnings.h"

#include "DialogService.h"
#include "loc/LocGuru.h"
#include "shell/settings/SettingsStore.h"

namespace {

QString flagText(bool ticked)
{
    return ticked ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

Warnings::Warnings(SettingsStore& settings, DialogService& dialogs, LocGuru& loc)
    : m_settings(settings), m_dialogs(dialogs), m_loc(loc)
{}

bool Warnings::suppressed(const QString& key) const
{
    return SettingToBool(m_settings.GetSettingHKCU(subKey(), key, QString()));
}

bool Warnings::askQuestion(const QString& key, const QString& prompt, const QStringList& params)
{
    if (suppressed(key))
        return true;
    bool ticked = false;
    const int result =
        m_dialogs.warningBox(m_loc.GetS(prompt, params), MsgStyle::YesNo + MsgStyle::Question,
                             QString(), {}, m_loc.GetS(checkBoxCaption()), ticked);
    if (result != MsgResult::Yes)
        return false;
    m_settings.SaveSettingHKCU(subKey(), key, flagText(ticked));
    return true;
}

void Warnings::showNotice(const QString& key, const QString& prompt, const QStringList& params)
{
    showTranslatedNotice(key, m_loc.GetS(prompt, params));
}

void Warnings::showTranslatedNotice(const QString& key, const QString& text)
{
    if (suppressed(key))
        return;
    bool ticked = false;
    m_dialogs.warningBox(text, MsgStyle::OK + MsgStyle::Information, QString(), {},
                         m_loc.GetS(checkBoxCaption()), ticked);
    m_settings.SaveSettingHKCU(subKey(), key, flagText(ticked));
}
