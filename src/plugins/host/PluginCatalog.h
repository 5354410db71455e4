#pragma once

#include "platform/Result.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

// One plug-in library as its metadata describes it.
struct PluginLibrary
{
    QString progId;
    QString kind; // "connection", "notification" or "reverse"
    QString name;
    QString interfaceVersion;
    QString iid;
    QString file;
    bool enabledByDefault = true;
    bool registerOnInstall = true;
    QString country; // reverse plug-ins: the country list they belong to
};

// The plug-in libraries on the plug-in path, found by the ProgID their
// metadata names. Reading metadata does not load a library; only create()
// does. A ProgID found in two folders is taken from the first (the
// installation's plug-ins cannot be replaced by a user's copy).
class PluginCatalog
{
public:
    explicit PluginCatalog(QStringList dirs);

    // Reads the metadata of every library in the folders; what does not
    // describe a plug-in of ours is left out and told in problems().
    void scan();
    const PluginLibrary* find(const QString& progId) const;
    const QList<PluginLibrary>& libraries() const { return m_libraries; }
    const QStringList& problems() const { return m_problems; }
    const QStringList& dirs() const { return m_dirs; }

    // "Create the object from the ProgID": loads the library and returns its
    // root object, checked to offer the interface `iid`.
    Result<QObject*> create(const QString& progId, const char* iid);

private:
    QStringList m_dirs;
    QList<PluginLibrary> m_libraries;
    QHash<QString, int> m_byProgId; // lower-case ProgID -> index
    QStringList m_problems;
    bool m_scanned = false;
};
