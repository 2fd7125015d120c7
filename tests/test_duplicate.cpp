// The clash dialog: both pictures fitted and framed, the facts of both files,
// the keys and the six ways on, and files that are no pictures.

#include "transfer/datetext.h"
#include "transfer/frmduplicate.h"
#include "tests/support/testkit.h"

#include <QBuffer>
#include <QDir>
#include <QScreen>

using namespace testkit;

namespace {

const QString kIncoming = QStringLiteral("a:\\DSC00042.JPG");
const QString kNewName = QStringLiteral("07_04_2003_090507.JPG");
const QString kExisting = QStringLiteral("c:\\Pics\\07_04_2003_090507.JPG");

// A clash between a picture on drive A: and one of the same name in C:\Pics.
struct Clash {
    Rig rig;
    QString incoming;  // host paths
    QString existing;

    Clash()
    {
        QDir(rig.c()).mkpath(QStringLiteral("Pics"));
        incoming = rig.a() + QStringLiteral("/DSC00042.JPG");
        existing = rig.c() + QStringLiteral("/Pics/07_04_2003_090507.JPG");
        rig.shared.srcFile = kIncoming;
        rig.shared.newName = kNewName;
        rig.shared.destFile = kExisting;
    }
};

// A JPEG whose EXIF orientation says "turn 90 degrees clockwise to show".
void makeTurnedJpeg(const QString &path, const QImage &stored)
{
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(stored.save(&buffer, "JPEG", 90));
    // APP1 "Exif", big-endian TIFF header, one IFD entry: Orientation (0x0112),
    // SHORT, count 1, value 6.
    const char app1[] = "\xFF\xE1\x00\x22"
                        "Exif\x00\x00"
                        "MM\x00\x2A\x00\x00\x00\x08"
                        "\x00\x01"
                        "\x01\x12\x00\x03\x00\x00\x00\x01\x00\x06\x00\x00"
                        "\x00\x00\x00\x00";
    jpeg.insert(2, QByteArray(app1, sizeof(app1) - 1));
    writeFile(path, jpeg);
}

QImage halves(int w, int h, QColor left, QColor right)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(left);
    for (int y = 0; y < h; ++y)
        for (int x = w / 2; x < w; ++x)
            img.setPixel(x, y, right.rgb());
    return img;
}

// Colour in the middle of a picture label's pixmap.
QColor middleOf(const QLabel *image)
{
    const QImage shown = image->pixmap().toImage();
    return shown.isNull() ? QColor() : QColor(shown.pixel(shown.width() / 2, shown.height() / 2));
}

bool reddish(QColor c) { return c.isValid() && c.red() > 180 && c.green() < 90 && c.blue() < 90; }
bool bluish(QColor c) { return c.isValid() && c.blue() > 180 && c.red() < 90 && c.green() < 90; }

// Shows the dialog for real and waits until it can take keys.
void open(frmDuplicate &dlg)
{
    dlg.show();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
}

void key(frmDuplicate &dlg, Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QTest::keyClick(dlg.windowHandle(), k, mods);
}

}  // namespace

