// Pictures made to hurt: refused before decoding, within the memory they
// may take, by the loader and by every window that shows pictures; named
// pipes in the place of pictures; and ordinary pictures still shown.
//
// The peak resident memory is a high-water mark for the whole process: it is
// started afresh where the system allows, and the hostile cases come first,
// the large ordinary pictures last.

#include "platform/jpeglayout.h"
#include "platform/picture.h"
#include "preview/frmpreviewdisk.h"
#include "settings/store.h"
#include "tests/support/hostilejpeg.h"
#include "tests/support/testkit.h"
#include "transfer/frmduplicate.h"

#include <QElapsedTimer>

using namespace testkit;
using namespace Qt::StringLiterals;

namespace {

// Peak memory growth allowed while a hostile picture is refused, in kB.
constexpr long kGrowthKb = 64 * 1024;
// A step that could hang is given this long before the test steps in.
constexpr int kDeadlineMs = 1000;
// Roughly the size Preview Disk decodes at for its viewer.
const QSize kViewer(409, 307);

QByteArray baseline() { return hostile::jpeg(hostile::detailed(64, 48)); }
QByteArray cmyk() { return readFile(QFINDTESTDATA("data/cmyk.jpg")); }

QString scansRefused() { return u"more than %1 scans"_s.arg(pf::PictureBudget::kMaxScans); }
QString memoryRefused() { return u"more than the %1 MB allowed"_s.arg(pf::PictureBudget::kMaxDecodingBytes >> 20); }

// Where the nth start-of-scan marker of a stream begins.
qsizetype nthScan(const QByteArray &jpeg, int n)
{
    qsizetype at = jpeg.indexOf("\xFF\xDA");
    while (--n > 0 && at >= 0)
        at = jpeg.indexOf("\xFF\xDA", at + 2);
    return at;
}

// The hostile pictures the windows meet, by file name: two beyond the memory
// budget, one beyond the scans (and small, so that only the scans refuse it).
QList<std::pair<QString, QByteArray>> hostileFiles()
{
    const QSize huge(20000, 20000);
    return {{u"1_colour.jpg"_s, hostile::withFrameSize(hostile::jpeg(hostile::detailed(64, 48), true), huge)},
            {u"2_cmyk.jpg"_s, hostile::progressiveScans(cmyk(), huge, 3)},
            {u"3_scans.jpg"_s, hostile::progressiveScans(baseline(), {64, 48}, 1200)}};
}

// Preview Disk decodes on a worker: its picture has come, or been refused,
// within the deadline.
bool settled(const frmPreviewDisk &w)
{
    return QTest::qWaitFor([&w] { return !w.decoding(); }, 10 * kDeadlineMs);
}

// Shows each Preview Disk window to a script, once its first picture has
// come, then closes it.
void onPreview(Rig &rig, std::function<void(frmPreviewDisk &)> script)
{
    rig.prompt.onModal = [script](QDialog &dialog) {
        if (auto *preview = qobject_cast<frmPreviewDisk *>(&dialog)) {
            preview->show();
            if (settled(*preview))
                script(*preview);
        }
        dialog.close();
    };
}

// What the preview shows: the picture, its place and the natural size.
auto shown(const frmPreviewDisk &w)
{
    return std::tuple(w.Image1->picture().cacheKey(), w.Image1->geometry(), w.naturalSize());
}

// A clash: the incoming picture on drive A:, the existing one in C:\.
struct Clash {
    Rig rig;
    QString incoming = rig.a() + u"/DSC00042.JPG"_s;
    QString existing = rig.c() + u"/07_04_2003_090507.JPG"_s;
    Clash()
    {
        rig.shared.srcFile = u"a:\\DSC00042.JPG"_s;
        rig.shared.newName = u"07_04_2003_090507.JPG"_s;
        rig.shared.destFile = u"c:\\07_04_2003_090507.JPG"_s;
    }
};

}  // namespace

enum class Window { None, Preview, ClashIncoming, ClashExisting };
Q_DECLARE_METATYPE(Window)

class TestHostilePictures : public QObject {
    Q_OBJECT

    // The windows that show pictures, as test rows.
    static void windows()
    {
        QTest::addColumn<Window>("window");
        QTest::newRow("Preview Disk") << Window::Preview;
        QTest::newRow("clash, the incoming picture") << Window::ClashIncoming;
        QTest::newRow("clash, the existing picture") << Window::ClashExisting;
    }

private Q_SLOTS:
    void init()
    {
        clearSettings();
        storeSetting(settings::kSplashScreen, u"False"_s);
    }

