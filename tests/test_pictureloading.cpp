// Loading a picture that is damaged, cut short or stopped midway: what the
// decoder makes of a damaged picture is shown (the rest grey), what is no
// picture at all is refused; and any decode, whatever its size, ends within
// the step in which it is stopped, and then gives no picture at all.

#include "platform/picture.h"
#include "tests/support/corekit.h"
#include "tests/support/hostilejpeg.h"
#include "tests/support/mediumdouble.h"

#include <QBuffer>
#include <QImageWriter>

using namespace hostile;
using namespace testkit;
using namespace Qt::StringLiterals;

namespace {

const QSize kViewer(409, 307);  // roughly the size Preview Disk decodes at for its viewer
constexpr int kStopAt = 3;      // the step of the decode in which it is told to stop

QByteArray png(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QImageWriter writer(&buffer, "png");
    return writer.write(image) ? bytes : QByteArray();
}

}  // namespace

class TestPictureLoading : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A picture cut short or damaged in its data is shown as the decoder
    // makes it: what was read in place, the rest grey. One that is no
    // picture at all (its header cut, text) is refused.
    void damagedPictures_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<QColor>("bottom");  // near the bottom; invalid: not looked at
        QTest::addColumn<int>("badSector");   // where a sector of the file cannot be read; -1: none
        const QByteArray picture = redAboveDetail();
        const int half = int(picture.size() / 2);
        QTest::newRow("cut at half") << picture.left(half) << true << kGrey << -1;
        QTest::newRow("4 KB of zeros in the middle") << zeroed(picture, half, 4096) << true << QColor() << -1;
        QTest::newRow("a sector that cannot be read") << picture << true << QColor() << half;
        QTest::newRow("cut inside the header") << picture.left(100) << false << QColor() << -1;
        QTest::newRow("text") << QByteArray("Not a picture.\n") << false << QColor() << -1;
    }

    void damagedPictures()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, shown);
        QFETCH(QColor, bottom);
        QFETCH(int, badSector);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"damaged.jpg"_s);
        writeFile(path, bytes);
        MediumDouble medium(dir.path());
        if (badSector >= 0)
            medium.failBytes(path, badSector, badSector + 512);
        // Read in steps, as Preview Disk and the clash dialog read.
        const std::atomic<bool> never{false};
        pf::LoadSteps steps;
        steps.shownSizeFor = [](QSize) { return kViewer; };
        steps.cancelled = &never;
        const pf::Result<pf::Picture> picture = pf::loadPictureInSteps(path, steps);
        QCOMPARE(medium.failures() > 0, badSector >= 0);
        if (!shown) {
            QVERIFY2(!picture, "shown");
            QVERIFY2(picture.error().reason.contains(u"Not a picture"_s), qPrintable(picture.error().reason));
            return;
        }
        QVERIFY2(picture, picture ? "" : qPrintable(picture.error().reason));
        QCOMPARE(picture->natural, QSize(1200, 900));
        QVERIFY2(near(picture->image, kRed, 0.25), "the top half not as it was");
        if (bottom.isValid())
            QVERIFY2(near(picture->image, bottom, 0.97), "the rest not grey");
        if (badSector >= 0)
            QVERIFY2(!near(picture->image, kGrey, 0.97), "the rest after the bad sector not shown");
    }

    // Told to stop in one of its steps, a decode ends there: also one whose
    // few bytes code a huge picture or many scans (all read by the decoder
    // at once), one read from a file too large to hold, and a picture of
    // another kind. What it had decoded is never given as a picture.
    void stoppedMidway_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray small = jpeg(detailed(64, 48));
        const QByteArray huge = withFrameSize(small, {20000, 20000});
        QTest::newRow("20000 x 20000 coded in a kilobyte") << huge;
        QTest::newRow("progressive, 100 scans in 3 KB") << progressiveScans(small, {4000, 3000}, 100);
        QTest::newRow("over 64 MB, read from the file") << huge + QByteArray(65 << 20, '\0');
        QTest::newRow("a PNG") << png(detailed(2000, 1500));
    }

    void stoppedMidway()
    {
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"big.jpg"_s);
        writeFile(path, bytes);
        std::atomic<bool> stop{false};
        int steps = 0;
        pf::LoadSteps load;
        load.shownSizeFor = [](QSize) { return kViewer; };
        load.cancelled = &stop;
        load.decodingStep = [&] {
            if (++steps == kStopAt)
                stop = true;
        };
        const pf::Result<pf::Picture> picture = pf::loadPictureInSteps(path, load);
        QVERIFY2(!picture, "a picture was given");
        QCOMPARE(picture.error().reason, u"Cancelled"_s);
        QCOMPARE(steps, kStopAt);
    }
};

PIXFERRY_CORE_TEST_MAIN(TestPictureLoading)
#include "test_pictureloading.moc"
