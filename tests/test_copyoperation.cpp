// The rules of Copy Disk, without windows: names, clashes, standing choices,
// failures, and the erase that deletes only what is safe elsewhere. Real
// folders as drives; the questions answered by script.

#include "tests/support/corekit.h"
#include "transfer/copyoperation.h"
#include "transfer/copyreport.h"

#include <QDirIterator>
#include <QRandomGenerator>

#include <unistd.h>

using namespace testkit;

namespace {

const QDateTime kJuly(QDate(2003, 7, 4), QTime(9, 5, 7));
const QString kJulyName = "07_04_2003_090507.JPG";
const QString kCrafted = "x\\..\\..\\Outside\\planted.jpg";

// Answers the questions from lists, and notes what was asked.
class ScriptedAsker : public CopyAsker {
public:
    QList<ClashChoice> clashes;  // the answers at clashes, in turn (then Skip)
    QList<bool> goOn;            // at failed copies, in turn (then go on)
    bool createFolders = true;
    bool eraseDiskette = true;
    QStringList asked;           // "clash P.JPG", "clash P.JPG (ours)", "failed P.JPG: reason", ...
    Module1 *m1 = nullptr;

    bool createFolder(FolderKind, const QString &folder) override { return note("create " + folder), createFolders; }
    void folderNotCreated(const QString &folder, const pf::PlatformError &e) override { note("not created " + folder + ": " + e.reason); }
    void folderOnDiskette(FolderKind, const QString &folder) override { note("on diskette " + folder); }
    ClashChoice clash(bool ours) override
    {
        note("clash " + m1->newName + (ours ? " (ours)" : ""));
        return clashes.isEmpty() ? ClashChoice::Skip : clashes.takeFirst();
    }
    void clipRenamed(const QString &name) override { note("clip renamed " + name); }
    bool copyFailed(const QString &name, const QString &, const pf::PlatformError &e) override
    {
        note("failed " + name + ": " + e.reason);
        return goOn.isEmpty() || goOn.takeFirst();
    }
    bool erase() override { return note("erase?"), eraseDiskette; }

private:
    void note(const QString &what) { asked << what; }
};

// A file system whose copies can be made to fail.
class FaultyFs : public pf::FileSystem {
public:
    using pf::FileSystem::FileSystem;
    std::function<pf::Status(const QString &source)> beforeCopy;
    pf::Status copyFile(const QString &source, const QString &destination, pf::CopyMode mode,
                        const pf::CopyProgress &progress = {}) override
    {
        if (pf::Status s = beforeCopy ? beforeCopy(source) : pf::Status(); !s)
            return s;
        return pf::FileSystem::copyFile(source, destination, mode, progress);
    }
};

// A diskette, an image folder C:\Pics\ and a video folder C:\Clips\.
struct World {
    World()
    {
        m1.imageFolder = "C:\\Pics\\";
        m1.videoFolder = "C:\\Clips\\";
        asker.m1 = &m1;
        QDir().mkpath(pics());
        QDir().mkpath(clips());
    }
    Drives drives;
    FaultyFs fs{drives.map()};
    Module1 m1;
    ScriptedAsker asker;
    CopyWatcher watcher;

