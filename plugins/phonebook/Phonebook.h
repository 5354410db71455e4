#pragma once

#include "PhonebookEntry.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QStringList>

#include <functional>

// The contacts of one phone book file, indexed by numberKey so that a lookup
// is one hash access. The file is read when first needed and again when its
// modification time or size changes; refresh() looks at the file at most once
// per recheck interval, so lookups in a row cost no file system access.
class Phonebook
{
public:
    // Files above this size are refused rather than read on the program's one thread.
    static constexpr qint64 kMaxFileSize = 20 * 1024 * 1024;

    // An English log text with "%s" placeholders and its arguments.
    using Log = std::function<void(const QString& text, const QStringList& args)>;
    explicit Phonebook(Log log) : m_log(std::move(log)) {}

    // Brings the book up to date with path. A change of path or country code
    // reloads at once; otherwise the file is checked when recheckMs have passed
    // since the last check (0: on every call).
    void refresh(const QString& path, int countryCode, qint64 recheckMs);
    const PhonebookEntry* find(const QString& number) const;
    qsizetype size() const { return m_entries.size(); }

private:
    void load(const QString& path);
    void fail(const QString& text, const QStringList& args);

    Log m_log;
    QString m_path;
    int m_countryCode = 0;
    bool m_checked = false;
    QElapsedTimer m_sinceCheck;
    QDateTime m_modified;
    qint64 m_fileSize = -1;
    QList<PhonebookEntry> m_entries;
    QHash<QString, qsizetype> m_index;
    QString m_reportedProblem; // logged once until the file changes
};
