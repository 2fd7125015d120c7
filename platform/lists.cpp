#include "platform/lists.h"

#include <QDir>
#include <QFile>

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
    QDir dir(*host);
    if (!dir.exists())
        return makeError(ErrPathNotFound, QStringLiteral("Path not found"), m_path);
    QStringList names = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
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
