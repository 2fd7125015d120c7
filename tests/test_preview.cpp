// Preview Disk and the image viewer, driven through F2, the list and the
// pictures, on a temporary diskette; and the worker that reads and decodes
// the pictures off the window's thread: the order of its news, the camera's
// thumbnail first, and the viewer following a picture still on its way.

#include "platform/picture.h"
#include "platform/twips_ui.h"
#include "preview/frmpreview.h"
#include "preview/frmpreviewdisk.h"
#include "preview/picturefeed.h"
#include "tests/support/hostilejpeg.h"
#include "tests/support/testkit.h"

#include <QSemaphore>
#include <QThreadPool>

using namespace testkit;
using namespace hostile;
using namespace Qt::StringLiterals;
using preview::PictureFeed;

namespace {

constexpr int kDeadlineMs = 10000;  // the longest a test waits for a worker
const QRectF kWideFit(2280, 360, 2172, 1629), kTallFit(2551.5, 360, 1629, 2172);

// A rectangle in twips, as the window tables give it, is within a pixel of the one on screen.
bool inTwips(const QRect &px, const QRectF &tw)
{
    return qAbs(px.x() - tw.x() / 15) <= 1 && qAbs(px.y() - tw.y() / 15) <= 1
           && qAbs(px.width() - tw.width() / 15) <= 1 && qAbs(px.height() - tw.height() / 15) <= 1;
}

// Nothing is on its way for the preview any more: its picture, nor the next one decoded ahead.
bool settled(frmPreviewDisk &w)
{
    return QTest::qWaitFor([&w] { return !w.decoding() && !w.feed().busy(); }, kDeadlineMs);
}

void clickEntry(QListWidget *list, int row)
{
    list->scrollToItem(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
}

// Every Preview Disk the program opens goes to `script` once its first
// picture has come (or the wait ended), every viewer to `onViewer` if given;
// each is shown first and closed after.
void onPreview(Rig &rig, const std::function<void(frmPreviewDisk &)> &script,
               const std::function<void(frmPreview &)> &onViewer = {})
{
    rig.prompt.onModal = [script, onViewer](QDialog &dialog) {
        dialog.show();
        if (auto *viewer = qobject_cast<frmPreview *>(&dialog); viewer && onViewer)
            onViewer(*viewer);
        else if (auto *preview = qobject_cast<frmPreviewDisk *>(&dialog)) {
            (void)settled(*preview);  // the script looks at what came
            script(*preview);
        }
        dialog.close();
    };
}

// A diskette of two grey pictures and `bytes` as its third, in Preview Disk:
// `script` runs once the first picture is shown; a viewer goes to `onViewer`.
void openPreview(Rig &rig, const QByteArray &bytes, const std::function<void(frmPreviewDisk &)> &script,
                 const std::function<void(frmPreview &)> &onViewer = {})
{
    writeFile(rig.a() + u"/0_first.jpg"_s, jpeg(solid({640, 480}, kGrey)));
    writeFile(rig.a() + u"/1_second.jpg"_s, jpeg(solid({640, 480}, kGrey)));
    writeFile(rig.a() + u"/2_test.jpg"_s, bytes);
    rig.openMain();
    onPreview(rig, script, onViewer);
    QTest::keyClick(rig.window.get(), Qt::Key_F2);
}

// Takes the diskette out of drive A: at the fourth listing (the first of the opening).
struct TakenOutFs : pf::FileSystem {
    TakenOutFs(Rig &rig) : pf::FileSystem(rig.drives.map()), root(rig.a()) {}
    pf::Result<QStringList> listFiles(const QString &folder, const QString &pattern, bool admit) override
    {
        if (++listings == 4)
            QDir().rename(root, root + u".out"_s);
        return pf::FileSystem::listFiles(folder, pattern, admit);
    }
    QString root;
    int listings = 0;
};

}  // namespace

enum class Older { Finished, Decoding, DecodedAhead };
Q_DECLARE_METATYPE(Older)

class TestPreview : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { clearSettings(false); }
    void cleanup() { QVERIFY(QThreadPool::globalInstance()->waitForDone(kDeadlineMs)); }

