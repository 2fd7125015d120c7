// The Options tab and the folder picker, driven through their controls;
// stored values read back.

#include "platform/hostnames.h"
#include "settings/frmfolderselect.h"
#include "settings/store.h"
#include "tests/support/testkit.h"

#include <cstring>

#include <sys/stat.h>

using namespace testkit;
using namespace settings;

namespace {

// A main window over a fresh store (splash off): image folder C:\Pics,
// video folder D:\Clips, "Rename" True, both folders there; E: not ready.
frmMain &start(Rig &rig)
{
    clearSettings(false);
    storeSetting(kImageFolder, "C:\\Pics");
    storeSetting(kVideoFolder, "D:\\Clips");
    storeSetting(kRename, "True");
    QDir(rig.c()).mkpath("Pics");
    QDir(rig.drives.root('D')).mkpath("Clips");
    rig.drives.makeNotReady('E');
    rig.rebuildServices();
    return rig.openMain();
}

// The tab as it stands: the boxes, the tick, and whether edits are pending
// (Save Changes and Undo Changes enabled).
QString tab(const frmMain &w)
{
    const bool save = w.Command10->isEnabled(), undo = w.Command11->isEnabled();
    return QString("%1 | %2 | %3 | %4")
        .arg(w.Text1[0]->text(), w.Text1[1]->text(), w.Check1->isChecked() ? "ticked" : "-",
             save && undo ? "pending" : !save && !undo ? "clean" : "save or undo off");
}
QString stored()
{
    return QStringList{storedSetting(kImageFolder), storedSetting(kVideoFolder), storedSetting(kRename)}.join(" | ");
}
QString used(const Rig &rig) { return rig.shared.imageFolder + " | " + rig.shared.videoFolder; }
QStringList said(const Rig &rig)
{
    QStringList out;
    for (const ShownBox &b : rig.prompt.boxes)
        out << b.title + (b.buttons == pf::MbYesNo ? " [Yes No]: " : ": ") + b.text;
    return out;
}

void clickTab(QTabBar *bar, int i) { QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(i).center()); }
QString openPath(FolderTree *dir) { return FolderTree::pathOf(dir->openItem()); }
// A double-click opens an entry (a single click only highlights it).
void openEntry(FolderTree *dir, const QString &name)
{
    QTest::mouseDClick(dir->viewport(), Qt::LeftButton, {}, dir->visualItemRect(dir->entry(name)).center());
}

}  // namespace

