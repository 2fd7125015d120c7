// Pictures made to hurt: refused from their markers before decoding, by the
// loader and by every window that shows pictures; named pipes in the place
// of pictures never waited on; ordinary pictures still shown. The peak
// resident memory is the process's high-water mark, started afresh where
// the system allows; the large ordinary pictures come last.

#include "platform/jpeglayout.h"
#include "platform/picture.h"
#include "preview/frmpreviewdisk.h"
#include "tests/support/hostilejpeg.h"
#include "tests/support/testkit.h"
#include "transfer/frmduplicate.h"

using namespace testkit;

namespace {

constexpr long kGrowthKb = 64 * 1024;  // peak memory growth allowed while refusing, in kB
const QSize kViewer(409, 307);         // about the size Preview Disk decodes at
const QSize kHuge(20000, 20000);

QByteArray baseline() { return hostile::jpeg(hostile::detailed(64, 48)); }
QByteArray progressive() { return hostile::jpeg(hostile::detailed(64, 48), true); }
QByteArray cmyk() { return readFile(QFINDTESTDATA("data/cmyk.jpg")); }
QByteArray scans(int n, QSize claimed = {64, 48}, const QByteArray &data = QByteArray("\x12\x34\x56\x78\x9a\xbc", 6))
{
    return hostile::progressiveScans(baseline(), claimed, n, data);
}

const QString kScans = QString("more than %1 scans").arg(pf::PictureBudget::kMaxScans);
const QString kMemory = QString("more than the %1 MB allowed").arg(pf::PictureBudget::kMaxDecodingBytes >> 20);

// The peak resident memory started afresh, and its growth since then when beyond the allowance.
long freshPeak() { return hostile::resetPeakResident(), hostile::peakResidentKb(); }
QString excessGrowth(long before)
{
    const long kb = hostile::peakResidentKb() - before;
    return kb < kGrowthKb ? QString() : QString("peak memory grew by %1 kB").arg(kb);
}

// What the markers say, in one line.
QString summary(const pf::JpegLayout &l)
{
    QStringList sampling;
    for (const pf::JpegLayout::Component &c : l.components)
        sampling << QString("%1x%2").arg(c.h).arg(c.v);
    return QString("%1 %2x%3 %4 %5 %6 scans%7")
        .arg(l.hasFrame ? "frame" : "no frame")
        .arg(l.width).arg(l.height)
        .arg(sampling.join(','), l.progressive ? "progressive" : "sequential")
        .arg(l.scans)
        .arg(l.complete ? ", complete" : "");
}

}  // namespace