    // The first picture shown with no entry chosen; both windows' fits, by
    // mouse and arrow keys; the next entry the way the choice moved (at the
    // end, the only way left) decoded ahead and shown at once by the arrow
    // key; the viewer shows the preview's own decode; the double-click; F2
    // acts once; a diskette of clips only.
    void openingAndFit()
    {
        Rig rig;
        struct Pic { QString name; QSize size; QColor colour; QRectF preview; QSizeF viewer; };
        const QList<Pic> pics{{u"a_wide.jpg"_s, {640, 480}, kRed, kWideFit, {6132, 4599}},
                              {u"B_TALL.JPG"_s, {480, 640}, kGreen, kTallFit, {3449.25, 4599}},
                              {u"c_square.jpg"_s, {1000, 1000}, kBlue, {2280, 360, 2172, 2172}, {4599, 4599}},
                              {u"d_wider.jpg"_s, {1280, 1024}, kGrey, {2280, 360, 2172, 1737.6}, {6132, 4905.6}}};
        const QString a = rig.a() + u'/';
        for (const Pic &p : pics)
            writeFile(a + p.name, jpeg(solid(p.size, p.colour)));
        writeFile(a + u".hidden.jpg"_s, jpeg(solid({64, 64}, kGrey)));
        writeFile(a + u"clip.mpg"_s, "MPG");
        frmMain &main = rig.openMain();
        QList<std::pair<QRect, QImage>> viewers;  // each viewer's picture: its rectangle, the picture
        const auto onViewer = [&](frmPreview &viewer) {
            viewers << std::pair(viewer.Image1->geometry(), viewer.Image1->picture());
            QTest::mouseClick(viewer.Image1, Qt::LeftButton);
            QVERIFY(!viewer.isVisible());
        };
        // Row and key (0: a click): down from no entry, tall, wide after tall (left edge back), square, then
        // arrow keys to the entry decoded ahead, shown at once: down, at the end back up, on up.
        const QList<QPair<int, int>> visits{{0, Qt::Key_Down}, {1, 0}, {0, 0},         {2, 0},
                                            {3, Qt::Key_Down}, {2, Qt::Key_Up}, {1, Qt::Key_Up}};
        onPreview(rig, [&](frmPreviewDisk &w) {
            QCOMPARE(w.File4->count(), pics.size());  // no clip, no hidden file
            QCOMPARE(w.listIndex(), -1);
            QVERIFY2(near(w.Image1->picture(), kRed), "the first picture shown, no entry chosen");
            for (int i = 0; i < visits.size(); ++i) {
                const auto [row, key] = visits[i];
                const Pic &pic = pics[row];
                key ? QTest::keyClick(w.File4, Qt::Key(key)) : clickEntry(w.File4, row);
                if (key)
                    QVERIFY2(!w.decoding(), qPrintable(u"%1 not shown at once"_s.arg(pic.name)));
                QVERIFY(settled(w));
                QCOMPARE(w.File4->item(row)->text(), pic.name);  // sorted, any case
                QVERIFY2(near(w.Image1->picture(), pic.colour), qPrintable(pic.name));
                QVERIFY2(inTwips(w.Image1->geometry(), pic.preview), qPrintable(pic.name));
                QTest::mouseClick(w.Image1, Qt::LeftButton);
                QCOMPARE(viewers.size(), i + 1);
                QVERIFY2(inTwips(viewers[i].first, {{0, 0}, pic.viewer}), qPrintable(pic.name));
                QCOMPARE(viewers[i].second.cacheKey(), w.Image1->picture().cacheKey());  // not read again
            }
            // Double-click as the window system delivers it: a click (no viewer), a double-click press, a release.
            const QPoint at = w.File4->visualItemRect(w.File4->item(0)).center();
            QTest::mouseClick(w.File4->viewport(), Qt::LeftButton, {}, at);
            QVERIFY(settled(w));
            QCOMPARE(viewers.size(), visits.size());
            QTest::mouseDClick(w.File4->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseRelease(w.File4->viewport(), Qt::LeftButton, {}, at);
            QCOMPARE(viewers.size(), visits.size() + 1);
            QVERIFY2(near(viewers.last().second, kRed), "the entry's picture enlarged");
        }, onViewer);
        // F2 on the focused button of the shown window opens the preview once.
        main.show();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        QCOMPARE(QApplication::focusWidget(), main.Command12);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F2);
        QCOMPARE(rig.prompt.modals.count(u"frmPreviewDisk"_s), 1);
        QCOMPARE(main.focusWidget(), main.SSTab1->tabBar());
        QVERIFY2(viewers[0].second.width() >= viewers[0].first.width(), "decoded sharp enough for the viewer");
        // Clips only: Preview Disk is disabled, F2 still opens it.
        for (const Pic &p : pics)
            QVERIFY(QFile::remove(a + p.name));
        main.Command12_Click();
        QVERIFY(!main.Command15->isEnabled());
        rig.prompt.onModal = {};  // noted, not shown
        QTest::keyClick(main.focusWidget() ? main.focusWidget() : &main, Qt::Key_F2);  // as a person presses it
        QCOMPARE(rig.prompt.modals.count(u"frmPreviewDisk"_s), 2);
        QVERIFY(rig.prompt.boxes.isEmpty());
    }

