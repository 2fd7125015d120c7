#include "tests/support/mediumdouble.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <mutex>
#include <string>
#include <vector>

#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Bad {
    enum Kind { Fail, EndEarly, Garble };
    std::string file;
    long long start, end;
    int times;  // < 0: always
    Kind kind;
    int failed = 0;  // times it acted
};

struct State {
    std::string root;  // canonical, ending in '/'
    pthread_t window;
    mutable std::mutex mutex;
    std::condition_variable opened;
    bool gateOpen = true;
    int waiting = 0;
    std::vector<Bad> bad;
    std::vector<std::string> onWindow;
    int reads = 0, failures = 0;
    State *retired = nullptr;  // the double before, once this one has gone
};

std::atomic<State *> g_state{nullptr};
// Doubles gone, kept (a read that began before one went may still look at
// it) and reachable, so that a leak check does not count them.
State *g_retired = nullptr;

template <typename F>
F real(const char *name)
{
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

// The file an open descriptor leads to, when it lies below the root.
bool below(const State &s, int fd, std::string &path)
{
    char link[64], target[PATH_MAX];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = ::readlink(link, target, sizeof target - 1);
    if (n <= 0)
        return false;
    path.assign(target, size_t(n));
    return path.compare(0, s.root.size(), s.root) == 0 || path + '/' == s.root;
}

std::string nameIn(const State &s, const std::string &path)
{
    return path.size() > s.root.size() ? path.substr(s.root.size()) : std::string(".");
}

bool onWindowThread(const State &s) { return ::pthread_equal(::pthread_self(), s.window) != 0; }

constexpr long long kCurrent = -1;  // the descriptor's own offset

// What the double makes of one read: how many bytes it may read (`n`,
// fewer where an early end cuts it, or -1 where a bad range fails it),
// where it reads, and the stretch of those bytes to hand out wrong.
struct Verdict {
    long long allowed, offset;
    long long garbleStart = 0, garbleEnd = 0;
};

// Before a read of `n` bytes at `offset` of `fd` (kCurrent: where the
// descriptor stands): notes it, holds it at the gate, and gives its
// verdict. Asks nothing of a descriptor not below the root (a pipe's errno
// stays as it was).
Verdict judgeRead(int fd, long long offset, size_t n)
{
    State *s = g_state.load();
    std::string path;
    if (!s || !below(*s, fd, path))
        return {(long long)n, offset};
    if (offset == kCurrent)
        offset = (long long)::lseek(fd, 0, SEEK_CUR);
    std::unique_lock lock(s->mutex);
    ++s->reads;
    if (onWindowThread(*s)) {
        s->onWindow.push_back("read " + nameIn(*s, path));
    } else if (!s->gateOpen) {
        ++s->waiting;
        s->opened.wait_for(lock, std::chrono::seconds(20), [s] { return s->gateOpen; });
        --s->waiting;
    }
    const auto acts = [&](const Bad &b, Bad::Kind kind) {
        return b.kind == kind && b.file == path && offset < b.end && offset + (long long)n > b.start
            && (b.times < 0 || b.failed < b.times);
    };
    for (Bad &b : s->bad)
        if (acts(b, Bad::Fail)) {
            ++b.failed;
            ++s->failures;
            return {-1, offset};
        }
    // An early end: a read from it on finds nothing (and counts); one that
    // reaches it ends there.
    for (Bad &b : s->bad)
        if (acts(b, Bad::EndEarly)) {
            if (offset < b.start)
                return {b.start - offset, offset};
            ++b.failed;
            ++s->failures;
            return {0, offset};
        }
    for (Bad &b : s->bad)
        if (acts(b, Bad::Garble)) {
            ++b.failed;
            ++s->failures;
            return {(long long)n, offset, b.start, b.end};
        }
    return {(long long)n, offset};
}

// Turns the bytes of [v.garbleStart, v.garbleEnd) among the `got` bytes
// read into `buf` at v.offset wrong.
void garble(const Verdict &v, void *buf, ssize_t got)
{
    auto *bytes = static_cast<unsigned char *>(buf);
    for (long long at = std::max(v.garbleStart, v.offset); at < v.garbleEnd && at < v.offset + got; ++at)
        bytes[at - v.offset] ^= 0xff;
}

void noteOpen(int fd, const char *what)
{
    State *s = g_state.load();
    std::string path;
    if (fd < 0 || !s || !below(*s, fd, path))
        return;
    const std::lock_guard lock(s->mutex);
    if (onWindowThread(*s))
        s->onWindow.push_back(what + (" " + nameIn(*s, path)));
}

int openWith(const char *name, int dirfd, const char *path, int flags, mode_t mode)
{
    const int fd = dirfd == -1 ? real<int (*)(const char *, int, ...)>(name)(path, flags, mode)
                               : real<int (*)(int, const char *, int, ...)>(name)(dirfd, path, flags, mode);
    const int saved = errno;
    noteOpen(fd, (flags & O_DIRECTORY) ? "list" : "open");
    errno = saved;
    return fd;
}

mode_t modeOf(int flags, va_list ap)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? mode_t(va_arg(ap, int)) : 0;
}

