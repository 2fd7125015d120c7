#pragma once
// Reading host folders: their plain files, the entries that are no files,
// and whether a folder can be read at all. Names are matched without regard
// to case; every name is kept as its bytes (see hostnames.h).

#include <QString>
#include <QStringList>

#include <functional>

namespace pf {

// A listed name that is one name: not empty, not "." or "..", and without
// '\' or '/'. Only such a name may be put behind a folder to make a path; a
// file of the medium named "x\..\y.jpg" is never read, written or deleted
// through the path that name would make.
bool isSingleName(const QString &name);

namespace host {

// Calls take(name, hidden) for each regular file (not a link) of a host
// folder whose name matches the pattern, in folder order, while it returns
// true. Hidden ones (a name starting with '.', or the FAT hidden or system
// mark) only `withHidden`. Returns 0 or the errno of opening the folder.
int scanFolder(const QString &hostFolder, const QString &pattern, bool withHidden,
               const std::function<bool(const QString &name, bool hidden)> &take);

struct Listing {
    QStringList names;  // in folder order
    int error = 0;      // errno of opening the folder
};

// Plain files of a host folder whose names match the pattern; at most
// `limit` when it is above 0. A plain file is regular, not a link, not
// hidden (a name starting with '.', or the FAT hidden mark) and not a
// system file (the FAT system mark); `withHidden` admits those two as well.
Listing listFolder(const QString &hostFolder, const QString &pattern, bool withHidden, int limit = -1);

// The entries of a host folder whose names match the pattern but that are
// no regular file: links, folders, pipes, devices (not hidden ones).
Listing listNonFiles(const QString &hostFolder, const QString &pattern);

// Whether the host folder can be listed.
bool canList(const QString &hostFolder);

}  // namespace host

}  // namespace pf
