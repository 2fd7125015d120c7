#include "platform/files.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
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

// Case-insensitive match of '*' and '?' wildcards; "*.*" matches every name.
bool wildMatch(const QChar *p, const QChar *pe, const QChar *s, const QChar *se)
{
    const QChar *starP = nullptr, *starS = nullptr;
    while (s < se) {
        if (p < pe && (*p == QLatin1Char('?') || p->toCaseFolded() == s->toCaseFolded())) {
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

QByteArray enc(const QString &s) { return QFile::encodeName(s); }

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

// The program path's folder and its last part: "a:\x\y.jpg" -> "a:\x\", "y.jpg".
void splitFolder(const QString &path, QString &folder, QString &name)
{
    int cut = -1;
    for (int i = path.size() - 1; i >= 0; --i) {
        const QChar c = path.at(i);
        if (c == QLatin1Char('\\') || c == QLatin1Char('/') || (i == 1 && c == QLatin1Char(':'))) {
            cut = i;
            break;
        }
    }
    folder = path.left(cut + 1);
    name = path.mid(cut + 1);
}

struct Listing {
    QStringList names;
    int error = 0;  // errno of opening the folder
};

// Plain files (or, with admitHiddenSystem, also hidden and system ones) of a
// host folder whose names match the pattern, in folder order.
Listing listHost(const QString &hostFolder, const QString &pattern, bool admitHiddenSystem, int limit = -1)
{
    Listing out;
    DIR *d = ::opendir(enc(hostFolder).constData());
    if (!d) {
        out.error = errno;
        return out;
    }
    const int dfd = ::dirfd(d);
    const bool fat = isFat(dfd);
    const bool all = pattern == QLatin1String("*.*") || pattern == QLatin1String("*");
    while (dirent *e = ::readdir(d)) {
        const char *n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        const bool dotHidden = n[0] == '.';
        if (dotHidden && !admitHiddenSystem)
            continue;
        const QString name = QFile::decodeName(n);
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
        if (fat && !admitHiddenSystem && fatHiddenOrSystem(dfd, n))
            continue;
        out.names << name;
        if (limit > 0 && out.names.size() >= limit)
            break;
    }
    ::closedir(d);
    return out;
}

// Unnamed files can be given a name through /proc (O_TMPFILE and linkat).
bool canLinkUnnamed()
{
    static const bool can = ::access("/proc/self/fd", X_OK) == 0;
    return can;
}

PlatformError listError(int err, const QString &folder)
{
    return errorFromErrno(err, folder, /*pathPart=*/true);
}

}  // namespace

bool matchesPattern(const QString &name, const QString &pattern)
{
    if (pattern == QLatin1String("*.*") || pattern == QLatin1String("*"))
        return true;
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
    Listing l = listHost(*host, pattern, admitHiddenSystem);
    if (l.error)
        return listError(l.error, folder);
    std::sort(l.names.begin(), l.names.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return l.names;
}

Status FileSystem::copyFile(const QString &source, const QString &destination, CopyMode mode,
                            const CopyProgress &progress)
{
    Result<QString> src = m_drives.toHost(source);
    if (!src)
        return src.error();
    Result<QString> dst = m_drives.toHost(destination);
    if (!dst)
        return dst.error();

    int in = ::open(enc(*src).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return errorFromErrno(errno, source);
    struct stat st;
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = errno ? errno : EISDIR;
        ::close(in);
        return errorFromErrno(err, source);
    }

    // The copy is written to a file without a name in the destination folder
    // and linked under its final name when complete (the link never replaces
    // anything); where the file system cannot do that, to a hidden temporary
    // name beside it that is renamed into place.
    const int slash = dst->lastIndexOf(QLatin1Char('/'));
    const QString dstFolder = dst->left(slash + 1);
    const DriveMap::FolderStamp folderBefore = DriveMap::stamp(dstFolder);
    QString tmp;
    int out = -1;
    if (mode == CopyMode::NoReplace && canLinkUnnamed())
        out = ::open(enc(dstFolder).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    const bool unnamed = out >= 0;
    for (int attempt = 0; attempt < 100 && out < 0; ++attempt) {
        tmp = dstFolder + QStringLiteral(".pixferry-%1.part").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        out = ::open(enc(tmp).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (out < 0 && errno != EEXIST)
            break;
    }
    if (out < 0) {
        const int err = errno;
        ::close(in);
        return errorFromErrno(err, destination, err == ENOENT);
    }

    auto fail = [&](int err, const QString &path) -> Status {
        ::close(in);
        if (out >= 0)
            ::close(out);
        if (!unnamed)
            ::unlink(enc(tmp).constData());
        return errorFromErrno(err, path);
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
                        return fail(errno, destination);
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
            return fail(err, writeSide ? destination : source);
        }
        if (n == 0)
            break;
        done += n;
        if (progress)
            progress(done, total);
        if (done >= total)
            break;  // all of it: no further call just to meet the end
    }
    if (done != total) {
        // The source changed size under the copy (or was cut short): not a good copy.
        return fail(EIO, source);
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(out, times);
    ::close(in);
    in = -1;

    if (unnamed) {
        char proc[64];
        std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", out);
        const int rc = ::linkat(AT_FDCWD, proc, AT_FDCWD, enc(*dst).constData(), AT_SYMLINK_FOLLOW);
        const int linkErr = errno;
        const int closed = ::close(out);
        const int closeErr = errno;
        out = -1;
        if (rc != 0)
            return errorFromErrno(linkErr, destination);
        if (closed != 0) {
            ::unlink(enc(*dst).constData());
            return errorFromErrno(closeErr, destination);
        }
        m_drives.noteAdded(dstFolder, folderBefore, dst->mid(slash + 1));
        return {};
    }

    if (::close(out) != 0) {
        out = -1;
        const int err = errno;
        ::unlink(enc(tmp).constData());
        return errorFromErrno(err, destination);
    }
    out = -1;

    int rc = 0;
    if (mode == CopyMode::Replace) {
        rc = ::rename(enc(tmp).constData(), enc(*dst).constData());
    } else {
        rc = ::renameat2(AT_FDCWD, enc(tmp).constData(), AT_FDCWD, enc(*dst).constData(), RENAME_NOREPLACE);
        if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // No atomic rename without replace here: a hard link never replaces.
            rc = ::link(enc(tmp).constData(), enc(*dst).constData());
            if (rc == 0) {
                ::unlink(enc(tmp).constData());
            } else if (errno == EPERM || errno == EOPNOTSUPP) {
                struct stat exist;
                if (::lstat(enc(*dst).constData(), &exist) == 0) {
                    errno = EEXIST;
                    rc = -1;
                } else {
                    rc = ::rename(enc(tmp).constData(), enc(*dst).constData());
                }
            }
        }
    }
    if (rc != 0) {
        const int err = errno;
        ::unlink(enc(tmp).constData());
        return errorFromErrno(err, destination);
    }
    m_drives.noteAdded(dstFolder, folderBefore, dst->mid(slash + 1));
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
        const QString full = folder + n;
        if (Status s = deleteFile(full); !s)
            failures.append({full, s.error()});
    }
    return failures;
}

Status FileSystem::deleteFile(const QString &path)
{
    Result<QString> host = m_drives.toHost(path);
    if (!host)
        return host.error();
    struct stat st;
    if (::lstat(enc(*host).constData(), &st) != 0)
        return errorFromErrno(errno, path);
    if (S_ISDIR(st.st_mode))
        return makeError(ErrPathFileAccess, QStringLiteral("Is a folder"), path);
    if (::unlink(enc(*host).constData()) != 0)
        return errorFromErrno(errno, path);
    return {};
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
    const int fd = ::open(h.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
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
    Result<QString> host = m_drives.toHost(path);
    if (!host)
        return host.error();
    struct stat st;
    if (::stat(enc(*host).constData(), &st) != 0)
        return errorFromErrno(errno, path);
    return QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec, Qt::LocalTime);
}

}  // namespace pf
