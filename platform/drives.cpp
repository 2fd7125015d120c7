#include "platform/drives.h"
#include "platform/hostnames.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pf {

DriveMap::DriveMap()
{
    m_roots.insert(QLatin1Char('A'), QStringLiteral("/media/floppy"));
    m_roots.insert(QLatin1Char('C'), QStringLiteral("/"));
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

void DriveMap::decideAgain(QChar letter)
{
    if (!m_decider)
        return;
    letter = letter.toUpper();
    const QString folder = m_decider(letter);
    if (folder.isEmpty())
        removeDrive(letter);
    else if (QDir::cleanPath(QFileInfo(folder).absoluteFilePath()) != hostRoot(letter))
        setDrive(letter, folder);
}

QString DriveMap::folderOf(const QString &hostFolder) const
{
    const QString fallback = QStringLiteral("C:\\");
    if (hostFolder.isEmpty())
        return fallback;
    const QString clean = QDir::cleanPath(QFileInfo(hostFolder).absoluteFilePath());
    // The deepest root that holds the folder wins. A root is also tried with
    // its links resolved, since the working folder comes with them resolved.
    QChar best;
    QString bestRoot;
    for (auto it = m_roots.cbegin(); it != m_roots.cend(); ++it) {
        const QString canonical = QFileInfo(it.value()).canonicalFilePath();
        for (const QString &root : {it.value(), canonical}) {
            if (root.isEmpty())
                continue;
            const bool inside = clean == root || root == QLatin1String("/") || clean.startsWith(root + QLatin1Char('/'));
            if (inside && (best.isNull() || root.size() > bestRoot.size())) {
                best = it.key();
                bestRoot = root;
            }
        }
    }
    if (best.isNull())
        return fallback;
    const QStringList names = clean.mid(bestRoot.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    // A name holding a '\' would read as two folders.
    for (const QString &name : names)
        if (name.contains(QLatin1Char('\\')))
            return fallback;
    return QString(best) + QStringLiteral(":\\") + names.join(QLatin1Char('\\'));
}

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
    // The program's own paths all start at a root; one without a leading
    // '\' (typed into a folder box) is taken from the drive's root too.
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
    DIR *d = root.contains(QChar(0)) ? nullptr : ::opendir(toHostName(root).constData());
    if (!d) {
        // A folder that is there but cannot be listed holds a medium that
        // cannot be read: said as such, not as a missing one.
        const int err = errno;
        struct stat st;
        if (!root.contains(QChar(0)) && err != ENOENT && err != ENOTDIR && err != ENOMEDIUM
            && ::stat(toHostName(root).constData(), &st) == 0 && S_ISDIR(st.st_mode)) {
            QString why = QString::fromLocal8Bit(std::strerror(err));
            if (!why.isEmpty())
                why[0] = why.at(0).toLower();
            return makeError(ErrPathFileAccess, QStringLiteral("The disk in drive %1: cannot be read: %2").arg(letter.toUpper(), why),
                             shown);
        }
        return makeError(ErrDeviceUnavailable, QStringLiteral("Device unavailable: drive %1 is not ready").arg(letter.toUpper()), shown);
    }
    ::closedir(d);
    return {};
}

namespace {

QString folderKey(const QString &hostFolder)
{
    QString key = hostFolder;
    while (key.size() > 1 && key.endsWith(QLatin1Char('/')))
        key.chop(1);
    return key;
}

}  // namespace

namespace {

DriveMap::FolderStamp stampOf(const struct stat &st)
{
    return DriveMap::FolderStamp{quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_mtim.tv_sec),
                                 qint64(st.st_mtim.tv_nsec)};
}

}  // namespace

DriveMap::FolderStamp DriveMap::stamp(const QString &hostFolder)
{
    struct stat st;
    if (::stat(toHostName(hostFolder).constData(), &st) == 0)
        return stampOf(st);
    return FolderStamp();
}

DriveMap::FolderStamp DriveMap::stamp(int folderFd)
{
    struct stat st;
    if (::fstat(folderFd, &st) == 0)
        return stampOf(st);
    return FolderStamp();
}

