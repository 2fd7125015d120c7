#include "platform/drivefinder.h"

#include "platform/hostnames.h"

#include <QDir>
#include <QFile>

#include <cstdlib>
#include <memory>

#include <pwd.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace pf {

namespace {

const QString kDrivesSection = QStringLiteral("Drives");

// A mount point that lies directly below a root (one name deeper).
bool directlyBelow(const QString &point, const QString &root)
{
    if (!point.startsWith(root + QLatin1Char('/')))
        return false;
    const QString name = point.mid(root.size() + 1);
    return !name.isEmpty() && !name.contains(QLatin1Char('/'));
}

QString loginName()
{
    if (const passwd *pw = ::getpwuid(::getuid()); pw && pw->pw_name && *pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    return qEnvironmentVariable("USER");
}

QString variableFor(QChar letter) { return QStringLiteral("PIXFERRY_DRIVE_") + letter; }

}  // namespace

QStringList mediaRootsFor(const QString &user)
{
    QStringList roots;
    if (!user.isEmpty() && !user.contains(QLatin1Char('/')) && user != QLatin1String(".") && user != QLatin1String(".."))
        roots << QStringLiteral("/run/media/") + user << QStringLiteral("/media/") + user;
    roots << QStringLiteral("/media");
    return roots;
}

namespace {

// File systems of the FAT family, which cameras and diskettes write.
bool fatType(const QString &type)
{
    static const QStringList fat{QStringLiteral("vfat"), QStringLiteral("msdos"), QStringLiteral("exfat"),
                                 QStringLiteral("fat"), QStringLiteral("umsdos")};
    return fat.contains(type);
}

QString traits(bool removable, bool fat)
{
    if (removable && fat)
        return QStringLiteral("a removable device with a FAT file system");
    return removable ? QStringLiteral("a removable device") : QStringLiteral("a FAT file system");
}

}  // namespace

MediumChoice chooseMedium(const QList<Mount> &mounts, const QStringList &roots,
                          const std::function<bool(const Mount &)> &removable)
{
    struct Candidate {
        QString point;
        bool removable = false, fat = false;
        int score() const { return int(removable) + int(fat); }
    };
    QList<Candidate> media;  // in the order mounted
    for (const Mount &m : mounts) {
        if (m.type == QLatin1String("autofs"))
            continue;
        const QString point = QDir::cleanPath(m.point);
        if (roots.contains(point))
            continue;
        for (const QString &root : roots) {
            if (directlyBelow(point, QDir::cleanPath(root))) {
                // Mounted again: where it is now in the order counts.
                media.removeIf([&](const Candidate &c) { return c.point == point; });
                media.append({point, removable && removable(m), fatType(m.type)});
                break;
            }
        }
    }
    if (media.isEmpty())
        return {};
    // The best kind wins; among those alike, the later mount.
    qsizetype best = media.size() - 1;
    for (qsizetype i = media.size() - 2; i >= 0; --i)
        if (media.at(i).score() > media.at(best).score())
            best = i;
    const Candidate &chosen = media.at(best);
    if (best == media.size() - 1)
        return {chosen.point, QStringLiteral("the medium mounted most recently")};
    return {chosen.point, QStringLiteral("%1, taken before %2, mounted later")
                              .arg(traits(chosen.removable, chosen.fat), media.constLast().point)};
}

bool removableDevice(const Mount &mount)
{
    if (mount.device == 0)
        return false;
    const QString device = QStringLiteral("/sys/dev/block/%1:%2").arg(::major(mount.device)).arg(::minor(mount.device));
    // A partition has no mark of its own: its disk, one folder up, has it.
    for (const QString &folder : {device, device + QStringLiteral("/..")}) {
        QFile f(folder + QStringLiteral("/removable"));
        if (f.open(QIODevice::ReadOnly))
            return f.read(1) == "1";
    }
    return false;
}

DriveSources DriveSources::ofThisProcess(const SettingsIo &settings)
{
    DriveSources s;
    s.env = QProcessEnvironment::systemEnvironment();
    // The drive variables as their bytes: the environment's own reading puts
    // U+FFFD for a byte that is not UTF-8, and that folder does not exist.
    for (char c = 'A'; c <= 'Z'; ++c) {
        for (const QString &name : {variableFor(QLatin1Char(c)), variableFor(QLatin1Char(char(c - 'A' + 'a')))}) {
            const QByteArray name8 = name.toLatin1();
            if (qEnvironmentVariableIsSet(name8.constData()))
                s.env.insert(name, fromHostName(qgetenv(name8.constData())));
        }
    }
    s.settings = settings;
    // A table that cannot be read holds no medium: A: then falls back.
    s.mountTable = readMountTable;
    s.removable = removableDevice;
    s.mediaRoots = mediaRootsFor(loginName());
    return s;
}

DriveFinder::DriveFinder(DriveSources sources) : m_src(std::move(sources)) {}

QString DriveFinder::configured(QChar letter) const
{
    // "A=/path" or "a=/path"; a leading "~/" stands for the home folder.
    QString folder;
    const QList<std::pair<QString, QString>> entries = m_src.settings.readSection(kDrivesSection);
    for (const auto &[key, value] : entries)
        if (key.size() == 1 && key.at(0).toUpper() == letter && !value.trimmed().isEmpty())
            folder = value.trimmed();
    if (folder == QLatin1String("~") || folder.startsWith(QLatin1String("~/")))
        folder = QDir::homePath() + folder.mid(1);
    return folder;
}

DriveFinder::Decision DriveFinder::decide(QChar letter) const
{
    letter = letter.toUpper();
    Decision d{letter, {}, Origin::None, {}};
    // An empty variable counts as none; the letter may be written small.
    for (const QString &name : {variableFor(letter), variableFor(letter.toLower())})
        if (const QString v = m_src.env.value(name); !v.isEmpty())
            return {letter, v, Origin::Variable, {}};
    if (const QString v = configured(letter); !v.isEmpty())
        return {letter, v, Origin::Settings, {}};
    if (letter == QLatin1Char('A') && m_src.mountTable) {
        const MediumChoice medium = chooseMedium(parseMountInfo(m_src.mountTable()), m_src.mediaRoots, m_src.removable);
        if (!medium.point.isEmpty())
            return {letter, medium.point, Origin::Medium, medium.why};
    }
    if (letter == QLatin1Char('A'))
        return {letter, QStringLiteral("/media/floppy"), Origin::Default, {}};
    if (letter == QLatin1Char('C'))
        return {letter, QStringLiteral("/"), Origin::Default, {}};
    return d;
}

QList<DriveFinder::Decision> DriveFinder::decideAll() const
{
    QList<Decision> all;
    for (char16_t c = u'A'; c <= u'Z'; ++c)
        if (Decision d = decide(QChar(c)); !d.folder.isEmpty())
            all.append(d);
    return all;
}

DriveMap DriveFinder::map(const QString &workingFolder) const
{
    DriveMap map;
    map.removeDrive(QLatin1Char('A'));
    map.removeDrive(QLatin1Char('C'));
    for (const Decision &d : decideAll())
        map.setDrive(d.letter, d.folder);
    map.setCurrentFolder(map.folderOf(workingFolder));
    // The map outlives this finder: the decider keeps its own copy.
    auto self = std::make_shared<const DriveFinder>(*this);
    map.setDecider([self](QChar letter) { return self->decide(letter).folder; });
    return map;
}

QString DriveFinder::describe(const Decision &d)
{
    switch (d.origin) {
    case Origin::Variable:
        return QStringLiteral("from %1").arg(variableFor(d.letter.toUpper()));
    case Origin::Settings:
        return QStringLiteral("from the settings file, section [Drives]");
    case Origin::Medium:
        return d.why;
    case Origin::Default:
        return QStringLiteral("the default");
    case Origin::None:
        break;
    }
    return QStringLiteral("not mapped");
}

QString workingFolder()
{
    // Not QDir::currentPath(): it puts U+FFFD for a byte that is not UTF-8,
    // and that path leads nowhere.
    const std::unique_ptr<char, void (*)(void *)> cwd(::getcwd(nullptr, 0), std::free);
    return cwd ? fromHostName(cwd.get()) : QString();
}

}  // namespace pf
