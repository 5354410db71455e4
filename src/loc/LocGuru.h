#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <type_traits>

class LanguageDatabase;
class LanguageSource;

// The translation engine: every text the user sees is written in English in the
// code and passes GetS, which looks it up in the open language database, fills in
// its %s parameters and turns "{\r}" / "{\n}" into line breaks. Without an open
// database every text comes back native, so all code can use GetS from the start.
class LocGuru
{
public:
    LocGuru();
    ~LocGuru();
    LocGuru(const LocGuru&) = delete;
    LocGuru& operator=(const LocGuru&) = delete;

    QString GetS(const QString& text, const QStringList& params = {}) const;

    // GetS(text, caller, 3, ...): numbers and strings become parameters.
    template <typename... A>
    requires(sizeof...(A) > 0) QString GetS(const QString& text, const A&... args)
    const { return GetS(text, QStringList{toParam(args)...}); }

    QString TranslateString(const QString& text, int count, const QStringList& params) const;
    static QString SubstituteParameters(const QString& text, int count, const QStringList& params);
    static QString ConvertCrLf(const QString& text);

    // Database types of OpenLanguageDatabase.
    static constexpr int kSqlDatabase = 0; // langdata.db, the Access database of old
    static constexpr int kTextDatabase = 1;
    // The type a file name asks for: SQLite when the name (not the folder)
    // contains ".db" or ".mdb" in any case, otherwise the text format.
    static int databaseTypeOf(const QString& path);

    // Opens a language database for the column sForeignColumnName, searched by
    // sNativeColumnName, in the table sLanguageTableName (SQLite only). False
    // with sErrDescription set when it cannot, and the database open before
    // stays open; on success it replaces the one open before.
    bool OpenLanguageDatabase(const QString& path, bool readOnly, int type);
    void CloseLanguageDatabase();

    // Export of native texts into a SQLite database opened for writing.
    // ExportStrings clears every bIsUsed mark; ExportOneString marks the row of
    // a text as used, adding it when missing. A text longer than the column
    // takes is not exported and the user is told through the notifier.
    bool ExportStrings();
    bool ExportOneString(const QString& text);
    // Receives the messages of ExportOneString meant for the user.
    void setUserNotifier(std::function<void(const QString&)> notify)
    {
        m_notify = std::move(notify);
    }

    // The text before the first separator, which is removed from `line` with
    // it; the whole line (and an empty line left) without a separator.
    static QString GetToken(QString& line, const QString& separator);
    // The folder part of a file path including its last '/' or '\\'; "" for a
    // bare file name.
    static QString GetFilePathOnly(const QString& file);

    // An external database; not owned. Used only while bDbIsOpen is set.
    void setLanguageSource(LanguageSource* source) { m_source = source; }
    LanguageSource* languageSource() const { return m_source; }

    // Debug mode exports texts the database does not hold (see LanguageSource).
    bool bDebugMode() const { return m_bDebugMode; }
    void setbDebugMode(bool on) { m_bDebugMode = on; }

    bool bEnabled() const { return m_bEnabled; }
    void setbEnabled(bool on) { m_bEnabled = on; }
    bool bDbIsOpen() const { return m_bDbIsOpen; }
    void setbDbIsOpen(bool open) { m_bDbIsOpen = open; }
    bool bTestStrWidth() const { return m_bTestStrWidth; }
    void setbTestStrWidth(bool on) { m_bTestStrWidth = on; }
    bool bConvertCrLf() const { return m_bConvertCrLf; }
    void setbConvertCrLf(bool on) { m_bConvertCrLf = on; }

    QString sNativeColumnName() const { return m_sNativeColumnName; }
    void setsNativeColumnName(const QString& v) { m_sNativeColumnName = v; }
    QString sForeignColumnName() const { return m_sForeignColumnName; }
    void setsForeignColumnName(const QString& v) { m_sForeignColumnName = v; }
    QString sLanguageTableName() const { return m_sLanguageTableName; }
    void setsLanguageTableName(const QString& v) { m_sLanguageTableName = v; }
    QString sDBPassword() const { return m_sDBPassword; }
    void setsDBPassword(const QString& v) { m_sDBPassword = v; }
    QString sLanguageDB() const { return m_sLanguageDB; }
    void setsLanguageDB(const QString& v) { m_sLanguageDB = v; }
    QString sErrDescription() const { return m_sErrDescription; }
    void setsErrDescription(const QString& v) { m_sErrDescription = v; }
    QString sPadChar() const { return m_sPadChar; }
    void setsPadChar(const QString& v) { m_sPadChar = v; }
    QString sStrWidthFactors() const { return m_sStrWidthFactors; }
    void setsStrWidthFactors(const QString& v) { m_sStrWidthFactors = v; }
    QString sTagExclude() const { return m_sTagExclude; }
    void setsTagExclude(const QString& v) { m_sTagExclude = v; }
    QString sProperties() const { return m_sProperties; }
    void setsProperties(const QString& v) { m_sProperties = v; }
    QString sUnknownStrID() const { return m_sUnknownStrID; }
    void setsUnknownStrID(const QString& v) { m_sUnknownStrID = v; }
    // Longest text the open database's column takes: its declared size, 0 for
    // an unlimited (memo) column.
    int lMaxPhraseLength() const { return m_lMaxPhraseLength; }
    void setlMaxPhraseLength(int length) { m_lMaxPhraseLength = length; }

    // Read-only views of a loaded text database; empty without one.
    int lNumTextPhrases() const;
    QString sNativeText(int index) const;
    QString sForeignText(int index) const;
    QString TextDbVersion() const;
    QString LocaleID() const;

private:
    template <typename T> static QString toParam(const T& value)
    {
        if constexpr (std::is_same_v<T, bool>)
            return value ? QStringLiteral("True") : QStringLiteral("False");
        else if constexpr (std::is_same_v<T, char>)
            return QString(QLatin1Char(value));
        else if constexpr (std::is_enum_v<T>)
            return QString::number(static_cast<std::underlying_type_t<T>>(value));
        else if constexpr (std::is_arithmetic_v<T>)
            return QString::number(value);
        else
            return QString(value);
    }

    QString lookup(const QString& text) const;
    QString padForWidthTest(const QString& text) const;
    bool sourceUsable() const { return m_source && m_bDbIsOpen; }

    LanguageSource* m_source = nullptr;
    std::unique_ptr<LanguageSource> m_ownedSource;
    LanguageDatabase* m_sqlDatabase = nullptr; // m_ownedSource when it is a SQLite one
    std::function<void(const QString&)> m_notify;
    bool m_bDebugMode = false;
    bool m_bEnabled = true;
    bool m_bDbIsOpen = false;
    bool m_bTestStrWidth = false;
    bool m_bConvertCrLf = true;
    QString m_sNativeColumnName = QStringLiteral("Native");
    QString m_sForeignColumnName = QStringLiteral("Foreign");
    QString m_sLanguageTableName = QStringLiteral("LocGuru");
    QString m_sDBPassword;
    QString m_sLanguageDB;
    mutable QString m_sErrDescription; // lookups inside const GetS record their failure
    QString m_sPadChar = QStringLiteral("W");
    QString m_sStrWidthFactors = QStringLiteral("4:100,10:80,20:60,30:40,50:20,9999:10");
    QString m_sTagExclude = QStringLiteral("!");
    QString m_sProperties = QStringLiteral("Caption,ToolTipText");
    QString m_sUnknownStrID = QStringLiteral("GetS: Unknown String ID ");
    int m_lMaxPhraseLength = 255;
};
