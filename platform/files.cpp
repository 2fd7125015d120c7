#include "platform/files.h"
#include "platform/hostnames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <vector>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/types.h>
#include <unistd.h>

#ifndef MSDOS_SUPER_MAGIC
#define MSDOS_SUPER_MAGIC 0x4d44
#endif

namespace pf {

namespace {

QChar folded(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 128)
        return u >= u'A' && u <= u'Z' ? QChar(char16_t(u + 32)) : c;
    return c.toCaseFolded();
}

// Case-insensitive match of '*' and '?' wildcards; "*.*" matches every name.
bool wildMatch(const QChar *p, const QChar *pe, const QChar *s, const QChar *se)
{
    const QChar *starP = nullptr, *starS = nullptr;
    while (s < se) {
        if (p < pe && (*p == QLatin1Char('?') || folded(*p) == folded(*s))) {
            ++p;
            ++s;
        } else if (p < pe && *p == QLatin1Char('*')) {
            starP = ++p;
            starS = s;
        } else if (starP) {
            p = starP;
            s = ++starS;
        } else {
            return false;
        }
    }
    while (p < pe && *p == QLatin1Char('*'))
        ++p;
    return p == pe;
}

QByteArray enc(const QString &s) { return pf::toHostName(s); }

bool isFat(int fd)
{
    struct statfs sf;
    return ::fstatfs(fd, &sf) == 0 && sf.f_type == MSDOS_SUPER_MAGIC;
}

// FAT hidden or system mark of an entry of an open folder.
bool fatHiddenOrSystem(int dirFd, const char *name)
{
    int fd = ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    __u32 attrs = 0;
    const bool marked = ::ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &attrs) == 0 && (attrs & (ATTR_HIDDEN | ATTR_SYS));
    ::close(fd);
    return marked;
}

// Where the folder part of a program path ends: 5 for "a:\x\y.jpg" (the
// length of "a:\x\"), 0 for a bare name.
qsizetype folderEnd(const QString &path)
{
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        const QChar c = path.at(i);
        if (c == QLatin1Char('\\') || c == QLatin1Char('/') || (i == 1 && c == QLatin1Char(':')))
            return i + 1;
    }
    return 0;
}

// The program path's folder and its last part: "a:\x\y.jpg" -> "a:\x\", "y.jpg".
void splitFolder(const QString &path, QString &folder, QString &name)
{
    const qsizetype cut = folderEnd(path);
    folder = path.left(cut);
    name = path.mid(cut);
}

struct Listing {
    QStringList names;
    int error = 0;  // errno of opening the folder
};

