#pragma once

#include <QList>
#include <QString>

#include <functional>

// The folders of an address-book root as a tree, for choosing where the
// contacts are: the root first, then each sub-folder after its parent, sorted
// by name. Hidden folders (.git, vdirsyncer's state) are left out.
namespace AddressBookFolders {

struct Folder
{
    QString path;
    int depth = 0; // 0 for the root
};

// Called for a folder that cannot be read; it is left out with what is below.
using Unreadable = std::function<void(const QString& path)>;

QList<Folder> list(const QString& root, const Unreadable& unreadable);

} // namespace AddressBookFolders
