// The copy of one file: its source opened as a regular file (or taken from
// the batch, which held it open since it was dated), a new file written
// beside or under its name, the bytes copied, and the name given when all
// of it is there.

#include "platform/files_p.h"

#include "platform/filetime.h"
#include "platform/newfilewriter.h"
#include "platform/sourceread.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace pf {

namespace {

// How much one read asks for. A diskette drive reads 30-60 KB a second:
// small reads keep the progress moving and a stop prompt. Each read that
// came back fast doubles the next, so a fast disk is read in large pieces.
class ChunkSize {
public:
    explicit ChunkSize(qint64 largest) : m_largest(largest) {}
    size_t next() const { return size_t(m_size); }
    void limit(qint64 largest)
    {
        m_largest = largest;
        m_size = std::min(m_size, largest);
    }
    void took(qint64 ms)
    {
        if (ms < 10 && m_size < m_largest)
            m_size *= 2;
        else if (ms > 250 && m_size > kSmallest)
            m_size /= 2;
    }

private:
    static constexpr qint64 kSmallest = 16 << 10;
    qint64 m_largest;
    qint64 m_size = kSmallest;
};

// Copies the bytes of `in` (which stood as `st` when opened) to the
// writer's file: the system's copy between files, else reading and writing.
// A read that fails is tried again at the same place, by reading and
// writing (then a failure is surely the source's), kReadTries times in all;
// `troubled` is set when one did. Returns how many bytes were copied: fewer
// than the file's length only when it changed meanwhile.
Result<qint64> copyBytes(int in, const struct stat &st, NewFileWriter &out, const QString &source,
                         const CopyProgress &progress, bool &troubled)
{
    constexpr qint64 kBuffer = 1 << 20;
    const qint64 total = st.st_size;
    qint64 done = 0;
    bool useRange = true;
    ChunkSize chunk(8 << 20);
    QByteArray buffer;
    while (true) {
        ssize_t n = -1;
        int tries = kReadTries;
        const qint64 began = coarseMs();
        if (useRange) {
            loff_t from = done;
            n = ::copy_file_range(in, &from, out.fd(), nullptr, chunk.next(), 0);
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP
                          || errno == EBADF)) {
                useRange = false;
                chunk = ChunkSize(kBuffer);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && writeSideError(errno))
                return errorFromErrno(errno, out.path());
            if (n > 0 || (n == 0 && done >= total)) {
                tries = 0;  // copied, or the end
            } else {
                // Failed, or ended early: the other tries read and write.
                troubled = true;
                useRange = false;
                chunk.limit(kBuffer);
                tries = kReadTries - 1;
            }
        }
        if (tries > 0) {
            if (buffer.isEmpty())
                buffer.resize(kBuffer);
            n = readAt(in, buffer.data(), chunk.next(), done, st, tries, &troubled);
            if (n < 0)
                return readError(errno, source, done);
            if (n > 0)
                if (Status s = out.write(buffer.constData(), n); !s)
                    return s.error();
        }
        if (n == 0)
            break;
        chunk.took(coarseMs() - began);
        done += n;
        if (progress && !progress(done, total))
            return makeError(ErrUserInterrupt, QStringLiteral("The copy was stopped"), out.path());
        if (done >= total)
            break;  // all of it: no further call just to meet the end
    }
    return done;
}

