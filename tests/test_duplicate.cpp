// The clash dialog: both pictures fitted and framed, the facts of both files, the keys and the ways on.

#include "transfer/datetext.h"
#include "transfer/frmduplicate.h"
#include "tests/support/testkit.h"

#include <QScreen>

using namespace testkit;

namespace {

const QString kNewName = QStringLiteral("07_04_2003_090507.JPG");
// A clash between a red picture on drive A: and a blue one of the same name in C:\Pics.
struct Clash {
    Rig rig;
    QString incoming = rig.a() + QStringLiteral("/DSC00042.JPG");  // host paths
    QString existing = rig.c() + QStringLiteral("/Pics/") + kNewName;
    explicit Clash(QSize in = {64, 48}, QSize ex = {64, 48})
    {
        QDir(rig.c()).mkpath(QStringLiteral("Pics"));
        makeJpeg(incoming, in.width(), in.height(), {}, Qt::red);
        makeJpeg(existing, ex.width(), ex.height(), {}, Qt::blue);
        rig.shared.srcFile = QStringLiteral("a:\\DSC00042.JPG");
        rig.shared.newName = kNewName;
        rig.shared.destFile = QStringLiteral("c:\\Pics\\") + kNewName;
    }
};

// 'r' or 'b' when the middle of a picture label's pixmap is clearly red or blue.
char middleHue(const QLabel *image)
{
    const QImage shown = image->pixmap().toImage();
    const QColor c = shown.isNull() ? QColor(Qt::gray) : QColor(shown.pixel(shown.rect().center()));
    return c.red() > 180 && c.green() < 90 && c.blue() < 90 ? 'r' : c.blue() > 180 && c.red() < 90 && c.green() < 90 ? 'b' : '?';
}

// Name, size and date shown for the incoming (values 0, 1, 2) or the existing file (5, 4, 3).
QStringList facts(const frmDuplicate &dlg, bool in)
{
    return {dlg.Label4[in ? 0 : 5]->text(), dlg.Label4[in ? 1 : 4]->text(), dlg.Label4[in ? 2 : 3]->text()};
}

// Shows a window for real and waits until it can take keys.
void open(QWidget &w) { w.show(); QVERIFY(QTest::qWaitForWindowActive(&w)); }
void key(frmDuplicate &dlg, Qt::Key k) { QTest::keyClick(dlg.windowHandle(), k); }

}  // namespace

