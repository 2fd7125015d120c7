#include "platform/newfilewriter.h"

#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pf {

NewFileWriter::Way NewFileWriter::wayFor(CopyMode mode, qint64 size)
{
    if (mode == CopyMode::Replace)
        return Way::Temporary;
    return size <= kDirectAtMost ? Way::Direct : Way::Unnamed;
}

NewFileWriter::NewFileWriter(int dirFd, QByteArray name, QString path, CopyMode mode, host::UnnamedLinker &linker)
    : m_dirFd(dirFd), m_name(std::move(name)), m_path(std::move(path)), m_mode(mode), m_linker(linker)
{
}

NewFileWriter::~NewFileWriter()
{
    if (m_committed)
        return;
    if (m_named)
        removeOwnFile();
    if (!m_temporary.isEmpty())
        (void)::unlinkat(m_dirFd, m_temporary.constData(), 0);  // a hidden name of ours: nothing to report to
    // An unnamed file goes with its descriptor, which closes with m_file.
}

Status NewFileWriter::open(Way way)
{
    Q_ASSERT(!m_file.ok() && !m_committed);
    if (m_mode == CopyMode::Replace)
        way = Way::Temporary;  // the only way that takes the place of a file
    if (way == Way::Unnamed) {
        if (m_linker.available())
            m_file.reset(::openat(m_dirFd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
        if (!m_file.ok())
            way = Way::Temporary;
    } else if (way == Way::Direct) {
        m_file.reset(::openat(m_dirFd, m_name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        m_named = m_file.ok();
    }
    for (int attempt = 0; way == Way::Temporary && attempt < 100 && !m_file.ok(); ++attempt) {
        const QByteArray hidden =
            QByteArray(".pixferry-") + QByteArray::number(QRandomGenerator::global()->generate(), 16) + ".part";
        m_file.reset(::openat(m_dirFd, hidden.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (m_file.ok())
            m_temporary = hidden;
        else if (errno != EEXIST)
            break;
    }
    m_way = way;
    if (!m_file.ok()) {
        const int err = errno;
        return errorFromErrno(err, m_path, /*pathPart=*/err == ENOENT);
    }
    return {};
}

Status NewFileWriter::write(const char *data, qint64 size)
{
    qint64 written = 0;
    while (written < size) {
        const ssize_t w = ::write(m_file.get(), data + written, size_t(size - written));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return errorFromErrno(errno, m_path);
        }
        written += w;
    }
    return {};
}

Status NewFileWriter::commit()
{
    Q_ASSERT(m_file.ok() && !m_committed);
    if (m_way == Way::Unnamed) {
        if (const int err = m_linker.link(m_file.get(), m_dirFd, m_name.constData()))
            return errorFromErrno(err, m_path);
        m_named = true;
    }
    if (m_named)
        noteOwnFile();
    // Closing may be the first to report a write that failed.
    if (const int err = m_file.close())
        return errorFromErrno(err, m_path);
    if (m_way == Way::Temporary) {
        if (const int err = host::renameIntoPlace(m_dirFd, m_temporary.constData(), m_name.constData(), m_mode))
            return errorFromErrno(err, m_path);
        m_temporary.clear();
    }
    m_committed = true;
    return {};
}

void NewFileWriter::noteOwnFile()
{
    struct stat st;
    if (::fstat(m_file.get(), &st) != 0)
        return;  // not known: then it is not removed
    m_ownKnown = true;
    m_ownDev = quint64(st.st_dev);
    m_ownIno = quint64(st.st_ino);
}

// Our file under its name is removed only while the name still leads to it:
// another program may have put its own file there meanwhile.
void NewFileWriter::removeOwnFile()
{
    if (m_file.ok())
        noteOwnFile();
    struct stat there;
    if (m_ownKnown && ::fstatat(m_dirFd, m_name.constData(), &there, AT_SYMLINK_NOFOLLOW) == 0
        && quint64(there.st_ino) == m_ownIno && quint64(there.st_dev) == m_ownDev)
        (void)::unlinkat(m_dirFd, m_name.constData(), 0);  // a clean-up: the failure that led here is reported
}

}  // namespace pf
