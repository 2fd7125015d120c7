#include "platform/drives.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pf {

DriveMap::DriveMap()
{
    m_roots.insert(QLatin1Char('A'), QStringLiteral("/media/floppy"));
    m_roots.insert(QLatin1Char('C'), QStringLiteral("/"));
}

DriveMap DriveMap::fromEnvironment(const QProcessEnvironment &env)
{
    DriveMap map;
    const QString prefix = QStringLiteral("PIXFERRY_DRIVE_");
    const QStringList keys = env.keys();
    for (const QString &key : keys) {
        if (!key.startsWith(prefix) || key.size() != prefix.size() + 1)
            continue;
        const QChar letter = key.at(prefix.size()).toUpper();
        if (letter < QLatin1Char('A') || letter > QLatin1Char('Z'))
            continue;
        const QString folder = env.value(key);
        if (folder.isEmpty())
            map.removeDrive(letter);
        else
            map.setDrive(letter, folder);
    }
    return map;
}

void DriveMap::setDrive(QChar letter, const QString &hostFolder)
{
    QString root = QDir::cleanPath(QFileInfo(hostFolder).absoluteFilePath());
    m_roots.insert(letter.toUpper(), root);
}

void DriveMap::removeDrive(QChar letter) { m_roots.remove(letter.toUpper()); }

bool DriveMap::hasDrive(QChar letter) const { return m_roots.contains(letter.toUpper()); }

QString DriveMap::hostRoot(QChar letter) const { return m_roots.value(letter.toUpper()); }

QList<QChar> DriveMap::letters() const { return m_roots.keys(); }

ProgramPath DriveMap::split(const QString &programPath, QChar currentDrive)
{
    QString p = programPath;
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    ProgramPath out;
    out.drive = currentDrive.toUpper();
    if (p.size() >= 2 && p.at(1) == QLatin1Char(':') && p.at(0).isLetter() && p.at(0).unicode() < 128) {
        out.drive = p.at(0).toUpper();
        p = p.mid(2);
    }
    // Relative paths are taken from the drive's root: the program never
    // changes its current folder, which is the root.
    QStringList parts;
    const QStringList raw = p.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &part : raw) {
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            if (!parts.isEmpty())
                parts.removeLast();
            continue;
        }
        parts << part;
    }
    out.rest = parts.join(QLatin1Char('/'));
    return out;
}

Status DriveMap::ready(QChar letter) const
{
    const QString root = hostRoot(letter);
    const QString shown = QString(letter.toLower()) + QStringLiteral(":\\");
    if (root.isEmpty())
        return makeError(ErrDeviceUnavailable, QStringLiteral("Device unavailable: drive %1 is not mapped").arg(letter.toUpper()), shown);
    DIR *d = ::opendir(QFile::encodeName(root).constData());
    if (!d)
        return makeError(ErrDeviceUnavailable, QStringLiteral("Device unavailable: drive %1 is not ready").arg(letter.toUpper()), shown);
    ::closedir(d);
    return {};
}

namespace {

// The entry of `folder` named `name`, matched exactly first and then without
// regard to case; empty when none.
QString findEntry(const QByteArray &folder, const QString &name)
{
    const QByteArray exact = folder + (folder.endsWith('/') ? "" : "/") + QFile::encodeName(name);
    struct stat st;
    if (::lstat(exact.constData(), &st) == 0)
        return name;
    DIR *d = ::opendir(folder.constData());
    if (!d)
        return {};
    QString found;
    while (dirent *e = ::readdir(d)) {
        const QString entry = QFile::decodeName(e->d_name);
        if (entry.compare(name, Qt::CaseInsensitive) == 0) {
            found = entry;
            break;
        }
    }
    ::closedir(d);
    return found;
}

}  // namespace

Result<QString> DriveMap::toHost(const QString &programPath) const
{
    const ProgramPath pp = split(programPath, currentDrive());
    if (Status r = ready(pp.drive); !r)
        return r.error();
    QString host = hostRoot(pp.drive);
    if (pp.rest.isEmpty())
        return host;
    const QString direct = host + (host.endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/")) + pp.rest;
    struct stat st;
    if (::lstat(QFile::encodeName(direct).constData(), &st) == 0)
        return direct;
    // Some part differs in letter case, or does not exist yet.
    const QStringList parts = pp.rest.split(QLatin1Char('/'));
    bool exists = true;
    for (const QString &part : parts) {
        QString name = part;
        if (exists) {
            const QString found = findEntry(QFile::encodeName(host), part);
            if (found.isEmpty())
                exists = false;
            else
                name = found;
        }
        if (!host.endsWith(QLatin1Char('/')))
            host += QLatin1Char('/');
        host += name;
    }
    return host;
}

QString DriveMap::toProgram(const QString &hostPath) const
{
    const QString clean = QDir::cleanPath(QFileInfo(hostPath).absoluteFilePath());
    // The deepest root that holds the path wins (C: is "/" and holds everything).
    QChar best;
    int bestLen = -1;
    for (auto it = m_roots.cbegin(); it != m_roots.cend(); ++it) {
        const QString &root = it.value();
        const bool inside = clean == root || root == QLatin1String("/")
            || clean.startsWith(root + QLatin1Char('/'));
        if (inside && root.size() > bestLen) {
            best = it.key();
            bestLen = root.size();
        }
    }
    if (bestLen < 0)
        return {};
    QString rest = clean.mid(m_roots.value(best).size());
    if (rest.startsWith(QLatin1Char('/')))
        rest.remove(0, 1);
    rest.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return QString(best) + QStringLiteral(":\\") + rest;
}

}  // namespace pf
