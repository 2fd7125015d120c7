// The folders a first run shows: the user's own pictures and videos folders
// as paths on drive C:, where C: holds them; "C:\" otherwise.

#include "settings/store.h"
#include "tests/support/corekit.h"

#include <unistd.h>

using namespace testkit;

namespace {

// "@" in a row stands for the test's temporary folder.
QString at(const QString &text, const QString &tmp)
{
    QString out = text;
    return out.replace('@', tmp);
}

// Sets an environment variable for the life of a scope.
class EnvScope {
public:
    EnvScope(const char *name, const QByteArray &value) : m_name(name), m_old(qgetenv(name)), m_had(qEnvironmentVariableIsSet(name))
    {
        qputenv(name, value);
    }
    ~EnvScope() { m_had ? qputenv(m_name, m_old) : qunsetenv(m_name); }

private:
    const char *m_name;
    QByteArray m_old;
    bool m_had;
};

}  // namespace

class TestDefaultFolders : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A folder the desktop names becomes a C: path ending in one '\' when C:
    // holds it, whatever other drive lies deeper; anything else is "C:\".
    void defaultFolder_data()
    {
        QTest::addColumn<QString>("c");        // C:'s folder; none: C: not mapped
        QTest::addColumn<QString>("other");    // another drive, "D=folder"
        QTest::addColumn<QString>("folder");   // as the desktop names it
        QTest::addColumn<QString>("shown");
        QTest::newRow("home inside C: at /") << "/" << "" << "/home/ann/Pictures" << "C:\\home\\ann\\Pictures\\";
        QTest::newRow("home inside C: elsewhere") << "@/c" << "" << "@/c/home/ann/Videos" << "C:\\home\\ann\\Videos\\";
        QTest::newRow("with dots and a slash at the end")
            << "@/c" << "" << "@/c/home/ann/../ann/Pictures/" << "C:\\home\\ann\\Pictures\\";
        QTest::newRow("C: elsewhere") << "@/c" << "" << "@/home/ann/Pictures" << "C:\\";
        QTest::newRow("beside C:, its name longer") << "@/c" << "" << "@/c2/Pictures" << "C:\\";
        QTest::newRow("C: is the folder itself") << "@/c/Pictures" << "" << "@/c/Pictures" << "C:\\";
        QTest::newRow("C: named through a link") << "@/link-c" << "" << "@/c/home/Pictures" << "C:\\home\\Pictures\\";
        QTest::newRow("a deeper drive") << "@/c" << "D=@/c/home" << "@/c/home/Pictures" << "C:\\home\\Pictures\\";
        QTest::newRow("the diskette over home") << "@/c" << "A=@/c/home" << "@/c/home/Pictures" << "C:\\home\\Pictures\\";
        QTest::newRow("C: not mapped") << "" << "D=@/c" << "@/c/Pictures" << "C:\\";
        QTest::newRow("no folder named") << "/" << "" << "" << "C:\\";
        QTest::newRow("a folder without its root") << "/" << "" << "Pictures" << "C:\\";
        QTest::newRow("a name with a backslash") << "@/c" << "" << "@/c/odd\\name" << "C:\\";
        QTest::newRow("a byte its text lost") << "@/c" << "" << "@/c/F\uFFFDte" << "C:\\";
        QTest::newRow("a name in another script") << "/" << "" << "/home/anna/Изображения" << "C:\\home\\anna\\Изображения\\";
    }
    void defaultFolder()
    {
        QFETCH(QString, c);
        QFETCH(QString, other);
        QFETCH(QString, folder);
        QTemporaryDir tmp;
        QVERIFY2(QDir(tmp.path()).mkpath("c/home"), "the temporary C: could not be made");
        QVERIFY2(::symlink(QFile::encodeName(tmp.path() + "/c").constData(),
                           QFile::encodeName(tmp.path() + "/link-c").constData()) == 0,
                 "the link to C: could not be made");
        pf::DriveMap map;
        map.removeDrive('A');
        if (c.isEmpty())
            map.removeDrive('C');
        else
            map.setDrive('C', at(c, tmp.path()));
        if (!other.isEmpty())
            map.setDrive(other.at(0), at(other.mid(2), tmp.path()));
        QTEST(settings::defaultFolder(map, at(folder, tmp.path())), "shown");
    }

    // The folders come from the desktop's user folders: its list of them
    // where it has one, else Pictures and Videos in the home folder.
    void fromTheDesktop_data()
    {
        QTest::addColumn<QString>("home");
        QTest::addColumn<QByteArray>("userDirs");  // the desktop's list; none: no list
        QTest::addColumn<QString>("image");
        QTest::addColumn<QString>("video");
        QTest::newRow("home inside C:, no list") << "@/c/home/ann" << QByteArray() << "C:\\home\\ann\\Pictures\\"
                                                << "C:\\home\\ann\\Videos\\";
        QTest::newRow("home inside C:, a list")
            << "@/c/home/ann" << QByteArray("XDG_PICTURES_DIR=\"$HOME/Bilder\"\nXDG_VIDEOS_DIR=\"$HOME/Filme\"\n")
            << "C:\\home\\ann\\Bilder\\" << "C:\\home\\ann\\Filme\\";
        QTest::newRow("home outside C:") << "@/elsewhere/ann" << QByteArray() << "C:\\" << "C:\\";
    }
    void fromTheDesktop()
    {
        QFETCH(QString, home);
        QFETCH(QByteArray, userDirs);
        QTemporaryDir tmp;
        const QString homeFolder = at(home, tmp.path());
        QVERIFY2(QDir(homeFolder).mkpath(".config"), "the temporary home could not be made");
        if (!userDirs.isEmpty())
            writeFile(homeFolder + "/.config/user-dirs.dirs", userDirs);
        EnvScope homeVar("HOME", QFile::encodeName(homeFolder));
        EnvScope configVar("XDG_CONFIG_HOME", QFile::encodeName(homeFolder + "/.config"));
        pf::DriveMap map;
        map.setDrive('C', tmp.path() + "/c");
        const settings::DefaultFolders defaults = settings::desktopDefaults(map);
        QTEST(defaults.image, "image");
        QTEST(defaults.video, "video");
    }
};

PIXFERRY_CORE_TEST_MAIN(TestDefaultFolders)
#include "test_defaultfolders.moc"
