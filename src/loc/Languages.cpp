#include "Languages.h"

#include "loc/LocGuru.h"
#include "platform/AppPaths.h"
#include "shell/dialogs/DialogService.h"
#include "shell/settings/SettingsStore.h"

#include <QFileInfo>

namespace {

using Hive = SettingsStore::Hive;
const QString kLangOptions = QStringLiteral("LangOptions");
const QString kNative = QStringLiteral("Native");
const QString kDatabaseFile = QStringLiteral("langdata.db");

bool isMenuColumn(const QString& column)
{
    for (const Languages::MenuEntry& entry : Languages::menuEntries()) {
        if (entry.column.compare(column, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

const QList<Languages::MenuEntry>& Languages::menuEntries()
{
    static const QList<MenuEntry> entries = {
        {QStringLiteral("mnuSetLangEnglish"), kNative},
        {QStringLiteral("mnuSetLangGerman"), QStringLiteral("German")},
        {QStringLiteral("mnuSetLangSpanish"), QStringLiteral("Spanish")},
        {QStringLiteral("mnuSetLangDutch"), QStringLiteral("Dutch")},
        {QStringLiteral("mnuSetLangNorwegian"), QStringLiteral("Norwegian")},
        {QStringLiteral("mnuSetLangFrench"), QStringLiteral("French")},
        {QStringLiteral("mnuSetLangSwedish"), QStringLiteral("Swedish")},
    };
    return entries;
}

QList<bool> Languages::menuChecks(const QString& column)
{
    QList<bool> checks;
    for (const MenuEntry& entry : menuEntries())
        checks.append(entry.column.compare(column.trimmed(), Qt::CaseInsensitive) == 0);
    return checks;
}

QString Languages::defaultLanguageDatabasePath(const SettingsStore& settings)
{
    QString installDir =
        settings.getString(Hive::LocalMachine, QString(), QStringLiteral("InstallDir"), QString());
    if (installDir.isEmpty())
        installDir = AppPaths::installDir();
    if (!installDir.endsWith(QLatin1Char('/')))
        installDir += QLatin1Char('/');
    const QString installed = installDir + kDatabaseFile;
    return QFileInfo::exists(installed) ? installed : AppPaths::dataFile(kDatabaseFile);
}

QString Languages::languageColumn(const SettingsStore& settings)
{
    return settings.getString(Hive::CurrentUser, QString(), QStringLiteral("LanguageColumn"),
                              kNative);
}

Languages::Languages(LocGuru& loc, SettingsStore& settings, DialogService& dialogs)
    : m_loc(loc), m_settings(settings), m_dialogs(dialogs)
{}

bool Languages::OpenDefaultLanguage()
{
    const QString number = m_settings
                               .getString(Hive::CurrentUser, kLangOptions,
                                          QStringLiteral("DefaultLanguage"), QStringLiteral("0"))
                               .trimmed();
    bool ok = false;
    const int n = number.toInt(&ok);
    if (!ok) {
        m_loc.setsErrDescription(
            QStringLiteral("LangOptions\\DefaultLanguage is not a number: \"%1\"").arg(number));
        return false;
    }
    const QString prefix = QStringLiteral("Language") + QString::number(n);
    const QString database = m_settings.getString(
        Hive::CurrentUser, kLangOptions, prefix + QStringLiteral("/LanguageDB"),
        m_settings.getString(Hive::CurrentUser, kLangOptions, QStringLiteral("LanguageDB"),
                             defaultLanguageDatabasePath(m_settings)));
    const QString column = m_settings.getString(
        Hive::CurrentUser, kLangOptions, prefix + QStringLiteral("/LanguageColumn"), kNative);
    return OpenLanguage(database, column);
}

bool Languages::OpenConfiguredLanguage()
{
    return OpenLanguage(defaultLanguageDatabasePath(m_settings), languageColumn(m_settings));
}

bool Languages::OpenLanguage(const QString& database, const QString& column)
{
    m_loc.setbTestStrWidth(false);
    if (column.trimmed().toUpper() == QStringLiteral("<TESTWIDTH>")) {
        m_loc.setbTestStrWidth(true);
        return true;
    }
    if (column.isEmpty() || database.isEmpty()) {
        m_loc.CloseLanguageDatabase();
        return true;
    }
    const QString previousColumn = m_loc.sForeignColumnName();
    m_loc.setsForeignColumnName(column);
    // In debug mode a database the user may write collects the texts it lacks.
    const int type = LocGuru::databaseTypeOf(database);
    const bool collect =
        m_loc.bDebugMode() && type == LocGuru::kSqlDatabase && QFileInfo(database).isWritable();
    if (!m_loc.OpenLanguageDatabase(database, !collect, type)) {
        m_loc.setsForeignColumnName(previousColumn);
        m_dialogs.messageBox(
            m_loc.GetS(QStringLiteral("While opening Language Database (%s) the following error "
                                      "occurred:"),
                       database) +
                QStringLiteral("\r\r") + m_loc.sErrDescription(),
            MsgStyle::OK + MsgStyle::Exclamation, QString());
        return false;
    }
    return true;
}

bool Languages::ChangeLanguage(const QString& column,
                               const std::function<void()>& retranslateMainWindow)
{
    // The main window shows its captions in the old language: for its
    // re-translation the database is searched by that language's column. Later
    // texts come from the code in native form, so the search goes back to the
    // native column afterwards.
    const QString searchColumn = m_loc.sNativeColumnName();
    const QString oldColumn = m_loc.sForeignColumnName();
    const bool shownTranslated =
        m_loc.bDbIsOpen() && !m_loc.bTestStrWidth() && isMenuColumn(oldColumn);
    const QString database = defaultLanguageDatabasePath(m_settings);

    m_loc.setsNativeColumnName(shownTranslated ? oldColumn : searchColumn);
    if (!OpenLanguage(database, column)) {
        m_loc.setsNativeColumnName(searchColumn);
        return false;
    }
    m_settings.SaveSettingHKCU(QString(), QStringLiteral("LanguageColumn"), column);
    if (retranslateMainWindow)
        retranslateMainWindow();
    if (m_loc.sNativeColumnName() != searchColumn) {
        m_loc.setsNativeColumnName(searchColumn);
        OpenLanguage(database, column); // reports its own failure
    }
    m_dialogs.messageBox(m_loc.GetS(QStringLiteral("Language changed")),
                         MsgStyle::OK + MsgStyle::Information, QString());
    return true;
}