    // Pictures that cannot be shown keep the previous one, silently: beyond
    // the budget, a named pipe swapped in (never waited on), a name that
    // leads elsewhere. Unusual ones show; EXIF-turned ones upright; damaged
    // ones as far as the decoder makes them.
    void pictureKinds()
    {
        Rig rig;
        const QString a = rig.a() + u'/';
        const QByteArray good = jpeg(solid({300, 600}, kGreen)), damaged = redAboveDetail();
        // No colour: cannot be shown. The turned one: left half red, turned a quarter clockwise, red above blue.
        struct Kind { const char *name; QByteArray bytes; QColor colour{}; QRectF fit{}; double atY = 0.5; };
        const QList<Kind> kinds{
            {"a_good.jpg", good, kGreen, {2823, 360, 1086, 2172}},
            {"b_text.jpg", "Not a picture.\n"}, {"c_header_cut.jpg", good.left(120)},
            {"d_costly.jpg", withFrameSize(jpeg(detailed(64, 48), true), {20000, 20000})}, {"e_pipe.jpg", good},
            {"f_data_cut.jpg", jpeg(solid({640, 480}, kRed)).left(900), kRed, kWideFit, 0},  // the top shown
            {"g_progressive.jpg", jpeg(solid({640, 480}, kBlue), true), kBlue, kWideFit},
            {"h_cmyk.jpg", readFile(QFINDTESTDATA("data/cmyk.jpg")), {32, 192, 64}, {2280, 360, 2172, 1448}},
            // A bad sector rescued as zeros: what the decoder makes of it.
            {"h_rescued.jpg", zeroed(damaged, damaged.size() / 2, 4096), kRed, kWideFit, 0.25},
            {"i_turned.jpg", withExif(jpeg(solid({640, 480}, kBlue, kRed)), {.orientation = 6, .thumbnail = {}}),
             kRed, kTallFit, 0.25},
            {"j_x\\..\\DCIM\\in.jpg", good}};  // a name that would lead into a sub-folder
        for (const Kind &k : kinds)
            writeFile(a + k.name, k.bytes);
        QDir(a).mkdir("DCIM");
        writeFile(a + "DCIM/in.jpg", good);
        rig.openMain();
        bool letGo = true;
        onPreview(rig, [&](frmPreviewDisk &w) {
            const auto shown = [&w] {  // the picture, its place and the natural size
                return std::tuple(w.Image1->picture().cacheKey(), w.Image1->geometry(), w.naturalSize());
            };
            // A pipe now, since the list was read.
            QVERIFY(QFile::remove(a + kinds[4].name));
            makeFifo(a + kinds[4].name);
            PipeGuard watch(a + kinds[4].name);
            for (int row = 0; row < kinds.size(); ++row) {
                const Kind &k = kinds[row];
                const auto before = shown();
                clickEntry(w.File4, row);
                QVERIFY2(settled(w), k.name);
                if (!k.colour.isValid()) {
                    QVERIFY2(shown() == before, k.name);
                    continue;
                }
                QVERIFY2(inTwips(w.Image1->geometry(), k.fit), k.name);
                QVERIFY2(near(w.Image1->picture(), k.colour, k.atY), k.name);
            }
            QVERIFY2(near(w.Image1->picture(), kBlue, 0.75), "the turned picture upright");
            watch.done();
            letGo = watch.letGo();
        });
        QTest::keyClick(rig.window.get(), Qt::Key_F2);
        QVERIFY2(!letGo, "waited on the pipe");
        QVERIFY(rig.prompt.boxes.isEmpty());
    }

