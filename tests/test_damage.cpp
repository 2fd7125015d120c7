// Copy Disk from a worn diskette, without windows: a read that fails is
// tried again, a stretch that stays unreadable fails the copy as a read
// error, and on request what could be read is kept under a "_damaged" name,
// never a copy the diskette is erased by. The medium double fails chosen
// bytes of the real files below the diskette's folder.

#include "tests/support/copyworld.h"
#include "tests/support/mediumdouble.h"
#include "transfer/copyreport.h"

using namespace copyworld;

Q_DECLARE_METATYPE(ClashChoice)
Q_DECLARE_METATYPE(FailedChoice)

namespace {

const QString kUnreadable = "on the diskette, cannot be read: input/output error (error 57) [keep offered]";

// The first byte at which `got` differs from `expected` (the shorter
// length, when one is a start of the other), or -1 when they are equal.
qsizetype firstDifference(const QByteArray &got, const QByteArray &expected)
{
    const qsizetype n = std::min(got.size(), expected.size());
    for (qsizetype i = 0; i < n; ++i)
        if (got[i] != expected[i])
            return i;
    return got.size() == expected.size() ? -1 : n;
}

// A picture of some 60 KB on the diskette; its bytes.
QByteArray putPicture(World &w, const QString &name)
{
    makeNoisyJpeg(w.onDisk(name), 240, 180, kJuly);
    return readFile(w.onDisk(name));
}

}  // namespace