    QString a() { return drives.root('A'); }
    QString pics() { return drives.root('C') + "/Pics"; }
    QString clips() { return drives.root('C') + "/Clips"; }
    QString onDisk(const QString &name) { return a() + '/' + name; }
    QString pic(const QString &name) { return pics() + '/' + name; }
    // Files on the diskette, each holding its own name.
    void put(const QStringList &names, const QDateTime &when = kJuly)
    {
        for (const QString &n : names)
            writeFile(onDisk(n), n.toUtf8(), when);
    }
    CopyOutcome copy(bool keepNames)
    {
        auto list = [this](const char *pattern, bool all) { return fs.listFiles("a:\\", pattern, all).valueOr({}); };
        CopyOperation operation(fs, m1, asker, watcher, [] { return QTime(14, 3, 9); });
        return operation.run({"a:\\", list("*.jpg", false), list("*.mpg", false), list("*.411", true)}, keepNames);
    }
};

// Every file of a folder as "name=content", sorted by name.
QStringList listing(const QString &folder)
{
    QStringList out;
    for (const QString &name : entries(folder))
        out << name + '=' + readFile(folder + '/' + name);
    return out;
}

// Every file and folder below `top` as "path=content" (folders as "path/").
QStringList tree(const QString &top)
{
    QStringList out;
    QDirIterator it(top, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        out << (it.fileInfo().isDir() && !it.fileInfo().isSymLink() ? path.mid(top.size()) + '/'
                                                                    : path.mid(top.size()) + '=' + readFile(path));
    }
    out.sort();
    return out;
}

QString keptBox(const QString &lines, int n = 1)
{
    return QString("The source diskette has been erased, except for %1:\r").arg(n == 1 ? "1 file that was kept" : QString("%1 files that were kept").arg(n)) + lines;
}

}  // namespace

Q_DECLARE_METATYPE(ClashChoice)
Q_DECLARE_METATYPE(CopyOutcome::End)

