#include "shell/settings/RegistryHive.h"

#include "platform/AppPaths.h"
#include "platform/Clock.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>

#include <algorithm>
#include <map>

struct RegistryHive::Key
{
    struct NamedValue
    {
        QString name;
        RegValue value;
        quint64 order = 0;
    };

    QString name;
    // Keyed by folded name, which also gives the sorted enumeration order.
    std::map<QString, std::unique_ptr<Key>> children;
    QHash<QString, NamedValue> values;
    quint64 nextOrder = 0;

    // This key and all below it.
    qsizetype treeSize() const
    {
        qsizetype count = 1;
        for (const auto& [folded, child] : children)
            count += child->treeSize();
        return count;
    }

    QList<const NamedValue*> orderedValues() const
    {
        QList<const NamedValue*> list;
        list.reserve(values.size());
        for (const NamedValue& v : values)
            list.append(&v);
        std::sort(list.begin(), list.end(),
                  [](const NamedValue* a, const NamedValue* b) { return a->order < b->order; });
        return list;
    }
};

namespace {

// One-to-one upper-casing per character, like the registry's own comparison
// (so "ß" and "SS" stay different names).
QString fold(QStringView name)
{
    QString folded(name.size(), Qt::Uninitialized);
    QChar* out = folded.data();
    for (QChar c : name)
        *out++ = c.toUpper();
    return folded;
}

QList<QStringView> splitPath(const QString& keyPath)
{
    return QStringView(keyPath).split(u'\\', Qt::SkipEmptyParts);
}

bool isValidPath(const QList<QStringView>& parts)
{
    if (parts.size() > RegFile::MaxKeyDepth)
        return false;
    return std::all_of(parts.begin(), parts.end(),
                       [](QStringView part) { return RegFile::isValidKeyName(part); });
}

} // namespace

RegistryHive::RegistryHive(QString rootName) : m_rootName(std::move(rootName))
{
    reset();
}

RegistryHive::~RegistryHive() = default;

void RegistryHive::reset()
{
    m_found.clear();
    m_root = std::make_unique<Key>();
    m_root->name = m_rootName;
    m_keyCount = 0;
    changed();
}

bool RegistryHive::load(const QString& filePath)
{
    reset();
    m_problems.clear();
    m_saveBlocked = false;

    const QFileInfo info(filePath);
    if (!info.exists())
        return true;
    if (info.size() > RegFile::MaxFileSize) {
        moveAside(filePath, QStringLiteral("the file is larger than %1 MiB")
                                .arg(RegFile::MaxFileSize / (1024 * 1024)));
        return false;
    }
    QFile file(filePath);
    if (info.isDir() || !file.open(QIODevice::ReadOnly)) {
        m_problems.append(QStringLiteral("Settings file %1 could not be opened (%2); changes to "
                                         "these settings will not be saved.")
                              .arg(filePath, info.isDir() ? QStringLiteral("it is a folder")
                                                          : file.errorString()));
        m_saveBlocked = true;
        return false;
    }
    // Bounded read: the file may have grown since it was measured.
    const QByteArray bytes = file.read(RegFile::MaxFileSize + 1);
    if (file.error() != QFileDevice::NoError) {
        m_problems.append(QStringLiteral("Settings file %1 could not be read (%2); changes to "
                                         "these settings will not be saved.")
                              .arg(filePath, file.errorString()));
        m_saveBlocked = true;
        return false;
    }
    file.close();
    if (bytes.isEmpty())
        return true; // nothing to lose, e.g. left by an interrupted copy

    const auto parsed = RegFile::parse(bytes);
    if (!parsed) {
        moveAside(filePath, parsed.error());
        return false;
    }

    int ignored = 0;
    for (const RegFile::Section& section : parsed.value()) {
        const auto keyPath = relativePath(m_rootName, section.path);
        if (!keyPath) {
            ++ignored;
        } else if (applySection(*keyPath, section) < 0) {
            reset();
            moveAside(filePath,
                      QStringLiteral("line %1: more than %2 keys").arg(section.line).arg(MaxKeys));
            return false;
        }
    }
    if (ignored > 0) {
        m_problems.append(QStringLiteral("Settings file %1: %2 key section(s) outside %3 were "
                                         "ignored and will not be saved again.")
                              .arg(filePath)
                              .arg(ignored)
                              .arg(m_rootName));
        return false;
    }
    return true;
}

