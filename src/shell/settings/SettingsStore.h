#pragma once

#include "shell/settings/RegValue.h"
#include "shell/settings/RegistryHive.h"

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVariant>

// False exactly for "Falsch", "False", "0", "", a Boolean false, a number 0
// and a null value; the comparison is case-sensitive ("false" is true).
bool SettingToBool(const QVariant& value);
// The light obfuscation of stored passwords: each 8-bit code c at 1-based
// position i becomes c + 10 + i, wrapped into 1..255. Characters outside
// Latin-1 become '?', as the 8-bit conversion always did.
QString ScrambleSetting(const QString& text);
QString UnscrambleSetting(const QString& text);

// All settings of the program: the per-user and the machine-wide hive, each
// kept as a .reg file. Changes are written atomically once control returns
// to the event loop (many changes make one write), on flush() and on
// destruction; a hive that was not changed is never written.
class SettingsStore : public QObject
{
    Q_OBJECT

public:
    enum class Hive
    {
        CurrentUser,
        LocalMachine
    };
    Q_ENUM(Hive)

    SettingsStore(const QString& userHivePath, const QString& machineHivePath,
                  QObject* parent = nullptr);
    ~SettingsStore() override;

    // The program's key in both hives: Software\Morvane\Phonavo.
    static QString rootKey();

    // Registry layer; key paths are relative to the hive's root.
    bool RegKeyExists(Hive hive, const QString& keyPath) const;
    // REG_SZ: the text up to the first NUL; REG_DWORD: qint32 (a malformed one
    // gives ""); REG_BINARY: the bytes as a Latin-1 string; anything else or
    // missing: a null QVariant.
    QVariant RegGetValue(Hive hive, const QString& keyPath, const QString& name) const;
    // Creates the key when needed and stores the text without leading and
    // trailing blanks as REG_SZ.
    bool RegSetValue(Hive hive, const QString& keyPath, const QString& name, const QString& value);
    // Element 0 is always empty; the names follow from 1 (sub-keys sorted,
    // values in creation order, values without a name left out).
    QStringList RegEnumKeys(Hive hive, const QString& keyPath) const;
    QStringList RegEnumValues(Hive hive, const QString& keyPath) const;
    // Fails when the key is missing or still has sub-keys.
    bool RegDeleteSubKey(Hive hive, const QString& parentKeyPath, const QString& subKeyName);

    // Settings operations; subKey is relative to rootKey() and may be empty.
    // A missing value gives the default; with a Boolean default the result is
    // converted by SettingToBool. A scrambled read of a missing value is "".
    QVariant GetSettingHKCU(const QString& subKey, const QString& name,
                            const QVariant& defaultValue, bool scrambled = false) const;
    QVariant GetSettingHKLM(const QString& subKey, const QString& name,
                            const QVariant& defaultValue, bool scrambled = false) const;
    void SaveSettingHKCU(const QString& subKey, const QString& name, const QString& value,
                         bool scrambled = false);
    void SaveSettingHKLM(const QString& subKey, const QString& name, const QString& value,
                         bool scrambled = false);

    QString getString(Hive hive, const QString& subKey, const QString& name,
                      const QString& def) const;
    bool getBool(Hive hive, const QString& subKey, const QString& name, bool def) const;
    // A stored text gives the number its leading digits spell ("12abc" is 12,
    // "abc" is 0); only a missing value gives def.
    int getInt(Hive hive, const QString& subKey, const QString& name, int def) const;

    // Raw access for backup and import.
    const RegistryHive& hive(Hive hive) const;
    bool createKey(Hive hive, const QString& keyPath);
    bool setRawValue(Hive hive, const QString& keyPath, const QString& name, const RegValue& value);
    bool deleteValue(Hive hive, const QString& keyPath, const QString& name);
    void deleteKeyTree(Hive hive, const QString& keyPath);

    // Writes every changed hive now; false when one could not be written
    // (it stays pending and saveFailed() tells why).
    bool flush();
    // What went wrong while loading, for the caller to log.
    QStringList loadProblems() const { return m_loadProblems; }
    QString userHivePath() const { return m_user.path; }
    QString machineHivePath() const { return m_machine.path; }

signals:
    void saveFailed(const QString& message);

private:
    struct Slot
    {
        Slot(const QString& rootName, const QString& filePath) : hive(rootName), path(filePath) {}
        RegistryHive hive;
        QString path;
        quint64 savedGeneration = 0;
    };

    Slot& slot(Hive hive) { return hive == Hive::CurrentUser ? m_user : m_machine; }
    const Slot& slot(Hive hive) const { return hive == Hive::CurrentUser ? m_user : m_machine; }
    QVariant getSetting(Hive hive, const QString& subKey, const QString& name,
                        const QVariant& defaultValue, bool scrambled) const;
    void saveSetting(Hive hive, const QString& subKey, const QString& name, const QString& value,
                     bool scrambled);
    bool storeText(Hive hive, const QString& keyPath, const QString& name, const QString& text);
    void changed(Hive hive);

    Slot m_user;
    Slot m_machine;
    QStringList m_loadProblems;
    QTimer m_saveTimer;
};
