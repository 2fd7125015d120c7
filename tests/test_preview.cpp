// Preview Disk and the image viewer, driven through F2, the list and the pictures, on a temporary diskette.

#include "platform/picture.h"
#include "platform/twips_ui.h"
#include "preview/frmpreview.h"
#include "preview/frmpreviewdisk.h"
#include "settings/store.h"
#include "tests/support/testkit.h"

#include <QImageWriter>

using namespace testkit;
using namespace Qt::StringLiterals;

namespace {

// Pictures are decoded on a worker: a test waits for one this long at most.
constexpr int kDeadlineMs = 10000;

const QColor kRed(220, 30, 30), kGreen(30, 200, 60), kBlue(30, 60, 220), kYellow(230, 220, 40), kGrey(128, 128, 128);
const QRectF kWideFit(2280, 360, 2172, 1629), kEmptyFit(2280, 360, 2172, 1375.98), kTallFit(2551.5, 360, 1629, 2172);

QImage solid(int width, int height, QColor colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    return image.fill(colour), image;
}

QByteArray jpeg(const QImage &image, bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(progressive);
    return writer.write(image) ? bytes : QByteArray();
}

// The same JPEG with an EXIF orientation tag (IFD0 with one entry) after the start marker.
QByteArray withOrientation(const QByteArray &jpeg, char orientation)
{
    QByteArray body("Exif\0\0MM\0\x2a\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0", 25);
    body += orientation + QByteArray(6, '\0');
    return jpeg.left(2) + QByteArray("\xff\xe1\0", 3) + char(body.size() + 2) + body + jpeg.mid(2);
}

QByteArray claimingHugeSize(QByteArray jpeg)
{
    return jpeg.replace(jpeg.indexOf(QByteArray("\xff\xc0", 2)) + 5, 4, "\xfd\xe8\xfd\xe8", 4);  // 65000 x 65000
}

// The colour in the middle column, at a fraction of the height, is near the expected one.
bool near(const QImage &picture, QColor e, double atY = 0.5)
{
    const QColor c = picture.isNull() ? QColor() : picture.pixelColor(picture.width() / 2, int(picture.height() * atY));
    return c.isValid() && qAbs(c.red() - e.red()) < 40 && qAbs(c.green() - e.green()) < 40
           && qAbs(c.blue() - e.blue()) < 40;
}

// A rectangle in twips, as the window tables give it, is within a pixel of the one on screen.
bool inTwips(const QRect &px, const QRectF &tw)
{
    return qAbs(px.x() - tw.x() / 15) <= 1 && qAbs(px.y() - tw.y() / 15) <= 1
           && qAbs(px.width() - tw.width() / 15) <= 1 && qAbs(px.height() - tw.height() / 15) <= 1;
}

// The picture of the entry chosen last has arrived (or failed) within the deadline.
bool settled(const frmPreviewDisk &w)
{
    return QTest::qWaitFor([&w] { return !w.decoding(); }, kDeadlineMs);
}

bool isEmptyPreview(const frmPreviewDisk &w)
{
    return w.Image1->picture().isNull() && w.naturalSize() == QSizeF(2292, 1452)
           && inTwips(w.Image1->geometry(), kEmptyFit);
}

// Hands each shown preview window to a script; checks, records and closes (by a click) every viewer.
struct Session {
    explicit Session(Rig &rig) : rig(rig)
    {
        rig.prompt.onModal = [this](QDialog &dialog) {
            if (auto *viewer = qobject_cast<frmPreview *>(&dialog)) {
                QCOMPARE(viewer->windowTitle(), u"Click Image To Close"_s);
                viewer->show();
                QVERIFY(qobject_cast<frmPreviewDisk *>(viewer->parentWidget()) && viewer->Image1->pos() == QPoint());
                QCOMPARE(viewer->size(), viewer->Image1->size());  // the frame goes around the picture
                viewers << std::pair(viewer->Image1->geometry(), viewer->Image1->picture());
                QTest::mouseClick(viewer->Image1, Qt::LeftButton);
                QVERIFY(!viewer->isVisible());
            } else if (auto *preview = qobject_cast<frmPreviewDisk *>(&dialog)) {
                preview->show();
                QVERIFY(QTest::qWaitForWindowExposed(preview));
                QVERIFY2(settled(*preview), "the first picture never came");
                if (script)
                    script(*preview);
            }
            dialog.close();
        };
    }
    void runF2() { QTest::keyClick(rig.window.get(), Qt::Key_F2); }
    int opened() const { return rig.prompt.modals.count(u"frmPreviewDisk"_s); }
    Rig &rig;
    std::function<void(frmPreviewDisk &)> script;
    QList<std::pair<QRect, QImage>> viewers;  // the picture's rectangle and the picture
};

void clickEntry(QListWidget *list, int row)
{
    list->scrollToItem(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
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

class TestPreview : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        clearSettings();
        storeSetting(settings::kSplashScreen, u"False"_s);
    }

    // The preview window; both windows' fits, by mouse and arrow keys; the viewer; the double-click; no pictures.
    void openingAndFit()
    {
        Rig rig;
        struct Pic { QString name; QSize size; QColor colour; QRectF preview; QSizeF viewer; };
        const QList<Pic> pics{{u"a_wide.jpg"_s, {640, 480}, kRed, kWideFit, {6132, 4599}},
                              {u"B_TALL.JPG"_s, {480, 640}, kGreen, kTallFit, {3449.25, 4599}},
                              {u"c_square.jpg"_s, {1000, 1000}, kBlue, {2280, 360, 2172, 2172}, {4599, 4599}},
                              {u"d_wider.jpg"_s, {1280, 1024}, kYellow, {2280, 360, 2172, 1737.6}, {6132, 4905.6}}};
        const QString a = rig.a() + u'/';
        for (const Pic &p : pics)
            writeFile(a + p.name, jpeg(solid(p.size.width(), p.size.height(), p.colour)));
        writeFile(a + u".hidden.jpg"_s, jpeg(solid(64, 64, kGrey)));
        writeFile(a + u"clip.mpg"_s, "MPG");
        frmMain &main = rig.openMain();
        Session session(rig);
        // Row and key (0: a click): down from no entry, tall, wide after tall (left edge back), square, down, up.
        QList<QPair<int, int>> visits{{0, Qt::Key_Down}, {1, 0}, {0, 0}, {2, 0}, {3, Qt::Key_Down}, {2, Qt::Key_Up}};
        session.script = [&](frmPreviewDisk &w) {
            QCOMPARE(w.windowTitle(), u"Preview Disk"_s);
            QVERIFY(w.minimumSize() == QSize(pf::tw(4560), pf::tw(2760)) && w.maximumSize() == w.minimumSize());
            QVERIFY(w.parentWidget() == &main && w.windowIcon().cacheKey() == main.windowIcon().cacheKey());
            QCOMPARE(w.Label15->text(), u"Click image to enlarge..."_s);
            QVERIFY(inTwips(w.File4->geometry(), {120, 120, 2052, 2430}));
            QVERIFY(inTwips(w.Label15->geometry(), {2280, 120, 2172, 252}));
            QVERIFY(w.focusWidget() == w.File4 && w.File4->count() == pics.size());  // no clip, no hidden file
            QVERIFY(w.listIndex() == -1 && w.File4->selectedItems().isEmpty());  // no entry selected,
            QVERIFY(near(w.Image1->picture(), kRed) && inTwips(w.Image1->geometry(), kWideFit));  // the first shown
            for (int i = 0; i < visits.size(); ++i) {
                const auto [row, key] = visits[i];
                key ? QTest::keyClick(w.File4, Qt::Key(key)) : clickEntry(w.File4, row);
                QVERIFY(settled(w));
                QVERIFY(w.listIndex() == row && w.File4->item(row)->text() == pics[row].name);  // sorted, any case
                QCOMPARE(w.naturalSize(), QSizeF(pics[row].size));
                const QRect at = w.Image1->geometry();
                QVERIFY(near(w.Image1->picture(), pics[row].colour) && inTwips(at, pics[row].preview));
                QVERIFY(qAbs((at.left() - pf::tw(2280)) - (pf::tw(2280 + 2172) - at.right() - 1)) <= 1);  // centred
                QTest::mouseClick(w.Image1, Qt::LeftButton);
                QCOMPARE(session.viewers.size(), i + 1);
                QVERIFY(inTwips(session.viewers[i].first, {{0, 0}, pics[row].viewer}));
                QCOMPARE(session.viewers[i].second.cacheKey(), w.Image1->picture().cacheKey());  // no new reading
                QCOMPARE(w.Image1->geometry(), at);  // unchanged after the viewer
            }
            // Double-click as the window system delivers it: a click (no viewer), a double-click press, a release.
            const QPoint at = w.File4->visualItemRect(w.File4->item(0)).center();
            QTest::mouseClick(w.File4->viewport(), Qt::LeftButton, {}, at);
            QVERIFY(settled(w));
            QCOMPARE(session.viewers.size(), visits.size());
            QTest::mouseDClick(w.File4->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseRelease(w.File4->viewport(), Qt::LeftButton, {}, at);
            QVERIFY(w.listIndex() == 0 && inTwips(w.Image1->geometry(), kWideFit));
            QCOMPARE(session.viewers.size(), visits.size() + 1);
            QVERIFY(session.viewers.last() == std::pair(session.viewers[0].first, w.Image1->picture()));
        };
        // F2 on the focused button of the shown window opens the preview once.
        main.show();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        QCOMPARE(QApplication::focusWidget(), main.Command12);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F2);
        QCOMPARE(session.opened(), 1);
        QCOMPARE(main.focusWidget(), main.SSTab1->tabBar());
        QVERIFY(session.viewers[0].second.width() >= session.viewers[0].first.width());  // sharp enough for it
        // Clips only, through F2 while Preview Disk is disabled: an empty list, an empty viewer.
        for (const QString &name : entries(a))
            QVERIFY(name.endsWith(u".mpg"_s) || QFile::remove(a + name));
        main.Command12_Click();
        QVERIFY(!main.Command15->isEnabled());
        session.script = [&](frmPreviewDisk &w) {
            QVERIFY(w.File4->count() == 0 && isEmptyPreview(w));
            QTest::keyClick(w.File4, Qt::Key_Down);
            QCOMPARE(w.listIndex(), -1);
            QTest::mouseClick(w.Image1, Qt::LeftButton);
        };
        session.runF2();
        QCOMPARE(session.viewers.size(), visits.size() + 2);
        QVERIFY(session.viewers.last().second.isNull() && inTwips(session.viewers.last().first, {0, 0, 6132, 3884.67}));
        QVERIFY(rig.prompt.boxes.isEmpty());
    }

    // Unshowable pictures keep the previous one, silently; unusual ones show; EXIF-turned ones upright.
    void pictureKinds()
    {
        Rig rig;
        const QString a = rig.a() + u'/';
        const QByteArray good = jpeg(solid(300, 600, kGreen));
        QImage halves = solid(640, 480, kBlue);  // left half red; turned a quarter clockwise: red above blue
        QImage(halves.bits(), 320, 480, halves.bytesPerLine(), QImage::Format_RGB32).fill(kRed);
        struct Kind {
            const char *name; QByteArray bytes; QSizeF natural{}; QColor colour{}; QRectF fit{}; double atY = 0.5;
        };
        const QList<Kind> kinds{  // no natural size: cannot be shown
            {"00_good.jpg", good, {300, 600}, kGreen, {2823, 360, 1086, 2172}},
            {"01_empty.jpg", {}}, {"02_text.jpg", "Not a picture.\n"}, {"03_header_cut.jpg", good.left(120)},
            {"04_huge.jpg", claimingHugeSize(good)}, {"05_gone.jpg", good}, {"06_now_a_folder.jpg", good},
            {"07_data_cut.jpg", jpeg(solid(640, 480, kRed)).left(900), {640, 480}, kRed, kWideFit, 0},  // the top shown
            {"08_progressive.jpg", jpeg(solid(640, 480, kBlue), true), {640, 480}, kBlue, kWideFit},
            {"09_gray.jpg", jpeg(solid(480, 640, kGrey).convertToFormat(QImage::Format_Grayscale8)), {480, 640}, kGrey,
             kTallFit},
            {"10_cmyk.jpg", readFile(QFINDTESTDATA("data/cmyk.jpg")), {24, 16}, {32, 192, 64}, {2280, 360, 2172, 1448}},
            {"11_turned.jpg", withOrientation(jpeg(halves), 6), {480, 640}, kRed, kTallFit, 0.25},
            {"12_x\\..\\DCIM\\in.jpg", good}};  // a name that would lead into a sub-folder
        for (const Kind &k : kinds)
            writeFile(a + k.name, k.bytes);
        QDir(a).mkdir("DCIM");
        writeFile(a + "DCIM/in.jpg", good);
        rig.openMain();
        Session session(rig);
        session.script = [&](frmPreviewDisk &w) {
            QVERIFY(QFile::remove(a + kinds[5].name) && QFile::remove(a + kinds[6].name));
            QVERIFY(QDir(a).mkdir(kinds[6].name));  // unreadable since the list was read: gone, or a folder now
            const auto shown = [&] {
                return std::tuple(w.Image1->picture().cacheKey(), w.Image1->geometry(), w.naturalSize());
            };
            for (int row = 0; row < kinds.size(); ++row) {
                const Kind &k = kinds[row];
                const auto before = shown();
                clickEntry(w.File4, row);
                QVERIFY2(settled(w), k.name);
                QCOMPARE(w.listIndex(), row);
                if (k.natural.isEmpty())
                    QVERIFY2(shown() == before, k.name);
                else
                    QVERIFY2(w.naturalSize() == k.natural && inTwips(w.Image1->geometry(), k.fit)
                                 && near(w.Image1->picture(), k.colour, k.atY), k.name);
                if (row == 6 || row == 11)  // the viewer: what the preview still shows; the turned picture
                    QTest::mouseClick(w.Image1, Qt::LeftButton);
            }
        };
        session.runF2();
        QCOMPARE(session.viewers.size(), 2);
        QVERIFY(near(session.viewers[0].second, kGreen));
        const auto &[rect, turned] = session.viewers[1];
        QVERIFY(inTwips(rect, {0, 0, 3449.25, 4599}) && near(turned, kRed, 0.25) && near(turned, kBlue, 0.75));
        QVERIFY(QFile::remove(a + kinds[0].name));  // a first picture that cannot be shown: an empty preview
        session.script = [&](frmPreviewDisk &w) {
            QVERIFY(w.File4->item(0)->text() == QLatin1String(kinds[1].name) && isEmptyPreview(w));
        };
        session.runF2();
        QCOMPARE(session.opened(), 2);
        QVERIFY(rig.prompt.boxes.isEmpty());
        pf::Result<pf::Picture> huge = pf::loadPicture(*rig.services->fs, u"a:\\04_huge.jpg"_s, {100, 100});
        QVERIFY(!huge && huge.error().reason.contains(u"65000"_s));  // refused from the header alone
        // Decoded at an eighth (the smallest step covering the size asked for); natural size after the turn.
        writeFile(a + u"big.jpg"_s, withOrientation(jpeg(solid(2400, 1600, kRed)), 6));
        pf::Result<pf::Picture> small = pf::loadPicture(*rig.services->fs, u"a:\\big.jpg"_s, {100, 150});
        QVERIFY(small && near(small->image, kRed));
        QCOMPARE(small->natural, QSize(1600, 2400));
        QCOMPARE(small->image.size(), QSize(200, 300));
    }

    // No diskette, or one taken out between probe and opening, is asked for; Cancel opens nothing, OK does.
    void disketteMissingOrTakenOut()
    {
        for (const int kind : {0, 1, 2}) {  // not ready; taken out; taken out and put back
            Rig rig;
            const QString root = rig.a();
            writeFile(root + u"/pic.jpg"_s, jpeg(solid(64, 48, kRed)));
            if (kind == 0)
                rig.drives.makeNotReady('A');
            rig.rebuildServices(std::make_unique<TakenOutFs>(rig));
            frmMain &main = rig.openMain();
            rig.prompt.answers = {kind == 2 ? pf::AnsOk : pf::AnsCancel, pf::AnsCancel};
            if (kind == 2)  // put back before OK
                rig.prompt.onBox = [&](const ShownBox &) { QDir().rename(root + u".out"_s, root); };
            Session session(rig);
            QStringList listed;
            session.script = [&](frmPreviewDisk &w) { listed << w.File4->item(0)->text(); };
            kind == 0 ? main.Command15->click() : session.runF2();  // the button, or F2
            QCOMPARE(rig.prompt.titles(), QStringList{u"No Disk!"_s});
            QCOMPARE(rig.prompt.boxes[0].text, u"Please insert a disk with images or video clips."_s);
            QCOMPARE(rig.prompt.boxes[0].buttons, pf::MbOkCancel);
            QCOMPARE(listed, kind == 2 ? QStringList{u"pic.jpg"_s} : QStringList());
            QCOMPARE(main.focusWidget(), main.SSTab1->tabBar());
        }
    }
};

PIXFERRY_TEST_MAIN(TestPreview)
#include "test_preview.moc"
