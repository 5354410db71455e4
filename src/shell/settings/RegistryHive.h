#pragma once

#include "platform/Result.h"
#include "shell/settings/RegFile.h"
#include "shell/settings/RegValue.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// The keys of one registry root (HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE),
// kept in memory and stored as a .reg file. Key and value names compare
// case-insensitively, as on Windows, but keep the spelling they were created
// with. Key paths are relative to the root, levels separated by backslashes;
// empty levels are ignored.
class RegistryHive
{
public:
    // Far beyond any real settings tree; keeps a hostile file (thousands of
    // 512-level paths) from eating all memory.
    static constexpr qsizetype MaxKeys = 100000;

    explicit RegistryHive(QString rootName);
    ~RegistryHive();
    RegistryHive(const RegistryHive&) = delete;
    RegistryHive& operator=(const RegistryHive&) = delete;

    const QString& rootName() const { return m_rootName; }

    // Replaces the contents with the file's. A missing file gives an empty
    // hive. A file that cannot be parsed is renamed to
    // "<file>.broken-yyyyMMdd-HHmmss" and the hive starts empty; a file that
    // cannot be read (or moved aside) blocks saving so it is never overwritten.
    // Returns false when anything had to be reported in problems().
    bool load(const QString& filePath);
    QStringList problems() const { return m_problems; }
    bool isSaveBlocked() const { return m_saveBlocked; }

    // Writes the whole hive atomically.
    Result<bool> save(const QString& filePath) const;

    // Bumped by every change that alters the contents, so callers can tell
    // whether there is anything to save.
    quint64 generation() const { return m_generation; }
    qsizetype keyCount() const { return m_keyCount; }

    bool keyExists(const QString& keyPath) const;
    bool createKey(const QString& keyPath);
    // Deletes a key without sub-keys; fails when it has some or is missing.
    bool deleteKey(const QString& keyPath);
    // Deletes a key with everything below it; an empty path clears the hive.
    bool deleteKeyTree(const QString& keyPath);
    // Direct sub-keys in case-insensitive sorted order.
    QStringList subKeyNames(const QString& keyPath) const;
    // Value names in the order they were first set (the default value is "").
    QStringList valueNames(const QString& keyPath) const;
    std::optional<RegValue> value(const QString& keyPath, const QString& name) const;
    // Creates the key when missing. Fails for names the registry cannot hold.
    bool setValue(const QString& keyPath, const QString& name, const RegValue& value);
    bool deleteValue(const QString& keyPath, const QString& name);

    // The key at keyPath and all keys below it as .reg sections with full
    // paths, parents before children. The root itself is left out unless it
    // holds values.
    QList<RegFile::Section> sections(const QString& keyPath = QString()) const;

    // Applies one parsed section whose path has already been made relative:
    // deletes the tree for [-key], else creates the key and sets or deletes
    // its values. Returns the number of values set, or -1 when the key could
    // not be created (key limit reached).
    int applySection(const QString& keyPath, const RegFile::Section& section);

    // The rest of path below base ("" for base itself), comparing levels
    // case-insensitively; nothing when path is not base or below it.
    static std::optional<QString> relativePath(const QString& base, const QString& path);

private:
    struct Key;

    Key* find(const QString& keyPath) const;
    Key* findOrCreate(const QString& keyPath);
    void remember(const QString& keyPath, Key* key) const;
    void changed() { ++m_generation; }
    void reset();
    void moveAside(const QString& filePath, const QString& reason);

    QString m_rootName;
    std::unique_ptr<Key> m_root;
    QStringList m_problems;
    // Paths as callers spell them, to the keys they name: the program asks for
    // the same few keys over and over. Emptied whenever a key goes away.
    mutable QHash<QString, Key*> m_found;
    quint64 m_generation = 0;
    qsizetype m_keyCount = 0;
    bool m_saveBlocked = false;
};
