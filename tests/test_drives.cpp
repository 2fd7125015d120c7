// Where the drive letters point: the variable, the [Drives] section, the
// medium the desktop mounted, the defaults; a card put in while the program
// runs; the program's current folder and the folder picker opening there.

#include "app/commandline.h"
#include "platform/drivefinder.h"
#include "platform/hostnames.h"
#include "settings/frmfolderselect.h"
#include "tests/support/testkit.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace testkit;

namespace {

// One mountinfo line, the mount point escaped as the kernel writes it.
QByteArray mountLine(const QString &point, const char *type = "vfat")
{
    QByteArray p = pf::toHostName(point);
    p.replace("\\", "\\134").replace(" ", "\\040").replace("\t", "\\011");
    return "40 28 8:17 / " + p + " rw,nosuid,nodev - " + type + " /dev/sdb1 rw\n";
}

// The table of a machine with nothing but its own disks mounted, then `media`
// ("point", or "point|autofs" for an automount placeholder) in the order mounted.
QByteArray mounts(const QStringList &media = {})
{
    QByteArray table = mountLine("/", "ext4") + mountLine("/home", "ext4") + mountLine("/run/user/1000", "tmpfs");
    for (const QString &m : media)
        table += mountLine(m.section('|', 0, 0), m.contains('|') ? "autofs" : "vfat");
    return table;
}

// The sources of user "ann": the environment, the settings file of the test
// run, the mount table as `table` holds it at each look.
pf::DriveSources sources(const QProcessEnvironment &env, std::shared_ptr<QByteArray> table)
{
    pf::DriveSources s;
    s.env = env;
    s.mountTable = [table] { return *table; };
    s.mediaRoots = pf::mediaRootsFor("ann");
    return s;
}

}  // namespace

