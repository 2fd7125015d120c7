// The date-time names of images, and the erase of the diskette after a copy
// (through Copy Disk's "Yes"), on temporary folders as drives.

#include "settings/store.h"
#include "tests/support/copykit.h"
#include "transfer/naming.h"

#include <QApplication>
#include <QDir>
#include <QFile>

#include <sys/stat.h>

using namespace testkit;

namespace {

QDateTime at(int y, int mo, int d, int h, int mi, int s) { return QDateTime(QDate(y, mo, d), QTime(h, mi, s)); }

QWidget *visibleTopLevel(const QString &name)
{
    for (QWidget *top : QApplication::topLevelWidgets())
        if (top->objectName() == name && top->isVisible())
            return top;
    return nullptr;
}

}  // namespace

class TestNamingErase : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        clearSettings();
        storeSetting(settings::kSplashScreen, QStringLiteral("False"));
    }

    void dateTimeNames()
    {
        // From the file's own date and time on the diskette.
        Drives d;
        pf::FileSystem fs(d.map());
        const QString a = d.root('A');
        const struct {
            const char *file;
            QDateTime when;
            const char *name;
        } table[] = {
            {"PIC00012.JPG", at(2003, 7, 4, 9, 5, 7), "07_04_2003_090507.JPG"},
            {"pic00013.jpg", at(2003, 7, 4, 9, 5, 7), "07_04_2003_090507.jpg"},
            {"PIC00001.JPG", at(2004, 1, 1, 0, 0, 0), "01_01_2004_000000.JPG"},
            {"IMG.jpg", at(1999, 12, 31, 23, 59, 59), "12_31_1999_235959.jpg"},
            {"X.Jpg", at(2010, 10, 10, 10, 10, 10), "10_10_2010_101010.Jpg"},
            {"holiday.jpeg", at(2005, 5, 6, 7, 8, 9), "05_06_2005_070809.peg"},
        };
        for (const auto &row : table) {
            writeFile(a + QLatin1Char('/') + QLatin1String(row.file), "x", row.when);
            const pf::Result<QString> name = dateTimeName(fs, QStringLiteral("a:\\") + QLatin1String(row.file));
            QVERIFY2(name.ok(), row.file);
            QCOMPARE(*name, QString::fromLatin1(row.name));
        }
        QCOMPARE(dateTimeName(at(2003, 7, 4, 9, 5, 7), QStringLiteral("a:\\PIC00012.JPG")).size(), 21);
        // Two files of the same second share a name, whatever their own names.
        QCOMPARE(*dateTimeName(fs, QStringLiteral("a:\\PIC00012.JPG")), dateTimeName(fs, QStringLiteral("a:\\pic00013.jpg"))->toUpper());
        // A file gone since the listing reports why.
        QCOMPARE(dateTimeName(fs, QStringLiteral("a:\\GONE.JPG")).error().number, int(pf::ErrFileNotFound));

        // The time prefix of renamed copies has no leading zeros.
        QCOMPARE(timePrefix(QTime(14, 3, 9)), QStringLiteral("1439"));
        QCOMPARE(timePrefix(QTime(9, 5, 7)), QStringLiteral("957"));
        QCOMPARE(timePrefix(QTime(0, 0, 0)), QStringLiteral("000"));
        QCOMPARE(timePrefix(QTime(23, 59, 59)), QStringLiteral("235959"));
    }

    // Every plain file of the root goes, the *.411 files too (read-only and
    // hidden ones); sub-folders, what they hold, and whatever a link points
    // at stay. The wait window shows meanwhile and is gone afterwards.
    void eraseRoot()
    {
        Rig rig;
        HookedFs &fs = hookFs(rig);
        const QString a = rig.a();
        QDir().mkpath(rig.c() + QStringLiteral("/Pics"));
        QDir().mkpath(rig.c() + QStringLiteral("/Elsewhere"));
        for (const char *n : {"PIC1.JPG", "pic2.jpg", "CLIP.MPG", "README.TXT", "noext", "DATA.411", ".HIDDEN.411", ".keep"})
            writeFile(a + QLatin1Char('/') + QLatin1String(n), n);
        ::chmod(QFile::encodeName(a + QStringLiteral("/DATA.411")).constData(), 0444);
        QDir(a).mkpath(QStringLiteral("DCIM"));
        writeFile(a + QStringLiteral("/DCIM/IN.JPG"), "inside");
        const QString outside = rig.c() + QStringLiteral("/Elsewhere/outside.jpg");
        writeFile(outside, "not on the diskette");
        QFile::link(outside, a + QStringLiteral("/link.jpg"));
        QFile::link(rig.c() + QStringLiteral("/Elsewhere"), a + QStringLiteral("/folderlink"));

        frmMain &w = rig.openMain();
        w.show();
        rig.shared.imageFolder = rig.shared.videoFolder = QStringLiteral("C:\\Pics\\");
        rig.prompt.boxes.clear();
        rig.prompt.answers = {pf::AnsYes, pf::AnsOk};
        QString title, label;
        QSize size;
        QPoint centreOffset;
        bool modal = true;
        fs.beforeDelete = [&](const QString &) {
            if (QWidget *wait = visibleTopLevel(QStringLiteral("frmPleaseWait")); wait && title.isEmpty()) {
                title = wait->windowTitle();
                label = child<QLabel>(wait, QStringLiteral("Label1"))->text();
                size = wait->size();
                centreOffset = wait->frameGeometry().center() - w.frameGeometry().center();
                modal = wait->isModal();
            }
            return pf::Status();
        };

        w.Command1_Click();

        QCOMPARE(entries(a), (QStringList{".keep", "DCIM", "folderlink", "link.jpg"}));
        QCOMPARE(entries(a + QStringLiteral("/DCIM")), QStringList{"IN.JPG"});
        QCOMPARE(readFile(outside), QByteArray("not on the diskette"));
        QCOMPARE(entries(rig.c() + QStringLiteral("/Elsewhere")), QStringList{"outside.jpg"});
        QCOMPARE(entries(rig.c() + QStringLiteral("/Pics")).size(), 3);

        QCOMPARE(title, QStringLiteral("Erasing Diskette..."));
        QCOMPARE(label, QStringLiteral("Please wait..."));
        QCOMPARE(size, QSize(180, 42));
        QVERIFY2(qAbs(centreOffset.x()) <= 2 && qAbs(centreOffset.y()) <= 2, qPrintable(QStringLiteral("%1,%2").arg(centreOffset.x()).arg(centreOffset.y())));
        QVERIFY(!modal);
        QVERIFY(!visibleTopLevel(QStringLiteral("frmPleaseWait")));
        QVERIFY(!w.findChild<QWidget *>(QStringLiteral("frmPleaseWait")));

        QCOMPARE(rig.prompt.boxes.size(), 2);
        QCOMPARE(rig.prompt.boxes[1].text, QStringLiteral("Operation completed."));
        QCOMPARE(rig.prompt.boxes[1].title, QStringLiteral("Corvanta"));
        QCOMPARE(rig.prompt.boxes[1].buttons, int(pf::MbOk));
        QCOMPARE(w.Label2[0]->text(), QStringLiteral("Operation completed."));
        QCOMPARE(w.Label2[1]->text(), QString());
        QCOMPARE(w.ProgressBar1->value(), 0);
        // The counts still show the diskette as it was.
        QCOMPARE(w.Label3[0]->text(), QStringLiteral("2"));
        QCOMPARE(w.Label3[1]->text(), QStringLiteral("1"));
        w.close();
    }

    // A file that cannot be deleted is named with the reason, success is
    // not claimed, and the wait window closes. A diskette taken out before
    // the erase stops it before anything is deleted.
    void eraseFailures()
    {
        Rig rig;
        HookedFs &fs = hookFs(rig);
        const QString a = rig.a();
        QDir().mkpath(rig.c() + QStringLiteral("/Pics"));
        for (const char *n : {"PIC1.JPG", "pic2.jpg", "CLIP.MPG", "DATA.411"})
            writeFile(a + QLatin1Char('/') + QLatin1String(n), n);
        fs.beforeDelete = [](const QString &path) {
            if (path.endsWith(QLatin1String("pic2.jpg"), Qt::CaseInsensitive))
                return pf::Status(pf::makeError(pf::ErrPermissionDenied, QStringLiteral("Permission denied"), path));
            return pf::Status();
        };
        frmMain &w = rig.openMain();
        rig.shared.imageFolder = rig.shared.videoFolder = QStringLiteral("C:\\Pics\\");
        rig.prompt.boxes.clear();
        rig.prompt.answers = {pf::AnsYes, pf::AnsOk};

        w.Command1_Click();

        QCOMPARE(entries(a), QStringList{"pic2.jpg"});
        QCOMPARE(rig.prompt.titles(), (QStringList{"Erase Source Diskette?", "Erase Incomplete"}));
        QCOMPARE(rig.prompt.texts()[1], QStringLiteral("These files could not be deleted and are still on the diskette:\r"
                                                       "a:\\pic2.jpg: Permission denied (error 70)"));
        QCOMPARE(w.Label2[0]->text(), QStringLiteral("1 file could not be erased."));
        QVERIFY(!visibleTopLevel(QStringLiteral("frmPleaseWait")));

        // The diskette taken out after the copies were made.
        writeFile(a + QStringLiteral("/PIC3.JPG"), "three");
        const QString away = rig.c() + QStringLiteral("/taken out");
        QDir(rig.c() + QStringLiteral("/Pics")).removeRecursively();
        QDir().mkpath(rig.c() + QStringLiteral("/Pics"));
        fs.afterCopy = [&](const QString &source, const QString &) {
            if (source.endsWith(QLatin1String("PIC3.JPG")))
                QDir().rename(a, away);
        };
        rig.prompt.boxes.clear();
        rig.prompt.answers = {pf::AnsYes, pf::AnsOk};
        w.Command1_Click();
        QCOMPARE(rig.prompt.titles(), (QStringList{"Erase Source Diskette?", "Diskette Not Erased"}));
        QCOMPARE(rig.prompt.titles().last(), QStringLiteral("Diskette Not Erased"));
        QVERIFY2(rig.prompt.texts().last().contains(QStringLiteral("its original cannot be read")),
                 qPrintable(rig.prompt.texts().last()));
        QVERIFY(!rig.prompt.texts().contains(QStringLiteral("Operation completed.")));
        QCOMPARE(entries(away), (QStringList{"PIC3.JPG", "pic2.jpg"}));
        QVERIFY(!visibleTopLevel(QStringLiteral("frmPleaseWait")));
    }
};

PIXFERRY_TEST_MAIN(TestNamingErase)
#include "test_naming_erase.moc"
