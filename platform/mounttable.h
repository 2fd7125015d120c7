#pragma once
// The system's mount table (/proc/self/mountinfo): what is mounted where,
// which folder of which file system each mount shows, and so where a folder
// lies in its file system, whatever path (a bind mount, say) leads to it.

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace pf {

// One line of the mount table.
struct Mount {
    QString point;       // where it is mounted
    QString type;        // "vfat", "ext4", ...
    QString root;        // the folder of its file system shown there: "/" for all of it
    QString source;      // "/dev/sdb1", or what the file system names instead
    quint64 device = 0;  // the file system's device number, as st_dev gives it
};

// The mounts of a /proc/self/mountinfo text, in its order (a mount made
// later comes later). Malformed lines are passed over.
QList<Mount> parseMountInfo(const QByteArray &mountinfo);

// The mount table of this process; empty when it cannot be read.
QByteArray readMountTable();

// Where a folder lies inside its file system: the device, and the path from
// that file system's own root.
struct FileSystemPlace {
    quint64 device = 0;
    QString path;
};

// The place of `realPath` (a path with every link resolved): the mount that
// holds it is the one of the deepest mount point on its way, the last such
// line where several are. None when no mount holds it.
std::optional<FileSystemPlace> placeInFileSystem(const QList<Mount> &mounts, const QString &realPath);

// Whether `inner` is `outer` or lies inside it, on the same file system.
bool placeWithin(const FileSystemPlace &inner, const FileSystemPlace &outer);

}  // namespace pf
