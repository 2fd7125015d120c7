// The main window: start-up from the settings store and its folder warnings,
// the layout, the keys, the status reset and Exit, the splash; the drive
// probe, the diskette prompt and Check Disk; and one Copy Disk into a folder
// chosen through Browse and saved.

#include "app/frmsplash.h"
#include "settings/frmfolderselect.h"
#include "settings/store.h"
#include "tests/support/testkit.h"

using namespace testkit;

namespace {

const QString kNoDisk = "No Disk!", kNoImages = "No Images!";

// Fails the listing of drive A: a number of times, as a diskette taken out
// right after the probe does.
class FlakyDrive : public pf::FileSystem {
public:
    using pf::FileSystem::FileSystem;
    int failures = 0;
    pf::Result<QStringList> listFiles(const QString &folder, const QString &pattern, bool admit) override
    {
        if (failures > 0 && folder.startsWith("a:", Qt::CaseInsensitive) && failures--)
            return pf::makeError(pf::ErrDeviceUnavailable, "Device unavailable", folder);
        return pf::FileSystem::listFiles(folder, pattern, admit);
    }
};

// The counts, Preview Disk's state, the status line and the diskette folder.
QString summary(Rig &rig)
{
    const frmMain &w = *rig.window;
    return QString("%1 pictures, %2 clips, preview %3, \"%4\", %5")
        .arg(w.Label3[0]->text(), w.Label3[1]->text(), w.Command15->isEnabled() ? "on" : "off", w.Label2[0]->text(),
             rig.shared.sourcePath);
}

}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { clearSettings(); }

    // What start-up makes of the store: "Splash Screen" other than exactly
    // "False" shows the splash; "Rename" "True"/"False" sets the tick, ""
    // ticks it, anything else leaves it as the window made it; a folder is
    // shown as stored and used with its backslash.
    void loading_data()
    {
        QTest::addColumn<QStringList>("stored");  // Splash Screen, Rename, Image Folder (none: not stored)
        QTest::addColumn<QString>("loaded");      // splash shown, Check2, Check1, Text1(0), the folder used
        QTest::newRow("nothing stored") << QStringList() << "1 1 1 C:\\ C:\\";
        QTest::newRow("False, True") << QStringList{"False", "True"} << "0 0 0 C:\\ C:\\";
        QTest::newRow("false, False") << QStringList{"false", "False"} << "1 1 1 C:\\ C:\\";
        QTest::newRow("FALSE, empty") << QStringList{"FALSE", ""} << "1 1 1 C:\\ C:\\";
        QTest::newRow("False, true") << QStringList{"False", "true"} << "0 0 0 C:\\ C:\\";
        QTest::newRow("True, Yes") << QStringList{"True", "Yes"} << "1 1 0 C:\\ C:\\";
        QTest::newRow("a folder without its backslash") << QStringList{"False", "True", "C:\\Pics"}
                                                         << "0 0 0 C:\\Pics C:\\Pics\\";
    }
    void loading()
    {
        QFETCH(QStringList, stored);
        const QString keys[] = {settings::kSplashScreen, settings::kRename, settings::kImageFolder};
        for (int i = 0; i < stored.size(); ++i)
            storeSetting(keys[i], stored[i]);
        Rig rig;
        QDir(rig.c()).mkpath("Pics");
        frmMain &w = rig.openMain();
        QTEST(QString("%1 %2 %3 %4 %5").arg(rig.prompt.modals.contains("frmSplash")).arg(w.Check2->isChecked())
                  .arg(w.Check1->isChecked()).arg(w.Text1[0]->text(), rig.shared.imageFolder), "loaded");
        QCOMPARE(w.Text1[1]->text() + " " + rig.shared.videoFolder, "C:\\ C:\\");
        QCOMPARE(rig.prompt.boxes.size(), 0);
        QCOMPARE(w.Command10->isEnabled(), false);
        QCOMPARE(w.Command11->isEnabled(), false);
        QCOMPARE(w.SSTab1->currentIndex(), 0);
        QCOMPARE(w.Label2[0]->text(), "Status: Ready to Copy");
        // Nothing but the splash choice is written.
        QCOMPARE(storedSetting(settings::kImageFolder), stored.value(2));
        QCOMPARE(storedSetting(settings::kRename), stored.value(1));
    }

    // A missing folder is said at start-up, image folder first; a drive
    // that is not ready counts as missing; the window then opens as usual.
    void folderWarnings_data()
    {
        QTest::addColumn<QString>("image");
        QTest::addColumn<QStringList>("made");
        QTest::addColumn<QStringList>("said");
        const QString image = "The specified image folder does not exist.  Please check the options tab!";
        const QString video = "The specified video folder does not exist.  Please check the options tab!";
        QTest::newRow("the image folder") << "C:\\Pics\\" << QStringList{"Clips"} << QStringList{image};
        QTest::newRow("both") << "C:\\Pics\\" << QStringList() << QStringList{image, video};
        QTest::newRow("a drive not ready") << "E:\\" << QStringList{"Clips"} << QStringList{image};
    }
    void folderWarnings()
    {
        QFETCH(QString, image);
        QFETCH(QStringList, made);
        clearSettings(false);
        storeSetting(settings::kImageFolder, image);
        storeSetting(settings::kVideoFolder, "C:\\Clips\\");
        Rig rig;
        rig.drives.makeNotReady('E');
        rig.rebuildServices();
        for (const QString &folder : made)
            QDir(rig.c()).mkpath(folder);
        frmMain &w = rig.openMain();
        QTEST(rig.prompt.texts(), "said");
        QCOMPARE(rig.prompt.boxes.first().title, "Corvanta");
        QCOMPARE(rig.prompt.boxes.first().buttons, pf::MbOk);
        QCOMPARE(rig.shared.imageFolder, image);
        QCOMPARE(w.Command10->isEnabled(), false);
        QCOMPARE(storedSetting(settings::kImageFolder), image);
    }

    void layoutAndCaptions()
    {
        Rig rig;
        frmMain &w = rig.openMain(false);
        QCOMPARE(w.size(), QSize(322, 274));
        QCOMPARE(w.windowTitle(), "Corvanta");
        QCOMPARE(w.SSTab1->tabBar()->tabText(0) + w.SSTab1->tabBar()->tabText(1) + w.SSTab1->tabBar()->tabText(2),
                 "Cop&y&Options&About");
        QCOMPARE(child<QGroupBox>(&w, "Frame1")->title(), " Disk Summary ");
        QCOMPARE(child<QPushButton>(&w, "Command1")->geometry(), QRect(144, 64, 113, 25));
        QCOMPARE(child<QPushButton>(&w, "Command6")->text(), "E&xit (ESC)");
        QCOMPARE(child<QCheckBox>(&w, "Check1")->text(), "Keep original  filenames");
        QCOMPARE(child<QLabel>(&w, "Label2(0)")->geometry(), QRect(24, 0, 193, 17));
        // Tab order: Check Disk, Preview Disk, Copy Disk, Exit.
        QCOMPARE(w.Command12->nextInFocusChain(), static_cast<QWidget *>(w.Command15));
        QCOMPARE(w.Command15->nextInFocusChain(), static_cast<QWidget *>(w.Command1));
        QCOMPARE(w.Command1->nextInFocusChain(), static_cast<QWidget *>(w.Command6));
    }

    // Shift+F1 acts as F1; the status reset is one-shot; other keys do
    // nothing; ESC closes even with the Options tab in front; so does Exit,
    // asking nothing.
    void keysStatusAndExit()
    {
        clearSettings(false);
        Rig rig;
        makeJpeg(rig.a() + "/PIC00001.JPG", 64, 48);
        frmMain &w = rig.openMain();
        w.show();
        QApplication::setActiveWindow(&w);
        w.Command12->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1, Qt::ShiftModifier);
        QCOMPARE(summary(rig), "1 pictures, 0 clips, preview on, \"Status: Disk Check Complete\", a:\\");
        QCOMPARE(w.Timer2->isActive(), true);
        QCOMPARE(w.Timer2->interval(), 5000);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w.SSTab1->tabBar()));  // SSTab1's focus proxy
        w.Timer2_Timer();
        QCOMPARE(w.Label2[0]->text(), "Status: Ready to Copy");
        QCOMPARE(w.Timer2->isActive(), false);
        w.SSTab1->setCurrentIndex(1);
        QCOMPARE(w.Command6->isEnabled(), false);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F5);
        QCOMPARE(w.isVisible(), true);
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &w, Qt::Key_Escape);
        QCOMPARE(w.isVisible(), false);
        frmMain &again = rig.openMain();
        again.show();
        QTest::mouseClick(again.Command6, Qt::LeftButton);
        QCOMPARE(again.isVisible(), false);
        QCOMPARE(rig.prompt.boxes.size(), 0);
    }

    void splashClosesOnlyByItsTimer()
    {
        frmSplash splash;
        QCOMPARE(splash.size(), QSize(541, 327));
        QCOMPARE(bool(splash.windowFlags() & Qt::FramelessWindowHint), true);
        QCOMPARE(splash.Timer1->interval(), 3000);
        QCOMPARE(splash.Timer1->isActive(), true);
        QCOMPARE(splash.Label1->text(), "Version 1.0");
        QCOMPARE(splash.Image1->pixmap().isNull(), false);
        splash.show();
        QTest::keyClick(&splash, Qt::Key_Escape);
        QTest::keyClick(&splash, Qt::Key_Return);
        QTest::mouseClick(splash.Image1, Qt::LeftButton);
        splash.close();
        QCOMPARE(splash.isVisible(), true);
        splash.Timer1->start(10);  // its own tick closes it, here sooner than in 3000 ms
        QTRY_COMPARE_WITH_TIMEOUT(splash.isVisible(), false, 2000);
    }

    // The probe: "No Floppy" when drive A: cannot be selected, "No Images"
    // when its root holds neither a picture nor a clip.
    void probe_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("found");
        QTest::newRow("empty") << QStringList() << "No Images";
        QTest::newRow("pictures only below, hidden or not pictures")
            << QStringList{"DCIM/PIC1.JPG", ".hidden.jpg", "notes.txt", "X.411"} << "No Images";
        QTest::newRow("a clip alone") << QStringList{"CLIP0001.MPG"} << "";
        QTest::newRow("a picture in small letters") << QStringList{"pic.jpg"} << "";
        QTest::newRow("no drive A:") << QStringList{"unmapped"} << "No Floppy";
        QTest::newRow("its folder missing") << QStringList{"missing"} << "No Floppy";
    }
    void probe()
    {
        QFETCH(QStringList, files);
        Rig rig;
        QDir(rig.a()).mkpath("DCIM");
        for (const QString &f : files)
            writeFile(rig.a() + '/' + f, "x");
        if (files == QStringList{"unmapped"})
            rig.drives.unmap('A');
        else if (files == QStringList{"missing"})
            rig.drives.makeNotReady('A');
        rig.rebuildServices();
        QTEST(rig.openMain(false).chkDrive(), "found");
    }

    // Check Disk counts the root's pictures and clips in either letter
    // case (not hidden ones), keeps the index files apart, enables Preview
    // Disk only for pictures, and starts the status reset.
    void checkDiskCounts()
    {
        Rig rig;
        frmMain &w = rig.openMain();
        for (const char *f : {"CLIP0001.MPG", "clip0002.mpg"})
            writeFile(rig.a() + '/' + f, "m");
        w.Command12_Click();
        QCOMPARE(summary(rig), "0 pictures, 2 clips, preview off, \"Status: Disk Check Complete\", a:\\");
        QCOMPARE(w.Timer2->isActive(), true);
        for (const char *f : {"PIC00001.JPG", "pic00002.jpg"})
            makeJpeg(rig.a() + '/' + f, 8, 8);
        writeFile(rig.a() + "/.PIC00003.JPG", "x");
        writeFile(rig.a() + "/X.411", "x");
        w.Command12_Click();
        QCOMPARE(w.refreshFileLists().ok(), true);  // a second refresh changes nothing
        QCOMPARE(summary(rig), "2 pictures, 2 clips, preview on, \"Status: Disk Check Complete\", a:\\");
        QCOMPARE(w.File1.entries(), (QStringList{"PIC00001.JPG", "pic00002.jpg"}));
        QCOMPARE(w.File3.entries(), QStringList{"X.411"});
        QCOMPARE(rig.prompt.boxes.size(), 0);
    }

    // No diskette; at "No Disk!" an empty one goes in, at "No Images!" a
    // good one: each probe picks the next box. Cancel later keeps what the
    // window showed.
    void promptChain()
    {
        Rig rig;
        const QString floppy = rig.a();
        rig.drives.makeNotReady('A');
        rig.rebuildServices();
        frmMain &w = rig.openMain();
        rig.prompt.answers = {pf::AnsOk, pf::AnsOk};
        rig.prompt.fallback = pf::AnsCancel;  // a box more than expected ends the check, not the test run
        rig.prompt.onBox = [&](const ShownBox &box) {
            if (box.title == kNoDisk) {
                rig.services->fs->drives().setDrive('A', floppy);
            } else {
                writeFile(floppy + "/CLIP.MPG", "m");
                makeJpeg(floppy + "/PIC2.JPG", 8, 8);
            }
        };
        w.Command12_Click();
        QCOMPARE(rig.prompt.titles(), (QStringList{kNoDisk, kNoImages}));
        QCOMPARE(rig.prompt.texts(), (QStringList{"Please insert a disk with images or video clips.",
                                                  "The inserted disk does not contain any image files or video clips.  "
                                                  "Please insert a disk with images or video clips."}));
        QCOMPARE(rig.prompt.boxes[0].buttons, pf::MbOkCancel);
        QCOMPARE(summary(rig), "1 pictures, 1 clips, preview on, \"Status: Disk Check Complete\", a:\\");

        rig.prompt.onBox = nullptr;
        rig.prompt.answers = {pf::AnsCancel};
        QFile::remove(floppy + "/CLIP.MPG");
        QFile::remove(floppy + "/PIC2.JPG");
        w.Timer2_Timer();
        w.Command12_Click();
        QCOMPARE(rig.prompt.titles().last(), kNoImages);
        QCOMPARE(summary(rig), "1 pictures, 1 clips, preview on, \"Status: Ready to Copy\", a:\\");
    }

    // The probe says usable, the listing fails: "No Disk!", never a crash;
    // OK tries again and the diskette reads; Cancel ends the check quietly.
    void driveFailsAfterProbe()
    {
        Rig rig;
        auto flaky = std::make_unique<FlakyDrive>(rig.drives.map());
        FlakyDrive &drive = *flaky;
        rig.rebuildServices(std::move(flaky));
        frmMain &w = rig.openMain();
        makeJpeg(rig.a() + "/PIC1.JPG", 8, 8);
        drive.failures = 1;
        w.Command12_Click();
        QCOMPARE(rig.prompt.titles(), QStringList{kNoDisk});
        QCOMPARE(summary(rig), "1 pictures, 0 clips, preview on, \"Status: Disk Check Complete\", a:\\");
        drive.failures = 1;
        rig.prompt.answers = {pf::AnsCancel};
        w.Label2[0]->setText("before");
        w.Command12_Click();
        QCOMPARE(rig.prompt.titles(), (QStringList{kNoDisk, kNoDisk}));
        QCOMPARE(w.Label2[0]->text(), "before");
    }

    // End to end: a folder chosen through Browse and saved is where the next
    // Copy Disk (F3) puts the pictures, under date-time names; the clips go
    // to the video folder start-up read.
    void browseSaveThenCopy()
    {
        clearSettings(false);
        Rig rig;
        QDir(rig.c()).mkpath("Photos/2003");
        makeJpeg(rig.a() + "/PIC00001.JPG", 64, 48, QDateTime({2003, 7, 4}, {9, 5, 7}));
        writeFile(rig.a() + "/CLIP0001.MPG", "clip");
        frmMain &w = rig.openMain();
        w.SSTab1->setCurrentIndex(1);
        rig.prompt.onModal = [](QDialog &d) {
            auto &picker = static_cast<frmFolderSelect &>(d);
            picker.show();
            for (const char *name : {"Photos", "2003"})
                QTest::mouseDClick(picker.Dir1->viewport(), Qt::LeftButton, {},
                                   picker.Dir1->visualItemRect(picker.Dir1->entry(name)).center());
            QTest::mouseClick(picker.OKButton, Qt::LeftButton);
        };
        QTest::mouseClick(w.Command7, Qt::LeftButton);
        QCOMPARE(w.Text1[0]->text(), "C:\\Photos\\2003\\");
        w.Check1->setChecked(false);
        QTest::mouseClick(w.Command10, Qt::LeftButton);
        QCOMPARE(storedSetting(settings::kImageFolder), "C:\\Photos\\2003\\");
        QCOMPARE(storedSetting(settings::kRename), "True");
        rig.prompt.answers = {pf::AnsNo};
        w.Form_KeyDown(114, 0);  // F3
        QCOMPARE(readFile(rig.c() + "/Photos/2003/07_04_2003_090507.JPG"), readFile(rig.a() + "/PIC00001.JPG"));
        QCOMPARE(readFile(rig.c() + "/CLIP0001.MPG"), "clip");
        QCOMPARE(entries(rig.a()).size(), 2);
        QCOMPARE(w.Label2[0]->text(), "Operation completed.");
    }
};

PIXFERRY_TEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
