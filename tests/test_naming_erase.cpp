// The date-time names of images, and the erase of the diskette after a copy
// (through Copy Disk's "Yes"), on temporary folders as drives.

#include "tests/support/copykit.h"
#include "transfer/naming.h"

#include <sys/stat.h>

using namespace testkit;

class TestNamingErase : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void dateTimeNames()
    {
        // From the file's own date and time on the diskette.
        Drives d;
        pf::FileSystem fs(d.map());
        const struct {
            const char *file;
            QDateTime when;
            const char *name;
        } table[] = {
            {"PIC00012.JPG", {{2003, 7, 4}, {9, 5, 7}}, "07_04_2003_090507.JPG"},
            {"pic00013.jpg", {{2003, 7, 4}, {9, 5, 7}}, "07_04_2003_090507.jpg"},
            {"PIC00001.JPG", {{2004, 1, 1}, {0, 0, 0}}, "01_01_2004_000000.JPG"},
            {"IMG.jpg", {{1999, 12, 31}, {23, 59, 59}}, "12_31_1999_235959.jpg"},
            {"X.Jpg", {{2010, 10, 10}, {10, 10, 10}}, "10_10_2010_101010.Jpg"},
            {"holiday.jpeg", {{2005, 5, 6}, {7, 8, 9}}, "05_06_2005_070809.peg"},
        };
        for (const auto &row : table) {
            writeFile(d.root('A') + '/' + row.file, "x", row.when);
            const pf::Result<QString> name = dateTimeName(fs, QString("a:\\") + row.file);
            QVERIFY2(name.ok(), row.file);
            QCOMPARE(*name, row.name);
        }
        // A file gone since the listing reports why.
        QCOMPARE(dateTimeName(fs, "a:\\GONE.JPG").error().number, int(pf::ErrFileNotFound));
        // A date without a year of four digits makes no name: said, not named nonsense.
        struct DatedFs : pf::FileSystem {
            using pf::FileSystem::FileSystem;
            QDateTime when;
            pf::Result<QDateTime> fileDate(const QString &) override { return when; }
        } dated(d.map());
        const QString noName = "has a date that cannot be used for a name (a year outside 1000 to 9999)";
        for (const QDateTime &when : {QDateTime({10000, 1, 1}, {0, 0}), QDateTime({999, 12, 31}, {23, 59, 59}), QDateTime()}) {
            dated.when = when;
            const pf::Result<QString> name = dateTimeName(dated, "a:\\P.JPG");
            QVERIFY2(!name.ok(), qPrintable(name.valueOr(QString())));
            QCOMPARE(name.error().reason, noName);
        }
        dated.when = QDateTime({1000, 1, 1}, {0, 0});
        QCOMPARE(dateTimeName(dated, "a:\\P.JPG").valueOr(QString()), "01_01_1000_000000.JPG");
        // The time prefix of renamed copies has no leading zeros.
        QCOMPARE(timePrefix({14, 3, 9}), "1439");
        QCOMPARE(timePrefix({9, 5, 7}), "957");
        QCOMPARE(timePrefix({0, 0, 0}), "000");
        QCOMPARE(timePrefix({23, 59, 59}), "235959");
    }

    // Every copied file of the root goes, the *.411 files too (read-only and
    // hidden ones); other files, sub-folders, what they hold, and whatever a
    // link points at stay. The wait window shows meanwhile and is gone
    // afterwards.
    void eraseRoot()
    {
        Desk d(true);
        d.w->show();
        d.put({"PIC1.JPG", "pic2.jpg", "CLIP.MPG", "README.TXT", "noext", "DATA.411", ".HIDDEN.411", ".keep"});
        ::chmod(QFile::encodeName(d.onDisk("DATA.411")).constData(), 0444);
        QDir(d.a).mkpath("DCIM");
        writeFile(d.onDisk("DCIM/IN.JPG"), "inside");
        const QString elsewhere = d.rig.c() + "/Elsewhere";
        QDir().mkpath(elsewhere);
        writeFile(elsewhere + "/outside.jpg", "not on the diskette");
        QFile::link(elsewhere + "/outside.jpg", d.onDisk("link.jpg"));
        QFile::link(elsewhere, d.onDisk("folderlink"));
        QStringList seen;  // the wait window at the first deletion
        d.fs->beforeDelete = [&](const QString &) {
            QWidget *wait = visibleTopLevel("frmPleaseWait");
            if (wait && seen.isEmpty()) {
                const QPoint off = wait->frameGeometry().center() - d.w->frameGeometry().center();
                seen << wait->windowTitle() << child<QLabel>(wait, "Label1")->text()
                     << QString("%1x%2").arg(wait->width()).arg(wait->height())
                     << (qAbs(off.x()) <= 2 && qAbs(off.y()) <= 2 ? "centred" : QString("off by %1,%2").arg(off.x()).arg(off.y()))
                     << (wait->isModal() ? "modal" : "modeless");
            }
            return pf::Status();
        };

        QCOMPARE(d.copyDisk({pf::AnsYes, pf::AnsOk}), (QStringList{"Erase Source Diskette?", pf::appTitle()}));

        QCOMPARE(d.rig.prompt.texts()[1], "The source diskette has been erased, except for 2 files that were kept:\r"
                                          "noext (not a picture or clip)\rREADME.TXT (not a picture or clip)\r\r"
                                          "1 entry named like a picture or clip was not copied: it is a link, a folder "
                                          "or another entry that is not a file.");
        QCOMPARE(d.rig.prompt.boxes[1].buttons, pf::MbOk);
        QCOMPARE(entries(d.a), (QStringList{".keep", "DCIM", "README.TXT", "folderlink", "link.jpg", "noext"}));
        QCOMPARE(entries(d.onDisk("DCIM")), QStringList{"IN.JPG"});
        QCOMPARE(entries(elsewhere), QStringList{"outside.jpg"});
        QCOMPARE(readFile(elsewhere + "/outside.jpg"), "not on the diskette");
        QCOMPARE(entries(d.pics) + entries(d.clips), (QStringList{"PIC1.JPG", "pic2.jpg", "CLIP.MPG"}));
        QCOMPARE(seen, (QStringList{"Erasing Diskette...", "Please wait...", "180x42", "centred", "modeless"}));
        QVERIFY(!visibleTopLevel("frmPleaseWait"));
        QVERIFY(!d.w->findChild<QWidget *>("frmPleaseWait"));
        QCOMPARE(d.w->Label2[0]->text(), "Operation completed: 2 files kept on the diskette.");
        // The counts still show the diskette as it was.
        QCOMPARE(d.w->Label3[0]->text() + " " + d.w->Label3[1]->text(), "2 1");
        d.w->close();
    }

    // A file that cannot be deleted is named with the reason, success is
    // not claimed, and the wait window closes. A diskette taken out before
    // the erase stops it before anything is deleted.
    void eraseFailures()
    {
        Desk d(true);
        d.put({"PIC1.JPG", "pic2.jpg", "CLIP.MPG", "DATA.411"});
        d.fs->beforeDelete = [](const QString &path) {
            return path.endsWith("pic2.jpg") ? pf::Status(pf::makeError(pf::ErrPermissionDenied, "Permission denied", path))
                                             : pf::Status();
        };
        QCOMPARE(d.copyDisk({pf::AnsYes, pf::AnsOk}), (QStringList{"Erase Source Diskette?", "Erase Incomplete"}));
        QCOMPARE(d.rig.prompt.texts()[1], "These files could not be deleted and are still on the diskette:\r"
                                          "a:\\pic2.jpg: Permission denied (error 70)");
        QCOMPARE(entries(d.a), QStringList{"pic2.jpg"});
        QCOMPARE(d.w->Label2[0]->text(), "1 file could not be erased.");
        QVERIFY(!visibleTopLevel("frmPleaseWait"));

        // The diskette taken out after the copies were made.
        d.put({"PIC3.JPG"});
        const QString away = d.rig.c() + "/taken out";
        d.fs->afterCopy = [&](const QString &source, const QString &) {
            if (source.endsWith("PIC3.JPG"))
                QDir().rename(d.a, away);
        };
        d.answers = {"OKButton"};  // pic2.jpg replaces its copy
        QCOMPARE(d.copyDisk({pf::AnsYes, pf::AnsOk}), (QStringList{"Erase Source Diskette?", "Diskette Not Erased"}));
        QVERIFY2(d.rig.prompt.texts()[1].contains("its original cannot be read"), qPrintable(d.rig.prompt.texts()[1]));
        QCOMPARE(entries(away), (QStringList{"PIC3.JPG", "pic2.jpg"}));
        QVERIFY(!visibleTopLevel("frmPleaseWait"));
    }
};

PIXFERRY_TEST_MAIN(TestNamingErase)
#include "test_naming_erase.moc"
