// The erase never deletes a picture that exists nowhere else, and nothing
// outside the image folder, the video folder and the diskette's root is ever
// created, replaced or deleted, whatever the diskette holds.

#include "tests/support/copykit.h"
#include "transfer/copyjob.h"
#include "transfer/erase.h"

#include <QDirIterator>
#include <QRandomGenerator>

#include <unistd.h>

using namespace testkit;

namespace {

const QDateTime kJuly(QDate(2003, 7, 4), QTime(9, 5, 7));
const QString kJulyName = "07_04_2003_090507.JPG";
const QString kErase = "Erase Source Diskette?";
const QString kCrafted = "x\\..\\..\\Outside\\planted.jpg";

// Every file and folder below `top` as "path=content" (folders as "path/"),
// sorted: what a test compares before and after.
QStringList tree(const QString &top)
{
    QStringList out;
    QDirIterator it(top, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        const QString rel = path.mid(top.size());
        out << (info.isDir() && !info.isSymLink() ? rel + '/' : rel + '=' + readFile(path));
    }
    out.sort();
    return out;
}

// The files of a folder whose content is `bytes`.
QStringList holding(const QString &folder, const QByteArray &bytes)
{
    QStringList out;
    for (const QString &name : entries(folder))
        if (readFile(folder + '/' + name) == bytes)
            out << name;
    return out;
}

}  // namespace