    // A diskette taken out between the probe and the opening is asked for;
    // Cancel opens nothing, OK looks again.
    void disketteTakenOut_data()
    {
        QTest::addColumn<bool>("putBack");
        QTest::newRow("taken out") << false;
        QTest::newRow("taken out and put back") << true;
    }

    void disketteTakenOut()
    {
        QFETCH(bool, putBack);
        Rig rig;
        const QString root = rig.a();
        writeFile(root + u"/pic.jpg"_s, jpeg(solid({64, 48}, kRed)));
        rig.rebuildServices(std::make_unique<TakenOutFs>(rig));
        frmMain &main = rig.openMain();
        rig.prompt.answers = {putBack ? pf::AnsOk : pf::AnsCancel, pf::AnsCancel};
        if (putBack)  // before OK
            rig.prompt.onBox = [&](const ShownBox &) { QDir().rename(root + u".out"_s, root); };
        QStringList listed;
        onPreview(rig, [&](frmPreviewDisk &w) { listed << w.File4->item(0)->text(); });
        putBack ? QTest::keyClick(&main, Qt::Key_F2) : main.Command15->click();  // F2, or the button
        QCOMPARE(rig.prompt.titles(), QStringList{u"No Disk!"_s});
        QCOMPARE(rig.prompt.boxes[0].text, u"Please insert a disk with images or video clips."_s);
        QCOMPARE(rig.prompt.boxes[0].buttons, pf::MbOkCancel);
        QCOMPARE(listed, putBack ? QStringList{u"pic.jpg"_s} : QStringList());
        QCOMPARE(main.focusWidget(), main.SSTab1->tabBar());
    }

    // Whatever the older wish had come to, only the newer one's news arrives,
    // and nothing of the older is kept: only this picture and the next.
    void newerWishWins_data()
    {
        QTest::addColumn<Older>("older");
        QTest::newRow("older done, its news not yet delivered") << Older::Finished;
        QTest::newRow("older still being decoded") << Older::Decoding;
        QTest::newRow("older decoded ahead") << Older::DecodedAhead;
    }

