// Copy Disk through its handler, the dialog and boxes answered by script. Files already in a
// destination hold "old"; a copy holds the name it had on the diskette.

#include "tests/support/copykit.h"

#include <QThread>
#include <QTimer>

using namespace testkit;

namespace {

const QDateTime kJuly(QDate(2003, 7, 4), QTime(9, 5, 7));
const QString kJulyName = "07_04_2003_090507.JPG";
const QString kErase = "Erase Source Diskette?";

// The status line, the file line and the progress bar as they stand.
QStringList panel(Desk &d)
{
    return {d.w->Label2[0]->text(), d.w->Label2[1]->text(), QString::number(d.w->ProgressBar1->value())};
}

// The panel, with the progress bar's maximum, at the moment of each copy.
void recordAtEachCopy(Desk &d, QStringList &shown)
{
    d.fs->beforeCopy = [&d, &shown](const QString &, const QString &) {
        shown << panel(d).join(" | ") + "/" + QString::number(d.w->ProgressBar1->maximum());
        return pf::Status();
    };
}

// Every file of a folder as "name=content", sorted by name.
QStringList listing(const QString &folder)
{
    QStringList out;
    for (const QString &name : entries(folder))
        out << name + '=' + readFile(folder + '/' + name);
    return out;
}

void putOld(const QString &folder, const QStringList &names)
{
    for (const QString &name : names)
        writeFile(folder + '/' + name, "old");
}

QString P(int i) { return QString("P%1.JPG").arg(i); }

}  // namespace

