// Pictures made to hurt: refused before decoding, within the memory they
// may take, by the loader and by the clash dialog (Preview Disk meets them
// in test_preview); named pipes in the place of pictures; EXIF blocks whose
// offsets hurt; and ordinary pictures still shown.
//
// The peak resident memory is a high-water mark for the whole process: it is
// started afresh where the system allows, and the hostile cases come first,
// the large ordinary pictures last.

#include "platform/exif.h"
#include "platform/jpeglayout.h"
#include "platform/picture.h"
#include "tests/support/hostilejpeg.h"
#include "tests/support/testkit.h"
#include "transfer/frmduplicate.h"

using namespace hostile;
using namespace testkit;
using namespace Qt::StringLiterals;

namespace {

const QSize kViewer(409, 307);  // roughly the size Preview Disk decodes at for its viewer
const QSize kHuge(20000, 20000);

QByteArray baseline() { return jpeg(detailed(64, 48)); }
QByteArray progressive() { return jpeg(detailed(64, 48), true); }
// Beyond the memory budget by the coefficients it keeps.
QByteArray tooCostly() { return withFrameSize(progressive(), kHuge); }

QString scansRefused() { return u"more than %1 scans"_s.arg(pf::PictureBudget::kMaxScans); }
QString memoryRefused() { return u"more than the %1 MB allowed"_s.arg(pf::PictureBudget::kMaxDecodingBytes >> 20); }

// How many descriptors of this process are open on the file.
int openOn(const QString &path)
{
    const QDir fds(u"/proc/self/fd"_s);
    int n = 0;
    for (const QString &fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        n += QFileInfo(fds.filePath(fd)).symLinkTarget() == QFileInfo(path).canonicalFilePath();
    return n;
}

}  // namespace

class TestHostilePictures : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { clearSettings(false); }

