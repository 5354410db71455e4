#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class QSqlQuery;

// The number buffer: table ContactBuffer (pattern, contactid, phonenumber) of
// the system database pvsystem.db, one row per number of every address-book
// contact, so a lookup is one indexed query instead of a read of every card.
// Beside it, ContactFiles remembers which file holds each contact.
//
// Lookups use one connection; a rebuild writes through a second one inside a
// transaction, so lookups see the old buffer until the new one is complete.
//
// The pattern match ("%3%0%1%...") fits no index: SQLite's LIKE over 100,000
// rows takes 20-30 ms. It runs instead over a copy of the pattern column held
// in memory, matched with the same rules and in the same row order, and
// reloaded whenever a rebuild has replaced the rows.
class ContactBuffer
{
public:
    struct Row
    {
        QString contactId;
        QString phoneNumber;
    };

    // The system database of the installation folder.
    static QString defaultPath();

    explicit ContactBuffer(QString path = defaultPath());
    ~ContactBuffer();
    ContactBuffer(const ContactBuffer&) = delete;
    ContactBuffer& operator=(const ContactBuffer&) = delete;

    QString path() const { return m_path; }

    // Opens the lookup connection, making the file and its tables on first use.
    bool open();
    void close();
    bool isOpen() const;
    QString error() const { return m_error; }

    // The first row whose pattern equals the digit string.
    std::optional<Row> findExact(const QString& digits);
    // The first row whose pattern matches the LIKE pattern.
    std::optional<Row> findPattern(const QString& likePattern);
    // The file that held the contact at the last rebuild, or empty.
    QString fileOf(const QString& contactId);

    // Replacing every row: begin, add..., commit (or abandon).
    bool beginRebuild();
    bool add(const QString& pattern, const QString& contactId, const QString& phoneNumber);
    bool addFile(const QString& contactId, const QString& file);
    bool commitRebuild();
    void abandonRebuild();
    bool rebuilding() const { return m_rebuilding; }

    // LIKE with "%" and "_" as the only wildcards, ASCII case folded.
    class LikePattern
    {
    public:
        explicit LikePattern(QByteArrayView pattern);
        bool matches(QByteArrayView value) const;

    private:
        std::vector<QByteArrayView> m_pieces; // between the "%"
        QByteArray m_pattern;
    };

private:
    bool openConnection(const QString& name);
    std::optional<Row> findOne(const QString& condition, const QString& value);
    bool loadPatterns();

    QString m_path;
    QString m_lookupName;
    QString m_rebuildName;
    QString m_error;
    bool m_rebuilding = false;
    bool m_schemaReady = false;
    std::unique_ptr<QSqlQuery> m_insert;
    std::unique_ptr<QSqlQuery> m_insertFile;
    // The pattern column in row order, and the rebuild it came from.
    QByteArray m_patterns;
    std::vector<qsizetype> m_starts; // where each pattern begins in m_patterns
    std::vector<qint64> m_rowids;
    QString m_patternsStamp;
};
