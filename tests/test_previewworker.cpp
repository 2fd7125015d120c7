// Pictures read and decoded off the window's thread: the EXIF thumbnail and
// its shape, the order in which the worker's news arrives, and Preview Disk
// and its viewer meeting a picture that is still on its way.

#include "platform/exif.h"
#include "platform/picture.h"
#include "platform/twips_ui.h"
#include "preview/frmpreview.h"
#include "preview/frmpreviewdisk.h"
#include "preview/picturefeed.h"
#include "settings/store.h"
#include "tests/support/hostilejpeg.h"
#include "tests/support/testkit.h"
#include "transfer/frmduplicate.h"

#include <QThreadPool>

#include <condition_variable>
#include <mutex>

using namespace testkit;
using namespace Qt::StringLiterals;
using preview::PictureFeed;

namespace {

constexpr int kDeadlineMs = 10000;  // the longest a test waits for a worker

const QColor kRed(220, 30, 30), kGreen(30, 200, 60), kBlue(30, 60, 220), kGrey(128, 128, 128);

QByteArray jpeg(QSize size, QColor colour, QColor leftHalf = QColor())
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    if (leftHalf.isValid())
        QImage(image.bits(), size.width() / 2, size.height(), image.bytesPerLine(), image.format()).fill(leftHalf);
    return hostile::jpeg(image);
}

// A blue 640 x 480 picture carrying a camera's thumbnail.
QByteArray withThumbnail(const QByteArray &thumbnail, int orientation = 0)
{
    return hostile::withExif(jpeg({640, 480}, kBlue), {.orientation = orientation, .thumbnail = thumbnail});
}

// The colour in the middle column, at a fraction of the height, is near the expected one.
bool near(const QImage &picture, QColor e, double atY = 0.5)
{
    const QColor c = picture.isNull() ? QColor() : picture.pixelColor(picture.width() / 2, int(picture.height() * atY));
    return c.isValid() && qAbs(c.red() - e.red()) < 40 && qAbs(c.green() - e.green()) < 40
           && qAbs(c.blue() - e.blue()) < 40;
}

QSize viewerSize(QSize) { return {200, 150}; }

// Everything a feed says, in order: "h1" the header of entry 1, "p1" its picture, "f1" its failure.
void listen(PictureFeed &feed, QStringList &heard)
{
    QObject::connect(&feed, &PictureFeed::headRead, [&heard](int k, QSize, const QImage &) { heard << u"h%1"_s.arg(k); });
    QObject::connect(&feed, &PictureFeed::decoded, [&heard](int k, const QImage &, QSize) { heard << u"p%1"_s.arg(k); });
    QObject::connect(&feed, &PictureFeed::failed, [&heard](int k) { heard << u"f%1"_s.arg(k); });
}

bool idle(const PictureFeed &feed) { return QTest::qWaitFor([&feed] { return !feed.busy(); }, kDeadlineMs); }
bool settled(frmPreviewDisk &w) { return QTest::qWaitFor([&w] { return !w.decoding() && !w.feed().busy(); }, kDeadlineMs); }

enum class Hold { Nothing, BeforeHeader, AfterHeader, AfterHeaderUnstoppable };

// The program's loader, noting the files it reads and holding the one named
// `name` at a gate until released (or the deadline, so that a failing test
// never hangs). Unstoppable, that picture is decoded whole even once the feed
// has stopped it: as when it is done just as the user moves on. Gone, it lets
// go and waits for the workers.
class Held {
public:
    Held(QString name, Hold hold) : m_name(std::move(name)), m_hold(hold) {}
    ~Held()
    {
        release();
        QThreadPool::globalInstance()->waitForDone(kDeadlineMs);
    }
    PictureFeed::Loader loader()
    {
        return [this](const QString &path, const pf::LoadSteps &steps) {
            note(QFileInfo(path).fileName());
            if (!path.endsWith(m_name) || m_hold == Hold::Nothing)
                return pf::loadPictureInSteps(path, steps);
            if (m_hold == Hold::BeforeHeader)
                wait();
            static const std::atomic<bool> never{false};
            pf::LoadSteps held = steps;
            if (m_hold == Hold::AfterHeaderUnstoppable)
                held.cancelled = &never;
            if (m_hold != Hold::BeforeHeader)
                held.headRead = [this, &steps](const pf::PictureHead &head) {
                    steps.headRead(head);
                    wait();
                };
            return pf::loadPictureInSteps(path, held);
        };
    }
    void release()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_cv.notify_all();
    }
    bool reached()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_reached;
    }
    QStringList loads()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_loads;
    }

