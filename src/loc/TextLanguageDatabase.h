#pragma once

#include "loc/LanguageSource.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

// The text language database: one UTF-8 file, loaded whole and searched by
// binary search. Layout (lines end in LF or CR LF):
//
//   [Localization Guru]
//   Version=1                    optional, shown as TextDbVersion
//   NumberOfLanguages=2
//   NumberOfStrings=3
//   Language1=German
//   Language1_Offset=180         byte position of the line "[German]"
//   Language1_LocaleID=1031      optional
//   Language2=French
//   Language2_Offset=214
//   [NATIVE]
//   <NumberOfStrings lines: the native texts>
//   [German]
//   <NumberOfStrings lines: the translations, line k belongs to native text k;
//    an empty line leaves the text untranslated>
//   [French]
//   ...
//
// Keys are read without regard to case. A block whose offset does not point at
// its "[Name]" line (a hand-edited file) is found by its name instead. Texts
// are single lines: line breaks inside a text are written as {\r} and {\n}.
// The language "Native" selects the native texts themselves. A block named
// English holds the English form of the few native texts that are not English;
// it stands in for them in "Native" and where a language leaves them empty.
class TextLanguageDatabase : public LanguageSource
{
public:
    struct Language
    {
        QString name;
        QString localeId;
        QStringList texts; // parallel to the native texts
    };

    // Loads `language` from the file; false with error() set otherwise.
    bool open(const QString& path, const QString& language);
    QString error() const { return m_error; }

    // Writes a database in the layout above; texts must not contain line breaks.
    static bool save(const QString& path, const QStringList& natives,
                     const QList<Language>& languages, const QString& version, QString* error);

    // LanguageSource
    std::optional<QString> lookup(const QString& native) const override;
    int phraseCount() const override { return static_cast<int>(m_entries.size()); }
    // Sorted by native text, index from 0.
    QString nativeText(int index) const override;
    QString foreignText(int index) const override;
    QString textDbVersion() const override { return m_version; }
    QString localeId() const override { return m_localeId; }

private:
    bool fail(const QString& message);

    QList<std::pair<QString, QString>> m_entries; // native, foreign; sorted by native
    QString m_version;
    QString m_localeId;
    QString m_error;
};
