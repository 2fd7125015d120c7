#include "platform/mounttable.h"

#include "platform/hostnames.h"

#include <QFile>

#include <sys/sysmacros.h>

namespace pf {

namespace {

// A mountinfo field with its octal escapes ("\040" for a blank) undone; its
// bytes that are not UTF-8 kept, so that the folder is found under them.
QString unescaped(const QByteArray &field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field.at(i);
        if (c == '\\' && i + 3 < field.size()) {
            const QByteArray digits = field.mid(i + 1, 3);
            bool ok = true;
            for (char d : digits)
                ok = ok && d >= '0' && d <= '7';
            if (ok) {
                out += char(digits.toInt(nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += c;
    }
    return fromHostName(out);
}

// "8:17" -> the device number; 0 when the field is not one.
quint64 deviceNumber(const QByteArray &field)
{
    const qsizetype colon = field.indexOf(':');
    bool okMajor = false, okMinor = false;
    const uint major = field.left(colon).toUInt(&okMajor);
    const uint minor = field.mid(colon + 1).toUInt(&okMinor);
    return colon > 0 && okMajor && okMinor ? quint64(::makedev(major, minor)) : 0;
}

// Whether `path` is `folder` or lies below it (both clean, absolute).
bool isOrBelow(const QString &path, const QString &folder)
{
    if (folder == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path == folder || (path.startsWith(folder) && path.at(folder.size()) == QLatin1Char('/'));
}

}  // namespace

QList<Mount> parseMountInfo(const QByteArray &mountinfo)
{
    // "36 35 98:0 /mnt1 /mnt/parent rw,noatime master:1 - ext3 /dev/root rw"
    // Fields: id, parent, device, root, mount point, options, optional
    // fields up to "-", then the type and the source.
    QList<Mount> mounts;
    const QList<QByteArray> lines = mountinfo.split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 7)
            continue;
        const qsizetype dash = fields.indexOf(QByteArray("-"), 6);
        if (dash < 0 || dash + 1 >= fields.size())
            continue;
        const QString point = unescaped(fields.at(4));
        if (!point.startsWith(QLatin1Char('/')))
            continue;
        const QString source = dash + 2 < fields.size() ? unescaped(fields.at(dash + 2)) : QString();
        mounts.append({point, unescaped(fields.at(dash + 1)), unescaped(fields.at(3)), source,
                       deviceNumber(fields.at(2))});
    }
    return mounts;
}

QByteArray readMountTable()
{
    QFile f(QStringLiteral("/proc/self/mountinfo"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::optional<FileSystemPlace> placeInFileSystem(const QList<Mount> &mounts, const QString &realPath)
{
    const Mount *holder = nullptr;
    for (const Mount &m : mounts)
        if (isOrBelow(realPath, m.point) && (!holder || m.point.size() >= holder->point.size()))
            holder = &m;
    if (!holder || !holder->root.startsWith(QLatin1Char('/')))
        return std::nullopt;
    const QString below = holder->point == QLatin1String("/") ? realPath : realPath.mid(holder->point.size());
    QString path = holder->root == QLatin1String("/") ? below : holder->root + below;
    if (path.isEmpty())
        path = QStringLiteral("/");
    return FileSystemPlace{holder->device, path};
}

bool placeWithin(const FileSystemPlace &inner, const FileSystemPlace &outer)
{
    return inner.device == outer.device && isOrBelow(inner.path, outer.path);
}

}  // namespace pf
