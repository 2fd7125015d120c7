// A hostile medium and faults under Copy Disk: special files never block,
// names that are not UTF-8 survive as their bytes, and a failed copy says
// which side failed and why.

#include "platform/hostnames.h"
#include "platform/picture.h"
#include "tests/support/copykit.h"

#include <QElapsedTimer>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testkit;

namespace {

const QDateTime kJuly(QDate(2003, 7, 4), QTime(9, 5, 7));
const QString kJulyName = "07_04_2003_090507.JPG";

// The names of a folder as the file system holds them, bytes and all.
QList<QByteArray> rawEntries(const QString &folder)
{
    QList<QByteArray> out;
    if (DIR *d = ::opendir(QFile::encodeName(folder).constData())) {
        while (dirent *e = ::readdir(d))
            if (qstrcmp(e->d_name, ".") != 0 && qstrcmp(e->d_name, "..") != 0)
                out << QByteArray(e->d_name);
        ::closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

// The second line of the first "Copy Failed" box: the reason.
QString failureReason(const Desk &d)
{
    for (const ShownBox &box : d.rig.prompt.boxes)
        if (box.title == "Copy Failed")
            return box.text.section('\r', 1, 1);
    return {};
}

}  // namespace

class TestHostileFiles : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A named pipe where a picture is expected, in the image folder or
    // swapped in on the diskette while the clash dialog is open: the copy
    // goes on at once, says why, and nothing on the diskette is lost.
    void specialFiles_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("keptOnDiskette");
        QTest::newRow("pipe under the destination name, skipped") << "destination" << QString() << true;
        QTest::newRow("pipe swapped in for the source, replaced")
            << "source" << "The file on the diskette is not a regular file (error 75)" << true;
    }
    void specialFiles()
    {
        QFETCH(QString, where);
        QFETCH(QString, reason);
        QFETCH(bool, keptOnDiskette);
        Desk d(true);
        d.put({"P.JPG", "Q.JPG"});
        QString pipe;
        if (where == "destination") {
            pipe = d.pic("P.JPG");
            QVERIFY(makeFifo(pipe));
            d.answers = {"Command2"};
        } else {
            writeFile(d.pic("P.JPG"), "old");
            pipe = d.onDisk("P.JPG");
            const auto answer = d.rig.prompt.onModal;
            d.rig.prompt.onModal = [pipe, answer](QDialog &dialog) {
                QVERIFY(QFile::remove(pipe));
                QVERIFY(makeFifo(pipe));
                answer(dialog);
            };
            d.answers = {"OKButton"};
        }
        d.rig.prompt.fallback = pf::AnsOk;
        QElapsedTimer clock;
        clock.start();
        PipeGuard guard(pipe);
        d.copyDisk({pf::AnsOk, pf::AnsYes});
        guard.done();
        QVERIFY2(!guard.letGo(), qPrintable(QString("waited on the pipe for %1 ms").arg(clock.elapsed())));
        QCOMPARE(failureReason(d), reason);
        QCOMPARE(entries(d.a).contains("P.JPG"), keptOnDiskette);
        QCOMPARE(readFile(d.pic("Q.JPG")), "Q.JPG");
    }