class TestDuplicate : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void windowAndControls()
    {
        Clash clash;
        frmDuplicate dlg(*clash.rig.services, clash.rig.shared);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Image Already Exists!!"));
        // Fixed dialog border, 7335 x 5520 twips, no minimize or maximize.
        QVERIFY(dlg.size() == QSize(489, 368) && dlg.minimumSize() == dlg.maximumSize());
        QVERIFY(!(dlg.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        const char *texts[][2] = {
            {"Label1", "Image already exists!"}, {"Label2", "Image being copied:"}, {"Label5", "Existing Image:"},
            {"Label6", "What would you like to do?"}, {"OKButton", "Repla&ce Existing Image"},
            {"Command1", "Rena&me Image to be copied"}, {"Command2", "&Skip this image"}, {"Command3", "Re&place All"},
            {"Command4", "Re&name All"}, {"CancelButton", "&Cancel"}};
        for (const auto &[name, text] : texts)
            QCOMPARE(child<QWidget>(&dlg, QLatin1String(name))->property("text").toString(), QString::fromUtf8(text));
        for (QPushButton *b : dlg.findChildren<QPushButton *>())  // Enter presses the focused button
            QVERIFY2(!b->isDefault(), qPrintable(b->objectName()));
        // Captions top to bottom: 0, 1, 2 by the incoming picture, 5, 4, 3 by the existing; values on their lines.
        const QString captions[3] = {QStringLiteral("Filename:"), QStringLiteral("File size:"), QStringLiteral("Date & Time:")};
        int lastTop = -1, row = 0;
        for (int i : {0, 1, 2, 5, 4, 3}) {
            QLabel *caption = child<QLabel>(&dlg, QStringLiteral("Label3(%1)").arg(i));
            QCOMPARE(caption->text(), captions[row++ % 3]);
            QCOMPARE(child<QLabel>(&dlg, QStringLiteral("Label4(%1)").arg(i))->y(), caption->y());
            QVERIFY(std::exchange(lastTop, caption->y()) < caption->y());
        }
        QVERIFY(dlg.Label3[2]->y() < dlg.Picture2->y() && dlg.Picture2->y() <= dlg.Label3[5]->y());
        // Opened: focus on Replace, Tab walks the buttons in tab order; with no main window, mid-screen.
        open(dlg);
        QCOMPARE(QApplication::focusWidget(), dlg.OKButton);
        for (QWidget *next : {dlg.CancelButton, dlg.Command1, dlg.Command2, dlg.Command3, dlg.Command4, dlg.OKButton}) {
            key(dlg, Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
        QVERIFY((dlg.frameGeometry().center() - dlg.screen()->availableGeometry().center()).manhattanLength() <= 40);
    }

    void fitsPicturesByTheLongestSide()
    {
        // Natural size, size shown: 1092 twips is 73 pixels; 1092 / 3000 * 2000 = 728 twips.
        const QSize cases[][2] = {{{400, 200}, {73, 36}}, {{200, 400}, {36, 73}}, {{300, 300}, {73, 73}},
                                  {{40, 20}, {73, 36}} /* stretched up */, {{3000, 2000}, {73, 49}}};
        for (int i = 0; i < 5; ++i) {
            const QSize *in = cases[i], *ex = cases[(i + 1) % 5];
            Clash clash(in[0], ex[0]);
            frmDuplicate dlg(*clash.rig.services, clash.rig.shared);
            QCOMPARE(QList<QSize>({dlg.Image1->size(), dlg.Picture1->size(), dlg.Image3->size(), dlg.Picture2->size()}),
                     QList<QSize>({in[1], in[1], ex[1], ex[1]}));
            // The frames keep their top-left corner; each picture in its own place.
            QVERIFY(dlg.Picture1->pos() == QPoint(48, 64) && dlg.Picture2->pos() == QPoint(48, 192));
            QCOMPARE(QByteArray(1, middleHue(dlg.Image1)) + middleHue(dlg.Image3), QByteArray("rb"));
        }
        // The EXIF turn counts (APP1 "Exif", big-endian TIFF, one entry: Orientation, value 6): shown tall.
        Clash clash({400, 200});
        const char app1[] = "\xFF\xE1\x00\x22" "Exif\x00\x00" "MM\x00\x2A\x00\x00\x00\x08" "\x00\x01"
                            "\x01\x12\x00\x03\x00\x00\x00\x01\x00\x06\x00\x00" "\x00\x00\x00\x00";
        writeFile(clash.incoming, readFile(clash.incoming).insert(2, QByteArray(app1, sizeof(app1) - 1)));
        frmDuplicate dlg(*clash.rig.services, clash.rig.shared);
        QVERIFY(dlg.Image1->size() == QSize(36, 73) && dlg.Picture1->size() == QSize(36, 73));
        QCOMPARE(middleHue(dlg.Image1), 'r');
    }

    void showsNameSizeAndDateOfBothFiles()
    {
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        Clash clash;
        makeJpeg(clash.incoming, 320, 240, QDateTime(QDate(2003, 7, 4), QTime(9, 5, 7)), Qt::red);
        makeJpeg(clash.existing, 64, 48, QDateTime(QDate(2004, 1, 1), QTime(0, 0, 0)), Qt::blue);
        // Both names as the copy would get; each file's byte count; the locale's short date, long time.
        const auto size = [](const QString &path) { return QString::number(QFileInfo(path).size()); };
        frmDuplicate de(*clash.rig.services, clash.rig.shared);
        QCOMPARE(facts(de, true), QStringList({kNewName, size(clash.incoming), "04.07.03 09:05:07"}));
        QCOMPARE(facts(de, false), QStringList({kNewName, size(clash.existing), "01.01.04"}));
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        frmDuplicate us(*clash.rig.services, clash.rig.shared);
        QCOMPARE(facts(us, true).last() + " / " + facts(us, false).last(), QStringLiteral("7/4/03 9:05:07 AM / 1/1/04"));
        // Seconds and AM/PM kept; one second after midnight is not midnight.
        QCOMPARE(transfer::generalDate(QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59))), QString("12/31/99 11:59:59 PM"));
        QCOMPARE(transfer::generalDate(QDateTime(QDate(2000, 2, 29), QTime(0, 0, 1))), QString("2/29/00 12:00:01 AM"));
        QLocale::setDefault(before);
    }

    // Every way out of the dialog, each after an Esc that does nothing; the dialog over the main window.
    void eachWayOn()
    {
        const char *ways[][2] = {
            {"OKButton", "Copy"}, {"Command1", "Rename"}, {"Command2", "Skip"}, {"Command3", "Copy+ReplaceAll"},
            {"Command4", "Rename+RenameAll"}, {"CancelButton", "Exit"}, {"close box", "Exit"},
            {"Return", "Copy"},            // Enter with fresh focus presses Replace...
            {"Tab, Tab, Enter", "Rename"}, // ...or whichever button has the focus
            {"Alt+S", "Skip"}};            // access keys click after a short delay
        QWidget mainWindow;
        const QRect screenArea = mainWindow.screen()->availableGeometry();
        mainWindow.setGeometry(QRect(screenArea.center() - QPoint(100, 50), QSize(200, 100)));
        open(mainWindow);
        for (const auto &[how, want] : ways) {
            Clash clash;
            Module1 &m = clash.rig.shared;
            m.dupAction = QStringLiteral("earlier");
            frmDuplicate dlg(*clash.rig.services, m, &mainWindow);
            open(dlg);
            QVERIFY((dlg.frameGeometry().center() - mainWindow.frameGeometry().center()).manhattanLength() <= 40);
            key(dlg, Qt::Key_Escape);
            QVERIFY(dlg.isVisible() && m.dupAction == QStringLiteral("earlier"));
            if (auto *b = dlg.findChild<QPushButton *>(QLatin1String(how)))
                QTest::mouseClick(b, Qt::LeftButton);
            else
                how[0] == 'c' ? void(dlg.close()) : QTest::keySequence(dlg.windowHandle(), QKeySequence(QLatin1String(how)));
            QTRY_VERIFY2_WITH_TIMEOUT(!dlg.isVisible(), how, 2000);
            QCOMPARE(m.dupAction + (m.replaceAll ? "+ReplaceAll" : "") + (m.renameAll ? "+RenameAll" : ""), QLatin1String(want));
        }
        // Over a main window in the screen's corner the dialog stays on the screen.
        mainWindow.move(screenArea.topLeft());
        Clash clash;
        frmDuplicate dlg(*clash.rig.services, clash.rig.shared, &mainWindow);
        open(dlg);
        QVERIFY(screenArea.contains(dlg.frameGeometry()));
    }

    // Text, empty, cut short, gone: an empty frame, the other picture as usual, the facts there are, six buttons.
    void filesThatAreNoPictures()
    {
        const QDateTime when(QDate(2005, 5, 5), QTime(5, 5, 5));
        const std::optional<QByteArray> contents[] = {QByteArray("not a picture"), QByteArray(),
                                                      QByteArray("\xFF\xD8\xFF\xE0\x00\x10JFIF", 10), std::nullopt};
        for (const auto &content : contents) {
            for (bool brokenIn : {true, false}) {
                Clash clash({400, 200}, {400, 200});
                const QString broken = brokenIn ? clash.incoming : clash.existing;
                content ? writeFile(broken, *content, when) : void(QFile::remove(broken));
                frmDuplicate dlg(*clash.rig.services, clash.rig.shared);
                QVERIFY((brokenIn ? dlg.Image1 : dlg.Image3)->pixmap().isNull());
                QCOMPARE((brokenIn ? dlg.Picture1 : dlg.Picture2)->size(), QSize(73, 73));
                QLabel *good = brokenIn ? dlg.Image3 : dlg.Image1;
                QVERIFY(good->size() == QSize(73, 36) && middleHue(good) == (brokenIn ? 'b' : 'r'));
                const QString size = content ? QString::number(content->size()) : QString();
                QCOMPARE(facts(dlg, brokenIn), QStringList({kNewName, size, content ? transfer::generalDate(when) : QString()}));
                open(dlg);
                for (QPushButton *b : {dlg.OKButton, dlg.Command1, dlg.Command2, dlg.Command3, dlg.Command4, dlg.CancelButton})
                    QVERIFY(b->isVisible() && b->isEnabled());
            }
        }
    }
};

PIXFERRY_TEST_MAIN(TestDuplicate)
#include "test_duplicate.moc"
