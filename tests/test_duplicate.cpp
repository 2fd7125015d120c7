// The clash dialog: both pictures fitted, the facts of both files beside
// their captions, the keys and the ways on, its place on the screen.

#include "tests/support/testkit.h"
#include "transfer/datetext.h"
#include "transfer/frmduplicate.h"

#include <QScreen>

using namespace testkit;

namespace {

const QString kNewName = "07_04_2003_090507.JPG";

// A clash between a red picture on drive A: and a blue one of the same name
// in C:\Pics. A side without a size holds `broken` instead (none: no file).
struct Clash {
    Rig rig;
    QString incoming = rig.a() + "/DSC00042.JPG";  // host paths
    QString existing = rig.c() + "/Pics/" + kNewName;
    explicit Clash(QSize in = {64, 48}, QSize ex = {64, 48}, const QVariant &broken = {})
    {
        QDir(rig.c()).mkpath("Pics");
        in.isValid() ? makeJpeg(incoming, in.width(), in.height(), {}, Qt::red) : put(incoming, broken);
        ex.isValid() ? makeJpeg(existing, ex.width(), ex.height(), {}, Qt::blue) : put(existing, broken);
        rig.shared.srcFile = "a:\\DSC00042.JPG";
        rig.shared.newName = kNewName;
        rig.shared.destFile = "c:\\Pics\\" + kNewName;
    }
    static void put(const QString &path, const QVariant &content)
    {
        if (content.isValid())
            writeFile(path, content.toByteArray(), QDateTime({2005, 5, 5}, {5, 5, 5}));
    }
};

// A picture box as "WxH colour": its frame's size and the colour in the
// middle of its picture ("none" without one).
QString shown(const QFrame *frame, const QLabel *image)
{
    const QImage p = image->pixmap().toImage();
    const QString hue = p.isNull() ? "none" : qRed(p.pixel(p.rect().center())) > 128 ? "red" : "blue";
    return QString("%1x%2 %3").arg(frame->width()).arg(frame->height()).arg(hue);
}

// The captions with the values on their line, top to bottom: the incoming
// file's name, size and date, then the existing file's.
// The dialog opens at once and reads its files on a worker: until that is done.
bool readAll(frmDuplicate &dlg)
{
    return QTest::qWaitFor([&] { return !dlg.reading(); }, 10000);
}

QStringList lines(const frmDuplicate &dlg)
{
    QMap<int, QStringList> byTop;
    for (QLabel *const *column : {dlg.Label3, dlg.Label4})
        for (int i = 0; i < 6; ++i)
            byTop[column[i]->y()] << column[i]->text();
    QStringList out;
    for (const QStringList &line : byTop)
        out << line.join(' ').trimmed();
    return out;
}

// Shows a window for real and waits until it can take keys.
bool open(QWidget &w)
{
    w.show();
    return QTest::qWaitForWindowActive(&w);
}

}  // namespace