void RegistryHive::moveAside(const QString& filePath, const QString& reason)
{
    const QString base = filePath + QStringLiteral(".broken-") +
                         Clock::instance().now().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = base;
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = base + u'-' + QString::number(n);
    if (QFile::rename(filePath, target)) {
        m_problems.append(QStringLiteral("Settings file %1 could not be read (%2). It was renamed "
                                         "to %3 and the program goes on with default settings.")
                              .arg(filePath, reason, target));
    } else {
        m_problems.append(QStringLiteral("Settings file %1 could not be read (%2) nor renamed; "
                                         "changes to these settings will not be saved.")
                              .arg(filePath, reason));
        m_saveBlocked = true;
    }
}

Result<bool> RegistryHive::save(const QString& filePath) const
{
    if (m_saveBlocked)
        return Result<bool>::fail(QStringLiteral("Settings file %1 is not written because it "
                                                 "could not be read when it was loaded.")
                                      .arg(filePath));
    AppPaths::ensureParentDir(filePath);
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly))
        return Result<bool>::fail(QStringLiteral("Settings file %1 could not be written: %2")
                                      .arg(filePath, file.errorString()));
    file.write(RegFile::write(sections()));
    if (!file.commit())
        return Result<bool>::fail(QStringLiteral("Settings file %1 could not be written: %2")
                                      .arg(filePath, file.errorString()));
    return Result<bool>::ok(true);
}

void RegistryHive::remember(const QString& keyPath, Key* key) const
{
    if (m_found.size() >= MaxKeys)
        m_found.clear(); // many spellings of the same keys: start again
    m_found.insert(keyPath, key);
}

RegistryHive::Key* RegistryHive::find(const QString& keyPath) const
{
    if (Key* known = m_found.value(keyPath))
        return known;
    Key* key = m_root.get();
    for (QStringView part : splitPath(keyPath)) {
        const auto it = key->children.find(fold(part));
        if (it == key->children.end())
            return nullptr;
        key = it->second.get();
    }
    remember(keyPath, key);
    return key;
}

RegistryHive::Key* RegistryHive::findOrCreate(const QString& keyPath)
{
    if (Key* known = m_found.value(keyPath))
        return known;
    const auto parts = splitPath(keyPath);
    if (!isValidPath(parts))
        return nullptr;
    Key* key = m_root.get();
    for (QStringView part : parts) {
        const QString folded = fold(part);
        auto it = key->children.find(folded);
        if (it == key->children.end()) {
            if (m_keyCount >= MaxKeys)
                return nullptr;
            auto child = std::make_unique<Key>();
            child->name = part.toString();
            it = key->children.emplace(folded, std::move(child)).first;
            ++m_keyCount;
            changed();
        }
        key = it->second.get();
    }
    remember(keyPath, key);
    return key;
}

bool RegistryHive::keyExists(const QString& keyPath) const
{
    return find(keyPath) != nullptr;
}

bool RegistryHive::createKey(const QString& keyPath)
{
    return findOrCreate(keyPath) != nullptr;
}

bool RegistryHive::deleteKey(const QString& keyPath)
{
    const auto parts = splitPath(keyPath);
    if (parts.isEmpty())
        return false;
    QString parentPath = keyPath;
    parentPath.truncate(parts.last().data() - keyPath.constData());
    Key* parent = find(parentPath);
    if (!parent)
        return false;
    const auto it = parent->children.find(fold(parts.last()));
    if (it == parent->children.end() || !it->second->children.empty())
        return false;
    parent->children.erase(it);
    m_found.clear();
    --m_keyCount;
    changed();
    return true;
}

