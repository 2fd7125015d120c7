// Start-up from the settings store, the folder warnings, the keys, the
// status reset and Exit.

#include "app/frmsplash.h"
#include "tests/support/testkit.h"

#include <QDir>

using namespace testkit;

namespace {
const QString kImageWarning = QStringLiteral("The specified image folder does not exist.  Please check the options tab!");
const QString kVideoWarning = QStringLiteral("The specified video folder does not exist.  Please check the options tab!");
}  // namespace

class TestStartup : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { clearSettings(); }

    void loadingRules()
    {
        {
            // Empty store: splash, defaults, nothing but the splash choice written.
            Rig rig;
            frmMain &w = rig.openMain();
            QCOMPARE(rig.prompt.modals, QStringList{QStringLiteral("frmSplash")});
            QVERIFY(w.Check2->isChecked());
            QCOMPARE(w.Text1[0]->text(), QStringLiteral("C:\\"));
            QCOMPARE(w.Text1[1]->text(), QStringLiteral("C:\\"));
            QCOMPARE(rig.shared.imageFolder, QStringLiteral("C:\\"));
            QCOMPARE(rig.shared.videoFolder, QStringLiteral("C:\\"));
            QVERIFY(w.Check1->isChecked());
            QVERIFY(!w.Command10->isEnabled());
            QVERIFY(!w.Command11->isEnabled());
            QVERIFY(rig.prompt.boxes.isEmpty());
            QCOMPARE(storedSetting(QStringLiteral("Image Folder")), QString());
            QCOMPARE(storedSetting(QStringLiteral("Video Folder")), QString());
            QCOMPARE(storedSetting(QStringLiteral("Rename")), QString());
            QCOMPARE(w.SSTab1->currentIndex(), 0);
            QCOMPARE(w.Label2[0]->text(), QStringLiteral("Status: Ready to Copy"));
        }
        struct Case {
            const char *splash, *rename;
            bool splashShown, keepNames;
        };
        // "False" is compared exactly; "Rename" other than "True"/"False"/""
        // leaves the box as the window made it (cleared).
        const Case cases[] = {
            {"False", "True", false, false}, {"false", "False", true, true}, {"FALSE", "", true, true},
            {"False", "true", false, false}, {"True", "Yes", true, false},
        };
        for (const Case &c : cases) {
            clearSettings();
            storeSetting(QStringLiteral("Splash Screen"), QString::fromLatin1(c.splash));
            storeSetting(QStringLiteral("Rename"), QString::fromLatin1(c.rename));
            Rig rig;
            frmMain &w = rig.openMain();
            QCOMPARE(rig.prompt.modals.contains(QStringLiteral("frmSplash")), c.splashShown);
            QCOMPARE(w.Check2->isChecked(), c.splashShown);
            QCOMPARE(w.Check1->isChecked(), c.keepNames);
            QVERIFY(!w.Command10->isEnabled());
        }

        // A stored folder without its trailing backslash: shown as stored,
        // used with the backslash.
        clearSettings();
        storeSetting(QStringLiteral("Splash Screen"), QStringLiteral("False"));
        storeSetting(QStringLiteral("Image Folder"), QStringLiteral("C:\\Pics"));
        storeSetting(QStringLiteral("Video Folder"), QStringLiteral("C:\\Clips\\"));
        Rig rig;
        QDir(rig.c()).mkpath(QStringLiteral("Pics"));
        QDir(rig.c()).mkpath(QStringLiteral("Clips"));
        frmMain &w = rig.openMain();
        QCOMPARE(w.Text1[0]->text(), QStringLiteral("C:\\Pics"));
        QCOMPARE(rig.shared.imageFolder, QStringLiteral("C:\\Pics\\"));
        QCOMPARE(rig.shared.videoFolder, QStringLiteral("C:\\Clips\\"));
        QVERIFY(rig.prompt.boxes.isEmpty());
    }

    void folderWarnings()
    {
        storeSetting(QStringLiteral("Splash Screen"), QStringLiteral("False"));
        storeSetting(QStringLiteral("Image Folder"), QStringLiteral("C:\\Pics\\"));
        storeSetting(QStringLiteral("Video Folder"), QStringLiteral("C:\\Clips\\"));
        {
            // Image folder only.
            Rig rig;
            QDir(rig.c()).mkpath(QStringLiteral("Clips"));
            rig.openMain();
            QCOMPARE(rig.prompt.texts(), QStringList{kImageWarning});
            QCOMPARE(rig.prompt.boxes.first().title, QStringLiteral("Corvanta"));
            QCOMPARE(rig.prompt.boxes.first().buttons, pf::MbOk);
        }
        {
            // Both, image first; the window then opens as usual.
            Rig rig;
            frmMain &w = rig.openMain();
            QCOMPARE(rig.prompt.texts(), (QStringList{kImageWarning, kVideoWarning}));
            QVERIFY(!w.Command10->isEnabled());
            QCOMPARE(storedSetting(QStringLiteral("Image Folder")), QStringLiteral("C:\\Pics\\"));
        }
        {
            // A drive that is not ready counts as missing; start-up goes on.
            storeSetting(QStringLiteral("Image Folder"), QStringLiteral("E:\\"));
            Rig rig;
            rig.drives.makeNotReady('E');
            rig.rebuildServices();
            QDir(rig.c()).mkpath(QStringLiteral("Clips"));
            frmMain &w = rig.openMain();
            QCOMPARE(rig.prompt.texts(), QStringList{kImageWarning});
            QCOMPARE(rig.shared.imageFolder, QStringLiteral("E:\\"));
            QVERIFY(!w.Command11->isEnabled());
        }
    }

    void keysStatusAndExit()
    {
        storeSetting(QStringLiteral("Splash Screen"), QStringLiteral("False"));
        Rig rig;
        makeJpeg(rig.a() + QStringLiteral("/PIC00001.JPG"), 64, 48);
        frmMain &w = rig.openMain();
        w.show();
        QApplication::setActiveWindow(&w);
        w.Command12->setFocus();

        // Shift+F1 acts as F1: Check Disk runs and the status shows.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1, Qt::ShiftModifier);
        QCOMPARE(w.Label2[0]->text(), QStringLiteral("Status: Disk Check Complete"));
        QCOMPARE(w.Label3[0]->text(), QStringLiteral("1"));
        QVERIFY(w.Timer2->isActive());
        QCOMPARE(w.Timer2->interval(), 5000);
        QVERIFY(w.SSTab1->hasFocus() || w.SSTab1->tabBar()->hasFocus());

        // The status reset is one-shot.
        w.Timer2_Timer();
        QCOMPARE(w.Label2[0]->text(), QStringLiteral("Status: Ready to Copy"));
        QVERIFY(!w.Timer2->isActive());

        // Other keys do nothing; ESC closes while the Options tab is in front.
        w.SSTab1->setCurrentIndex(1);
        QVERIFY(!w.Command6->isEnabled());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F5);
        QVERIFY(w.isVisible());
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &w, Qt::Key_Escape);
        QVERIFY(!w.isVisible());

        // Exit closes too, and nothing is asked.
        Rig again;
        frmMain &w2 = again.openMain();
        w2.show();
        QTest::mouseClick(w2.Command6, Qt::LeftButton);
        QVERIFY(!w2.isVisible());
        QVERIFY(again.prompt.boxes.isEmpty());
    }

    void splashClosesOnlyByItsTimer()
    {
        frmSplash splash;
        QCOMPARE(splash.size(), QSize(541, 327));
        QVERIFY(splash.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(splash.Timer1->interval(), 3000);
        QVERIFY(splash.Timer1->isActive());
        QCOMPARE(splash.Label1->text(), QStringLiteral("Version 1.0"));
        QVERIFY(!splash.Image1->pixmap().isNull());
        splash.show();
        QTest::keyClick(&splash, Qt::Key_Escape);
        QTest::keyClick(&splash, Qt::Key_Return);
        QTest::mouseClick(splash.Image1, Qt::LeftButton);
        splash.close();
        QVERIFY(splash.isVisible());
        // Its own tick closes it (here sooner than the real 3000 ms).
        splash.Timer1->start(10);
        QTRY_VERIFY_WITH_TIMEOUT(!splash.isVisible(), 2000);
    }

    void layoutAndCaptions()
    {
        storeSetting(QStringLiteral("Splash Screen"), QStringLiteral("False"));
        Rig rig;
        frmMain &w = rig.openMain();
        QCOMPARE(w.size(), QSize(322, 274));
        QCOMPARE(w.windowTitle(), QStringLiteral("Corvanta"));
        QCOMPARE(w.SSTab1->tabBar()->tabText(0), QStringLiteral("Cop&y"));
        QCOMPARE(w.SSTab1->tabBar()->tabText(1), QStringLiteral("&Options"));
        QCOMPARE(w.SSTab1->tabBar()->tabText(2), QStringLiteral("&About"));
        QCOMPARE(child<QGroupBox>(&w, QStringLiteral("Frame1"))->title(), QStringLiteral(" Disk Summary "));
        QCOMPARE(child<QPushButton>(&w, QStringLiteral("Command1"))->geometry(), QRect(144, 64, 113, 25));
        QCOMPARE(child<QPushButton>(&w, QStringLiteral("Command6"))->text(), QStringLiteral("E&xit (ESC)"));
        QCOMPARE(child<QCheckBox>(&w, QStringLiteral("Check1"))->text(), QStringLiteral("Keep original  filenames"));
        QCOMPARE(child<QLabel>(&w, QStringLiteral("Label2(0)"))->geometry(), QRect(24, 0, 193, 17));
        // Tab order: Check Disk, Preview Disk, Copy Disk, Exit.
        QCOMPARE(w.Command12->nextInFocusChain(), static_cast<QWidget *>(w.Command15));
        QCOMPARE(w.Command15->nextInFocusChain(), static_cast<QWidget *>(w.Command1));
        QCOMPARE(w.Command1->nextInFocusChain(), static_cast<QWidget *>(w.Command6));
    }
};

PIXFERRY_TEST_MAIN(TestStartup)
#include "test_startup.moc"
