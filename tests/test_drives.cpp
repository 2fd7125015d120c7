// Where the drive letters point: the variable, the [Drives] section, the
// medium the desktop mounted, the defaults; a card put in while the program
// runs; the program's current folder and the folder picker opening there.

#include "platform/drivefinder.h"
#include "settings/frmfolderselect.h"
#include "tests/support/testkit.h"

#include <QDir>
#include <QSettings>

#include <memory>

using namespace testkit;

using Origin = pf::DriveFinder::Origin;
Q_DECLARE_METATYPE(Origin)

namespace {

// One mountinfo line, the mount point escaped as the kernel writes it.
QByteArray mountLine(int id, const QString &point, const char *type = "vfat")
{
    QByteArray p = QFile::encodeName(point);
    p.replace("\\", "\\134").replace(" ", "\\040").replace("\t", "\\011");
    return QByteArray::number(id) + " 28 8:17 / " + p + " rw,nosuid,nodev - " + type + " /dev/sdb1 rw\n";
}

// The table of a machine with nothing but its own disks mounted.
QByteArray systemMounts()
{
    return mountLine(27, QStringLiteral("/"), "ext4") + mountLine(30, QStringLiteral("/home"), "ext4")
        + mountLine(31, QStringLiteral("/run/user/1000"), "tmpfs");
}

void storeDrives(const QList<std::pair<QString, QString>> &entries)
{
    QSettings s;
    s.remove(QStringLiteral("Drives"));
    for (const auto &[key, value] : entries)
        s.setValue(QStringLiteral("Drives/") + key, value);
    s.sync();
}

pf::DriveSources sources(const QProcessEnvironment &env, const QByteArray &table, const QString &user = QStringLiteral("ann"))
{
    pf::DriveSources s;
    s.env = env;
    s.mountTable = [table] { return table; };
    s.mediaRoots = pf::mediaRootsFor(user);
    return s;
}

// Opens the picker over a file system, reads where it opened, and closes it.
struct PickerStart {
    QString folder, drive, openEntry;
};
PickerStart pickerStart(pf::Services &services)
{
    Module1 shared;
    frmFolderSelect picker(services, shared);
    return {picker.path(), picker.Drive1->currentText(), FolderTree::pathOf(picker.Dir1->openItem())};
}

}  // namespace