private:
    void note(const QString &name)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_loads << name;
    }
    void wait()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_reached = true;
        m_cv.wait_for(lock, std::chrono::milliseconds(kDeadlineMs), [this] { return m_open; });
    }

    QString m_name;
    Hold m_hold;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_open = false, m_reached = false;
    QStringList m_loads;
};

// A diskette of two grey pictures and `bytes` as its third, in Preview Disk:
// `script` runs once the first picture is shown; a viewer goes to `onViewer`.
void openPreview(Rig &rig, const QByteArray &bytes, const std::function<void(frmPreviewDisk &)> &script,
                 const std::function<void(frmPreview &)> &onViewer = {})
{
    writeFile(rig.a() + u"/0_first.jpg"_s, jpeg({640, 480}, kGrey));
    writeFile(rig.a() + u"/1_second.jpg"_s, jpeg({640, 480}, kGrey));
    writeFile(rig.a() + u"/2_test.jpg"_s, bytes);
    rig.openMain();
    rig.prompt.onModal = [&](QDialog &dialog) {
        dialog.show();
        if (auto *viewer = qobject_cast<frmPreview *>(&dialog); viewer && onViewer)
            onViewer(*viewer);
        else if (auto *w = qobject_cast<frmPreviewDisk *>(&dialog); w && settled(*w))
            script(*w);
        dialog.close();
    };
    QTest::keyClick(rig.window.get(), Qt::Key_F2);
}

}  // namespace

enum class Older { Finished, Decoding, DecodedAhead, BeingDecodedAhead };
Q_DECLARE_METATYPE(Older)
Q_DECLARE_METATYPE(Hold)

