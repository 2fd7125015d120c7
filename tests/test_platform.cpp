// Drive mapping, lists, look-ups and the copy's safety, on temporary folders.

#include "platform/files.h"
#include "platform/lists.h"
#include "tests/support/testkit.h"

#include <QDir>

#include <tuple>

#include <sys/stat.h>

using namespace testkit;


class TestPlatform : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void driveMapping()
    {
        Drives d;
        pf::FileSystem fs(d.map());
        QDir(d.root('C')).mkpath(QStringLiteral("Pics/Holiday"));
        writeFile(d.root('C') + QStringLiteral("/Pics/Holiday/Beach.JPG"), "x");

        // "\" names the root of drive C:, '/' is a separator like '\'.
        QCOMPARE(*fs.hostPath(QStringLiteral("\\")), d.root('C'));
        QCOMPARE(*fs.hostPath(QStringLiteral("c:/Pics\\Holiday")), d.root('C') + QStringLiteral("/Pics/Holiday"));
        // Names are found without regard to case; missing parts stay as written.
        QCOMPARE(*fs.hostPath(QStringLiteral("C:\\PICS\\holiday\\beach.jpg")),
                 d.root('C') + QStringLiteral("/Pics/Holiday/Beach.JPG"));
        QCOMPARE(*fs.hostPath(QStringLiteral("C:\\pics\\New\\x.jpg")), d.root('C') + QStringLiteral("/Pics/New/x.jpg"));
        writeFile(d.root('C') + QStringLiteral("/Pics/Holiday/Caf\u00e9.JPG"), "x");  // beyond ASCII too
        QCOMPARE(*fs.hostPath(QStringLiteral("C:\\pics\\holiday\\CAF\u00c9.jpg")),
                 d.root('C') + QStringLiteral("/Pics/Holiday/Caf\u00e9.JPG"));
        // ".." never climbs out of a drive.
        QCOMPARE(*fs.hostPath(QStringLiteral("a:\\..\\..\\etc")), d.root('A') + QStringLiteral("/etc"));
        QCOMPARE(fs.drives().toProgram(d.root('C') + QStringLiteral("/Pics/Holiday")), QStringLiteral("C:\\Pics\\Holiday"));
        QCOMPARE(fs.drives().toProgram(d.root('A')), QStringLiteral("A:\\"));

        // An unmapped letter and a missing folder are "device unavailable".
        QCOMPARE(fs.hostPath(QStringLiteral("q:\\x")).error().number, int(pf::ErrDeviceUnavailable));
        QCOMPARE(fs.selectDrive('Q').error().number, int(pf::ErrDeviceUnavailable));
        d.makeNotReady('A');
        pf::FileSystem notReady(d.map());
        QCOMPARE(notReady.selectDrive('a').error().number, int(pf::ErrDeviceUnavailable));
        QCOMPARE(notReady.findFirst(QStringLiteral("a:\\*.jpg"), 0).error().number, int(pf::ErrDeviceUnavailable));
        QCOMPARE(notReady.folderExists(QStringLiteral("a:\\")).error().number, int(pf::ErrDeviceUnavailable));
    }

    void listsAndLookups()
    {
        Drives d;
        pf::FileSystem fs(d.map());
        const QString a = d.root('A');
        writeFile(a + QStringLiteral("/b.JPG"), "1");
        writeFile(a + QStringLiteral("/A.jpg"), "2");
        writeFile(a + QStringLiteral("/c.jpeg"), "3");
        writeFile(a + QStringLiteral("/.hidden.jpg"), "4");
        writeFile(a + QStringLiteral("/clip.MPG"), "5");
        writeFile(a + QStringLiteral("/.x.411"), "6");
        QDir(a).mkpath(QStringLiteral("sub.jpg"));
        QFile::link(a + QStringLiteral("/b.JPG"), a + QStringLiteral("/link.jpg"));

        // Plain files only, sorted by name without regard to case.
        QCOMPARE(*fs.listFiles(QStringLiteral("a:\\"), QStringLiteral("*.jpg")),
                 (QStringList{QStringLiteral("A.jpg"), QStringLiteral("b.JPG")}));
        QCOMPARE(*fs.listFiles(QStringLiteral("a:\\"), QStringLiteral("*.411")), QStringList());
        QCOMPARE(*fs.listFiles(QStringLiteral("a:\\"), QStringLiteral("*.411"), true), QStringList{QStringLiteral(".x.411")});
        QCOMPARE(*fs.findFirst(QStringLiteral("a:\\*.mpg"), pf::FindPlainFiles), QStringLiteral("clip.MPG"));
        QCOMPARE(*fs.findFirst(QStringLiteral("a:\\*.gif"), pf::FindPlainFiles), QString());
        QCOMPARE(fs.listFiles(QStringLiteral("a:\\nowhere"), QStringLiteral("*.*")).error().number, int(pf::ErrPathNotFound));

        // The folder existence test.
        QCOMPARE(*fs.folderExists(QStringLiteral("a:\\sub.jpg\\")), true);
        QCOMPARE(*fs.folderExists(QStringLiteral("a:\\SUB.JPG")), true);
        QCOMPARE(*fs.folderExists(QStringLiteral("a:\\none\\")), false);
        QCOMPARE(*fs.folderExists(QStringLiteral("a:\\b.JPG\\")), false);

        pf::FileList list(fs, QStringLiteral("*.JPG"));
        list.setPath(QStringLiteral("a:\\"));
        QVERIFY(list.refresh().ok());
        QCOMPARE(list.listCount(), 2);
        QCOMPARE(list.list(1), QStringLiteral("b.JPG"));
        QCOMPARE(list.list(5), QString());

        QCOMPARE(*fs.fileLength(QStringLiteral("a:\\A.jpg")), qint64(1));
        const QDateTime when(QDate(2003, 7, 4), QTime(9, 5, 7));
        writeFile(a + QStringLiteral("/dated.jpg"), "x", when);
        QCOMPARE(*fs.fileDate(QStringLiteral("a:\\DATED.JPG")), when);
        QCOMPARE(fs.fileDate(QStringLiteral("a:\\gone.jpg")).error().number, int(pf::ErrFileNotFound));

        // Make folder: one level, the parent must exist.
        QVERIFY(fs.makeFolder(QStringLiteral("c:\\New")).ok());
        QVERIFY(QFileInfo(d.root('C') + QStringLiteral("/New")).isDir());
        QCOMPARE(fs.makeFolder(QStringLiteral("c:\\x\\y")).error().number, int(pf::ErrPathNotFound));
    }

    void copySafety()
    {
        Drives d;
        pf::FileSystem fs(d.map());
        const QString a = d.root('A'), c = d.root('C');
        const QDateTime when(QDate(2004, 1, 1), QTime(0, 0, 0));
        writeFile(a + QStringLiteral("/new.jpg"), QByteArray(3 << 20, 'n'), when);
        writeFile(c + QStringLiteral("/old.jpg"), "old");

        // A fresh copy keeps the content and the source's date.
        QVERIFY(fs.copyFile(QStringLiteral("a:\\new.jpg"), QStringLiteral("c:\\fresh.jpg"), pf::CopyMode::NoReplace).ok());
        QCOMPARE(readFile(c + QStringLiteral("/fresh.jpg")), QByteArray(3 << 20, 'n'));
        QCOMPARE(QFileInfo(c + QStringLiteral("/fresh.jpg")).lastModified(), when);

        // Without replace, an existing file stays as it was.
        const pf::Status refused = fs.copyFile(QStringLiteral("a:\\new.jpg"), QStringLiteral("c:\\old.jpg"), pf::CopyMode::NoReplace);
        QCOMPARE(refused.error().number, int(pf::ErrFileExists));
        QCOMPARE(readFile(c + QStringLiteral("/old.jpg")), QByteArray("old"));

        // A copy that fails (the source is gone) leaves the destination intact
        // and no partial file behind.
        const pf::Status failed = fs.copyFile(QStringLiteral("a:\\missing.jpg"), QStringLiteral("c:\\old.jpg"), pf::CopyMode::Replace);
        QCOMPARE(failed.error().number, int(pf::ErrFileNotFound));
        QCOMPARE(readFile(c + QStringLiteral("/old.jpg")), QByteArray("old"));
        // A destination folder that does not exist.
        QVERIFY(!fs.copyFile(QStringLiteral("a:\\new.jpg"), QStringLiteral("c:\\nofolder\\x.jpg"), pf::CopyMode::Replace).ok());

        // Replace, when asked for, replaces.
        QVERIFY(fs.copyFile(QStringLiteral("a:\\new.jpg"), QStringLiteral("c:\\old.jpg"), pf::CopyMode::Replace).ok());
        QCOMPARE(readFile(c + QStringLiteral("/old.jpg")).size(), 3 << 20);
        QCOMPARE(entries(c), (QStringList{QStringLiteral("fresh.jpg"), QStringLiteral("old.jpg")}));
    }

    // In a batch the folders are held open and their listings remembered,
    // yet what someone else changes meanwhile is seen: a name taken in
    // another letter case stays untouched, a file added is listed.
    void batchSeesOthersChanges()
    {
        Drives d;
        pf::FileSystem fs(d.map());
        const QString c = d.root('C');
        const QDateTime when(QDate(2003, 7, 4), QTime(9, 5, 7));
        writeFile(d.root('A') + QStringLiteral("/P.JPG"), "p", when);
        pf::FileSystem::Batch batch(fs);
        QVERIFY(!fs.fileExists(QStringLiteral("c:\\X.JPG")));
        QCOMPARE(*fs.listFiles(QStringLiteral("c:\\"), QStringLiteral("*.jpg")), QStringList());
        QCOMPARE(*fs.fileDate(QStringLiteral("a:\\P.JPG")), when);

        QTest::qSleep(50);
        writeFile(c + QStringLiteral("/x.jpg"), "theirs");
        writeFile(c + QStringLiteral("/\u00e4rger.jpg"), "theirs");
        QVERIFY(fs.fileExists(QStringLiteral("c:\\X.JPG")));
        QVERIFY(fs.fileExists(QStringLiteral("c:\\\u00c4RGER.JPG")));
        QCOMPARE(fs.copyFile(QStringLiteral("a:\\P.JPG"), QStringLiteral("c:\\X.JPG"), pf::CopyMode::NoReplace).error().number,
                 int(pf::ErrFileExists));
        QCOMPARE(*fs.listFiles(QStringLiteral("c:\\"), QStringLiteral("*.jpg")),
                 (QStringList{QStringLiteral("x.jpg"), QStringLiteral("\u00e4rger.jpg")}));

        // Its own copies are found at once, in any case too.
        QVERIFY(fs.copyFile(QStringLiteral("a:\\P.JPG"), QStringLiteral("c:\\New.JPG"), pf::CopyMode::NoReplace).ok());
        QVERIFY(fs.fileExists(QStringLiteral("c:\\NEW.jpg")));
        QCOMPARE(entries(c), (QStringList{QStringLiteral("New.JPG"), QStringLiteral("x.jpg"), QStringLiteral("\u00e4rger.jpg")}));
        QCOMPARE(readFile(c + QStringLiteral("/x.jpg")), QByteArray("theirs"));
        QCOMPARE(QFileInfo(c + QStringLiteral("/New.JPG")).lastModified(), when);
    }

    void copyToFullDisk()
    {
        // A small file system that really fills up, where the machine lets us
        // make one; elsewhere this case is covered by the copy tests' seam.
        if (::geteuid() != 0)
            QSKIP("needs root to mount a small file system");
        Drives d;
        const QString small = d.root('D');
        if (QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                                         QStringLiteral("size=1m"), QStringLiteral("tmpfs"), small}) != 0)
            QSKIP("cannot mount a small file system here");
        pf::FileSystem fs(d.map());
        writeFile(d.root('A') + QStringLiteral("/big.mpg"), QByteArray(3 << 20, 'b'));
        writeFile(d.root('A') + QStringLiteral("/small.jpg"), QByteArray(600 << 10, 's'));
        writeFile(small + QStringLiteral("/big.mpg"), "keep me");
        writeFile(small + QStringLiteral("/filler"), QByteArray(700 << 10, 'f'));
        // Replacing, and new copies both large and small (each made its own
        // way): the disk fills up, the old file stays, no part is left.
        for (const auto &[from, to, mode] : {std::tuple{"a:\\big.mpg", "d:\\big.mpg", pf::CopyMode::Replace},
                                             std::tuple{"a:\\big.mpg", "d:\\new.mpg", pf::CopyMode::NoReplace},
                                             std::tuple{"a:\\small.jpg", "d:\\new.jpg", pf::CopyMode::NoReplace}}) {
            const pf::Status s = fs.copyFile(QString::fromLatin1(from), QString::fromLatin1(to), mode);
            QCOMPARE(s.error().number, int(pf::ErrDiskFull));
            QCOMPARE(readFile(small + QStringLiteral("/big.mpg")), QByteArray("keep me"));
            QCOMPARE(entries(small), (QStringList{QStringLiteral("big.mpg"), QStringLiteral("filler")}));
        }
        QProcess::execute(QStringLiteral("umount"), {small});
    }
};

PIXFERRY_TEST_MAIN(TestPlatform)
#include "test_platform.moc"