class TestDrives : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { clearSettings(); }

    void driveOrder_data()
    {
        QTest::addColumn<QChar>("letter");
        QTest::addColumn<QString>("variable");  // name=value, or empty
        QTest::addColumn<QString>("section");   // key=value in [Drives], or empty
        QTest::addColumn<QByteArray>("mounts");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<Origin>("origin");

        const QByteArray card = mountLine(40, QStringLiteral("/run/media/ann/CARD"));
        const QByteArray media = systemMounts() + card + mountLine(41, QStringLiteral("/media/ann/STICK"));
        QTest::newRow("variable over everything") << QChar('A') << "PIXFERRY_DRIVE_A=/srv/disk" << "A=/srv/conf"
                                                  << media << "/srv/disk" << Origin::Variable;
        QTest::newRow("variable with a small letter") << QChar('A') << "PIXFERRY_DRIVE_a=/srv/small" << ""
                                                      << media << "/srv/small" << Origin::Variable;
        QTest::newRow("settings over the medium") << QChar('A') << "" << "A=/srv/conf" << media << "/srv/conf"
                                                  << Origin::Settings;
        QTest::newRow("settings key in small letters") << QChar('A') << "" << "a=/srv/conf" << media << "/srv/conf"
                                                       << Origin::Settings;
        QTest::newRow("empty variable counts as none") << QChar('A') << "PIXFERRY_DRIVE_A=" << "A=/srv/conf"
                                                       << media << "/srv/conf" << Origin::Settings;
        QTest::newRow("empty setting counts as none") << QChar('A') << "" << "A=" << media << "/media/ann/STICK"
                                                      << Origin::Medium;
        QTest::newRow("the medium mounted last") << QChar('A') << "" << "" << media << "/media/ann/STICK"
                                                 << Origin::Medium;
        QTest::newRow("order of lines, not of roots")
            << QChar('A') << "" << "" << systemMounts() + mountLine(41, QStringLiteral("/media/ann/STICK")) + card
            << "/run/media/ann/CARD" << Origin::Medium;
        QTest::newRow("a blank in the label") << QChar('A') << "" << ""
                                              << systemMounts() + mountLine(40, QStringLiteral("/media/ann/MY DISK"))
                                              << "/media/ann/MY DISK" << Origin::Medium;
        QTest::newRow("plain /media") << QChar('A') << "" << ""
                                      << systemMounts() + mountLine(40, QStringLiteral("/media/usb0"))
                                      << "/media/usb0" << Origin::Medium;
        QTest::newRow("no medium: the default") << QChar('A') << "" << "" << systemMounts() << "/media/floppy"
                                                << Origin::Default;
        QTest::newRow("no mount table") << QChar('A') << "" << "" << QByteArray() << "/media/floppy"
                                        << Origin::Default;
        QTest::newRow("the user's own folder is no medium")
            << QChar('A') << "" << "" << systemMounts() + mountLine(40, QStringLiteral("/media/ann"))
            << "/media/floppy" << Origin::Default;
        QTest::newRow("another user's medium") << QChar('A') << "" << ""
                                               << systemMounts() + mountLine(40, QStringLiteral("/run/media/bob/X"))
                                               << "/media/floppy" << Origin::Default;
        QTest::newRow("deeper than a medium")
            << QChar('A') << "" << "" << systemMounts() + mountLine(40, QStringLiteral("/media/ann/DISK/inner"))
            << "/media/floppy" << Origin::Default;
        QTest::newRow("an automount placeholder")
            << QChar('A') << "" << "" << systemMounts() + mountLine(40, QStringLiteral("/media/floppy0"), "autofs")
            << "/media/floppy" << Origin::Default;
        QTest::newRow("C: from the variable") << QChar('C') << "PIXFERRY_DRIVE_C=/srv/c" << "C=/srv/conf" << media
                                              << "/srv/c" << Origin::Variable;
        QTest::newRow("C: from settings") << QChar('C') << "" << "C=/srv/conf" << media << "/srv/conf"
                                          << Origin::Settings;
        QTest::newRow("C: never the medium") << QChar('C') << "" << "" << media << "/" << Origin::Default;
        QTest::newRow("D: from settings") << QChar('D') << "" << "D=/srv/d" << media << "/srv/d" << Origin::Settings;
        QTest::newRow("D: nowhere") << QChar('D') << "" << "" << media << "" << Origin::None;
        QTest::newRow("home in settings") << QChar('E') << "" << "E=~/pics" << media << QDir::homePath() + "/pics"
                                          << Origin::Settings;
        QTest::newRow("a comma in settings") << QChar('E') << "" << "E=/srv/a,b" << media << "/srv/a,b"
                                             << Origin::Settings;
    }

    void driveOrder()
    {
        QFETCH(QChar, letter);
        QFETCH(QString, variable);
        QFETCH(QString, section);
        QFETCH(QByteArray, mounts);
        QFETCH(QString, folder);
        QFETCH(Origin, origin);

        QProcessEnvironment env;
        env.insert(QStringLiteral("PIXFERRY_DRIVE_B"), QStringLiteral("/srv/other"));
        if (!variable.isEmpty())
            env.insert(variable.section(QLatin1Char('='), 0, 0), variable.section(QLatin1Char('='), 1));
        // A settings file of its own for each row, as a user writes it by hand.
        pf::DriveSources src = sources(env, mounts);
        src.settings = pf::SettingsIo(QStringLiteral("PixferryTest"), QString::fromLatin1(QTest::currentDataTag()));
        QFile file(src.settings.location());
        QDir().mkpath(QFileInfo(file).path());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[Settings]\nRename=True\n\n[Drives]\n" + section.toUtf8() + "\n");
        file.close();

        const pf::DriveFinder finder(src);
        const pf::DriveFinder::Decision d = finder.decide(letter);
        QCOMPARE(d.folder, folder);
        QCOMPARE(pf::DriveFinder::describe(d.origin, letter), pf::DriveFinder::describe(origin, letter));
        // The map holds the same.
        QCOMPARE(finder.map().hostRoot(letter), folder);
    }

    void mediaRoots()
    {
        QCOMPARE(pf::mediaRootsFor(QStringLiteral("ann")),
                 (QStringList{QStringLiteral("/run/media/ann"), QStringLiteral("/media/ann"), QStringLiteral("/media")}));
        QCOMPARE(pf::mediaRootsFor(QString()), QStringList{QStringLiteral("/media")});
        // A name that is not one folder is not used.
        QCOMPARE(pf::mediaRootsFor(QStringLiteral("../x")), QStringList{QStringLiteral("/media")});
        QCOMPARE(pf::mediaRootsFor(QStringLiteral("..")), QStringList{QStringLiteral("/media")});

        // Lines that are not mountinfo lines are passed over.
        const QByteArray junk = "garbage\n\n1 2 3\n40 28 8:17 / relative rw - vfat /dev/x rw\n"
                                "41 28 8:17 / /media/ann/NODASH rw shared:1 vfat /dev/x rw\n"
            + mountLine(42, QStringLiteral("/media/ann/TAB\tAND\\SLASH"));
        const QList<pf::Mount> parsed = pf::parseMountInfo(junk);
        QCOMPARE(parsed.size(), 1);
        QCOMPARE(parsed.first().point, QStringLiteral("/media/ann/TAB\tAND\\SLASH"));
        QCOMPARE(parsed.first().type, QStringLiteral("vfat"));
    }

    // The real probe, through Check Disk: no medium at first ("No Disk!"),
    // a card put in while the box is up, a second one later, then both
    // taken out again.
    void mediumInsertedAfterStart()
    {
        storeSetting(QStringLiteral("Splash Screen"), QStringLiteral("False"));
        if (QFileInfo::exists(QStringLiteral("/media/floppy")))
            QSKIP("this machine has a /media/floppy, the fallback of drive A:");
        Rig rig;
        const QString media = rig.c() + QStringLiteral("/media");
        auto table = std::make_shared<QByteArray>(systemMounts());
        pf::DriveSources src = sources(QProcessEnvironment(), {});
        src.env.insert(QStringLiteral("PIXFERRY_DRIVE_C"), rig.c());
        src.mountTable = [table] { return *table; };
        src.mediaRoots = QStringList{media + QStringLiteral("/ann"), media};
        rig.rebuildServices(std::make_unique<pf::FileSystem>(pf::DriveFinder(src).map()));
        frmMain &w = rig.openMain();
        QCOMPARE(rig.services->fs->drives().hostRoot('A'), QStringLiteral("/media/floppy"));

        auto insert = [&](int id, const QString &label, int pictures) {
            const QString point = media + QStringLiteral("/ann/") + label;
            QDir().mkpath(point);
            for (int i = 0; i < pictures; ++i)
                makeJpeg(point + QStringLiteral("/PIC%1.JPG").arg(i), 8, 8);
            *table += mountLine(id, point);
            return point;
        };
        QString card;
        rig.prompt.onBox = [&](const ShownBox &box) {
            if (box.title == QStringLiteral("No Disk!") && card.isEmpty())
                card = insert(40, QStringLiteral("CARD"), 2);
        };
        rig.prompt.answers = {pf::AnsOk};
        rig.prompt.fallback = pf::AnsCancel;
        w.Command12_Click();
        QCOMPARE(rig.prompt.titles(), QStringList{QStringLiteral("No Disk!")});
        QCOMPARE(w.Label3[0]->text(), QStringLiteral("2"));
        QCOMPARE(rig.services->fs->drives().hostRoot('A'), card);

        // A second medium, mounted later, is the one the next probe takes.
        const QString stick = insert(41, QStringLiteral("STICK"), 3);
        rig.prompt.onBox = {};
        w.Command12_Click();
        QCOMPARE(w.Label3[0]->text(), QStringLiteral("3"));
        QCOMPARE(rig.services->fs->drives().hostRoot('A'), stick);
        QCOMPARE(rig.prompt.boxes.size(), 1);

        // Taken out again: back to the empty drive.
        *table = systemMounts();
        rig.prompt.answers = {pf::AnsCancel};
        w.Command12_Click();
        QCOMPARE(rig.prompt.titles(), (QStringList{QStringLiteral("No Disk!"), QStringLiteral("No Disk!")}));
        QCOMPARE(w.Label3[0]->text(), QStringLiteral("3"));

        // The picker's drive list looks again too.
        *table += mountLine(42, card);
        Module1 shared;
        frmFolderSelect picker(*rig.services, shared);
        picker.Drive1->setCurrentIndex(picker.Drive1->findText(QStringLiteral("a:")));
        QCOMPARE(picker.path(), QStringLiteral("A:\\"));
        QCOMPARE(rig.services->fs->drives().hostRoot('A'), card);
    }

    void currentFolder_data()
    {
        QTest::addColumn<QString>("working");  // below the test's folder; "/..." as it is
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
        const QString t = tmp.path();
        for (const char *sub : {"c/home/ann", "c/mnt/e/x", "c/odd\\name", "d/pics/2024", "elsewhere/x"})
            QDir().mkpath(t + QLatin1Char('/') + QString::fromLatin1(sub));
        QVERIFY(QFile::link(t + QStringLiteral("/c"), t + QStringLiteral("/link-c")));

        // C: is named through the link, the working folder comes resolved.
        QProcessEnvironment env;
        env.insert(QStringLiteral("PIXFERRY_DRIVE_C"), t + QStringLiteral("/link-c"));
        env.insert(QStringLiteral("PIXFERRY_DRIVE_D"), t + QStringLiteral("/d"));
        env.insert(QStringLiteral("PIXFERRY_DRIVE_E"), t + QStringLiteral("/c/mnt/e"));
        const QString host = working.isEmpty() ? QString() : QDir(t + QLatin1Char('/') + working).canonicalPath();
        pf::FileSystem fs(pf::DriveFinder(sources(env, systemMounts())).map(host));
        QCOMPARE(fs.drives().currentFolder(), folder);

        // The picker opens there, on that drive.
        pf::Services services(std::make_unique<pf::FileSystem>(fs.drives()), nullptr);
        const PickerStart start = pickerStart(services);
        QCOMPARE(start.folder, folder);
        QCOMPARE(start.openEntry, folder);
        QCOMPARE(start.drive, QString(folder.at(0).toLower()) + QLatin1Char(':'));
    }

    // The [Drives] section is read, and saving the settings leaves it be.
    void drivesSectionKept()
    {
        storeDrives({{QStringLiteral("A"), QStringLiteral("/srv/card")}, {QStringLiteral("D"), QStringLiteral("/srv/d")}});
        pf::SettingsIo io;
        QVERIFY(io.write(QStringLiteral("Settings"), QStringLiteral("Image Folder"), QStringLiteral("C:\\Pics\\")).ok());
        const pf::DriveFinder finder(sources(QProcessEnvironment(), systemMounts()));
        QCOMPARE(finder.decide('A').folder, QStringLiteral("/srv/card"));
        QCOMPARE(finder.decide('D').folder, QStringLiteral("/srv/d"));
        QCOMPARE(io.readSection(QStringLiteral("Drives")).size(), 2);
    }
};

PIXFERRY_TEST_MAIN(TestDrives)
#include "test_drives.moc"
