#include "platform/result.h"

#include <QtGlobal>

#include <cerrno>
#include <cstring>

namespace pf {

QString PlatformError::describe() const
{
    if (number == ErrNone)
        return reason;
    // In one pass: a reason may hold a name from the diskette, "%2" and all.
    return QStringLiteral("%1 (error %2)").arg(reason, QString::number(number));
}

void valueOfFailedResult(const PlatformError &error)
{
    qFatal("pf::Result: the value of a failed result was read; the error was: %s, path \"%s\"",
           qPrintable(error.describe()), qPrintable(error.path));
}

PlatformError errorFromErrno(int err, const QString &path, bool pathPart)
{
    int number = ErrPathFileAccess;
    switch (err) {
    case ENOENT:
        number = pathPart ? ErrPathNotFound : ErrFileNotFound;
        break;
    case ENOTDIR:
        number = ErrPathNotFound;
        break;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        number = ErrPermissionDenied;
        break;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        number = ErrDiskFull;
        break;
    case ENODEV:
    case ENXIO:
    case ENOMEDIUM:
        number = ErrDeviceUnavailable;
        break;
    case EIO:
        number = ErrDeviceIO;
        break;
    case EEXIST:
        number = ErrFileExists;
        break;
    default:
        break;
    }
    return PlatformError{number, QString::fromLocal8Bit(std::strerror(err)), path};
}

PlatformError sourceError(int err, const QString &path)
{
    PlatformError e = errorFromErrno(err, path);
    e.sourceSide = true;
    if (err == ENOENT) {
        e.reason = QStringLiteral("is no longer there");
    } else if (err == EINVAL) {
        e.number = ErrPathFileAccess;
        e.reason = QStringLiteral("is not a regular file");
    } else {
        QString why = e.reason;
        if (!why.isEmpty())
            why[0] = why.at(0).toLower();
        e.reason = QStringLiteral("cannot be read: ") + why;
    }
    return e;
}

PlatformError readError(int err, const QString &path, qint64 at)
{
    if (err == EPERM || err == EACCES)
        err = EIO;
    PlatformError e = sourceError(err, path);
    if (err == EIO)
        e.unreadableAt = at;
    return e;
}

}  // namespace pf