// Calls take(name, hidden) for each regular file (not a link) of a host
// folder whose name matches the pattern, in folder order, while it returns
// true. Hidden ones (a name starting with '.', or the FAT hidden or system
// mark) only `withHidden`. Returns 0 or the errno of opening the folder.
template <typename Take>
int scanFolder(const QString &hostFolder, const QString &pattern, bool withHidden, Take take)
{
    DIR *d = ::opendir(enc(hostFolder).constData());
    if (!d)
        return errno;
    const int dfd = ::dirfd(d);
    const bool fat = isFat(dfd);
    const bool all = pattern == QLatin1String("*.*") || pattern == QLatin1String("*");
    while (dirent *e = ::readdir(d)) {
        const char *n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        const bool dotHidden = n[0] == '.';
        if (dotHidden && !withHidden)
            continue;
        const QString name = fromHostName(n);
        if (!all && !wildMatch(pattern.constData(), pattern.constData() + pattern.size(), name.constData(),
                               name.constData() + name.size()))
            continue;
        bool regular = e->d_type == DT_REG;
        if (e->d_type == DT_UNKNOWN) {
            struct stat st;
            regular = ::fstatat(dfd, n, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
        }
        if (!regular)
            continue;
        const bool hidden = dotHidden || (fat && fatHiddenOrSystem(dfd, n));
        if (hidden && !withHidden)
            continue;
        if (!take(name, hidden))
            break;
    }
    ::closedir(d);
    return 0;
}

// Plain files (or, with admitHiddenSystem, also hidden and system ones) of a
// host folder whose names match the pattern, in folder order.
Listing listHost(const QString &hostFolder, const QString &pattern, bool admitHiddenSystem, int limit = -1)
{
    Listing out;
    out.error = scanFolder(hostFolder, pattern, admitHiddenSystem, [&](const QString &name, bool) {
        out.names << name;
        return limit <= 0 || out.names.size() < limit;
    });
    return out;
}

// Unnamed files can be given a name through /proc (O_TMPFILE and linkat).
bool canLinkUnnamed()
{
    static const bool can = ::access("/proc/self/fd", X_OK) == 0;
    return can;
}

// Gives the unnamed file open as `fd` its name in the open folder; never
// replaces. Linking by descriptor needs a privilege; without it, through /proc.
int linkUnnamed(int fd, int dirFd, const char *name)
{
    static bool byDescriptor = true;
    if (byDescriptor) {
        if (::linkat(fd, "", dirFd, name, AT_EMPTY_PATH) == 0)
            return 0;
        if (errno != ENOENT && errno != EPERM)
            return -1;
    }
    char proc[64];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    const int rc = ::linkat(AT_FDCWD, proc, dirFd, name, AT_SYMLINK_FOLLOW);
    if (rc == 0)
        byDescriptor = false;
    return rc;
}

// A cheap clock for how long ago something was seen, in milliseconds.
qint64 coarseMs()
{
    struct timespec t;
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &t);
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// Copies up to this size are written under their own name (see copyFile).
constexpr qint64 kWrittenInPlaceAtMost = 1 << 20;

// Removes the file made for a copy that failed, unless its name meanwhile
// leads to another file.
void removeOwn(int dirFd, const char *name, int fd)
{
    struct stat mine, there;
    if (::fstat(fd, &mine) == 0 && ::fstatat(dirFd, name, &there, AT_SYMLINK_NOFOLLOW) == 0
        && mine.st_ino == there.st_ino && mine.st_dev == there.st_dev)
        ::unlinkat(dirFd, name, 0);
}

// Renames the complete temporary copy to its name, replacing only in
// Replace mode. Returns 0 or the errno.
int renameIntoPlace(int dirFd, const char *tmp, const char *name, CopyMode mode)
{
    if (mode == CopyMode::Replace)
        return ::renameat(dirFd, tmp, dirFd, name) == 0 ? 0 : errno;
    if (::renameat2(dirFd, tmp, dirFd, name, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // No atomic rename without replace here: a hard link never replaces.
    if (::linkat(dirFd, tmp, dirFd, name, 0) == 0) {
        ::unlinkat(dirFd, tmp, 0);
        return 0;
    }
    if (errno != EPERM && errno != EOPNOTSUPP)
        return errno;
    struct stat exist;
    if (::fstatat(dirFd, name, &exist, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return ::renameat(dirFd, tmp, dirFd, name) == 0 ? 0 : errno;
}

// A file's modification time as a local date and time. The time zone is
// read when a batch begins, not for every file.
QDateTime localDateTime(const struct timespec &when)
{
    const time_t secs = when.tv_sec;
    struct tm tm;
    if (!::localtime_r(&secs, &tm))
        return QDateTime::fromSecsSinceEpoch(secs, Qt::LocalTime);
    return QDateTime(QDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday),
                     QTime(tm.tm_hour, tm.tm_min, std::min(tm.tm_sec, 59)), Qt::OffsetFromUTC, int(tm.tm_gmtoff));
}

// For a pattern that is '*' and a plain ending ("*.jpg"), that ending; else null.
QStringView endingOnly(const QString &pattern)
{
    if (!pattern.startsWith(QLatin1Char('*')))
        return {};
    const QStringView tail = QStringView(pattern).mid(1);
    for (const QChar c : tail)
        if (c == QLatin1Char('*') || c == QLatin1Char('?'))
            return {};
    return tail.isNull() ? QStringView(u"") : tail;
}

FileId idOf(const struct stat &st)
{
    return FileId{quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
                  qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

PlatformError listError(int err, const QString &folder)
{
    return errorFromErrno(err, folder, /*pathPart=*/true);
}

}  // namespace

struct FileSystem::Place {
    int dirFd = -1;
    bool owned = false;          // the folder was opened for this place alone
    QString hostFolder;          // without a trailing '/' (but "/" for the root)
    QString name;                // as found in the folder, or as written when absent
    QByteArray encoded;          // the name for the system calls
    bool listed = false;         // the folder's whole listing was looked in ...
    bool present = false;        // ... and had the name
    DriveMap::FolderStamp stamp; // the folder's stamp at that look
    int held = -1;               // the batch's held folder, by index

    Place() = default;
    Place(const Place &) = delete;
    Place &operator=(const Place &) = delete;
    ~Place()
    {
        if (owned && dirFd >= 0)
            ::close(dirFd);
    }
};

struct FileSystem::BatchState {
    struct Folder {
        QString program;  // "C:\Pics\"
        QString host;
        int fd;
        DriveMap::FolderStamp stamp;  // as last seen ...
        qint64 seenMs = -1;           // ... at this time
    };
    // A folder's stamp is taken again when the last look is older than this:
    // a run of copies does not ask for it before each one.
    static constexpr qint64 kStampTrustedMs = 20;
    std::vector<Folder> folders;
    QString sourcePath;  // the file last dated, held open for its copy
    int sourceFd = -1;
    struct stat sourceStat;     // as it was dated ...
    qint64 sourceSeenMs = -1;   // ... at this time
    // The files of the folder listed last, while it stays unchanged: several
    // lists of one folder read it once.
    struct Files {
        QString host;
        DriveMap::FolderStamp stamp;
        QList<std::pair<QString, bool>> files;  // name, hidden
    } listed;
    // The last name looked up in a held folder, as found: a copy right after
    // its clash test finds it again without looking.
    struct Lookup {
        QString path;
        int held = -1;
        DriveMap::FolderStamp stamp;
        QString name;
        QByteArray encoded;
        bool listed = false, present = false;
    } looked;

    void dropSource()
    {
        if (sourceFd >= 0)
            ::close(sourceFd);
        sourceFd = -1;
        sourcePath.clear();
    }
    ~BatchState()
    {
        dropSource();
        for (const Folder &f : folders)
            ::close(f.fd);
    }
};

FileSystem::Batch::Batch(FileSystem &fs) : m_fs(fs)
{
    if (m_fs.m_batchDepth++ == 0) {
        ::tzset();  // the time zone as it is now, for every date of the batch
        m_fs.m_batch = std::make_unique<BatchState>();
    }
}

FileSystem::Batch::~Batch()
{
    if (--m_fs.m_batchDepth == 0)
        m_fs.m_batch.reset();
}

Status FileSystem::locate(const QString &path, Place &place, bool pathMissing, bool lookUp)
{
    const BatchState::Folder *held = nullptr;
    QString name;
    const qsizetype cut = m_batch ? folderEnd(path) : 0;
    if (m_batch && cut > 0 && cut < path.size()) {
        const QStringView folderPart = QStringView(path).left(cut);
        name = path.mid(cut);
        for (const BatchState::Folder &f : m_batch->folders) {
            if (f.program == folderPart) {
                held = &f;
                break;
            }
        }
        if (!held) {
            const QString folder = folderPart.toString();
            if (Result<QString> host = m_drives.toHost(folder)) {
                const int fd = ::open(enc(*host).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                if (fd >= 0) {
                    QString key = *host;
                    while (key.size() > 1 && key.endsWith(QLatin1Char('/')))
                        key.chop(1);
                    m_batch->folders.push_back({folder, key, fd, {}, -1});
                    held = &m_batch->folders.back();
                }
            }
        }
    }
    if (held && !lookUp) {
        place.dirFd = held->fd;
        place.hostFolder = held->host;
        place.name = name;
        place.encoded = enc(name);
        return {};
    }
    if (held) {
        place.dirFd = held->fd;
        place.hostFolder = held->host;
        place.held = int(held - m_batch->folders.data());
        BatchState::Folder &f = m_batch->folders[size_t(place.held)];
        const qint64 nowMs = coarseMs();
        if (f.seenMs < 0 || nowMs - f.seenMs > BatchState::kStampTrustedMs) {
            f.stamp = DriveMap::stamp(f.fd);
            f.seenMs = nowMs;
        }
        place.stamp = f.stamp;
        BatchState::Lookup &last = m_batch->looked;
        if (last.held == place.held && last.stamp == f.stamp && last.path == path) {
            place.name = last.name;
            place.encoded = last.encoded;
            place.listed = last.listed;
            place.present = last.present;
            return {};
        }
        const QString found = m_drives.entryIn(held->host, name, place.stamp);
        place.listed = m_drives.remembers(held->host);
        place.present = !found.isEmpty();
        place.name = name;
        if (place.present && found != name) {
            // Another letter case; the name as written wins when it is there too.
            struct stat st;
            if (::fstatat(held->fd, enc(name).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
                place.name = found;
        }
        place.encoded = enc(place.name);
        last = {path, place.held, f.stamp, place.name, place.encoded, place.listed, place.present};
        return {};
    }

    Result<QString> host = m_drives.toHost(path);
    if (!host)
        return host.error();
    const qsizetype slash = host->lastIndexOf(QLatin1Char('/'));
    place.hostFolder = slash > 0 ? host->left(slash) : QStringLiteral("/");
    place.name = host->mid(slash + 1);
    place.encoded = enc(place.name);
    place.dirFd = ::open(enc(place.hostFolder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (place.dirFd < 0)
        return errorFromErrno(errno, path, pathMissing && (errno == ENOENT || errno == ENOTDIR));
    place.owned = true;
    return {};
}

int FileSystem::openForReading(const QString &path, Place &place, Status &failure)
{
    // The name as written first: it is most often right.
    if (failure = locate(path, place, false, false); !failure)
        return -1;
    // Never waiting on a pipe or a device: opened without blocking, and kept
    // only when it is a regular file.
    const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
    int fd = ::openat(place.dirFd, place.encoded.constData(), flags);
    if (fd < 0 && errno == ENOENT && !place.owned) {
        const QString found = m_drives.entryIn(place.hostFolder, place.name, DriveMap::stamp(place.dirFd));
        if (!found.isEmpty() && found != place.name) {
            place.name = found;
            place.encoded = enc(found);
            fd = ::openat(place.dirFd, place.encoded.constData(), flags);
        } else {
            errno = ENOENT;
        }
    }
    if (fd < 0) {
        failure = sourceError(errno, path);
        return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISREG(st.st_mode) ? errno : EINVAL;
        ::close(fd);
        failure = sourceError(err, path);
        return -1;
    }
    return fd;
}

bool isSingleName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name)
        if (c == QLatin1Char('\\') || c == QLatin1Char('/') || c.isNull())
            return false;
    return true;
}

bool matchesPattern(const QString &name, const QString &pattern)
{
    if (pattern == QLatin1String("*.*") || pattern == QLatin1String("*"))
        return true;
    // "*.jpg" and the like: the end of the name, without regard to case.
    if (const QStringView tail = endingOnly(pattern); !tail.isNull()) {
        if (name.size() < tail.size())
            return false;
        const QChar *n = name.constData() + (name.size() - tail.size());
        for (qsizetype i = 0; i < tail.size(); ++i)
            if (folded(n[i]) != folded(tail[i]))
                return false;
        return true;
    }
    return wildMatch(pattern.constData(), pattern.constData() + pattern.size(), name.constData(),
                     name.constData() + name.size());
}

FileSystem::FileSystem(DriveMap drives) : m_drives(std::move(drives)) {}

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
        DIR *d = ::opendir(enc(*host).constData());
        if (!d)
            return QString();
        ::closedir(d);
        return QStringLiteral(".");
    }
    Listing l = listHost(*host, name, false, 1);
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
    Listing l;
    if (m_batch) {
        BatchState::Files &known = m_batch->listed;
        const DriveMap::FolderStamp now = DriveMap::stamp(*host);
        if (known.host != *host || known.stamp != now || now.sec < 0) {
            known = {*host, now, {}};
            if (const int err = scanFolder(*host, QStringLiteral("*"), true, [&](const QString &name, bool hidden) {
                    known.files.append({name, hidden});
                    return true;
                })) {
                known = {};
                return listError(err, folder);
            }
        }
        for (const auto &[name, hidden] : std::as_const(known.files))
            if ((admitHiddenSystem || !hidden) && matchesPattern(name, pattern))
                l.names << name;
    } else {
        l = listHost(*host, pattern, admitHiddenSystem);
        if (l.error)
            return listError(l.error, folder);
    }
    // By name without regard to case; names equal so by their exact form.
    std::vector<std::pair<QString, QString>> keyed;
    keyed.reserve(size_t(l.names.size()));
    for (QString &n : l.names)
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
    DIR *d = ::opendir(enc(*host).constData());
    if (!d)
        return listError(errno, folder);
    QStringList names;
    while (dirent *e = ::readdir(d)) {
        if (e->d_name[0] == '.' || e->d_type == DT_REG)
            continue;  // hidden, ".", "..", or a plain file
        const QString name = fromHostName(e->d_name);
        if (!matchesPattern(name, pattern))
            continue;
        struct stat st;
        if (e->d_type == DT_UNKNOWN && ::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            continue;
        names << name;
    }
    ::closedir(d);
    names.sort(Qt::CaseInsensitive);
    return names;
}

Status FileSystem::copyFile(const QString &source, const QString &destination, CopyMode mode,
                            const CopyProgress &progress)
{
    // The source: the file just dated, when it is this one, else opened now.
    int in = -1;
    struct stat st;
    bool known = false;  // st holds the source as it is
    if (m_batch && m_batch->sourceFd >= 0 && m_batch->sourcePath == source) {
        in = m_batch->sourceFd;
        m_batch->sourceFd = -1;
        m_batch->sourcePath.clear();
        // Dated moments ago: as good as asking again.
        st = m_batch->sourceStat;
        known = coarseMs() - m_batch->sourceSeenMs <= BatchState::kStampTrustedMs;
    } else {
        Place from;
        Status failure;
        in = openForReading(source, from, failure);
        if (in < 0)
            return failure;
    }
    const int statErr = !known && ::fstat(in, &st) != 0 ? errno : 0;
    if (statErr != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return sourceError(statErr != 0 ? statErr : EINVAL, source);
    }

    Place to;
    if (Status s = locate(destination, to, true); !s) {
        ::close(in);
        return s;
    }
    // The remembered listing of the folder learns of the new entry.
    const bool noting = m_drives.remembers(to.hostFolder);
    const DriveMap::FolderStamp folderBefore = !noting ? DriveMap::FolderStamp()
        : to.stamp.sec >= 0                          ? to.stamp
                                                     : DriveMap::stamp(to.dirFd);

    // A new copy never replaces anything. A small one is written under its
    // name, made for it alone (it is written in one go, so no half file
    // stands there for longer than that). A larger one is written to a file
    // without a name in the destination folder and linked under its name
    // when complete. Where the file system cannot do that, and for a copy
    // that replaces, to a hidden temporary name that is renamed into place.
    enum class Way { Direct, Unnamed, Temporary };
    Way way = Way::Temporary;
    const char *name = to.encoded.constData();
    QByteArray tmp;
    int out = -1;
    if (mode == CopyMode::NoReplace && st.st_size <= kWrittenInPlaceAtMost) {
        way = Way::Direct;
        out = ::openat(to.dirFd, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } else if (mode == CopyMode::NoReplace && canLinkUnnamed()) {
        out = ::openat(to.dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (out >= 0)
            way = Way::Unnamed;
    }
    for (int attempt = 0; way == Way::Temporary && attempt < 100 && out < 0; ++attempt) {
        tmp = QByteArray(".pixferry-") + QByteArray::number(QRandomGenerator::global()->generate(), 16) + ".part";
        out = ::openat(to.dirFd, tmp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (out < 0 && errno != EEXIST)
            break;
    }
    if (out < 0) {
        const int err = errno;
        ::close(in);
        return errorFromErrno(err, destination, err == ENOENT);
    }

    auto fail = [&](const PlatformError &error) -> Status {
        ::close(in);
        if (way == Way::Direct)
            removeOwn(to.dirFd, name, out);
        ::close(out);
        if (way == Way::Temporary)
            ::unlinkat(to.dirFd, tmp.constData(), 0);
        return error;
    };

    const qint64 total = st.st_size;
    qint64 done = 0;
    bool useRange = true;
    QByteArray buffer;
    while (true) {
        ssize_t n = -1;
        if (useRange) {
            n = ::copy_file_range(in, nullptr, out, nullptr, 8 << 20, 0);
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP
                          || errno == EBADF)) {
                useRange = false;
                continue;
            }
        } else {
            if (buffer.isEmpty())
                buffer.resize(1 << 20);
            n = ::read(in, buffer.data(), buffer.size());
            if (n > 0) {
                ssize_t written = 0;
                while (written < n) {
                    const ssize_t w = ::write(out, buffer.constData() + written, n - written);
                    if (w < 0) {
                        if (errno == EINTR)
                            continue;
                        return fail(errorFromErrno(errno, destination));
                    }
                    written += w;
                }
            }
        }
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            // A read error is the source's; a write error the destination's.
            const bool writeSide = err == ENOSPC || err == EDQUOT || err == EFBIG || err == EROFS;
            return fail(writeSide ? errorFromErrno(err, destination) : sourceError(err, source));
        }
        if (n == 0)
            break;
        done += n;
        if (progress)
            progress(done, total);
        if (done >= total)
            break;  // all of it: no further call just to meet the end
    }
    // A source written to while it was copied (grown, cut short or
    // rewritten) gave no good copy.
    struct stat after;
    if (done != total || ::fstat(in, &after) != 0 || after.st_size != st.st_size
        || after.st_mtim.tv_sec != st.st_mtim.tv_sec || after.st_mtim.tv_nsec != st.st_mtim.tv_nsec)
        return fail(sourceError(ErrPathFileAccess, QStringLiteral("changed while it was copied"), source));
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(out, times);
    ::close(in);

    if (way == Way::Unnamed) {
        const int rc = linkUnnamed(out, to.dirFd, name);
        const int linkErr = errno;
        const int closed = ::close(out);
        const int closeErr = errno;
        if (rc != 0)
            return errorFromErrno(linkErr, destination);
        if (closed != 0) {
            ::unlinkat(to.dirFd, name, 0);
            return errorFromErrno(closeErr, destination);
        }
    } else if (::close(out) != 0) {
        const int err = errno;
        ::unlinkat(to.dirFd, way == Way::Direct ? name : tmp.constData(), 0);
        return errorFromErrno(err, destination);
    } else if (way == Way::Temporary) {
        if (const int err = renameIntoPlace(to.dirFd, tmp.constData(), name, mode); err != 0) {
            ::unlinkat(to.dirFd, tmp.constData(), 0);
            return errorFromErrno(err, destination);
        }
    }
    if (noting) {
        const DriveMap::FolderStamp after = DriveMap::stamp(to.dirFd);
        m_drives.noteAdded(to.hostFolder, folderBefore, to.name, after);
        if (to.held >= 0) {
            BatchState::Folder &f = m_batch->folders[size_t(to.held)];
            f.stamp = after;
            f.seenMs = coarseMs();
        }
    }
    return {};
}

Result<QList<FileFailure>> FileSystem::deleteFiles(const QString &pattern)
{
    QString folder, name;
    splitFolder(pattern, folder, name);
    Result<QString> host = m_drives.toHost(folder.isEmpty() ? QStringLiteral("\\") : folder);
    if (!host)
        return host.error();
    Listing l = listHost(*host, name.isEmpty() ? QStringLiteral("*.*") : name, false);
    if (l.error)
        return listError(l.error, folder);
    QList<FileFailure> failures;
    for (const QString &n : std::as_const(l.names)) {
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
    if (expected && !(*expected == idOf(st)))
        return makeError(ErrPathFileAccess, QStringLiteral("It changed after its copy was checked"), path);
    if (::unlink(enc(*host).constData()) != 0)
        return errorFromErrno(errno, path);
    return {};
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
    for (;;) {
        if (char *r = ::realpath(enc(at).constData(), nullptr)) {
            real = r;
            ::free(r);
            break;
        }
        if (at == QLatin1String("/") || at.isEmpty())
            return false;
        at = QFileInfo(at).path();
    }
    for (;;) {
        struct stat st;
        if (::stat(real.constData(), &st) == 0 && st.st_dev == root.st_dev && st.st_ino == root.st_ino)
            return true;
        if (real == "/" || real.isEmpty())
            return false;
        const qsizetype slash = real.lastIndexOf('/');
        real = slash > 0 ? real.left(slash) : QByteArray("/");
    }
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
    const int fd = ::open(h.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        if (isFat(fd)) {
            __u32 attrs = 0;
            if (::ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &attrs) == 0) {
                attrs &= ~(ATTR_RO | ATTR_HIDDEN | ATTR_SYS | ATTR_ARCH);
                ::ioctl(fd, FAT_IOCTL_SET_ATTRIBUTES, &attrs);
            }
        }
        ::close(fd);
    }
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
        Status failure;
        const int fd = openForReading(path, p, failure);
        if (fd < 0)
            return failure.error();
        if (::fstat(fd, &st) != 0) {
            const int err = errno;
            ::close(fd);
            return errorFromErrno(err, path);
        }
        m_batch->dropSource();
        m_batch->sourceFd = fd;
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
    ::tzset();
    return localDateTime(st.st_mtim);
}

}  // namespace pf