class TestEraseSafety : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // One file of each outcome beside a picture that is copied as usual;
    // Yes to the erase. Whether the file is still on the diskette, and the
    // box that ends the operation.
    void eraseRule_data()
    {
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("kept");
        QTest::addColumn<QString>("closing");
        const QString done = "Operation completed.";
        auto keptBox = [](const QString &line) {
            return "The source diskette has been erased, except for 1 file that was kept:\r" + line;
        };
        const QString notErased = "1 file could not be copied.\rThe source diskette has not been erased.";
        QTest::newRow("copied") << "copied" << "P.JPG" << false << done;
        QTest::newRow("replaced by a later picture of the operation")
            << "replaced" << "P.JPG" << true << keptBox("P.JPG (its copy was replaced by Q.JPG)");
        QTest::newRow("skipped, existing image identical") << "skip same" << "P.JPG" << false << done;
        QTest::newRow("skipped, existing image differs")
            << "skip other" << "P.JPG" << true << keptBox("P.JPG (skipped, differs from the existing image)");
        QTest::newRow("copy failed") << "failed" << "P.JPG" << true << notErased;
        QTest::newRow("no pass copies it (*.JPEG)") << "other" << "P.JPEG" << true << keptBox("P.JPEG (not a picture or clip)");
        QTest::newRow("no pass copies it (*.CR2)") << "other" << "P.CR2" << true << keptBox("P.CR2 (not a picture or clip)");
        QTest::newRow("camera index file") << "other" << "P.411" << false << done;
        QTest::newRow("appeared after the listing")
            << "late" << "P.JPG" << true << keptBox("P.JPG (appeared after the diskette was read)");
        QTest::newRow("name with a backslash") << "other" << kCrafted << true << notErased;
    }
    void eraseRule()
    {
        QFETCH(QString, outcome);
        QFETCH(QString, file);
        QFETCH(bool, kept);
        QFETCH(QString, closing);
        Desk d(false);
        d.put({"COMPANION.JPG"}, kJuly.addDays(1));  // copied as usual whatever happens to `file`
        if (outcome != "late")
            d.put({file}, kJuly);
        if (outcome == "replaced") {
            d.put({"Q.JPG"}, kJuly);  // the same second: the same date-time name
            d.answers = {"OKButton"};
        } else if (outcome == "skip same" || outcome == "skip other") {
            writeFile(d.pic(kJulyName), outcome == "skip same" ? file.toLatin1() : "old");
            d.answers = {"Command2"};
        } else if (outcome == "failed") {
            d.fs->beforeCopy = [](const QString &src, const QString &dst) {
                return src.endsWith("P.JPG") ? pf::Status(pf::makeError(pf::ErrDiskFull, "No space left on device", dst))
                                             : pf::Status();
            };
        } else if (outcome == "late") {
            d.rig.prompt.onBox = [&](const ShownBox &box) {
                if (box.title == kErase)
                    d.put({file}, kJuly);
            };
        }
        // OK at a failed copy (go on), else Yes to the erase; OK to the rest.
        const bool fails = closing.startsWith("1 file could not be copied.");
        d.rig.prompt.fallback = pf::AnsOk;
        d.copyDisk({fails ? pf::AnsOk : pf::AnsYes});

        QCOMPARE(entries(d.a).contains(file), kept);
        QCOMPARE(d.rig.prompt.texts().last(), closing);
        // The companion goes whenever the erase runs.
        QCOMPARE(entries(d.a).contains("COMPANION.JPG"), fails);
    }

    // Random diskettes (pictures sharing seconds, names already in the image
    // folder with the same or other bytes) and random answers at the clashes,
    // standing choices among them, then Yes to the erase: every picture is
    // still somewhere, byte for byte.
    void nothingLost()
    {
        QRandomGenerator random(20261207);
        const QStringList buttons = {"OKButton", "Command1", "Command2", "Command3", "Command4"};
        Desk d(false);
        for (int round = 0; round < 200; ++round) {
            for (const QString &folder : {d.a, d.pics})
                for (const QString &name : entries(folder))
                    QFile::remove(folder + '/' + name);
            const bool keep = random.bounded(2) == 1;
            d.w->Check1->setChecked(keep);
            const int count = 1 + random.bounded(12);
            QList<QByteArray> pictures;
            for (int i = 0; i < count; ++i) {
                const QString name = QString("P%1.JPG").arg(i);
                // Few distinct contents, so that identical pictures occur too.
                const QByteArray bytes = "picture " + QByteArray::number(random.bounded(count + 2));
                const QDateTime when = kJuly.addSecs(random.bounded(3));
                writeFile(d.onDisk(name), bytes, when);
                pictures << bytes;
                if (random.bounded(3) == 0) {
                    const QString existing = keep ? name : QString("07_04_2003_09050%1.JPG").arg(7 + random.bounded(3));
                    writeFile(d.pic(existing), random.bounded(2) ? bytes : QByteArray("other"));
                }
            }
            d.answers.clear();
            for (int i = 0; i < 2 * count; ++i)
                d.answers << buttons.at(random.bounded(int(buttons.size())));
            d.rig.prompt.fallback = pf::AnsOk;
            const QStringList titles = d.copyDisk({pf::AnsYes});
            QCOMPARE(titles.first(), kErase);

            for (int i = 0; i < count; ++i) {
                const QString name = QString("P%1.JPG").arg(i);
                const bool onDiskette = entries(d.a).contains(name) && readFile(d.onDisk(name)) == pictures.at(i);
                const bool copied = !holding(d.pics, pictures.at(i)).isEmpty();
                QVERIFY2(onDiskette || copied, qPrintable(QString("round %1: %2 (%3) is lost").arg(round).arg(name, pictures.at(i))));
            }
        }
    }

    // A destination that is the diskette, or lies inside it through a link
    // or through the drive mapping: refused, nothing copied, nothing erased.
    void destinationOnDiskette_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("image folder A:\\") << "A:\\";
        QTest::newRow("image folder in a sub-folder of A:") << "A:\\DCIM\\";
        QTest::newRow("image folder a link into the diskette") << "link";
        QTest::newRow("drive A: mapped onto the image folder") << "mapped";
        QTest::newRow("video folder a link to the diskette's root") << "video link";
    }
    void destinationOnDiskette()
    {
        QFETCH(QString, how);
        Desk d(true);
        QDir(d.a).mkpath("DCIM");
        if (how == "A:\\" || how == "A:\\DCIM\\") {
            d.rig.shared.imageFolder = how;
        } else if (how == "link") {
            QVERIFY(QFile::link(d.a + "/DCIM", d.rig.c() + "/Into"));
            d.rig.shared.imageFolder = "C:\\Into\\";
        } else if (how == "video link") {
            QVERIFY(QFile::link(d.a, d.rig.c() + "/Into"));
            d.rig.shared.videoFolder = "C:\\Into\\";
        } else {
            pf::DriveMap map = d.fs->drives();
            map.setDrive('A', d.pics);
            d.fs->drives() = map;
            d.a = d.pics;
        }
        d.put({"P1.JPG", "CLIP.MPG"});
        const QStringList before = tree(d.rig.c() + "/..");

        const QStringList titles = d.copyDisk({pf::AnsYes, pf::AnsOk});

        QCOMPARE(titles, QStringList{"Folder On Diskette"});
        const QString kind = how == "video link" ? "video" : "image";
        QVERIFY2(d.rig.prompt.texts().first().startsWith("The " + kind + " folder\r"), qPrintable(d.rig.prompt.texts().first()));
        QCOMPARE(tree(d.rig.c() + "/.."), before);
        QCOMPARE(d.fs->copies, 0);
    }

    // Save Changes does not keep a folder on the diskette either.
    void saveRefusesDiskette()
    {
        Desk d(true);
        child<QLineEdit>(d.w, "Text1(0)")->setText("A:\\Kept");
        d.rig.prompt.boxes.clear();
        d.w->Command10_Click();
        QCOMPARE(d.rig.prompt.titles(), QStringList{"Folder On Diskette"});
        QCOMPARE(storedSetting("Image Folder"), QString());
        QCOMPARE(d.w->Text1[0]->text(), "C:\\");
        QVERIFY(!QFileInfo::exists(d.a + "/Kept"));
    }

    // A copy this operation made is shown as such at a clash, and a standing
    // "Re&place All" does not settle that clash: the dialog asks.
    void ownCopyAsked()
    {
        Desk d(false);
        d.put({"X.JPG", "Y.JPG", "Z.JPG"}, kJuly);
        writeFile(d.pic("07_04_2003_090508.JPG"), "old");  // a clash with an image from before
        d.put({"W.JPG"}, kJuly.addSecs(1));
        QStringList captions;
        const auto answer = d.rig.prompt.onModal;
        d.rig.prompt.onModal = [&](QDialog &dialog) {
            captions << child<QLabel>(&dialog, "Label5")->text();
            answer(dialog);
        };
        // W: Replace All over the image from before. X is copied; Y replaces
        // X's copy and Z is skipped at Y's, both asked all the same.
        d.answers = {"Command3", "OKButton", "Command2"};
        QCOMPARE(d.copyDisk({pf::AnsYes}).first(), kErase);
        const QString ours = "Existing Image (copied from this diskette a moment ago):";
        QCOMPARE(captions, (QStringList{"Existing Image:", ours, ours}));
        QCOMPARE(readFile(d.pic("07_04_2003_090508.JPG")), "W.JPG");
        QCOMPARE(readFile(d.pic(kJulyName)), "Y.JPG");
        QCOMPARE(entries(d.a), (QStringList{"X.JPG", "Z.JPG"}));
    }

    // The check before the erase never takes a file for its own copy: the
    // same path, or another name of the same file.
    void neverItsOwnCopy_data()
    {
        QTest::addColumn<QString>("copy");
        QTest::newRow("the same path") << "a:\\P.JPG";
        QTest::newRow("a hard link") << "C:\\Pics\\P.JPG";
        QTest::newRow("a symbolic link") << "C:\\Pics\\L.JPG";
    }
    void neverItsOwnCopy()
    {
        QFETCH(QString, copy);
        Drives drives;
        writeFile(drives.root('A') + "/P.JPG", "picture");
        QDir().mkpath(drives.root('C') + "/Pics");
        QVERIFY(::link(QFile::encodeName(drives.root('A') + "/P.JPG"), QFile::encodeName(drives.root('C') + "/Pics/P.JPG")) == 0);
        QVERIFY(QFile::link(drives.root('A') + "/P.JPG", drives.root('C') + "/Pics/L.JPG"));
        pf::FileSystem fs(drives.map());
        const QList<CopyCheck> checks = checkCopies(fs, {{"a:\\P.JPG", copy}});
        QCOMPARE(checks.size(), 1);
        QVERIFY2(!checks.first().mismatch.isEmpty(), "a file passed as its own copy");
    }

    // A root holding names with backslashes beside a real sub-folder of that
    // path: such names are reported and never made into paths; nothing
    // outside the three folders changes.
    void craftedNames()
    {
        Desk d(true);
        QDir(d.a).mkpath("sub");
        writeFile(d.onDisk("sub/PIC.JPG"), "inside the sub-folder");
        writeFile(d.onDisk("sub\\PIC.JPG"), "crafted");
        writeFile(d.onDisk(kCrafted), "crafted");
        writeFile(d.onDisk("sub\\CLIP.MPG"), "crafted clip");
        d.put({"GOOD.JPG"});
        QDir(d.rig.c()).mkpath("Outside");
        const QString top = d.rig.c() + "/..";
        const QStringList before = tree(top);

        d.rig.prompt.fallback = pf::AnsOk;
        const QStringList titles = d.copyDisk({});

        QCOMPARE(titles, (QStringList{"Copy Failed", "Copy Failed", "Copy Failed", "Diskette Not Erased"}));
        QVERIFY2(d.rig.prompt.texts().first().contains("A name the program cannot copy"), qPrintable(d.rig.prompt.texts().first()));
        const QStringList copied = tree(top);
        QStringList after = copied;
        after.removeAll("/drive_C/Pics/GOOD.JPG=GOOD.JPG");
        QCOMPARE(after, before);

        // The erase itself, handed such names as safe and as index files,
        // leaves them and the sub-folder alone.
        pf::FileSystem fs(d.rig.drives.map());
        const QHash<QString, pf::FileId> safe{{"sub\\PIC.JPG", {}}, {kCrafted, {}}};
        const EraseOutcome erased = eraseCopied(fs, "a:\\", safe, {"sub\\PIC.411", ".."}, {});
        QCOMPARE(erased.failures.size(), 0);
        QCOMPARE(tree(top), copied);
    }
};

PIXFERRY_TEST_MAIN(TestEraseSafety)
#include "test_erase_safety.moc"