    void refusedBeforeDecoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("shownAt");
        QTest::addColumn<QString>("why");
        const QSize huge(20000, 20000);
        QTest::newRow("progressive colour, 20000 x 20000 claimed")
            << hostile::withFrameSize(hostile::jpeg(hostile::detailed(64, 48), true), huge) << kViewer << memoryRefused();
        QTest::newRow("progressive grey, 20000 x 20000 claimed")
            << hostile::withFrameSize(hostile::jpeg(hostile::detailed(64, 48, true), true), huge) << kViewer
            << memoryRefused();
        QTest::newRow("progressive CMYK, 20000 x 20000 claimed")
            << hostile::progressiveScans(cmyk(), huge, 3) << kViewer << memoryRefused();
        QTest::newRow("1,200 scans, 20000 x 20000 claimed")
            << hostile::progressiveScans(baseline(), huge, 1200) << kViewer << scansRefused();
        QTest::newRow("101 scans of a small picture")
            << hostile::progressiveScans(baseline(), {64, 48}, 101) << kViewer << scansRefused();
        QTest::newRow("baseline, 20000 x 20000 claimed, at full size")
            << hostile::withFrameSize(baseline(), huge) << QSize() << memoryRefused();
        // Its scans walked in chunks, never read whole.
        QTest::newRow("1,200 scans, more than is read whole")
            << hostile::progressiveScans(baseline(), {64, 48}, 1200, QByteArray(56 << 10, '\x5a')) << kViewer
            << scansRefused();
    }

    void refusedBeforeDecoding()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, shownAt);
        QFETCH(QString, why);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"hostile.jpg"_s);
        writeFile(path, bytes);
        hostile::resetPeakResident();
        const long before = hostile::peakResidentKb();
        QElapsedTimer clock;
        clock.start();
        const pf::Result<pf::Picture> picture = pf::loadPicture(path, shownAt);
        const qint64 took = clock.elapsed();
        QVERIFY2(!picture.ok(), "the picture was decoded");
        QVERIFY2(picture.error().reason.contains(why), qPrintable(picture.error().reason));
        QVERIFY2(hostile::peakResidentKb() - before < kGrowthKb,
                 qPrintable(u"peak memory grew by %1 kB"_s.arg(hostile::peakResidentKb() - before)));
        QVERIFY2(took < kDeadlineMs, qPrintable(u"took %1 ms"_s.arg(took)));
    }

    // Preview Disk keeps what it showed; the clash dialog leaves the frame
    // empty, on either side; none of them decodes the picture.
    void windowsShowNoPictureForRefused_data() { windows(); }
    void windowsShowNoPictureForRefused()
    {
        QFETCH(Window, window);
        hostile::resetPeakResident();
        const long before = hostile::peakResidentKb();
        if (window == Window::Preview) {
            Rig rig;
            writeFile(rig.a() + u"/0_good.jpg"_s, hostile::jpeg(hostile::detailed(640, 480)));
            for (const auto &[name, bytes] : hostileFiles())
                writeFile(rig.a() + u'/' + name, bytes);
            rig.openMain();
            QList<bool> kept;
            onPreview(rig, [&](frmPreviewDisk &w) {
                const auto good = shown(w);
                for (int row = 1; row < w.File4->count(); ++row) {
                    w.File4->setCurrentRow(row);
                    kept << (settled(w) && shown(w) == good);
                }
            });
            QTest::keyClick(rig.window.get(), Qt::Key_F2);
            QCOMPARE(kept, QList<bool>(hostileFiles().size(), true));
            QCOMPARE(rig.prompt.boxes.size(), 0);
        } else {
            const bool incoming = window == Window::ClashIncoming;
            for (const auto &[name, bytes] : hostileFiles()) {
                Clash clash;
                writeFile(incoming ? clash.incoming : clash.existing, bytes);
                makeJpeg(incoming ? clash.existing : clash.incoming, 64, 48);
                frmDuplicate dlg(*clash.rig.services, clash.rig.shared);
                QVERIFY2((incoming ? dlg.Image1 : dlg.Image3)->pixmap().isNull(), qPrintable(name));
                QCOMPARE((incoming ? dlg.Picture1 : dlg.Picture2)->size(), QSize(73, 73));  // as before any picture
                QVERIFY2(!(incoming ? dlg.Image3 : dlg.Image1)->pixmap().isNull(), qPrintable(name));
            }
        }
        QVERIFY2(hostile::peakResidentKb() - before < kGrowthKb,
                 qPrintable(u"peak memory grew by %1 kB"_s.arg(hostile::peakResidentKb() - before)));
    }

    // A named pipe where a picture was is refused at once, never waited on:
    // by the loader, by Preview Disk (swapped in for a listed picture while
    // it is open) and by the clash dialog on either side.
    void pipesAreNeverWaitedFor_data()
    {
        windows();
        QTest::newRow("loader") << Window::None;
    }
    void pipesAreNeverWaitedFor()
    {
        QFETCH(Window, window);
        if (window == Window::None) {
            QTemporaryDir dir;
            const QString pipe = dir.filePath(u"PIC.JPG"_s);
            makeFifo(pipe);
            PipeGuard watch(pipe, kDeadlineMs);
            const pf::Result<QSize> size = pf::pictureSize(pipe);
            const pf::Result<pf::Picture> picture = pf::loadPicture(pipe, kViewer);
            watch.done();
            QVERIFY2(!watch.letGo(), "waited on the pipe");
            QCOMPARE(size.error().reason, u"The file is not a regular file"_s);
            QCOMPARE(picture.error().reason, u"The file is not a regular file"_s);
        } else if (window == Window::Preview) {
            Rig rig;
            writeFile(rig.a() + u"/1.jpg"_s, hostile::jpeg(hostile::detailed(64, 48)));
            writeFile(rig.a() + u"/2.jpg"_s, hostile::jpeg(hostile::detailed(48, 64)));
            writeFile(rig.a() + u"/3.jpg"_s, hostile::jpeg(hostile::detailed(48, 64)));
            rig.openMain();
            bool kept = false, letGo = true;
            onPreview(rig, [&](frmPreviewDisk &w) {
                // The last picture: the second is decoded ahead as soon as the first is shown.
                const QString pipe = rig.a() + u"/3.jpg"_s;
                QVERIFY(QFile::remove(pipe));
                makeFifo(pipe);
                const auto before = shown(w);
                PipeGuard watch(pipe, kDeadlineMs);
                w.File4->setCurrentRow(2);
                const bool came = settled(w);
                watch.done();
                letGo = watch.letGo();
                kept = came && shown(w) == before;
            });
            QTest::keyClick(rig.window.get(), Qt::Key_F2);
            QVERIFY2(!letGo, "waited on the pipe");
            QVERIFY(kept);
        } else {
            const bool incoming = window == Window::ClashIncoming;
            Clash clash;
            const QString pipe = incoming ? clash.incoming : clash.existing;
            makeJpeg(incoming ? clash.existing : clash.incoming, 64, 48);
            makeFifo(pipe);
            PipeGuard watch(pipe, kDeadlineMs);
            frmDuplicate dlg(*clash.rig.services, clash.rig.shared);
            watch.done();
            QVERIFY2(!watch.letGo(), "waited on the pipe");
            QVERIFY((incoming ? dlg.Image1 : dlg.Image3)->pixmap().isNull());
            QVERIFY(!(incoming ? dlg.Image3 : dlg.Image1)->pixmap().isNull());
        }
    }

    // What the markers say, read from memory and from a device in chunks.
    void layoutFromMarkers_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("frame");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QList<int>>("sampling");  // h, v of each component
        QTest::addColumn<bool>("progressive");
        QTest::addColumn<int>("scans");
        QTest::addColumn<bool>("complete");
        const QByteArray progressive = hostile::jpeg(hostile::detailed(64, 48), true);
        const QList<int> yuv{2, 2, 1, 1, 1, 1};
        QTest::newRow("baseline") << baseline() << true << QSize(64, 48) << yuv << false << 1 << true;
        QTest::newRow("grey") << hostile::jpeg(hostile::detailed(64, 48, true)) << true << QSize(64, 48)
                              << QList<int>{1, 1} << false << 1 << true;
        QTest::newRow("progressive") << progressive << true << QSize(64, 48) << yuv << true << 10 << true;
        QTest::newRow("cut before its fourth scan")
            << progressive.left(nthScan(progressive, 4)) << true << QSize(64, 48) << yuv << true << 3 << false;
        QTest::newRow("cut in its frame header") << baseline().left(baseline().indexOf("\xFF\xC0") + 8) << false
                                                 << QSize() << QList<int>() << false << 0 << false;
        QTest::newRow("CMYK") << cmyk() << true << QSize(24, 16) << QList<int>{1, 1, 1, 1, 1, 1, 1, 1} << false << 1
                              << true;
        QTest::newRow("stuffed bytes and restarts in the data")
            << hostile::progressiveScans(baseline(), {64, 48}, 3, QByteArray("\xFF\x00\x12\xFF\xD3\xFF\xFF\x00", 8)) << true
            << QSize(64, 48) << yuv << true << 3 << true;
        QTest::newRow("counting stops past the cap")
            << hostile::progressiveScans(baseline(), {64, 48}, 1200) << true << QSize(64, 48) << yuv << true << 101
            << false;
        // More than a chunk of data between markers, with 0xFF across the
        // chunk's edges.
        QTest::newRow("longer than a chunk")
            << hostile::progressiveScans(baseline(), {64, 48}, 3, QByteArray(700000, '\x01') + "\xFF\x00\xFF\xD0" + QByteArray(600000, '\xFF') + '\x00')
            << true << QSize(64, 48) << yuv << true << 3 << true;
    }

    void layoutFromMarkers()
    {
        QFETCH(QByteArray, bytes);
        QBuffer device(&bytes);
        QVERIFY(device.open(QIODevice::ReadOnly));
        const pf::JpegLayout fromMemory = pf::readJpegLayout(bytes, pf::PictureBudget::kMaxScans);
        const pf::JpegLayout fromDevice = pf::readJpegLayout(device, pf::PictureBudget::kMaxScans);
        for (const pf::JpegLayout &l : {fromMemory, fromDevice}) {
            QList<int> sampling;
            for (const pf::JpegLayout::Component &c : l.components)
                sampling << c.h << c.v;
            QVERIFY(l.isJpeg);
            QTEST(l.hasFrame, "frame");
            QTEST(l.hasFrame ? QSize(l.width, l.height) : QSize(), "size");
            QTEST(sampling, "sampling");
            QTEST(l.progressive, "progressive");
            QTEST(l.scans, "scans");
            QTEST(l.complete, "complete");
        }
    }

    void decoderMemory()
    {
        const QSize huge(20000, 20000);
        const pf::JpegLayout plain = pf::readJpegLayout(hostile::withFrameSize(baseline(), huge), 100);
        const pf::JpegLayout progressive =
            pf::readJpegLayout(hostile::withFrameSize(hostile::jpeg(hostile::detailed(64, 48), true), huge), 100);
        const pf::JpegLayout notJpeg = pf::readJpegLayout(QByteArray("\x89PNG\r\n\x1a\n", 8), 100);
        // All the coefficients, 2 bytes a sample: 2500 x 2500 blocks of
        // luminance and 1250 x 1250 of each colour, 128 bytes a block.
        QCOMPARE(pf::jpegDecoderBytes(progressive) - pf::jpegDecoderBytes(plain), 9375000LL * 128);
        // Without them, a few rows of blocks.
        QVERIFY2(pf::jpegDecoderBytes(plain) < 4 << 20, qPrintable(QString::number(pf::jpegDecoderBytes(plain))));
        QVERIFY(!notJpeg.isJpeg);
        QCOMPARE(pf::jpegDecoderBytes(notJpeg), 0);
    }

    // Last, as they take memory: what cameras and Qt's writer make is shown,
    // and so is a picture cut short that the decoder shows as far as it goes.
    void ordinaryPicturesStillShown_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("shownAt");
        QTest::addColumn<QSize>("natural");
        const QSize fifty(8660, 5774);  // 50 megapixels
        QTest::newRow("progressive, from Qt's writer")
            << hostile::jpeg(hostile::detailed(640, 480), true) << kViewer << QSize(640, 480);
        QTest::newRow("100 scans") << hostile::progressiveScans(baseline(), {64, 48}, 100) << kViewer << QSize(64, 48);
        QTest::newRow("50 megapixels") << hostile::withFrameSize(baseline(), fifty) << kViewer << fifty;
        QTest::newRow("50 megapixels, progressive")
            << hostile::withFrameSize(hostile::jpeg(hostile::detailed(64, 48), true), fifty) << kViewer << fifty;
        QTest::newRow("50 megapixels, at full size") << hostile::withFrameSize(baseline(), fifty) << QSize() << fifty;
        QTest::newRow("20000 x 20000 cut short") << hostile::withFrameSize(baseline(), {20000, 20000}) << kViewer
                                                 << QSize(20000, 20000);
        // Decoded from the file, not from memory.
        QTest::newRow("more than is read whole") << baseline() + QByteArray(65 << 20, '\0') << kViewer << QSize(64, 48);
    }

    void ordinaryPicturesStillShown()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, shownAt);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"ordinary.jpg"_s);
        writeFile(path, bytes);
        const pf::Result<pf::Picture> picture = pf::loadPicture(path, shownAt);
        QVERIFY2(picture.ok(), picture.ok() ? "" : qPrintable(picture.error().reason));
        QTEST(picture->natural, "natural");
        QVERIFY(!picture->image.isNull());
        // At least as large as asked for (the picture box makes the last step).
        const QSize asked = shownAt.isEmpty() ? picture->natural : shownAt.boundedTo(picture->natural);
        QVERIFY2(picture->image.width() >= asked.width(), qPrintable(QString::number(picture->image.width())));
    }
};

PIXFERRY_TEST_MAIN(TestHostilePictures)
#include "test_hostilepictures.moc"
