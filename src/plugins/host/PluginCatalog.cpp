#include "PluginCatalog.h"

#include <QDir>
#include <QJsonObject>
#include <QPluginLoader>

PluginCatalog::PluginCatalog(QStringList dirs) : m_dirs(std::move(dirs)) {}

void PluginCatalog::scan()
{
    m_libraries.clear();
    m_byProgId.clear();
    m_problems.clear();
    m_scanned = true;
    for (const QString& dirPath : m_dirs) {
        const QDir dir(dirPath);
        const QStringList files =
            dir.entryList({QStringLiteral("*.so")}, QDir::Files | QDir::Readable, QDir::Name);
        for (const QString& fileName : files) {
            const QString file = dir.absoluteFilePath(fileName);
            QPluginLoader loader(file);
            const QJsonObject meta = loader.metaData();
            const QJsonObject data = meta.value(QStringLiteral("MetaData")).toObject();
            const QString progId = data.value(QStringLiteral("ProgID")).toString().trimmed();
            if (meta.isEmpty() || progId.isEmpty()) {
                m_problems << QStringLiteral("%1: not a Phonavo plug-in").arg(file);
                continue;
            }
            if (m_byProgId.contains(progId.toLower())) {
                m_problems << QStringLiteral("%1: %2 is already provided by %3")
                                  .arg(file, progId,
                                       m_libraries[m_byProgId.value(progId.toLower())].file);
                continue;
            }
            PluginLibrary lib;
            lib.progId = progId;
            lib.kind = data.value(QStringLiteral("Kind")).toString().toLower();
            lib.name = data.value(QStringLiteral("Name")).toString(progId);
            const QJsonValue version = data.value(QStringLiteral("InterfaceVersion"));
            lib.interfaceVersion =
                version.isDouble() ? QString::number(version.toDouble()) : version.toString();
            lib.iid = meta.value(QStringLiteral("IID")).toString();
            lib.file = file;
            lib.enabledByDefault = data.value(QStringLiteral("EnabledByDefault")).toBool(true);
            lib.registerOnInstall = data.value(QStringLiteral("RegisterOnInstall")).toBool(true);
            lib.country = data.value(QStringLiteral("Country")).toString();
            m_byProgId.insert(progId.toLower(), int(m_libraries.size()));
            m_libraries.append(lib);
        }
    }
}

const PluginLibrary* PluginCatalog::find(const QString& progId) const
{
    const auto it = m_byProgId.constFind(progId.toLower());
    return it == m_byProgId.constEnd() ? nullptr : &m_libraries[*it];
}

Result<QObject*> PluginCatalog::create(const QString& progId, const char* iid)
{
    if (!m_scanned)
        scan();
    const PluginLibrary* lib = find(progId);
    if (!lib)
        return Result<QObject*>::fail(
            QStringLiteral("no plug-in library names it (searched: %1)").arg(m_dirs.join(", ")));
    if (lib->iid != QLatin1String(iid))
        return Result<QObject*>::fail(QStringLiteral("%1 offers the interface %2, not %3")
                                          .arg(lib->file, lib->iid, QLatin1String(iid)));
    // The loader is not kept: the library stays loaded (and its root object
    // alive) until the program ends, as long-lived plug-ins must.
    QPluginLoader loader(lib->file);
    QObject* object = loader.instance();
    if (!object)
        return Result<QObject*>::fail(loader.errorString());
    return Result<QObject*>::ok(object);
}
