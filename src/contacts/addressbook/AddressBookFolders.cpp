#include "AddressBookFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace {

// Deep enough for any real address book, and a stop for links that lead
// round in circles.
constexpr int kMaxDepth = 16;

bool readable(const QFileInfo& info)
{
    return info.isReadable() && info.isExecutable();
}

void addChildren(const QString& dir, int depth, QSet<QString>& seen,
                 QList<AddressBookFolders::Folder>& out,
                 const AddressBookFolders::Unreadable& unreadable)
{
    if (depth > kMaxDepth)
        return;
    const QFileInfoList children = QDir(dir).entryInfoList(
        QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
    for (const QFileInfo& child : children) {
        if (!readable(child)) {
            if (unreadable)
                unreadable(child.absoluteFilePath());
            continue;
        }
        const QString canonical = child.canonicalFilePath();
        if (seen.contains(canonical))
            continue;
        seen.insert(canonical);
        out.append({QDir::cleanPath(child.absoluteFilePath()), depth});
        addChildren(child.absoluteFilePath(), depth + 1, seen, out, unreadable);
    }
}

} // namespace

namespace AddressBookFolders {

QList<Folder> list(const QString& root, const Unreadable& unreadable)
{
    const QString clean = QDir::cleanPath(root);
    QList<Folder> out{{clean, 0}};
    const QFileInfo info(clean);
    if (!info.isDir())
        return out; // not made yet: the root alone, where new books will go
    if (!readable(info)) {
        if (unreadable)
            unreadable(clean);
        return out;
    }
    QSet<QString> seen{info.canonicalFilePath()};
    addChildren(clean, 1, seen, out, unreadable);
    return out;
}

} // namespace AddressBookFolders
