#include "LocGuru.h"

#include "LanguageDatabase.h"
#include "LanguageSource.h"
#include "TextLanguageDatabase.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <exception>

namespace {

// Round half to even, as the width factors were tuned with (12 x 1.6 = 19.2 -> 19,
// 55 x 1.1 -> 61 because the product lies just above the half).
double roundHalfEven(double value)
{
    const double floorValue = std::floor(value);
    const double fraction = value - floorValue;
    if (fraction > 0.5)
        return floorValue + 1.0;
    if (fraction < 0.5)
        return floorValue;
    return std::fmod(floorValue, 2.0) == 0.0 ? floorValue : floorValue + 1.0;
}

// The factor of the first "maxLength:percent" pair that fits the length, in the
// listed order; malformed pairs are passed over.
double widthFactor(const QString& factors, qsizetype length)
{
    const QStringList pairs = factors.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString& pair : pairs) {
        const QStringList parts = pair.split(QLatin1Char(':'));
        if (parts.size() != 2)
            continue;
        bool maxOk = false;
        bool percentOk = false;
        const qlonglong maxLength = parts[0].trimmed().toLongLong(&maxOk);
        const double percent = parts[1].trimmed().toDouble(&percentOk);
        if (!maxOk || !percentOk)
            continue;
        if (maxLength >= length)
            return 1.0 + percent * 0.01;
    }
    return 1.0;
}

} // namespace

LocGuru::LocGuru() = default;
LocGuru::~LocGuru() = default;

QString LocGuru::GetS(const QString& text, const QStringList& params) const
{
    return TranslateString(text, static_cast<int>(params.size()), params);
}

QString LocGuru::TranslateString(const QString& text, int count, const QStringList& params) const
{
    if (text.isEmpty())
        return text;
    QString result = m_bTestStrWidth ? padForWidthTest(text) : lookup(text);
    if (count > 0 && !params.isEmpty())
        result = SubstituteParameters(result, count, params);
    if (m_bConvertCrLf)
        result = ConvertCrLf(result);
    return result;
}

QString LocGuru::SubstituteParameters(const QString& text, int count, const QStringList& params)
{
    static const QString placeholder = QStringLiteral("%s");
    QString result = text;
    const qsizetype used = std::min<qsizetype>(count, params.size());
    // Every search starts at the beginning again, so a value that itself holds
    // "%s" is filled by the next parameter.
    for (qsizetype i = 0; i < used; ++i) {
        const qsizetype at = result.indexOf(placeholder);
        if (at < 0)
            break;
        result.replace(at, placeholder.size(), params[i]);
    }
    return result;
}

QString LocGuru::ConvertCrLf(const QString& text)
{
    QString result = text;
    result.replace(QStringLiteral("{\\r}"), QStringLiteral("\r"));
    result.replace(QStringLiteral("{\\n}"), QStringLiteral("\n"));
    return result;
}

QString LocGuru::lookup(const QString& text) const
{
    if (!m_bEnabled || !sourceUsable())
        return text;
    try {
        const std::optional<QString> found = m_source->lookup(text);
        if (!found) {
            if (m_bDebugMode && !m_source->containsForeign(text))
                m_source->exportMissing(text);
            return text;
        }
        // A translation that lost or gained a placeholder would put values in
        // the wrong places or show a bare "%s": the native text is right.
        static const QString placeholder = QStringLiteral("%s");
        if (found->isEmpty() || found->count(placeholder) != text.count(placeholder))
            return text;
        return *found;
    } catch (const std::exception& e) {
        m_sErrDescription = QString::fromLocal8Bit(e.what());
    } catch (...) {
        m_sErrDescription = QStringLiteral("Unknown error in the language database");
    }
    return text;
}

QString LocGuru::padForWidthTest(const QString& text) const
{
    const qsizetype length = text.size();
    const double factor = widthFactor(m_sStrWidthFactors, length);
    // A mistyped factor must not ask for gigabytes of padding.
    constexpr double kMaxPadding = 4096.0;
    const double wanted = roundHalfEven(static_cast<double>(length) * factor);
    const double bounded =
        std::isfinite(wanted) ? std::min(wanted, static_cast<double>(length) + kMaxPadding) : 0.0;
    const auto target = static_cast<qsizetype>(bounded);
    const QChar pad = m_sPadChar.isEmpty() ? QLatin1Char('W') : m_sPadChar.at(0);
    return target > length ? text + QString(target - length, pad) : text;
}

int LocGuru::lNumTextPhrases() const
{
    return m_source ? m_source->phraseCount() : 0;
}

QString LocGuru::sNativeText(int index) const
{
    return m_source ? m_source->nativeText(index) : QString();
}

QString LocGuru::sForeignText(int index) const
{
    return m_source ? m_source->foreignText(index) : QString();
}

