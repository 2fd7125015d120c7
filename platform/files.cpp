// The file services a program path at a time: look-ups, listings, folders,
// deletion, attributes and dates. The copy is in filecopy.cpp, places and
// the batch in filebatch.cpp.

#include "platform/files_p.h"

#include "platform/fatattributes.h"
#include "platform/filetime.h"
#include "platform/mounttable.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace pf {

namespace {

// The program path's folder and its last part: "a:\x\y.jpg" -> "a:\x\", "y.jpg".
void splitFolder(const QString &path, QString &folder, QString &name)
{
    const qsizetype cut = folderEnd(path);
    folder = path.left(cut);
    name = path.mid(cut);
}

// A host path with every link resolved; empty when it does not lead anywhere.
QByteArray resolved(const QByteArray &path)
{
    char *r = ::realpath(path.constData(), nullptr);
    if (!r)
        return {};
    QByteArray out(r);
    ::free(r);
    return out;
}

const QString kChanged = QStringLiteral("It changed after its copy was checked");

PlatformError listError(int err, const QString &folder)
{
    return errorFromErrno(err, folder, /*pathPart=*/true);
}

}  // namespace

FileId fileIdOf(const struct stat &st)
{
    return FileId{quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
                  qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
                  qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec};
}

FileSystem::FileSystem(DriveMap drives) : m_drives(std::move(drives)), m_mountTable(readMountTable) {}

FileSystem::~FileSystem() = default;

Status FileSystem::selectDrive(QChar letter) { return m_drives.ready(letter.toUpper()); }

Result<QString> FileSystem::findFirst(const QString &pattern, int attributes)
{
    QString folder, name;
    splitFolder(pattern, folder, name);
    Result<QString> host = m_drives.toHost(folder.isEmpty() ? QStringLiteral("\\") : folder);
    if (!host)
        return host.error();
    if (name.isEmpty()) {
        if (!(attributes & FindFolders))
            return QString();
        // A folder exists when it can be listed; every folder lists at least ".".
        return host::canList(*host) ? QStringLiteral(".") : QString();
    }
    const host::Listing l = host::listFolder(*host, name, false, 1);
    if (l.names.isEmpty())
        return QString();
    return l.names.first();
}

Result<bool> FileSystem::folderExists(const QString &folder)
{
    QString f = folder;
    if (!f.endsWith(QLatin1Char('\\')) && !f.endsWith(QLatin1Char('/')))
        f += QLatin1Char('\\');
    Result<QString> r = findFirst(f, FindFolders);
    if (!r)
        return r.error();
    return !r->isEmpty();
}