class TestDuplicate : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void windowAndControls()
    {
        Clash clash;
        makeJpeg(clash.incoming, 40, 30);
        makeJpeg(clash.existing, 40, 30);
        frmDuplicate dlg(*clash.rig.services, clash.rig.shared);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Image Already Exists!!"));
        // Fixed dialog border, 7335 x 5520 twips, no minimize or maximize.
        QCOMPARE(dlg.size(), QSize(489, 368));
        QCOMPARE(dlg.minimumSize(), dlg.maximumSize());
        QVERIFY(!(dlg.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));

        QCOMPARE(child<QLabel>(&dlg, QStringLiteral("Label1"))->text(), QStringLiteral("Image already exists!"));
        QCOMPARE(child<QLabel>(&dlg, QStringLiteral("Label2"))->text(), QStringLiteral("Image being copied:"));
        QCOMPARE(child<QLabel>(&dlg, QStringLiteral("Label5"))->text(), QStringLiteral("Existing Image:"));
        QCOMPARE(child<QLabel>(&dlg, QStringLiteral("Label6"))->text(), QStringLiteral("What would you like to do?"));
        // Captions top to bottom: 0, 1, 2 beside the incoming picture, 5, 4, 3
        // beside the existing one; each value on the line of its caption.
        const int order[6] = {0, 1, 2, 5, 4, 3};
        const QString captions[3] = {QStringLiteral("Filename:"), QStringLiteral("File size:"),
                                     QStringLiteral("Date & Time:")};
        int lastTop = -1;
        for (int row = 0; row < 6; ++row) {
            const int i = order[row];
            QLabel *caption = child<QLabel>(&dlg, QStringLiteral("Label3(%1)").arg(i));
            QLabel *value = child<QLabel>(&dlg, QStringLiteral("Label4(%1)").arg(i));
            QCOMPARE(caption, dlg.Label3[i]);
            QCOMPARE(value, dlg.Label4[i]);
            QCOMPARE(caption->text(), captions[row % 3]);
            QCOMPARE(value->y(), caption->y());
            QVERIFY(caption->y() > lastTop);
            lastTop = caption->y();
        }
        QVERIFY(dlg.Label3[2]->y() < dlg.Picture2->y() && dlg.Picture2->y() <= dlg.Label3[5]->y());

        const QStringList names = {QStringLiteral("OKButton"), QStringLiteral("Command1"), QStringLiteral("Command2"),
                                   QStringLiteral("Command3"), QStringLiteral("Command4"), QStringLiteral("CancelButton")};
        const QStringList texts = {QStringLiteral("Repla&ce Existing Image"), QStringLiteral("Rena&me Image to be copied"),
                                   QStringLiteral("&Skip this image"), QStringLiteral("Re&place All"),
                                   QStringLiteral("Re&name All"), QStringLiteral("&Cancel")};
        for (int i = 0; i < names.size(); ++i) {
            QPushButton *b = child<QPushButton>(&dlg, names[i]);
            QCOMPARE(b->text(), texts[i]);
            QVERIFY(!b->isDefault());
        }

        // Opened: the focus is on Replace, and Tab walks the buttons in the
        // window's tab order.
        open(dlg);
        QCOMPARE(QApplication::focusWidget(), dlg.OKButton);
        const QList<QWidget *> chain = {dlg.CancelButton, dlg.Command1, dlg.Command2,
                                        dlg.Command3,     dlg.Command4, dlg.OKButton};
        for (QWidget *next : chain) {
            key(dlg, Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
        // Shown with no main window: in the middle of the screen.
        const QPoint centre = dlg.screen()->availableGeometry().center();
        QVERIFY((dlg.frameGeometry().center() - centre).manhattanLength() <= 40);
        dlg.close();
        QVERIFY(!dlg.isVisible());
    }

    void fitsPicturesByTheLongestSide()
    {
        // 1092 twips is 73 pixels, 546 twips 36.
        struct Case {
            QSize natural;
            QSize shown;
        };
        const Case cases[] = {
            {{400, 200}, {73, 36}},   // wide
            {{200, 400}, {36, 73}},   // tall
            {{300, 300}, {73, 73}},   // square
            {{40, 20}, {73, 36}},     // small: stretched up
            {{3000, 2000}, {73, 49}}, // 1092 / 3000 * 2000 = 728 twips
        };
        for (const Case &incoming : cases) {
            for (const Case &existing : {cases[1], cases[0]}) {
                Clash clash;
                makeJpeg(clash.incoming, incoming.natural.width(), incoming.natural.height(), {}, Qt::red);
                makeJpeg(clash.existing, existing.natural.width(), existing.natural.height(), {}, Qt::blue);
                frmDuplicate dlg(*clash.rig.services, clash.rig.shared);
                QCOMPARE(dlg.Image1->size(), incoming.shown);
                QCOMPARE(dlg.Picture1->size(), incoming.shown);
                QCOMPARE(dlg.Image3->size(), existing.shown);
                QCOMPARE(dlg.Picture2->size(), existing.shown);
                // The frames keep their top-left corner, the pictures sit in them.
                QCOMPARE(dlg.Picture1->pos(), QPoint(48, 64));
                QCOMPARE(dlg.Picture2->pos(), QPoint(48, 192));
                // Each picture in its own place.
                QVERIFY(reddish(middleOf(dlg.Image1)));
                QVERIFY(bluish(middleOf(dlg.Image3)));
            }
        }

        // The EXIF turn counts: stored wide, shown tall, left half on top.
        Clash clash;
        makeTurnedJpeg(clash.incoming, halves(400, 200, Qt::red, Qt::blue));
        makeJpeg(clash.existing, 300, 300);
        frmDuplicate dlg(*clash.rig.services, clash.rig.shared);
        QCOMPARE(dlg.Image1->size(), QSize(36, 73));
        QCOMPARE(dlg.Picture1->size(), QSize(36, 73));
        const QImage shown = dlg.Image1->pixmap().toImage();
        QVERIFY(!shown.isNull());
        QVERIFY(reddish(QColor(shown.pixel(shown.width() / 2, shown.height() / 4))));
        QVERIFY(bluish(QColor(shown.pixel(shown.width() / 2, shown.height() * 3 / 4))));
    }

    void showsNameSizeAndDateOfBothFiles()
    {
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        Clash clash;
        makeJpeg(clash.incoming, 320, 240, QDateTime(QDate(2003, 7, 4), QTime(9, 5, 7)), Qt::red);
        makeJpeg(clash.existing, 64, 48, QDateTime(QDate(2004, 1, 1), QTime(0, 0, 0)), Qt::blue);
        {
            frmDuplicate dlg(*clash.rig.services, clash.rig.shared);
            // Both names are the name the copy would get, not the diskette's.
            QCOMPARE(dlg.Label4[0]->text(), kNewName);
            QCOMPARE(dlg.Label4[5]->text(), kNewName);
            // Plain byte counts, each of its own file.
            const qint64 incomingSize = QFileInfo(clash.incoming).size();
            const qint64 existingSize = QFileInfo(clash.existing).size();
            QVERIFY(incomingSize != existingSize);
            QCOMPARE(dlg.Label4[1]->text(), QString::number(incomingSize));
            QCOMPARE(dlg.Label4[4]->text(), QString::number(existingSize));
            // Short date and long time of the locale; midnight is the date alone.
            QCOMPARE(dlg.Label4[2]->text(), QStringLiteral("04.07.03 09:05:07"));
            QCOMPARE(dlg.Label4[3]->text(), QStringLiteral("01.01.04"));
        }
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        {
            frmDuplicate dlg(*clash.rig.services, clash.rig.shared);
            QCOMPARE(dlg.Label4[2]->text(), QStringLiteral("7/4/03 9:05:07 AM"));
            QCOMPARE(dlg.Label4[3]->text(), QStringLiteral("1/1/04"));
        }
        // The general form itself: seconds and AM/PM kept, no zone name, one
        // second after midnight is not midnight.
        QCOMPARE(transfer::generalDate(QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59))),
                 QStringLiteral("12/31/99 11:59:59 PM"));
        QCOMPARE(transfer::generalDate(QDateTime(QDate(2000, 2, 29), QTime(0, 0, 1))),
                 QStringLiteral("2/29/00 12:00:01 AM"));
        QCOMPARE(transfer::generalDate(QDateTime(QDate(2000, 2, 29), QTime(0, 0, 1)), QLocale(QLocale::French, QLocale::France)),
                 QStringLiteral("29/02/2000 00:00:01"));
        QCOMPARE(transfer::generalDate(QDateTime()), QString());
        QLocale::setDefault(before);
    }

    void keys()
    {
        Clash clash;
        makeJpeg(clash.incoming, 64, 48);
        makeJpeg(clash.existing, 48, 64);
        clash.rig.shared.dupAction = QStringLiteral("Skip");  // left by an earlier clash
        {
            frmDuplicate dlg(*clash.rig.services, clash.rig.shared);
            open(dlg);
            // Esc does nothing.
            key(dlg, Qt::Key_Escape);
            QVERIFY(dlg.isVisible());
            QCOMPARE(clash.rig.shared.dupAction, QStringLiteral("Skip"));
            // Enter at once presses Replace.
            key(dlg, Qt::Key_Return);
            QVERIFY(!dlg.isVisible());
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
            QCOMPARE(clash.rig.shared.dupAction, QStringLiteral("Copy"));
            QVERIFY(!clash.rig.shared.replaceAll && !clash.rig.shared.renameAll);
        }
        {
            // Enter presses whichever button has the focus: Tab, Tab lands on
            // "Rena&me Image to be copied".
            frmDuplicate dlg(*clash.rig.services, clash.rig.shared);
            open(dlg);
            key(dlg, Qt::Key_Tab);
            key(dlg, Qt::Key_Tab);
            key(dlg, Qt::Key_Enter);
            QVERIFY(!dlg.isVisible());
            QCOMPARE(clash.rig.shared.dupAction, QStringLiteral("Rename"));
        }
        {
            // Access keys.
            frmDuplicate dlg(*clash.rig.services, clash.rig.shared);
            open(dlg);
            key(dlg, Qt::Key_S, Qt::AltModifier);
            QTRY_VERIFY_WITH_TIMEOUT(!dlg.isVisible(), 2000);  // an access key clicks with a short delay
            QCOMPARE(clash.rig.shared.dupAction, QStringLiteral("Skip"));
        }
    }

    void eachWayOn()
    {
        struct Way {
            const char *button;
            const char *action;
            bool replaceAll;
            bool renameAll;
        };
        const Way ways[] = {
            {"OKButton", "Copy", false, false},    {"Command1", "Rename", false, false},
            {"Command2", "Skip", false, false},    {"Command3", "Copy", true, false},
            {"Command4", "Rename", false, true},   {"CancelButton", "Exit", false, false},
        };
        QWidget mainWindow;
        mainWindow.setObjectName(QStringLiteral("mainWindow"));
        mainWindow.resize(200, 100);
        const QRect screenArea = mainWindow.screen()->availableGeometry();
        mainWindow.move(screenArea.center() - QPoint(100, 50));
        mainWindow.show();
        QVERIFY(QTest::qWaitForWindowExposed(&mainWindow));
        for (const Way &way : ways) {
            Clash clash;
            makeJpeg(clash.incoming, 64, 48);
            makeJpeg(clash.existing, 64, 48);
            clash.rig.shared.dupAction = QStringLiteral("earlier");
            frmDuplicate dlg(*clash.rig.services, clash.rig.shared, &mainWindow);
            open(dlg);
            // Over the main window when there is one.
            QVERIFY((dlg.frameGeometry().center() - mainWindow.frameGeometry().center()).manhattanLength() <= 40);
            QTest::mouseClick(child<QPushButton>(&dlg, QString::fromLatin1(way.button)), Qt::LeftButton);
            QVERIFY2(!dlg.isVisible(), way.button);
            QCOMPARE(clash.rig.shared.dupAction, QString::fromLatin1(way.action));
            QCOMPARE(clash.rig.shared.replaceAll, way.replaceAll);
            QCOMPARE(clash.rig.shared.renameAll, way.renameAll);
        }

        // The close box means Cancel, whatever an earlier dialog left.
        Clash clash;
        makeJpeg(clash.incoming, 64, 48);
        makeJpeg(clash.existing, 64, 48);
        clash.rig.shared.dupAction = QStringLiteral("Copy");
        // Over a main window in the screen's corner the dialog stays on the screen.
        mainWindow.move(screenArea.topLeft());
        frmDuplicate dlg(*clash.rig.services, clash.rig.shared, &mainWindow);
        open(dlg);
        QVERIFY(screenArea.contains(dlg.frameGeometry()));
        QVERIFY(dlg.close());
        QVERIFY(!dlg.isVisible());
        QCOMPARE(clash.rig.shared.dupAction, QStringLiteral("Exit"));
        QVERIFY(!clash.rig.shared.replaceAll && !clash.rig.shared.renameAll);
        mainWindow.close();
    }

    void filesThatAreNoPictures()
    {
        const QDateTime when(QDate(2005, 5, 5), QTime(5, 5, 5));
        struct Case {
            const char *what;
            std::function<void(const QString &)> make;
            QString size;  // empty: the file is not there
        };
        const Case cases[] = {
            {"text", [&](const QString &p) { writeFile(p, "not a picture", when); }, QStringLiteral("13")},
            {"empty", [&](const QString &p) { writeFile(p, QByteArray(), when); }, QStringLiteral("0")},
            {"cut short",
             [&](const QString &p) { writeFile(p, QByteArray("\xFF\xD8\xFF\xE0\x00\x10JFIF", 10), when); },
             QStringLiteral("10")},
            {"gone", [](const QString &) {}, QString()},
        };
        for (const Case &c : cases) {
            for (bool incomingBroken : {true, false}) {
                Clash clash;
                const QString broken = incomingBroken ? clash.incoming : clash.existing;
                const QString good = incomingBroken ? clash.existing : clash.incoming;
                c.make(broken);
                makeJpeg(good, 400, 200, {}, Qt::red);
                frmDuplicate dlg(*clash.rig.services, clash.rig.shared);
                QFrame *emptyFrame = incomingBroken ? dlg.Picture1 : dlg.Picture2;
                QLabel *emptyImage = incomingBroken ? dlg.Image1 : dlg.Image3;
                QLabel *goodImage = incomingBroken ? dlg.Image3 : dlg.Image1;
                // An empty frame at its starting size; the other picture as usual.
                QVERIFY2(emptyImage->pixmap().isNull(), c.what);
                QCOMPARE(emptyFrame->size(), QSize(73, 73));
                QCOMPARE(goodImage->size(), QSize(73, 36));
                QVERIFY(reddish(middleOf(goodImage)));
                // Name, and size and date when the file is there.
                QLabel *const *facts = dlg.Label4;
                const int nameAt = incomingBroken ? 0 : 5, sizeAt = incomingBroken ? 1 : 4, dateAt = incomingBroken ? 2 : 3;
                QCOMPARE(facts[nameAt]->text(), kNewName);
                QCOMPARE(facts[sizeAt]->text(), c.size);
                QCOMPARE(facts[dateAt]->text().isEmpty(), c.size.isEmpty());

                // All six ways on are offered, and they work.
                open(dlg);
                for (QPushButton *b : {dlg.OKButton, dlg.Command1, dlg.Command2, dlg.Command3, dlg.Command4,
                                       dlg.CancelButton})
                    QVERIFY2(b->isVisible() && b->isEnabled(), c.what);
                key(dlg, Qt::Key_Return);
                QVERIFY(!dlg.isVisible());
                QCOMPARE(clash.rig.shared.dupAction, QStringLiteral("Copy"));
            }
        }
    }
};

PIXFERRY_TEST_MAIN(TestDuplicate)
#include "test_duplicate.moc"
