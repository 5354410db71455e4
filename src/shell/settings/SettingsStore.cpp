#include "shell/settings/SettingsStore.h"

#include <limits>

namespace {

const QString kUserRoot = QStringLiteral("HKEY_CURRENT_USER");
const QString kMachineRoot = QStringLiteral("HKEY_LOCAL_MACHINE");

// Blanks only: tabs and line breaks are part of a value.
QString trimBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.sliced(begin, end - begin);
}

QString settingPath(const QString& subKey)
{
    return subKey.isEmpty() ? SettingsStore::rootKey() : SettingsStore::rootKey() + u'\\' + subKey;
}

// The number the leading digits of a text spell, with an optional sign;
// 0 when there are none. Clamped to the int range.
int leadingNumber(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    qint64 number = 0;
    constexpr qint64 kLimit = qint64(std::numeric_limits<int>::max()) + 1;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        number = std::min(number * 10 + (text[i].unicode() - u'0'), kLimit);
    if (negative)
        return static_cast<int>(-number);
    return static_cast<int>(std::min<qint64>(number, std::numeric_limits<int>::max()));
}

bool isNumberType(int typeId)
{
    switch (typeId) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

// 8-bit code of a character, '?' for what Latin-1 cannot hold.
int eightBitCode(QChar c)
{
    return c.unicode() <= 0xFF ? c.unicode() : '?';
}

// Wraps into 1..255; for texts of up to 245 characters this is the single
// add or subtract of 255 the stored passwords were made with.
QChar wrapCode(qint64 code)
{
    return QChar(static_cast<char16_t>(((code - 1) % 255 + 255) % 255 + 1));
}

} // namespace

bool SettingToBool(const QVariant& value)
{
    if (!value.isValid())
        return false;
    const int type = value.typeId();
    if (type == QMetaType::Bool)
        return value.toBool();
    if (isNumberType(type))
        return value.toDouble() != 0.0;
    const QString text = value.toString();
    return text != u"Falsch" && text != u"False" && text != u"0" && !text.isEmpty();
}

QString ScrambleSetting(const QString& text)
{
    QString out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        out[i] = wrapCode(qint64(eightBitCode(text[i])) + 10 + (i + 1));
    return out;
}

QString UnscrambleSetting(const QString& text)
{
    QString out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        out[i] = wrapCode(qint64(eightBitCode(text[i])) - 10 - (i + 1));
    return out;
}

SettingsStore::SettingsStore(const QString& userHivePath, const QString& machineHivePath,
                             QObject* parent)
    : QObject(parent), m_user(kUserRoot, userHivePath), m_machine(kMachineRoot, machineHivePath)
{
    for (Slot* s : {&m_user, &m_machine}) {
        s->hive.load(s->path);
        s->savedGeneration = s->hive.generation();
        m_loadProblems += s->hive.problems();
    }
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(0);
    connect(&m_saveTimer, &QTimer::timeout, this, &SettingsStore::flush);
}

SettingsStore::~SettingsStore()
{
    flush();
}

QString SettingsStore::rootKey()
{
    return QStringLiteral("Software\\Morvane\\Phonavo");
}

bool SettingsStore::RegKeyExists(Hive hive, const QString& keyPath) const
{
    return slot(hive).hive.keyExists(keyPath);
}

QVariant SettingsStore::RegGetValue(Hive hive, const QString& keyPath, const QString& name) const
{
    const auto value = slot(hive).hive.value(keyPath, name);
    if (!value)
        return {};
    switch (value->type) {
    case RegValue::String:
        return value->text();
    case RegValue::DWord: {
        if (const auto number = value->toDWord())
            return static_cast<qint32>(*number);
        return QStringLiteral(""); // what a failed query of such a value always gave
    }
    case RegValue::Binary:
        return QString::fromLatin1(value->data);
    default:
        return {};
    }
}

bool SettingsStore::RegSetValue(Hive hive, const QString& keyPath, const QString& name,
                                const QString& value)
{
    return storeText(hive, keyPath, name, trimBlanks(value));
}

QStringList SettingsStore::RegEnumKeys(Hive hive, const QString& keyPath) const
{
    return QStringList{QString()} + slot(hive).hive.subKeyNames(keyPath);
}

QStringList SettingsStore::RegEnumValues(Hive hive, const QString& keyPath) const
{
    QStringList names{QString()};
    for (const QString& name : slot(hive).hive.valueNames(keyPath)) {
        if (!name.isEmpty())
            names.append(name);
    }
    return names;
}

