// Copy Disk through its handler: real folders as drives A: and C:, the clash
// dialog and the boxes answered by script, the copies' names and contents
// checked on disk.

#include "settings/store.h"
#include "tests/support/copykit.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QThread>
#include <QTimer>

using namespace testkit;

namespace {

const QDateTime kJuly(QDate(2003, 7, 4), QTime(9, 5, 7));
const QString kJulyName = QStringLiteral("07_04_2003_090507.JPG");
const QString kEraseTitle = QStringLiteral("Erase Source Diskette?");

// A main window over temporary drives, with its image folder C:\Pics\ and
// its video folder C:\Clips\ (both there unless told otherwise).
struct Desk {
    Rig rig;
    HookedFs *fs = nullptr;
    frmMain *w = nullptr;
    QString a, pics, clips;

    explicit Desk(bool keepNames, bool makeFolders = true)
    {
        fs = &hookFs(rig);
        a = rig.a();
        pics = rig.c() + QStringLiteral("/Pics");
        clips = rig.c() + QStringLiteral("/Clips");
        if (makeFolders) {
            QDir().mkpath(pics);
            QDir().mkpath(clips);
        }
        w = &rig.openMain();
        rig.shared.imageFolder = QStringLiteral("C:\\Pics\\");
        rig.shared.videoFolder = QStringLiteral("C:\\Clips\\");
        w->Check1->setChecked(keepNames);  // not saved: the tick as it stands counts
        rig.prompt.boxes.clear();
    }

    QString onDisk(const QString &name) const { return a + QLatin1Char('/') + name; }
    QString pic(const QString &name) const { return pics + QLatin1Char('/') + name; }
    QString clip(const QString &name) const { return clips + QLatin1Char('/') + name; }
};

// What the status panel showed at the moment of each copy.
struct Shown {
    QStringList status, file;
    QList<int> progress, maximum;
};

void recordAtEachCopy(Desk &d, Shown &shown)
{
    d.fs->beforeCopy = [&d, &shown](const QString &, const QString &) {
        shown.status << d.w->Label2[0]->text();
        shown.file << d.w->Label2[1]->text();
        shown.progress << d.w->ProgressBar1->value();
        shown.maximum << d.w->ProgressBar1->maximum();
        return pf::Status();
    };
}

// Files on the diskette, each holding its own name.
void put(Desk &d, std::initializer_list<const char *> names)
{
    for (const char *n : names)
        writeFile(d.onDisk(QString::fromLatin1(n)), n);
}

QByteArray jpegBytes(Desk &d, const QString &name, const QDateTime &when, QColor colour)
{
    makeJpeg(d.onDisk(name), 64, 48, when, colour);
    return readFile(d.onDisk(name));
}

}  // namespace

