// The rules of Copy Disk, without windows: names, clashes, standing choices,
// folders, failures, and the erase that deletes only what is safe elsewhere.
// Real folders as drives; the questions answered by script.

#include "platform/hostnames.h"
#include "platform/picture.h"
#include "tests/support/corekit.h"
#include "transfer/copyoperation.h"
#include "transfer/copyreport.h"

#include <QDirIterator>
#include <QRandomGenerator>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testkit;

namespace {

const QDateTime kJuly(QDate(2003, 7, 4), QTime(9, 5, 7));
const QString kJulyName = "07_04_2003_090507.JPG";
const QString kCrafted = "x\\..\\..\\Outside\\planted.jpg";
const QString kDone = "Operation completed.";
const QString kNotErased = "1 file could not be copied.\rThe source diskette has not been erased.";

// Answers the questions from lists, and notes what was asked and each pass.
class Script : public CopyAsker, public CopyWatcher {
public:
    QList<ClashChoice> clashes;     // the answers at clashes, in turn (then Skip)
    QList<bool> goOn;               // at failed copies, in turn (then go on)
    bool createFolders = true, eraseDiskette = true;
    std::function<void()> atClash;  // runs while a clash is asked
    QStringList asked;              // "clash P.JPG", "clash P.JPG (ours)", "failed P.JPG: why (error 61)", ...
    QStringList passes;             // "images 3", "clips 1"
    Module1 *m1 = nullptr;