QString LocGuru::TextDbVersion() const
{
    return m_source ? m_source->textDbVersion() : QString();
}

QString LocGuru::LocaleID() const
{
    return m_source ? m_source->localeId() : QString();
}

int LocGuru::databaseTypeOf(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    return name.contains(QStringLiteral(".db"), Qt::CaseInsensitive) ||
                   name.contains(QStringLiteral(".mdb"), Qt::CaseInsensitive)
               ? kSqlDatabase
               : kTextDatabase;
}

bool LocGuru::OpenLanguageDatabase(const QString& path, bool readOnly, int type)
{
    // The new database is opened beside the old one, so that a failure leaves
    // the language in use as it was.
    const QString absolute = QFileInfo(path).absoluteFilePath();
    std::unique_ptr<LanguageSource> opened;
    LanguageDatabase* sqlDatabase = nullptr;
    if (type == kSqlDatabase) {
        // Plain SQLite has no password; sDBPassword is not used.
        auto db = std::make_unique<LanguageDatabase>();
        LanguageDatabase::Options options;
        options.path = absolute;
        options.table = m_sLanguageTableName;
        options.nativeColumn = m_sNativeColumnName;
        options.languageColumn = m_sForeignColumnName;
        options.readOnly = readOnly;
        if (!db->open(options)) {
            m_sErrDescription = db->error();
            return false;
        }
        sqlDatabase = db.get();
        opened = std::move(db);
    } else if (type == kTextDatabase) {
        auto db = std::make_unique<TextLanguageDatabase>();
        if (!db->open(absolute, m_sForeignColumnName)) {
            m_sErrDescription = db->error();
            return false;
        }
        opened = std::move(db);
    } else {
        m_sErrDescription = QStringLiteral("Unknown language database type %1").arg(type);
        return false;
    }
    CloseLanguageDatabase();
    m_ownedSource = std::move(opened);
    m_sqlDatabase = sqlDatabase;
    m_lMaxPhraseLength = sqlDatabase ? sqlDatabase->maxPhraseLength() : 0;
    m_source = m_ownedSource.get();
    m_bDbIsOpen = true;
    m_sLanguageDB = absolute;
    return true;
}

void LocGuru::CloseLanguageDatabase()
{
    if (m_ownedSource && m_source == m_ownedSource.get())
        m_source = nullptr;
    m_sqlDatabase = nullptr;
    m_ownedSource.reset();
    m_bDbIsOpen = false;
    m_sLanguageDB.clear();
}

bool LocGuru::ExportStrings()
{
    if (!m_sqlDatabase) {
        m_sErrDescription =
            QStringLiteral("Text can only be exported to an Access Language Database");
        return false;
    }
    if (!m_sqlDatabase->clearUsedMarks()) {
        m_sErrDescription = m_sqlDatabase->error();
        return false;
    }
    // Texts registered under numeric identifiers would be exported here with
    // the line-break conversion off; this program keeps every text in its code
    // and registers none.
    return true;
}

bool LocGuru::ExportOneString(const QString& text)
{
    if (!m_sqlDatabase) {
        m_sErrDescription =
            QStringLiteral("Text can only be exported to an Access Language Database");
        return false;
    }
    if (text.isEmpty())
        return true;
    if (m_lMaxPhraseLength > 0 && text.size() > m_lMaxPhraseLength) {
        const QString tooLong =
            QStringLiteral("A phrase of ") + QString::number(text.size()) +
            QStringLiteral(" characters was encountered") +
            QStringLiteral(" which is longer than the maximum of ") +
            QString::number(m_lMaxPhraseLength) +
            QStringLiteral(
                " characters that can be stored in this Localization Guru Lite language") +
            QStringLiteral(
                " database.  A Localization Guru Pro language database can handle phrases") +
            QStringLiteral(" of unlimited length.");
        m_sErrDescription = tooLong;
        if (m_notify) {
            m_notify(tooLong);
            m_notify(QStringLiteral(
                         "The following phrase was not exported into the language database:") +
                     QStringLiteral("\r\r") + text);
        }
        return false;
    }
    if (!m_sqlDatabase->markUsed(text)) {
        m_sErrDescription = m_sqlDatabase->error();
        return false;
    }
    return true;
}

QString LocGuru::GetToken(QString& line, const QString& separator)
{
    const qsizetype at = separator.isEmpty() ? -1 : line.indexOf(separator);
    QString token;
    if (at < 0) {
        token = line;
        line.clear();
    } else {
        token = line.left(at);
        line.remove(0, at + separator.size());
    }
    return token;
}

QString LocGuru::GetFilePathOnly(const QString& file)
{
    const qsizetype at =
        std::max(file.lastIndexOf(QLatin1Char('/')), file.lastIndexOf(QLatin1Char('\\')));
    return at < 0 ? QString() : file.left(at + 1);
}