// Notes a range of `file` that acts as `kind`.
void add(const QString &file, qint64 start, qint64 end, int times, Bad::Kind kind)
{
    State *s = g_state.load();
    char canonical[PATH_MAX];
    const QByteArray host = QFile::encodeName(file);
    const std::lock_guard lock(s->mutex);
    s->bad.push_back(Bad{::realpath(host.constData(), canonical) ? canonical : host.constData(), start, end, times, kind});
}

}  // namespace

// Stand-ins for the C library's calls: the real call, seen by the double.
extern "C" {

// Each reads what the double allows: fails with EIO, ends early (0 bytes
// when nothing is allowed, as at a file's end), or reads on, some bytes
// handed out wrong.
ssize_t read(int fd, void *buf, size_t n)
{
    const Verdict v = judgeRead(fd, kCurrent, n);
    if (v.allowed <= 0)
        return v.allowed < 0 ? (errno = EIO, -1) : 0;
    const ssize_t got = real<ssize_t (*)(int, void *, size_t)>("read")(fd, buf, size_t(v.allowed));
    garble(v, buf, got);
    return got;
}

ssize_t pread(int fd, void *buf, size_t n, off_t offset)
{
    const Verdict v = judgeRead(fd, offset, n);
    if (v.allowed <= 0)
        return v.allowed < 0 ? (errno = EIO, -1) : 0;
    const ssize_t got = real<ssize_t (*)(int, void *, size_t, off_t)>("pread")(fd, buf, size_t(v.allowed), offset);
    garble(v, buf, got);
    return got;
}

ssize_t pread64(int fd, void *buf, size_t n, off_t offset)
{
    const Verdict v = judgeRead(fd, offset, n);
    if (v.allowed <= 0)
        return v.allowed < 0 ? (errno = EIO, -1) : 0;
    const ssize_t got = real<ssize_t (*)(int, void *, size_t, off_t)>("pread64")(fd, buf, size_t(v.allowed), offset);
    garble(v, buf, got);
    return got;
}

// The checked forms a build with _FORTIFY_SOURCE calls instead.
ssize_t __read_chk(int fd, void *buf, size_t n, size_t) { return read(fd, buf, n); }
ssize_t __pread_chk(int fd, void *buf, size_t n, off_t offset, size_t) { return pread(fd, buf, n, offset); }
ssize_t __pread64_chk(int fd, void *buf, size_t n, off_t offset, size_t) { return pread64(fd, buf, n, offset); }

ssize_t copy_file_range(int in, loff_t *inOffset, int out, loff_t *outOffset, size_t n, unsigned flags)
{
    const Verdict v = judgeRead(in, inOffset ? *inOffset : kCurrent, n);
    if (v.allowed <= 0)
        return v.allowed < 0 ? (errno = EIO, -1) : 0;
    if (v.garbleEnd <= v.garbleStart)
        return real<ssize_t (*)(int, loff_t *, int, loff_t *, size_t, unsigned)>("copy_file_range")(
            in, inOffset, out, outOffset, size_t(v.allowed), flags);
    // Wrong bytes pass through a buffer, read and written as the system would.
    std::vector<char> buf(size_t(v.allowed));
    const ssize_t got = real<ssize_t (*)(int, void *, size_t, off_t)>("pread")(in, buf.data(), buf.size(), v.offset);
    if (got <= 0)
        return got;
    garble(v, buf.data(), got);
    const ssize_t put = outOffset ? ::pwrite(out, buf.data(), size_t(got), *outOffset) : ::write(out, buf.data(), size_t(got));
    if (put > 0) {
        if (inOffset)
            *inOffset += put;
        else
            ::lseek(in, put, SEEK_CUR);
        if (outOffset)
            *outOffset += put;
    }
    return put;
}

int open(const char *path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = modeOf(flags, ap);
    va_end(ap);
    return openWith("open", -1, path, flags, mode);
}

int open64(const char *path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = modeOf(flags, ap);
    va_end(ap);
    return openWith("open64", -1, path, flags, mode);
}

int openat(int dirfd, const char *path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = modeOf(flags, ap);
    va_end(ap);
    return openWith("openat", dirfd, path, flags, mode);
}

int openat64(int dirfd, const char *path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = modeOf(flags, ap);
    va_end(ap);
    return openWith("openat64", dirfd, path, flags, mode);
}

DIR *opendir(const char *path)
{
    DIR *d = real<DIR *(*)(const char *)>("opendir")(path);
    if (d)
        noteOpen(::dirfd(d), "list");
    return d;
}

DIR *fdopendir(int fd)
{
    DIR *d = real<DIR *(*)(int)>("fdopendir")(fd);
    if (d)
        noteOpen(fd, "list");
    return d;
}

}  // extern "C"

