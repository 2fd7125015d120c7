// The main window: start-up from the settings store and its folder warnings,
// the captions, the keys and Exit, the splash; Check Disk and the diskette
// prompt. Copy Disk has test_copy.cpp, the Options tab test_options.cpp.

#include "app/frmsplash.h"
#include "settings/store.h"
#include "tests/support/testkit.h"

#include <sys/stat.h>

using namespace testkit;

namespace {

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

// The counts, Preview Disk's state and the status line.
QString summary(const frmMain &w)
{
    return QString("%1 pictures, %2 clips, preview %3, \"%4\"")
        .arg(w.Label3[0]->text(), w.Label3[1]->text(), w.Command15->isEnabled() ? "on" : "off", w.Label2[0]->text());
}

}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { clearSettings(); }

    // What start-up makes of the store: "Splash Screen" other than exactly
    // "False" shows the splash; "Rename" "True"/"False" sets the tick, ""
    // ticks it, anything else leaves it as the window made it; a folder is
    // shown as stored and used with its backslash. A missing folder is said,
    // the image folder first; a drive that is not ready counts as missing.
    void loading_data()
    {
        QTest::addColumn<QStringList>("stored");  // Splash Screen, Rename, Image Folder, Video Folder; none: not stored
        QTest::addColumn<QString>("loaded");      // splash shown, Check2, Check1, Text1(0), the folder used
        QTest::addColumn<QStringList>("said");
        const QString image = "The specified image folder does not exist.  Please check the options tab!";
        const QString video = "The specified video folder does not exist.  Please check the options tab!";
        QTest::newRow("nothing stored") << QStringList() << "1 1 1 C:\\ C:\\" << QStringList();
        QTest::newRow("False, True") << QStringList{"False", "True"} << "0 0 0 C:\\ C:\\" << QStringList();
        QTest::newRow("false, False") << QStringList{"false", "False"} << "1 1 1 C:\\ C:\\" << QStringList();
        QTest::newRow("True, Yes") << QStringList{"True", "Yes"} << "1 1 0 C:\\ C:\\" << QStringList();
        QTest::newRow("a folder without its backslash")
            << QStringList{"False", "True", "C:\\Pics"} << "0 0 0 C:\\Pics C:\\Pics\\" << QStringList();
        QTest::newRow("both folders missing") << QStringList{"False", "True", "C:\\Nope\\", "D:\\Clips\\"}
                                              << "0 0 0 C:\\Nope\\ C:\\Nope\\" << QStringList{image, video};
        QTest::newRow("a drive not ready") << QStringList{"False", "True", "E:\\"} << "0 0 0 E:\\ E:\\"
                                           << QStringList{image};
        const QString withNul = QString("C:\\Pics") + QChar(0) + "x";  // a NUL would cut it to C:\Pics
        QTest::newRow("a folder holding a NUL") << QStringList{"False", "True", withNul}
                                                << "0 0 0 " + withNul + ' ' + withNul + '\\' << QStringList{image};
    }
    void loading()
    {
        QFETCH(QStringList, stored);
        const QString keys[] = {settings::kSplashScreen, settings::kRename, settings::kImageFolder,
                                settings::kVideoFolder};
        for (int i = 0; i < stored.size(); ++i)
            storeSetting(keys[i], stored[i]);
        Rig rig;
        rig.drives.makeNotReady('E');
        rig.rebuildServices();
        QDir(rig.c()).mkpath("Pics");
        frmMain &w = rig.openMain();
        QTEST(QString("%1 %2 %3 %4 %5").arg(rig.prompt.modals.contains("frmSplash")).arg(w.Check2->isChecked())
                  .arg(w.Check1->isChecked()).arg(w.Text1[0]->text(), rig.shared.imageFolder), "loaded");
        QTEST(rig.prompt.texts(), "said");
        QCOMPARE(storedSetting(settings::kRename), stored.value(1));  // nothing but the splash choice is written
    }

    // A first run where C: holds the home folder: the boxes show the user's
    // own Pictures and Videos folders, nothing is stored, a missing one is
    // said as any folder is; the first Copy Disk offers to make it and
    // copies into them; Undo Changes puts the defaults back.
    void firstRunInTheUsersFolders()
    {
        Rig rig;
        const QString home = rig.c() + "/home/ann";
        QVERIFY2(QDir(home).mkpath("Pictures"), "the temporary home could not be made");
        const QByteArray realHome = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(home));
        frmMain &w = rig.openMain();
        qputenv("HOME", realHome);
        QCOMPARE(w.Text1[0]->text() + " | " + w.Text1[1]->text(), "C:\\home\\ann\\Pictures\\ | C:\\home\\ann\\Videos\\");
        QCOMPARE(rig.shared.imageFolder + " | " + rig.shared.videoFolder, w.Text1[0]->text() + " | " + w.Text1[1]->text());
        QCOMPARE(rig.prompt.texts(),
                 QStringList{"The specified video folder does not exist.  Please check the options tab!"});
        QCOMPARE(storedSetting(settings::kImageFolder) + storedSetting(settings::kVideoFolder), "");

        makeJpeg(rig.a() + "/PIC1.JPG", 8, 8);
        writeFile(rig.a() + "/CLIP1.MPG", "m");
        rig.prompt.boxes.clear();
        rig.prompt.answers = {pf::AnsOk, pf::AnsNo};  // make the video folder; keep the diskette
        rig.prompt.fallback = pf::AnsCancel;
        w.Command1_Click();
        QTRY_VERIFY_WITH_TIMEOUT(rig.prompt.titles().contains("Erase Source Diskette?"), 5000);
        QCOMPARE(rig.prompt.titles(), (QStringList{"Folder Does Not Exist!", "Erase Source Diskette?"}));
        QCOMPARE(entries(home + "/Pictures"), QStringList{"PIC1.JPG"});  // names are kept at first
        QCOMPARE(entries(home + "/Videos"), QStringList{"CLIP1.MPG"});
        QCOMPARE(storedSetting(settings::kImageFolder) + storedSetting(settings::kVideoFolder), "");

        w.Text1[0]->setText("C:\\Elsewhere\\");
        w.Command11->click();
        QCOMPARE(w.Text1[0]->text(), "C:\\home\\ann\\Pictures\\");
    }

    // Keys, clicks and close requests leave the splash open; its own timer closes it.
    void splashClosesOnlyByItsTimer()
    {
        frmSplash splash;
        QCOMPARE(splash.Timer1->interval(), 3000);
        QCOMPARE(splash.Timer1->isActive(), true);
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

    // The captions a user reads and the tab order. Check Disk (Shift+F1
    // acts as F1) counts the root's pictures and clips in either letter
    // case, clips alone too, not hidden ones; keeps the index files apart;
    // enables Preview Disk only for pictures; starts the one-shot status
    // reset. Other keys do nothing; ESC closes even with the Options tab in
    // front, where Exit is off; Exit closes, asking nothing.
    void captionsKeysAndCheckDisk()
    {
        Rig rig;
        frmMain &w = rig.openMain();
        rig.prompt.fallback = pf::AnsCancel;  // a box would end the check, not the test run
        QCOMPARE(w.windowTitle(), "Corvanta");
        QCOMPARE(w.SSTab1->tabBar()->tabText(0) + w.SSTab1->tabBar()->tabText(1) + w.SSTab1->tabBar()->tabText(2),
                 "Cop&y&Options&About");
        QCOMPARE(w.Command6->text(), "E&xit (ESC)");
        // Tab order: Check Disk, Preview Disk, Copy Disk, Exit.
        QCOMPARE(w.Command12->nextInFocusChain(), static_cast<QWidget *>(w.Command15));
        QCOMPARE(w.Command15->nextInFocusChain(), static_cast<QWidget *>(w.Command1));
        QCOMPARE(w.Command1->nextInFocusChain(), static_cast<QWidget *>(w.Command6));
        for (const char *f : {"CLIP0001.MPG", "clip0002.mpg"})
            writeFile(rig.a() + '/' + f, "m");
        w.show();
        QApplication::setActiveWindow(&w);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1, Qt::ShiftModifier);
        QCOMPARE(summary(w), "0 pictures, 2 clips, preview off, \"Status: Disk Check Complete\"");
        QCOMPARE(w.Timer2->isActive(), true);
        QCOMPARE(w.Timer2->interval(), 5000);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w.SSTab1->tabBar()));  // SSTab1's focus proxy
        w.Timer2_Timer();
        QCOMPARE(w.Label2[0]->text(), "Status: Ready to Copy");
        QCOMPARE(w.Timer2->isActive(), false);
        for (const char *f : {"PIC00001.JPG", "pic00002.jpg"})
            makeJpeg(rig.a() + '/' + f, 8, 8);
        writeFile(rig.a() + "/.PIC00003.JPG", "x");
        writeFile(rig.a() + "/X.411", "x");
        w.Command12_Click();
        QCOMPARE(summary(w), "2 pictures, 2 clips, preview on, \"Status: Disk Check Complete\"");
        QCOMPARE(w.File1.entries(), (QStringList{"PIC00001.JPG", "pic00002.jpg"}));
        QCOMPARE(w.File3.entries(), QStringList{"X.411"});
        QCOMPARE(rig.prompt.boxes.size(), 0);

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

    // No diskette; at "No Disk!" a diskette goes in with nothing that counts
    // (pictures below its root, hidden, other files), at "No Images!" a good
    // one: each probe picks the next box. A listing that fails after the
    // probe said usable asks as for a missing diskette; OK tries again,
    // Cancel ends the check and keeps what the window showed.
    void promptChain()
    {
        Rig rig;
        const QString floppy = rig.a();
        rig.drives.makeNotReady('A');
        auto flaky = std::make_unique<FlakyDrive>(rig.drives.map());
        FlakyDrive &drive = *flaky;
        rig.rebuildServices(std::move(flaky));
        frmMain &w = rig.openMain();
        rig.prompt.answers = {pf::AnsOk, pf::AnsOk};
        rig.prompt.fallback = pf::AnsCancel;  // a box more than expected ends the check, not the test run
        rig.prompt.onBox = [&](const ShownBox &box) {
            if (box.title == "No Disk!") {
                drive.drives().setDrive('A', floppy);
                QDir(floppy).mkpath("DCIM");
                for (const char *f : {"DCIM/PIC1.JPG", ".hidden.jpg", "notes.txt", "X.411"})
                    writeFile(floppy + '/' + f, "x");
            } else {
                writeFile(floppy + "/CLIP.MPG", "m");
                makeJpeg(floppy + "/PIC2.JPG", 8, 8);
            }
        };
        w.Command12_Click();
        QCOMPARE(rig.prompt.titles(), (QStringList{"No Disk!", "No Images!"}));
        QCOMPARE(rig.prompt.texts(), (QStringList{"Please insert a disk with images or video clips.",
                                                  "The inserted disk does not contain any image files or video clips.  "
                                                  "Please insert a disk with images or video clips."}));
        QCOMPARE(rig.prompt.boxes[0].buttons, pf::MbOkCancel);
        QCOMPARE(summary(w), "1 pictures, 1 clips, preview on, \"Status: Disk Check Complete\"");

        rig.prompt.onBox = nullptr;
        rig.prompt.boxes.clear();
        drive.failures = 2;
        rig.prompt.answers = {pf::AnsOk, pf::AnsCancel};
        w.Timer2_Timer();
        w.Command12_Click();
        QCOMPARE(rig.prompt.titles(), (QStringList{"No Disk!", "No Disk!"}));
        QCOMPARE(summary(w), "1 pictures, 1 clips, preview on, \"Status: Ready to Copy\"");
    }

    // A drive folder that is there but cannot be listed is said to be
    // unreadable, not missing; OK probes again.
    void unreadableDrive()
    {
        Rig rig;
        frmMain &w = rig.openMain();
        const QByteArray folder = QFile::encodeName(rig.a());
        QCOMPARE(::chmod(folder + "/..", 0711), 0);
        QCOMPARE(::chmod(folder.constData(), 0), 0);
        rig.prompt.answers = {pf::AnsOk, pf::AnsCancel};
        {
            const Unprivileged user;
            QVERIFY2(user.ok(), "cannot act as an unprivileged user");
            w.Command12_Click();
        }
        ::chmod(folder.constData(), 0700);
        const QString said = "The disk in drive A: cannot be read: permission denied.\r\r"
                             "Please insert a disk with images or video clips.";
        QCOMPARE(rig.prompt.texts(), (QStringList{said, said}));
        QCOMPARE(rig.prompt.titles(), (QStringList{"Disk Not Readable", "Disk Not Readable"}));
    }
};

PIXFERRY_TEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
