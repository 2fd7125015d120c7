// The parts of Copy Disk on their own: the date-time names, the questions as
// message boxes, and what a finished operation shows.

#include "platform/hostnames.h"
#include "tests/support/corekit.h"
#include "transfer/copyreport.h"
#include "transfer/naming.h"

using namespace testkit;

Q_DECLARE_METATYPE(CopyOutcome::End)
Q_DECLARE_METATYPE(FailedChoice)

namespace {

// Gives every file the date a test sets, or reads it from the disk.
struct DatedFs : pf::FileSystem {
    using pf::FileSystem::FileSystem;
    std::optional<QDateTime> when;
    pf::Result<QDateTime> fileDate(const QString &path) override
    {
        return when ? pf::Result<QDateTime>(*when) : pf::FileSystem::fileDate(path);
    }
};

}  // namespace

class TestCopyParts : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // MM_DD_YYYY_HHMMSS and the last three characters of the name as they
    // stand; a date without a year of four digits makes no name.
    void dateTimeNames_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QVariant>("when");  // as the file system gives it; none: the file's own date on the disk
        QTest::addColumn<QString>("name");   // or what was said instead
        const QString noName = "has a date that cannot be used for a name (a year outside 1000 to 9999) (error 75)";
        auto at = [](QDate d, QTime t) { return QVariant(QDateTime(d, t)); };
        QTest::newRow("the file's own date") << "PIC00012.JPG" << QVariant() << "07_04_2003_090507.JPG";
        QTest::newRow("gone since the listing") << "GONE.JPG" << QVariant() << "No such file or directory (error 53)";
        QTest::newRow("small letters") << "pic.jpg" << at({2003, 7, 4}, {9, 5, 7}) << "07_04_2003_090507.jpg";
        QTest::newRow("midnight") << "P.JPG" << at({2004, 1, 1}, {0, 0}) << "01_01_2004_000000.JPG";
        QTest::newRow("a second before") << "I.jpg" << at({1999, 12, 31}, {23, 59, 59}) << "12_31_1999_235959.jpg";
        QTest::newRow("*.jpeg: the last three") << "h.jpeg" << at({2005, 5, 6}, {7, 8, 9}) << "05_06_2005_070809.peg";
        QTest::newRow("year 1000") << "P.JPG" << at({1000, 1, 1}, {0, 0}) << "01_01_1000_000000.JPG";
        QTest::newRow("year 10000") << "P.JPG" << at({10000, 1, 1}, {0, 0}) << noName;
        QTest::newRow("year 999") << "P.JPG" << at({999, 12, 31}, {23, 59, 59}) << noName;
        QTest::newRow("no date") << "P.JPG" << QVariant(QDateTime()) << noName;
    }
    void dateTimeNames()
    {
        QFETCH(QString, file);
        QFETCH(QVariant, when);
        Drives d;
        DatedFs fs(d.map());
        if (when.isValid())
            fs.when = when.toDateTime();
        else if (file != "GONE.JPG")
            writeFile(d.root('A') + '/' + file, "x", QDateTime({2003, 7, 4}, {9, 5, 7}));
        const pf::Result<QString> name = dateTimeName(fs, "a:\\" + file);
        QTEST(name.ok() ? *name : name.error().describe(), "name");
    }

    // The time in front of a renamed copy has no leading zeros.
    void timePrefixes()
    {
        QCOMPARE(timePrefix({14, 3, 9}), "1439");
        QCOMPARE(timePrefix({9, 5, 7}), "957");
        QCOMPARE(timePrefix({0, 0, 0}), "000");
        QCOMPARE(timePrefix({23, 59, 59}), "235959");
    }

    // Each question of Copy Disk as its box, and what the answer means.
    void questions_data()
    {
        QTest::addColumn<QString>("question");
        QTest::addColumn<pf::MsgAnswer>("answer");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QString>("title");
        QTest::addColumn<pf::MsgButtons>("buttons");
        QTest::addColumn<QString>("text");
        const QString create = "The specified %1 directory:\r%2\rdoes not exist.\r\r"
                               "Click OK to create it, or click cancel to select a different one on the options tab.";
        const QString failed = "The file P.JPG could not be copied to C:\\Pics\\\r%1\r\r"
                               "Click OK to go on with the next file, or Cancel to stop copying.";
        QTest::newRow("create the image folder: OK") << "create image" << pf::AnsOk << true << "Folder Does Not Exist!"
                                                     << pf::MbOkCancel << create.arg("image", "C:\\Pics\\");
        QTest::newRow("create the video folder: Cancel") << "create video" << pf::AnsCancel << false
                                                         << "Folder Does Not Exist!" << pf::MbOkCancel
                                                         << create.arg("video", "C:\\Clips\\");
        QTest::newRow("not created")
            << "not created" << pf::AnsOk << true << "Folder Not Created" << pf::MbOk
            << "The folder\rC:\\No\\\rcould not be created: No such file or directory (error 76)\r\r"
               "Nothing has been copied. Please choose a different folder on the options tab.";
        QTest::newRow("on the diskette")
            << "on diskette" << pf::AnsOk << true << "Folder On Diskette" << pf::MbOk
            << "The video folder\rA:\\DCIM\\\rlies on the diskette in drive A:.  Files copied there would be erased "
               "with the diskette.\r\rNothing has been copied.  Please choose a folder on another drive on the "
               "options tab.";
        QTest::newRow("a clip renamed, its name not UTF-8")
            << "clip renamed" << pf::AnsOk << true << pf::appTitle() << pf::MbOk
            << "A file named F\uFFFDte.MPG already exists.  The file being copied will be automatically renamed.";
        QTest::newRow("failed in the image folder: Cancel") << "failed" << pf::AnsCancel << false << "Copy Failed"
                                                            << pf::MbOkCancel
                                                            << failed.arg("No space left on device (error 61)");
        QTest::newRow("failed, a folder in the way of a name holding %2")
            << "failed, folder" << pf::AnsOk << true << "Copy Failed" << pf::MbOkCancel
            << "The file 50%2.JPG could not be copied to C:\\Pics\\\rA folder (or something else that is not a file) "
               "is already named 50%2.JPG (error 58)\r\r"
               "Click OK to go on with the next file, or Cancel to stop copying.";
        QTest::newRow("failed on the diskette: OK")
            << "failed on diskette" << pf::AnsOk << true << "Copy Failed" << pf::MbOkCancel
            << failed.arg("The file on the diskette changed while it was copied (error 75)");
        const QString erase = "Files have been successfully copied.\rDo you want Pixferry to erase the source disk?";
        const QString title = "Erase Source Diskette?";
        QTest::newRow("erase: Yes") << "erase" << pf::AnsYes << true << title << pf::MbYesNo << erase;
        QTest::newRow("erase: No") << "erase" << pf::AnsNo << false << title << pf::MbYesNo << erase;
    }
    void questions()
    {
        QFETCH(QString, question);
        QFETCH(pf::MsgAnswer, answer);
        ScriptedPrompt prompt;
        prompt.answers = {answer};
        PromptAsker asker(prompt, [](bool) { return ClashChoice::Skip; });
        bool result = true;
        if (question == "create image")
            result = asker.createFolder(FolderKind::Image, "C:\\Pics\\");
        else if (question == "create video")
            result = asker.createFolder(FolderKind::Video, "C:\\Clips\\");
        else if (question == "not created")
            asker.folderNotCreated("C:\\No\\", pf::makeError(pf::ErrPathNotFound, "No such file or directory"));
        else if (question == "on diskette")
            asker.folderOnDiskette(FolderKind::Video, "A:\\DCIM\\");
        else if (question == "clip renamed")
            asker.clipRenamed(pf::fromHostName("F\xe9te.MPG"));
        else if (question == "failed")
            result = asker.copyFailed("P.JPG", "C:\\Pics\\", pf::makeError(pf::ErrDiskFull, "No space left on device"),
                                      false) == FailedChoice::GoOn;
        else if (question == "failed, folder")
            result = asker.copyFailed("50%2.JPG", "C:\\Pics\\",
                                      pf::makeError(pf::ErrFileExists,
                                                    "A folder (or something else that is not a file) is already named "
                                                    "50%2.JPG"),
                                      false) == FailedChoice::GoOn;
        else if (question == "failed on diskette")
            result = asker.copyFailed("P.JPG", "C:\\Pics\\",
                                      pf::sourceError(pf::ErrPathFileAccess, "changed while it was copied", "a:\\"),
                                      false) == FailedChoice::GoOn;
        else
            result = asker.erase();
        QTEST(result, "result");
        QCOMPARE(prompt.boxes.size(), 1);
        QTEST(prompt.boxes[0].title, "title");
        QTEST(prompt.boxes[0].buttons, "buttons");
        QTEST(prompt.boxes[0].text, "text");
    }

    // What a finished operation shows, for the ends without an erase.
    void report_data()
    {
        QTest::addColumn<CopyOutcome::End>("end");
        QTest::addColumn<bool>("stopped");
        QTest::addColumn<QStringList>("shown");  // status, file line, box text, box title
        using End = CopyOutcome::End;
        const QString notErased = "2 files could not be copied.\rThe source diskette has not been erased.";
        QTest::newRow("failed, went on")
            << End::Failed << false
            << QStringList{"2 files could not be copied.", "The diskette was not erased.", notErased,
                           "Diskette Not Erased"};
        QTest::newRow("failed, stopped")
            << End::Failed << true
            << QStringList{"2 files could not be copied.", "The diskette was not erased.",
                           "Copying was stopped.\r" + notErased, "Diskette Not Erased"};
        QTest::newRow("cancelled") << End::Cancelled << true << QStringList{"Operation cancelled.", "", "", ""};
        QTest::newRow("declined") << End::Declined << false << QStringList{"Operation completed.", "", "", ""};
        QTest::newRow("a copy differs")
            << End::CopiesDiffer << false
            << QStringList{"1 copy does not match.", "The diskette was not erased.",
                           "These copies do not match the files on the diskette:\rC:\\Pics\\P.JPG (missing)\r\r"
                           "The source diskette has not been erased.",
                           "Diskette Not Erased"};
    }
    void report()
    {
        QFETCH(CopyOutcome::End, end);
        CopyOutcome out;
        out.end = end;
        QFETCH(bool, stopped);
        out.stopped = stopped;
        if (end == CopyOutcome::End::Failed)
            out.notCopied = {"P1.JPG", "P2.JPG"};
        out.mismatches = {{"a:\\P.JPG", "C:\\Pics\\P.JPG", "missing", {}}};
        const CopyReport r = reportOf(out);
        QTEST((QStringList{r.status, r.fileLine, r.boxText, r.boxTitle}), "shown");
    }

    // A read of the diskette that failed for good says so whatever the
    // driver called it; only a stretch that cannot be read is one to keep
    // what could be read around (not a diskette that is gone). The same
    // error of the folder copied to is the folder's.
    void readErrors_data()
    {
        QTest::addColumn<int>("err");
        QTest::addColumn<QString>("said");
        QTest::addColumn<qint64>("unreadableAt");
        const QString io = "cannot be read: input/output error (error 57)";
        QTest::newRow("input/output error") << EIO << io << qint64(4096);
        QTest::newRow("operation not permitted, as a diskette image's driver says") << EPERM << io << qint64(4096);
        QTest::newRow("permission denied") << EACCES << io << qint64(4096);
        QTest::newRow("the diskette taken out")
            << ENXIO << "cannot be read: no such device or address (error 68)" << qint64(-1);
        QTest::newRow("no medium") << ENOMEDIUM << "cannot be read: no medium found (error 68)" << qint64(-1);
    }
    void readErrors()
    {
        QFETCH(int, err);
        const pf::PlatformError e = pf::readError(err, "a:\\P.JPG", 4096);
        QTEST(e.describe(), "said");
        QTEST(e.unreadableAt, "unreadableAt");
        QCOMPARE(e.sourceSide, true);
        QCOMPARE(pf::errorFromErrno(EIO, "C:\\Pics\\P.JPG").describe(), "Input/output error (error 57)");
    }

    // The "Copy Failed" box of a file that could be read in part: the
    // same text with a line for the third button, and each answer.
    void keepReadableBox_data()
    {
        QTest::addColumn<pf::MsgAnswer>("answer");
        QTest::addColumn<FailedChoice>("choice");
        QTest::newRow("Keep Readable Part") << pf::AnsKeep << FailedChoice::KeepReadable;
        QTest::newRow("OK") << pf::AnsOk << FailedChoice::GoOn;
        QTest::newRow("Cancel, or the box closed") << pf::AnsCancel << FailedChoice::Stop;
    }
    void keepReadableBox()
    {
        QFETCH(pf::MsgAnswer, answer);
        ScriptedPrompt prompt;
        prompt.answers = {answer};
        PromptAsker asker(prompt, [](bool) { return ClashChoice::Skip; });
        QTEST(asker.copyFailed("P.JPG", "C:\\Pics\\", pf::readError(EIO, "a:\\P.JPG", 4096), true), "choice");
        QCOMPARE(prompt.boxes.size(), 1);
        QCOMPARE(prompt.boxes[0].title, "Copy Failed");
        QCOMPARE(prompt.boxes[0].buttons, pf::MbOkCancelKeep);
        QCOMPARE(prompt.boxes[0].text,
                 "The file P.JPG could not be copied to C:\\Pics\\\r"
                 "The file on the diskette cannot be read: input/output error (error 57)\r\r"
                 "Click OK to go on with the next file, or Cancel to stop copying.\r"
                 "Click Keep Readable Part to keep what could be read, with zeros in place of the rest, under a "
                 "name ending in \"_damaged\", and go on with the next file.");
    }

    // The closing box after a failed copy names what was kept of each file
    // read in part, with how many bytes could not be read; ten at most.
    void rescuedReport_data()
    {
        QTest::addColumn<QList<qint64>>("unreadable");  // of each file kept, in turn
        QTest::addColumn<QString>("kept");              // the box's text after "has not been erased."
        const QString one = "\r\rWhat could be read of this file was kept, with zeros in place of the rest:\r";
        const QString many = "\r\rWhat could be read of these files was kept, with zeros in place of the rest:\r";
        QTest::newRow("none") << QList<qint64>{} << "";
        QTest::newRow("one") << QList<qint64>{512} << one + "C:\\Pics\\P0_damaged.JPG (512 bytes could not be read)";
        QTest::newRow("one byte, and one read whole on the second reading")
            << QList<qint64>{1, 0}
            << many + "C:\\Pics\\P0_damaged.JPG (1 byte could not be read)\r"
                      "C:\\Pics\\P1_damaged.JPG (every byte could be read in the end)";
        QList<qint64> twelve(12, 4096);
        QString lines;
        for (int i = 0; i < 10; ++i)
            lines += QString("C:\\Pics\\P%1_damaged.JPG (4096 bytes could not be read)\r").arg(i);
        QTest::newRow("twelve") << twelve << many + lines + "... and 2 more.";
    }
    void rescuedReport()
    {
        QFETCH(QList<qint64>, unreadable);
        CopyOutcome out;
        out.end = CopyOutcome::End::Failed;
        for (qsizetype i = 0; i < unreadable.size(); ++i) {
            out.notCopied << QString("P%1.JPG").arg(i);
            out.rescued << RescuedFile{out.notCopied.last(), QString("C:\\Pics\\P%1_damaged.JPG").arg(i), unreadable[i]};
        }
        out.notCopied << "X.JPG" << "Y.JPG";  // two more that failed and were not kept
        const QString failed = QString("%1 files could not be copied.").arg(out.notCopied.size());
        const CopyReport r = reportOf(out);
        QCOMPARE(r.status, failed);
        QFETCH(QString, kept);
        QCOMPARE(r.boxText, failed + "\rThe source diskette has not been erased." + kept);
    }
};

PIXFERRY_CORE_TEST_MAIN(TestCopyParts)
#include "test_copyparts.moc"
