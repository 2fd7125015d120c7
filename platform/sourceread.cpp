#include "platform/sourceread.h"

#include <cerrno>
#include <unistd.h>

namespace pf {

bool writeSideError(int err) { return err == ENOSPC || err == EDQUOT || err == EFBIG || err == EROFS; }

bool unchanged(int fd, const struct stat &st)
{
    struct stat now;
    return ::fstat(fd, &now) == 0 && now.st_size == st.st_size && now.st_mtim.tv_sec == st.st_mtim.tv_sec
        && now.st_mtim.tv_nsec == st.st_mtim.tv_nsec;
}

ssize_t readAt(int fd, char *buffer, size_t size, qint64 at, const struct stat &st, int tries, bool *troubled)
{
    int err = EIO;
    for (int tried = 0; tried < tries;) {
        const ssize_t n = ::pread(fd, buffer, size, at);
        if (n > 0)
            return n;
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            err = errno;
        else if (at >= st.st_size || !unchanged(fd, st))
            return 0;
        else
            err = EIO;
        ++tried;
        if (troubled)
            *troubled = true;
    }
    errno = err;
    return -1;
}

}  // namespace pf