// A file whose reads needed another try is read once more from the medium
// (its cached pages dropped first) and must give the bytes its copy holds:
// a driver that failed once may have handed out wrong bytes without a word
// (one serving a diskette image does, shifted, after a bad sector). Where
// the two readings differ the file is unreadable there.
Status confirmRead(int in, const struct stat &st, NewFileWriter &out, const QString &source,
                   const CopyProgress &progress)
{
    constexpr qint64 kPiece = 64 << 10;
    (void)::posix_fadvise(in, 0, 0, POSIX_FADV_DONTNEED);  // a hint: where it is not taken, the cache is read
    QByteArray again(kPiece, '\0'), copied(kPiece, '\0');
    for (qint64 at = 0; at < st.st_size;) {
        const ssize_t n = readAt(in, again.data(), size_t(std::min(kPiece, st.st_size - at)), at, st, kReadTries);
        if (n < 0)
            return readError(errno, source, at);
        if (n == 0)
            return sourceError(ErrPathFileAccess, QStringLiteral("changed while it was copied"), source);
        ssize_t c = 0;
        while ((c = ::pread(out.fd(), copied.data(), size_t(n), at)) < 0 && errno == EINTR) {
        }
        if (c < 0)
            return errorFromErrno(errno, out.path());
        if (c < n || std::memcmp(again.constData(), copied.constData(), size_t(n)) != 0) {
            ssize_t i = 0;
            while (i < c && again.at(i) == copied.at(i))
                ++i;
            return readError(EIO, source, at + i);
        }
        at += n;
        if (progress && !progress(st.st_size, st.st_size))
            return makeError(ErrUserInterrupt, QStringLiteral("The copy was stopped"), out.path());
    }
    return {};
}

}  // namespace

Status FileSystem::copyFile(const QString &source, const QString &destination, CopyMode mode,
                            const CopyProgress &progress)
{
    return makeCopy(source, destination, mode, [&](int in, const struct stat &st, NewFileWriter &out) -> Status {
        bool troubled = false;
        const Result<qint64> done = copyBytes(in, st, out, source, progress, troubled);
        if (!done)
            return done.error();
        // A source written to while it was copied (grown, cut short or
        // rewritten) gave no good copy.
        if (*done != st.st_size || !unchanged(in, st))
            return sourceError(ErrPathFileAccess, QStringLiteral("changed while it was copied"), source);
        return troubled ? confirmRead(in, st, out, source, progress) : Status();
    });
}

Status FileSystem::makeCopy(const QString &source, const QString &destination, CopyMode mode, const CopyFill &fill)
{
    // The source: the file just dated, when it is this one, else opened now
    // (as a regular file, without waiting on anything else).
    Fd in;
    struct stat st;
    if (m_batch && m_batch->source.ok() && m_batch->sourcePath == source) {
        in = std::move(m_batch->source);
        m_batch->sourcePath.clear();
        // Dated moments ago: as good as asking again.
        st = m_batch->sourceStat;
        if (coarseMs() - m_batch->sourceSeenMs > BatchState::kStampTrustedMs && ::fstat(in.get(), &st) != 0)
            return sourceError(errno, source);
        if (!S_ISREG(st.st_mode))
            return sourceError(EINVAL, source);
    } else {
        Place from;
        Result<Fd> opened = openForReading(source, from, st);
        if (!opened)
            return opened.error();
        in = std::move(opened.value());
    }

    Place to;
    if (Status s = locate(destination, to, true); !s)
        return s;
    // The remembered listing of the folder learns of the new entry.
    const bool noting = m_drives.remembers(to.hostFolder);
    const DriveMap::FolderStamp folderBefore = !noting ? DriveMap::FolderStamp()
        : to.stamp.sec >= 0                          ? to.stamp
                                                     : DriveMap::stamp(to.dirFd);

    NewFileWriter out(to.dirFd, to.encoded, destination, mode, m_linker);
    if (Status s = out.open(NewFileWriter::wayFor(mode, st.st_size)); !s)
        return s;
    if (Status s = fill(in.get(), st, out); !s)
        return s;
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    // A date that cannot be set leaves a complete copy; the copy's name and
    // bytes come from the source, not from this date.
    (void)::futimens(out.fd(), times);
    in.reset();
    if (Status s = out.commit(); !s)
        return s;

    // The last look-up may have been of this very name: its answer went
    // with the copy, even where the folder's time did not move.
    if (m_batch)
        m_batch->looked = {};
    if (noting) {
        const DriveMap::FolderStamp now = DriveMap::stamp(to.dirFd);
        m_drives.noteAdded(to.hostFolder, folderBefore, to.name, now);
        if (to.held >= 0) {
            BatchState::Folder &f = m_batch->folders[size_t(to.held)];
            f.stamp = now;
            f.seenMs = coarseMs();
        }
    }
    return {};
}

}  // namespace pf