class TestCopy : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Each row of the naming table: the button pressed in the dialog (none:
    // no clash), and the image folder afterwards.
    void namingTable_data()
    {
        QTest::addColumn<bool>("keep");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("date-time name, free") << false << "" << QStringList{kJulyName + "=PIC00012.JPG"};
        QTest::newRow("date-time name, replace") << false << "OKButton" << QStringList{kJulyName + "=PIC00012.JPG"};
        QTest::newRow("date-time name, rename")
            << false << "Command1" << QStringList{kJulyName + "=old", "a" + kJulyName + "=PIC00012.JPG"};
        QTest::newRow("kept name, free") << true << "" << QStringList{"PIC00012.JPG=PIC00012.JPG"};
        QTest::newRow("kept name, replace") << true << "OKButton" << QStringList{"PIC00012.JPG=PIC00012.JPG"};
        QTest::newRow("kept name, rename") << true << "Command1" << QStringList{"PIC00012.JPG=old", "a1439PIC00012.JPG=PIC00012.JPG"};
        QTest::newRow("skip") << false << "Command2" << QStringList{kJulyName + "=old"};
        QTest::newRow("cancel") << true << "CancelButton" << QStringList{"PIC00012.JPG=old"};
    }
    void namingTable()
    {
        QFETCH(bool, keep);
        QFETCH(QString, button);
        QFETCH(QStringList, after);
        Desk d(keep);
        d.w->Text1[0]->setText("C:\\Elsewhere");  // unsaved: imageFolder counts
        d.put({"PIC00012.JPG"}, kJuly);
        const QString old = keep ? "PIC00012.JPG" : kJulyName;
        if (!button.isEmpty()) {
            putOld(d.pics, {old});
            d.answers = {button};
        }
        const bool cancelled = button == "CancelButton";
        QCOMPARE(d.copyDisk({pf::AnsNo}), cancelled ? QStringList() : QStringList{kErase});
        QCOMPARE(listing(d.pics), after);
        QCOMPARE(d.newNames, button.isEmpty() ? QStringList() : QStringList{old});
        if (!button.isEmpty())
            QCOMPARE(d.rig.shared.srcFile + " " + d.rig.shared.destFile, "a:\\PIC00012.JPG C:\\Pics\\" + old);
        QCOMPARE(d.w->Label2[0]->text(), QString(cancelled ? "Operation cancelled." : "Operation completed."));
    }

    // "Re&place All" and "Re&name All" settle the rest of one operation and
    // are forgotten when the next starts; "&Skip this image" sets nothing.
    void standingChoices()
    {
        Desk d(false);
        QStringList names, after;
        for (int i = 0; i < 3; ++i) {
            d.put({P(i)}, kJuly.addSecs(i));
            names << QString("07_04_2003_09050%1.JPG").arg(7 + i);
            after << names[i] + "=" + P(i) << "a" + names[i] + "=" + P(i);
        }
        putOld(d.pics, names);
        for (const QStringList &answers : {QStringList{"Command3"}, {"Command4"}, {"Command2", "Command2", "Command2"}}) {
            d.answers = answers;
            QCOMPARE(d.copyDisk({pf::AnsNo}), QStringList{kErase});
            QCOMPARE(d.newNames.size(), answers.size());
        }
        after.sort();
        QCOMPARE(listing(d.pics), after);
    }

    // "&Cancel" or the close box at the third of five images: two settled,
    // no movie pass, no box.
    void exitAtThird()
    {
        for (const QString how : {"CancelButton", "close box"}) {
            Desk d(true);
            d.put({P(0), P(1), P(2), P(3), P(4), "CLIP.MPG"});
            putOld(d.pics, {P(0), P(1), P(2), P(3), P(4)});
            d.answers = {"Command2", "OKButton", how};
            QCOMPARE(d.copyDisk({}), QStringList());
            QCOMPARE(d.newNames.size(), 3);
            QCOMPARE(listing(d.pics), (QStringList{"P0.JPG=old", "P1.JPG=P1.JPG", "P2.JPG=old", "P3.JPG=old", "P4.JPG=old"}));
            QCOMPARE(entries(d.clips), QStringList());
            QCOMPARE(panel(d), (QStringList{"Operation cancelled.", "", "0"}));
        }
    }

    // The status panel while each file is copied, F3, the movie clash (the
    // time in front, the existing clip kept), and No to the erase.
    void progressAndMovieClash()
    {
        Desk d(true);
        d.put({"a.jpg", "B.JPG", "c.Jpg", "m1.mpg", "M2.MPG", "notes.txt"});
        QDir(d.a).mkpath("sub");
        d.put({"sub/deep.jpg"});
        putOld(d.clips, {"M2.MPG"});
        QStringList shown;
        recordAtEachCopy(d, shown);
        d.rig.prompt.answers = {pf::AnsOk, pf::AnsNo};
        QTest::keyClick(d.w, Qt::Key_F3);
        QCOMPARE(shown, (QStringList{"Copying Image Files...(1 of 3) | a.jpg | 0/3",
                                     "Copying Image Files...(2 of 3) | B.JPG | 1/3",
                                     "Copying Image Files...(3 of 3) | c.Jpg | 2/3",
                                     "Copying Movie Clips...(1 of 2) | m1.mpg | 0/2",
                                     "Copying Movie Clips...(2 of 2) | M2.MPG | 1/2"}));
        QCOMPARE(listing(d.pics), (QStringList{"B.JPG=B.JPG", "a.jpg=a.jpg", "c.Jpg=c.Jpg"}));
        QCOMPARE(listing(d.clips), (QStringList{"1439M2.MPG=M2.MPG", "M2.MPG=old", "m1.mpg=m1.mpg"}));
        QCOMPARE(d.rig.prompt.texts(),
                 (QStringList{"A file named M2.MPG already exists.  The file being copied will be automatically renamed.",
                              "Files have been successfully copied.\rDo you want Pixferry to erase the source disk?"}));
        QCOMPARE(d.rig.prompt.titles(), (QStringList{pf::appTitle(), kErase}));
        QCOMPARE(d.rig.prompt.boxes[0].buttons, pf::MbOk);
        QCOMPARE(d.rig.prompt.boxes[1].buttons, pf::MbYesNo);
        QCOMPARE(entries(d.a), (QStringList{"B.JPG", "M2.MPG", "a.jpg", "c.Jpg", "m1.mpg", "notes.txt", "sub"}));
        QVERIFY(!d.w->findChild<QWidget *>("frmPleaseWait"));
        QCOMPARE(panel(d), (QStringList{"Operation completed.", "", "0"}));
    }

    // The destination folders, image folder first. Cancel in its box: the
    // video folder is not tested, nothing copied. One that cannot be made:
    // told which and why, nothing copied. Images only: the video folder is
    // still tested (and made on OK). Clips only: no image pass.
    void destinationFoldersAndPasses()
    {
        Desk d(false, /*makeFolders=*/false);
        d.put({"PIC.JPG"}, kJuly);
        QCOMPARE(d.copyDisk({pf::AnsCancel}), QStringList{"Folder Does Not Exist!"});
        QVERIFY(d.rig.prompt.texts()[0].startsWith("The specified image directory:\rC:\\Pics\\\r"));
        QCOMPARE(d.fs->copies, 0);

        d.rig.shared.imageFolder = "C:\\No\\Such\\";
        QCOMPARE(d.copyDisk({pf::AnsOk}), (QStringList{"Folder Does Not Exist!", "Folder Not Created"}));
        QCOMPARE(d.rig.prompt.texts()[1],
                 "The folder\rC:\\No\\Such\\\rcould not be created: No such file or directory (error 76)\r\r"
                 "Nothing has been copied. Please choose a different folder on the options tab.");
        QCOMPARE(d.fs->copies, 0);
        QCOMPARE(entries(d.rig.c()), QStringList());

        d.rig.shared.imageFolder = "C:\\Pics\\";
        QCOMPARE(d.copyDisk({pf::AnsOk, pf::AnsOk, pf::AnsNo}),
                 (QStringList{"Folder Does Not Exist!", "Folder Does Not Exist!", kErase}));
        QVERIFY(d.rig.prompt.texts()[1].startsWith("The specified video directory:\rC:\\Clips\\\r"));
        QVERIFY(QFileInfo(d.clips).isDir());
        QCOMPARE(listing(d.pics), QStringList{kJulyName + "=PIC.JPG"});

        QVERIFY(QFile::remove(d.onDisk("PIC.JPG")));
        writeFile(d.onDisk("CLIP.MPG"), QByteArray(300000, 'c'));
        QStringList shown;
        recordAtEachCopy(d, shown);
        QCOMPARE(d.copyDisk({pf::AnsNo}), QStringList{kErase});
        QCOMPARE(shown, QStringList{"Copying Movie Clips...(1 of 1) | CLIP.MPG | 0/1"});
        QCOMPARE(readFile(d.clip("CLIP.MPG")), QByteArray(300000, 'c'));
        QCOMPARE(entries(d.pics), QStringList{kJulyName});
    }

    // A rename target that is taken is never overwritten: one more "a".
    void takenNames()
    {
        Desk d(false);
        d.put({"PIC.JPG", "CLIP.MPG"}, kJuly);
        putOld(d.pics, {kJulyName, "a" + kJulyName});
        putOld(d.clips, {"CLIP.MPG", "1439CLIP.MPG", "a1439CLIP.MPG"});
        d.answers = {"Command1"};
        d.copyDisk({pf::AnsNo});
        QCOMPARE(listing(d.pics), (QStringList{kJulyName + "=old", "a" + kJulyName + "=old", "aa" + kJulyName + "=PIC.JPG"}));
        QCOMPARE(listing(d.clips),
                 (QStringList{"1439CLIP.MPG=old", "CLIP.MPG=old", "a1439CLIP.MPG=old", "aa1439CLIP.MPG=CLIP.MPG"}));

        d.w->Check1->setChecked(true);  // "a" + time + name, then "aa" + time + name
        putOld(d.pics, {"PIC.JPG", "a1439PIC.JPG"});
        d.answers = {"Command1"};
        d.copyDisk({pf::AnsNo});
        QCOMPARE(listing(d.pics).filter("PIC.JPG="), (QStringList{"PIC.JPG=old", "a1439PIC.JPG=old", "aa1439PIC.JPG=PIC.JPG"}));

        // Nor is a file that appears under the final name between the clash
        // test and the landing of the copy: the copy takes the next free name.
        Desk race(false);
        race.put({"PIC.JPG", "CLIP.MPG"}, kJuly);
        race.fs->beforeCopy = [&](const QString &, const QString &dst) {
            if (dst.endsWith("\\" + kJulyName) || dst.endsWith("\\CLIP.MPG"))
                writeFile(*race.fs->hostPath(dst), "old");
            return pf::Status();
        };
        QCOMPARE(race.copyDisk({pf::AnsNo}), QStringList{kErase});
        QCOMPARE(listing(race.pics), (QStringList{kJulyName + "=old", "a" + kJulyName + "=PIC.JPG"}));
        QCOMPARE(listing(race.clips), (QStringList{"1439CLIP.MPG=CLIP.MPG", "CLIP.MPG=old"}));

        // Names are found without regard to case, those of this run's own
        // copies too: two pictures of one second clash. Replacing the copy
        // made moments before keeps the earlier picture on the diskette.
        Desk cased(true);
        cased.put({"P1.JPG", "P2.JPG"});
        putOld(cased.pics, {"p1.jpg"});
        cased.answers = {"OKButton"};
        cased.copyDisk({pf::AnsNo});
        QCOMPARE(listing(cased.pics), (QStringList{"P2.JPG=P2.JPG", "p1.jpg=P1.JPG"}));
        for (const QString button : {"Command1", "OKButton"}) {
            Desk twins(false);
            twins.put({"X.JPG", "Y.JPG"}, kJuly);
            twins.answers = {button};
            QString caption;  // over the existing image: a copy of moments ago
            const auto answer = twins.rig.prompt.onModal;
            twins.rig.prompt.onModal = [&](QDialog &dialog) {
                caption = child<QLabel>(&dialog, "Label5")->text();
                answer(dialog);
            };
            QCOMPARE(twins.copyDisk({pf::AnsYes, pf::AnsOk}), (QStringList{kErase, pf::appTitle()}));
            QCOMPARE(caption, "Existing Image (copied from this diskette a moment ago):");
            QCOMPARE(twins.newNames, QStringList{kJulyName});
            const bool replaced = button == "OKButton";
            const QStringList after = replaced ? QStringList{kJulyName + "=Y.JPG"}
                                               : QStringList{kJulyName + "=X.JPG", "a" + kJulyName + "=Y.JPG"};
            QCOMPARE(listing(twins.pics), after);
            QCOMPARE(entries(twins.a), replaced ? QStringList{"X.JPG"} : QStringList{});
        }
    }

    // A failed copy names the file and the reason; OK goes on, Cancel stops.
    // Either way: no "successfully copied", no erase, and the count of files
    // not copied in a box and in the status line.
    void failedCopy()
    {
        for (const bool goOn : {true, false}) {
            Desk d(true);
            d.put({"P1.JPG", "P2.JPG", "P3.JPG", "CLIP.MPG"});
            putOld(d.pics, {"P2.JPG"});
            d.fs->beforeCopy = [](const QString &src, const QString &dst) {
                return src.endsWith("P2.JPG") ? pf::Status(pf::makeError(pf::ErrDiskFull, "No space left on device", dst))
                                              : pf::Status();
            };
            d.answers = {"OKButton"};
            QCOMPARE(d.copyDisk({goOn ? pf::AnsOk : pf::AnsCancel, pf::AnsOk}).size(), 2);
            QCOMPARE(d.rig.prompt.texts()[0], "The file P2.JPG could not be copied to C:\\Pics\\\r"
                                              "No space left on device (error 61)\r\r"
                                              "Click OK to go on with the next file, or Cancel to stop copying.");
            QCOMPARE(d.rig.prompt.boxes[0].buttons, pf::MbOkCancel);
            QCOMPARE(d.rig.prompt.texts()[1], QString(goOn ? "" : "Copying was stopped.\r") +
                                                  "1 file could not be copied.\rThe source diskette has not been erased.");
            QCOMPARE(listing(d.pics), QStringList({"P1.JPG=P1.JPG", "P2.JPG=old", "P3.JPG=P3.JPG"}).mid(0, goOn ? 3 : 2));
            QCOMPARE(listing(d.clips), goOn ? QStringList{"CLIP.MPG=CLIP.MPG"} : QStringList());
            QCOMPARE(panel(d), (QStringList{"1 file could not be copied.", "The diskette was not erased.", "0"}));
            QCOMPARE(entries(d.a).size(), 4);
        }
    }

    // Before the erase every copy is read back and compared with its source;
    // a copy that differs or is missing stops the erase and is named.
    void checkBeforeErase()
    {
        Desk d(true);
        d.put({"P1.JPG", "P2.JPG", "P3.JPG", "CLIP.MPG"});
        d.fs->afterCopy = [&](const QString &src, const QString &dst) {
            QFile f(*d.fs->hostPath(dst));
            if (src.endsWith("P2.JPG"))  // one byte changed, same length
                QVERIFY(f.open(QIODevice::ReadWrite) && f.seek(3) && f.write("x") == 1);
            else if (src.endsWith("CLIP.MPG"))
                QVERIFY(f.remove());
        };
        QCOMPARE(d.copyDisk({pf::AnsYes, pf::AnsOk}), (QStringList{kErase, "Diskette Not Erased"}));
        QCOMPARE(d.rig.prompt.texts()[1], "These copies do not match the files on the diskette:\r"
                                          "C:\\Pics\\P2.JPG (different content)\rC:\\Clips\\CLIP.MPG (missing)\r\r"
                                          "The source diskette has not been erased.");
        QCOMPARE(entries(d.a), (QStringList{"CLIP.MPG", "P1.JPG", "P2.JPG", "P3.JPG"}));
        QCOMPARE(panel(d), (QStringList{"2 copies do not match.", "The diskette was not erased.", "0"}));
    }

    // Two images of the same second: the second's copy replaces the first's
    // and the check before the erase still passes (a large clip too). Long
    // work keeps the windows drawing: timers run between files and the wait
    // window's dots grow; the window cannot be closed meanwhile.
    void erasesWhileDrawing()
    {
        Desk d(false);
        d.w->show();
        d.put({"IMG1.JPG", "IMG2.JPG", "NOTES.TXT"}, kJuly);
        d.put({"IMG3.JPG"}, kJuly.addSecs(1));
        d.put({"IMG4.JPG"}, kJuly.addSecs(2));
        writeFile(d.onDisk("CLIP.MPG"), QByteArray(9 << 20, 'm'));
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
            if (QWidget *wait = visibleTopLevel("frmPleaseWait"))
                dots << child<QLabel>(wait, "Label1")->text();
            return pf::Status();
        };
        d.answers = {"OKButton"};
        QCOMPARE(d.copyDisk({pf::AnsYes, pf::AnsOk}), (QStringList{kErase, pf::appTitle()}));
        QCOMPARE(listing(d.pics), (QStringList{kJulyName + "=IMG2.JPG", "07_04_2003_090508.JPG=IMG3.JPG", "07_04_2003_090509.JPG=IMG4.JPG"}));
        QCOMPARE(readFile(d.clip("CLIP.MPG")), QByteArray(9 << 20, 'm'));
        QCOMPARE(entries(d.a), (QStringList{"IMG1.JPG", "NOTES.TXT"}));
        QVERIFY(timerRanWhileBusy);
        QVERIFY(d.w->isVisible());
        QCOMPARE(dots.size(), 4);
        QCOMPARE(dots.first(), "Please wait...");
        QVERIFY2(dots.last().startsWith("Please wait...."), qPrintable(dots.last()));
        d.w->close();
        QVERIFY(!d.w->isVisible());
    }
};

PIXFERRY_TEST_MAIN(TestCopy)
#include "test_copy.moc"
