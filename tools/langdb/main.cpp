// phonavo-langdb: builds the shipped language database from its text source
// and keeps that source complete.
//   phonavo-langdb build  SOURCE.txt OUT.db      the SQLite language database
//   phonavo-langdb text   SOURCE.txt OUT.txt     the text language database
//   phonavo-langdb check  SRC_DIR SOURCE.txt     fails when a text of the code is missing
//                                                or a translation breaks its placeholders
//   phonavo-langdb update SRC_DIR SOURCE.txt     adds the missing texts to SOURCE.txt
//   phonavo-langdb missing SOURCE.txt            lists the entries a language lacks

#include "loc/LangDataText.h"
#include "loc/LanguageDatabase.h"
#include "loc/Languages.h"
#include "loc/SourceTexts.h"
#include "loc/TextLanguageDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>

#include <algorithm>

namespace {

QTextStream& err()
{
    static QTextStream stream(stderr);
    return stream;
}

int fail(const QString& message)
{
    err() << "phonavo-langdb: " << message << Qt::endl;
    return 1;
}

bool buildDatabase(const QList<LangDataText::Entry>& entries, const QString& path, QString* error)
{
    const QString table = Languages::kTableName;
    if (!LanguageDatabase::create(path, table, error))
        return false;
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                                    QStringLiteral("phonavo-langdb-build"));
        db.setDatabaseName(path);
        if (db.open() && db.transaction()) {
            QString columns = QStringLiteral("Native, bSkip, bIsUsed");
            QString marks = QStringLiteral("?, ?, 1");
            for (const QString& language : LanguageDatabase::languageColumns()) {
                columns += QStringLiteral(", ") + language;
                marks += QStringLiteral(", ?");
            }
            QSqlQuery insert(db);
            insert.prepare(QStringLiteral("INSERT INTO ") + table + QStringLiteral(" (") + columns +
                           QStringLiteral(") VALUES (") + marks + QLatin1Char(')'));
            ok = true;
            for (const LangDataText::Entry& entry : entries) {
                insert.addBindValue(entry.native);
                insert.addBindValue(entry.skip ? 1 : 0);
                for (const QString& language : LanguageDatabase::languageColumns()) {
                    const auto it = entry.translations.constFind(language);
                    // Untranslated stays null, which reads as empty.
                    insert.addBindValue(it == entry.translations.cend() ? QVariant() : *it);
                }
                if (!insert.exec()) {
                    *error = entry.native + QStringLiteral(": ") + insert.lastError().text();
                    ok = false;
                    break;
                }
            }
            ok = ok && db.commit();
        } else {
            *error = db.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("phonavo-langdb-build"));
    return ok;
}

int build(const QString& sourcePath, const QString& outPath)
{
    const auto entries = LangDataText::read(sourcePath);
    if (!entries)
        return fail(entries.error());
    // Built beside the target and renamed, so a failed run leaves the old one.
    const QString temporary = outPath + QStringLiteral(".new");
    QFile::remove(temporary);
    QDir().mkpath(QFileInfo(outPath).absolutePath());
    QString error;
    if (!buildDatabase(entries.value(), temporary, &error)) {
        QFile::remove(temporary);
        return fail(error);
    }
    QFile::remove(outPath);
    if (!QFile::rename(temporary, outPath))
        return fail(QStringLiteral("cannot write %1").arg(outPath));
    return 0;
}

int text(const QString& sourcePath, const QString& outPath)
{
    const auto entries = LangDataText::read(sourcePath);
    if (!entries)
        return fail(entries.error());
    QStringList natives;
    QList<TextLanguageDatabase::Language> languages;
    for (const QString& name : LanguageDatabase::languageColumns())
        languages.append({name, QString(), {}});
    for (const LangDataText::Entry& entry : entries.value()) {
        natives.append(entry.native);
        for (TextLanguageDatabase::Language& language : languages)
            language.texts.append(entry.skip ? entry.native
                                             : entry.translations.value(language.name));
    }
    QString error;
    if (!TextLanguageDatabase::save(outPath, natives, languages, QStringLiteral("1"), &error))
        return fail(error);
    return 0;
}

