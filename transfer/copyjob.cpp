#include "transfer/copyjob.h"

#include "platform/fd.h"
#include "platform/hostnames.h"

#include <QFile>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Names tried after the first before a copy gives up; each adds an "a", so
// the name grows too long for any file system long before this.
constexpr int kMaxNameTries = 1000;

QByteArray enc(const QString &s) { return pf::toHostName(s); }

QString errnoText(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

using pf::Fd;

// Reads up to `size` bytes, fewer only at the end of the file.
ssize_t readFull(int fd, char *buffer, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, buffer + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        done += size_t(n);
    }
    return ssize_t(done);
}

// Opens a file to read it, without waiting on a pipe or a device, and
// only when it is a regular file: -1 and errno (EINVAL for another kind).
int openRegular(const QString &host, struct stat &st)
{
    const int fd = ::open(enc(host).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISREG(st.st_mode) ? errno : EINVAL;
        ::close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

const QString kItself = QStringLiteral("it is the original itself, not a copy");

// Why the copy does not match its source; empty when it does. `sourceId`:
// the source as it was read.
QString compareWithSource(const QString &copyHost, const QString &sourceHost, std::vector<char> &a,
                          std::vector<char> &b, const std::function<void()> &between, pf::FileId &sourceId)
{
    struct stat sc, ss;
    Fd copy(openRegular(copyHost, sc));
    if (!copy.ok())
        return errno == ENOENT ? QStringLiteral("missing")
            : errno == EINVAL  ? QStringLiteral("not a regular file")
                               : QStringLiteral("cannot be read: ") + errnoText(errno);
    // The copy was written to disk before: read what is stored, not memory.
    ::posix_fadvise(copy.get(), 0, 0, POSIX_FADV_DONTNEED);
    ::posix_fadvise(copy.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    Fd source(openRegular(sourceHost, ss));
    if (!source.ok())
        return errno == EINVAL ? QStringLiteral("its original is not a regular file")
                               : QStringLiteral("its original cannot be read: ") + errnoText(errno);
    ::posix_fadvise(source.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    sourceId = pf::fileIdOf(ss);
    if (sc.st_dev == ss.st_dev && sc.st_ino == ss.st_ino)
        return kItself;
    if (sc.st_size != ss.st_size)
        return QStringLiteral("different length");
    for (;;) {
        const ssize_t nc = readFull(copy.get(), a.data(), a.size());
        if (nc < 0)
            return QStringLiteral("cannot be read: ") + errnoText(errno);
        const ssize_t ns = readFull(source.get(), b.data(), b.size());
        if (ns < 0)
            return QStringLiteral("its original cannot be read: ") + errnoText(errno);
        if (nc != ns)
            return QStringLiteral("different length");
        if (nc == 0)
            return {};
        if (std::memcmp(a.data(), b.data(), size_t(nc)) != 0)
            return QStringLiteral("different content");
        if (between)
            between();
    }
}

// Whether the entry at `path` is there and is no file (a folder, most
// likely). Asked of the disk itself, not of any remembered listing.
bool takenByNonFile(const pf::FileSystem &fs, const QString &path)
{
    const pf::Result<QString> host = fs.hostPath(path);
    struct stat st;
    return host && ::lstat(enc(*host).constData(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode);
}

}  // namespace

CopyJob::CopyJob(pf::FileSystem &fs, pf::CopyProgress progress) : m_fs(fs), m_progress(std::move(progress)) {}

pf::Result<QString> CopyJob::copyToFreeName(const QString &source, const QString &folder, const NameSequence &names,
                                            int first, bool firstTested)
{
    return toFreeName(folder, names, first, firstTested, [&](const QString &target) {
        const pf::Status s = m_fs.copyFile(source, target, pf::CopyMode::NoReplace, m_progress);
        if (s)
            record(source, target, false);
        return s;
    });
}

pf::Result<CopyJob::Rescued> CopyJob::rescueToFreeName(const QString &source, const QString &folder,
                                                       const NameSequence &names)
{
    qint64 unreadable = 0;
    const pf::Result<QString> name = toFreeName(folder, names, 0, false, [&](const QString &target) -> pf::Status {
        const pf::Result<qint64> kept = m_fs.rescueFile(source, target, m_progress);
        if (!kept)
            return kept.error();
        unreadable = *kept;
        return {};
    });
    if (!name)
        return name.error();
    return Rescued{*name, unreadable};
}

pf::Result<QString> CopyJob::toFreeName(const QString &folder, const NameSequence &names, int first, bool firstTested,
                                        const std::function<pf::Status(const QString &target)> &write)
{
    for (int k = first; k < first + kMaxNameTries; ++k) {
        const QString name = names.at(k);
        const QString target = folder + name;
        if (!(k == first && firstTested) && m_fs.fileExists(target))
            continue;
        const pf::Status s = write(target);
        if (s)
            return name;
        if (s.error().number != pf::ErrFileExists)
            return s.error();
        // The name the file is meant to have, taken by a folder (or anything
        // else that is not a file): said, not passed over in silence.
        if (k == 0 && takenByNonFile(m_fs, target))
            return pf::makeError(pf::ErrFileExists,
                                 QStringLiteral("A folder (or something else that is not a file) is already named %1").arg(name),
                                 target);
        // Taken since the test by another file: keep it, try the next name.
    }
    return pf::makeError(pf::ErrFileExists, QStringLiteral("No free name found"), folder + names.at(first));
}

pf::Status CopyJob::copyReplacing(const QString &source, const QString &target)
{
    const pf::Status s = m_fs.copyFile(source, target, pf::CopyMode::Replace, m_progress);
    if (s)
        record(source, target, true);
    return s;
}

void CopyJob::noteSkipped(const QString &source, const QString &existing)
{
    m_counterparts.append(Counterpart{source, existing, QStringLiteral("skipped, differs from the existing image"),
                                      QStringLiteral("skipped, the existing image is this very file, not a copy")});
}

bool CopyJob::madeHere(const QString &path)
{
    index();
    return m_byCopy.contains(pf::foldedName(path));
}

// Copies are found by their path without regard to case, as names are; the
// index is made when first needed (most runs never replace anything).
void CopyJob::index()
{
    if (m_indexed)
        return;
    for (qsizetype i = 0; i < m_copies.size(); ++i)
        m_byCopy.insert(pf::foldedName(m_copies.at(i).copy), i);
    m_indexed = true;
}

void CopyJob::record(const QString &source, const QString &copy, bool replacing)
{
    // A new copy has a name no earlier copy still holds (it was free). One
    // that replaces may take the place of an earlier copy, whose source then
    // has no copy of its own any more.
    if (replacing)
        index();
    if (!m_indexed) {
        m_copies.append(CopiedFile{source, copy});
        return;
    }
    const QString key = pf::foldedName(copy);
    const auto it = m_byCopy.constFind(key);
    if (it != m_byCopy.constEnd()) {
        CopiedFile &earlier = m_copies[*it];
        const QString by = source.mid(source.lastIndexOf(QLatin1Char('\\')) + 1);
        const QString replaced = QStringLiteral("its copy was replaced by ") + by;
        m_counterparts.append(Counterpart{earlier.source, copy, replaced, replaced});
        earlier = CopiedFile{source, copy};
        return;
    }
    m_byCopy.insert(key, m_copies.size());
    m_copies.append(CopiedFile{source, copy});
}

QList<CopyCheck> checkCopies(pf::FileSystem &fs, const QList<CopiedFile> &copies,
                             const std::function<void(qsizetype)> &progress)
{
    // Host paths of both sides; empty when the drive is gone.
    QStringList copyHost, sourceHost;
    for (const CopiedFile &c : copies) {
        copyHost << fs.hostPath(c.copy).valueOr(QString());
        sourceHost << fs.hostPath(c.source).valueOr(QString());
    }

    // One sync of each file system that holds copies, not one per file.
    QHash<quint64, int> syncError;  // by device: 0 or the errno of its sync
    QSet<QString> folders;
    for (const QString &host : std::as_const(copyHost))
        folders.insert(host.left(host.lastIndexOf(QLatin1Char('/')) + 1));
    for (const QString &folder : std::as_const(folders)) {
        Fd fd(::open(enc(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        struct stat st;
        if (!fd.ok() || ::fstat(fd.get(), &st) != 0 || syncError.contains(quint64(st.st_dev)))
            continue;
        syncError.insert(quint64(st.st_dev), ::syncfs(fd.get()) == 0 ? 0 : errno);
    }

    QList<CopyCheck> checks;
    checks.reserve(copies.size());
    std::vector<char> a(4 << 20), b(4 << 20);
    for (qsizetype i = 0; i < copies.size(); ++i) {
        if (progress)
            progress(i);
        CopyCheck check{copies.at(i).source, copies.at(i).copy, {}, {}};
        struct stat st;
        if (::stat(enc(copyHost.at(i)).constData(), &st) == 0 && syncError.value(quint64(st.st_dev)) != 0)
            check.mismatch = QStringLiteral("not written to disk: ") + errnoText(syncError.value(quint64(st.st_dev)));
        else
            check.mismatch = compareWithSource(copyHost.at(i), sourceHost.at(i), a, b,
                                               progress ? std::function<void()>([&] { progress(i); }) : nullptr,
                                               check.sourceId);
        check.itself = check.mismatch == kItself;
        checks.append(std::move(check));
    }
    return checks;
}