    bool createFolder(FolderKind, const QString &folder) override { return note("create " + folder), createFolders; }
    void folderNotCreated(const QString &folder, const pf::PlatformError &e) override
    {
        note("not created " + folder + ": " + e.describe());
    }
    void folderOnDiskette(FolderKind, const QString &folder) override { note("on diskette " + folder); }
    ClashChoice clash(bool ours) override
    {
        note("clash " + m1->newName + (ours ? " (ours)" : ""));
        if (atClash)
            atClash();
        return clashes.isEmpty() ? ClashChoice::Skip : clashes.takeFirst();
    }
    void clipRenamed(const QString &name) override { note("clip renamed " + name); }
    bool copyFailed(const QString &name, const QString &, const pf::PlatformError &e) override
    {
        note("failed " + name + ": " + (e.sourceSide ? "on the diskette, " : "") + e.describe());
        return goOn.isEmpty() || goOn.takeFirst();
    }
    bool erase() override { return note("erase?"), eraseDiskette; }
    void passStarts(Pass pass, int n) override
    {
        passes << (pass == Pass::Images ? "images " : "clips ") + QString::number(n);
    }

private:
    void note(const QString &what) { asked << what; }
};

// A diskette, an image folder C:\Pics\ and a video folder C:\Clips\.
struct World {
    explicit World(bool makeFolders = true)
    {
        m1.imageFolder = "C:\\Pics\\";
        m1.videoFolder = "C:\\Clips\\";
        script.m1 = &m1;
        if (makeFolders)
            QDir().mkpath(pics()), QDir().mkpath(clips());
    }
    Drives drives;
    HookedFs fs{drives.map()};
    Module1 m1;
    Script script;

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
    // The diskette's lists as the main window reads them.
    DisketteLists lists()
    {
        auto list = [this](const char *pattern, bool all) { return fs.listFiles("a:\\", pattern, all).valueOr({}); };
        return {"a:\\", list("*.jpg", false), list("*.mpg", false), list("*.411", true)};
    }
    CopyOutcome run(const DisketteLists &lists, bool keepNames)
    {
        return CopyOperation(fs, m1, script, script, [] { return QTime(14, 3, 9); }).run(lists, keepNames);
    }
    CopyOutcome copy(bool keepNames) { return run(lists(), keepNames); }
};

// Every file and folder below `top` as "path=content" (folders as "path/").
QStringList tree(const QString &top)
{
    QStringList out;
    QDirIterator it(top, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const bool folder = it.fileInfo().isDir() && !it.fileInfo().isSymLink();
        out << path.mid(top.size()) + (folder ? QString("/") : "=" + QString::fromUtf8(readFile(path)));
    }
    out.sort();
    return out;
}

// The names of a folder as the file system holds them, bytes and all.
QList<QByteArray> rawEntries(const QString &folder)
{
    QList<QByteArray> out;
    if (DIR *d = ::opendir(QFile::encodeName(folder).constData())) {
        while (dirent *e = ::readdir(d))
            if (qstrcmp(e->d_name, ".") != 0 && qstrcmp(e->d_name, "..") != 0)
                out << QByteArray(e->d_name);
        ::closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

QString keptBox(const QString &line)
{
    return "The source diskette has been erased, except for 1 file that was kept:\r" + line;
}

pf::Status fail(int err, const QString &path) { return pf::errorFromErrno(err, path); }

}  // namespace

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
    // landing of the copy is kept: the copy takes the next free name.
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
        w.copy(false);
        QCOMPARE(listing(w.pics()), (QStringList{kJulyName + "=old", "a" + kJulyName + "=PIC.JPG"}));
        QCOMPARE(listing(w.clips()), (QStringList{"1439CLIP.MPG=CLIP.MPG", "CLIP.MPG=old"}));
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
        w.fs.duringCopy = [&](const QString &src) {
            QFile f(w.onDisk("P2.JPG"));
            if (fault == "grows" && src.endsWith("P2.JPG") && f.open(QIODevice::Append))
                f.write("more");
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
        w.script.goOn = {goOn};
        PipeGuard guard(w.onDisk("P2.JPG"), fault == "pipe" ? 1000 : 600000);  // a file is never let go in time
        const CopyOutcome out = w.copy(true);
        guard.done();
        QCOMPARE(guard.letGo(), false);
        QFETCH(QString, said);
        QCOMPARE(w.script.asked.filter("failed"), QStringList{"failed P2.JPG: " + said});
        QCOMPARE(out.end, CopyOutcome::End::Failed);
        QCOMPARE(out.notCopied, QStringList{"P2.JPG"});
        QCOMPARE(out.stopped, !goOn);
        QCOMPARE(listing(w.pics()).filter("=P"), QStringList({"P1.JPG=P1.JPG", "P3.JPG=P3.JPG"}).mid(0, goOn ? 2 : 1));
        QCOMPARE(entries(w.a()), (QStringList{"P1.JPG", "P2.JPG", "P3.JPG"}));
    }

    // After Yes: one file of each outcome beside a picture copied as usual.
    // Whether it is still on the diskette, and the closing box.
    void eraseRule_data()
    {
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("kept");
        QTest::addColumn<QString>("box");
        QTest::newRow("copied") << "copied" << "P.JPG" << false << kDone;
        QTest::newRow("replaced by a later picture")
            << "replaced" << "P.JPG" << true << keptBox("P.JPG (its copy was replaced by Q.JPG)");
        QTest::newRow("skipped, existing identical") << "skip same" << "P.JPG" << false << kDone;
        QTest::newRow("skipped, existing differs")
            << "skip other" << "P.JPG" << true << keptBox("P.JPG (skipped, differs from the existing image)");
        QTest::newRow("skipped, existing is a named pipe")
            << "skip pipe" << "P.JPG" << true << keptBox("P.JPG (skipped, differs from the existing image)");
        QTest::newRow("copy failed") << "failed" << "P.JPG" << true << kNotErased;
        QTest::newRow("copy changed after it was made")
            << "altered" << "P.JPG" << true
            << "These copies do not match the files on the diskette:\rC:\\Pics\\" + kJulyName
                   + " (different content)\r\rThe source diskette has not been erased.";
        QTest::newRow("cannot be deleted")
            << "undeletable" << "P.JPG" << true
            << "These files could not be deleted and are still on the diskette:\r"
               "a:\\P.JPG: Permission denied (error 70)";
        QTest::newRow("no pass copies *.JPEG")
            << "other" << "P.JPEG" << true << keptBox("P.JPEG (not a picture or clip)");
        QTest::newRow("no pass copies *.CR2") << "other" << "P.CR2" << true << keptBox("P.CR2 (not a picture or clip)");
        QTest::newRow("camera index file, read-only") << "other" << "P.411" << false << kDone;
        QTest::newRow("camera index file, hidden") << "other" << ".P.411" << false << kDone;
        QTest::newRow("hidden file") << "other" << ".keep" << true << kDone;
        QTest::newRow("sub-folder with a picture") << "folder" << "DCIM" << true << kDone;
        QTest::newRow("appeared after the listing")
            << "late" << "P.JPG" << true << keptBox("P.JPG (appeared after the diskette was read)");
        QTest::newRow("name with a backslash") << "other" << kCrafted << true << kNotErased;
        QTest::newRow("a link named like a picture")
            << "link" << "L.JPG" << true
            << kDone + "\r\r1 entry named like a picture or clip was not copied: it is a link, a folder or another "
                       "entry that is not a file.";
    }
    void eraseRule()
    {
        QFETCH(QString, outcome);
        QFETCH(QString, file);
        World w;
        w.put({"COMPANION.JPG"}, kJuly.addDays(1));
        if (outcome == "link")
            QFile::link(w.onDisk("COMPANION.JPG"), w.onDisk(file));
        else if (outcome == "folder")
            QDir(w.a()).mkpath(file), writeFile(w.onDisk(file + "/IN.JPG"), "inside");
        else if (outcome != "late")
            w.put({file});
        if (file.endsWith(".411"))
            ::chmod(QFile::encodeName(w.onDisk(file)).constData(), 0444);
        if (outcome == "replaced") {
            w.put({"Q.JPG"});  // the same second: the same date-time name
            w.script.clashes = {ClashChoice::Replace};
        } else if (outcome == "skip pipe") {
            makeFifo(w.pic(kJulyName));
        } else if (outcome.startsWith("skip")) {
            writeFile(w.pic(kJulyName), outcome == "skip same" ? file.toUtf8() : "old");
        }
        w.fs.beforeCopy = [&](const QString &src, const QString &) {
            return outcome == "failed" && src.endsWith("P.JPG") ? fail(ENOSPC, src) : pf::Status();
        };
        w.fs.afterCopy = [&](const QString &src, const QString &dst) {
            if (outcome == "altered" && src.endsWith("P.JPG"))
                writeFile(w.fs.hostPath(dst).valueOr(QString()), "P.JPX");  // the same length
        };
        w.fs.beforeDelete = [&](const QString &path) {
            return outcome == "undeletable" && path.endsWith("P.JPG") ? fail(EACCES, path) : pf::Status();
        };
        const DisketteLists lists = w.lists();
        if (outcome == "late")
            w.put({file});  // after the lists were read
        PipeGuard guard(w.pic(kJulyName), outcome == "skip pipe" ? 1000 : 60000);
        const CopyOutcome out = w.run(lists, false);
        guard.done();

        QCOMPARE(guard.letGo(), false);
        QTEST(entries(w.a()).contains(file), "kept");
        QCOMPARE(entries(w.a()).contains("COMPANION.JPG"), out.end != CopyOutcome::End::Erased);
        QTEST(reportOf(out).boxText, "box");
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
            w.script.clashes.clear();
            for (int i = 0; i < 2 * count; ++i)
                w.script.clashes << choices.at(random.bounded(int(choices.size())));
            QCOMPARE(w.copy(keep).end, CopyOutcome::End::Erased);
            const QStringList copies = listing(w.pics());
            QStringList lost;
            for (int i = 0; i < count; ++i) {
                const QString name = QString("P%1.JPG").arg(i), bytes = QString::fromUtf8(pictures.at(i));
                const bool copied =
                    std::any_of(copies.begin(), copies.end(), [&](const QString &c) { return c.endsWith('=' + bytes); });
                if (readFile(w.onDisk(name)) != pictures.at(i) && !copied)
                    lost << QString("round %1: %2").arg(round).arg(name);
            }
            QCOMPARE(lost, QStringList());
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
            QFile::link(w.a() + "/DCIM", w.drives.root('C') + "/Into");
            w.m1.imageFolder = "C:\\Into\\";
        } else if (how == "video link") {
            QFile::link(w.a(), w.drives.root('C') + "/Into");
            w.m1.videoFolder = "C:\\Into\\";
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

    // A copy this operation made is shown as such at a clash, and a
    // standing "Re&place All" does not settle that clash.
    void ownCopyAsked()
    {
        World w;
        w.put({"X.JPG", "Y.JPG", "Z.JPG"});
        writeFile(w.pic("07_04_2003_090508.JPG"), "old");
        w.put({"W.JPG"}, kJuly.addSecs(1));
        w.script.clashes = {ClashChoice::ReplaceAll, ClashChoice::Replace, ClashChoice::Skip};
        QCOMPARE(w.copy(false).end, CopyOutcome::End::Erased);
        QCOMPARE(w.script.asked, (QStringList{"clash 07_04_2003_090508.JPG", "clash " + kJulyName + " (ours)",
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
        QStringList expected = tree(top) << "/drive_C/Pics/GOOD.JPG=GOOD.JPG";
        expected.sort();
        const CopyOutcome out = w.copy(true);
        QCOMPARE(out.notCopied, (QStringList{"sub\\PIC.JPG", kCrafted, "sub\\CLIP.MPG"}));
        QCOMPARE(w.script.asked.first(),
                 "failed sub\\PIC.JPG: A name the program cannot copy: it holds \"\\\" or \"/\" (error 75)");
        QCOMPARE(tree(top), expected);

        const QHash<QString, pf::FileId> safe{{"sub\\PIC.JPG", {}}, {kCrafted, {}}};
        const EraseOutcome erased = eraseCopied(w.fs, "a:\\", safe, {"sub\\PIC.411", ".."}, {});
        QCOMPARE(erased.failures.size(), 0);
        QCOMPARE(tree(top), expected);
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
};

PIXFERRY_CORE_TEST_MAIN(TestCopyOperation)
#include "test_copyoperation.moc"