class TestDrives : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The letter is the row's first character; "folder (where from)".
    void driveOrder_data()
    {
        QTest::addColumn<QString>("variable");  // name=value, or empty
        QTest::addColumn<QString>("section");   // key=value in [Drives], or empty
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QString>("decided");
        const QByteArray media = mounts({"/run/media/ann/CARD", "/media/ann/STICK"});
        auto row = [](const char *tag, QString variable, QString section, QByteArray table, QString decided) {
            QTest::newRow(tag) << variable << section << table << decided;
        };
        row("A: the variable over all", "PIXFERRY_DRIVE_A=/srv/disk", "A=/srv/conf", media, "/srv/disk (variable)");
        row("A: a variable in small letters", "PIXFERRY_DRIVE_a=/srv/small", "", media, "/srv/small (variable)");
        row("A: settings over the medium", "", "A=/srv/conf", media, "/srv/conf (settings)");
        row("A: a settings key in small letters", "", "a=/srv/conf", media, "/srv/conf (settings)");
        row("A: an empty variable counts as none", "PIXFERRY_DRIVE_A=", "A=/srv/conf", media, "/srv/conf (settings)");
        row("A: the medium mounted last", "", "", media, "/media/ann/STICK (medium)");
        row("A: the order of lines, not of roots", "", "", mounts({"/media/ann/STICK", "/run/media/ann/CARD"}),
            "/run/media/ann/CARD (medium)");
        row("A: a blank in the label", "", "", mounts({"/media/ann/MY DISK"}), "/media/ann/MY DISK (medium)");
        row("A: plain /media", "", "", mounts({"/media/usb0"}), "/media/usb0 (medium)");
        const QString latin1 = pf::fromHostName("/media/ann/F\xe9te");
        row("A: a label not in UTF-8", "", "", mounts({latin1}), latin1 + " (medium)");
        row("A: no medium", "", "", mounts(), "/media/floppy (default)");
        row("A: the user's own folder is no medium", "", "", mounts({"/media/ann"}), "/media/floppy (default)");
        row("A: deeper than a medium", "", "", mounts({"/media/ann/DISK/inner"}), "/media/floppy (default)");
        row("A: an automount placeholder", "", "", mounts({"/media/floppy0|autofs"}), "/media/floppy (default)");
        row("C: never the medium", "", "", media, "/ (default)");
        row("D: a comma in settings", "", "D=/srv/a,b", media, "/srv/a,b (settings)");
        row("E: home in settings", "", "E=~/pics", media, QDir::homePath() + "/pics (settings)");
    }
    void driveOrder()
    {
        QFETCH(QString, variable);
        QFETCH(QString, section);
        QFETCH(QByteArray, table);
        const QChar letter = QLatin1Char(QTest::currentDataTag()[0]);
        QProcessEnvironment env;
        if (!variable.isEmpty())
            env.insert(variable.section('=', 0, 0), variable.section('=', 1));
        // A settings file of its own for each row, as a user writes it by
        // hand; the program's own saving leaves its [Drives] section be.
        pf::DriveSources src = sources(env, std::make_shared<QByteArray>(table));
        src.settings = pf::SettingsIo("PixferryTest", QTest::currentDataTag());
        QDir().mkpath(QFileInfo(src.settings.location()).path());
        writeFile(src.settings.location(), "[Settings]\nRename=True\n\n[Drives]\n" + section.toUtf8() + "\n");
        QVERIFY(src.settings.write("Settings", "Image Folder", "C:\\Pics\\").ok());
        const pf::DriveFinder finder(src);
        const pf::DriveFinder::Decision d = finder.decide(letter);
        const char *origins[] = {"none", "variable", "settings", "medium", "default"};
        QTEST(QString("%1 (%2)").arg(d.folder, origins[int(d.origin)]), "decided");
        QCOMPARE(finder.map().hostRoot(letter), d.folder);  // the map holds the same
    }

    // A folder named by a variable of this process keeps its bytes, also where they are not UTF-8.
    void variableKeepsItsBytes()
    {
        qputenv("PIXFERRY_DRIVE_Q", "/srv/F\xe9te");
        const pf::DriveFinder finder(pf::DriveSources::ofThisProcess());
        qunsetenv("PIXFERRY_DRIVE_Q");
        QCOMPARE(finder.decide('Q').folder, pf::fromHostName("/srv/F\xe9te"));
    }

    void mediaRootsAndMountTable()
    {
        // A name that is not one folder is not used.
        QCOMPARE(pf::mediaRootsFor("../x"), QStringList{"/media"});
        QCOMPARE(pf::mediaRootsFor(QString()), QStringList{"/media"});
        // Lines that are not mountinfo lines are passed over.
        const QList<pf::Mount> parsed = pf::parseMountInfo(
            "garbage\n\n1 2 3\n40 28 8:17 / relative rw - vfat /dev/x rw\n"
            "41 28 8:17 / /media/ann/NODASH rw shared:1 vfat /dev/x rw\n" + mountLine("/media/ann/TAB\tAND\\SLASH"));
        QCOMPARE(parsed.size(), 1);
        QCOMPARE(parsed.first().point + " " + parsed.first().type, "/media/ann/TAB\tAND\\SLASH vfat");
    }

    // Among several media, drive A: is one that cameras and diskettes use (a
    // removable device, a FAT file system) before a later one that is
    // neither; --help says why.
    void mediumChoice_data()
    {
        QTest::addColumn<QStringList>("media");      // "point type device", in the order mounted
        QTest::addColumn<QStringList>("removable");  // devices that are removable
        QTest::addColumn<QString>("decided");
        const QString card = "/run/media/ann/CARD", backup = "/media/ann/BACKUP";
        QTest::newRow("a card, then a backup disk")
            << QStringList{card + " vfat 8:17", backup + " ext4 8:33"} << QStringList{"8:17"}
            << card + " (a removable device with a FAT file system, taken before " + backup + ", mounted later)";
        QTest::newRow("a card in a reader, then a backup disk in exFAT")
            << QStringList{card + " vfat 8:17", backup + " exfat 8:33"} << QStringList{"8:17"}
            << card + " (a removable device with a FAT file system, taken before " + backup + ", mounted later)";
        QTest::newRow("a FAT disk, then an ext4 one, neither removable")
            << QStringList{card + " vfat 179:1", backup + " ext4 8:33"} << QStringList()
            << card + " (a FAT file system, taken before " + backup + ", mounted later)";
        QTest::newRow("a removable ext4 stick, then a fixed NTFS disk")
            << QStringList{card + " ext4 8:17", backup + " ntfs3 8:33"} << QStringList{"8:17"}
            << card + " (a removable device, taken before " + backup + ", mounted later)";
        QTest::newRow("alike: the later")
            << QStringList{card + " vfat 179:1", backup + " ext4 8:33"} << QStringList{"8:33"}
            << backup + " (the medium mounted most recently)";
        QTest::newRow("the card mounted again after the disk")
            << QStringList{card + " vfat 8:17", backup + " ext4 8:33", card + " vfat 8:17"} << QStringList()
            << card + " (the medium mounted most recently)";
    }
    void mediumChoice()
    {
        QFETCH(QStringList, media);
        QFETCH(QStringList, removable);
        QByteArray table = mounts();
        for (const QString &m : media) {
            const QStringList f = m.split(' ');
            table += "40 28 " + f[2].toUtf8() + " / " + f[0].toUtf8() + " rw - " + f[1].toUtf8() + " /dev/x rw\n";
        }
        pf::DriveSources src = sources(QProcessEnvironment(), std::make_shared<QByteArray>(table));
        src.removable = [removable](const pf::Mount &m) {
            return removable.contains(QString("%1:%2").arg(major(m.device)).arg(minor(m.device)));
        };
        const pf::DriveFinder finder(src);
        const pf::DriveFinder::Decision d = finder.decide('A');
        QTEST(d.folder + " (" + pf::DriveFinder::describe(d) + ")", "decided");
        QFETCH(QString, decided);
        const QString help = pf::readCommandLine({"pixferry", "--help"}, finder, "Pixferry.conf").out;
        QVERIFY2(help.split('\n').contains("  A:  " + decided.replace(" (", "  (")), qPrintable(help));
    }

    // Where a folder lies in its file system, from the mount table: a
    // folder of the card bound elsewhere still lies on the card.
    void placesInFileSystems_data()
    {
        QTest::addColumn<QString>("table");  // "device root point" per mount, ';' between, in the order mounted
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("card");
        QTest::addColumn<bool>("within");
        const QString disks = "8:1 / /;8:17 / /media/ann/CARD;";
        QTest::newRow("a folder of the card bound onto a home folder")
            << disks + "8:17 /SUB /home/ann/Pictures" << "/home/ann/Pictures/2024" << "/media/ann/CARD" << true;
        QTest::newRow("the card's root bound elsewhere")
            << disks + "8:17 / /mnt/alias" << "/media/ann/CARD/Pics" << "/mnt/alias" << true;
        QTest::newRow("bound from beside the card's folder used as A:")
            << disks + "8:17 /SUB /home/ann/Pictures" << "/home/ann/Pictures" << "/media/ann/CARD/DCIM" << false;
        QTest::newRow("a name that only begins like the folder")
            << disks + "8:17 /DCIM2 /home/ann/Pictures" << "/home/ann/Pictures" << "/media/ann/CARD/DCIM" << false;
        QTest::newRow("another file system")
            << disks + "8:1 /srv/SUB /home/ann/Pictures" << "/home/ann/Pictures" << "/media/ann/CARD" << false;
        QTest::newRow("a later mount over the bound folder")
            << disks + "8:17 /SUB /home/ann/Pictures;8:1 /srv /home/ann/Pictures" << "/home/ann/Pictures"
            << "/media/ann/CARD" << false;
    }
    void placesInFileSystems()
    {
        QFETCH(QString, table);
        QByteArray text;
        int id = 20;
        for (const QString &mount : table.split(';')) {
            const QStringList f = mount.split(' ');
            text += QString("%1 1 %2 %3 %4 rw - vfat /dev/x rw\n").arg(id++).arg(f[0], f[1], f[2]).toUtf8();
        }
        const QList<pf::Mount> mounts = pf::parseMountInfo(text);
        QFETCH(QString, folder);
        QFETCH(QString, card);
        const std::optional<pf::FileSystemPlace> inner = pf::placeInFileSystem(mounts, folder);
        const std::optional<pf::FileSystemPlace> outer = pf::placeInFileSystem(mounts, card);
        QVERIFY2(inner && outer, "every path lies below the mount of /");
        QTEST(pf::placeWithin(*inner, *outer), "within");
    }

    // A card put in while the program runs is found by the next probe (of
    // Check Disk, Preview Disk and Copy Disk) and when the folder picker's
    // drive is chosen; taken out, drive A: is the default again.
    void mediumInsertedAfterStart()
    {
        QTemporaryDir media;
        const QString card = media.filePath("ann/CARD"), stick = media.filePath("ann/STICK");
        QDir().mkpath(card);
        QDir().mkpath(stick);
        auto table = std::make_shared<QByteArray>(mounts());
        pf::DriveSources src = sources(QProcessEnvironment(), table);
        src.mediaRoots = QStringList{media.filePath("ann"), media.path()};
        ScriptedPrompt prompt;
        pf::Services services(std::make_unique<pf::FileSystem>(pf::DriveFinder(src).map()), &prompt);
        const auto driveA = [&] { return services.fs->drives().hostRoot('A'); };
        QCOMPARE(driveA(), "/media/floppy");
        pf::DriveList probe(*services.fs);
        *table += mountLine(card);
        QVERIFY(probe.setDrive("a:").ok());
        QCOMPARE(driveA(), card);
        *table = mounts();
        QCOMPARE(probe.setDrive("a:").error().number, int(pf::ErrDeviceUnavailable));
        QCOMPARE(driveA(), "/media/floppy");

        *table += mountLine(stick);
        Module1 shared;
        frmFolderSelect picker(services, shared);
        picker.Drive1->setCurrentIndex(picker.Drive1->findText("a:"));
        QCOMPARE(picker.path(), "A:\\");
        QCOMPARE(driveA(), stick);
    }

    // The program's current folder, from the folder it was started in; the
    // picker opens there.
    void currentFolder_data()
    {
        QTest::addColumn<QByteArray>("working");  // below the test's folder
        QTest::addColumn<QString>("folder");
        QTest::newRow("a drive inside C: wins") << QByteArray("c/mnt/e/x") << "E:\\x";
        QTest::newRow("through a link to C:") << QByteArray("link-c/home") << "C:\\home";
        QTest::newRow("a name with a backslash") << QByteArray("c/odd\\name") << "C:\\";
        QTest::newRow("a name not UTF-8") << QByteArray("c/F\xE9te") << "C:\\" + pf::fromHostName("F\xE9te");
    }
    void currentFolder()
    {
        QFETCH(QByteArray, working);
        QTemporaryDir tmp;
        const QByteArray t = QFile::encodeName(tmp.path()) + '/';
        for (const char *sub : {"c", "c/home", "c/mnt", "c/mnt/e", "c/mnt/e/x", "c/odd\\name", "c/F\xE9te"})
            ::mkdir(t + sub, 0700);
        QCOMPARE(::symlink(t + "c", t + "link-c"), 0);
        // C: is named through the link; the program is started in the working folder.
        QProcessEnvironment env;
        env.insert("PIXFERRY_DRIVE_C", QFile::decodeName(t + "link-c"));
        env.insert("PIXFERRY_DRIVE_E", QFile::decodeName(t + "c/mnt/e"));
        const QByteArray before = QFile::encodeName(QDir::currentPath());
        QCOMPARE(::chdir(t + working), 0);
        const QString host = pf::workingFolder();
        QCOMPARE(::chdir(before), 0);
        const pf::DriveMap map = pf::DriveFinder(sources(env, std::make_shared<QByteArray>())).map(host);
        pf::Services services(std::make_unique<pf::FileSystem>(map), nullptr);
        Module1 shared;
        frmFolderSelect picker(services, shared);
        QTEST(services.fs->drives().currentFolder(), "folder");
        QTEST(picker.path(), "folder");
        QCOMPARE(picker.Drive1->currentText(), picker.path().left(1).toLower() + ':');
    }
};

PIXFERRY_TEST_MAIN(TestDrives)
#include "test_drives.moc"
