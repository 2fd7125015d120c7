// The Options tab and the folder picker, driven through their controls; stored values read back.

#include "settings/frmfolderselect.h"
#include "tests/support/testkit.h"

#include <cerrno>
#include <cstring>

using namespace testkit;

namespace {

const QString kImage = QStringLiteral("Image Folder"), kVideo = QStringLiteral("Video Folder");
const QString kRename = QStringLiteral("Rename"), kSplash = QStringLiteral("Splash Screen");
const QString kCreate = QStringLiteral("%1\r\r%2 directory specified does not exist.  Create it?  "
                                       "Click \"No\" to set it back to the previous setting.");

// Shows a window as exec() would, so that its controls take clicks.
void showNow(QWidget &w) { w.show(); QVERIFY(QTest::qWaitForWindowExposed(&w)); }

// A main window over a fresh store (splash off, then `keys`); drive D:, and E: not ready.
frmMain &start(Rig &rig, std::initializer_list<std::pair<QString, QString>> keys = {})
{
    clearSettings();
    storeSetting(kSplash, QStringLiteral("False"));
    for (const auto &[key, value] : keys)
        storeSetting(key, value);
    rig.drives.root(QLatin1Char('D'));
    rig.drives.makeNotReady(QLatin1Char('E'));
    rig.rebuildServices();
    return rig.openMain();
}

QStringList stored() { return {storedSetting(kImage), storedSetting(kVideo), storedSetting(kRename)}; }
QStringList boxes(frmMain &w) { return {w.Text1[0]->text(), w.Text1[1]->text()}; }
// Save Changes and Undo Changes both enabled (edits pending) or both disabled.
bool pending(frmMain &w) { return w.Command10->isEnabled() && w.Command11->isEnabled(); }
bool clean(frmMain &w) { return !w.Command10->isEnabled() && !w.Command11->isEnabled(); }

// Fills both folder boxes, clicks Check1 and presses Save Changes.
void save(Rig &rig, frmMain &w, const QString &image, const QString &video, pf::MsgAnswer answer)
{
    rig.prompt.boxes.clear();
    rig.prompt.answers = {answer};
    w.Text1[0]->setText(image);
    w.Text1[1]->setText(video);
    w.Check1->click();
    w.Command10->click();
}

void clickTab(QTabBar *bar, int i) { QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(i).center()); }
FolderTree *showPicker(QDialog &d) { return showNow(d), child<FolderTree>(&d, QStringLiteral("Dir1")); }
QPushButton *button(QDialog &d, const char *name) { return child<QPushButton>(&d, QLatin1String(name)); }
QString openPath(FolderTree *dir) { return FolderTree::pathOf(dir->openItem()); }

// A double-click opens an entry (a single click only highlights it).
void openEntry(FolderTree *dir, const char *name)
{
    QTreeWidgetItem *item = dir->entry(QLatin1String(name));
    QVERIFY2(item, name);
    QTest::mouseDClick(dir->viewport(), Qt::LeftButton, {}, dir->visualItemRect(item).center());
}

QStringList subFolders(FolderTree *dir)
{
    QStringList names;
    for (int i = 0; i < dir->openItem()->childCount(); ++i)
        names << dir->openItem()->child(i)->text(0);
    return names;
}

}  // namespace