class TestPreviewWorker : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        clearSettings();
        storeSetting(settings::kSplashScreen, u"False"_s);
    }
    void cleanup() { QVERIFY(QThreadPool::globalInstance()->waitForDone(kDeadlineMs)); }

    void exifFacts_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QByteArray>("thumbnail");  // empty: none found
        const QByteArray plain = jpeg({64, 48}, kBlue), thumb = jpeg({16, 12}, kRed);
        const auto with = [&](hostile::Exif e) { return hostile::withExif(plain, e); };
        QTest::newRow("no EXIF") << plain << 1 << QByteArray();
        QTest::newRow("orientation alone") << with({.orientation = 6, .thumbnail = {}}) << 6 << QByteArray();
        QTest::newRow("thumbnail, little-endian") << with({.thumbnail = thumb}) << 1 << thumb;
        QTest::newRow("thumbnail and orientation, big-endian")
            << with({.orientation = 8, .thumbnail = thumb, .bigEndian = true}) << 8 << thumb;
        QTest::newRow("orientation out of range") << with({.orientation = 9, .thumbnail = thumb}) << 1 << thumb;
        QTest::newRow("thumbnail past the end") << with({.thumbnail = thumb, .thumbnailAt = 60000}) << 1 << QByteArray();
        QTest::newRow("a huge length") << with({.thumbnail = thumb, .thumbnailLength = 0xFFFFFFF0}) << 1 << QByteArray();
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
        QTest::newRow("segment cut short") << with({.orientation = 6, .thumbnail = thumb}).left(40) << 1 << QByteArray();
    }

    void exifFacts()
    {
        QFETCH(QByteArray, bytes);
        const pf::ExifFacts facts = pf::readExif(bytes);
        QTEST(facts.orientation, "orientation");
        QTEST(facts.hasThumbnail() ? facts.thumbnail(bytes).toByteArray() : QByteArray(), "thumbnail");
    }

    void thumbnailShape_data()
    {
        QTest::addColumn<QSize>("thumbnail");
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<bool>("same");
        QTest::newRow("3:2 of a 3:2 picture") << QSize(160, 107) << QSize(6000, 4000) << true;
        QTest::newRow("4:3 of a 3:2 picture") << QSize(160, 120) << QSize(6000, 4000) << false;
        QTest::newRow("tall of a tall picture") << QSize(107, 160) << QSize(4000, 6000) << true;
        QTest::newRow("wide of a tall picture") << QSize(160, 107) << QSize(4000, 6000) << false;
        QTest::newRow("1 % wider") << QSize(101, 100) << QSize(500, 500) << true;
        QTest::newRow("3 % wider") << QSize(103, 100) << QSize(500, 500) << false;
        QTest::newRow("no thumbnail") << QSize() << QSize(500, 500) << false;
    }

    void thumbnailShape()
    {
        QFETCH(QSize, thumbnail);
        QFETCH(QSize, picture);
        QTEST(pf::sameShape(thumbnail, picture), "same");
    }

    // Whatever the older wish had come to, only the newer one's news arrives,
    // and nothing of the older is kept: only this picture and the next.
    void newerWishWins_data()
    {
        QTest::addColumn<Older>("older");
        QTest::newRow("older done, its news not yet delivered") << Older::Finished;
        QTest::newRow("older still being decoded") << Older::Decoding;
        QTest::newRow("older decoded ahead") << Older::DecodedAhead;
        QTest::newRow("older being decoded ahead") << Older::BeingDecodedAhead;
    }

    void newerWishWins()
    {
        QFETCH(Older, older);
        QTemporaryDir dir;
        const QString big = dir.filePath(u"big.jpg"_s), small = dir.filePath(u"small.jpg"_s);
        writeFile(big, hostile::jpeg(hostile::detailed(3000, 2000)));
        writeFile(small, jpeg({64, 48}, kBlue));
        PictureFeed feed;
        QStringList heard;
        listen(feed, heard);
        const bool ahead = older == Older::DecodedAhead || older == Older::BeingDecodedAhead;
        ahead ? feed.decodeAhead(1, big, viewerSize) : feed.want(1, big, viewerSize);
        if (older == Older::Finished)
            QVERIFY(QThreadPool::globalInstance()->waitForDone(kDeadlineMs));  // no event delivered meanwhile
        if (older == Older::DecodedAhead)
            QVERIFY(idle(feed));
        feed.want(2, small, viewerSize);
        QVERIFY(idle(feed));
        QCOMPARE(heard, QStringList({u"h2"_s, u"p2"_s}));
        feed.want(1, big, viewerSize);
        QCOMPARE(heard.size(), 2);  // read again, not at once
    }

    // Preview Disk: the thumbnail (turned by the picture's mark) shows with
    // the fit as soon as the header is read, unless it is of another shape
    // or cannot be decoded within the budget; then the decoded picture.
    void thumbnailFirst_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("thumbnail");  // as shown after the header; empty: none
        QTest::addColumn<QSizeF>("natural");
        // Decoded, within the reader's own limit; with the decoder's coefficients, beyond the budget.
        const QByteArray costly = hostile::withFrameSize(hostile::jpeg(hostile::detailed(64, 48), true), {8000, 6000});
        QTest::newRow("of the picture's shape") << withThumbnail(jpeg({160, 120}, kRed)) << QSize(160, 120) << QSizeF(640, 480);
        QTest::newRow("of another shape") << withThumbnail(jpeg({160, 160}, kRed)) << QSize() << QSizeF(640, 480);
        QTest::newRow("turned by the picture's mark")
            << withThumbnail(jpeg({160, 120}, kGreen, kRed), 6) << QSize(120, 160) << QSizeF(480, 640);
        QTest::newRow("beyond the budget") << withThumbnail(costly) << QSize() << QSizeF(640, 480);
    }

    void thumbnailFirst()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, thumbnail);
        QFETCH(QSizeF, natural);
        Rig rig;
        QList<QImage> afterHeader;
        QList<QSizeF> fitted;  // after the header, after the picture
        QImage decoded;
        openPreview(rig, bytes, [&](frmPreviewDisk &w) {
            QObject::connect(&w.feed(), &PictureFeed::headRead, &w, [&] {
                afterHeader << w.Image1->picture();
                fitted << w.naturalSize();
            });
            w.File4->setCurrentRow(2);
            QVERIFY(settled(w));
            decoded = w.Image1->picture();
            fitted << w.naturalSize();
        });
        QCOMPARE(afterHeader.size(), 1);
        QCOMPARE(afterHeader[0].isNull() ? QSize() : afterHeader[0].size(), thumbnail);
        QVERIFY2(thumbnail.isEmpty() || near(afterHeader[0], kRed, 0.25), "the thumbnail, red at the top");
        QCOMPARE(fitted, QList<QSizeF>({natural, natural}));
        QVERIFY2(near(decoded, kBlue), "the decoded picture at last");
    }

    // The viewer opened while the picture is on its way shows what the
    // preview shows, then the decoded picture, sized by its natural size;
    // the file is read once.
    void viewerFollowsTheDecode_data()
    {
        QTest::addColumn<Hold>("hold");
        QTest::addColumn<QColor>("atOpening");
        QTest::addColumn<QSizeF>("openedFit");
        QTest::newRow("opened on the thumbnail") << Hold::AfterHeader << kRed << QSizeF(3449.25, 4599);
        QTest::newRow("opened before the header") << Hold::BeforeHeader << kGrey << QSizeF(6132, 4599);
    }

    void viewerFollowsTheDecode()
    {
        QFETCH(Hold, hold);
        QFETCH(QColor, atOpening);
        QFETCH(QSizeF, openedFit);
        Rig rig;
        Held held(u"2_test.jpg"_s, hold);
        QList<std::pair<QImage, QSize>> seen;  // the viewer's picture and its size: at the opening, at the end
        // Tall: stored wide, turned by its mark; its thumbnail too.
        openPreview(rig, withThumbnail(jpeg({160, 120}, kRed), 6), [&](frmPreviewDisk &w) {
            w.feed().setLoader(held.loader());
            w.File4->setCurrentRow(2);
            QVERIFY(QTest::qWaitFor([&] { return held.reached(); }, kDeadlineMs));
            if (hold == Hold::AfterHeader)
                QVERIFY(QTest::qWaitFor([&] { return near(w.Image1->picture(), kRed); }, kDeadlineMs));
            QTest::mouseClick(w.Image1, Qt::LeftButton);
        }, [&](frmPreview &viewer) {
            seen << std::pair(viewer.Image1->picture(), viewer.Image1->size());
            held.release();
            QVERIFY(QTest::qWaitFor([&] { return near(viewer.Image1->picture(), kBlue); }, kDeadlineMs));
            seen << std::pair(viewer.Image1->picture(), viewer.Image1->size());
        });
        QCOMPARE(seen.size(), 2);
        QVERIFY2(near(seen[0].first, atOpening), "what the preview showed");
        QCOMPARE(seen[0].second, QSize(pf::tw(openedFit.width()), pf::tw(openedFit.height())));
        QVERIFY2(near(seen[1].first, kBlue), "the decoded picture");
        QCOMPARE(seen[1].second, QSize(pf::tw(3449.25), pf::tw(4599)));
        QCOMPARE(held.loads().count(u"2_test.jpg"_s), 1);
    }

    // Once a picture is shown, the next one the way the choice moved (at the
    // end of the list, the only way left) is decoded ahead, and the arrow key
    // shows it at once.
    void decodesAheadTheWayTheChoiceMoves_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("second");
        QTest::addColumn<QString>("ahead");
        QTest::newRow("down the list") << 0 << 1 << u"2_test.jpg"_s;
        QTest::newRow("up the list") << 2 << 1 << u"0_first.jpg"_s;
        QTest::newRow("at the end") << 1 << 2 << u"1_second.jpg"_s;
    }

    void decodesAheadTheWayTheChoiceMoves()
    {
        QFETCH(int, first);
        QFETCH(int, second);
        Rig rig;
        Held noted(QString(), Hold::Nothing);
        QString ahead;
        bool atOnce = false;
        openPreview(rig, jpeg({480, 640}, kBlue), [&](frmPreviewDisk &w) {
            w.feed().setLoader(noted.loader());
            for (const int row : {first, second}) {
                w.File4->setCurrentRow(row);
                QVERIFY(settled(w));
            }
            ahead = noted.loads().value(noted.loads().size() - 1);
            QTest::keyClick(w.File4, ahead < w.File4->item(second)->text() ? Qt::Key_Up : Qt::Key_Down);
            atOnce = !w.decoding();
        });
        QTEST(ahead, "ahead");
        QVERIFY2(atOnce, "the picture decoded ahead is shown at once");
    }

    // A picture done just as a newer one is chosen never shows.
    void staleNeverShown()
    {
        Rig rig;
        Held held(u"1_second.jpg"_s, Hold::AfterHeaderUnstoppable);
        QList<bool> stale;  // after each piece of news once the blue picture is chosen again: the grey one shown
        openPreview(rig, jpeg({640, 480}, kBlue), [&](frmPreviewDisk &w) {
            // From the last entry the one before it is decoded ahead, and held.
            w.feed().setLoader(held.loader());
            w.File4->setCurrentRow(2);
            QVERIFY(QTest::qWaitFor([&] { return !w.decoding() && held.reached(); }, kDeadlineMs));
            w.File4->setCurrentRow(1);
            const auto note = [&] { stale << near(w.Image1->picture(), kGrey); };
            QObject::connect(&w.feed(), &PictureFeed::headRead, &w, note);
            QObject::connect(&w.feed(), &PictureFeed::decoded, &w, note);
            QObject::connect(&w.feed(), &PictureFeed::failed, &w, note);
            w.File4->setCurrentRow(2);
            held.release();
            QVERIFY(settled(w));
            stale << !near(w.Image1->picture(), kBlue);
        });
        QVERIFY(stale.size() >= 2);  // the blue picture's header and picture at least
        QCOMPARE(stale, QList<bool>(stale.size(), false));
    }

    // The clash dialog decides what gets replaced: it shows both pictures'
    // own pixels, never their thumbnails, which may be stale.
    void clashDialogShowsRealPixels()
    {
        Rig rig;
        const QByteArray blueWithRedThumbnail = withThumbnail(jpeg({160, 120}, kRed));
        writeFile(rig.a() + u"/DSC00042.JPG"_s, blueWithRedThumbnail);
        writeFile(rig.c() + u"/07_04_2003_090507.JPG"_s, blueWithRedThumbnail);
        rig.shared.srcFile = u"a:\\DSC00042.JPG"_s;
        rig.shared.newName = u"07_04_2003_090507.JPG"_s;
        rig.shared.destFile = u"c:\\07_04_2003_090507.JPG"_s;
        frmDuplicate dlg(*rig.services, rig.shared);
        QVERIFY2(near(dlg.Image1->pixmap().toImage(), kBlue), "the incoming picture");
        QVERIFY2(near(dlg.Image3->pixmap().toImage(), kBlue), "the existing picture");
    }

    // Closed while a picture is being decoded: the worker stops, sends
    // nothing to the window that is gone, and leaves no file open.
    void closedWhileDecoding()
    {
        const auto descriptors = [] {
            return QDir(u"/proc/self/fd"_s).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size();
        };
        Rig rig;
        Held held(u"2_test.jpg"_s, Hold::AfterHeader);
        const qsizetype before = descriptors();
        openPreview(rig, jpeg({640, 480}, kBlue), [&](frmPreviewDisk &w) {
            w.feed().setLoader(held.loader());
            w.File4->setCurrentRow(2);
            QVERIFY(QTest::qWaitFor([&] { return held.reached(); }, kDeadlineMs));
        });
        QVERIFY(held.reached());
        held.release();
        QVERIFY(QThreadPool::globalInstance()->waitForDone(kDeadlineMs));
        QCoreApplication::processEvents();
        QCOMPARE(descriptors(), before);
    }
};

PIXFERRY_TEST_MAIN(TestPreviewWorker)
#include "test_previewworker.moc"
