#pragma once

#include <QString>
#include <QStringList>

class DialogService;
class LocGuru;
class SettingsStore;

// The "don't show this message again" warnings. Each has a key under the
// per-user sub-key "Warnings": "1" means the user no longer wants to see it.
class Warnings
{
public:
    static QString subKey() { return QStringLiteral("Warnings"); }
    static QString checkBoxCaption() { return QStringLiteral("Don't show this message again"); }

    Warnings(SettingsStore& settings, DialogService& dialogs, LocGuru& loc);

    // A Yes/No question before a destructive or disruptive action; true when
    // the action may go on. A declined question remembers nothing.
    bool askQuestion(const QString& key, const QString& prompt, const QStringList& params = {});
    // An information notice; the check box is remembered whatever the button.
    void showNotice(const QString& key, const QString& prompt, const QStringList& params = {});
    // The same for a text the caller put together from translated pieces.
    void showTranslatedNotice(const QString& key, const QString& text);

    // True when the user asked not to see this warning again.
    bool suppressed(const QString& key) const;

private:
    SettingsStore& m_settings;
    DialogService& m_dialogs;
    LocGuru& m_loc;
};
