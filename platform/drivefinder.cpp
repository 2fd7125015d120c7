#include "platform/drivefinder.h"

#include "platform/hostnames.h"

#include <QDir>
#include <QFile>

#include <cstdlib>
#include <memory>

#include <pwd.h>
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

QString newestMedium(const QList<Mount> &mounts, const QStringList &roots)
{
    QString newest;
    for (const Mount &m : mounts) {
        if (m.type == QLatin1String("autofs"))
            continue;
        const QString point = QDir::cleanPath(m.point);
        if (roots.contains(point))
            continue;
        for (const QString &root : roots) {
            if (directlyBelow(point, QDir::cleanPath(root))) {
                newest = point;  // a later line is a later mount
                break;
            }
        }
    }
    return newest;
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
    Decision d{letter, {}, Origin::None};
    // An empty variable counts as none; the letter may be written small.
    for (const QString &name : {variableFor(letter), variableFor(letter.toLower())})
        if (const QString v = m_src.env.value(name); !v.isEmpty())
            return {letter, v, Origin::Variable};
    if (const QString v = configured(letter); !v.isEmpty())
        return {letter, v, Origin::Settings};
    if (letter == QLatin1Char('A') && m_src.mountTable) {
        if (const QString v = newestMedium(parseMountInfo(m_src.mountTable()), m_src.mediaRoots); !v.isEmpty())
            return {letter, v, Origin::Medium};
    }
    if (letter == QLatin1Char('A'))
        return {letter, QStringLiteral("/media/floppy"), Origin::Default};
    if (letter == QLatin1Char('C'))
        return {letter, QStringLiteral("/"), Origin::Default};
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

QString DriveFinder::describe(Origin origin, QChar letter)
{
    switch (origin) {
    case Origin::Variable:
        return QStringLiteral("from %1").arg(variableFor(letter.toUpper()));
    case Origin::Settings:
        return QStringLiteral("from the settings file, section [Drives]");
    case Origin::Medium:
        return QStringLiteral("the medium mounted most recently");
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