bool SettingsStore::RegDeleteSubKey(Hive hive, const QString& parentKeyPath,
                                    const QString& subKeyName)
{
    if (subKeyName.isEmpty() || !RegKeyExists(hive, parentKeyPath))
        return false;
    const bool deleted = slot(hive).hive.deleteKey(parentKeyPath + u'\\' + subKeyName);
    changed(hive);
    return deleted;
}

QVariant SettingsStore::GetSettingHKCU(const QString& subKey, const QString& name,
                                       const QVariant& defaultValue, bool scrambled) const
{
    return getSetting(Hive::CurrentUser, subKey, name, defaultValue, scrambled);
}

QVariant SettingsStore::GetSettingHKLM(const QString& subKey, const QString& name,
                                       const QVariant& defaultValue, bool scrambled) const
{
    return getSetting(Hive::LocalMachine, subKey, name, defaultValue, scrambled);
}

void SettingsStore::SaveSettingHKCU(const QString& subKey, const QString& name,
                                    const QString& value, bool scrambled)
{
    saveSetting(Hive::CurrentUser, subKey, name, value, scrambled);
}

void SettingsStore::SaveSettingHKLM(const QString& subKey, const QString& name,
                                    const QString& value, bool scrambled)
{
    saveSetting(Hive::LocalMachine, subKey, name, value, scrambled);
}

QVariant SettingsStore::getSetting(Hive hive, const QString& subKey, const QString& name,
                                   const QVariant& defaultValue, bool scrambled) const
{
    QVariant value = RegGetValue(hive, settingPath(subKey), name);
    if (scrambled)
        value = UnscrambleSetting(value.isValid() ? value.toString() : QStringLiteral(""));
    if (!value.isValid())
        value = defaultValue;
    if (defaultValue.typeId() == QMetaType::Bool)
        return SettingToBool(value);
    return value;
}

void SettingsStore::saveSetting(Hive hive, const QString& subKey, const QString& name,
                                const QString& value, bool scrambled)
{
    // A scrambled text is stored as it is: trimming it would cut characters
    // that happen to scramble to a blank.
    if (scrambled)
        storeText(hive, settingPath(subKey), name, ScrambleSetting(value));
    else
        RegSetValue(hive, settingPath(subKey), name, value);
}

QString SettingsStore::getString(Hive hive, const QString& subKey, const QString& name,
                                 const QString& def) const
{
    return getSetting(hive, subKey, name, def, false).toString();
}

bool SettingsStore::getBool(Hive hive, const QString& subKey, const QString& name, bool def) const
{
    return getSetting(hive, subKey, name, def, false).toBool();
}

int SettingsStore::getInt(Hive hive, const QString& subKey, const QString& name, int def) const
{
    const QVariant value = getSetting(hive, subKey, name, QVariant(), false);
    if (!value.isValid())
        return def;
    if (value.typeId() == QMetaType::Int)
        return value.toInt();
    return leadingNumber(value.toString());
}

const RegistryHive& SettingsStore::hive(Hive hive) const
{
    return slot(hive).hive;
}

bool SettingsStore::createKey(Hive hive, const QString& keyPath)
{
    const bool created = slot(hive).hive.createKey(keyPath);
    changed(hive);
    return created;
}

bool SettingsStore::setRawValue(Hive hive, const QString& keyPath, const QString& name,
                                const RegValue& value)
{
    const bool stored = slot(hive).hive.setValue(keyPath, name, value);
    changed(hive);
    return stored;
}

bool SettingsStore::deleteValue(Hive hive, const QString& keyPath, const QString& name)
{
    const bool deleted = slot(hive).hive.deleteValue(keyPath, name);
    changed(hive);
    return deleted;
}

void SettingsStore::deleteKeyTree(Hive hive, const QString& keyPath)
{
    slot(hive).hive.deleteKeyTree(keyPath);
    changed(hive);
}

bool SettingsStore::flush()
{
    m_saveTimer.stop();
    bool allSaved = true;
    for (Slot* s : {&m_user, &m_machine}) {
        if (s->hive.generation() == s->savedGeneration)
            continue;
        const auto saved = s->hive.save(s->path);
        if (saved) {
            s->savedGeneration = s->hive.generation();
        } else {
            allSaved = false;
            emit saveFailed(saved.error());
        }
    }
    return allSaved;
}

bool SettingsStore::storeText(Hive hive, const QString& keyPath, const QString& name,
                              const QString& text)
{
    return setRawValue(hive, keyPath, name, RegValue::fromString(text));
}

void SettingsStore::changed(Hive hive)
{
    const Slot& s = slot(hive);
    if (s.hive.generation() != s.savedGeneration && !m_saveTimer.isActive())
        m_saveTimer.start();
}