class TestDamage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A read that fails is tried again at the same place: four tries in
    // all. A sector that fails up to three times is copied whole, nothing
    // said; one that fails four times fails the copy as unreadable. Reads
    // that find the end before the file's length (a driver's short read)
    // are a failed read too, never a file "changed while it was copied". A
    // file that needed another try is read once more and must agree with
    // its copy: bytes handed out wrong meanwhile make it unreadable.
    void retries_data()
    {
        QTest::addColumn<QString>("fault");  // "bad": a sector fails; "short": reads end in the middle
        QTest::addColumn<int>("times");
        QTest::addColumn<bool>("whole");
        QTest::addColumn<QStringList>("asked");
        const QStringList copied{"erase?"}, failed{"failed PIC.JPG: " + kUnreadable};
        QTest::newRow("a sector failing once") << "bad" << 1 << true << copied;
        QTest::newRow("a sector failing three times") << "bad" << 3 << true << copied;
        QTest::newRow("a sector failing four times") << "bad" << 4 << false << failed;
        QTest::newRow("reads ending early once") << "short" << 1 << true << copied;
        QTest::newRow("reads ending early three times") << "short" << 3 << true << copied;
        QTest::newRow("reads ending early four times") << "short" << 4 << false << failed;
        QTest::newRow("a sector failing once, the bytes before it wrong at first") << "bad, wrong" << 1 << false
                                                                                   << failed;
    }
    void retries()
    {
        QFETCH(QString, fault);
        QFETCH(int, times);
        QFETCH(bool, whole);
        World w;
        const QByteArray original = putPicture(w, "PIC.JPG");
        testkit::MediumDouble medium(w.a());
        const qint64 middle = original.size() / 2 / 512 * 512;
        if (fault.startsWith("bad"))
            medium.failBytes(w.onDisk("PIC.JPG"), middle, middle + 512, times);
        else
            medium.endEarly(w.onDisk("PIC.JPG"), middle, times);
        if (fault.endsWith("wrong"))
            medium.garbleBytes(w.onDisk("PIC.JPG"), middle - 1024, middle, 1);
        w.script.eraseDiskette = false;
        const CopyOutcome out = w.copy(true);
        QTEST(w.script.asked, "asked");
        QCOMPARE(medium.failures(), times + (fault.endsWith("wrong") ? 1 : 0));  // each planted fault was met
        QCOMPARE(out.end, whole ? CopyOutcome::End::Declined : CopyOutcome::End::Failed);
        QCOMPARE(firstDifference(readFile(w.pic("PIC.JPG")), whole ? original : QByteArray("<missing>")), -1);
        QCOMPARE(entries(w.pics()), whole ? QStringList{"PIC.JPG"} : QStringList());  // nothing half-written
    }

    // "Keep Readable Part": the copy has the original's length, every
    // readable byte in its place and zeros for exactly the bytes that could
    // not be read (found in pieces of 4 KB, then 512 bytes); it is named
    // "_damaged", the diskette keeps its file (no erase is offered), and the
    // closing box names the copy with the bytes that could not be read.
    void rescue_data()
    {
        QTest::addColumn<QString>("where");
        QTest::newRow("a sector in the middle") << "middle";
        QTest::newRow("three sectors across a page's edge") << "across";
        QTest::newRow("the first sector") << "first";
        QTest::newRow("the last bytes") << "last";
        QTest::newRow("reads ending early in the middle, always") << "short";
    }
    void rescue()
    {
        QFETCH(QString, where);
        World w;
        const QByteArray original = putPicture(w, "PIC.JPG");
        const qint64 size = original.size(), middle = size / 2 / 512 * 512, page = size / 2 / 4096 * 4096;
        qint64 start = middle, end = middle + 512;
        if (where == "across")
            start = page - 512, end = page + 1024;
        else if (where == "first")
            start = 0, end = 512;
        else if (where == "last")
            start = (size - 1) / 512 * 512, end = size;
        else if (where == "short")
            end = size;
        std::optional<testkit::MediumDouble> medium(std::in_place, w.a());
        if (where == "short")
            medium->endEarly(w.onDisk("PIC.JPG"), middle);
        else
            medium->failBytes(w.onDisk("PIC.JPG"), start, end);
        w.script.failed = {FailedChoice::KeepReadable};
        const CopyOutcome out = w.copy(true);
        medium.reset();  // the diskette's file read as it is

        QCOMPARE(w.script.asked, QStringList{"failed PIC.JPG: " + kUnreadable});  // no erase offered
        QCOMPARE(out.end, CopyOutcome::End::Failed);
        QCOMPARE(entries(w.pics()), QStringList{"PIC_damaged.JPG"});
        QByteArray expected = original;
        expected.replace(start, end - start, QByteArray(end - start, '\0'));
        QCOMPARE(firstDifference(readFile(w.pic("PIC_damaged.JPG")), expected), -1);
        QCOMPARE(out.rescued.size(), 1);
        QCOMPARE(out.rescued[0].name, "PIC.JPG");
        QCOMPARE(out.rescued[0].copy, "C:\\Pics\\PIC_damaged.JPG");
        QCOMPARE(out.rescued[0].unreadable, end - start);
        QCOMPARE(readFile(w.onDisk("PIC.JPG")), original);
        QCOMPARE(reportOf(out).boxText.section('\r', -1),
                 QString("C:\\Pics\\PIC_damaged.JPG (%1 bytes could not be read)").arg(end - start));
    }

    // What is kept takes the name the copy was meant to have with
    // "_damaged" before the extension, and the next free name as any copy
    // does; it never takes the place of a file, also where the copy was to
    // replace one. OK and Cancel keep nothing.
    void rescuedNames_data()
    {
        QTest::addColumn<bool>("keep");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("existing");  // in the destination folder, holding "old"
        QTest::addColumn<FailedChoice>("answer");
        QTest::addColumn<QStringList>("after");  // the destination folder
        const auto Keep = FailedChoice::KeepReadable;
        QTest::newRow("date-time name") << false << "PIC.JPG" << "" << Keep
                                        << QStringList{"07_04_2003_090507_damaged.JPG"};
        QTest::newRow("diskette name") << true << "PIC.JPG" << "" << Keep << QStringList{"PIC_damaged.JPG"};
        QTest::newRow("a clip") << true << "CLIP.MPG" << "" << Keep << QStringList{"CLIP_damaged.MPG"};
        QTest::newRow("a clip, its damaged name taken")
            << true << "CLIP.MPG" << "CLIP_damaged.MPG" << Keep << QStringList{"1439CLIP_damaged.MPG", "CLIP_damaged.MPG"};
        QTest::newRow("its damaged name taken")
            << false << "PIC.JPG" << "07_04_2003_090507_damaged.JPG" << Keep
            << QStringList{"07_04_2003_090507_damaged.JPG", "a07_04_2003_090507_damaged.JPG"};
        QTest::newRow("replacing at a clash: the existing image stays")
            << true << "PIC.JPG" << "PIC.JPG" << Keep << QStringList{"PIC.JPG", "PIC_damaged.JPG"};
        QTest::newRow("OK keeps nothing") << true << "PIC.JPG" << "" << FailedChoice::GoOn << QStringList();
        QTest::newRow("Cancel keeps nothing") << true << "PIC.JPG" << "" << FailedChoice::Stop << QStringList();
    }
    void rescuedNames()
    {
        QFETCH(bool, keep);
        QFETCH(QString, file);
        QFETCH(QString, existing);
        QFETCH(FailedChoice, answer);
        World w;
        const QByteArray original = putPicture(w, file);
        const QString folder = file.endsWith(".MPG") ? w.clips() : w.pics();
        if (!existing.isEmpty())
            writeFile(folder + '/' + existing, "old");
        std::optional<testkit::MediumDouble> medium(std::in_place, w.a());
        medium->failBytes(w.onDisk(file), 1024, 1536);
        w.script.clashes = {ClashChoice::Replace};
        w.script.failed = {answer};
        const CopyOutcome out = w.copy(keep);
        medium.reset();  // the diskette's file read as it is
        QTEST(entries(folder), "after");
        if (!existing.isEmpty())
            QCOMPARE(readFile(folder + '/' + existing), "old");
        QCOMPARE(out.rescued.size(), answer == FailedChoice::KeepReadable ? 1 : 0);
        QCOMPARE(out.stopped, answer == FailedChoice::Stop);
        QCOMPARE(readFile(w.onDisk(file)), original);
    }

    // Where even the readable part cannot be kept (a folder has its name),
    // that is said as a failed copy is, and nothing is kept.
    void rescueFails()
    {
        World w;
        putPicture(w, "PIC.JPG");
        QDir(w.pics()).mkdir("PIC_damaged.JPG");
        testkit::MediumDouble medium(w.a());
        medium.failBytes(w.onDisk("PIC.JPG"), 1024, 1536);
        w.script.failed = {FailedChoice::KeepReadable};
        const CopyOutcome out = w.copy(true);
        QCOMPARE(w.script.asked, (QStringList{"failed PIC.JPG: " + kUnreadable,
                                              "failed PIC.JPG: A folder (or something else that is not a file) is "
                                              "already named PIC_damaged.JPG (error 58)"}));
        QCOMPARE(out.rescued.size(), 0);
        QCOMPARE(out.notCopied, QStringList{"PIC.JPG"});
        QCOMPARE(entries(w.pics()), QStringList{"PIC_damaged.JPG"});
    }
};

PIXFERRY_CORE_TEST_MAIN(TestDamage)
#include "test_damage.moc"
