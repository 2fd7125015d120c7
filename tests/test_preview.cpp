// Preview Disk and the image viewer, driven through F2, the list, the picture
// and the viewer's own picture, on a temporary diskette.

#include "platform/picture.h"
#include "platform/twips_ui.h"
#include "preview/frmpreview.h"
#include "preview/frmpreviewdisk.h"
#include "settings/store.h"
#include "tests/support/testkit.h"

#include <QBuffer>
#include <QDir>
#include <QImageWriter>

using namespace testkit;

namespace {

QByteArray jpegBytes(const QImage &image, bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(90);
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(image))
        qFatal("cannot write a JPEG: %s", qPrintable(writer.errorString()));
    return bytes;
}

QImage solid(int width, int height, QColor colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

void writeJpeg(const QString &path, int width, int height, QColor colour)
{
    writeFile(path, jpegBytes(solid(width, height, colour)));
}

// The same JPEG with an EXIF orientation tag (6: to be turned a quarter
// clockwise) written into an APP1 segment after the start marker.
QByteArray withOrientation(const QByteArray &jpeg, quint16 orientation)
{
    QByteArray tiff("MM\0\x2a\0\0\0\x08", 8);                      // big-endian header, IFD0 at 8
    tiff += QByteArray("\0\x01", 2);                               // one entry
    tiff += QByteArray("\x01\x12\0\x03\0\0\0\x01", 8);             // Orientation, SHORT, count 1
    tiff += char(orientation >> 8);
    tiff += char(orientation & 0xff);
    tiff += QByteArray(2, '\0');
    tiff += QByteArray(4, '\0');                                   // no next IFD
    const QByteArray body = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray segment("\xff\xe1", 2);
    segment += char((body.size() + 2) >> 8);
    segment += char((body.size() + 2) & 0xff);
    return jpeg.left(2) + segment + body + jpeg.mid(2);
}

// The same JPEG with its frame header claiming another size.
QByteArray claimingSize(QByteArray jpeg, quint16 width, quint16 height)
{
    const int sof = int(jpeg.indexOf(QByteArray("\xff\xc0", 2)));
    if (sof < 0)
        qFatal("no frame header");
    jpeg[sof + 5] = char(height >> 8);
    jpeg[sof + 6] = char(height & 0xff);
    jpeg[sof + 7] = char(width >> 8);
    jpeg[sof + 8] = char(width & 0xff);
    return jpeg;
}

// The colour in the middle of a picture is near the expected one.
bool near(const QImage &picture, QColor expected, QPoint at = QPoint(-1, -1))
{
    if (picture.isNull())
        return false;
    if (at.x() < 0)
        at = QPoint(picture.width() / 2, picture.height() / 2);
    const QColor c = picture.pixelColor(at);
    return qAbs(c.red() - expected.red()) < 40 && qAbs(c.green() - expected.green()) < 40
           && qAbs(c.blue() - expected.blue()) < 40;
}

// A rectangle given in twips, as the window tables write it, is within a
// pixel's rounding of the rectangle on screen.
bool inTwips(const QRect &px, double left, double top, double width, double height)
{
    return qAbs(px.x() - left / 15) <= 1 && qAbs(px.y() - top / 15) <= 1 && qAbs(px.width() - width / 15) <= 1
           && qAbs(px.height() - height / 15) <= 1;
}

bool sizeInTwips(const QSize &px, double width, double height)
{
    return inTwips(QRect(QPoint(0, 0), px), 0, 0, width, height);
}

// One opening of the viewer as the test saw it.
struct ViewerSeen {
    QString title;
    QString owner;
    QRect image;
    QSize client;
    QImage picture;
    bool closedByClick = false;
};

// Runs Preview Disk with F2 and hands the open, shown preview window to a
// script; every viewer it opens is recorded and closed by a click.
class Session {
public:
    explicit Session(Rig &rig) : m_rig(rig)
    {
        rig.prompt.onModal = [this](QDialog &dialog) {
            if (auto *viewer = qobject_cast<frmPreview *>(&dialog)) {
                ViewerSeen seen;
                seen.title = viewer->windowTitle();
                seen.owner = viewer->parentWidget() ? viewer->parentWidget()->objectName() : QString();
                seen.image = viewer->Image1->geometry();
                seen.client = viewer->size();
                seen.picture = viewer->Image1->picture();
                viewer->show();
                QTest::mouseClick(viewer->Image1, Qt::LeftButton);
                seen.closedByClick = !viewer->isVisible();
                viewer->close();
                viewers << seen;
            } else if (auto *preview = qobject_cast<frmPreviewDisk *>(&dialog)) {
                preview->show();
                if (!QTest::qWaitForWindowExposed(preview))
                    qWarning("preview window not exposed");
                if (script)
                    script(*preview);
                preview->close();
            }
        };
    }
    ~Session() { m_rig.prompt.onModal = nullptr; }

    void runF2() { QTest::keyClick(m_rig.window.get(), Qt::Key_F2); }

    std::function<void(frmPreviewDisk &)> script;
    QList<ViewerSeen> viewers;

private:
    Rig &m_rig;
};

void clickEntry(QListWidget *list, int row)
{
    QListWidgetItem *item = list->item(row);
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
}

// Takes the diskette out of drive A: at a chosen listing, and puts it back
// when the drive is selected again (the user inserted it and pressed OK).
class TakenOutFs : public pf::FileSystem {
public:
    TakenOutFs(pf::DriveMap drives, QString root) : pf::FileSystem(std::move(drives)), m_root(std::move(root)) {}

    int takeOutAtListing = -1;
    bool putBackOnSelect = false;

    pf::Result<QStringList> listFiles(const QString &folder, const QString &pattern, bool admit) override
    {
        if (++m_listings == takeOutAtListing)
            QDir().rename(m_root, m_root + QStringLiteral(".out"));
        return pf::FileSystem::listFiles(folder, pattern, admit);
    }
    pf::Status selectDrive(QChar letter) override
    {
        if (putBackOnSelect && QDir(m_root + QStringLiteral(".out")).exists())
            QDir().rename(m_root + QStringLiteral(".out"), m_root);
        return pf::FileSystem::selectDrive(letter);
    }

private:
    QString m_root;
    int m_listings = 0;
};

const QColor kRed(220, 30, 30), kGreen(30, 200, 60), kBlue(30, 60, 220), kYellow(230, 220, 40), kGrey(128, 128, 128);

}  // namespace

