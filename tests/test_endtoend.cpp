// A folder chosen through Browse and saved is where the next Copy Disk puts
// the pictures; the movie clips go to the video folder that start-up read.

#include "settings/frmfolderselect.h"
#include "tests/support/testkit.h"

#include <QDir>

using namespace testkit;

class TestEndToEnd : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void browseSaveThenCopy()
    {
        clearSettings();
        storeSetting(QStringLiteral("Splash Screen"), QStringLiteral("False"));
        Rig rig;
        QDir(rig.c()).mkpath(QStringLiteral("Photos/2003"));
        const QDateTime when(QDate(2003, 7, 4), QTime(9, 5, 7));
        makeJpeg(rig.a() + QStringLiteral("/PIC00001.JPG"), 64, 48, when);
        writeFile(rig.a() + QStringLiteral("/CLIP0001.MPG"), "clip");
        frmMain &w = rig.openMain();
        w.SSTab1->setCurrentIndex(1);

        // In the picker: open Photos, then 2003, and press OK.
        rig.prompt.onModal = [](QDialog &d) {
            auto &picker = static_cast<frmFolderSelect &>(d);
            picker.show();
            for (const char *name : {"Photos", "2003"}) {
                QTreeWidgetItem *item = picker.Dir1->entry(QString::fromLatin1(name));
                QVERIFY(item);
                const QRect r = picker.Dir1->visualItemRect(item);
                QTest::mouseDClick(picker.Dir1->viewport(), Qt::LeftButton, {}, r.center());
            }
            QTest::mouseClick(picker.OKButton, Qt::LeftButton);
        };
        QTest::mouseClick(w.Command7, Qt::LeftButton);
        QCOMPARE(w.Text1[0]->text(), QStringLiteral("C:\\Photos\\2003\\"));
        w.Check1->setChecked(false);  // date-and-time names
        QTest::mouseClick(w.Command10, Qt::LeftButton);
        QCOMPARE(storedSetting(QStringLiteral("Image Folder")), QStringLiteral("C:\\Photos\\2003\\"));
        QCOMPARE(storedSetting(QStringLiteral("Rename")), QStringLiteral("True"));

        rig.prompt.answers = {pf::AnsNo};  // keep the diskette
        w.Form_KeyDown(114, 0);            // F3
        const QByteArray original = readFile(rig.a() + QStringLiteral("/PIC00001.JPG"));
        QCOMPARE(readFile(rig.c() + QStringLiteral("/Photos/2003/07_04_2003_090507.JPG")), original);
        QCOMPARE(readFile(rig.c() + QStringLiteral("/CLIP0001.MPG")), QByteArray("clip"));
        QCOMPARE(entries(rig.a()).size(), 2);
        QCOMPARE(w.Label2[0]->text(), QStringLiteral("Operation completed."));
        QCOMPARE(rig.prompt.titles().last(), QStringLiteral("Erase Source Diskette?"));
    }
};

PIXFERRY_TEST_MAIN(TestEndToEnd)
#include "test_endtoend.moc"