class TestHostilePictures : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { clearSettings(false); }

    void refusedBeforeDecoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("shownAt");
        QTest::addColumn<QString>("why");
        QTest::newRow("progressive colour, 20000 x 20000") << hostile::withFrameSize(progressive(), kHuge) << kViewer
                                                           << kMemory;
        QTest::newRow("progressive grey, 20000 x 20000")
            << hostile::withFrameSize(hostile::jpeg(hostile::detailed(64, 48, true), true), kHuge) << kViewer
            << kMemory;
        QTest::newRow("progressive CMYK, 20000 x 20000") << hostile::progressiveScans(cmyk(), kHuge, 3) << kViewer
                                                         << kMemory;
        QTest::newRow("1,200 scans, 20000 x 20000") << scans(1200, kHuge) << kViewer << kScans;
        QTest::newRow("101 scans of a small picture") << scans(101) << kViewer << kScans;
        QTest::newRow("baseline 20000 x 20000, at full size") << hostile::withFrameSize(baseline(), kHuge) << QSize()
                                                              << kMemory;
        // Its scans walked in chunks, never read whole.
        QTest::newRow("1,200 scans, more than is read whole")
            << scans(1200, {64, 48}, QByteArray(56 << 10, '\x5a')) << kViewer << kScans;
    }
    void refusedBeforeDecoding()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, shownAt);
        QTemporaryDir dir;
        writeFile(dir.filePath("hostile.jpg"), bytes);
        const long before = freshPeak();
        const pf::Result<pf::Picture> picture = pf::loadPicture(dir.filePath("hostile.jpg"), shownAt);
        QCOMPARE(picture.ok(), false);
        QFETCH(QString, why);
        QVERIFY2(picture.error().reason.contains(why), qPrintable(picture.error().reason));
        QCOMPARE(excessGrowth(before), QString());
    }

    // Each window that shows pictures, each kind of hostile picture swapped
    // in (a named pipe among them): nothing decoded, nothing waited for.
    // Preview Disk keeps what it showed; the clash dialog leaves that side's
    // frame empty and shows the other. The loader refuses a pipe at once.
    void windowsRefuse_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QByteArray>("bytes");  // empty: a named pipe
        QTest::addColumn<QStringList>("shown");
        const QList<std::pair<const char *, QByteArray>> kinds{
            {"colour beyond memory", hostile::withFrameSize(progressive(), kHuge)},
            {"CMYK beyond memory", hostile::progressiveScans(cmyk(), kHuge, 3)},
            {"1,200 scans", scans(1200)},
            {"named pipe", QByteArray()}};
        const QStringList clash{"empty", "a picture", "73x73"};
        for (const auto &[kind, bytes] : kinds) {
            QTest::addRow("Preview Disk, %s", kind) << "Preview Disk" << bytes << QStringList{"kept", "0 boxes"};
            QTest::addRow("clash, incoming, %s", kind) << "incoming" << bytes << clash;
            QTest::addRow("clash, existing, %s", kind) << "existing" << bytes << clash;
        }
        const QString notAFile = "The file is not a regular file";
        QTest::newRow("loader, named pipe") << "loader" << QByteArray() << QStringList{notAFile, notAFile};
    }
    void windowsRefuse()
    {
        QFETCH(QString, window);
        QFETCH(QByteArray, bytes);
        Rig rig;
        const QString incoming = rig.a() + "/2.jpg", existing = rig.c() + "/07_04_2003_090507.JPG";
        const bool in = window != "existing";
        for (const QString &path : {rig.a() + "/1.jpg", incoming, existing})
            writeFile(path, baseline());
        std::optional<PipeGuard> guard;  // only for a pipe: a regular file would be "let go" after the deadline
        auto swapIn = [&, bad = in ? incoming : existing] {
            QFile::remove(bad);
            if (!bytes.isEmpty())
                return writeFile(bad, bytes);
            makeFifo(bad);
            guard.emplace(bad);
        };
        const long before = freshPeak();
        QStringList shown;
        if (window == "Preview Disk") {
            rig.openMain();
            rig.prompt.onModal = [&](QDialog &dialog) {
                if (auto *preview = qobject_cast<frmPreviewDisk *>(&dialog)) {
                    preview->show();
                    const qint64 first = preview->Image1->picture().cacheKey();
                    swapIn();
                    preview->File4->setCurrentRow(1);
                    shown << (preview->Image1->picture().cacheKey() == first ? "kept" : "changed");
                }
                dialog.close();
            };
            QTest::keyClick(rig.window.get(), Qt::Key_F2);
            shown << QString::number(rig.prompt.boxes.size()) + " boxes";
        } else if (window == "loader") {
            swapIn();
            shown << pf::pictureSize(incoming).error().reason << pf::loadPicture(incoming, kViewer).error().reason;
        } else {
            swapIn();
            rig.shared.srcFile = "a:\\2.jpg";
            rig.shared.newName = "07_04_2003_090507.JPG";
            rig.shared.destFile = "c:\\07_04_2003_090507.JPG";
            frmDuplicate dlg(*rig.services, rig.shared);
            const QSize frame = (in ? dlg.Picture1 : dlg.Picture2)->size();
            shown << ((in ? dlg.Image1 : dlg.Image3)->pixmap().isNull() ? "empty" : "a picture")
                  << ((in ? dlg.Image3 : dlg.Image1)->pixmap().isNull() ? "empty" : "a picture")
                  << QString("%1x%2").arg(frame.width()).arg(frame.height());
        }
        const bool letGo = guard ? (guard->done(), guard->letGo()) : false;
        QCOMPARE(letGo, false);
        QTEST(shown, "shown");
        QCOMPARE(excessGrowth(before), QString());
    }

    // What the markers say, read from memory and from a device in chunks.
    void layoutFromMarkers_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("layout");
        const QString yuv = "frame 64x48 2x2,1x1,1x1";
        QTest::newRow("baseline") << baseline() << yuv + " sequential 1 scans, complete";
        QTest::newRow("grey") << hostile::jpeg(hostile::detailed(64, 48, true))
                              << "frame 64x48 1x1 sequential 1 scans, complete";
        QTest::newRow("progressive") << progressive() << yuv + " progressive 10 scans, complete";
        const qsizetype fourth = [] {
            const QByteArray p = progressive();
            qsizetype at = p.indexOf("\xFF\xDA");
            for (int n = 1; n < 4; ++n)
                at = p.indexOf("\xFF\xDA", at + 2);
            return at;
        }();
        QTest::newRow("cut before its fourth scan") << progressive().left(fourth) << yuv + " progressive 3 scans";
        QTest::newRow("cut in its frame header") << baseline().left(baseline().indexOf("\xFF\xC0") + 8)
                                                 << "no frame 0x0  sequential 0 scans";
        QTest::newRow("CMYK") << cmyk() << "frame 24x16 1x1,1x1,1x1,1x1 sequential 1 scans, complete";
        QTest::newRow("stuffed bytes and restarts in the data")
            << scans(3, {64, 48}, QByteArray("\xFF\x00\x12\xFF\xD3\xFF\xFF\x00", 8))
            << yuv + " progressive 3 scans, complete";
        QTest::newRow("counting stops past the cap") << scans(1200) << yuv + " progressive 101 scans";
        // More than a chunk of data between markers, with 0xFF across the chunk's edges.
        QTest::newRow("longer than a chunk")
            << scans(3, {64, 48}, QByteArray(700000, '\x01') + "\xFF\x00\xFF\xD0" + QByteArray(600000, '\xFF') + '\x00')
            << yuv + " progressive 3 scans, complete";
    }
    void layoutFromMarkers()
    {
        QFETCH(QByteArray, bytes);
        QBuffer device(&bytes);
        device.open(QIODevice::ReadOnly);
        QTEST(summary(pf::readJpegLayout(bytes, pf::PictureBudget::kMaxScans)), "layout");
        QTEST(summary(pf::readJpegLayout(device, pf::PictureBudget::kMaxScans)), "layout");
        QCOMPARE(pf::readJpegLayout(bytes, 100).isJpeg, true);
    }

    void decoderMemory()
    {
        const pf::JpegLayout plain = pf::readJpegLayout(hostile::withFrameSize(baseline(), kHuge), 100);
        const pf::JpegLayout all = pf::readJpegLayout(hostile::withFrameSize(progressive(), kHuge), 100);
        const pf::JpegLayout notJpeg = pf::readJpegLayout(QByteArray("\x89PNG\r\n\x1a\n", 8), 100);
        // All the coefficients, 2 bytes a sample: 2500 x 2500 blocks of
        // luminance and 1250 x 1250 of each colour, 128 bytes a block.
        QCOMPARE(pf::jpegDecoderBytes(all) - pf::jpegDecoderBytes(plain), 9375000LL * 128);
        // Without them, a few rows of blocks.
        QVERIFY2(pf::jpegDecoderBytes(plain) < 4 << 20, qPrintable(QString::number(pf::jpegDecoderBytes(plain))));
        QCOMPARE(notJpeg.isJpeg, false);
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
        QTest::newRow("100 scans") << scans(100) << kViewer << QSize(64, 48);
        QTest::newRow("50 megapixels") << hostile::withFrameSize(baseline(), fifty) << kViewer << fifty;
        QTest::newRow("50 megapixels, progressive") << hostile::withFrameSize(progressive(), fifty) << kViewer << fifty;
        QTest::newRow("50 megapixels, at full size") << hostile::withFrameSize(baseline(), fifty) << QSize() << fifty;
        QTest::newRow("20000 x 20000 cut short") << hostile::withFrameSize(baseline(), kHuge) << kViewer << kHuge;
        // Decoded from the file, not from memory.
        QTest::newRow("more than is read whole") << baseline() + QByteArray(65 << 20, '\0') << kViewer << QSize(64, 48);
    }
    void ordinaryPicturesStillShown()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, shownAt);
        QTemporaryDir dir;
        writeFile(dir.filePath("ordinary.jpg"), bytes);
        const pf::Result<pf::Picture> picture = pf::loadPicture(dir.filePath("ordinary.jpg"), shownAt);
        QVERIFY2(picture.ok(), picture.ok() ? "" : qPrintable(picture.error().reason));
        QTEST(picture->natural, "natural");
        // At least as large as asked for (the picture box makes the last step).
        const QSize asked = shownAt.isEmpty() ? picture->natural : shownAt.boundedTo(picture->natural);
        QVERIFY2(picture->image.width() >= asked.width(), qPrintable(QString::number(picture->image.width())));
    }
};

PIXFERRY_TEST_MAIN(TestHostilePictures)
#include "test_hostilepictures.moc"