    void newerWishWins()
    {
        QFETCH(Older, older);
        QTemporaryDir dir;
        const QString big = dir.filePath(u"big.jpg"_s), small = dir.filePath(u"small.jpg"_s);
        writeFile(big, jpeg(detailed(3000, 2000)));
        writeFile(small, jpeg(solid({64, 48}, kBlue)));
        const auto viewerSize = [](QSize) { return QSize(200, 150); };
        PictureFeed feed;
        QStringList heard;  // in order: "h2" the header of entry 2, "p2" its picture, "f2" its failure
        connect(&feed, &PictureFeed::headRead, [&heard](int k, QSize, const QImage &) { heard << u"h%1"_s.arg(k); });
        connect(&feed, &PictureFeed::decoded, [&heard](int k, const QImage &, QSize) { heard << u"p%1"_s.arg(k); });
        connect(&feed, &PictureFeed::failed, [&heard](int k) { heard << u"f%1"_s.arg(k); });
        if (older == Older::DecodedAhead) {
            feed.decodeAhead(1, big, viewerSize);
            QVERIFY(QTest::qWaitFor([&feed] { return !feed.busy(); }, kDeadlineMs));
        } else {
            feed.want(1, big, viewerSize);
        }
        if (older == Older::Finished)
            QVERIFY(QThreadPool::globalInstance()->waitForDone(kDeadlineMs));  // no event delivered meanwhile
        feed.want(2, small, viewerSize);
        QVERIFY(QTest::qWaitFor([&feed] { return !feed.busy(); }, kDeadlineMs));
        QCOMPARE(heard, QStringList({u"h2"_s, u"p2"_s}));
        feed.want(1, big, viewerSize);  // and gone while that is decoded: nothing is sent to it
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
        const QByteArray costly = withFrameSize(jpeg(detailed(64, 48), true), {12000, 9000});
        const QByteArray red = jpeg(solid({160, 120}, kRed)), redAbove = jpeg(solid({160, 120}, kGreen, kRed));
        const auto blueWith = [](const QByteArray &thumbnail, int orientation = 0) {  // a blue 640 x 480 picture
            return withExif(jpeg(solid({640, 480}, kBlue)), {.orientation = orientation, .thumbnail = thumbnail});
        };
        QTest::newRow("of the picture's shape") << blueWith(red) << QSize(160, 120) << QSizeF(640, 480);
        // Of a shape within 2 % of the picture's, shown; this one is 3 % wider.
        QTest::newRow("of another shape") << blueWith(jpeg(solid({165, 120}, kRed))) << QSize() << QSizeF(640, 480);
        QTest::newRow("turned by the picture's mark") << blueWith(redAbove, 6) << QSize(120, 160) << QSizeF(480, 640);
        QTest::newRow("beyond the budget") << blueWith(costly) << QSize() << QSizeF(640, 480);
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
            connect(&w.feed(), &PictureFeed::headRead, &w, [&] {
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
        if (!thumbnail.isEmpty())
            QVERIFY2(near(afterHeader[0], kRed, 0.25), "the thumbnail, red at the top");
        QCOMPARE(fitted, QList<QSizeF>({natural, natural}));
        QVERIFY2(near(decoded, kBlue), "the decoded picture at last");
    }

    // The viewer opened before the picture's header has come shows what the
    // preview shows (the picture before), then the decoded picture, sized by
    // its natural size.
    void viewerFollowsTheDecode()
    {
        Rig rig;
        // The picture is held before its header is read, until the viewer is open (or the deadline, so that a
        // failing test never hangs); the worker keeps the gate while it waits.
        const auto reached = std::make_shared<QSemaphore>(), gate = std::make_shared<QSemaphore>();
        const auto held = [reached, gate](const QString &path, const pf::LoadSteps &steps) {
            if (path.endsWith(u"2_test.jpg"_s)) {
                reached->release();
                gate->tryAcquire(1, kDeadlineMs);
            }
            return pf::loadPictureInSteps(path, steps);
        };
        QList<std::pair<QImage, QSize>> seen;  // the viewer's picture and its size: at the opening, at the end
        // Stored wide, turned by its mark.
        const QByteArray tall = withExif(jpeg(solid({640, 480}, kBlue)), {.orientation = 6, .thumbnail = {}});
        openPreview(rig, tall, [&](frmPreviewDisk &w) {
            w.feed().setLoader(held);
            w.File4->setCurrentRow(2);
            QVERIFY(reached->tryAcquire(1, kDeadlineMs));
            QTest::mouseClick(w.Image1, Qt::LeftButton);
        }, [&](frmPreview &viewer) {
            seen << std::pair(viewer.Image1->picture(), viewer.Image1->size());
            gate->release(64);  // open for good: a second read of the picture never waits
            QVERIFY(QTest::qWaitFor([&] { return near(viewer.Image1->picture(), kBlue); }, kDeadlineMs));
            seen << std::pair(viewer.Image1->picture(), viewer.Image1->size());
        });
        QCOMPARE(seen.size(), 2);
        QVERIFY2(near(seen[0].first, kGrey), "what the preview showed");
        QCOMPARE(seen[0].second, QSize(pf::tw(6132), pf::tw(4599)));
        QVERIFY2(near(seen[1].first, kBlue), "the decoded picture");
        QCOMPARE(seen[1].second, QSize(pf::tw(3449.25), pf::tw(4599)));
    }
};

PIXFERRY_TEST_MAIN(TestPreview)
#include "test_preview.moc"
