#pragma once
// Outcome of a fallible platform operation: a value, or the platform error
// number with a readable reason.

#include <QString>
#include <optional>
#include <utility>

namespace pf {

// Platform error numbers, as the program's messages and callers know them.
enum ErrorNumber : int {
    ErrNone = 0,
    ErrUserInterrupt = 18,  // the person stopped the work
    ErrFileNotFound = 53,
    ErrDeviceIO = 57,  // the medium could not be read (or written): a bad sector, a worn diskette
    ErrDiskFull = 61,
    ErrPermissionDenied = 70,
    ErrPathFileAccess = 75,
    ErrPathNotFound = 76,
    ErrDeviceUnavailable = 68,
    ErrFileExists = 58,
};

struct PlatformError {
    int number = ErrNone;
    QString reason;  // readable, e.g. "No space left on device"
    QString path;    // the path the operation was given, in the program's form
    // For an operation between two files (a copy): whether the file read from
    // is the one at fault (its reason then reads on from "The file ...",
    // e.g. "cannot be read: permission denied").
    bool sourceSide = false;
    // For a read of the source that failed for good (a stretch of the
    // medium that cannot be read): the byte it failed at; else -1. What
    // else the file holds may still be read around it.
    qint64 unreadableAt = -1;

    // "reason" or "reason (number)" for message boxes.
    QString describe() const;
};

// Maps an errno value onto the platform error numbers.
PlatformError errorFromErrno(int err, const QString &path, bool pathPart = false);

// A read of the open source `path` that failed for good at byte `at`. A
// failed read of an open file is the medium's fault whatever the driver
// calls it (one serving a diskette image says "operation not permitted"
// for a bad sector): it reads as an input/output error of the file. Only
// such an error, or one that found the file's end early, is a stretch that
// cannot be read (`unreadableAt` set); a medium that is gone is not.
PlatformError readError(int err, const QString &path, qint64 at);

// Reading the value of a failed result is a fault in the program: it stops
// there, saying which error was passed over, instead of reading what is not there.
[[noreturn]] void valueOfFailedResult(const PlatformError &error);

// A result must be looked at: one left unused is a warning. One ignored on
// purpose is spelt (void) with the reason beside it.
template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(PlatformError error) : m_error(std::move(error)) {}

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }
    const T &value() const { return checked(); }
    T &value() { return const_cast<T &>(checked()); }
    const T &operator*() const { return checked(); }
    const T *operator->() const { return &checked(); }
    T valueOr(T other) const { return m_value ? *m_value : std::move(other); }
    const PlatformError &error() const { return m_error; }

private:
    const T &checked() const
    {
        if (!m_value) [[unlikely]]
            valueOfFailedResult(m_error);
        return *m_value;
    }

    std::optional<T> m_value;
    PlatformError m_error;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(PlatformError error) : m_failed(true), m_error(std::move(error)) {}

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const PlatformError &error() const { return m_error; }

private:
    bool m_failed = false;
    PlatformError m_error;
};

using Status = Result<void>;

inline PlatformError makeError(int number, QString reason, QString path = {})
{
    return PlatformError{number, std::move(reason), std::move(path), false};
}

// The same, blaming the file read from, with a reason that reads on from
// "The file ...": "cannot be read: permission denied".
PlatformError sourceError(int err, const QString &path);
inline PlatformError sourceError(int number, QString reason, const QString &path)
{
    return PlatformError{number, std::move(reason), path, true};
}

}  // namespace pf
