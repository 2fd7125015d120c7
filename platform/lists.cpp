#include "platform/lists.h"

#include "platform/hostnames.h"

#include <algorithm>

#include <dirent.h>
#include <sys/stat.h>

namespace pf {

Status DriveList::setDrive(const QString &drive)
{
    if (drive.isEmpty())
        return makeError(ErrDeviceUnavailable, QStringLiteral("No drive given"));
    const QChar letter = drive.at(0).toLower();
    // Where the letter points is decided now: a card put in since the last
    // look is found.
    m_fs.drives().decideAgain(letter);
    if (Status s = m_fs.selectDrive(letter); !s)
        return s;
    m_drive = QString(letter) + QLatin1Char(':');
    return {};
}

bool DirList::setPath(const QString &path)
{
    QString p = path;
    // A bare drive ("a:") opens that drive's root.
    if (p.size() == 2 && p.at(1) == QLatin1Char(':'))
        p += QLatin1Char('\\');
    if (p == m_path)
        return false;
    m_path = p;
    return true;
}

Result<QStringList> DirList::subFolders() const
{
    Result<QString> host = m_fs.hostPath(m_path);
    if (!host)
        return host.error();
    const QByteArray folder = toHostName(*host);
    struct stat st;
    if (::stat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return makeError(ErrPathNotFound, QStringLiteral("Path not found"), m_path);
    // Names are read as their bytes, so that one that is not UTF-8 opens the
    // very folder it names. A folder that cannot be read shows none.
    QStringList names;
    if (DIR *d = ::opendir(folder.constData())) {
        while (const dirent *e = ::readdir(d)) {
            if (e->d_name[0] == '.')
                continue;  // ".", ".." and hidden folders
            if (::fstatat(::dirfd(d), e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode))
                names << fromHostName(e->d_name);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end(),
              [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    return names;
}

Status FileList::refresh()
{
    m_entries.clear();
    listIndex = -1;
    Result<QStringList> r = m_fs.listFiles(m_path, m_pattern, m_admit);
    if (!r)
        return r.error();
    m_entries = std::move(r.value());
    return {};
}

}  // namespace pf
