#include "transfer/copyjob.h"

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

QByteArray enc(const QString &s) { return QFile::encodeName(s); }

QString errnoText(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }
    bool ok() const { return m_fd >= 0; }

private:
    int m_fd;
};

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

// Why the copy does not match its source; empty when it does.
QString compareWithSource(const QString &copyHost, const QString &sourceHost, std::vector<char> &a,
                          std::vector<char> &b, const std::function<void()> &between)
{
    Fd copy(::open(enc(copyHost).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!copy.ok())
        return errno == ENOENT ? QStringLiteral("missing") : QStringLiteral("cannot be read: ") + errnoText(errno);
    // The copy was written to disk before: read what is stored, not memory.
    ::posix_fadvise(copy.get(), 0, 0, POSIX_FADV_DONTNEED);
    ::posix_fadvise(copy.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    Fd source(::open(enc(sourceHost).constData(), O_RDONLY | O_CLOEXEC));
    if (!source.ok())
        return QStringLiteral("its original cannot be read: ") + errnoText(errno);
    ::posix_fadvise(source.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    struct stat sc, ss;
    if (::fstat(copy.get(), &sc) != 0 || ::fstat(source.get(), &ss) != 0)
        return QStringLiteral("cannot be read: ") + errnoText(errno);
    if (!S_ISREG(sc.st_mode))
        return QStringLiteral("missing");
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

}  // namespace

CopyJob::CopyJob(pf::FileSystem &fs, pf::CopyProgress progress) : m_fs(fs), m_progress(std::move(progress)) {}

pf::Result<QString> CopyJob::copyToFreeName(const QString &source, const QString &folder, const NameSequence &names,
                                            int first, bool firstTested)
{
    for (int k = first; k < first + kMaxNameTries; ++k) {
        const QString name = names.at(k);
        const QString target = folder + name;
        if (!(k == first && firstTested) && m_fs.fileExists(target))
            continue;
        const pf::Status s = m_fs.copyFile(source, target, pf::CopyMode::NoReplace, m_progress);
        if (s) {
            record(source, target, false);
            return name;
        }
        // Taken since the test (or by a folder): keep it, try the next name.
        if (s.error().number != pf::ErrFileExists)
            return s.error();
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

void CopyJob::record(const QString &source, const QString &copy, bool replacing)
{
    // A new copy has a name no earlier copy still holds (it was free). One
    // that replaces may take the place of an earlier copy: found by its name
    // without regard to case, as names are, from the index made for that.
    if (replacing && m_byCopy.isEmpty()) {
        for (qsizetype i = 0; i < m_copies.size(); ++i)
            m_byCopy.insert(pf::foldedName(m_copies.at(i).copy), i);
    }
    if (m_byCopy.isEmpty() && !replacing) {
        m_copies.append(CopiedFile{source, copy});
        return;
    }
    const QString key = pf::foldedName(copy);
    const auto it = m_byCopy.constFind(key);
    if (it != m_byCopy.constEnd()) {
        m_copies[*it] = CopiedFile{source, copy};
        return;
    }
    m_byCopy.insert(key, m_copies.size());
    m_copies.append(CopiedFile{source, copy});
}

QList<CopyMismatch> verifyCopies(pf::FileSystem &fs, const QList<CopiedFile> &copies,
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

    QList<CopyMismatch> mismatches;
    std::vector<char> a(4 << 20), b(4 << 20);
    for (qsizetype i = 0; i < copies.size(); ++i) {
        if (progress)
            progress(i);
        QString reason;
        struct stat st;
        if (::stat(enc(copyHost.at(i)).constData(), &st) == 0 && syncError.value(quint64(st.st_dev)) != 0)
            reason = QStringLiteral("not written to disk: ") + errnoText(syncError.value(quint64(st.st_dev)));
        else
            reason = compareWithSource(copyHost.at(i), sourceHost.at(i), a, b,
                                       progress ? std::function<void()>([&] { progress(i); }) : nullptr);
        if (!reason.isEmpty())
            mismatches.append({copies.at(i).copy, copies.at(i).source, reason});
    }
    return mismatches;
}