class TestCopy : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        clearSettings();
        storeSetting(settings::kSplashScreen, QStringLiteral("False"));
    }

    // Each row of the naming table, with the file written and what it holds.
    void namingTable_data()
    {
        QTest::addColumn<bool>("keep");
        QTest::addColumn<bool>("clash");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("written");  // name of the new file, or empty
        QTest::addColumn<bool>("replaced");    // the existing file now holds the copy
        QTest::newRow("date-time name, free") << false << false << QString() << kJulyName << false;
        QTest::newRow("date-time name, replace") << false << true << "OKButton" << QString() << true;
        QTest::newRow("date-time name, rename") << false << true << "Command1" << "a" + kJulyName << false;
        QTest::newRow("kept name, free") << true << false << QString() << "PIC00012.JPG" << false;
        QTest::newRow("kept name, replace") << true << true << "OKButton" << QString() << true;
        QTest::newRow("kept name, rename") << true << true << "Command1" << "a1439PIC00012.JPG" << false;
        QTest::newRow("skip") << false << true << "Command2" << QString() << false;
        QTest::newRow("cancel") << true << true << "CancelButton" << QString() << false;
    }
    void namingTable()
    {
        QFETCH(bool, keep);
        QFETCH(bool, clash);
        QFETCH(QString, button);
        QFETCH(QString, written);
        QFETCH(bool, replaced);
        Desk d(keep);
        // An unsaved edit of the folder box does not count: imageFolder does.
        d.w->Text1[0]->setText(QStringLiteral("C:\\Elsewhere"));
        const QByteArray incoming = jpegBytes(d, QStringLiteral("PIC00012.JPG"), kJuly, Qt::red);
        const QString existingName = keep ? QStringLiteral("PIC00012.JPG") : kJulyName;
        QByteArray existing;
        if (clash) {
            makeJpeg(d.pic(existingName), 48, 64, kJuly.addDays(-1), Qt::blue);
            existing = readFile(d.pic(existingName));
        }
        DialogScript script{button.isEmpty() ? QStringList() : QStringList{button}};
        answerDialogs(d.rig, script);
        d.rig.prompt.answers = {pf::AnsNo};

        d.w->Command1_Click();

        QCOMPARE(script.shown, clash ? 1 : 0);
        if (clash) {
            QCOMPARE(script.newNames, QStringList{existingName});
            QCOMPARE(d.rig.shared.srcFile, QStringLiteral("a:\\PIC00012.JPG"));
            QCOMPARE(d.rig.shared.destFile, "C:\\Pics\\" + existingName);
        }
        QStringList expected;
        if (clash)
            expected << existingName;
        if (!written.isEmpty())
            expected << written;
        expected.sort();
        QCOMPARE(entries(d.pics), expected);
        if (!written.isEmpty())
            QCOMPARE(readFile(d.pic(written)), incoming);
        if (clash)
            QCOMPARE(readFile(d.pic(existingName)), replaced ? incoming : existing);
        QVERIFY(!QFileInfo::exists(d.rig.c() + QStringLiteral("/Elsewhere")));
        const bool cancelled = button == QLatin1String("CancelButton");
        QCOMPARE(d.w->Label2[0]->text(), cancelled ? QStringLiteral("Operation cancelled.") : QStringLiteral("Operation completed."));
        QCOMPARE(d.rig.prompt.titles(), cancelled ? QStringList() : QStringList{kEraseTitle});
        // The diskette is left as it was after No.
        QCOMPARE(readFile(d.onDisk(QStringLiteral("PIC00012.JPG"))), incoming);
    }

    // "Re&place All" and "Re&name All" settle the rest of one operation and
    // are forgotten when the next starts; "&Skip this image" sets nothing.
    void standingChoices()
    {
        Desk d(false);
        QByteArray src[3];
        QStringList names;
        for (int i = 0; i < 3; ++i) {
            const QDateTime when = kJuly.addSecs(i);
            src[i] = jpegBytes(d, QStringLiteral("IMG%1.JPG").arg(i), when, QColor::fromHsv(i * 100, 200, 200));
            names << QStringLiteral("07_04_2003_09050%1.JPG").arg(7 + i);
            writeFile(d.pic(names.last()), "old");
        }
        d.rig.prompt.fallback = pf::AnsNo;

        DialogScript replaceAll{{QStringLiteral("Command3")}};
        answerDialogs(d.rig, replaceAll);
        d.w->Command1_Click();
        QCOMPARE(replaceAll.shown, 1);
        QVERIFY(d.rig.shared.replaceAll);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(readFile(d.pic(names[i])), src[i]);

        // The next operation asks again; "Re&name All" renames the rest.
        DialogScript renameAll{{QStringLiteral("Command4")}};
        answerDialogs(d.rig, renameAll);
        d.w->Command1_Click();
        QCOMPARE(renameAll.shown, 1);
        QVERIFY(!d.rig.shared.replaceAll);
        QVERIFY(d.rig.shared.renameAll);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(readFile(d.pic("a" + names[i])), src[i]);

        DialogScript skips{{QStringLiteral("Command2"), QStringLiteral("Command2"), QStringLiteral("Command2")}};
        answerDialogs(d.rig, skips);
        d.w->Command1_Click();
        QCOMPARE(skips.shown, 3);
        QVERIFY(!d.rig.shared.replaceAll && !d.rig.shared.renameAll);
        QCOMPARE(entries(d.pics).size(), 6);
        QCOMPARE(d.rig.prompt.titles(), QStringList(3, kEraseTitle));
    }

    // Two images of one diskette with the same date and time: the second
    // meets the first as a clash. Replacing it means only the second's copy
    // is kept, and the erase still goes ahead.
    void twinsOnOneDiskette()
    {
        Desk d(false);
        jpegBytes(d, QStringLiteral("IMG1.JPG"), kJuly, Qt::red);
        const QByteArray second = jpegBytes(d, QStringLiteral("IMG2.JPG"), kJuly, Qt::green);
        DialogScript script{{QStringLiteral("OKButton")}};
        answerDialogs(d.rig, script);
        d.rig.prompt.answers = {pf::AnsYes, pf::AnsOk};
        d.w->Command1_Click();
        QCOMPARE(script.newNames, QStringList{kJulyName});
        QCOMPARE(entries(d.pics), QStringList{kJulyName});
        QCOMPARE(readFile(d.pic(kJulyName)), second);
        QCOMPARE(d.rig.prompt.texts().last(), QStringLiteral("Operation completed."));
        QCOMPARE(entries(d.a), QStringList());
    }

    // "&Cancel" (or the close box) at the third of five images: two settled,
    // status "Operation cancelled.", no movie pass, no erase prompt.
    void exitAtThird_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("cancel button") << "CancelButton";
        QTest::newRow("close box") << "close box";
    }
    void exitAtThird()
    {
        QFETCH(QString, how);
        Desk d(true);
        QByteArray src[5];
        for (int i = 0; i < 5; ++i) {
            src[i] = jpegBytes(d, QStringLiteral("P%1.JPG").arg(i), kJuly, QColor::fromHsv(i * 60, 200, 200));
            writeFile(d.pic(QStringLiteral("P%1.JPG").arg(i)), "old");
        }
        writeFile(d.onDisk(QStringLiteral("CLIP.MPG")), "clip");
        DialogScript script{{QStringLiteral("Command2"), QStringLiteral("OKButton"), how}};
        answerDialogs(d.rig, script);

        d.w->Command1_Click();

        QCOMPARE(script.shown, 3);
        QCOMPARE(d.rig.shared.dupAction, QStringLiteral("Exit"));
        QCOMPARE(readFile(d.pic(QStringLiteral("P0.JPG"))), QByteArray("old"));
        QCOMPARE(readFile(d.pic(QStringLiteral("P1.JPG"))), src[1]);
        for (int i = 2; i < 5; ++i)
            QCOMPARE(readFile(d.pic(QStringLiteral("P%1.JPG").arg(i))), QByteArray("old"));
        QCOMPARE(entries(d.pics).size(), 5);
        QCOMPARE(entries(d.clips), QStringList());
        QCOMPARE(d.rig.prompt.boxes.size(), 0);
        QCOMPARE(d.w->Label2[0]->text(), QStringLiteral("Operation cancelled."));
        QCOMPARE(d.w->Label2[1]->text(), QString());
        QCOMPARE(d.w->ProgressBar1->value(), 0);
    }

    // The status panel while each file is copied, and F3.
    void progressAndCaptions()
    {
        Desk d(true);
        put(d, {"a.jpg", "B.JPG", "c.Jpg", "m1.mpg", "M2.MPG", "notes.txt"});
        QDir(d.a).mkpath(QStringLiteral("sub"));
        writeFile(d.a + QStringLiteral("/sub/deep.jpg"), "d");
        Shown shown;
        recordAtEachCopy(d, shown);
        d.rig.prompt.answers = {pf::AnsNo};

        QTest::keyClick(d.w, Qt::Key_F3);

        QCOMPARE(shown.status, (QStringList{"Copying Image Files...(1 of 3)", "Copying Image Files...(2 of 3)",
                                            "Copying Image Files...(3 of 3)", "Copying Movie Clips...(1 of 2)",
                                            "Copying Movie Clips...(2 of 2)"}));
        QCOMPARE(shown.file, (QStringList{"a.jpg", "B.JPG", "c.Jpg", "m1.mpg", "M2.MPG"}));
        QCOMPARE(shown.progress, (QList<int>{0, 1, 2, 0, 1}));
        QCOMPARE(shown.maximum, (QList<int>{3, 3, 3, 2, 2}));
        QCOMPARE(entries(d.pics), (QStringList{"B.JPG", "a.jpg", "c.Jpg"}));
        QCOMPARE(entries(d.clips), (QStringList{"M2.MPG", "m1.mpg"}));
        QCOMPARE(readFile(d.clip(QStringLiteral("M2.MPG"))), QByteArray("M2.MPG"));
        QCOMPARE(d.w->Label3[0]->text(), QStringLiteral("3"));
        QCOMPARE(d.w->Label3[1]->text(), QStringLiteral("2"));
        QCOMPARE(d.rig.prompt.boxes.size(), 1);
        QCOMPARE(d.rig.prompt.boxes[0].text,
                 QStringLiteral("Files have been successfully copied.\rDo you want Pixferry to erase the source disk?"));
        QCOMPARE(d.rig.prompt.boxes[0].buttons, int(pf::MbYesNo));
        // No: nothing on the diskette changes, no wait window, no closing box.
        QCOMPARE(entries(d.a), (QStringList{"B.JPG", "M2.MPG", "a.jpg", "c.Jpg", "m1.mpg", "notes.txt", "sub"}));
        QVERIFY(!d.w->findChild<QWidget *>(QStringLiteral("frmPleaseWait")));
        QCOMPARE(d.w->Label2[0]->text(), QStringLiteral("Operation completed."));
        QCOMPARE(d.w->Label2[1]->text(), QString());
        QCOMPARE(d.w->ProgressBar1->value(), 0);
        QVERIFY(!d.w->busy());
    }

    // A diskette with clips only, one of them clashing: no image caption,
    // the clip gets the time in front, the existing one stays as it was.
    void clipsOnly()
    {
        Desk d(false);
        writeFile(d.onDisk(QStringLiteral("CLIP0003.MPG")), QByteArray(300000, 'c'));
        writeFile(d.onDisk(QStringLiteral("CLIP0004.MPG")), "four");
        writeFile(d.clip(QStringLiteral("CLIP0004.MPG")), "existing");
        Shown shown;
        recordAtEachCopy(d, shown);
        d.rig.prompt.answers = {pf::AnsOk, pf::AnsNo};

        d.w->Command1_Click();

        QCOMPARE(d.rig.prompt.texts(),
                 (QStringList{"A file named CLIP0004.MPG already exists.  The file being copied will be automatically renamed.",
                              "Files have been successfully copied.\rDo you want Pixferry to erase the source disk?"}));
        QCOMPARE(d.rig.prompt.titles(), (QStringList{pf::appTitle(), kEraseTitle}));
        QCOMPARE(d.rig.prompt.boxes[0].buttons, int(pf::MbOk));
        QCOMPARE(shown.status, (QStringList{"Copying Movie Clips...(1 of 2)", "Copying Movie Clips...(2 of 2)"}));
        QCOMPARE(entries(d.clips), (QStringList{"1439CLIP0004.MPG", "CLIP0003.MPG", "CLIP0004.MPG"}));
        QCOMPARE(readFile(d.clip(QStringLiteral("CLIP0004.MPG"))), QByteArray("existing"));
        QCOMPARE(readFile(d.clip(QStringLiteral("1439CLIP0004.MPG"))), QByteArray("four"));
        QCOMPARE(readFile(d.clip(QStringLiteral("CLIP0003.MPG"))), QByteArray(300000, 'c'));
        QCOMPARE(entries(d.pics), QStringList());
    }

    // The destination folders, image folder first. Cancel in its box: the
    // video folder is not tested, nothing is copied. One that cannot be
    // made: told which and why, nothing copied. Images only: the video
    // folder is still tested (and made on OK), then the erase prompt.
    void destinationFolders()
    {
        Desk d(false, /*makeFolders=*/false);
        const QByteArray pic = jpegBytes(d, QStringLiteral("PIC.JPG"), kJuly, Qt::yellow);
        d.rig.prompt.answers = {pf::AnsCancel};
        d.w->Command1_Click();
        QCOMPARE(d.rig.prompt.titles(), QStringList{"Folder Does Not Exist!"});
        QVERIFY(d.rig.prompt.texts()[0].startsWith(QStringLiteral("The specified image directory:\rC:\\Pics\\\r")));
        QCOMPARE(d.w->Label3[0]->text(), QStringLiteral("1"));
        QCOMPARE(d.w->Label2[0]->text(), QStringLiteral("Status: Ready to Copy"));

        d.rig.shared.imageFolder = QStringLiteral("C:\\No\\Such\\");
        d.rig.prompt.boxes.clear();
        d.rig.prompt.answers = {pf::AnsOk};
        d.w->Command1_Click();
        QCOMPARE(d.rig.prompt.titles(), (QStringList{"Folder Does Not Exist!", "Folder Not Created"}));
        QCOMPARE(d.rig.prompt.texts()[1],
                 QStringLiteral("The folder\rC:\\No\\Such\\\rcould not be created: No such file or directory (error 76)\r\r"
                                "Nothing has been copied. Please choose a different folder on the options tab."));
        QCOMPARE(d.fs->copies, 0);
        QCOMPARE(entries(d.rig.c()), QStringList());

        d.rig.shared.imageFolder = QStringLiteral("C:\\Pics\\");
        d.rig.prompt.boxes.clear();
        d.rig.prompt.answers = {pf::AnsOk, pf::AnsOk, pf::AnsNo};
        d.w->Command1_Click();
        QCOMPARE(d.rig.prompt.titles(), (QStringList{"Folder Does Not Exist!", "Folder Does Not Exist!", kEraseTitle}));
        QVERIFY(d.rig.prompt.texts()[1].startsWith(QStringLiteral("The specified video directory:\rC:\\Clips\\\r")));
        QCOMPARE(entries(d.clips), QStringList());
        QCOMPARE(readFile(d.pic(kJulyName)), pic);
    }

    // A rename target that is taken is never overwritten: one more "a".
    void takenRenameTargets()
    {
        Desk d(false);
        const QByteArray pic = jpegBytes(d, QStringLiteral("PIC.JPG"), kJuly, Qt::red);
        writeFile(d.onDisk(QStringLiteral("CLIP.MPG")), "new clip");
        for (const QString &n : {kJulyName, "a" + kJulyName})
            writeFile(d.pic(n), n.toLatin1());
        for (const char *n : {"CLIP.MPG", "1439CLIP.MPG", "a1439CLIP.MPG"})
            writeFile(d.clip(QString::fromLatin1(n)), n);
        DialogScript script{{QStringLiteral("Command1")}};
        answerDialogs(d.rig, script);
        d.rig.prompt.fallback = pf::AnsNo;
        d.w->Command1_Click();
        QCOMPARE(readFile(d.pic("aa" + kJulyName)), pic);
        QCOMPARE(readFile(d.pic(kJulyName)), kJulyName.toLatin1());
        QCOMPARE(readFile(d.pic("a" + kJulyName)), ("a" + kJulyName).toLatin1());
        QCOMPARE(readFile(d.clip(QStringLiteral("aa1439CLIP.MPG"))), QByteArray("new clip"));
        QCOMPARE(readFile(d.clip(QStringLiteral("1439CLIP.MPG"))), QByteArray("1439CLIP.MPG"));
        QCOMPARE(entries(d.clips).size(), 4);

        // Names kept: "a" + time + name, then "aa" + time + name.
        d.w->Check1->setChecked(true);
        writeFile(d.pic(QStringLiteral("PIC.JPG")), "kept");
        writeFile(d.pic(QStringLiteral("a1439PIC.JPG")), "taken");
        script.answers = {QStringLiteral("Command1")};
        d.w->Command1_Click();
        QCOMPARE(readFile(d.pic(QStringLiteral("aa1439PIC.JPG"))), pic);
        QCOMPARE(readFile(d.pic(QStringLiteral("a1439PIC.JPG"))), QByteArray("taken"));
    }

    // A file that appears under the final name between the clash test and
    // the landing of the copy is kept; the copy takes the next free name.
    void nameTakenWhileCopying()
    {
        Desk d(false);
        const QByteArray pic = jpegBytes(d, QStringLiteral("PIC.JPG"), kJuly, Qt::red);
        writeFile(d.onDisk(QStringLiteral("CLIP.MPG")), "clip");
        d.fs->beforeCopy = [&](const QString &, const QString &dst) {
            const QString host = *d.fs->hostPath(dst);
            if (dst.endsWith("\\" + kJulyName) || dst.endsWith(QLatin1String("\\CLIP.MPG")))
                writeFile(host, "intruder");
            return pf::Status();
        };
        d.rig.prompt.answers = {pf::AnsNo};
        d.w->Command1_Click();
        QCOMPARE(readFile(d.pic(kJulyName)), QByteArray("intruder"));
        QCOMPARE(readFile(d.pic("a" + kJulyName)), pic);
        QCOMPARE(readFile(d.clip(QStringLiteral("CLIP.MPG"))), QByteArray("intruder"));
        QCOMPARE(readFile(d.clip(QStringLiteral("1439CLIP.MPG"))), QByteArray("clip"));
        QCOMPARE(entries(d.pics).size() + entries(d.clips).size(), 4);  // and no temporary file left
        QCOMPARE(d.rig.prompt.titles(), QStringList{kEraseTitle});
    }

    // A failed copy names the file and the reason; OK goes on, Cancel stops.
    // Either way: no "successfully copied", no erase, and the count of files
    // not copied in a box and in the status line.
    void failedCopy_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("OK goes on") << int(pf::AnsOk);
        QTest::newRow("Cancel stops") << int(pf::AnsCancel);
    }
    void failedCopy()
    {
        QFETCH(int, answer);
        Desk d(true);
        put(d, {"P1.JPG", "P2.JPG", "P3.JPG", "CLIP.MPG"});
        writeFile(d.pic(QStringLiteral("P2.JPG")), "existing");
        d.fs->beforeCopy = [](const QString &src, const QString &dst) {
            if (src.endsWith(QLatin1String("P2.JPG")))
                return pf::Status(pf::makeError(pf::ErrDiskFull, QStringLiteral("No space left on device"), dst));
            return pf::Status();
        };
        DialogScript script{{QStringLiteral("OKButton")}};
        answerDialogs(d.rig, script);
        d.rig.prompt.answers = {answer, pf::AnsOk};

        d.w->Command1_Click();

        const QStringList texts = d.rig.prompt.texts();
        QCOMPARE(texts.size(), 2);
        QCOMPARE(texts[0], QStringLiteral("The file P2.JPG could not be copied to C:\\Pics\\\r"
                                          "No space left on device (error 61)\r\r"
                                          "Click OK to go on with the next file, or Cancel to stop copying."));
        QCOMPARE(d.rig.prompt.boxes[0].buttons, int(pf::MbOkCancel));
        QVERIFY(!d.rig.prompt.titles().contains(kEraseTitle));
        QCOMPARE(readFile(d.pic(QStringLiteral("P2.JPG"))), QByteArray("existing"));
        QCOMPARE(readFile(d.pic(QStringLiteral("P1.JPG"))), QByteArray("P1.JPG"));
        if (answer == pf::AnsOk) {
            QCOMPARE(readFile(d.pic(QStringLiteral("P3.JPG"))), QByteArray("P3.JPG"));
            QCOMPARE(readFile(d.clip(QStringLiteral("CLIP.MPG"))), QByteArray("CLIP.MPG"));
            QCOMPARE(texts[1], QStringLiteral("1 file could not be copied.\rThe source diskette has not been erased."));
        } else {
            QCOMPARE(entries(d.pics), (QStringList{"P1.JPG", "P2.JPG"}));
            QCOMPARE(entries(d.clips), QStringList());
            QCOMPARE(texts[1], QStringLiteral("Copying was stopped.\r1 file could not be copied.\r"
                                              "The source diskette has not been erased."));
        }
        QCOMPARE(d.w->Label2[0]->text(), QStringLiteral("1 file could not be copied."));
        QCOMPARE(d.w->Label2[1]->text(), QStringLiteral("The diskette was not erased."));
        QCOMPARE(d.w->ProgressBar1->value(), 0);
        QCOMPARE(entries(d.a).size(), 4);
    }

    // Before the erase every copy is read back and compared with its source;
    // a copy that differs or is missing stops the erase and is named.
    void checkBeforeErase()
    {
        Desk d(true);
        for (const char *n : {"P1.JPG", "P2.JPG", "P3.JPG"})
            writeFile(d.onDisk(QString::fromLatin1(n)), QByteArray(5000, n[1]));
        writeFile(d.onDisk(QStringLiteral("CLIP.MPG")), QByteArray(9 << 20, 'm'));
        d.fs->afterCopy = [&](const QString &src, const QString &dst) {
            const QString host = *d.fs->hostPath(dst);
            if (src.endsWith(QLatin1String("P2.JPG"))) {
                QFile f(host);  // one byte changed, same length
                QVERIFY(f.open(QIODevice::ReadWrite));
                f.seek(4000);
                f.write("x");
            } else if (src.endsWith(QLatin1String("CLIP.MPG"))) {
                QFile::remove(host);
            }
        };
        d.rig.prompt.answers = {pf::AnsYes, pf::AnsOk};

        d.w->Command1_Click();

        QCOMPARE(d.rig.prompt.titles(), (QStringList{kEraseTitle, "Diskette Not Erased"}));
        QCOMPARE(d.rig.prompt.texts()[1], QStringLiteral("These copies do not match the files on the diskette:\r"
                                                         "C:\\Pics\\P2.JPG (different content)\r"
                                                         "C:\\Clips\\CLIP.MPG (missing)\r\r"
                                                         "The source diskette has not been erased."));
        QCOMPARE(entries(d.a), (QStringList{"CLIP.MPG", "P1.JPG", "P2.JPG", "P3.JPG"}));
        QCOMPARE(d.w->Label2[0]->text(), QStringLiteral("2 copies do not match."));
        QCOMPARE(d.w->Label2[1]->text(), QStringLiteral("The diskette was not erased."));
        QVERIFY(!d.w->findChild<QWidget *>(QStringLiteral("frmPleaseWait")));

        // Put right, the same diskette copies again (renamed), checks out
        // and is erased.
        d.fs->afterCopy = nullptr;
        DialogScript script{{QStringLiteral("Command4")}};
        answerDialogs(d.rig, script);
        d.rig.prompt.boxes.clear();
        d.rig.prompt.answers = {pf::AnsYes, pf::AnsOk};
        d.w->Command1_Click();
        QCOMPARE(d.rig.prompt.texts().last(), QStringLiteral("Operation completed."));
        QCOMPARE(entries(d.a), QStringList());
        QCOMPARE(readFile(d.pic(QStringLiteral("a1439P2.JPG"))), QByteArray(5000, '2'));
        QCOMPARE(readFile(d.clip(QStringLiteral("CLIP.MPG"))).size(), 9 << 20);
    }

    // Long work keeps the windows drawing: timers run between files and the
    // wait window's dots grow while the erase works; the window cannot be
    // closed meanwhile.
    void keepsPainting()
    {
        Desk d(true);
        d.w->show();
        for (int i = 0; i < 4; ++i)
            writeFile(d.onDisk(QStringLiteral("P%1.JPG").arg(i)), "p");
        bool timerRanWhileBusy = false;
        QTimer::singleShot(0, d.w, [&] { timerRanWhileBusy = d.w->busy(); });
        d.fs->beforeCopy = [&](const QString &, const QString &) {
            QThread::msleep(80);
            d.w->close();  // refused while the command runs
            return pf::Status();
        };
        QStringList dots;
        d.fs->beforeDelete = [&](const QString &) {
            QThread::msleep(400);
            for (QWidget *top : QApplication::topLevelWidgets())
                if (top->objectName() == QLatin1String("frmPleaseWait") && top->isVisible())
                    dots << child<QLabel>(top, QStringLiteral("Label1"))->text();
            return pf::Status();
        };
        d.rig.prompt.answers = {pf::AnsYes, pf::AnsOk};
        d.w->Command1_Click();
        QVERIFY(timerRanWhileBusy);
        QVERIFY(d.w->isVisible());
        QCOMPARE(dots.size(), 4);
        QCOMPARE(dots.first(), QStringLiteral("Please wait..."));
        QVERIFY2(dots.last().startsWith(QStringLiteral("Please wait....")), qPrintable(dots.last()));
        QCOMPARE(entries(d.a), QStringList());
        d.w->close();
        QVERIFY(!d.w->isVisible());
    }
};

PIXFERRY_TEST_MAIN(TestCopy)
#include "test_copy.moc"
