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

    // "reason" or "reason (number)" for message boxes.
    QString describe() const;
};

// Maps an errno value onto the platform error numbers.
PlatformError errorFromErrno(int err, const QString &path, bool pathPart = false);

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
