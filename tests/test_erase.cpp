// The erase after Copy Disk deletes only what is safe elsewhere: each
// outcome of a picture, random diskettes and answers, this run's own copies
// at a clash, crafted names, and the check of a copy before the erase.
// Real folders as drives; the questions answered by script.

#include "tests/support/copyworld.h"
#include "transfer/copyreport.h"

#include <QRandomGenerator>
#include <QThread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace copyworld;

namespace {

// Rewrites a file in place with other bytes of the same length and puts its
// modification time back, as `touch -r` does: only its change time tells.
void rewriteInPlace(const QString &path, const QByteArray &bytes)
{
    const QByteArray host = QFile::encodeName(path);
    struct stat before;
    if (::stat(host.constData(), &before) != 0)
        qFatal("cannot look at %s", host.constData());
    // The change time moves in the system's clock steps (a few ms): a file
    // beside the drive is touched until a step has passed since the last
    // change, so that the rewrite cannot fall in the same step.
    const QByteArray probe = QFile::encodeName(QFileInfo(path).absolutePath() + "/../clock.probe");
    const auto notLater = [&](const struct stat &now) {
        return now.st_ctim.tv_sec < before.st_ctim.tv_sec
            || (now.st_ctim.tv_sec == before.st_ctim.tv_sec && now.st_ctim.tv_nsec <= before.st_ctim.tv_nsec);
    };
    for (struct stat now = before; notLater(now);) {
        QThread::msleep(1);
        writeFile(QFile::decodeName(probe), "tick");
        ::stat(probe.constData(), &now);
    }
    const int fd = ::open(host.constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0 || ::pwrite(fd, bytes.constData(), size_t(bytes.size()), 0) != bytes.size() || ::close(fd) != 0)
        qFatal("cannot rewrite %s", host.constData());
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    if (::utimensat(AT_FDCWD, host.constData(), times, 0) != 0)
        qFatal("cannot put the time of %s back", host.constData());
}

}  // namespace