class TestPreview : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        clearSettings();
        storeSetting(settings::kSplashScreen, QStringLiteral("False"));
    }

    // The preview window as it opens, the preview fit of each kind of
    // picture, and selection by mouse and keys.
    void openingAndPreviewFit()
    {
        Rig rig;
        writeJpeg(rig.a() + QStringLiteral("/a_wide.jpg"), 640, 480, kRed);
        writeJpeg(rig.a() + QStringLiteral("/B_TALL.JPG"), 320, 640, kGreen);
        writeJpeg(rig.a() + QStringLiteral("/c_square.jpg"), 1000, 1000, kBlue);
        writeJpeg(rig.a() + QStringLiteral("/d_wider.jpg"), 1280, 1024, kYellow);
        writeJpeg(rig.a() + QStringLiteral("/.hidden.jpg"), 64, 64, kGrey);
        writeFile(rig.a() + QStringLiteral("/clip.mpg"), "MPG");
        frmMain &main = rig.openMain();

        Session session(rig);
        bool ran = false;
        session.script = [&](frmPreviewDisk &w) {
            ran = true;
            QCOMPARE(w.windowTitle(), QStringLiteral("Preview Disk"));
            QCOMPARE(w.size(), QSize(pf::tw(4560), pf::tw(2760)));
            QCOMPARE(w.minimumSize(), w.maximumSize());
            QCOMPARE(w.parentWidget(), &main);
            QCOMPARE(w.windowIcon().cacheKey(), main.windowIcon().cacheKey());
            QCOMPARE(w.Label15->text(), QStringLiteral("Click image to enlarge..."));
            QVERIFY(inTwips(w.File4->geometry(), 120, 120, 2052, 2430));
            QVERIFY(inTwips(w.Label15->geometry(), 2280, 120, 2172, 252));
            QCOMPARE(w.focusWidget(), w.File4);

            // The diskette's plain pictures, sorted by name, capitals and all.
            QStringList listed;
            for (int i = 0; i < w.File4->count(); ++i)
                listed << w.File4->item(i)->text();
            QCOMPARE(listed, (QStringList{QStringLiteral("a_wide.jpg"), QStringLiteral("B_TALL.JPG"),
                                          QStringLiteral("c_square.jpg"), QStringLiteral("d_wider.jpg")}));

            // The first picture shows while no entry is selected: 640 x 480.
            QCOMPARE(w.listIndex(), -1);
            QVERIFY(w.File4->selectedItems().isEmpty());
            QVERIFY(near(w.Image1->picture(), kRed));
            QCOMPARE(w.naturalSize(), QSizeF(640, 480));
            QVERIFY(inTwips(w.Image1->geometry(), 2280, 360, 2172, 1629));

            // Twice as tall as wide: centred in the column, 1086 wide at 2823.
            clickEntry(w.File4, 1);
            QCOMPARE(w.listIndex(), 1);
            QVERIFY(near(w.Image1->picture(), kGreen));
            QVERIFY(inTwips(w.Image1->geometry(), 2823, 360, 1086, 2172));
            // Centred by the width the control took, to the pixel.
            const QRect tall = w.Image1->geometry();
            QVERIFY(qAbs((tall.left() - pf::tw(2280)) - (pf::tw(2280) + pf::tw(2172) - tall.right() - 1)) <= 1);

            // A wide picture after a tall one starts at the column's edge again.
            clickEntry(w.File4, 0);
            QVERIFY(near(w.Image1->picture(), kRed));
            QCOMPARE(w.Image1->geometry(), QRect(pf::tw(2280), pf::tw(360), pf::tw(2172), pf::tw(1629)));

            // Square: the tall branch, the whole square.
            clickEntry(w.File4, 2);
            QVERIFY(near(w.Image1->picture(), kBlue));
            QVERIFY(inTwips(w.Image1->geometry(), 2280, 360, 2172, 2172));

            // The arrow keys: 1280 x 1024 below, the square again above.
            QTest::keyClick(w.File4, Qt::Key_Down);
            QCOMPARE(w.listIndex(), 3);
            QVERIFY(near(w.Image1->picture(), kYellow));
            QVERIFY(inTwips(w.Image1->geometry(), 2280, 360, 2172, 1737.6));
            QTest::keyClick(w.File4, Qt::Key_Up);
            QCOMPARE(w.listIndex(), 2);
            QVERIFY(near(w.Image1->picture(), kBlue));
        };
        QVERIFY(main.Command15->isEnabled());
        QCOMPARE(main.focusWidget(), main.Command12);
        session.runF2();
        QVERIFY(ran);
        QCOMPARE(rig.prompt.modals, QStringList{QStringLiteral("frmPreviewDisk")});
        QVERIFY(rig.prompt.boxes.isEmpty());
        QCOMPARE(main.focusWidget(), main.SSTab1->tabBar());

        // The next opening starts afresh: the first file, nothing selected,
        // and the first arrow key selects the first entry.
        session.script = [&](frmPreviewDisk &w) {
            QCOMPARE(w.listIndex(), -1);
            QVERIFY(near(w.Image1->picture(), kRed));
            QTest::keyClick(w.File4, Qt::Key_Down);
            QCOMPARE(w.listIndex(), 0);
            QVERIFY(near(w.Image1->picture(), kRed));
            QVERIFY(inTwips(w.Image1->geometry(), 2280, 360, 2172, 1629));
        };
        main.Command15->click();
        QCOMPARE(rig.prompt.modals.size(), 2);
    }

    // The viewer: its fit of each kind of picture, the window around it, the
    // preview's own picture, closing by a click, and the double-click.
    void viewerFitAndOpening()
    {
        Rig rig;
        writeJpeg(rig.a() + QStringLiteral("/1.jpg"), 640, 480, kRed);
        writeJpeg(rig.a() + QStringLiteral("/2.jpg"), 480, 640, kGreen);
        writeJpeg(rig.a() + QStringLiteral("/3.jpg"), 1000, 1000, kBlue);
        writeJpeg(rig.a() + QStringLiteral("/4.jpg"), 1280, 1024, kYellow);
        rig.openMain();

        Session session(rig);
        QList<qint64> shownKeys;
        QRect previewAfterViewer;
        session.script = [&](frmPreviewDisk &w) {
            for (int row = 0; row < 4; ++row) {
                clickEntry(w.File4, row);
                shownKeys << w.Image1->picture().cacheKey();
                const QRect before = w.Image1->geometry();
                QTest::mouseClick(w.Image1, Qt::LeftButton);
                // The preview is unchanged and takes input again.
                QCOMPARE(w.Image1->geometry(), before);
                QCOMPARE(w.Image1->picture().cacheKey(), shownKeys.last());
            }
            // The same picture twice: the same size twice.
            QTest::mouseClick(w.Image1, Qt::LeftButton);

            // Double-click on another entry: its picture, then the viewer.
            QListWidgetItem *first = w.File4->item(0);
            const QPoint at = w.File4->visualItemRect(first).center();
            // As the window system delivers it: a click, then the second press
            // as a double-click, then its release.
            QTest::mouseClick(w.File4->viewport(), Qt::LeftButton, {}, at);
            QCOMPARE(session.viewers.size(), 5);
            QTest::mouseDClick(w.File4->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseRelease(w.File4->viewport(), Qt::LeftButton, {}, at);
            QCOMPARE(w.listIndex(), 0);
            QVERIFY(near(w.Image1->picture(), kRed));
            previewAfterViewer = w.Image1->geometry();
        };
        session.runF2();

        const QList<ViewerSeen> &v = session.viewers;
        QCOMPARE(v.size(), 6);
        for (const ViewerSeen &seen : v) {
            QCOMPARE(seen.title, QStringLiteral("Click Image To Close"));
            QCOMPARE(seen.owner, QStringLiteral("frmPreviewDisk"));
            QCOMPARE(seen.image.topLeft(), QPoint(0, 0));
            // The client area is the picture; the frame goes around it.
            QCOMPARE(seen.client, seen.image.size());
            QVERIFY(seen.closedByClick);
        }
        // The preview's own decode, not a second reading of the file.
        for (int i = 0; i < 4; ++i)
            QCOMPARE(v[i].picture.cacheKey(), shownKeys[i]);
        QVERIFY(near(v[0].picture, kRed));
        QVERIFY(sizeInTwips(v[0].image.size(), 6132, 4599));
        QVERIFY(near(v[1].picture, kGreen));
        QVERIFY(sizeInTwips(v[1].image.size(), 3449.25, 4599));
        QVERIFY(near(v[2].picture, kBlue));
        QVERIFY(sizeInTwips(v[2].image.size(), 4599, 4599));
        QVERIFY(near(v[3].picture, kYellow));
        QVERIFY(sizeInTwips(v[3].image.size(), 6132, 4905.6));
        QCOMPARE(v[4].image, v[3].image);
        QVERIFY(near(v[5].picture, kRed));
        QCOMPARE(v[5].image, v[0].image);
        // The picture is decoded sharp enough for the viewer's size.
        QVERIFY(v[0].picture.width() >= v[0].image.width());
        QCOMPARE(previewAfterViewer, QRect(pf::tw(2280), pf::tw(360), pf::tw(2172), pf::tw(1629)));
    }

    // Clips only, reached with F2 while Preview Disk is disabled: an empty
    // list, an empty picture, and an empty viewer on a click.
    void emptyImageList()
    {
        Rig rig;
        writeFile(rig.a() + QStringLiteral("/clip.mpg"), "MPG");
        frmMain &main = rig.openMain();
        main.Command12_Click();
        QVERIFY(!main.Command15->isEnabled());

        Session session(rig);
        bool ran = false;
        session.script = [&](frmPreviewDisk &w) {
            ran = true;
            QCOMPARE(w.File4->count(), 0);
            QVERIFY(w.Image1->picture().isNull());
            QCOMPARE(w.naturalSize(), QSizeF(2292, 1452));
            QVERIFY(inTwips(w.Image1->geometry(), 2280, 360, 2172, 1375.98));
            QTest::keyClick(w.File4, Qt::Key_Down);
            QCOMPARE(w.listIndex(), -1);
            QTest::mouseClick(w.Image1, Qt::LeftButton);
        };
        session.runF2();
        QVERIFY(ran);
        QVERIFY(!main.Command15->isEnabled());
        QCOMPARE(session.viewers.size(), 1);
        QVERIFY(session.viewers[0].picture.isNull());
        QVERIFY(sizeInTwips(session.viewers[0].image.size(), 6132, 3884.67));
        QVERIFY(rig.prompt.boxes.isEmpty());
    }

    // Pictures that cannot be shown keep the previous picture and its
    // rectangle, without a message; damaged or unusual ones never crash.
    void badPictures()
    {
        Rig rig;
        const QString a = rig.a();
        const QByteArray good = jpegBytes(solid(300, 600, kGreen));
        writeFile(a + QStringLiteral("/0_good.jpg"), good);
        writeFile(a + QStringLiteral("/1_empty.jpg"), QByteArray());
        writeFile(a + QStringLiteral("/2_text.jpg"), "These are not the pixels you are looking for.\n");
        writeFile(a + QStringLiteral("/3_header_cut.jpg"), good.left(120));
        writeFile(a + QStringLiteral("/4_huge.jpg"), claimingSize(good, 65000, 65000));
        writeFile(a + QStringLiteral("/5_gone.jpg"), good);
        writeFile(a + QStringLiteral("/6_now_a_folder.jpg"), good);
        writeFile(a + QStringLiteral("/7_data_cut.jpg"), jpegBytes(solid(640, 480, kRed)).left(900));
        rig.openMain();

        Session session(rig);
        bool ran = false;
        session.script = [&](frmPreviewDisk &w) {
            ran = true;
            // Unreadable since the list was read: gone, or a folder now.
            QFile::remove(a + QStringLiteral("/5_gone.jpg"));
            QFile::remove(a + QStringLiteral("/6_now_a_folder.jpg"));
            QDir(a).mkdir(QStringLiteral("6_now_a_folder.jpg"));

            const qint64 key = w.Image1->picture().cacheKey();
            const QRect rect = w.Image1->geometry();
            QVERIFY(near(w.Image1->picture(), kGreen));
            for (int row = 1; row <= 6; ++row) {
                clickEntry(w.File4, row);
                QCOMPARE(w.listIndex(), row);
                QCOMPARE(w.Image1->picture().cacheKey(), key);
                QCOMPARE(w.Image1->geometry(), rect);
                QCOMPARE(w.naturalSize(), QSizeF(300, 600));
            }
            // The viewer shows what the preview still shows.
            QTest::mouseClick(w.Image1, Qt::LeftButton);

            // Cut inside the picture data: shown as far as it goes.
            clickEntry(w.File4, 7);
            QCOMPARE(w.naturalSize(), QSizeF(640, 480));
            QVERIFY(!w.Image1->picture().isNull());
            QVERIFY(inTwips(w.Image1->geometry(), 2280, 360, 2172, 1629));
        };
        session.runF2();
        QVERIFY(ran);
        QVERIFY(rig.prompt.boxes.isEmpty());
        QCOMPARE(session.viewers.size(), 1);
        QVERIFY(near(session.viewers[0].picture, kGreen));

        // The loader refuses the enormous claim from the header alone.
        pf::Result<pf::Picture> huge = pf::loadPicture(*rig.services->fs, QStringLiteral("a:\\4_huge.jpg"), QSize(100, 100));
        QVERIFY(!huge);
        QVERIFY(huge.error().reason.contains(QStringLiteral("65000")));

        // A first picture that cannot be shown: no picture, the natural size
        // of an empty preview, and its wide fit.
        QFile::remove(a + QStringLiteral("/0_good.jpg"));
        session.script = [&](frmPreviewDisk &w) {
            QCOMPARE(w.File4->item(0)->text(), QStringLiteral("1_empty.jpg"));
            QVERIFY(w.Image1->picture().isNull());
            QCOMPARE(w.naturalSize(), QSizeF(2292, 1452));
            QVERIFY(inTwips(w.Image1->geometry(), 2280, 360, 2172, 1375.98));
        };
        session.runF2();
        QVERIFY(rig.prompt.boxes.isEmpty());
    }

    // Progressive, grayscale and CMYK pictures show; a picture whose EXIF
    // tag says it must be turned shows turned, with its size after the turn.
    void variantsAndTurnedPictures()
    {
        Rig rig;
        const QString a = rig.a();
        writeFile(a + QStringLiteral("/1_progressive.jpg"), jpegBytes(solid(640, 480, kBlue), true));
        writeFile(a + QStringLiteral("/2_gray.jpg"), jpegBytes(solid(480, 640, kGrey).convertToFormat(QImage::Format_Grayscale8)));
        QVERIFY(QFile::copy(QFINDTESTDATA("data/cmyk.jpg"), a + QStringLiteral("/3_cmyk.jpg")));
        // Left half red, right half blue, tagged to be turned a quarter clockwise:
        // upright it is 480 x 640, red above, blue below.
        QImage halves = solid(640, 480, kBlue);
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 320; ++x)
                halves.setPixelColor(x, y, kRed);
        writeFile(a + QStringLiteral("/4_turned.jpg"), withOrientation(jpegBytes(halves), 6));
        rig.openMain();

        Session session(rig);
        session.script = [&](frmPreviewDisk &w) {
            QVERIFY(near(w.Image1->picture(), kBlue));
            QCOMPARE(w.naturalSize(), QSizeF(640, 480));

            clickEntry(w.File4, 1);
            QVERIFY(near(w.Image1->picture(), kGrey));
            QVERIFY(inTwips(w.Image1->geometry(), 2280 + (2172 - 1629) / 2.0, 360, 1629, 2172));

            clickEntry(w.File4, 2);
            QCOMPARE(w.naturalSize(), QSizeF(24, 16));
            QVERIFY(near(w.Image1->picture(), QColor(0x20, 0xc0, 0x40)));

            clickEntry(w.File4, 3);
            QCOMPARE(w.naturalSize(), QSizeF(480, 640));
            const QImage p = w.Image1->picture();
            QVERIFY(p.height() > p.width());
            QVERIFY(near(p, kRed, QPoint(p.width() / 2, p.height() / 4)));
            QVERIFY(near(p, kBlue, QPoint(p.width() / 2, p.height() * 3 / 4)));
            QVERIFY(inTwips(w.Image1->geometry(), 2280 + (2172 - 1629) / 2.0, 360, 1629, 2172));
            QTest::mouseClick(w.Image1, Qt::LeftButton);
        };
        session.runF2();
        QCOMPARE(session.viewers.size(), 1);
        const ViewerSeen &turned = session.viewers[0];
        QVERIFY(sizeInTwips(turned.image.size(), 3449.25, 4599));
        QVERIFY(near(turned.picture, kRed, QPoint(turned.picture.width() / 2, turned.picture.height() / 4)));
        QVERIFY(near(turned.picture, kBlue, QPoint(turned.picture.width() / 2, turned.picture.height() * 3 / 4)));

        // Decoded at an eighth, the smallest step of the decoder that covers
        // the size asked for, not at full size; the natural size after the turn.
        writeFile(a + QStringLiteral("/big.jpg"), withOrientation(jpegBytes(solid(2400, 1600, kRed)), 6));
        pf::Result<pf::Picture> small = pf::loadPicture(*rig.services->fs, QStringLiteral("a:\\big.jpg"), QSize(100, 150));
        QVERIFY(small);
        QCOMPARE(small->natural, QSize(1600, 2400));
        QCOMPARE(small->image.size(), QSize(200, 300));
        QVERIFY(near(small->image, kRed));
    }

    // F2 pressed on the focused button of the shown main window opens the
    // preview once, also when closing it leaves no window active.
    void f2FromTheFocusedControl()
    {
        Rig rig;
        writeJpeg(rig.a() + QStringLiteral("/pic.jpg"), 64, 48, kRed);
        frmMain &main = rig.openMain();
        main.show();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        QCOMPARE(QApplication::focusWidget(), main.Command12);
        Session session(rig);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F2);
        QCOMPARE(rig.prompt.modals, QStringList{QStringLiteral("frmPreviewDisk")});
        main.close();
    }

    // Cancel at the diskette prompt opens nothing; a diskette taken out
    // between the probe and the opening is asked for like a missing one.
    void disketteMissingOrTakenOut()
    {
        {
            Rig rig;
            rig.drives.makeNotReady('A');
            rig.rebuildServices();
            frmMain &main = rig.openMain();
            rig.prompt.answers = {pf::AnsCancel};
            main.Command15->click();
            QCOMPARE(rig.prompt.titles(), QStringList{QStringLiteral("No Disk!")});
            QVERIFY(rig.prompt.modals.isEmpty());
            QCOMPARE(main.focusWidget(), main.SSTab1->tabBar());
        }
        for (const bool putBack : {false, true}) {
            Rig rig;
            writeJpeg(rig.a() + QStringLiteral("/pic.jpg"), 64, 48, kRed);
            auto fs = std::make_unique<TakenOutFs>(rig.drives.map(), rig.a());
            // The command's own refresh lists three times; the opening's is next.
            fs->takeOutAtListing = 4;
            fs->putBackOnSelect = putBack;
            rig.rebuildServices(std::move(fs));
            frmMain &main = rig.openMain();
            rig.prompt.answers = {putBack ? pf::AnsOk : pf::AnsCancel};

            Session session(rig);
            QStringList listed;
            session.script = [&](frmPreviewDisk &w) { listed << w.File4->item(0)->text(); };
            session.runF2();

            QCOMPARE(rig.prompt.titles(), QStringList{QStringLiteral("No Disk!")});
            QCOMPARE(rig.prompt.boxes[0].text, QStringLiteral("Please insert a disk with images or video clips."));
            QCOMPARE(rig.prompt.boxes[0].buttons, int(pf::MbOkCancel));
            QCOMPARE(listed, putBack ? QStringList{QStringLiteral("pic.jpg")} : QStringList());
            QCOMPARE(main.focusWidget(), main.SSTab1->tabBar());
        }
    }
};

PIXFERRY_TEST_MAIN(TestPreview)
#include "test_preview.moc"