    // Which side failed, and why, in the failure box.
    void failureReasons_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("reason");
        QTest::newRow("the source grows while it is copied")
            << "grows" << "The file on the diskette changed while it was copied (error 75)";
        QTest::newRow("the source cannot be read")
            << "unreadable" << "The file on the diskette cannot be read: permission denied (error 70)";
        QTest::newRow("a folder has the picture's name")
            << "folder" << "A folder (or something else that is not a file) is already named P.JPG (error 58)";
        QTest::newRow("the image folder is full") << "full" << "No space left on device (error 61)";
    }
    void failureReasons()
    {
        QFETCH(QString, fault);
        QFETCH(QString, reason);
        Desk d(true);
        d.put({"P.JPG"});
        if (fault == "grows") {
            d.fs->duringCopy = [&](const QString &) {
                QFile f(d.onDisk("P.JPG"));
                if (f.open(QIODevice::Append))
                    f.write("more");
            };
        } else if (fault == "unreadable") {
            // As root a file cannot be made unreadable; the fault the system reports is staged.
            d.fs->beforeCopy = [](const QString &src, const QString &) { return pf::Status(pf::sourceError(EACCES, src)); };
        } else if (fault == "folder") {
            QDir(d.pics).mkdir("P.JPG");
        } else {
            d.fs->beforeCopy = [](const QString &, const QString &dst) { return pf::Status(pf::errorFromErrno(ENOSPC, dst)); };
        }
        d.rig.prompt.fallback = pf::AnsOk;
        QCOMPARE(d.copyDisk({}).first(), "Copy Failed");
        QCOMPARE(failureReason(d), reason);
        QVERIFY2(!entries(d.pics).contains("aP.JPG"), "the picture went to another name in silence");
        QVERIFY(entries(d.a).contains("P.JPG"));
    }

    // A name written under another code page ("F\xe9te.jpg"): listed, shown
    // with a replacement character, copied under its own bytes (or its date
    // name), checked and erased by its own bytes.
    void latin1Name_data()
    {
        QTest::addColumn<bool>("keep");
        QTest::addColumn<QByteArray>("copyName");
        QTest::newRow("names kept") << true << QByteArray("F\xe9te.jpg");
        QTest::newRow("date-time names") << false << QByteArray("07_04_2003_090507.jpg");
    }
    void latin1Name()
    {
        QFETCH(bool, keep);
        QFETCH(QByteArray, copyName);
        Desk d(keep);
        const QByteArray raw = QFile::encodeName(d.a) + "/F\xe9te.jpg";
        const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, "latin", 5), ssize_t(5));
        ::close(fd);
        const struct timespec times[2] = {{kJuly.toSecsSinceEpoch(), 0}, {kJuly.toSecsSinceEpoch(), 0}};
        QCOMPARE(::utimensat(AT_FDCWD, raw.constData(), times, 0), 0);
        QString shown;
        d.fs->beforeCopy = [&](const QString &, const QString &) {
            shown = d.w->Label2[1]->text();
            return pf::Status();
        };

        QCOMPARE(d.copyDisk({pf::AnsYes}), (QStringList{"Erase Source Diskette?", pf::appTitle()}));

        QCOMPARE(d.w->Label3[0]->text(), "1");
        QCOMPARE(shown, QString("F") + QChar(QChar::ReplacementCharacter) + "te.jpg");
        QCOMPARE(rawEntries(d.pics), QList<QByteArray>{copyName});
        const QByteArray copyPath = QFile::encodeName(d.pics) + '/' + copyName;
        const int in = ::open(copyPath.constData(), O_RDONLY);
        QVERIFY(in >= 0);
        char buffer[16] = {};
        QCOMPARE(::read(in, buffer, sizeof buffer), ssize_t(5));
        ::close(in);
        QCOMPARE(QByteArray(buffer), "latin");
        QCOMPARE(rawEntries(d.a), QList<QByteArray>{});

        // The preview finds such a picture by its name too.
        QImage picture(40, 30, QImage::Format_RGB32);
        picture.fill(Qt::red);
        QVERIFY(picture.save(QString::fromLocal8Bit(QFile::encodeName(d.a)) + "/shown.jpg", "JPG"));
        QCOMPARE(::rename(QFile::encodeName(d.a + "/shown.jpg").constData(), raw.constData()), 0);
        const pf::Result<pf::Picture> loaded = pf::loadPicture(*d.fs, "a:\\" + pf::fromHostName("F\xe9te.jpg"));
        QVERIFY2(loaded.ok(), qPrintable(loaded.ok() ? QString() : loaded.error().reason));
        QCOMPARE(loaded.value().natural, QSize(40, 30));
    }
};

PIXFERRY_TEST_MAIN(TestHostileFiles)
#include "test_hostile_files.moc"