class TestDuplicate : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Its texts, no default button; mid-screen without a main window, on the
    // screen over a main window in the screen's corner.
    void textsAndPlace()
    {
        Clash clash;
        frmDuplicate dlg(*clash.rig.services, clash.rig.shared);
        QVERIFY(readAll(dlg));
        QCOMPARE(dlg.windowTitle(), "Image Already Exists!!");
        QStringList texts;
        for (const QLabel *l : {dlg.Label1, dlg.Label2, dlg.Label5, dlg.Label6})
            texts << l->text();
        for (const QPushButton *b : dlg.findChildren<QPushButton *>())
            texts << b->text();
        QCOMPARE(texts.join(" | "), "Image already exists! | Image being copied: | Existing Image: | What would you "
                                    "like to do? | Repla&ce Existing Image | Rena&me Image to be copied | &Skip this "
                                    "image | Re&place All | Re&name All | &Cancel");
        QStringList defaults;  // Enter presses the focused button: none is the default
        for (const QPushButton *b : dlg.findChildren<QPushButton *>())
            defaults << (b->isDefault() ? b->objectName() : QString());
        QCOMPARE(defaults.join(""), QString());
        QVERIFY(open(dlg));
        const QRect screen = dlg.screen()->availableGeometry();
        QCOMPARE(placement(dlg, screen, 40), "centred");
        QWidget corner;
        corner.setGeometry(QRect(screen.topLeft(), QSize(200, 100)));
        QVERIFY(open(corner));
        frmDuplicate over(*clash.rig.services, clash.rig.shared, &corner);
        QVERIFY(readAll(over));
        QVERIFY(open(over));
        QCOMPARE(screen.contains(over.frameGeometry()), true);
    }

    // The longest side fills the 73-pixel frame (1092 twips), smaller ones
    // stretched up, the frame sized to the picture; each picture on its
    // side; the EXIF turn counts. A file that is no picture, or gone, leaves
    // its frame empty at its first size.
    void pictures_data()
    {
        QTest::addColumn<QSize>("in");
        QTest::addColumn<QSize>("ex");
        QTest::addColumn<QVariant>("broken");   // what the side without a size holds; none: no file
        QTest::addColumn<QString>("pictures");  // incoming, existing
        QTest::addColumn<bool>("turned");       // the incoming picture marked as turned a quarter
        const QSize wide(400, 200), no;
        const QVariant gone;
        QTest::newRow("wide, tall") << wide << QSize(200, 400) << gone << "73x36 red, 36x73 blue" << false;
        QTest::newRow("square, small wide")
            << QSize(300, 300) << QSize(40, 20) << gone << "73x73 red, 73x36 blue" << false;
        QTest::newRow("3:2, wide") << QSize(3000, 2000) << wide << gone << "73x49 red, 73x36 blue" << false;
        QTest::newRow("turned by its EXIF mark") << wide << QSize(64, 48) << gone << "36x73 red, 73x55 blue" << true;
        QTest::newRow("incoming text") << no << wide << QVariant("not a picture") << "73x73 none, 73x36 blue" << false;
        QTest::newRow("incoming gone") << no << wide << gone << "73x73 none, 73x36 blue" << false;
        QTest::newRow("existing empty") << wide << no << QVariant(QByteArray()) << "73x36 red, 73x73 none" << false;
        QTest::newRow("existing cut short")
            << wide << no << QVariant(QByteArray("\xFF\xD8\xFF\xE0\x00\x10JFIF", 10)) << "73x36 red, 73x73 none"
            << false;
    }
    void pictures()
    {
        QFETCH(QSize, in);
        QFETCH(QSize, ex);
        QFETCH(QVariant, broken);
        Clash clash(in, ex, broken);
        QFETCH(bool, turned);
        if (turned) {
            // APP1 "Exif", big-endian TIFF, one entry: Orientation, value 6.
            const char app1[] = "\xFF\xE1\x00\x22" "Exif\x00\x00" "MM\x00\x2A\x00\x00\x00\x08" "\x00\x01"
                                "\x01\x12\x00\x03\x00\x00\x00\x01\x00\x06\x00\x00" "\x00\x00\x00\x00";
            writeFile(clash.incoming, readFile(clash.incoming).insert(2, QByteArray(app1, sizeof(app1) - 1)));
        }
        frmDuplicate dlg(*clash.rig.services, clash.rig.shared);
        QVERIFY(readAll(dlg));
        QTEST(shown(dlg.Picture1, dlg.Image1) + ", " + shown(dlg.Picture2, dlg.Image3), "pictures");
        QCOMPARE(dlg.Image1->size(), dlg.Picture1->size());
        QCOMPARE(dlg.Image3->size(), dlg.Picture2->size());
    }

    // Both names as the copy would get; each file's byte count; the
    // locale's short date and long time (seconds and AM/PM kept), the time
    // left out at midnight; each beside its caption. A file that cannot be
    // read shows no size or date.
    void showsNameSizeAndDateOfBothFiles()
    {
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        Clash clash;
        makeJpeg(clash.incoming, 320, 240, QDateTime({2003, 7, 4}, {9, 5, 7}), Qt::red);
        makeJpeg(clash.existing, 64, 48, QDateTime({2004, 1, 1}, {0, 0}), Qt::blue);
        const auto size = [](const QString &path) { return "File size: " + QString::number(QFileInfo(path).size()); };
        const QString name = "Filename: " + kNewName;
        frmDuplicate de(*clash.rig.services, clash.rig.shared);
        QVERIFY(readAll(de));
        QCOMPARE(lines(de), (QStringList{name, size(clash.incoming), "Date & Time: 04.07.03 09:05:07", name,
                                         size(clash.existing), "Date & Time: 01.01.04"}));
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QFile::remove(clash.existing);
        frmDuplicate us(*clash.rig.services, clash.rig.shared);
        QVERIFY(readAll(us));
        QCOMPARE(lines(us).mid(2), (QStringList{"Date & Time: 7/4/03 9:05:07 AM", name, "File size:", "Date & Time:"}));
        // One second after midnight is not midnight.
        QCOMPARE(transfer::generalDate(QDateTime({1999, 12, 31}, {23, 59, 59})), "12/31/99 11:59:59 PM");
        QCOMPARE(transfer::generalDate(QDateTime({2000, 2, 29}, {0, 0, 1})), "2/29/00 12:00:01 AM");
        QLocale::setDefault(before);
    }

    // Over a main window: centred on it, Esc does nothing, Enter presses
    // the focused button (Replace at first), an access key works. What each
    // button answers is checked through Copy Disk (test_copy.cpp).
    void keys_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("action");  // dupAction
        QTest::newRow("Enter with fresh focus: Replace") << "Return" << "Copy";
        QTest::newRow("Enter presses the focused button") << "Tab, Tab, Return" << "Rename";
        QTest::newRow("an access key") << "Alt+S" << "Skip";
    }
    void keys()
    {
        QFETCH(QString, keys);
        QWidget mainWindow;
        const QPoint middle = mainWindow.screen()->availableGeometry().center();
        mainWindow.setGeometry(QRect(middle - QPoint(200, 120), QSize(200, 100)));  // off the screen's middle
        QVERIFY(open(mainWindow));
        Clash clash;
        clash.rig.shared.dupAction = "earlier";
        frmDuplicate dlg(*clash.rig.services, clash.rig.shared, &mainWindow);
        QVERIFY(readAll(dlg));
        QVERIFY(open(dlg));
        QCOMPARE(placement(dlg, mainWindow.frameGeometry(), 40), "centred");
        QTest::keyClick(dlg.windowHandle(), Qt::Key_Escape);
        QCOMPARE(dlg.isVisible(), true);
        QCOMPARE(clash.rig.shared.dupAction, "earlier");
        QTest::keySequence(dlg.windowHandle(), QKeySequence(keys));
        QTRY_COMPARE_WITH_TIMEOUT(dlg.isVisible(), false, 2000);
        QTEST(clash.rig.shared.dupAction, "action");
    }
};

PIXFERRY_TEST_MAIN(TestDuplicate)
#include "test_duplicate.moc"
