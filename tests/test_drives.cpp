// Where the drive letters point: the variable, the [Drives] section, the
// medium the desktop mounted, the defaults; a card put in while the program
// runs; the program's current folder and the folder picker opening there.

#include "platform/drivefinder.h"
#include "settings/frmfolderselect.h"
#include "tests/support/testkit.h"

using namespace testkit;

namespace {

// One mountinfo line, the mount point escaped as the kernel writes it.
QByteArray mountLine(const QString &point, const char *type = "vfat")
{
    QByteArray p = QFile::encodeName(point);
    p.replace("\\", "\\134").replace(" ", "\\040").replace("\t", "\\011");
    return "40 28 8:17 / " + p + " rw,nosuid,nodev - " + type + " /dev/sdb1 rw\n";
}

// The table of a machine with nothing but its own disks mounted, then `media`
// ("point", or "point|type" for another type than vfat) in the order mounted.
QByteArray mounts(const QStringList &media = {})
{
    QByteArray table = mountLine("/", "ext4") + mountLine("/home", "ext4") + mountLine("/run/user/1000", "tmpfs");
    for (const QString &m : media)
        table += mountLine(m.section('|', 0, 0), m.contains('|') ? "autofs" : "vfat");
    return table;
}

pf::DriveSources sources(const QProcessEnvironment &env, const QByteArray &table)
{
    pf::DriveSources s;
    s.env = env;
    s.mountTable = [table] { return table; };
    s.mediaRoots = pf::mediaRootsFor("ann");
    return s;
}

}  // namespace

