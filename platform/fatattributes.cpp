#include "platform/fatattributes.h"

#include "platform/fd.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/statfs.h>

#ifndef MSDOS_SUPER_MAGIC
#define MSDOS_SUPER_MAGIC 0x4d44
#endif

namespace pf::host {

bool isFat(int fd)
{
    struct statfs sf;
    return ::fstatfs(fd, &sf) == 0 && sf.f_type == MSDOS_SUPER_MAGIC;
}

bool fatHiddenOrSystem(int dirFd, const char *name)
{
    const Fd fd(::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.ok())
        return false;
    __u32 attrs = 0;
    return ::ioctl(fd.get(), FAT_IOCTL_GET_ATTRIBUTES, &attrs) == 0 && (attrs & (ATTR_HIDDEN | ATTR_SYS));
}

int clearFatMarks(int fd)
{
    if (!isFat(fd))
        return 0;
    __u32 attrs = 0;
    if (::ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &attrs) != 0)
        return errno;
    const __u32 cleared = attrs & ~__u32(ATTR_RO | ATTR_HIDDEN | ATTR_SYS | ATTR_ARCH);
    if (cleared != attrs && ::ioctl(fd, FAT_IOCTL_SET_ATTRIBUTES, &cleared) != 0)
        return errno;
    return 0;
}

}  // namespace pf::host
