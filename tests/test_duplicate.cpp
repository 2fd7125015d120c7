// The clash dialog: both pictures fitted and framed, the facts of both
// files, the keys and the ways on.

#include "tests/support/testkit.h"
#include "transfer/datetext.h"
#include "transfer/frmduplicate.h"

#include <QScreen>

using namespace testkit;

namespace {

const QString kNewName = "07_04_2003_090507.JPG";

// A clash between a red picture on drive A: and a blue one of the same name in C:\Pics.
struct Clash {
    Rig rig;
    QString incoming = rig.a() + "/DSC00042.JPG";  // host paths
    QString existing = rig.c() + "/Pics/" + kNewName;
    explicit Clash(QSize in = {64, 48}, QSize ex = {64, 48})
    {
        QDir(rig.c()).mkpath("Pics");
        makeJpeg(incoming, in.width(), in.height(), {}, Qt::red);
        makeJpeg(existing, ex.width(), ex.height(), {}, Qt::blue);
        rig.shared.srcFile = "a:\\DSC00042.JPG";
        rig.shared.newName = kNewName;
        rig.shared.destFile = "c:\\Pics\\" + kNewName;
    }
};

// A picture label as "WxH colour" ("none" without a picture), the colour
// of the middle of its pixmap.
QString shown(const QLabel *image)
{
    const QImage p = image->pixmap().toImage();
    if (p.isNull())
        return "none";
    const QColor c(p.pixel(p.rect().center()));
    const bool red = c.red() > 180 && c.green() < 90 && c.blue() < 90, blue = c.blue() > 180 && c.red() < 90;
    const char *hue = red ? "red" : blue ? "blue" : "?";
    return QString("%1x%2 %3").arg(image->width()).arg(image->height()).arg(hue);
}

// Name, size and date shown for the incoming (values 0, 1, 2) or the existing file (5, 4, 3).
QStringList facts(const frmDuplicate &dlg, bool in)
{
    return {dlg.Label4[in ? 0 : 5]->text(), dlg.Label4[in ? 1 : 4]->text(), dlg.Label4[in ? 2 : 3]->text()};
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
    void windowAndControls()
    {
        Clash clash;
        frmDuplicate dlg(*clash.rig.services, clash.rig.shared);
        QCOMPARE(dlg.windowTitle(), "Image Already Exists!!");
        // Fixed dialog border, 7335 x 5520 twips, no minimize or maximize.
        QCOMPARE(dlg.minimumSize(), QSize(489, 368));
        QCOMPARE(dlg.maximumSize(), QSize(489, 368));
        QCOMPARE(dlg.windowFlags().testAnyFlags(Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint), false);
        QStringList texts;
        for (const char *name : {"Label1", "Label2", "Label5", "Label6", "OKButton", "Command1", "Command2", "Command3",
                                 "Command4", "CancelButton"})
            texts << child<QWidget>(&dlg, name)->property("text").toString();
        QCOMPARE(texts, (QStringList{"Image already exists!", "Image being copied:", "Existing Image:",
                                     "What would you like to do?", "Repla&ce Existing Image",
                                     "Rena&me Image to be copied", "&Skip this image", "Re&place All", "Re&name All",
                                     "&Cancel"}));
        QStringList defaults;  // Enter presses the focused button: none is the default
        for (QPushButton *b : dlg.findChildren<QPushButton *>())
            defaults << (b->isDefault() ? b->objectName() : QString());
        QCOMPARE(defaults.join(""), QString());
        // Captions top to bottom: 0, 1, 2 by the incoming picture, the
        // existing picture's frame, 5, 4, 3 by the existing one; each value
        // on its caption's line.
        QStringList order;
        QMap<int, QString> byTop{{dlg.Picture2->y(), "picture"}};
        for (int i : {0, 1, 2, 5, 4, 3}) {
            byTop.insert(dlg.Label3[i]->y(), dlg.Label3[i]->text());
            order << (dlg.Label4[i]->y() == dlg.Label3[i]->y() ? "" : QString("Label4(%1) off its line").arg(i));
        }
        QCOMPARE(byTop.values(), (QStringList{"Filename:", "File size:", "Date & Time:", "picture", "Filename:",
                                              "File size:", "Date & Time:"}));
        QCOMPARE(order.join(""), QString());
        // Opened: focus on Replace, Tab walks the buttons in tab order; with no main window, mid-screen.
        QVERIFY(open(dlg));
        QStringList focus{QApplication::focusWidget()->objectName()};
        for (int i = 0; i < 6; ++i) {
            QTest::keyClick(dlg.windowHandle(), Qt::Key_Tab);
            focus << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(focus, (QStringList{"OKButton", "CancelButton", "Command1", "Command2", "Command3", "Command4",
                                     "OKButton"}));
        QCOMPARE(placement(dlg, dlg.screen()->availableGeometry(), 40), "centred");
    }

    // The longest side fills the 73-pixel frame (1092 twips), smaller ones
    // stretched up; the frames keep their place; each picture on its side;
    // the EXIF turn counts.
    void fitsPicturesByTheLongestSide_data()
    {
        QTest::addColumn<QSize>("in");
        QTest::addColumn<QSize>("ex");
        QTest::addColumn<QString>("pictures");
        QTest::newRow("wide, tall") << QSize(400, 200) << QSize(200, 400) << "73x36 red, 36x73 blue";
        QTest::newRow("square, small wide") << QSize(300, 300) << QSize(40, 20) << "73x73 red, 73x36 blue";
        QTest::newRow("3:2, wide") << QSize(3000, 2000) << QSize(400, 200) << "73x49 red, 73x36 blue";
        QTest::newRow("turned by its EXIF mark") << QSize(400, 200) << QSize(64, 48) << "36x73 red, 73x55 blue";
    }
    void fitsPicturesByTheLongestSide()
    {
        QFETCH(QSize, in);
        QFETCH(QSize, ex);
        Clash clash(in, ex);
        if (QTest::currentDataTag() == QByteArray("turned by its EXIF mark")) {
            // APP1 "Exif", big-endian TIFF, one entry: Orientation, value 6.
            const char app1[] = "\xFF\xE1\x00\x22" "Exif\x00\x00" "MM\x00\x2A\x00\x00\x00\x08" "\x00\x01"
                                "\x01\x12\x00\x03\x00\x00\x00\x01\x00\x06\x00\x00" "\x00\x00\x00\x00";
            writeFile(clash.incoming, readFile(clash.incoming).insert(2, QByteArray(app1, sizeof(app1) - 1)));
        }
        frmDuplicate dlg(*clash.rig.services, clash.rig.shared);
        QTEST(shown(dlg.Image1) + ", " + shown(dlg.Image3), "pictures");
        QCOMPARE(dlg.Picture1->size(), dlg.Image1->size());
        QCOMPARE(dlg.Picture2->size(), dlg.Image3->size());
        QCOMPARE(dlg.Picture1->pos(), QPoint(48, 64));
        QCOMPARE(dlg.Picture2->pos(), QPoint(48, 192));
    }

    // Both names as the copy would get; each file's byte count; the
    // locale's short date and long time (seconds and AM/PM kept).
    void showsNameSizeAndDateOfBothFiles()
    {
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        Clash clash;
        makeJpeg(clash.incoming, 320, 240, QDateTime({2003, 7, 4}, {9, 5, 7}), Qt::red);
        makeJpeg(clash.existing, 64, 48, QDateTime({2004, 1, 1}, {0, 0}), Qt::blue);
        const auto size = [](const QString &path) { return QString::number(QFileInfo(path).size()); };
        frmDuplicate de(*clash.rig.services, clash.rig.shared);
        QCOMPARE(facts(de, true), QStringList({kNewName, size(clash.incoming), "04.07.03 09:05:07"}));
        QCOMPARE(facts(de, false), QStringList({kNewName, size(clash.existing), "01.01.04"}));
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        frmDuplicate us(*clash.rig.services, clash.rig.shared);
        QCOMPARE(facts(us, true).last() + " / " + facts(us, false).last(), "7/4/03 9:05:07 AM / 1/1/04");
        // One second after midnight is not midnight.
        QCOMPARE(transfer::generalDate(QDateTime({1999, 12, 31}, {23, 59, 59})), "12/31/99 11:59:59 PM");
        QCOMPARE(transfer::generalDate(QDateTime({2000, 2, 29}, {0, 0, 1})), "2/29/00 12:00:01 AM");
        QLocale::setDefault(before);
    }

    // Every way out of the dialog, each after an Esc that does nothing;
    // the dialog centred over the main window.
    void eachWayOn_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("action");  // dupAction, and the standing choice set
        QTest::newRow("Replace") << "OKButton" << "Copy";
        QTest::newRow("Rename") << "Command1" << "Rename";
        QTest::newRow("Skip") << "Command2" << "Skip";
        QTest::newRow("Replace All") << "Command3" << "Copy+ReplaceAll";
        QTest::newRow("Rename All") << "Command4" << "Rename+RenameAll";
        QTest::newRow("Cancel") << "CancelButton" << "Exit";
        QTest::newRow("the close box") << "close box" << "Exit";
        QTest::newRow("Enter with fresh focus: Replace") << "Return" << "Copy";
        QTest::newRow("Enter presses the focused button") << "Tab, Tab, Return" << "Rename";
        QTest::newRow("an access key, after a short delay") << "Alt+S" << "Skip";
    }
    void eachWayOn()
    {
        QFETCH(QString, how);
        QWidget mainWindow;
        const QPoint middle = mainWindow.screen()->availableGeometry().center();
        mainWindow.setGeometry(QRect(middle - QPoint(100, 50), QSize(200, 100)));
        QVERIFY(open(mainWindow));
        Clash clash;
        Module1 &m = clash.rig.shared;
        m.dupAction = "earlier";
        frmDuplicate dlg(*clash.rig.services, m, &mainWindow);
        QVERIFY(open(dlg));
        QCOMPARE(placement(dlg, mainWindow.frameGeometry(), 40), "centred");
        QTest::keyClick(dlg.windowHandle(), Qt::Key_Escape);
        QCOMPARE(dlg.isVisible(), true);
        QCOMPARE(m.dupAction, "earlier");
        if (auto *b = dlg.findChild<QPushButton *>(how))
            QTest::mouseClick(b, Qt::LeftButton);
        else
            how == "close box" ? void(dlg.close()) : QTest::keySequence(dlg.windowHandle(), QKeySequence(how));
        QTRY_COMPARE_WITH_TIMEOUT(dlg.isVisible(), false, 2000);
        QTEST(m.dupAction + (m.replaceAll ? "+ReplaceAll" : "") + (m.renameAll ? "+RenameAll" : ""), "action");
    }

    // Over a main window in the screen's corner the dialog stays on the screen.
    void staysOnScreen()
    {
        QWidget mainWindow;
        const QRect screen = mainWindow.screen()->availableGeometry();
        mainWindow.setGeometry(QRect(screen.topLeft(), QSize(200, 100)));
        QVERIFY(open(mainWindow));
        Clash clash;
        frmDuplicate dlg(*clash.rig.services, clash.rig.shared, &mainWindow);
        QVERIFY(open(dlg));
        QCOMPARE(screen.contains(dlg.frameGeometry()), true);
    }

    // Text, empty, cut short, gone, on either side: an empty frame, the
    // other picture as usual, the facts there are, all six buttons.
    void filesThatAreNoPictures_data()
    {
        QTest::addColumn<bool>("incoming");
        QTest::addColumn<QVariant>("content");  // none: the file is gone
        const QList<std::pair<const char *, QVariant>> kinds{
            {"text", QByteArray("not a picture")}, {"empty", QByteArray()},
            {"cut short", QByteArray("\xFF\xD8\xFF\xE0\x00\x10JFIF", 10)}, {"gone", QVariant()}};
        for (const auto &[kind, content] : kinds) {
            QTest::addRow("incoming %s", kind) << true << content;
            QTest::addRow("existing %s", kind) << false << content;
        }
    }
    void filesThatAreNoPictures()
    {
        QFETCH(bool, incoming);
        QFETCH(QVariant, content);
        const QDateTime when({2005, 5, 5}, {5, 5, 5});
        Clash clash({400, 200}, {400, 200});
        const QString broken = incoming ? clash.incoming : clash.existing;
        content.isValid() ? writeFile(broken, content.toByteArray(), when) : void(QFile::remove(broken));
        frmDuplicate dlg(*clash.rig.services, clash.rig.shared);
        QCOMPARE(shown(incoming ? dlg.Image1 : dlg.Image3), "none");
        QCOMPARE((incoming ? dlg.Picture1 : dlg.Picture2)->size(), QSize(73, 73));
        QCOMPARE(shown(incoming ? dlg.Image3 : dlg.Image1), incoming ? "73x36 blue" : "73x36 red");
        const QString size = content.isValid() ? QString::number(content.toByteArray().size()) : QString();
        const QString date = content.isValid() ? transfer::generalDate(when) : QString();
        QCOMPARE(facts(dlg, incoming), QStringList({kNewName, size, date}));
        QVERIFY(open(dlg));
        QStringList usable;
        for (QPushButton *b : {dlg.OKButton, dlg.Command1, dlg.Command2, dlg.Command3, dlg.Command4, dlg.CancelButton})
            usable << (b->isVisible() && b->isEnabled() ? "" : b->objectName());
        QCOMPARE(usable.join(""), QString());
    }
};

PIXFERRY_TEST_MAIN(TestDuplicate)
#include "test_duplicate.moc"
