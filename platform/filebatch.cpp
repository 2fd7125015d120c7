// Where a program path leads on the host (the open folder and the name in
// it), and the batch that holds folders and a source open for a run.

#include "platform/files_p.h"

#include "platform/filetime.h"

#include <cerrno>
#include <fcntl.h>

namespace pf {

qsizetype folderEnd(const QString &path)
{
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        const QChar c = path.at(i);
        if (c == QLatin1Char('\\') || c == QLatin1Char('/') || (i == 1 && c == QLatin1Char(':')))
            return i + 1;
    }
    return 0;
}

FileSystem::Batch::Batch(FileSystem &fs) : m_fs(fs)
{
    if (m_fs.m_batchDepth++ == 0) {
        readTimeZone();  // the time zone as it is now, for every date of the batch
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
                Fd fd(::open(enc(*host).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
                if (fd.ok()) {
                    QString key = *host;
                    while (key.size() > 1 && key.endsWith(QLatin1Char('/')))
                        key.chop(1);
                    m_batch->folders.push_back({folder, key, std::move(fd), {}, -1});
                    held = &m_batch->folders.back();
                }
            }
        }
    }
    if (held && !lookUp) {
        place.dirFd = held->fd.get();
        place.hostFolder = held->host;
        place.name = name;
        place.encoded = enc(name);
        return {};
    }
    if (held) {
        place.dirFd = held->fd.get();
        place.hostFolder = held->host;
        place.held = int(held - m_batch->folders.data());
        BatchState::Folder &f = m_batch->folders[size_t(place.held)];
        const qint64 nowMs = coarseMs();
        if (f.seenMs < 0 || nowMs - f.seenMs > BatchState::kStampTrustedMs) {
            f.stamp = DriveMap::stamp(f.fd.get());
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
            if (::fstatat(held->fd.get(), enc(name).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
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
    place.ownDir.reset(::open(enc(place.hostFolder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!place.ownDir.ok())
        return errorFromErrno(errno, path, pathMissing && (errno == ENOENT || errno == ENOTDIR));
    place.dirFd = place.ownDir.get();
    return {};
}

Result<Fd> FileSystem::openForReading(const QString &path, Place &place, struct stat &st)
{
    // The name as written first: it is most often right.
    if (Status s = locate(path, place, false, false); !s)
        return s.error();
    // Never waiting on a pipe or a device: opened without blocking, and kept
    // only when it is a regular file. Never through a link either: one
    // swapped in since the listing would read a file from anywhere (its
    // opening fails with ELOOP, reported as for any entry that is no file).
    const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    Fd fd(::openat(place.dirFd, place.encoded.constData(), flags));
    if (!fd.ok() && errno == ENOENT && !place.owned()) {
        const QString found = m_drives.entryIn(place.hostFolder, place.name, DriveMap::stamp(place.dirFd));
        if (!found.isEmpty() && found != place.name) {
            place.name = found;
            place.encoded = enc(found);
            fd.reset(::openat(place.dirFd, place.encoded.constData(), flags));
        } else {
            errno = ENOENT;
        }
    }
    if (!fd.ok())
        return sourceError(errno == ELOOP ? EINVAL : errno, path);
    if (::fstat(fd.get(), &st) != 0)
        return sourceError(errno, path);
    if (!S_ISREG(st.st_mode))
        return sourceError(EINVAL, path);
    return fd;
}

}  // namespace pf