bool RegistryHive::deleteKeyTree(const QString& keyPath)
{
    const auto parts = splitPath(keyPath);
    if (parts.isEmpty()) {
        if (m_root->children.empty() && m_root->values.isEmpty())
            return false;
        reset();
        return true;
    }
    QString parentPath = keyPath;
    parentPath.truncate(parts.last().data() - keyPath.constData());
    Key* parent = find(parentPath);
    if (!parent)
        return false;
    const auto it = parent->children.find(fold(parts.last()));
    if (it == parent->children.end())
        return false;
    m_keyCount -= it->second->treeSize();
    parent->children.erase(it);
    m_found.clear();
    changed();
    return true;
}

QStringList RegistryHive::subKeyNames(const QString& keyPath) const
{
    QStringList names;
    if (const Key* key = find(keyPath)) {
        for (const auto& [folded, child] : key->children)
            names.append(child->name);
    }
    return names;
}

QStringList RegistryHive::valueNames(const QString& keyPath) const
{
    QStringList names;
    if (const Key* key = find(keyPath)) {
        for (const Key::NamedValue* v : key->orderedValues())
            names.append(v->name);
    }
    return names;
}

std::optional<RegValue> RegistryHive::value(const QString& keyPath, const QString& name) const
{
    const Key* key = find(keyPath);
    if (!key)
        return std::nullopt;
    const auto it = key->values.constFind(fold(name));
    if (it == key->values.constEnd())
        return std::nullopt;
    return it->value;
}

bool RegistryHive::setValue(const QString& keyPath, const QString& name, const RegValue& value)
{
    if (!RegFile::isValidValueName(name))
        return false;
    Key* key = findOrCreate(keyPath);
    if (!key)
        return false;
    const QString folded = fold(name);
    auto it = key->values.find(folded);
    if (it == key->values.end()) {
        key->values.insert(folded, Key::NamedValue{name, value, key->nextOrder++});
    } else {
        if (it->value == value)
            return true;
        it->value = value;
    }
    changed();
    return true;
}

bool RegistryHive::deleteValue(const QString& keyPath, const QString& name)
{
    Key* key = find(keyPath);
    if (!key || key->values.remove(fold(name)) == 0)
        return false;
    changed();
    return true;
}

QList<RegFile::Section> RegistryHive::sections(const QString& keyPath) const
{
    QList<RegFile::Section> out;
    const Key* start = m_root.get();
    QString fullPath = m_rootName;
    for (QStringView part : splitPath(keyPath)) {
        const auto it = start->children.find(fold(part));
        if (it == start->children.end())
            return out;
        start = it->second.get();
        fullPath += u'\\' + start->name;
    }

    const auto visit = [this, &out](const auto& self, const Key* key, const QString& path) -> void {
        if (key != m_root.get() || !key->values.isEmpty()) {
            RegFile::Section section;
            section.path = path;
            for (const Key::NamedValue* v : key->orderedValues())
                section.values.append(RegFile::Value{v->name, false, v->value});
            out.append(std::move(section));
        }
        for (const auto& [folded, child] : key->children)
            self(self, child.get(), path + u'\\' + child->name);
    };
    visit(visit, start, fullPath);
    return out;
}

int RegistryHive::applySection(const QString& keyPath, const RegFile::Section& section)
{
    if (section.deleted) {
        deleteKeyTree(keyPath);
        return 0;
    }
    if (!createKey(keyPath))
        return -1;
    int set = 0;
    for (const RegFile::Value& v : section.values) {
        if (v.deleted)
            deleteValue(keyPath, v.name);
        else if (setValue(keyPath, v.name, v.value))
            ++set;
    }
    return set;
}

std::optional<QString> RegistryHive::relativePath(const QString& base, const QString& path)
{
    const auto baseParts = splitPath(base);
    const auto parts = splitPath(path);
    if (parts.size() < baseParts.size())
        return std::nullopt;
    for (qsizetype i = 0; i < baseParts.size(); ++i) {
        if (fold(baseParts[i]) != fold(parts[i]))
            return std::nullopt;
    }
    QStringList rest;
    for (qsizetype i = baseParts.size(); i < parts.size(); ++i)
        rest.append(parts[i].toString());
    return rest.join(u'\\');
}