class TestDrives : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { clearSettings(false); }

    // The letter is the row's first character; "folder (where from)".
    void driveOrder_data()
    {
        QTest::addColumn<QString>("variable");  // name=value, or empty
        QTest::addColumn<QString>("section");   // key=value in [Drives], or empty
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QString>("decided");
        const QByteArray media = mounts({"/run/media/ann/CARD", "/media/ann/STICK"}), none = mounts();
        auto row = [](const char *tag, QString variable, QString section, QByteArray table, QString decided) {
            QTest::newRow(tag) << variable << section << table << decided;
        };
        row("A: the variable over all", "PIXFERRY_DRIVE_A=/srv/disk", "A=/srv/conf", media, "/srv/disk (variable)");
        row("A: a variable in small letters", "PIXFERRY_DRIVE_a=/srv/small", "", media, "/srv/small (variable)");
        row("A: settings over the medium", "", "A=/srv/conf", media, "/srv/conf (settings)");
        row("A: a settings key in small letters", "", "a=/srv/conf", media, "/srv/conf (settings)");
        row("A: an empty variable counts as none", "PIXFERRY_DRIVE_A=", "A=/srv/conf", media, "/srv/conf (settings)");
        row("A: an empty setting counts as none", "", "A=", media, "/media/ann/STICK (medium)");
        row("A: the medium mounted last", "", "", media, "/media/ann/STICK (medium)");
        row("A: the order of lines, not of roots", "", "", mounts({"/media/ann/STICK", "/run/media/ann/CARD"}),
            "/run/media/ann/CARD (medium)");
        row("A: a blank in the label", "", "", mounts({"/media/ann/MY DISK"}), "/media/ann/MY DISK (medium)");
        row("A: plain /media", "", "", mounts({"/media/usb0"}), "/media/usb0 (medium)");
        row("A: no medium", "", "", none, "/media/floppy (default)");
        row("A: no mount table", "", "", QByteArray(), "/media/floppy (default)");
        row("A: the user's own folder is no medium", "", "", mounts({"/media/ann"}), "/media/floppy (default)");
        row("A: another user's medium", "", "", mounts({"/run/media/bob/X"}), "/media/floppy (default)");
        row("A: deeper than a medium", "", "", mounts({"/media/ann/DISK/inner"}), "/media/floppy (default)");
        row("A: an automount placeholder", "", "", mounts({"/media/floppy0|autofs"}), "/media/floppy (default)");
        row("C: the variable", "PIXFERRY_DRIVE_C=/srv/c", "C=/srv/conf", media, "/srv/c (variable)");
        row("C: settings", "", "C=/srv/conf", media, "/srv/conf (settings)");
        row("C: never the medium", "", "", media, "/ (default)");
        row("D: settings", "", "D=/srv/d", media, "/srv/d (settings)");
        row("D: nowhere", "", "", media, " (none)");
        row("E: home in settings", "", "E=~/pics", media, QDir::homePath() + "/pics (settings)");
        row("E: a comma in settings", "", "E=/srv/a,b", media, "/srv/a,b (settings)");
    }
    void driveOrder()
    {
        QFETCH(QString, variable);
        QFETCH(QString, section);
        QFETCH(QByteArray, table);
        const QChar letter = QLatin1Char(QTest::currentDataTag()[0]);
        QProcessEnvironment env;
        env.insert("PIXFERRY_DRIVE_B", "/srv/other");
        if (!variable.isEmpty())
            env.insert(variable.section('=', 0, 0), variable.section('=', 1));
        // A settings file of its own for each row, as a user writes it by hand.
        pf::DriveSources src = sources(env, table);
        src.settings = pf::SettingsIo("PixferryTest", QTest::currentDataTag());
        QDir().mkpath(QFileInfo(src.settings.location()).path());
        writeFile(src.settings.location(), "[Settings]\nRename=True\n\n[Drives]\n" + section.toUtf8() + "\n");
        const pf::DriveFinder finder(src);
        const pf::DriveFinder::Decision d = finder.decide(letter);
        const char *origins[] = {"none", "variable", "settings", "medium", "default"};
        QTEST(QString("%1 (%2)").arg(d.folder, origins[int(d.origin)]), "decided");
        QCOMPARE(finder.map().hostRoot(letter), d.folder);  // the map holds the same
    }

    void mediaRootsAndMountTable()
    {
        QCOMPARE(pf::mediaRootsFor("ann"), (QStringList{"/run/media/ann", "/media/ann", "/media"}));
        QCOMPARE(pf::mediaRootsFor(QString()), QStringList{"/media"});
        // A name that is not one folder is not used.
        QCOMPARE(pf::mediaRootsFor("../x"), QStringList{"/media"});
        QCOMPARE(pf::mediaRootsFor(".."), QStringList{"/media"});
        // Lines that are not mountinfo lines are passed over.
        const QList<pf::Mount> parsed = pf::parseMountInfo(
            "garbage\n\n1 2 3\n40 28 8:17 / relative rw - vfat /dev/x rw\n"
            "41 28 8:17 / /media/ann/NODASH rw shared:1 vfat /dev/x rw\n" + mountLine("/media/ann/TAB\tAND\\SLASH"));
        QCOMPARE(parsed.size(), 1);
        QCOMPARE(parsed.first().point + " " + parsed.first().type, "/media/ann/TAB\tAND\\SLASH vfat");
    }

    // The real probe, through Check Disk: no medium at first ("No Disk!"),
    // a card put in while the box is up, a second one later, then both
    // taken out again; the picker's drive list looks again too.
    void mediumInsertedAfterStart()
    {
        if (QFileInfo::exists("/media/floppy"))
            QSKIP("this machine has a /media/floppy, the fallback of drive A:");
        Rig rig;
        const QString media = rig.c() + "/media";
        auto table = std::make_shared<QByteArray>(mounts());
        pf::DriveSources src = sources(QProcessEnvironment(), {});
        src.env.insert("PIXFERRY_DRIVE_C", rig.c());
        src.mountTable = [table] { return *table; };
        src.mediaRoots = QStringList{media + "/ann", media};
        rig.rebuildServices(std::make_unique<pf::FileSystem>(pf::DriveFinder(src).map()));
        frmMain &w = rig.openMain();
        auto insert = [&](const QString &label, int pictures) {
            const QString point = media + "/ann/" + label;
            QDir().mkpath(point);
            for (int i = 0; i < pictures; ++i)
                makeJpeg(point + QString("/PIC%1.JPG").arg(i), 8, 8);
            *table += mountLine(point);
            return point;
        };
        auto driveA = [&] { return rig.services->fs->drives().hostRoot('A'); };
        QCOMPARE(driveA(), "/media/floppy");

        QString card;
        rig.prompt.onBox = [&](const ShownBox &) { card = card.isEmpty() ? insert("CARD", 2) : card; };
        rig.prompt.fallback = pf::AnsCancel;
        rig.prompt.answers = {pf::AnsOk};
        w.Command12_Click();
        QCOMPARE(rig.prompt.titles(), QStringList{"No Disk!"});
        QCOMPARE(w.Label3[0]->text(), "2");
        QCOMPARE(driveA(), card);

        rig.prompt.onBox = {};
        const QString stick = insert("STICK", 3);  // mounted later: the one the next probe takes
        w.Command12_Click();
        QCOMPARE(w.Label3[0]->text(), "3");
        QCOMPARE(driveA(), stick);

        *table = mounts();  // taken out again: back to the empty drive
        w.Command12_Click();
        QCOMPARE(rig.prompt.titles(), (QStringList{"No Disk!", "No Disk!"}));

        *table += mountLine(card);
        frmFolderSelect picker(*rig.services, rig.shared);
        picker.Drive1->setCurrentIndex(picker.Drive1->findText("a:"));
        QCOMPARE(picker.path(), "A:\\");
        QCOMPARE(driveA(), card);
    }

    // The program's current folder, from the folder it was started in; the
    // picker opens there, on that drive.
    void currentFolder_data()
    {
        QTest::addColumn<QString>("working");  // below the test's folder
        QTest::addColumn<QString>("folder");
        QTest::newRow("inside C:") << "c/home/ann" << "C:\\home\\ann";
        QTest::newRow("C:'s root") << "c" << "C:\\";
        QTest::newRow("inside another drive") << "d/pics/2024" << "D:\\pics\\2024";
        QTest::newRow("a drive inside C: wins") << "c/mnt/e/x" << "E:\\x";
        QTest::newRow("through a link to C:") << "link-c/home" << "C:\\home";
        QTest::newRow("outside every drive") << "elsewhere/x" << "C:\\";
        QTest::newRow("a name with a backslash") << "c/odd\\name" << "C:\\";
        QTest::newRow("no working folder") << "" << "C:\\";
    }
    void currentFolder()
    {
        QFETCH(QString, working);
        QFETCH(QString, folder);
        QTemporaryDir tmp;
        const QString t = tmp.path() + '/';
        for (const char *sub : {"c/home/ann", "c/mnt/e/x", "c/odd\\name", "d/pics/2024", "elsewhere/x"})
            QDir().mkpath(t + sub);
        QFile::link(t + "c", t + "link-c");
        // C: is named through the link, the working folder comes resolved.
        QProcessEnvironment env;
        env.insert("PIXFERRY_DRIVE_C", t + "link-c");
        env.insert("PIXFERRY_DRIVE_D", t + "d");
        env.insert("PIXFERRY_DRIVE_E", t + "c/mnt/e");
        const QString host = working.isEmpty() ? QString() : QDir(t + working).canonicalPath();
        const pf::DriveMap map = pf::DriveFinder(sources(env, mounts())).map(host);
        pf::Services services(std::make_unique<pf::FileSystem>(map), nullptr);
        QCOMPARE(services.fs->drives().currentFolder(), folder);
        Module1 shared;
        frmFolderSelect picker(services, shared);
        QCOMPARE(picker.path(), folder);
        QCOMPARE(FolderTree::pathOf(picker.Dir1->openItem()), folder);
        QCOMPARE(picker.Drive1->currentText(), folder.left(1).toLower() + ':');
    }

    // The [Drives] section is read, and saving the settings leaves it be.
    void drivesSectionKept()
    {
        QSettings s;
        s.setValue("Drives/A", "/srv/card");
        s.setValue("Drives/D", "/srv/d");
        s.sync();
        pf::SettingsIo io;
        QCOMPARE(io.write("Settings", "Image Folder", "C:\\Pics\\").ok(), true);
        const pf::DriveFinder finder(sources(QProcessEnvironment(), mounts()));
        QCOMPARE(finder.decide('A').folder, "/srv/card");
        QCOMPARE(finder.decide('D').folder, "/srv/d");
        QCOMPARE(io.readSection("Drives").size(), 2);
    }
};

PIXFERRY_TEST_MAIN(TestDrives)
#include "test_drives.moc"
