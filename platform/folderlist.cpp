#include "platform/folderlist.h"

#include "platform/fatattributes.h"
#include "platform/hostnames.h"
#include "platform/wildcard.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace pf {

bool isSingleName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name)
        if (c == QLatin1Char('\\') || c == QLatin1Char('/') || c.isNull())
            return false;
    return true;
}

namespace host {

namespace {

// An open folder stream, closed with its owner.
class FolderStream {
public:
    explicit FolderStream(const QString &hostFolder) : m_dir(::opendir(toHostName(hostFolder).constData())) {}
    ~FolderStream()
    {
        if (m_dir)
            (void)::closedir(m_dir);  // only read: its close tells nothing
    }
    FolderStream(const FolderStream &) = delete;
    FolderStream &operator=(const FolderStream &) = delete;

    bool ok() const { return m_dir != nullptr; }
    int fd() const { return ::dirfd(m_dir); }
    dirent *next() { return ::readdir(m_dir); }

private:
    DIR *m_dir;
};

bool isDotOrDotDot(const char *n) { return n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)); }

}  // namespace

int scanFolder(const QString &hostFolder, const QString &pattern, bool withHidden,
               const std::function<bool(const QString &name, bool hidden)> &take)
{
    FolderStream folder(hostFolder);
    if (!folder.ok())
        return errno;
    const int dfd = folder.fd();
    const bool fat = isFat(dfd);
    while (const dirent *e = folder.next()) {
        const char *n = e->d_name;
        if (isDotOrDotDot(n))
            continue;
        const bool dotHidden = n[0] == '.';
        if (dotHidden && !withHidden)
            continue;
        const QString name = fromHostName(n);
        if (!matchesPattern(name, pattern))
            continue;
        bool regular = e->d_type == DT_REG;
        if (e->d_type == DT_UNKNOWN) {
            struct stat st;
            regular = ::fstatat(dfd, n, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
        }
        if (!regular)
            continue;
        const bool hidden = dotHidden || (fat && fatHiddenOrSystem(dfd, n));
        if (hidden && !withHidden)
            continue;
        if (!take(name, hidden))
            break;
    }
    return 0;
}

Listing listFolder(const QString &hostFolder, const QString &pattern, bool withHidden, int limit)
{
    Listing out;
    out.error = scanFolder(hostFolder, pattern, withHidden, [&](const QString &name, bool) {
        out.names << name;
        return limit <= 0 || out.names.size() < limit;
    });
    return out;
}

Listing listNonFiles(const QString &hostFolder, const QString &pattern)
{
    Listing out;
    FolderStream folder(hostFolder);
    if (!folder.ok()) {
        out.error = errno;
        return out;
    }
    while (const dirent *e = folder.next()) {
        if (e->d_name[0] == '.' || e->d_type == DT_REG)
            continue;  // hidden, ".", "..", or a plain file
        const QString name = fromHostName(e->d_name);
        if (!matchesPattern(name, pattern))
            continue;
        struct stat st;
        if (e->d_type == DT_UNKNOWN && ::fstatat(folder.fd(), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISREG(st.st_mode))
            continue;
        out.names << name;
    }
    return out;
}

bool canList(const QString &hostFolder) { return FolderStream(hostFolder).ok(); }

}  // namespace host

}  // namespace pf
