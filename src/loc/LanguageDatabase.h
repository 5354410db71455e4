#pragma once

#include "loc/LanguageSource.h"

#include <QHash>
#include <QSet>
#include <QString>

// The SQLite language database (langdata.db): one table, one row per native
// text, one text column per language plus the flags bSkip and bIsUsed. The
// language column is loaded into memory when the database opens, since GetS
// runs for every text shown and the table holds only a few thousand rows.
class LanguageDatabase : public LanguageSource
{
public:
    struct Options
    {
        QString path;
        QString table = QStringLiteral("LocGuru");
        QString nativeColumn = QStringLiteral("Native");
        QString languageColumn;
        bool readOnly = true;
    };

    // The language columns: the six languages the program offers besides its
    // native English, then English. Nearly every native text is English and
    // leaves that column empty; a native text in another language (the
    // program's old German error texts) has its English form there, which is
    // shown wherever the native text would be: in English, for a language
    // without a translation of it, and for a skipped row.
    static const QStringList& languageColumns();

    LanguageDatabase();
    ~LanguageDatabase() override;
    LanguageDatabase(const LanguageDatabase&) = delete;
    LanguageDatabase& operator=(const LanguageDatabase&) = delete;

    // Opens an existing database file; false with error() set when the file is
    // missing, is not a SQLite database, or lacks the table or a column.
    bool open(const Options& options);
    void close();
    bool isOpen() const { return m_open; }
    bool isReadOnly() const { return m_options.readOnly; }
    QString error() const { return m_error; }
    // Longest text the language column stores: its declared VARCHAR size,
    // 0 for unlimited (TEXT, CLOB, MEMO).
    int maxPhraseLength() const { return m_maxPhraseLength; }

    // Creates an empty language database with every language column; fails on
    // an existing file so that nothing is overwritten.
    static bool create(const QString& path, const QString& table, QString* error);

    // Export (database opened for writing): clears every bIsUsed mark.
    bool clearUsedMarks();
    // Marks the row holding exactly `native` as used, adding it when missing.
    bool markUsed(const QString& native);

    // LanguageSource
    std::optional<QString> lookup(const QString& native) const override;
    bool containsForeign(const QString& text) const override;
    void exportMissing(const QString& native) override;

private:
    struct Column
    {
        bool found = false;
        bool text = false;
        int size = 0; // 0: unlimited
    };

    bool fail(const QString& message);
    bool loadRows();
    static Column describeColumn(const QList<QPair<QString, QString>>& columns,
                                 const QString& name);

    QString m_connection;
    Options m_options;
    bool m_open = false;
    bool m_hasSkip = false;
    bool m_hasEnglish = false;
    int m_maxPhraseLength = 0;
    QString m_error;
    QHash<QString, QString> m_texts;
    QSet<QString> m_foreign;
};