// The texts of the code the source does not hold yet; unusable ones are errors.
QList<SourceTexts::Text> missingTexts(const QString& srcDir,
                                      const QList<LangDataText::Entry>& entries, bool* unusable)
{
    QSet<QString> known;
    for (const LangDataText::Entry& entry : entries)
        known.insert(entry.native);
    QList<SourceTexts::Text> missing;
    for (const SourceTexts::Text& found : SourceTexts::harvestTree(srcDir)) {
        if (found.text.contains(QLatin1Char('\n')) || found.text.contains(QLatin1Char('\r'))) {
            // Line breaks are written {\r}; a text cannot span lines.
            err() << found.file << ':' << found.line << ": text cannot be stored: " << found.text
                  << Qt::endl;
            *unusable = true;
            continue;
        }
        if (!known.contains(found.text)) {
            known.insert(found.text);
            missing.append(found);
        }
    }
    return missing;
}

int check(const QString& srcDir, const QString& sourcePath, bool update)
{
    const auto entries = LangDataText::read(sourcePath);
    if (!entries)
        return fail(entries.error());
    bool unusable = false;
    const QList<SourceTexts::Text> missing = missingTexts(srcDir, entries.value(), &unusable);
    if (!update) {
        for (const SourceTexts::Text& found : missing)
            err() << found.file << ':' << found.line << ": missing in " << sourcePath << ": \""
                  << found.text << '"' << Qt::endl;
        if (!missing.isEmpty())
            err() << "run scripts/langdata update to add them" << Qt::endl;
        bool faulty = false;
        for (const LangDataText::Entry& entry : entries.value()) {
            for (const QString& fault : LangDataText::translationFaults(entry)) {
                err() << sourcePath << ':' << entry.line << ": \"" << entry.native
                      << "\": " << fault << Qt::endl;
                faulty = true;
            }
        }
        return missing.isEmpty() && !unusable && !faulty ? 0 : 1;
    }
    QList<LangDataText::Entry> all = entries.value();
    for (const SourceTexts::Text& found : missing)
        all.append(LangDataText::Entry{found.text, {}, false, 0});
    std::stable_sort(all.begin(), all.end(), [](const auto& a, const auto& b) {
        const int folded = a.native.compare(b.native, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a.native < b.native;
    });
    QSaveFile file(sourcePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(LangDataText::format(all)) < 0 ||
        !file.commit())
        return fail(QStringLiteral("cannot write %1: %2").arg(sourcePath, file.errorString()));
    QTextStream(stdout) << missing.size() << " text(s) added to " << sourcePath << Qt::endl;
    return unusable ? 1 : 0;
}

// Translations keep arriving after the texts, so this is a list to work
// through rather than a check: exit 1 while any entry lacks a language.
int missing(const QString& sourcePath)
{
    const auto entries = LangDataText::read(sourcePath);
    if (!entries)
        return fail(entries.error());
    QTextStream out(stdout);
    int lacking = 0;
    for (const LangDataText::Entry& entry : entries.value()) {
        const QStringList languages = LangDataText::missingLanguages(entry);
        if (languages.isEmpty())
            continue;
        ++lacking;
        out << sourcePath << ':' << entry.line << ": \"" << entry.native << "\" lacks "
            << languages.join(QStringLiteral(", ")) << Qt::endl;
    }
    out << lacking << " of " << entries.value().size() << " entries lack a language" << Qt::endl;
    return lacking == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QStringLiteral("missing"))
        return missing(args[2]);
    if (args.size() != 4)
        return fail(QStringLiteral("usage: phonavo-langdb build|text SOURCE.txt OUT | "
                                   "check|update SRC_DIR SOURCE.txt | missing SOURCE.txt"));
    const QString& command = args[1];
    if (command == QStringLiteral("build"))
        return build(args[2], args[3]);
    if (command == QStringLiteral("text"))
        return text(args[2], args[3]);
    if (command == QStringLiteral("check") || command == QStringLiteral("update"))
        return check(args[2], args[3], command == QStringLiteral("update"));
    return fail(QStringLiteral("unknown command ") + command);
}