void DriveMap::noteAdded(const QString &hostFolder, const FolderStamp &before, const QString &name,
                         const FolderStamp &after) const
{
    const QMutexLocker lock(&m_namesLock.mutex);
    auto it = m_names.find(folderKey(hostFolder));
    if (it == m_names.end())
        return;
    if (it->stamp != before || before.sec < 0 || after.sec < 0) {
        m_names.erase(it);  // changed by someone else too: read again when needed
        return;
    }
    it->byFolded.insert(foldedName(name), name);
    it->stamp = after;
}

bool DriveMap::remembers(const QString &hostFolder) const
{
    const QMutexLocker lock(&m_namesLock.mutex);
    return m_names.contains(folderKey(hostFolder));
}

QString DriveMap::entryIn(const QString &hostFolder, const QString &name, const FolderStamp &now) const
{
    if (now.sec < 0)
        return {};
    return foldedEntry(folderKey(hostFolder), name, now);
}

// The entry of `folder` named `name`, matched exactly first and then without
// regard to case; empty when none.
QString DriveMap::findEntry(const QString &hostFolder, const QString &name) const
{
    const QString key = folderKey(hostFolder);
    const QByteArray exact = toHostName(key + (key.endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/")) + name);
    struct stat st;
    if (::lstat(exact.constData(), &st) == 0)
        return name;
    const FolderStamp now = stamp(key);
    if (now.sec < 0)
        return {};
    return foldedEntry(key, name, now);
}

// The entry of the folder whose name matches `name` without regard to case,
// from the remembered listing while the folder's stamp is `now`.
QString DriveMap::foldedEntry(const QString &key, const QString &name, const FolderStamp &now) const
{
    {
        const QMutexLocker lock(&m_namesLock.mutex);
        const auto it = m_names.constFind(key);
        if (it != m_names.constEnd() && it->stamp == now)
            return it->byFolded.value(foldedName(name));
    }
    // Read without the lock held: another thread's look-up in another
    // folder does not wait for this one.
    DIR *d = ::opendir(toHostName(key).constData());
    if (!d)
        return {};
    FolderNames names;
    names.stamp = now;
    while (dirent *e = ::readdir(d)) {
        const QString entry = fromHostName(e->d_name);
        const QString folded = foldedName(entry);
        if (!names.byFolded.contains(folded))
            names.byFolded.insert(folded, entry);
    }
    ::closedir(d);
    const QString found = names.byFolded.value(foldedName(name));
    const QMutexLocker lock(&m_namesLock.mutex);
    if (m_names.size() >= 16)
        m_names.clear();
    m_names.insert(key, std::move(names));
    return found;
}

Result<QString> DriveMap::toHost(const QString &programPath) const
{
    const ProgramPath pp = split(programPath, currentDrive());
    QString host = hostRoot(pp.drive);
    // The system takes a path up to its first NUL: a folder named with one
    // would be the folder before it. No name can hold one.
    if (pp.rest.contains(QChar(0)) || host.contains(QChar(0)))
        return makeError(ErrPathNotFound, QStringLiteral("The path holds a NUL character, which no name can hold"),
                         programPath);
    if (!host.isEmpty() && !pp.rest.isEmpty()) {
        // A path that exists as written needs no more: its drive is there.
        const QString direct = host + (host.endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/")) + pp.rest;
        struct stat st;
        if (::lstat(toHostName(direct).constData(), &st) == 0)
            return direct;
        // Its folder is there as written: only the last part is looked up.
        const qsizetype cut = direct.lastIndexOf(QLatin1Char('/'));
        const QString folder = direct.left(cut);
        if (cut > 0 && ::stat(toHostName(folder).constData(), &st) == 0 && S_ISDIR(st.st_mode)) {
            const QString name = direct.mid(cut + 1);
            const QString found = foldedEntry(folder, name, stampOf(st));
            return folder + QLatin1Char('/') + (found.isEmpty() ? name : found);
        }
    }
    if (Status r = ready(pp.drive); !r)
        return r.error();
    if (pp.rest.isEmpty())
        return host;
    // Some folder differs in letter case, or does not exist yet.
    const QStringList parts = pp.rest.split(QLatin1Char('/'));
    bool exists = true;
    for (const QString &part : parts) {
        QString name = part;
        if (exists) {
            const QString found = findEntry(host, part);
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
