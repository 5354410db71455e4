#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <optional>

class DialogService;
class LocGuru;
class SettingsStore;

// Opening and changing the language of the program, for start-up and the
// language menu. The per-user settings: LanguageColumn (default "Native") and
// the sub-key LangOptions with DefaultLanguage (0), LanguageDB and, per
// language number n, "Language<n>/LanguageDB" and "Language<n>/LanguageColumn".
class Languages
{
public:
    // The table the program's language databases keep their texts in.
    static inline const QString kTableName = QStringLiteral("resstrings");

    struct MenuEntry
    {
        QString menuName; // mnuSetLangEnglish, ...
        QString column;   // Native, German, ...
    };
    // The seven entries of the language menu in menu order.
    static const QList<MenuEntry>& menuEntries();
    // Which entries carry a check mark while `column` is the language in use:
    // the one whose column matches (in any case), none for another column.
    static QList<bool> menuChecks(const QString& column);

    // langdata.db in the install folder (machine-wide InstallDir, else the
    // program's own) when it is there, else the one shipped with the program.
    static QString defaultLanguageDatabasePath(const SettingsStore& settings);
    // The per-user LanguageColumn.
    static QString languageColumn(const SettingsStore& settings);

    Languages(LocGuru& loc, SettingsStore& settings, DialogService& dialogs);

    // Start-up: the language of LangOptions\DefaultLanguage, then that of
    // LanguageColumn. English, the native language, needs no database: when it
    // is missing (or unusable) the texts stay native and `log` says so. Another
    // language whose database does not open (reported to the user) comes from
    // the shipped database, and without that the program runs in English.
    void OpenAtStartUp(const std::function<void(const QString&)>& log);

    // The language of LangOptions\DefaultLanguage through OpenLanguage; false
    // (with the engine's sErrDescription telling why) when that setting is not a
    // number or the database does not open.
    bool OpenDefaultLanguage();
    // The language of LanguageColumn from defaultLanguageDatabasePath().
    bool OpenConfiguredLanguage();
    // Switches to `column` of `database`: "<TESTWIDTH>" turns the width test on;
    // an empty column or database leaves every text native. A database that
    // does not open is reported to the user and the language stays as it was.
    bool OpenLanguage(const QString& database, const QString& column);
    // The language menu: opens `column` of the default database, stores it in
    // LanguageColumn, lets `retranslateMainWindow` translate the main window
    // (its captions are then looked up in the old language) and tells the user.
    // False when the database did not open; nothing else has changed then.
    bool ChangeLanguage(const QString& column, const std::function<void()>& retranslateMainWindow);

private:
    struct Choice
    {
        QString database;
        QString column;
    };
    // What LangOptions\DefaultLanguage names; nothing (sErrDescription says
    // why) when it is not a number.
    std::optional<Choice> defaultLanguage();
    // OpenLanguage with the fall-backs of OpenAtStartUp.
    void openForStartUp(const QString& database, const QString& column,
                        const std::function<void(const QString&)>& log);
    // Runs without a language database: every text native.
    void runNatively(const QString& database, const std::function<void(const QString&)>& log);

    LocGuru& m_loc;
    SettingsStore& m_settings;
    DialogService& m_dialogs;
};