    // Refused before decoding, within the memory allowed: by the loader, for
    // the reason given, and by the clash dialog, which leaves that side's
    // frame empty and shows the other side's own pixels, never its thumbnail
    // (which may be stale). A named pipe is never waited on.
    void refusedBeforeDecoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");  // empty: a named pipe
        QTest::addColumn<QString>("why");
        QTest::addColumn<bool>("incoming");  // the side of the clash dialog
        QTest::newRow("progressive, 20000 x 20000 claimed") << tooCostly() << memoryRefused() << true;
        // The decoder reads on after a length that cannot be, to the frame behind it.
        QTest::newRow("behind a segment of length 0")
            << tooCostly().insert(2, QByteArray("\xFF\xE3\x00\x00", 4)) << memoryRefused() << false;
        // A bitmap of 7500 x 7500 in 64 bytes, decoded whole and copied to be scaled.
        const QByteArray bitmap = QByteArray::fromHex("424d40000000000000003e000000280000004c1d00004c1d0000"
                                                      "01000800010000000200000013"
                                                      "0b0000130b0000020000000000000010203000ffffff000001");
        QTest::newRow("a bitmap, not a JPEG") << bitmap << memoryRefused() << true;
        QTest::newRow("65000 x 65000 claimed, from the header alone")
            << withFrameSize(baseline(), {65000, 65000}) << u"65000 x 65000 pixels, too large"_s << false;
        // Stuffed bytes and restart markers in the data are no markers of their own.
        const QByteArray stuffed("\xFF\x00\x12\xFF\xD3\x34", 6);
        QTest::newRow("101 scans") << progressiveScans(baseline(), {64, 48}, 101, stuffed) << scansRefused() << true;
        // Its scans walked in chunks, never read whole; fill bytes across the chunks' edges.
        const QByteArray longData = QByteArray(28 << 10, '\x5a') + QByteArray(28 << 10, '\xFF') + '\0';
        QTest::newRow("1,200 scans, more than is read whole")
            << progressiveScans(baseline(), {64, 48}, 1200, longData) << scansRefused() << false;
        // Comments before the picture, which the reader keeps, and more than once.
        const QByteArray comment = QByteArray("\xFF\xFE\xFF\xFF", 4) + QByteArray(65533, 'c');
        QTest::newRow("72 MB of comments") << baseline().insert(2, comment.repeated(1100)) << memoryRefused() << true;
        QTest::newRow("a named pipe, incoming") << QByteArray() << u"not a regular file"_s << true;
        QTest::newRow("a named pipe, existing") << QByteArray() << u"not a regular file"_s << false;
    }

    void refusedBeforeDecoding()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, why);
        QFETCH(bool, incoming);
        Rig rig;
        rig.shared.srcFile = u"a:\\DSC00042.JPG"_s;
        rig.shared.newName = u"07_04_2003_090507.JPG"_s;
        rig.shared.destFile = u"c:\\07_04_2003_090507.JPG"_s;
        const QString source = rig.a() + u"/DSC00042.JPG"_s, existing = rig.c() + u"/07_04_2003_090507.JPG"_s;
        const QString path = incoming ? source : existing;
        const QByteArray redThumbnail = jpeg(solid({160, 120}, kRed));
        writeFile(incoming ? existing : source,
                  withExif(jpeg(solid({640, 480}, kBlue)), {.thumbnail = redThumbnail}));
        std::optional<PipeGuard> watch;
        if (bytes.isEmpty()) {
            makeFifo(path);
            watch.emplace(path);
        } else {
            writeFile(path, bytes);
        }
        resetPeakResident();
        const long before = peakResidentKb();
        const pf::Result<pf::Picture> picture = pf::loadPicture(path, kViewer);
        frmDuplicate dlg(*rig.services, rig.shared);
        QVERIFY(QTest::qWaitFor([&] { return !dlg.reading(); }, 10000));
        if (watch) {
            watch->done();
            QVERIFY2(!watch->letGo(), "waited on the pipe");
        }
        QVERIFY2(!picture, "the picture was decoded");
        QVERIFY2(picture.error().reason.contains(why), qPrintable(picture.error().reason));
        QVERIFY2((incoming ? dlg.Image1 : dlg.Image3)->pixmap().isNull(), "a picture in the clash dialog");
        QCOMPARE((incoming ? dlg.Picture1 : dlg.Picture2)->size(), QSize(73, 73));  // as before any picture
        QVERIFY2(near((incoming ? dlg.Image3 : dlg.Image1)->pixmap().toImage(), kBlue), "the other's own pixels");
        const long grew = peakResidentKb() - before;  // allowed: 64 MB
        QVERIFY2(grew < 64 * 1024, qPrintable(u"peak memory grew by %1 kB"_s.arg(grew)));
    }

    // Two pictures that each fit the budget, in the clash dialog: they are
    // decoded one after the other, so the dialog holds one budget, not two.
    void clashDialogHoldsOneBudget()
    {
        Rig rig;
        rig.shared.srcFile = u"a:\\BIG.JPG"_s;
        rig.shared.newName = u"BIG.JPG"_s;
        rig.shared.destFile = u"c:\\BIG.JPG"_s;
        const QImage grey = solid({64, 48}, kGrey).convertToFormat(QImage::Format_Grayscale8);
        const QByteArray big = progressiveScans(jpeg(grey), {10000, 10000}, 100);
        writeFile(rig.a() + u"/BIG.JPG"_s, big);
        writeFile(rig.c() + u"/BIG.JPG"_s, big);
        resetPeakResident();
        const long idle = peakResidentKb();
        QVERIFY(pf::loadPicture(rig.a() + u"/BIG.JPG"_s, kViewer));
        const long one = peakResidentKb() - idle;  // what one such picture holds while it is decoded
        QVERIFY2(one > 100 * 1024, qPrintable(u"one picture held only %1 kB"_s.arg(one)));
        resetPeakResident();
        const long before = peakResidentKb();
        frmDuplicate dlg(*rig.services, rig.shared);
        QVERIFY(QTest::qWaitFor([&] { return !dlg.reading(); }, 30000));
        const long both = peakResidentKb() - before;
        QVERIFY2(both < one * 3 / 2, qPrintable(u"the dialog held %1 kB, one picture %2 kB"_s.arg(both).arg(one)));
    }

    // The camera's EXIF block: every offset checked against the block, and
    // no loop of directories followed round.
    void exifFacts_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QByteArray>("thumbnail");  // empty: none found
        const QByteArray plain = jpeg(solid({64, 48}, kBlue)), thumb = jpeg(solid({16, 12}, kRed));
        const auto with = [&](Exif e) { return withExif(plain, e); };
        QTest::newRow("thumbnail, little-endian") << with({.thumbnail = thumb}) << 1 << thumb;
        QTest::newRow("thumbnail and orientation, big-endian")
            << with({.orientation = 8, .thumbnail = thumb, .bigEndian = true}) << 8 << thumb;
        QTest::newRow("orientation out of range") << with({.orientation = 9, .thumbnail = thumb}) << 1 << thumb;
        QTest::newRow("an offset that wraps round")
            << with({.thumbnail = thumb, .thumbnailAt = 0xFFFFFFF0, .thumbnailLength = 0x20}) << 1 << QByteArray();
        QTest::newRow("one byte beyond the block")
            << with({.thumbnail = thumb, .bigEndian = true, .thumbnailLength = thumb.size() + 1}) << 1 << QByteArray();
        QTest::newRow("second directory is the first")
            << with({.orientation = 6, .thumbnail = thumb, .nextDirectory = 8}) << 6 << QByteArray();
        QTest::newRow("second directory past the end")
            << with({.orientation = 6, .thumbnail = thumb, .bigEndian = true, .nextDirectory = 0x7FFFFFFF}) << 6
            << QByteArray();
        QTest::newRow("thumbnail not a JPEG") << with({.thumbnail = "Not a picture at all"}) << 1 << QByteArray();
        QTest::newRow("segment cut short")
            << with({.orientation = 6, .thumbnail = thumb}).left(40) << 1 << QByteArray();
    }

    void exifFacts()
    {
        QFETCH(QByteArray, bytes);
        const pf::ExifFacts facts = pf::readExif(bytes);
        QTEST(facts.orientation, "orientation");
        QTEST(facts.hasThumbnail() ? facts.thumbnail(bytes).toByteArray() : QByteArray(), "thumbnail");
    }

    // A camera's thumbnail that claims a huge size, turned and mirrored by
    // the picture's mark, costs no more memory than the picture shown; one
    // that would take more than the budget beside the file is not decoded.
    void hugeThumbnail_data()
    {
        QTest::addColumn<QSize>("claimed");  // by the picture and its thumbnail
        QTest::addColumn<bool>("progressive");
        QTest::addColumn<int>("padding");  // MB of segments the reader passes over, before the first scan
        QTest::addColumn<bool>("thumbnailShown");
        QTest::newRow("7000 x 7000") << QSize(7000, 7000) << false << 0 << true;
        QTest::newRow("progressive, in a file of 62 MB") << QSize(9000, 9000) << true << 62 << false;
    }

    void hugeThumbnail()
    {
        QFETCH(QSize, claimed);
        QFETCH(bool, progressive);
        QFETCH(int, padding);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"thumbnail.jpg"_s);
        const QByteArray thumbnail = withFrameSize(jpeg(solid({64, 64}, kRed), progressive), claimed);
        const QByteArray segment = QByteArray("\xFF\xE3\xFF\xFF", 4) + QByteArray(65533, '\0');
        const QByteArray picture = withFrameSize(baseline(), claimed).insert(2, segment.repeated(16 * padding));
        writeFile(path, withExif(picture, {.orientation = 5, .thumbnail = thumbnail}));
        pf::LoadSteps steps;
        steps.shownSizeFor = [](QSize) { return kViewer; };
        QImage shown;
        steps.headRead = [&shown](const pf::PictureHead &head) { shown = head.thumbnail; };
        resetPeakResident();
        const long before = peakResidentKb();
        const pf::Result<pf::Picture> loaded = pf::loadPictureInSteps(path, steps);
        const long grew = peakResidentKb() - before;  // allowed: 64 MB beside the file
        QVERIFY2(grew < (64 + padding) * 1024, qPrintable(u"peak memory grew by %1 kB"_s.arg(grew)));
        QTEST(!shown.isNull(), "thumbnailShown");
        QVERIFY2(loaded, loaded ? "" : qPrintable(loaded.error().reason));
    }

    void decoderMemory()
    {
        const pf::JpegLayout plain = pf::readJpegLayout(withFrameSize(baseline(), kHuge), 100);
        const pf::JpegLayout kept = pf::readJpegLayout(tooCostly(), 100);
        // All the coefficients, 2 bytes a sample: 2500 x 2500 blocks of
        // luminance and 1250 x 1250 of each colour, 128 bytes a block.
        QCOMPARE(pf::jpegDecoderBytes(kept) - pf::jpegDecoderBytes(plain), 9375000LL * 128);
    }

    // Last, as they take memory: what cameras and Qt's writer make is shown,
    // decoded at the smallest of the decoder's eighths that covers the size
    // asked for, and so is a picture cut short that the decoder shows as far
    // as it goes.
    void ordinaryPicturesStillShown_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("shownAt");
        QTest::addColumn<QSize>("natural");
        QTest::addColumn<QSize>("decoded");
        const QSize fifty(8660, 5774);  // 50 megapixels
        const QByteArray red = jpeg(solid({2400, 1600}, kRed));
        const QByteArray turned = withExif(red, {.orientation = 6, .thumbnail = {}});
        QTest::newRow("100 scans")
            << progressiveScans(baseline(), {64, 48}, 100) << kViewer << QSize(64, 48) << QSize(64, 48);
        QTest::newRow("50 megapixels, progressive")
            << withFrameSize(progressive(), fifty) << kViewer << fifty << QSize(1082, 721);
        QTest::newRow("50 megapixels, at full size") << withFrameSize(baseline(), fifty) << QSize() << fifty
                                                     << fifty;
        QTest::newRow("20000 x 20000 cut short")
            << withFrameSize(baseline(), kHuge) << kViewer << kHuge << QSize(2500, 2500);
        QTest::newRow("turned by its mark") << turned << QSize(100, 150) << QSize(1600, 2400) << QSize(200, 300);
        // Decoded from the file, not from memory.
        QTest::newRow("more than is read whole")
            << baseline() + QByteArray(65 << 20, '\0') << kViewer << QSize(64, 48) << QSize(64, 48);
    }

    void ordinaryPicturesStillShown()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, shownAt);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"ordinary.jpg"_s);
        writeFile(path, bytes);
        const pf::Result<pf::Picture> picture = pf::loadPicture(path, shownAt);
        QCOMPARE(openOn(path), 0);
        QVERIFY2(picture, picture ? "" : qPrintable(picture.error().reason));
        QTEST(picture->natural, "natural");
        QTEST(picture->image.size(), "decoded");
    }
};

PIXFERRY_TEST_MAIN(TestHostilePictures)
#include "test_hostilepictures.moc"
