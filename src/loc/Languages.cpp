#include "Languages.h"

#include "loc/LocGuru.h"
#include "platform/AppPaths.h"
#include "shell/dialogs/DialogService.h"
#include "shell/settings/SettingsStore.h"

#include <QFileInfo>

#include <optional>

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

bool isNativeColumn(const QString& column)
{
    return column.trimmed().isEmpty() ||
           column.trimmed().compare(kNative, Qt::CaseInsensitive) == 0;
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

void Languages::OpenAtStartUp(const std::function<void(const QString&)>& log)
{
    // Both steps usually name the same database: its problem is told once.
    QStringList told;
    const auto once = [&](const QString& line) {
        if (!told.contains(line)) {
            told.append(line);
            log(line);
        }
    };
    if (const auto language = defaultLanguage())
        openForStartUp(language->database, language->column, once);
    else
        once(m_loc.sErrDescription());
    openForStartUp(defaultLanguageDatabasePath(m_settings), languageColumn(m_settings), once);
}

void Languages::openForStartUp(const QString& database, const QString& column,
                               const std::function<void(const QString&)>& log)
{
    if (isNativeColumn(column) && !database.isEmpty() && !QFileInfo::exists(database)) {
        runNatively(database, log);
        return;
    }
    if (OpenLanguage(database, column))
        return;
    const QString shipped = AppPaths::dataFile(kDatabaseFile);
    if (QFileInfo(shipped).absoluteFilePath() != QFileInfo(database).absoluteFilePath() &&
        QFileInfo::exists(shipped)) {
        log(m_loc.GetS(QStringLiteral("Language database not usable (%s); using %s"),
                       m_loc.sErrDescription(), shipped));
        if (OpenLanguage(shipped, column))
            return;
    }
    if (isNativeColumn(column)) {
        runNatively(database, log);
        return;
    }
    // The user saw why in a message box.
    log(m_loc.GetS(QStringLiteral("Language %s not available: the texts are shown in English"),
                   column));
    openForStartUp(shipped, kNative, log);
}

void Languages::runNatively(const QString& database, const std::function<void(const QString&)>& log)
{
    m_loc.CloseLanguageDatabase();
    m_loc.setbTestStrWidth(false);
    log(QFileInfo::exists(database)
            ? m_loc.GetS(QStringLiteral("Language database %s not usable (%s): the texts are "
                                        "shown in English"),
                         database, m_loc.sErrDescription())
            : m_loc.GetS(
                  QStringLiteral("Language database %s is missing: the texts are shown in English"),
                  database));
}

std::optional<Languages::Choice> Languages::defaultLanguage()
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
        return std::nullopt;
    }
    const QString prefix = QStringLiteral("Language") + QString::number(n);
    const QString database = m_settings.getString(
        Hive::CurrentUser, kLangOptions, prefix + QStringLiteral("/LanguageDB"),
        m_settings.getString(Hive::CurrentUser, kLangOptions, QStringLiteral("LanguageDB"),
                             defaultLanguageDatabasePath(m_settings)));
    const QString column = m_settings.getString(
        Hive::CurrentUser, kLangOptions, prefix + QStringLiteral("/LanguageColumn"), kNative);
    return Choice{database, column};
}

bool Languages::OpenDefaultLanguage()
{
    const auto language = defaultLanguage();
    return language && OpenLanguage(language->database, language->column);
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