class TestCopyOperation : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // One picture, its name taken or not: what the image folder holds after.
    void naming_data()
    {
        QTest::addColumn<bool>("keep");
        QTest::addColumn<bool>("clash");
        QTest::addColumn<ClashChoice>("choice");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<CopyOutcome::End>("end");
        const auto Erased = CopyOutcome::End::Erased;
        QTest::newRow("date-time name, free") << false << false << ClashChoice::Skip << QStringList{kJulyName + "=PIC.JPG"} << Erased;
        QTest::newRow("date-time name, replace") << false << true << ClashChoice::Replace << QStringList{kJulyName + "=PIC.JPG"} << Erased;
        QTest::newRow("date-time name, rename")
            << false << true << ClashChoice::Rename << QStringList{kJulyName + "=old", "a" + kJulyName + "=PIC.JPG"} << Erased;
        QTest::newRow("kept name, free") << true << false << ClashChoice::Skip << QStringList{"PIC.JPG=PIC.JPG"} << Erased;
        QTest::newRow("kept name, replace all") << true << true << ClashChoice::ReplaceAll << QStringList{"PIC.JPG=PIC.JPG"} << Erased;
        QTest::newRow("kept name, rename all: time in front")
            << true << true << ClashChoice::RenameAll << QStringList{"PIC.JPG=old", "a1439PIC.JPG=PIC.JPG"} << Erased;
        QTest::newRow("skip") << false << true << ClashChoice::Skip << QStringList{kJulyName + "=old"} << Erased;
        QTest::newRow("cancel") << true << true << ClashChoice::Cancel << QStringList{"PIC.JPG=old"} << CopyOutcome::End::Cancelled;
    }
    void naming()
    {
        QFETCH(bool, keep);
        QFETCH(bool, clash);
        QFETCH(ClashChoice, choice);
        QFETCH(QStringList, after);
        QFETCH(CopyOutcome::End, end);
        World w;
        w.put({"PIC.JPG"});
        const QString taken = keep ? "PIC.JPG" : kJulyName;
        if (clash)
            writeFile(w.pic(taken), "old");
        w.asker.clashes = {choice};
        QCOMPARE(w.copy(keep).end, end);
        QCOMPARE(listing(w.pics()), after);
        QCOMPARE(w.asker.asked.filter("clash"), clash ? QStringList{"clash " + taken} : QStringList());
        QCOMPARE(w.m1.srcFile, clash ? "a:\\PIC.JPG" : QString());
        QCOMPARE(w.m1.destFile, clash ? "C:\\Pics\\" + taken : QString());
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
        w.asker.eraseDiskette = false;
        w.asker.clashes = {ClashChoice::RenameAll};
        w.copy(false);
        QCOMPARE(w.asker.asked, (QStringList{"clash 07_04_2003_090507.JPG", "clip renamed CLIP.MPG", "erase?"}));
        QCOMPARE(listing(w.pics()).filter("=P"), (QStringList{"a07_04_2003_090507.JPG=P0.JPG", "a07_04_2003_090509.JPG=P2.JPG",
                                                              "aa07_04_2003_090508.JPG=P1.JPG"}));
        QCOMPARE(listing(w.clips()), (QStringList{"1439CLIP.MPG=CLIP.MPG", "CLIP.MPG=old"}));
        w.asker.asked.clear();
        w.asker.clashes = {ClashChoice::Skip, ClashChoice::Skip, ClashChoice::Skip};
        w.copy(false);
        QCOMPARE(w.asker.asked.filter("clash").size(), 3);
        QCOMPARE(w.m1.renameAll, false);
    }

    // A failed copy is said with the file's name and reason; going on copies
    // the rest, stopping leaves it; either way no erase is offered.
    void failedCopies_data()
    {
        QTest::addColumn<bool>("goOn");
        QTest::addColumn<QStringList>("copied");
        QTest::newRow("OK goes on") << true << QStringList{"P1.JPG=P1.JPG", "P3.JPG=P3.JPG"};
        QTest::newRow("Cancel stops") << false << QStringList{"P1.JPG=P1.JPG"};
    }
    void failedCopies()
    {
        QFETCH(bool, goOn);
        QFETCH(QStringList, copied);
        World w;
        w.put({"P1.JPG", "P2.JPG", "P3.JPG"});
        w.fs.beforeCopy = [](const QString &src) {
            return src.endsWith("P2.JPG") ? pf::Status(pf::errorFromErrno(ENOSPC, src)) : pf::Status();
        };
        w.asker.goOn = {goOn};
        const CopyOutcome out = w.copy(true);
        QCOMPARE(out.end, CopyOutcome::End::Failed);
        QCOMPARE(out.notCopied, QStringList{"P2.JPG"});
        QCOMPARE(out.stopped, !goOn);
        QCOMPARE(w.asker.asked, QStringList{"failed P2.JPG: No space left on device"});
        QCOMPARE(listing(w.pics()), copied);
        QCOMPARE(entries(w.a()).size(), 3);
    }

    // After Yes: one file of each outcome beside a picture copied as usual.
    // Whether it is still on the diskette, and the closing box.
    void eraseRule_data()
    {
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("kept");
        QTest::addColumn<QString>("box");
        const QString done = "Operation completed.";
        const QString notErased = "1 file could not be copied.\rThe source diskette has not been erased.";
        QTest::newRow("copied") << "copied" << "P.JPG" << false << done;
        QTest::newRow("replaced by a later picture") << "replaced" << "P.JPG" << true << keptBox("P.JPG (its copy was replaced by Q.JPG)");
        QTest::newRow("skipped, existing identical") << "skip same" << "P.JPG" << false << done;
        QTest::newRow("skipped, existing differs")
            << "skip other" << "P.JPG" << true << keptBox("P.JPG (skipped, differs from the existing image)");
        QTest::newRow("copy failed") << "failed" << "P.JPG" << true << notErased;
        QTest::newRow("no pass copies *.JPEG") << "other" << "P.JPEG" << true << keptBox("P.JPEG (not a picture or clip)");
        QTest::newRow("no pass copies *.CR2") << "other" << "P.CR2" << true << keptBox("P.CR2 (not a picture or clip)");
        QTest::newRow("camera index file") << "other" << "P.411" << false << done;
        QTest::newRow("appeared after the listing") << "late" << "P.JPG" << true << keptBox("P.JPG (appeared after the diskette was read)");
        QTest::newRow("name with a backslash") << "other" << kCrafted << true << notErased;
        QTest::newRow("a link named like a picture")
            << "link" << "L.JPG" << true
            << done + "\r\r1 entry named like a picture or clip was not copied: it is a link, a folder or another entry that is not a file.";
    }
    void eraseRule()
    {
        QFETCH(QString, outcome);
        QFETCH(QString, file);
        QFETCH(bool, kept);
        QFETCH(QString, box);
        World w;
        w.put({"COMPANION.JPG"}, kJuly.addDays(1));
        if (outcome == "link")
            QVERIFY(QFile::link(w.onDisk("COMPANION.JPG"), w.onDisk(file)));
        else if (outcome != "late")
            w.put({file});
        if (outcome == "replaced") {
            w.put({"Q.JPG"});  // the same second: the same date-time name
            w.asker.clashes = {ClashChoice::Replace};
        } else if (outcome.startsWith("skip")) {
            writeFile(w.pic(kJulyName), outcome == "skip same" ? file.toUtf8() : "old");
        } else if (outcome == "failed") {
            w.fs.beforeCopy = [](const QString &src) {
                return src.endsWith("P.JPG") ? pf::Status(pf::errorFromErrno(ENOSPC, src)) : pf::Status();
            };
        }
        auto list = [&w](const char *pattern) { return w.fs.listFiles("a:\\", pattern).valueOr({}); };
        DisketteLists lists{"a:\\", list("*.jpg"), list("*.mpg"), list("*.411")};
        if (outcome == "late")
            w.put({file});  // after the lists were read
        CopyOperation operation(w.fs, w.m1, w.asker, w.watcher, [] { return QTime(14, 3, 9); });
        const CopyOutcome out = operation.run(lists, false);

        QCOMPARE(entries(w.a()).contains(file), kept);
        QCOMPARE(entries(w.a()).contains("COMPANION.JPG"), out.end == CopyOutcome::End::Failed);
        QCOMPARE(reportOf(out).boxText, box);
    }

    // Random diskettes (pictures sharing seconds, names already in the
    // image folder with the same or other bytes) and random answers,
    // standing choices among them, then Yes: every picture is still
    // somewhere, byte for byte.
    void nothingLost()
    {
        QRandomGenerator random(20261207);
        const QList<ClashChoice> choices{ClashChoice::Replace, ClashChoice::Rename, ClashChoice::Skip,
                                         ClashChoice::ReplaceAll, ClashChoice::RenameAll};
        World w;
        for (int round = 0; round < 200; ++round) {
            for (const QString &folder : {w.a(), w.pics()})
                for (const QString &name : entries(folder))
                    QFile::remove(folder + '/' + name);
            const bool keep = random.bounded(2) == 1;
            const int count = 1 + random.bounded(12);
            QList<QByteArray> pictures;
            for (int i = 0; i < count; ++i) {
                const QString name = QString("P%1.JPG").arg(i);
                const QByteArray bytes = "picture " + QByteArray::number(random.bounded(count + 2));  // some alike
                writeFile(w.onDisk(name), bytes, kJuly.addSecs(random.bounded(3)));
                pictures << bytes;
                if (random.bounded(3) == 0)
                    writeFile(w.pic(keep ? name : QString("07_04_2003_09050%1.JPG").arg(7 + random.bounded(3))),
                              random.bounded(2) ? bytes : QByteArray("other"));
            }
            w.asker.clashes.clear();
            for (int i = 0; i < 2 * count; ++i)
                w.asker.clashes << choices.at(random.bounded(int(choices.size())));
            QCOMPARE(w.copy(keep).end, CopyOutcome::End::Erased);
            const QStringList copies = listing(w.pics());
            for (int i = 0; i < count; ++i) {
                const QString name = QString("P%1.JPG").arg(i);
                const bool onDiskette = readFile(w.onDisk(name)) == pictures.at(i);
                const bool copied = std::any_of(copies.begin(), copies.end(),
                                                [&](const QString &c) { return c.endsWith('=' + pictures.at(i)); });
                QVERIFY2(onDiskette || copied, qPrintable(QString("round %1: %2 is lost").arg(round).arg(name)));
            }
        }
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
    }
    void destinationOnDiskette()
    {
        QFETCH(QString, how);
        World w;
        QDir(w.a()).mkpath("DCIM");
        if (how.startsWith("A:")) {
            w.m1.imageFolder = how;
        } else if (how == "link") {
            QVERIFY(QFile::link(w.a() + "/DCIM", w.drives.root('C') + "/Into"));
            w.m1.imageFolder = "C:\\Into\\";
        } else if (how == "video link") {
            QVERIFY(QFile::link(w.a(), w.drives.root('C') + "/Into"));
            w.m1.videoFolder = "C:\\Into\\";
        } else {
            w.fs.drives().setDrive('A', w.pics());
        }
        const QString disk = w.fs.hostPath("a:\\").valueOr(QString());
        writeFile(disk + "/P1.JPG", "P1");
        writeFile(disk + "/CLIP.MPG", "clip");
        const QString top = w.drives.root('C') + "/..";
        const QStringList before = tree(top);
        const CopyOutcome out = w.copy(true);
        QCOMPARE(out.end, CopyOutcome::End::FolderRefused);
        QCOMPARE(w.asker.asked.size(), 1);
        QVERIFY2(w.asker.asked.first().startsWith("on diskette"), qPrintable(w.asker.asked.first()));
        QCOMPARE(tree(top), before);
    }

    // A copy this operation made is shown as such at a clash, and a
    // standing "Re&place All" does not settle that clash.
    void ownCopyAsked()
    {
        World w;
        w.put({"X.JPG", "Y.JPG", "Z.JPG"});
        writeFile(w.pic("07_04_2003_090508.JPG"), "old");
        w.put({"W.JPG"}, kJuly.addSecs(1));
        w.asker.clashes = {ClashChoice::ReplaceAll, ClashChoice::Replace, ClashChoice::Skip};
        QCOMPARE(w.copy(false).end, CopyOutcome::End::Erased);
        QCOMPARE(w.asker.asked, (QStringList{"clash 07_04_2003_090508.JPG", "clash " + kJulyName + " (ours)",
                                             "clash " + kJulyName + " (ours)", "erase?"}));
        QCOMPARE(readFile(w.pic(kJulyName)), "Y.JPG");
        QCOMPARE(entries(w.a()), (QStringList{"X.JPG", "Z.JPG"}));
    }

    // Names holding backslashes beside a real sub-folder of that path are
    // reported and never made into paths: nothing outside changes, also
    // when the erase is handed such names.
    void craftedNames()
    {
        World w;
        QDir(w.a()).mkpath("sub");
        writeFile(w.onDisk("sub/PIC.JPG"), "inside");
        for (const QString &name : {QString("sub\\PIC.JPG"), kCrafted, QString("sub\\CLIP.MPG")})
            writeFile(w.onDisk(name), "crafted");
        w.put({"GOOD.JPG"});
        QDir(w.drives.root('C')).mkpath("Outside");
        const QString top = w.drives.root('C') + "/..";
        const QStringList before = tree(top);
        const CopyOutcome out = w.copy(true);
        QCOMPARE(out.notCopied, (QStringList{"sub\\PIC.JPG", kCrafted, "sub\\CLIP.MPG"}));
        QVERIFY2(w.asker.asked.first().contains("A name the program cannot copy"), qPrintable(w.asker.asked.first()));
        QStringList after = tree(top);
        QVERIFY(after.removeOne("/drive_C/Pics/GOOD.JPG=GOOD.JPG"));
        QCOMPARE(after, before);

        const QStringList copied = tree(top);
        const QHash<QString, pf::FileId> safe{{"sub\\PIC.JPG", {}}, {kCrafted, {}}};
        const EraseOutcome erased = eraseCopied(w.fs, "a:\\", safe, {"sub\\PIC.411", ".."}, {});
        QCOMPARE(erased.failures.size(), 0);
        QCOMPARE(tree(top), copied);
    }

    // The check before the erase: a copy changed after it was made stops
    // the erase; a file is never its own copy.
    void checkBeforeErase_data()
    {
        QTest::addColumn<QString>("copy");
        QTest::addColumn<QString>("mismatch");
        QTest::newRow("the same path") << "a:\\P.JPG" << "it is the original itself, not a copy";
        QTest::newRow("a hard link") << "C:\\Pics\\H.JPG" << "it is the original itself, not a copy";
        QTest::newRow("a symbolic link") << "C:\\Pics\\L.JPG" << "cannot be read: Too many levels of symbolic links";
        QTest::newRow("one byte changed") << "C:\\Pics\\C.JPG" << "different content";
        QTest::newRow("missing") << "C:\\Pics\\M.JPG" << "missing";
        QTest::newRow("a folder") << "C:\\Pics\\D.JPG" << "not a regular file";
        QTest::newRow("a true copy") << "C:\\Pics\\T.JPG" << "";
    }
    void checkBeforeErase()
    {
        QFETCH(QString, copy);
        QFETCH(QString, mismatch);
        World w;
        writeFile(w.onDisk("P.JPG"), "picture");
        QCOMPARE(::link(QFile::encodeName(w.onDisk("P.JPG")), QFile::encodeName(w.pic("H.JPG"))), 0);
        QVERIFY(QFile::link(w.onDisk("P.JPG"), w.pic("L.JPG")));
        writeFile(w.pic("C.JPG"), "pictura");
        QDir(w.pics()).mkdir("D.JPG");
        writeFile(w.pic("T.JPG"), "picture");
        const QList<CopyCheck> checks = checkCopies(w.fs, {{"a:\\P.JPG", copy}});
        QCOMPARE(checks.size(), 1);
        QCOMPARE(checks.first().mismatch, mismatch);
    }

    // What a finished operation shows, for the ends without an erase.
    void report_data()
    {
        QTest::addColumn<CopyOutcome::End>("end");
        QTest::addColumn<bool>("stopped");
        QTest::addColumn<QStringList>("shown");  // status, file line, box text, box title
        using End = CopyOutcome::End;
        QTest::newRow("failed, went on") << End::Failed << false
            << QStringList{"2 files could not be copied.", "The diskette was not erased.",
                           "2 files could not be copied.\rThe source diskette has not been erased.", "Diskette Not Erased"};
        QTest::newRow("failed, stopped") << End::Failed << true
            << QStringList{"2 files could not be copied.", "The diskette was not erased.",
                           "Copying was stopped.\r2 files could not be copied.\rThe source diskette has not been erased.",
                           "Diskette Not Erased"};
        QTest::newRow("cancelled") << End::Cancelled << true << QStringList{"Operation cancelled.", "", "", ""};
        QTest::newRow("declined") << End::Declined << false << QStringList{"Operation completed.", "", "", ""};
        QTest::newRow("a copy differs") << End::CopiesDiffer << false
            << QStringList{"1 copy does not match.", "The diskette was not erased.",
                           "These copies do not match the files on the diskette:\rC:\\Pics\\P.JPG (missing)\r\r"
                           "The source diskette has not been erased.",
                           "Diskette Not Erased"};
    }
    void report()
    {
        QFETCH(CopyOutcome::End, end);
        QFETCH(bool, stopped);
        QFETCH(QStringList, shown);
        CopyOutcome out;
        out.end = end;
        out.stopped = stopped;
        if (end == CopyOutcome::End::Failed)
            out.notCopied = {"P1.JPG", "P2.JPG"};
        out.mismatches = {{"a:\\P.JPG", "C:\\Pics\\P.JPG", "missing", {}}};
        const CopyReport r = reportOf(out);
        QCOMPARE((QStringList{r.status, r.fileLine, r.boxText, r.boxTitle}), shown);
    }
};

PIXFERRY_CORE_TEST_MAIN(TestCopyOperation)
#include "test_copyoperation.moc"
