// The rules of Copy Disk, without windows: names, clashes, standing choices,
// folders, failures, and destinations on the diskette.
// Real folders as drives; the questions answered by script.

#include "platform/hostnames.h"
#include "platform/picture.h"
#include "tests/support/copyworld.h"
#include "transfer/copyreport.h"

#include <cstring>

#include <fcntl.h>
#include <sys/mount.h>

using namespace copyworld;

Q_DECLARE_METATYPE(ClashChoice)
Q_DECLARE_METATYPE(CopyOutcome::End)

class TestCopyOperation : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // One picture (and a clip), its name free or taken: what the folders hold after.
    void naming_data()
    {
        QTest::addColumn<bool>("keep");
        QTest::addColumn<QString>("existing");  // in the image folder, holding "old"; none when empty
        QTest::addColumn<ClashChoice>("choice");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<CopyOutcome::End>("end");
        const auto Erased = CopyOutcome::End::Erased;
        const auto Replace = ClashChoice::Replace;
        QTest::newRow("date-time name, free")
            << false << "" << Replace << QStringList{kJulyName + "=PIC.JPG"} << Erased;
        QTest::newRow("date-time name, replace")
            << false << kJulyName << Replace << QStringList{kJulyName + "=PIC.JPG"} << Erased;
        QTest::newRow("date-time name, rename")
            << false << kJulyName << ClashChoice::Rename
            << QStringList{kJulyName + "=old", "a" + kJulyName + "=PIC.JPG"} << Erased;
        QTest::newRow("kept name, free") << true << "" << Replace << QStringList{"PIC.JPG=PIC.JPG"} << Erased;
        QTest::newRow("kept name, replace all")
            << true << "PIC.JPG" << ClashChoice::ReplaceAll << QStringList{"PIC.JPG=PIC.JPG"} << Erased;
        QTest::newRow("kept name, rename all: time in front")
            << true << "PIC.JPG" << ClashChoice::RenameAll << QStringList{"PIC.JPG=old", "a1439PIC.JPG=PIC.JPG"}
            << Erased;
        QTest::newRow("kept name, taken in small letters")
            << true << "pic.jpg" << Replace << QStringList{"pic.jpg=PIC.JPG"} << Erased;
        QTest::newRow("skip") << false << kJulyName << ClashChoice::Skip << QStringList{kJulyName + "=old"} << Erased;
        QTest::newRow("cancel") << true << "PIC.JPG" << ClashChoice::Cancel << QStringList{"PIC.JPG=old"}
                                << CopyOutcome::End::Cancelled;
    }
    void naming()
    {
        QFETCH(bool, keep);
        QFETCH(QString, existing);
        QFETCH(ClashChoice, choice);
        World w;
        w.put({"PIC.JPG", "CLIP.MPG"});
        const QString taken = keep ? "PIC.JPG" : kJulyName;
        if (!existing.isEmpty())
            writeFile(w.pic(existing), "old");
        w.script.clashes = {choice};
        QTEST(w.copy(keep).end, "end");
        QTEST(listing(w.pics()), "after");
        QCOMPARE(entries(w.clips()).size(), choice == ClashChoice::Cancel ? 0 : 1);  // no clip pass after Cancel
        QCOMPARE(w.script.asked.filter("clash"), existing.isEmpty() ? QStringList() : QStringList{"clash " + taken});
        QCOMPARE(w.m1.srcFile, existing.isEmpty() ? QString() : "a:\\PIC.JPG");
        QCOMPARE(w.m1.destFile, existing.isEmpty() ? QString() : "C:\\Pics\\" + taken);
    }

    // A standing choice settles the rest of one operation without asking,
    // and is forgotten when the next starts; a taken renamed name gets one
    // more "a"; clips keep their names, or get the time in front.
    void standingChoicesAndTakenNames()
    {
        World w;
        for (int i = 0; i < 3; ++i) {
            w.put({QString("P%1.JPG").arg(i)}, kJuly.addSecs(i));
            writeFile(w.pic(QString("07_04_2003_09050%1.JPG").arg(7 + i)), "old");
        }
        writeFile(w.pic("a07_04_2003_090508.JPG"), "old");
        w.put({"CLIP.MPG"});
        writeFile(w.clips() + "/CLIP.MPG", "old");
        writeFile(w.clips() + "/1439CLIP.MPG", "old");
        w.script.eraseDiskette = false;
        w.script.clashes = {ClashChoice::RenameAll};
        w.copy(false);
        QCOMPARE(w.script.asked, (QStringList{"clash 07_04_2003_090507.JPG", "clip renamed CLIP.MPG", "erase?"}));
        QCOMPARE(listing(w.pics()).filter("=P"), (QStringList{"a07_04_2003_090507.JPG=P0.JPG",
                                                              "a07_04_2003_090509.JPG=P2.JPG",
                                                              "aa07_04_2003_090508.JPG=P1.JPG"}));
        QCOMPARE(listing(w.clips()), (QStringList{"1439CLIP.MPG=old", "CLIP.MPG=old", "a1439CLIP.MPG=CLIP.MPG"}));
        w.script.asked.clear();
        w.script.clashes = {ClashChoice::Skip, ClashChoice::Skip, ClashChoice::Skip};
        w.copy(false);
        QCOMPARE(w.script.asked.filter("clash").size(), 3);
        QCOMPARE(w.m1.renameAll, false);
    }

    // A file that appears under the final name between the test and the
    // landing of the copy is kept: the copy takes the next free name, and
    // the closing box names it.
    void nameTakenMeanwhile()
    {
        World w;
        w.put({"PIC.JPG", "CLIP.MPG"});
        w.fs.beforeCopy = [&w](const QString &, const QString &dst) {
            if (dst.endsWith("\\" + kJulyName) || dst.endsWith("\\CLIP.MPG"))
                writeFile(w.fs.hostPath(dst).valueOr(QString()), "old");
            return pf::Status();
        };
        w.script.eraseDiskette = false;
        const CopyOutcome out = w.copy(false);
        QCOMPARE(listing(w.pics()), (QStringList{kJulyName + "=old", "a" + kJulyName + "=PIC.JPG"}));
        QCOMPARE(listing(w.clips()), (QStringList{"1439CLIP.MPG=CLIP.MPG", "CLIP.MPG=old"}));
        // No to the erase shows no box, unless there is such a copy to name.
        QCOMPARE(reportOf(out).boxText,
                 "These copies have another name than planned, because another program made a file of that name "
                 "while they were copied:\rC:\\Pics\\a" + kJulyName + " (from PIC.JPG)\rC:\\Clips\\1439CLIP.MPG (from CLIP.MPG)");
    }

    // Missing destination folders: made on request, image folder first;
    // declined or not made, nothing is copied. A pass without files is left out.
    void folders_data()
    {
        QTest::addColumn<QString>("imageFolder");
        QTest::addColumn<QString>("file");  // the one file on the diskette
        QTest::addColumn<bool>("create");
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<QStringList>("passes");
        QTest::addColumn<QStringList>("made");  // in C:\ afterwards
        const QString pics = "create C:\\Pics\\", clips = "create C:\\Clips\\";
        QTest::newRow("declined") << "C:\\Pics\\" << "P.JPG" << false << QStringList{pics} << QStringList()
                                  << QStringList();
        QTest::newRow("cannot be made")
            << "C:\\No\\Such\\" << "P.JPG" << true
            << QStringList{"create C:\\No\\Such\\", "not created C:\\No\\Such\\: No such file or directory (error 76)"}
            << QStringList() << QStringList();
        QTest::newRow("both made, pictures only") << "C:\\Pics\\" << "P.JPG" << true
                                                  << QStringList{pics, clips, "erase?"} << QStringList{"images 1"}
                                                  << QStringList{"Clips", "Pics"};
        QTest::newRow("both made, clips only") << "C:\\Pics\\" << "C.MPG" << true
                                               << QStringList{pics, clips, "erase?"} << QStringList{"clips 1"}
                                               << QStringList{"Clips", "Pics"};
    }
    void folders()
    {
        QFETCH(QString, imageFolder);
        QFETCH(QString, file);
        World w(false);
        w.m1.imageFolder = imageFolder;
        w.put({file});
        QFETCH(bool, create);
        w.script.createFolders = create;
        w.script.eraseDiskette = false;
        w.copy(false);
        QTEST(w.script.asked, "asked");
        QTEST(w.script.passes, "passes");
        QTEST(entries(w.drives.root('C')), "made");
    }

    // A failed copy is said with the file's name, which side failed and
    // why; going on copies the rest, stopping leaves it; either way no
    // erase is offered, and no copy goes to another name in silence. A
    // named pipe in a picture's place is refused at once, never waited on.
    void failures_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("goOn");
        QTest::addColumn<QString>("said");
        QTest::newRow("the image folder full, OK") << "full" << true << "No space left on device (error 61)";
        QTest::newRow("the image folder full, Cancel") << "full" << false << "No space left on device (error 61)";
        QTest::newRow("the source grows while it is copied")
            << "grows" << true << "on the diskette, changed while it was copied (error 75)";
        QTest::newRow("the source cannot be read")
            << "unreadable" << true << "on the diskette, cannot be read: permission denied (error 70)";
        QTest::newRow("a folder has the picture's name")
            << "folder" << true << "A folder (or something else that is not a file) is already named P2.JPG (error 58)";
        QTest::newRow("a pipe swapped in while the clash is asked")
            << "pipe" << true << "on the diskette, is not a regular file (error 75)";
        QTest::newRow("a link to a picture elsewhere swapped in during a copy")
            << "link elsewhere" << true << "on the diskette, is not a regular file (error 75)";
        QTest::newRow("a link to /etc/passwd swapped in during a copy")
            << "link passwd" << true << "on the diskette, is not a regular file (error 75)";
        QTest::newRow("a link swapped in under the name in small letters")
            << "link small" << true << "on the diskette, is not a regular file (error 75)";
    }
    void failures()
    {
        QFETCH(QString, fault);
        QFETCH(bool, goOn);
        World w;
        w.put({"P1.JPG", "P2.JPG", "P3.JPG"});
        w.fs.beforeCopy = [&](const QString &src, const QString &dst) {
            if (!src.endsWith("P2.JPG"))
                return pf::Status();
            if (fault == "unreadable")  // as root a file cannot be made unreadable: what the system reports is staged
                return pf::Status(pf::sourceError(EACCES, src));
            return fault == "full" ? fail(ENOSPC, dst) : pf::Status();
        };
        const QString elsewhere = w.drives.root('C') + "/ELSEWHERE.JPG";
        writeFile(elsewhere, "elsewhere");
        w.fs.duringCopy = [&](const QString &src) {
            QFile f(w.onDisk("P2.JPG"));
            if (fault == "grows" && src.endsWith("P2.JPG") && f.open(QIODevice::Append))
                f.write("more");
            if (fault.startsWith("link") && src.endsWith("P1.JPG")) {
                QFile::remove(w.onDisk("P2.JPG"));
                QFile::link(fault == "link passwd" ? "/etc/passwd" : elsewhere,
                            w.onDisk(fault == "link small" ? "p2.jpg" : "P2.JPG"));
            }
        };
        if (fault == "folder")
            QDir(w.pics()).mkdir("P2.JPG");
        if (fault == "pipe") {
            writeFile(w.pic("P2.JPG"), "old");
            w.script.clashes = {ClashChoice::Replace};
            w.script.atClash = [&w] {
                QFile::remove(w.onDisk("P2.JPG"));
                makeFifo(w.onDisk("P2.JPG"));
            };
        }
        w.script.failed = {goOn ? FailedChoice::GoOn : FailedChoice::Stop};
        PipeGuard guard(w.onDisk("P2.JPG"), fault == "pipe" ? 1000 : 600000);  // a file is never let go in time
        const CopyOutcome out = w.copy(true);
        guard.done();
        QCOMPARE(guard.letGo(), false);
        QFETCH(QString, said);
        QCOMPARE(w.script.asked.filter("failed"), QStringList{"failed P2.JPG: " + said});
        if (fault.startsWith("link"))
            QCOMPARE(entries(w.pics()).contains("P2.JPG"), false);  // the link's target copied as a picture
        QCOMPARE(out.end, CopyOutcome::End::Failed);
        QCOMPARE(out.notCopied, QStringList{"P2.JPG"});
        QCOMPARE(out.stopped, !goOn);
        QCOMPARE(listing(w.pics()).filter("=P"), QStringList({"P1.JPG=P1.JPG", "P3.JPG=P3.JPG"}).mid(0, goOn ? 2 : 1));
        QCOMPARE(entries(w.a()), (QStringList{"P1.JPG", fault == "link small" ? "P3.JPG" : "P2.JPG",
                                              fault == "link small" ? "p2.jpg" : "P3.JPG"}));
    }

    // A destination on the diskette, or inside it through a link or the
    // drive mapping: refused, nothing copied, nothing erased.
    void destinationOnDiskette_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("image folder A:\\") << "A:\\";
        QTest::newRow("image folder below A:\\, not made yet") << "A:\\DCIM\\New\\";
        QTest::newRow("image folder a link into the diskette") << "link";
        QTest::newRow("drive A: mapped onto the image folder") << "mapped";
        QTest::newRow("video folder a link to the diskette") << "video link";
        QTest::newRow("image folder shows a diskette folder, after the mount table") << "table";
        QTest::newRow("image folder a bind mount of a diskette folder") << "bind";
    }
    void destinationOnDiskette()
    {
        QFETCH(QString, how);
        World w;
        QByteArray bound;  // a bind mount made for the row, undone at the end
        const auto unbind = qScopeGuard([&] {
            if (!bound.isEmpty())
                ::umount2(bound.constData(), MNT_DETACH);
        });
        QDir(w.a()).mkpath("DCIM");
        if (how.startsWith("A:")) {
            w.m1.imageFolder = how;
        } else if (how == "link") {
            QFile::link(w.a() + "/DCIM", w.drives.root('C') + "/Into");
            w.m1.imageFolder = "C:\\Into\\";
        } else if (how == "video link") {
            QFile::link(w.a(), w.drives.root('C') + "/Into");
            w.m1.videoFolder = "C:\\Into\\";
        } else if (how == "table") {
            const QByteArray table = bindMountTable(w.a() + "/DCIM", w.pics());
            w.fs.setMountTable([table] { return table; });
        } else if (how == "bind") {
            if (::mount(QFile::encodeName(w.a() + "/DCIM").constData(), QFile::encodeName(w.pics()).constData(),
                        nullptr, MS_BIND, nullptr) != 0)
                QSKIP(qPrintable("a bind mount cannot be made here: " + QString::fromLocal8Bit(std::strerror(errno))));
            bound = QFile::encodeName(w.pics());
        } else {
            w.fs.drives().setDrive('A', w.pics());
        }
        const QString disk = w.fs.hostPath("a:\\").valueOr(QString());
        writeFile(disk + "/P1.JPG", "P1");
        writeFile(disk + "/CLIP.MPG", "clip");
        const QString top = w.drives.root('C') + "/..";
        const QStringList before = tree(top);
        QCOMPARE(w.copy(true).end, CopyOutcome::End::FolderRefused);
        QCOMPARE(w.script.asked.size(), 1);
        QCOMPARE(w.script.asked.first().section(' ', 0, 1), "on diskette");
        QCOMPARE(tree(top), before);
    }

    // A name written under another code page ("F\xe9te.jpg"): copied under
    // its own bytes (or its date name), checked and erased by them, and
    // opened as a picture by them.
    void latin1Name_data()
    {
        QTest::addColumn<bool>("keep");
        QTest::addColumn<QByteArray>("copyName");
        QTest::newRow("names kept") << true << QByteArray("F\xe9te.jpg");
        QTest::newRow("date-time names") << false << QByteArray("07_04_2003_090507.jpg");
    }
    void latin1Name()
    {
        QFETCH(bool, keep);
        QFETCH(QByteArray, copyName);
        World w;
        const QString name = pf::fromHostName("F\xe9te.jpg");
        makeJpeg(w.onDisk("made.jpg"), 40, 30, kJuly);
        QCOMPARE(::rename(QFile::encodeName(w.onDisk("made.jpg")), pf::toHostName(w.onDisk(name))), 0);
        const pf::Result<pf::Picture> loaded = pf::loadPicture(w.fs, "a:\\" + name);
        QCOMPARE(loaded.ok() ? loaded->natural : QSize(), QSize(40, 30));
        QCOMPARE(w.lists().images, QStringList{name});
        QCOMPARE(w.copy(keep).end, CopyOutcome::End::Erased);
        QCOMPARE(rawEntries(w.pics()), QList<QByteArray>{copyName});
        QCOMPARE(rawEntries(w.a()), QList<QByteArray>{});  // erased only after its copy was read back equal
    }


    // A picture whose name differs from one in the image folder only in a
    // byte that is not UTF-8 has a name of its own: no clash, both kept.
    void namesDifferingInOneByte()
    {
        World w;
        writeFile(w.onDisk("made.jpg"), "diskette");
        writeFile(w.pic("made.jpg"), "other");
        QCOMPARE(::rename(QFile::encodeName(w.onDisk("made.jpg")), "" + QFile::encodeName(w.a()) + "/F\xe9te.jpg"), 0);
        QCOMPARE(::rename(QFile::encodeName(w.pic("made.jpg")), "" + QFile::encodeName(w.pics()) + "/F\xe8te.jpg"), 0);
        w.script.clashes = {ClashChoice::Replace};
        QCOMPARE(w.copy(true).end, CopyOutcome::End::Erased);
        QCOMPARE(w.script.asked, QStringList{"erase?"});
        QCOMPARE(rawEntries(w.pics()), (QList<QByteArray>{"F\xe8te.jpg", "F\xe9te.jpg"}));
        QFile other;
        const int fd = ::open(QFile::encodeName(w.pics()) + "/F\xe8te.jpg", O_RDONLY | O_CLOEXEC);
        QVERIFY2(fd >= 0 && other.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle), "the other picture is gone");
        QCOMPARE(other.readAll(), "other");
    }
};

PIXFERRY_CORE_TEST_MAIN(TestCopyOperation)
#include "test_copyoperation.moc"