bool FileSystem::fileExists(const QString &path)
{
    if (m_batch) {
        Place p;
        if (!locate(path, p, true))
            return false;
        if (p.listed && !p.present)
            return false;
        struct stat st;
        return ::fstatat(p.dirFd, p.encoded.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(st.st_mode);
    }
    Result<QString> host = m_drives.toHost(path);
    if (!host)
        return false;
    struct stat st;
    return ::lstat(enc(*host).constData(), &st) == 0 && !S_ISDIR(st.st_mode);
}

Result<QStringList> FileSystem::listFiles(const QString &folder, const QString &pattern, bool admitHiddenSystem)
{
    Result<QString> host = m_drives.toHost(folder);
    if (!host)
        return host.error();
    QStringList names;
    if (m_batch) {
        BatchState::Files &known = m_batch->listed;
        const DriveMap::FolderStamp now = DriveMap::stamp(*host);
        if (known.host != *host || known.stamp != now || now.sec < 0) {
            known = {*host, now, {}};
            const int err = host::scanFolder(*host, QStringLiteral("*"), true, [&](const QString &name, bool hidden) {
                known.files.append({name, hidden});
                return true;
            });
            if (err != 0) {
                known = {};
                return listError(err, folder);
            }
        }
        for (const auto &[name, hidden] : std::as_const(known.files))
            if ((admitHiddenSystem || !hidden) && matchesPattern(name, pattern))
                names << name;
    } else {
        host::Listing l = host::listFolder(*host, pattern, admitHiddenSystem);
        if (l.error)
            return listError(l.error, folder);
        names = std::move(l.names);
    }
    // By name without regard to case; names equal so by their exact form.
    std::vector<std::pair<QString, QString>> keyed;
    keyed.reserve(size_t(names.size()));
    for (QString &n : names)
        keyed.emplace_back(foldedName(n), std::move(n));
    std::sort(keyed.begin(), keyed.end());
    QStringList sorted;
    sorted.reserve(qsizetype(keyed.size()));
    for (auto &k : keyed)
        sorted.append(std::move(k.second));
    return sorted;
}

Result<QStringList> FileSystem::listNonFiles(const QString &folder, const QString &pattern)
{
    Result<QString> host = m_drives.toHost(folder);
    if (!host)
        return host.error();
    host::Listing l = host::listNonFiles(*host, pattern);
    if (l.error)
        return listError(l.error, folder);
    l.names.sort(Qt::CaseInsensitive);
    return l.names;
}

Result<QList<FileFailure>> FileSystem::deleteFiles(const QString &pattern)
{
    QString folder, name;
    splitFolder(pattern, folder, name);
    Result<QString> host = m_drives.toHost(folder.isEmpty() ? QStringLiteral("\\") : folder);
    if (!host)
        return host.error();
    const host::Listing l = host::listFolder(*host, name.isEmpty() ? QStringLiteral("*.*") : name, false);
    if (l.error)
        return listError(l.error, folder);
    QList<FileFailure> failures;
    for (const QString &n : l.names) {
        if (!isSingleName(n))
            continue;  // never joined into a path
        const QString full = folder + n;
        if (Status s = deleteFile(full); !s)
            failures.append({full, s.error()});
    }
    return failures;
}

Status FileSystem::deleteFile(const QString &path, const FileId *expected)
{
    Result<QString> host = m_drives.toHost(path);
    if (!host)
        return host.error();
    struct stat st;
    if (::lstat(enc(*host).constData(), &st) != 0)
        return errorFromErrno(errno, path);
    if (S_ISDIR(st.st_mode))
        return makeError(ErrPathFileAccess, QStringLiteral("Is a folder"), path);
    if (expected && !(*expected == fileIdOf(st)))
        return makeError(ErrPathFileAccess, kChanged, path);
    if (::unlink(enc(*host).constData()) != 0)
        return errorFromErrno(errno, path);
    return {};
}

bool FileSystem::changedSinceChecked(const PlatformError &error)
{
    return error.number == ErrPathFileAccess && error.reason == kChanged;
}

Result<bool> FileSystem::liesWithin(const QString &folder, const QString &container) const
{
    Result<QString> outer = m_drives.toHost(container);
    if (!outer)
        return outer.error();
    struct stat root;
    if (::stat(enc(*outer).constData(), &root) != 0)
        return errorFromErrno(errno, container, true);
    Result<QString> inner = m_drives.toHost(folder);
    if (!inner)
        return false;  // on a drive that is not there: not inside this one
    // From the folder (or, while it does not exist yet, the nearest folder
    // above it that does) up to the file system's root, after links.
    QString at = QDir::cleanPath(*inner);
    QByteArray real;
    while ((real = resolved(enc(at))).isEmpty()) {
        if (at == QLatin1String("/") || at.isEmpty())
            return false;
        at = QFileInfo(at).path();
    }
    struct stat nearest;
    if (::stat(real.constData(), &nearest) != 0)
        return false;
    for (QByteArray up = real;;) {
        struct stat st;
        if (::stat(up.constData(), &st) == 0 && st.st_dev == root.st_dev && st.st_ino == root.st_ino)
            return true;
        if (up == "/" || up.isEmpty())
            break;
        const qsizetype slash = up.lastIndexOf('/');
        up = slash > 0 ? up.left(slash) : QByteArray("/");
    }
    // Not below it by path; but on the same file system, another mount may
    // show one of its folders (a folder of the diskette bound onto the image
    // folder). Then the mount table tells which folder of that file system
    // each path shows.
    if (nearest.st_dev != root.st_dev || !m_mountTable)
        return false;
    const QByteArray outerReal = resolved(enc(*outer));
    const QList<Mount> mounts = parseMountInfo(m_mountTable());
    const std::optional<FileSystemPlace> folderPlace = placeInFileSystem(mounts, fromHostName(real));
    const std::optional<FileSystemPlace> containerPlace = placeInFileSystem(mounts, fromHostName(outerReal));
    return folderPlace && containerPlace && !outerReal.isEmpty() && placeWithin(*folderPlace, *containerPlace);
}

Status FileSystem::setAttributesNormal(const QString &path)
{
    Result<QString> host = m_drives.toHost(path);
    if (!host)
        return host.error();
    const QByteArray h = enc(*host);
    struct stat st;
    if (::lstat(h.constData(), &st) != 0)
        return errorFromErrno(errno, path);
    if (S_ISLNK(st.st_mode))
        return {};  // never through a link
    if (!(st.st_mode & S_IWUSR) && ::chmod(h.constData(), (st.st_mode & 07777) | S_IWUSR) != 0)
        return errorFromErrno(errno, path);
    // A file that cannot be opened to read has no FAT marks we could clear
    // (those need it open); whatever keeps it, its deletion reports.
    const Fd fd(::open(h.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.ok())
        return {};
    if (const int err = host::clearFatMarks(fd.get()))
        return errorFromErrno(err, path);
    return {};
}

Status FileSystem::makeFolder(const QString &path)
{
    Result<QString> host = m_drives.toHost(path);
    if (!host)
        return host.error();
    QString h = *host;
    while (h.size() > 1 && h.endsWith(QLatin1Char('/')))
        h.chop(1);
    if (::mkdir(enc(h).constData(), 0777) != 0) {
        const int err = errno;
        if (err == EEXIST)
            return makeError(ErrPathFileAccess, QStringLiteral("A file or folder of that name already exists"), path);
        return errorFromErrno(err, path, true);
    }
    return {};
}

Result<qint64> FileSystem::fileLength(const QString &path)
{
    Result<QString> host = m_drives.toHost(path);
    if (!host)
        return host.error();
    struct stat st;
    if (::stat(enc(*host).constData(), &st) != 0)
        return errorFromErrno(errno, path);
    return qint64(st.st_size);
}

Result<QDateTime> FileSystem::fileDate(const QString &path)
{
    struct stat st;
    if (m_batch) {
        // Opened, and held open for its copy, which is most likely next.
        Place p;
        Result<Fd> fd = openForReading(path, p, st);
        if (!fd)
            return fd.error();
        m_batch->source = std::move(fd.value());
        m_batch->sourcePath = path;
        m_batch->sourceStat = st;
        m_batch->sourceSeenMs = coarseMs();
        return localDateTime(st.st_mtim);
    }
    Result<QString> host = m_drives.toHost(path);
    if (!host)
        return host.error();
    if (::stat(enc(*host).constData(), &st) != 0)
        return errorFromErrno(errno, path);
    readTimeZone();
    return localDateTime(st.st_mtim);
}

}  // namespace pf