class TestOptions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void editUndoAndSave()
    {
        Rig rig;
        QDir(rig.c()).mkdir(QStringLiteral("Pics"));
        frmMain &w = start(rig, {{kImage, QStringLiteral("C:\\Pics")}, {kRename, QStringLiteral("True")}});
        QVERIFY(clean(w));
        QTest::keyClicks(w.Text1[0], QStringLiteral("x"));
        QVERIFY(pending(w));
        QCOMPARE(storedSetting(kImage), QStringLiteral("C:\\Pics"));
        // Undo: the stored text or "C:\", Check1 from "Rename"; the folder the copy uses stays.
        w.Text1[1]->setText(QStringLiteral("D:\\Clips"));
        w.Check1->click();
        w.Command11->click();
        QCOMPARE(boxes(w) << rig.shared.imageFolder, QStringList({"C:\\Pics", "C:\\", "C:\\Pics\\"}));
        QVERIFY(!w.Check1->isChecked() && clean(w));
        // The splash choice is stored at once; the two buttons stay as they were.
        w.Check2->click();
        QVERIFY(storedSetting(kSplash) == QStringLiteral("True") && clean(w));
        QTest::keyClicks(w.Text1[1], QStringLiteral("y"));
        w.Check2->click();
        QVERIFY(storedSetting(kSplash) == QStringLiteral("False") && pending(w));
        storeSetting(kRename, QString());  // an empty "Rename" ticks Check1 at start-up only
        w.Command11->click();
        QVERIFY(!w.Check1->isChecked() && clean(w));
        // Save: an existing folder gets its '\'; a missing one is created on Yes.
        save(rig, w, QStringLiteral("c:\\pics"), QStringLiteral("D:\\New"), pf::AnsYes);
        QCOMPARE(rig.prompt.texts(), QStringList{kCreate.arg(QStringLiteral("D:\\New\\"), "Video")});
        QVERIFY(rig.prompt.boxes[0].buttons == pf::MbYesNo && rig.prompt.titles() == QStringList{"Create Folder?"});
        QVERIFY(QFileInfo(rig.drives.root(QLatin1Char('D')) + QStringLiteral("/New")).isDir());
        QCOMPARE(boxes(w) + stored(), QStringList({"c:\\pics\\", "D:\\New\\", "c:\\pics\\", "D:\\New\\", "False"}));
        QVERIFY(rig.shared.videoFolder == QStringLiteral("D:\\New\\") && clean(w));
        // No: the stored value goes back, nothing stored for it. Empty is "\".
        save(rig, w, QStringLiteral("D:\\Missing"), QString(), pf::AnsNo);
        QCOMPARE(rig.prompt.texts(), QStringList{kCreate.arg(QStringLiteral("D:\\Missing\\"), "Image")});
        QVERIFY(!QFileInfo::exists(rig.drives.root(QLatin1Char('D')) + QStringLiteral("/Missing")));
        QCOMPARE(boxes(w) + stored() << rig.shared.videoFolder,
                 QStringList({"c:\\pics\\", "\\", "c:\\pics\\", "\\", "True", "\\"}));
        // The video folder declined: the video key kept, videoFolder from the put-back text.
        storeSetting(kVideo, QStringLiteral("D:\\New"));
        save(rig, w, QStringLiteral("D:\\New\\"), QStringLiteral("D:\\Gone"), pf::AnsNo);
        QCOMPARE(stored(), QStringList({"D:\\New\\", "D:\\New", "False"}));
        QVERIFY(rig.shared.videoFolder == QStringLiteral("D:\\New\\") && clean(w));
        // A folder that cannot be created or checked: reported with its reason, the stored value back.
        const QString noParent = QStringLiteral("C:\\No\\Such\\");
        save(rig, w, noParent, QStringLiteral("E:\\Videos"), pf::AnsYes);
        const QString kept = QStringLiteral(".  The previous setting is kept.");
        QCOMPARE(rig.prompt.texts(), QStringList({kCreate.arg(noParent, "Image"),
                 noParent + "\r\rThis folder could not be created: " + QString::fromLocal8Bit(std::strerror(ENOENT)) + kept,
                 "E:\\Videos\\\r\rThis folder cannot be checked: Device unavailable: drive E is not ready" + kept}));
        QCOMPARE(boxes(w) + stored(), QStringList({"D:\\New\\", "D:\\New", "D:\\New\\", "D:\\New", "True"}));
        QVERIFY(clean(w));
        // A folder on the diskette would be erased with it: refused, not made, the stored value back.
        save(rig, w, QStringLiteral("A:\\Kept"), QStringLiteral("D:\\New"), pf::AnsYes);
        QCOMPARE(rig.prompt.titles(), QStringList{"Folder On Diskette"});
        QVERIFY(!QFileInfo::exists(rig.a() + QStringLiteral("/Kept")));
        QCOMPARE(boxes(w) + stored(), QStringList({"D:\\New\\", "D:\\New\\", "D:\\New\\", "D:\\New\\", "False"}));
    }

    void leavingTheTab()
    {
        Rig rig;
        frmMain &w = start(rig);
        showNow(w);
        QList<int> tabs;  // the tab in front while each question was answered
        rig.prompt.onBox = [&](const ShownBox &) { tabs << w.SSTab1->currentIndex(); };
        // Nothing pending: no question; Exit is off only on the Options tab.
        for (int tab : {0, 1, 2, 1}) {
            clickTab(w.SSTab1->tabBar(), tab);
            QCOMPARE(w.Command6->isEnabled(), tab != 1);
        }
        QVERIFY(rig.prompt.boxes.isEmpty());
        // Pending + Cancel: the Options tab stays in front, Exit off, edits pending.
        QTest::keyClicks(w.Text1[0], QStringLiteral("Typed"));
        rig.prompt.answers = {pf::AnsCancel, pf::AnsNo, pf::AnsYes};
        clickTab(w.SSTab1->tabBar(), 0);
        QCOMPARE(rig.prompt.texts(), QStringList{QStringLiteral("Save Changes?")});
        QVERIFY(rig.prompt.boxes[0].buttons == pf::MbYesNoCancel && rig.prompt.titles() == QStringList{"Corvanta"});
        QVERIFY(w.SSTab1->currentIndex() == 1 && !w.Command6->isEnabled() && pending(w));
        // No: undone; Yes: saved. Each time the chosen tab in front, asked once.
        clickTab(w.SSTab1->tabBar(), 0);
        QVERIFY(rig.prompt.boxes.size() == 2 && w.SSTab1->currentIndex() == 0 && w.Command6->isEnabled());
        QCOMPARE(QStringList({w.Text1[0]->text(), storedSetting(kImage)}), QStringList({"C:\\", ""}));
        w.SSTab1->setCurrentIndex(1);
        w.Text1[0]->setText(QStringLiteral("D:"));
        clickTab(w.SSTab1->tabBar(), 2);
        QVERIFY(rig.prompt.boxes.size() == 3 && w.SSTab1->currentIndex() == 2 && w.Command6->isEnabled() && clean(w));
        QCOMPARE(QStringList({storedSetting(kImage), rig.shared.imageFolder}), QStringList({"D:\\", "D:\\"}));
        QCOMPARE(tabs, QList<int>({1, 1, 1}));
        // Leaving another tab asks nothing, even with edits pending.
        w.Check1->click();
        clickTab(w.SSTab1->tabBar(), 0);
        QVERIFY(rig.prompt.boxes.size() == 3 && pending(w));
    }

    void picker()
    {
        Rig rig;
        for (const char *sub : {"Pics/Holiday", "Pics/Work", ".hidden", "zeta", "back\\slash"})
            QDir(rig.c()).mkpath(QLatin1String(sub));
        frmMain &w = start(rig);
        showNow(w);
        // Centred, focus on OK; hidden folders and names a path cannot hold left out. Down two levels and
        // back to the root; a drive that is not ready is refused, another opens at its root (one '\').
        rig.prompt.onModal = [&](QDialog &d) {
            FolderTree *dir = showPicker(d);
            QVERIFY((d.geometry().center() - w.geometry().center()).manhattanLength() <= 40);
            QCOMPARE(d.focusWidget(), static_cast<QWidget *>(button(d, "OKButton")));
            QCOMPARE(subFolders(dir), QStringList({"Pics", "zeta"}));
            openEntry(dir, "Pics");
            QCOMPARE(subFolders(dir), QStringList({"Holiday", "Work"}));
            openEntry(dir, "Holiday");
            QCOMPARE(openPath(dir), QStringLiteral("C:\\Pics\\Holiday"));
            openEntry(dir, "C:\\");
            auto *drive = child<QComboBox>(&d, QStringLiteral("Drive1"));
            QVERIFY(drive->count() == 4 && drive->currentText() == QStringLiteral("c:"));
            drive->setCurrentIndex(drive->findText(QStringLiteral("e:")));
            QCOMPARE(rig.prompt.texts(), QStringList{"Drive e: is not ready.  Insert a disk or choose another drive."});
            QVERIFY(drive->currentText() == QStringLiteral("c:") && openPath(dir) == QStringLiteral("C:\\"));
            drive->setCurrentIndex(drive->findText(QStringLiteral("a:")));
            QCOMPARE(openPath(dir), QStringLiteral("A:\\"));
            QTest::mouseClick(button(d, "OKButton"), Qt::LeftButton);
        };
        w.Command9->click();
        QCOMPARE(rig.shared.pickedFolder, std::optional<QString>(QStringLiteral("A:\\")));
        QVERIFY(w.Text1[1]->text() == QStringLiteral("A:\\") && pending(w));
        // Opens at the program's folder every time. ESC does nothing; Enter opens the highlighted folder or presses the
        // focused button; OK hands back the open folder, not the highlighted one; close box and Cancel hand back nothing.
        for (const char *end : {"OKButton", "close box", "CancelButton"}) {
            rig.prompt.onModal = [&](QDialog &d) {
                FolderTree *dir = showPicker(d);
                QCOMPARE(openPath(dir), QStringLiteral("C:\\"));
                QTest::keyClick(d.focusWidget(), Qt::Key_Escape);
                QVERIFY(d.isVisible());
                dir->setCurrentItem(dir->entry(QStringLiteral("zeta")));
                QTest::keyClick(dir, Qt::Key_Return);
                QTest::mouseClick(dir->viewport(), Qt::LeftButton, {}, dir->visualItemRect(dir->entry("C:\\")).center());
                QVERIFY(dir->currentItem() == dir->entry(QStringLiteral("C:\\")) && openPath(dir) == QStringLiteral("C:\\zeta"));
                end[0] == 'c' ? void(d.close()) : QTest::keyClick(button(d, end), Qt::Key_Return);
                QVERIFY(!d.isVisible());
            };
            w.Command7->click();
            QCOMPARE(rig.shared.pickedFolder, end[0] == 'O' ? std::optional<QString>(QStringLiteral("C:\\zeta")) : std::nullopt);
            QCOMPARE(w.Text1[0]->text(), QStringLiteral("C:\\zeta\\"));
        }
    }
};

PIXFERRY_TEST_MAIN(TestOptions)
#include "test_options.moc"