namespace testkit {

MediumDouble::MediumDouble(const QString &root)
{
    auto *s = new State;
    char canonical[PATH_MAX];
    const QByteArray host = QFile::encodeName(root);
    s->root = std::string(::realpath(host.constData(), canonical) ? canonical : host.constData()) + '/';
    s->window = ::pthread_self();
    State *none = nullptr;
    if (!g_state.compare_exchange_strong(none, s))
        qFatal("MediumDouble: one at a time");
}

MediumDouble::~MediumDouble()
{
    setGate(true);
    State *s = g_state.exchange(nullptr);
    // A worker may still be inside a read: wait until none is held.
    for (int i = 0; i < 2000; ++i) {
        {
            const std::lock_guard lock(s->mutex);
            if (s->waiting == 0)
                break;
        }
        ::usleep(1000);
    }
    s->retired = g_retired;
    g_retired = s;
}

void MediumDouble::failBytes(const QString &file, qint64 start, qint64 end, int times)
{
    add(file, start, end, times, Bad::Fail);
}

void MediumDouble::endEarly(const QString &file, qint64 at, int times) { add(file, at, LLONG_MAX, times, Bad::EndEarly); }

void MediumDouble::garbleBytes(const QString &file, qint64 start, qint64 end, int times)
{
    add(file, start, end, times, Bad::Garble);
}

void MediumDouble::setGate(bool open)
{
    State *s = g_state.load();
    if (!s)
        return;
    {
        const std::lock_guard lock(s->mutex);
        s->gateOpen = open;
    }
    s->opened.notify_all();
}

int MediumDouble::waiting() const
{
    const std::lock_guard lock(g_state.load()->mutex);
    return g_state.load()->waiting;
}

QStringList MediumDouble::onWindowThread() const
{
    State *s = g_state.load();
    const std::lock_guard lock(s->mutex);
    QStringList out;
    for (const std::string &e : s->onWindow)
        out << QString::fromStdString(e);
    return out;
}

int MediumDouble::reads() const
{
    const std::lock_guard lock(g_state.load()->mutex);
    return g_state.load()->reads;
}

int MediumDouble::failures() const
{
    const std::lock_guard lock(g_state.load()->mutex);
    return g_state.load()->failures;
}

}  // namespace testkit
