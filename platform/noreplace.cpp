#include "platform/noreplace.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pf::host {

int renameIntoPlace(int dirFd, const char *from, const char *to, CopyMode mode)
{
    if (mode == CopyMode::Replace)
        return ::renameat(dirFd, from, dirFd, to) == 0 ? 0 : errno;
    if (::renameat2(dirFd, from, dirFd, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // No rename that refuses here: a hard link never replaces.
    if (::linkat(dirFd, from, dirFd, to, 0) == 0) {
        // The file is in place under both names. The old name is hidden and
        // ours alone; should it stay, the copy is no worse for it.
        (void)::unlinkat(dirFd, from, 0);
        return 0;
    }
    if (errno != EPERM && errno != EOPNOTSUPP)
        return errno;
    // Neither: the best left is to look just before renaming.
    struct stat exist;
    if (::fstatat(dirFd, to, &exist, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return ::renameat(dirFd, from, dirFd, to) == 0 ? 0 : errno;
}

bool UnnamedLinker::available()
{
    if (m_proc < 0)
        m_proc = ::access("/proc/self/fd", X_OK) == 0 ? 1 : 0;
    return m_proc == 1;
}

int UnnamedLinker::link(int fd, int dirFd, const char *name)
{
    if (m_byDescriptor) {
        if (::linkat(fd, "", dirFd, name, AT_EMPTY_PATH) == 0)
            return 0;
        if (errno != ENOENT && errno != EPERM)
            return errno;
    }
    char proc[64];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    if (::linkat(AT_FDCWD, proc, dirFd, name, AT_SYMLINK_FOLLOW) != 0)
        return errno;
    m_byDescriptor = false;
    return 0;
}

}  // namespace pf::host
