// The Options tab (edit, undo, save, leaving the tab) and the folder picker,
// driven through their controls, with the stored values read back from the
// settings file.

#include "settings/frmfolderselect.h"
#include "tests/support/testkit.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

using namespace testkit;

namespace {

const QString kImage = QStringLiteral("Image Folder");
const QString kVideo = QStringLiteral("Video Folder");
const QString kRename = QStringLiteral("Rename");

QString createQuestion(const QString &folder, const char *kind)
{
    return folder + QStringLiteral("\r\r") + QLatin1String(kind)
        + QStringLiteral(" directory specified does not exist.  Create it?  "
                         "Click \"No\" to set it back to the previous setting.");
}

// Save Changes and Undo Changes both enabled (edits pending) or both disabled.
bool pending(frmMain &w) { return w.Command10->isEnabled() && w.Command11->isEnabled(); }
bool clean(frmMain &w) { return !w.Command10->isEnabled() && !w.Command11->isEnabled(); }

// Also remembers which tab was in front while each box was answered.
class TabWatch : public ScriptedPrompt {
public:
    frmMain *window = nullptr;
    QList<int> tabs;
    int messageBox(const QString &text, int buttons, const QString &title) override
    {
        if (window)
            tabs << window->SSTab1->currentIndex();
        return ScriptedPrompt::messageBox(text, buttons, title);
    }
    using ScriptedPrompt::messageBox;
};

void clickTab(frmMain &w, int index)
{
    QTabBar *bar = w.SSTab1->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
}

// Shows the picker as exec() would, so that its controls take clicks.
FolderTree *showPicker(QDialog &d)
{
    d.show();
    if (!QTest::qWaitForWindowExposed(&d))
        qWarning("picker not exposed");
    return child<FolderTree>(&d, QStringLiteral("Dir1"));
}

QPushButton *button(QDialog &d, const char *name) { return child<QPushButton>(&d, QLatin1String(name)); }

// A double-click opens an entry, a single click highlights it.
void clickEntry(FolderTree *dir, const QString &name, bool twice = true)
{
    QTreeWidgetItem *item = dir->entry(name);
    QVERIFY2(item, qPrintable(name));
    const QPoint at = dir->visualItemRect(item).center();
    twice ? QTest::mouseDClick(dir->viewport(), Qt::LeftButton, {}, at)
          : QTest::mouseClick(dir->viewport(), Qt::LeftButton, {}, at);
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
    void editAndUndo()
    {
        clearSettings();
        storeSetting(QStringLiteral("Splash Screen"), QStringLiteral("False"));
        storeSetting(kImage, QStringLiteral("C:\\Pics"));
        storeSetting(kRename, QStringLiteral("True"));
        Rig rig;
        frmMain &w = rig.openMain();
        QVERIFY(clean(w));

        // One typed character enables both buttons and stores nothing.
        QTest::keyClicks(w.Text1[0], QStringLiteral("x"));
        QVERIFY(pending(w));
        QCOMPARE(storedSetting(kImage), QStringLiteral("C:\\Pics"));

        // Undo: the stored text, "C:\" for a missing key, Check1 from "Rename";
        // the folder the copy uses stays.
        w.Text1[1]->setText(QStringLiteral("D:\\Clips"));
        w.Check1->click();
        w.Command11->click();
        QCOMPARE(w.Text1[0]->text(), QStringLiteral("C:\\Pics"));
        QCOMPARE(w.Text1[1]->text(), QStringLiteral("C:\\"));
        QVERIFY(!w.Check1->isChecked());
        QVERIFY(clean(w));
        QCOMPARE(rig.shared.imageFolder, QStringLiteral("C:\\Pics\\"));

        // A "Rename" other than "True" or "False" leaves Check1 as it is.
        for (const QString &odd : {QStringLiteral("true"), QString()}) {
            storeSetting(kRename, odd);
            w.Check1->click();
            const bool ticked = w.Check1->isChecked();
            w.Command11->click();
            QCOMPARE(w.Check1->isChecked(), ticked);
        }

        // The splash choice is stored at once; the two buttons stay as they were.
        w.Check2->click();
        QCOMPARE(storedSetting(QStringLiteral("Splash Screen")), QStringLiteral("True"));
        QVERIFY(clean(w));
        QTest::keyClicks(w.Text1[1], QStringLiteral("y"));
        w.Check2->click();
        QCOMPARE(storedSetting(QStringLiteral("Splash Screen")), QStringLiteral("False"));
        QVERIFY(pending(w));
    }

    void saveChanges()
    {
        clearSettings();
        storeSetting(QStringLiteral("Splash Screen"), QStringLiteral("False"));
        Rig rig;
        const QString d = rig.drives.root(QLatin1Char('D'));
        rig.rebuildServices();
        QDir(rig.c()).mkdir(QStringLiteral("Pics"));
        frmMain &w = rig.openMain();

        // An existing folder is stored with its '\' added; a missing one is
        // created on Yes, after the question with its path on the first line.
        w.Text1[0]->setText(QStringLiteral("c:\\pics"));
        w.Text1[1]->setText(QStringLiteral("D:\\New"));
        w.Check1->click();
        rig.prompt.answers = {pf::AnsYes};
        w.Command10->click();
        QCOMPARE(rig.prompt.texts(), QStringList{createQuestion(QStringLiteral("D:\\New\\"), "Video")});
        QCOMPARE(rig.prompt.boxes[0].buttons, int(pf::MbYesNo));
        QCOMPARE(rig.prompt.boxes[0].title, QStringLiteral("Create Folder?"));
        QVERIFY(QFileInfo(d + QStringLiteral("/New")).isDir());
        QCOMPARE(w.Text1[0]->text(), QStringLiteral("c:\\pics\\"));
        QCOMPARE(storedSetting(kImage), QStringLiteral("c:\\pics\\"));
        QCOMPARE(storedSetting(kVideo), QStringLiteral("D:\\New\\"));
        QCOMPARE(storedSetting(kRename), QStringLiteral("True"));
        QVERIFY(clean(w));
        QCOMPARE(rig.shared.videoFolder, QStringLiteral("D:\\New\\"));

        // No: the stored value goes back and nothing is stored for that key.
        // An empty box becomes "\", the root of the current drive.
        rig.prompt.boxes.clear();
        w.Text1[0]->setText(QStringLiteral("D:\\Missing"));
        w.Text1[1]->clear();
        w.Check1->click();
        rig.prompt.answers = {pf::AnsNo};
        w.Command10->click();
        QCOMPARE(rig.prompt.texts(), QStringList{createQuestion(QStringLiteral("D:\\Missing\\"), "Image")});
        QVERIFY(!QFileInfo::exists(d + QStringLiteral("/Missing")));
        QCOMPARE(w.Text1[0]->text(), QStringLiteral("c:\\pics\\"));
        QCOMPARE(storedSetting(kImage), QStringLiteral("c:\\pics\\"));
        QCOMPARE(storedSetting(kVideo), QStringLiteral("\\"));
        QCOMPARE(storedSetting(kRename), QStringLiteral("False"));
        QCOMPARE(rig.shared.videoFolder, QStringLiteral("\\"));

        // The video folder declined while the image folder exists: image and
        // "Rename" stored, the video key kept, videoFolder from the put-back text.
        storeSetting(kVideo, QStringLiteral("D:\\New"));
        w.Text1[0]->setText(QStringLiteral("D:\\New\\"));
        w.Text1[1]->setText(QStringLiteral("D:\\Gone"));
        w.Check1->click();
        rig.prompt.answers = {pf::AnsNo};
        w.Command10->click();
        QCOMPARE(storedSetting(kImage), QStringLiteral("D:\\New\\"));
        QCOMPARE(storedSetting(kVideo), QStringLiteral("D:\\New"));
        QCOMPARE(storedSetting(kRename), QStringLiteral("True"));
        QCOMPARE(rig.shared.videoFolder, QStringLiteral("D:\\New\\"));
        QVERIFY(clean(w));
    }

    // A folder that cannot be created or checked is reported with its reason;
    // the previous value goes back, nothing is stored for it, the save goes on.
    void saveFailures()
    {
        clearSettings();
        storeSetting(QStringLiteral("Splash Screen"), QStringLiteral("False"));
        storeSetting(kImage, QStringLiteral("C:\\Pics\\"));
        storeSetting(kVideo, QStringLiteral("C:\\Clips\\"));
        Rig rig;
        rig.drives.makeNotReady(QLatin1Char('E'));
        rig.rebuildServices();
        frmMain &w = rig.openMain();
        rig.prompt.boxes.clear();

        const QString noParent = QStringLiteral("C:\\No\\Such\\");
        w.Text1[0]->setText(noParent);
        w.Text1[1]->setText(QStringLiteral("E:\\Videos"));
        w.Check1->click();
        rig.prompt.answers = {pf::AnsYes};
        w.Command10->click();
        QCOMPARE(rig.prompt.boxes.size(), 3);
        QCOMPARE(rig.prompt.boxes[0].text, createQuestion(noParent, "Image"));
        QCOMPARE(rig.prompt.boxes[1].text, noParent + QStringLiteral("\r\rThis folder could not be created: ")
                     + QString::fromLocal8Bit(std::strerror(ENOENT)) + QStringLiteral(".  The previous setting is kept."));
        const QString unready = rig.prompt.boxes[2].text;
        QVERIFY2(unready.startsWith(QStringLiteral("E:\\Videos\\\r\rThis folder cannot be checked: ")), qPrintable(unready));
        QVERIFY2(unready.contains(QStringLiteral("not ready")), qPrintable(unready));
        QVERIFY(!QFileInfo::exists(rig.c() + QStringLiteral("/No")));
        QCOMPARE(w.Text1[0]->text(), QStringLiteral("C:\\Pics\\"));
        QCOMPARE(w.Text1[1]->text(), QStringLiteral("C:\\Clips\\"));
        QCOMPARE(storedSetting(kImage), QStringLiteral("C:\\Pics\\"));
        QCOMPARE(storedSetting(kVideo), QStringLiteral("C:\\Clips\\"));
        QCOMPARE(storedSetting(kRename), QStringLiteral("True"));
        QVERIFY(clean(w));
    }

    void leavingTheTab()
    {
        clearSettings();
        storeSetting(QStringLiteral("Splash Screen"), QStringLiteral("False"));
        Rig rig;
        TabWatch watch;
        rig.services->prompt = &watch;
        QDir(rig.c()).mkdir(QStringLiteral("Saved"));
        frmMain &w = rig.openMain();
        watch.window = &w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        // Nothing pending: no question; Exit is off only on the Options tab.
        QVERIFY(w.Command6->isEnabled());
        clickTab(w, 1);
        QVERIFY(!w.Command6->isEnabled());
        clickTab(w, 2);
        QVERIFY(w.Command6->isEnabled());
        QVERIFY(watch.boxes.isEmpty());

        // Pending + Cancel: asked with the Options tab in front, which stays
        // there with Exit off and the edits pending.
        clickTab(w, 1);
        QTest::keyClicks(w.Text1[0], QStringLiteral("Typed"));
        watch.answers = {pf::AnsCancel};
        clickTab(w, 0);
        QCOMPARE(watch.texts(), QStringList{QStringLiteral("Save Changes?")});
        QCOMPARE(watch.boxes[0].buttons, int(pf::MbYesNoCancel));
        QCOMPARE(watch.boxes[0].title, QStringLiteral("Corvanta"));
        QCOMPARE(watch.tabs, QList<int>{1});
        QCOMPARE(w.SSTab1->currentIndex(), 1);
        QVERIFY(!w.Command6->isEnabled());
        QVERIFY(pending(w));

        // Pending + No: undone, the chosen tab in front, asked once.
        watch.answers = {pf::AnsNo};
        clickTab(w, 0);
        QCOMPARE(watch.boxes.size(), 2);
        QCOMPARE(w.SSTab1->currentIndex(), 0);
        QVERIFY(w.Command6->isEnabled());
        QCOMPARE(w.Text1[0]->text(), QStringLiteral("C:\\"));
        QCOMPARE(storedSetting(kImage), QString());

        // Pending + Yes: saved, the chosen tab in front, asked once.
        w.SSTab1->setCurrentIndex(1);
        w.Text1[0]->setText(QStringLiteral("C:\\Saved"));
        watch.answers = {pf::AnsYes};
        clickTab(w, 2);
        QCOMPARE(watch.boxes.size(), 3);
        QCOMPARE(w.SSTab1->currentIndex(), 2);
        QVERIFY(w.Command6->isEnabled());
        QCOMPARE(storedSetting(kImage), QStringLiteral("C:\\Saved\\"));
        QCOMPARE(rig.shared.imageFolder, QStringLiteral("C:\\Saved\\"));
        QVERIFY(clean(w));

        // Leaving another tab asks nothing, even with edits pending.
        w.Check1->click();
        clickTab(w, 0);
        QCOMPARE(watch.boxes.size(), 3);
        QVERIFY(pending(w));
        w.close();
    }

    void pickerHandsBackOpenFolder()
    {
        clearSettings();
        storeSetting(QStringLiteral("Splash Screen"), QStringLiteral("False"));
        Rig rig;
        for (const char *sub : {"Pics/Holiday", "Pics/Work", ".hidden", "zeta", "back\\slash"})
            QDir(rig.c()).mkpath(QLatin1String(sub));
        frmMain &w = rig.openMain();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        // Opens at the root of C: with the focus on OK; hidden folders and
        // names a path cannot hold are left out. A double-click opens, a single click only highlights, and OK
        // hands back the open folder.
        rig.prompt.onModal = [&](QDialog &d) {
            FolderTree *dir = showPicker(d);
            QCOMPARE(d.focusWidget(), static_cast<QWidget *>(button(d, "OKButton")));
            QCOMPARE(subFolders(dir), (QStringList{QStringLiteral("Pics"), QStringLiteral("zeta")}));
            clickEntry(dir, QStringLiteral("Pics"));
            QCOMPARE(subFolders(dir), (QStringList{QStringLiteral("Holiday"), QStringLiteral("Work")}));
            clickEntry(dir, QStringLiteral("Work"), false);
            QCOMPARE(dir->currentItem()->text(0), QStringLiteral("Work"));
            QTest::mouseClick(button(d, "OKButton"), Qt::LeftButton);
        };
        w.Command7->click();
        QCOMPARE(rig.shared.pickedFolder, std::optional<QString>(QStringLiteral("C:\\Pics")));
        QCOMPARE(w.Text1[0]->text(), QStringLiteral("C:\\Pics\\"));
        QVERIFY(pending(w));

        // It opens at the root again. Down two levels and back up through the
        // root above them: the root keeps its one '\'.
        w.Text1[1]->setText(QStringLiteral("D:\\Before"));
        rig.prompt.onModal = [&](QDialog &d) {
            FolderTree *dir = showPicker(d);
            QCOMPARE(FolderTree::pathOf(dir->openItem()), QStringLiteral("C:\\"));
            clickEntry(dir, QStringLiteral("Pics"));
            clickEntry(dir, QStringLiteral("Holiday"));
            QCOMPARE(FolderTree::pathOf(dir->openItem()), QStringLiteral("C:\\Pics\\Holiday"));
            clickEntry(dir, QStringLiteral("C:\\"));
            QTest::mouseClick(button(d, "OKButton"), Qt::LeftButton);
        };
        w.Command9->click();
        QCOMPARE(w.Text1[1]->text(), QStringLiteral("C:\\"));

        // Cancel or the close box after an earlier OK: nothing handed back.
        for (bool closeBox : {false, true}) {
            rig.prompt.onModal = [&](QDialog &d) {
                clickEntry(showPicker(d), QStringLiteral("zeta"));
                closeBox ? void(d.close()) : QTest::mouseClick(button(d, "CancelButton"), Qt::LeftButton);
            };
            w.Command7->click();
            QVERIFY(!rig.shared.pickedFolder);
            QCOMPARE(w.Text1[0]->text(), QStringLiteral("C:\\Pics\\"));
        }

        // ESC does nothing; Enter in the folder list opens the highlighted
        // folder; Enter on a button presses that button.
        for (const char *pressed : {"CancelButton", "OKButton"}) {
            rig.prompt.onModal = [&](QDialog &d) {
                FolderTree *dir = showPicker(d);
                QTest::keyClick(d.focusWidget(), Qt::Key_Escape);
                QVERIFY(d.isVisible());
                dir->setCurrentItem(dir->entry(QStringLiteral("zeta")));
                QTest::keyClick(dir, Qt::Key_Return);
                QTest::keyClick(button(d, pressed), Qt::Key_Return);
                QVERIFY(!d.isVisible());
            };
            w.Command7->click();
        }
        QCOMPARE(w.Text1[0]->text(), QStringLiteral("C:\\zeta\\"));
        w.close();
    }

    void pickerDrives()
    {
        clearSettings();
        storeSetting(QStringLiteral("Splash Screen"), QStringLiteral("False"));
        Rig rig;
        rig.drives.makeNotReady(QLatin1Char('E'));
        rig.rebuildServices();
        QDir(rig.a()).mkdir(QStringLiteral("DCIM"));
        frmMain &w = rig.openMain();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        rig.prompt.onModal = [&](QDialog &d) {
            FolderTree *dir = showPicker(d);
            QVERIFY((d.geometry().center() - w.geometry().center()).manhattanLength() <= 40);
            auto *drive = child<QComboBox>(&d, QStringLiteral("Drive1"));
            QCOMPARE(drive->count(), 3);
            QCOMPARE(drive->currentText(), QStringLiteral("c:"));

            // A drive that is not ready is refused; the previous drive stays.
            drive->setCurrentIndex(drive->findText(QStringLiteral("e:")));
            QCOMPARE(rig.prompt.texts(),
                     QStringList{QStringLiteral("Drive e: is not ready.  Insert a disk or choose another drive.")});
            QCOMPARE(drive->currentText(), QStringLiteral("c:"));
            QCOMPARE(FolderTree::pathOf(dir->openItem()), QStringLiteral("C:\\"));

            // Another drive opens at its root.
            drive->setCurrentIndex(drive->findText(QStringLiteral("a:")));
            QCOMPARE(FolderTree::pathOf(dir->openItem()), QStringLiteral("A:\\"));
            clickEntry(dir, QStringLiteral("DCIM"));
            QTest::mouseClick(button(d, "OKButton"), Qt::LeftButton);
        };
        w.Command9->click();
        QCOMPARE(w.Text1[1]->text(), QStringLiteral("A:\\DCIM\\"));
        w.close();
    }
};

PIXFERRY_TEST_MAIN(TestOptions)
#include "test_options.moc"
