// What can be read of a damaged file: every byte that reads, in its place,
// and zeros where the medium gives nothing, found around each failure by
// reading it again in smaller pieces.

#include "platform/files_p.h"

#include "platform/newfilewriter.h"
#include "platform/sourceread.h"

#include <algorithm>
#include <array>
#include <cerrno>

namespace pf {

namespace {

// The pieces read, from the first reads to the smallest: a piece that fails
// is read again in the next size. The large reads only find where to look
// closer; a page is tried as often as any read of a copy; a sector of a
// page that failed every time is tried once.
struct Level {
    qint64 size;
    int tries;
};
constexpr std::array<Level, 3> kLevels{{{64 << 10, 1}, {4 << 10, kReadTries}, {512, 1}}};

class Rescuer {
public:
    Rescuer(int in, const struct stat &st, NewFileWriter &out, const QString &source, const CopyProgress &progress)
        : m_in(in), m_st(st), m_out(out), m_source(source), m_progress(progress),
          m_buffer(int(kLevels[0].size), '\0'), m_zeros(int(kLevels.back().size), '\0')
    {
    }

    // Copies the bytes [from, to), reading pieces of the level's size that
    // end on its multiples; a piece that fails every try is read again a
    // level down, or, below the last, written as zeros.
    Status copy(qint64 from, qint64 to, size_t level)
    {
        const Level &l = kLevels[level];
        for (qint64 at = from; at < to;) {
            const qint64 end = std::min(to, (at / l.size + 1) * l.size);
            const ssize_t n = readAt(m_in, m_buffer.data(), size_t(end - at), at, m_st, l.tries);
            if (n == 0)
                return sourceError(ErrPathFileAccess, QStringLiteral("changed while it was copied"), m_source);
            if (n > 0) {
                if (Status s = m_out.write(m_buffer.constData(), n); !s)
                    return s;
                at += n;
            } else {
                // Only a stretch that cannot be read is passed over; a
                // medium that is gone fails the rescue as it failed the copy.
                const PlatformError e = readError(errno, m_source, at);
                if (e.unreadableAt < 0)
                    return e;
                if (level + 1 < kLevels.size()) {
                    if (Status s = copy(at, end, level + 1); !s)
                        return s;
                } else {
                    if (Status s = m_out.write(m_zeros.constData(), end - at); !s)
                        return s;
                    m_lost += end - at;
                }
                at = end;
            }
            if (m_progress && !m_progress(at, m_st.st_size))
                return makeError(ErrUserInterrupt, QStringLiteral("The copy was stopped"), m_out.path());
        }
        return {};
    }

    qint64 lost() const { return m_lost; }

private:
    const int m_in;
    const struct stat &m_st;
    NewFileWriter &m_out;
    const QString &m_source;
    const CopyProgress &m_progress;
    QByteArray m_buffer, m_zeros;
    qint64 m_lost = 0;
};

}  // namespace

Result<qint64> FileSystem::rescueFile(const QString &source, const QString &destination, const CopyProgress &progress)
{
    qint64 lost = 0;
    const Status made = makeCopy(source, destination, CopyMode::NoReplace,
                                 [&](int in, const struct stat &st, NewFileWriter &out) -> Status {
                                     Rescuer rescuer(in, st, out, source, progress);
                                     if (Status s = rescuer.copy(0, st.st_size, 0); !s)
                                         return s;
                                     if (!unchanged(in, st))
                                         return sourceError(ErrPathFileAccess,
                                                            QStringLiteral("changed while it was copied"), source);
                                     lost = rescuer.lost();
                                     return {};
                                 });
    if (!made)
        return made.error();
    return lost;
}

}  // namespace pf
