// The drive probe, the diskette prompt, the list refresh and Check Disk.

#include "tests/support/testkit.h"

#include <QDir>

using namespace testkit;

namespace {
const QString kNoDisk = QStringLiteral("No Disk!");
const QString kNoImages = QStringLiteral("No Images!");

// Fails the listing of drive A: a number of times, as a diskette taken out
// right after the probe does.
class FlakyDrive : public pf::FileSystem {
public:
    using pf::FileSystem::FileSystem;
    int failures = 0;
    pf::Result<QStringList> listFiles(const QString &folder, const QString &pattern, bool admit) override
    {
        if (failures > 0 && folder.startsWith(QLatin1String("a:"), Qt::CaseInsensitive)) {
            --failures;
            return pf::makeError(pf::ErrDeviceUnavailable, QStringLiteral("Device unavailable"), folder);
        }
        return pf::FileSystem::listFiles(folder, pattern, admit);
    }
};
}  // namespace

class TestDiskCheck : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        clearSettings();
        storeSetting(QStringLiteral("Splash Screen"), QStringLiteral("False"));
    }

    void probeResults()
    {
        Rig rig;
        frmMain &w = rig.openMain();
        const QString a = rig.a();

        // Empty drive, images only in a sub-folder, a hidden picture only.
        QCOMPARE(w.chkDrive(), QStringLiteral("No Images"));
        QDir(a).mkpath(QStringLiteral("DCIM"));
        makeJpeg(a + QStringLiteral("/DCIM/PIC1.JPG"), 8, 8);
        writeFile(a + QStringLiteral("/.hidden.jpg"), "x");
        writeFile(a + QStringLiteral("/notes.txt"), "x");
        QCOMPARE(w.chkDrive(), QStringLiteral("No Images"));
        QCOMPARE(w.Drive1.drive(), QStringLiteral("a:"));

        // A clip alone makes the diskette usable; capitals count the same.
        writeFile(a + QStringLiteral("/CLIP0001.MPG"), "m");
        QCOMPARE(w.chkDrive(), QString());

        // No drive at all, and a drive whose folder is missing.
        rig.drives.unmap('A');
        rig.rebuildServices();
        frmMain &w2 = rig.openMain();
        QCOMPARE(w2.chkDrive(), QStringLiteral("No Floppy"));
        rig.drives.makeNotReady('A');
        rig.rebuildServices();
        QCOMPARE(rig.openMain().chkDrive(), QStringLiteral("No Floppy"));
    }

    void checkDiskCounts()
    {
        Rig rig;
        frmMain &w = rig.openMain();
        const QString a = rig.a();
        // Movie clips only: counts "0" and 2, Preview Disk off.
        writeFile(a + QStringLiteral("/CLIP0001.MPG"), "m");
        writeFile(a + QStringLiteral("/clip0002.mpg"), "m");
        w.Command12_Click();
        QVERIFY(rig.prompt.boxes.isEmpty());
        QCOMPARE(w.Label3[0]->text(), QStringLiteral("0"));
        QCOMPARE(w.Label3[1]->text(), QStringLiteral("2"));
        QVERIFY(!w.Command15->isEnabled());
        QCOMPARE(w.Label2[0]->text(), QStringLiteral("Status: Disk Check Complete"));
        QVERIFY(w.Timer2->isActive());
        QCOMPARE(rig.shared.sourcePath, QStringLiteral("a:\\"));

        // Pictures in capitals and small letters count; a hidden one does not.
        makeJpeg(a + QStringLiteral("/PIC00001.JPG"), 8, 8);
        makeJpeg(a + QStringLiteral("/pic00002.jpg"), 8, 8);
        writeFile(a + QStringLiteral("/.PIC00003.JPG"), "x");
        writeFile(a + QStringLiteral("/X.411"), "x");
        w.Command12_Click();
        QVERIFY(w.refreshFileLists().ok());  // a second refresh changes nothing
        QCOMPARE(w.Label3[0]->text() + w.Label3[1]->text(), QStringLiteral("22"));
        QVERIFY(w.Command15->isEnabled());
        QCOMPARE(w.File1.entries(), (QStringList{QStringLiteral("PIC00001.JPG"), QStringLiteral("pic00002.jpg")}));
        QCOMPARE(w.File3.entries(), QStringList{QStringLiteral("X.411")});
        QCOMPARE(rig.shared.sourcePath, QStringLiteral("a:\\"));
    }

    void promptChain()
    {
        // No diskette; at "No Disk!" an empty one goes in, at "No Images!" a
        // good one: each probe picks the next box, then the check completes.
        Rig rig;
        const QString floppy = rig.a();
        rig.drives.makeNotReady('A');
        rig.rebuildServices();
        frmMain &w = rig.openMain();
        int step = 0;
        rig.prompt.onBox = [&](const ShownBox &) {
            if (step++ == 0) {
                rig.services->fs->drives().setDrive('A', floppy);
            } else {
                writeFile(floppy + QStringLiteral("/CLIP.MPG"), "m");
                makeJpeg(floppy + QStringLiteral("/PIC2.JPG"), 8, 8);
            }
        };
        w.Command12_Click();
        QCOMPARE(rig.prompt.titles(), (QStringList{kNoDisk, kNoImages}));
        QCOMPARE(rig.prompt.boxes[0].text, QStringLiteral("Please insert a disk with images or video clips."));
        QCOMPARE(rig.prompt.boxes[1].text,
                 QStringLiteral("The inserted disk does not contain any image files or video clips.  "
                                "Please insert a disk with images or video clips."));
        QCOMPARE(rig.prompt.boxes[0].buttons, pf::MbOkCancel);
        QCOMPARE(w.Label3[0]->text(), QStringLiteral("1"));
        QCOMPARE(w.Label3[1]->text(), QStringLiteral("1"));
        QCOMPARE(w.Label2[0]->text(), QStringLiteral("Status: Disk Check Complete"));

        // Cancel: counts, sourcePath and the enabled Preview Disk stay.
        rig.prompt.boxes.clear();
        rig.prompt.onBox = nullptr;
        rig.prompt.answers = {pf::AnsCancel};
        QFile::remove(floppy + QStringLiteral("/CLIP.MPG"));
        QFile::remove(floppy + QStringLiteral("/PIC2.JPG"));
        w.Timer2_Timer();
        w.Command12_Click();
        QCOMPARE(rig.prompt.titles(), QStringList{kNoImages});
        QCOMPARE(w.Label3[0]->text(), QStringLiteral("1"));
        QCOMPARE(w.Label3[1]->text(), QStringLiteral("1"));
        QVERIFY(w.Command15->isEnabled());
        QCOMPARE(rig.shared.sourcePath, QStringLiteral("a:\\"));
        QCOMPARE(w.Label2[0]->text(), QStringLiteral("Status: Ready to Copy"));
    }

    void driveFailsAfterProbe()
    {
        // The probe says usable, the listing fails: "No Disk!", never a crash;
        // OK tries again, and the second time the diskette reads.
        Rig rig;
        auto flaky = std::make_unique<FlakyDrive>(rig.drives.map());
        flaky->failures = 1;
        rig.rebuildServices(std::move(flaky));
        frmMain &w = rig.openMain();
        makeJpeg(rig.a() + QStringLiteral("/PIC1.JPG"), 8, 8);
        w.Command12_Click();
        QCOMPARE(rig.prompt.titles(), QStringList{kNoDisk});
        QCOMPARE(w.Label3[0]->text(), QStringLiteral("1"));
        QCOMPARE(w.Label2[0]->text(), QStringLiteral("Status: Disk Check Complete"));

        // Cancel at that box ends the check quietly.
        static_cast<FlakyDrive *>(rig.services->fs.get())->failures = 1;
        rig.prompt.boxes.clear();
        rig.prompt.answers = {pf::AnsCancel};
        w.Label2[0]->setText(QString());
        w.Command12_Click();
        QCOMPARE(rig.prompt.titles(), QStringList{kNoDisk});
        QCOMPARE(w.Label2[0]->text(), QString());
    }
};

PIXFERRY_TEST_MAIN(TestDiskCheck)
#include "test_diskcheck.moc"
