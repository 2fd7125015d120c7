#pragma once
// An open file descriptor with one owner: closed when its owner goes, moved
// from owner to owner, never copied.

#include <cerrno>
#include <unistd.h>
#include <utility>

namespace pf {

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) noexcept : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(Fd &&other) noexcept : m_fd(other.release()) {}
    Fd &operator=(Fd &&other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;

    int get() const noexcept { return m_fd; }
    bool ok() const noexcept { return m_fd >= 0; }

    // Hands the descriptor to the caller, who closes it.
    [[nodiscard]] int release() noexcept { return std::exchange(m_fd, -1); }

    // Closes the descriptor held, if any, and holds `fd` instead. For a file
    // only read, or one given up: what its close says is not wanted, and the
    // caller's errno is kept for the error being reported.
    void reset(int fd = -1) noexcept
    {
        if (m_fd >= 0) {
            const int saved = errno;
            (void)::close(m_fd);  // see above: nothing written depends on it
            errno = saved;
        }
        m_fd = fd;
    }

    // Closes now, for a file written: its close may be the first to report a
    // write that failed. 0, or the errno; the descriptor is gone either way.
    [[nodiscard]] int close() noexcept
    {
        const int fd = std::exchange(m_fd, -1);
        if (fd < 0)
            return EBADF;
        return ::close(fd) == 0 ? 0 : errno;
    }

private:
    int m_fd = -1;
};

}  // namespace pf