class TestErase : public QObject {
    Q_OBJECT
private Q_SLOTS:

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
        QTest::newRow("skipped, existing is a hard link to it")
            << "skip link" << "P.JPG" << true
            << keptBox("P.JPG (skipped, the existing image is this very file, not a copy)");
        QTest::newRow("skipped, existing is a named pipe")
            << "skip pipe" << "P.JPG" << true << keptBox("P.JPG (skipped, differs from the existing image)");
        QTest::newRow("copy changed after it was made")
            << "altered" << "P.JPG" << true
            << "These copies do not match the files on the diskette:\rC:\\Pics\\" + kJulyName
                   + " (different content)\r\rThe source diskette has not been erased.";
        QTest::newRow("cannot be deleted")
            << "undeletable" << "P.JPG" << true
            << "These files could not be deleted and are still on the diskette:\r"
               "a:\\P.JPG: Permission denied (error 70)";
        QTest::newRow("cannot be deleted, beside one kept")
            << "undeletable, P.JPEG" << "P.JPEG" << true
            << "These files could not be deleted and are still on the diskette:\r"
               "a:\\P.JPG: Permission denied (error 70)\r\rThese files were kept:\rP.JPEG (not a picture or clip)";
        QTest::newRow("no pass copies *.JPEG")
            << "other" << "P.JPEG" << true << keptBox("P.JPEG (not a picture or clip)");
        QTest::newRow("camera index file, read-only") << "other" << "P.411" << false << kDone;
        QTest::newRow("camera index file, hidden") << "other" << ".P.411" << false << kDone;
        QTest::newRow("hidden file") << "other" << ".keep" << true << kDone;
        QTest::newRow("sub-folder with a picture") << "folder" << "DCIM" << true << kDone;
        QTest::newRow("rewritten after its check, its time put back")
            << "rewritten" << "P.JPG" << true << keptBox("P.JPG (changed after its copy was checked)");
        QTest::newRow("appeared after the listing")
            << "late" << "P.JPG" << true << keptBox("P.JPG (appeared after the diskette was read)");
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
        if (outcome == "undeletable, P.JPEG")
            w.put({"P.JPG"});
        if (file.endsWith(".411"))
            ::chmod(QFile::encodeName(w.onDisk(file)).constData(), 0444);
        if (outcome == "replaced") {
            w.put({"Q.JPG"});  // the same second: the same date-time name
            w.script.clashes = {ClashChoice::Replace};
        } else if (outcome == "skip pipe") {
            makeFifo(w.pic(kJulyName));
        } else if (outcome == "skip link") {
            QCOMPARE(::link(QFile::encodeName(w.onDisk(file)).constData(), QFile::encodeName(w.pic(kJulyName)).constData()), 0);
        } else if (outcome.startsWith("skip")) {
            writeFile(w.pic(kJulyName), outcome == "skip same" ? file.toUtf8() : "old");
        }
        w.fs.afterCopy = [&](const QString &src, const QString &dst) {
            if (outcome == "altered" && src.endsWith("P.JPG"))
                writeFile(w.fs.hostPath(dst).valueOr(QString()), "P.JPX");  // the same length
        };
        w.fs.beforeDelete = [&](const QString &path) {
            if (outcome == "rewritten" && path.endsWith("P.JPG"))
                rewriteInPlace(w.onDisk(file), "EVIL!");
            return outcome.startsWith("undeletable") && path.endsWith("P.JPG") ? fail(EACCES, path) : pf::Status();
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
                const auto holdsIt = [&](const QString &copy) { return copy.endsWith('=' + bytes); };
                const bool copied = std::any_of(copies.begin(), copies.end(), holdsIt);
                if (readFile(w.onDisk(name)) != pictures.at(i) && !copied)
                    lost << QString("round %1: %2").arg(round).arg(name);
            }
            QCOMPARE(lost, QStringList());
        }
    }

    // A copy this operation made is shown as such at a clash, and a
    // standing "Re&place All" does not settle that clash; also where the
    // image folder's time does not move with each copy (as on FAT, in steps
    // of two seconds).
    void ownCopyAsked_data()
    {
        QTest::addColumn<bool>("coarseTimes");
        QTest::newRow("folder times move") << false;
        QTest::newRow("folder times stand still") << true;
    }
    void ownCopyAsked()
    {
        QFETCH(bool, coarseTimes);
        World w;
        const struct timespec still[2] = {{1057309507, 0}, {1057309507, 0}};
        if (coarseTimes)
            w.fs.afterCopy = [&](const QString &, const QString &) {
                ::utimensat(AT_FDCWD, QFile::encodeName(w.pics()).constData(), still, 0);
                QThread::msleep(30);  // longer than a batch trusts a folder's time unasked
            };
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

    // The check of a copy before the erase: a file is never its own copy.
    void checkBeforeErase_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("copy");
        QTest::addColumn<QString>("mismatch");
        const QString self = "it is the original itself, not a copy";
        QTest::newRow("the same path") << "a:\\P.JPG" << "a:\\P.JPG" << self;
        QTest::newRow("a hard link") << "a:\\P.JPG" << "C:\\Pics\\H.JPG" << self;
        QTest::newRow("a symbolic link")
            << "a:\\P.JPG" << "C:\\Pics\\L.JPG" << "cannot be read: Too many levels of symbolic links";
        QTest::newRow("one byte changed") << "a:\\P.JPG" << "C:\\Pics\\C.JPG" << "different content";
        QTest::newRow("missing") << "a:\\P.JPG" << "C:\\Pics\\M.JPG" << "missing";
        QTest::newRow("a folder") << "a:\\P.JPG" << "C:\\Pics\\D.JPG" << "not a regular file";
        QTest::newRow("the original gone")
            << "a:\\GONE.JPG" << "C:\\Pics\\T.JPG" << "its original cannot be read: No such file or directory";
        QTest::newRow("a true copy") << "a:\\P.JPG" << "C:\\Pics\\T.JPG" << "";
    }
    void checkBeforeErase()
    {
        QFETCH(QString, source);
        QFETCH(QString, copy);
        Drives d;
        pf::FileSystem fs(d.map());
        const QString a = d.root('A'), pics = d.root('C') + "/Pics";
        QDir().mkpath(pics);
        writeFile(a + "/P.JPG", "picture");
        QCOMPARE(::link(QFile::encodeName(a + "/P.JPG"), QFile::encodeName(pics + "/H.JPG")), 0);
        QFile::link(a + "/P.JPG", pics + "/L.JPG");
        writeFile(pics + "/C.JPG", "pictura");
        QDir(pics).mkdir("D.JPG");
        writeFile(pics + "/T.JPG", "picture");
        const QList<CopyCheck> checks = checkCopies(fs, {{source, copy}});
        QCOMPARE(checks.size(), 1);
        QTEST(checks.first().mismatch, "mismatch");
    }
};

PIXFERRY_CORE_TEST_MAIN(TestErase)
#include "test_erase.moc"