class TestOptions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Save Changes with the tick clicked: each folder gets its '\' and is
    // stored when it exists or is made on Yes; one declined, refused or not
    // made goes back to the stored value and is not stored. The tab is clean
    // after, the boxes show what is stored, and the copy uses that.
    void save_data()
    {
        QTest::addColumn<QStringList>("typed");  // image folder, video folder
        QTest::addColumn<bool>("create");  // the answer to "Create Folder?"
        QTest::addColumn<QStringList>("said");
        QTest::addColumn<QString>("tab");
        const QString create = "Create Folder? [Yes No]: %1\r\r%2 directory specified does not exist.  Create it?  "
                               "Click \"No\" to set it back to the previous setting.";
        const QString kept = ".  The previous setting is kept.";
        QTest::newRow("a missing one made on Yes") << QStringList{"C:\\Pics", "D:\\New"} << true
                                                   << QStringList{create.arg("D:\\New\\", "Video")}
                                                   << "C:\\Pics\\ | D:\\New\\ | ticked | clean";
        QTest::newRow("a missing one declined") << QStringList{"D:\\Missing", "D:\\Clips"} << false
                                                << QStringList{create.arg("D:\\Missing\\", "Image")}
                                                << "C:\\Pics | D:\\Clips\\ | ticked | clean";
        QTest::newRow("cannot be made, cannot be checked")
            << QStringList{"C:\\No\\Such\\", "E:\\Videos"} << true
            << QStringList{create.arg("C:\\No\\Such\\", "Image"),
                           "Corvanta: C:\\No\\Such\\\r\rThis folder could not be created: "
                               + QString::fromLocal8Bit(std::strerror(ENOENT)) + kept,
                           "Corvanta: E:\\Videos\\\r\rThis folder cannot be checked: Device unavailable: drive E is "
                           "not ready" + kept}
            << "C:\\Pics | D:\\Clips | ticked | clean";
        QTest::newRow("on the diskette")
            << QStringList{"A:\\Kept", "D:\\Clips"} << true
            << QStringList{"Folder On Diskette: A:\\Kept\\\r\rThis folder lies on the diskette in drive A:, and files "
                           "copied there would be erased with it.  The previous setting is kept."}
            << "C:\\Pics | D:\\Clips\\ | ticked | clean";
    }
    void save()
    {
        QFETCH(QStringList, typed);
        Rig rig;
        frmMain &w = start(rig);
        QFETCH(bool, create);
        rig.prompt.fallback = create ? pf::AnsYes : pf::AnsNo;
        w.Text1[0]->setText(typed[0]);
        w.Text1[1]->setText(typed[1]);
        w.Check1->click();
        w.Command10->click();
        QTEST(said(rig), "said");
        QTEST(tab(w), "tab");
        QCOMPARE(stored(), w.Text1[0]->text() + " | " + w.Text1[1]->text() + " | False");  // the boxes show the store
        QCOMPARE(used(rig), withBackslash(w.Text1[0]->text()) + " | " + withBackslash(w.Text1[1]->text()));
        QCOMPARE(entries(rig.drives.root('D')), QStringList({"Clips", "New"}).mid(0, typed[1] == "D:\\New" ? 2 : 1));
    }

    // A folder that shows a folder of the diskette through another mount (a
    // bind mount, as the mount table lists it) is refused like one inside A:.
    void saveRefusesDisketteMountedElsewhere()
    {
        Rig rig;
        QDir(rig.a()).mkpath("Kept");
        QDir(rig.c()).mkpath("Bound");
        frmMain &w = start(rig);
        const QByteArray table = bindMountTable(rig.a() + "/Kept", rig.c() + "/Bound");
        rig.services->fs->setMountTable([table] { return table; });
        w.Text1[0]->setText("C:\\Bound");
        w.Command10->click();
        QCOMPARE(said(rig), QStringList{"Folder On Diskette: C:\\Bound\\\r\rThis folder lies on the diskette in drive "
                                        "A:, and files copied there would be erased with it.  The previous setting "
                                        "is kept."});
        QCOMPARE(storedSetting(kImageFolder), "C:\\Pics");
        QCOMPARE(w.Text1[0]->text(), "C:\\Pics");
    }

    // A folder whose name holds a byte that is not UTF-8 is listed and opened
    // by the picker, and stored so that the next start reads the very same
    // folder (from a copy of the file: the running program keeps the file it wrote).
    void oddBytesStored()
    {
        Rig rig;
        QCOMPARE(::mkdir((QFile::encodeName(rig.c()) + "/F\xE9te").constData(), 0700), 0);
        frmMain &w = start(rig);
        const QString folder = "C:\\" + pf::fromHostName("F\xE9te") + "\\";
        rig.prompt.onModal = [&](QDialog &d) {
            d.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            openEntry(child<FolderTree>(&d, "Dir1"), "F\uFFFDte");
            child<QPushButton>(&d, "OKButton")->click();
        };
        w.Command7->click();
        QCOMPARE(w.Text1[0]->text(), folder);
        w.Command10->click();
        QCOMPARE(said(rig), QStringList());
        const pf::SettingsIo copy("Pixferry", "Copy");
        QFile::remove(copy.location());
        QVERIFY(QFile::copy(pf::SettingsIo().location(), copy.location()));
        QCOMPARE(copy.read(kSection, kImageFolder), folder);
    }

    // Edits make the tab pending and store nothing. Leaving the Options tab
    // then asks, with the Options tab in front: Cancel stays, No undoes (the
    // stored values back, the tick from "Rename"), Yes saves, each going on
    // to the tab chosen; a clean tab asks nothing. Exit is off only while the
    // Options tab is in front. Undo Changes undoes as No does, an empty
    // "Rename" leaving the tick; the splash choice is stored at once and
    // leaves the buttons as they were.
    void pendingEdits()
    {
        Rig rig;
        frmMain &w = start(rig);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTabBar *bar = w.SSTab1->tabBar();
        QList<int> asked;  // the tab in front while each question was answered
        rig.prompt.onBox = [&](const ShownBox &) { asked << w.SSTab1->currentIndex(); };
        auto now = [&] {
            const QString exit = w.Command6->isEnabled() ? "on" : "off";
            return QString("tab %1, Exit %2: %3").arg(w.SSTab1->currentIndex()).arg(exit, tab(w));
        };
        for (int i : {2, 1, 0, 1})
            clickTab(bar, i);
        QCOMPARE(now(), "tab 1, Exit off: C:\\Pics | D:\\Clips | - | clean");
        QTest::keyClicks(w.Text1[0], "x");
        w.Check1->click();
        rig.prompt.answers = {pf::AnsCancel, pf::AnsNo, pf::AnsYes};
        clickTab(bar, 0);
        QCOMPARE(now(), "tab 1, Exit off: C:\\Picsx | D:\\Clips | ticked | pending");
        QCOMPARE(stored(), "C:\\Pics | D:\\Clips | True");
        QCOMPARE(said(rig), QStringList{"Corvanta: Save Changes?"});
        QCOMPARE(rig.prompt.boxes[0].buttons, pf::MbYesNoCancel);
        clickTab(bar, 0);
        QCOMPARE(now(), "tab 0, Exit on: C:\\Pics | D:\\Clips | - | clean");
        w.SSTab1->setCurrentIndex(1);
        w.Text1[0]->setText("D:");
        clickTab(bar, 2);
        QCOMPARE(now(), "tab 2, Exit on: D:\\ | D:\\Clips\\ | - | clean");
        QCOMPARE(storedSetting(kImageFolder) + " " + rig.shared.imageFolder, "D:\\ D:\\");
        QCOMPARE(asked, (QList<int>{1, 1, 1}));

        w.SSTab1->setCurrentIndex(1);
        w.Text1[1]->setText("C:\\Other");
        w.Check1->click();
        w.Command11->click();
        QCOMPARE(tab(w), "D:\\ | D:\\Clips\\ | - | clean");
        w.Check2->click();
        QCOMPARE(storedSetting(kSplashScreen), "True");
        QCOMPARE(tab(w), "D:\\ | D:\\Clips\\ | - | clean");
        QTest::keyClicks(w.Text1[1], "y");
        w.Check2->click();
        QCOMPARE(storedSetting(kSplashScreen), "False");
        QCOMPARE(tab(w), "D:\\ | D:\\Clips\\y | - | pending");
        storeSetting(kRename, QString());  // an empty "Rename" ticks Check1 at start-up only
        w.Command11->click();
        QCOMPARE(tab(w), "D:\\ | D:\\Clips\\ | - | clean");
        QCOMPARE(used(rig), "D:\\ | D:\\Clips\\");
        w.close();
    }

    // The picker: centred, focus on OK; hidden folders and names a path
    // cannot hold left out; down two levels and back to the root; a drive
    // that is not ready refused, another opened at its root; ESC does
    // nothing; Enter opens the highlighted folder or presses the focused
    // button. OK hands back the open folder (not the highlighted one) with
    // one '\' at its end; Cancel and the close box hand back nothing. It
    // opens at the program's folder every time.
    void picker()
    {
        Rig rig;
        for (const char *sub : {"Pics/Holiday", "Pics/Work", ".hidden", "zeta", "back\\slash"})
            QDir(rig.c()).mkpath(sub);
        frmMain &w = start(rig);
        w.show();
        QStringList seen;
        rig.prompt.onModal = [&](QDialog &d) {
            d.show();
            seen << (QTest::qWaitForWindowExposed(&d) ? "shown" : "not shown");
            auto *dir = child<FolderTree>(&d, "Dir1");
            auto *drive = child<QComboBox>(&d, "Drive1");
            QStringList subFolders;
            for (int i = 0; i < dir->openItem()->childCount(); ++i)
                subFolders << dir->openItem()->child(i)->text(0);
            seen << placement(d, w.frameGeometry(), 40) << d.focusWidget()->objectName() << subFolders.join(',');
            openEntry(dir, "Pics");
            openEntry(dir, "Holiday");
            seen << openPath(dir);
            drive->setCurrentIndex(drive->findText("e:"));
            seen << drive->currentText() + " " + openPath(dir);
            drive->setCurrentIndex(drive->findText("a:"));
            seen << openPath(dir);
            drive->setCurrentIndex(drive->findText("c:"));
            QTest::keyClick(d.focusWidget(), Qt::Key_Escape);
            seen << (d.isVisible() ? "open" : "closed");
            dir->setCurrentItem(dir->entry("zeta"));
            QTest::keyClick(dir, Qt::Key_Return);
            QTest::mouseClick(dir->viewport(), Qt::LeftButton, {}, dir->visualItemRect(dir->entry("C:\\")).center());
            seen << dir->currentItem()->text(0) + " highlighted, " + openPath(dir) + " open";
            QTest::keyClick(child<QPushButton>(&d, "OKButton"), Qt::Key_Return);
        };
        w.Command9->click();
        QCOMPARE(seen, (QStringList{"shown", "centred", "OKButton", "Pics,zeta", "C:\\Pics\\Holiday",
                                    "c: C:\\Pics\\Holiday", "A:\\", "open", "C:\\ highlighted, C:\\zeta open"}));
        QCOMPARE(said(rig), QStringList{"Corvanta: Drive e: is not ready.  Insert a disk or choose another drive."});
        QCOMPARE(tab(w), "C:\\Pics | C:\\zeta\\ | - | pending");
        for (const QString end : {"CancelButton", "close box"}) {
            rig.prompt.onModal = [&](QDialog &d) {
                d.show();
                seen << openPath(child<FolderTree>(&d, "Dir1"));  // the program's folder, not the last one chosen
                if (end == "close box")
                    d.close();
                else
                    QTest::keyClick(child<QPushButton>(&d, end), Qt::Key_Return);
            };
            w.Command7->click();
            QCOMPARE(seen.last(), "C:\\");
            QCOMPARE(w.Text1[0]->text(), "C:\\Pics");
        }
        w.close();
    }
};

PIXFERRY_TEST_MAIN(TestOptions)
#include "test_options.moc"
