// Drive mapping, names and patterns, lists, look-ups and the copy's safety,
// on temporary folders; results that are read without being ok.

#include "platform/files.h"
#include "platform/lists.h"
#include "tests/support/testkit.h"

#include <QDir>

#include <csignal>
#include <optional>
#include <tuple>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace testkit;

namespace {

// How a child process ended that read the value of a failed result through
// `read`: the signal that ended it (0 when it exited) and what it said.
struct ChildEnd {
    int signal = 0;
    QByteArray said;
};

ChildEnd readFailedResultInChild(int read)
{
    int out[2];
    if (::pipe(out) != 0)
        return {-1, "no pipe"};
    const pid_t pid = ::fork();
    if (pid == 0) {
        // The child: no core file, the plain message output, stderr to the pipe.
        const struct rlimit noCore = {0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        qInstallMessageHandler(nullptr);
        ::dup2(out[1], STDERR_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        const pf::Result<QString> failed = pf::makeError(pf::ErrFileNotFound, QStringLiteral("File not found"),
                                                         QStringLiteral("a:\\GONE.JPG"));
        qsizetype size = 0;
        if (read == 0)
            size = failed.value().size();
        else if (read == 1)
            size = (*failed).size();
        else
            size = failed->size();
        ::_exit(int(size % 100));
    }
    ::close(out[1]);
    ChildEnd end;
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        end.said.append(buffer, n);
    ::close(out[0]);
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid)
        return {-1, "no child"};
    end.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return end;
}

}  // namespace


class TestPlatform : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void driveMapping()
    {
        Drives d;
        pf::FileSystem fs(d.map());
        QDir(d.root('C')).mkpath(QStringLiteral("Pics/Holiday"));
        writeFile(d.root('C') + QStringLiteral("/Pics/Holiday/Beach.JPG"), "x");

        // "\" names the root of drive C:, '/' is a separator like '\'.
        QCOMPARE(*fs.hostPath(QStringLiteral("\\")), d.root('C'));
        QCOMPARE(*fs.hostPath(QStringLiteral("c:/Pics\\Holiday")), d.root('C') + QStringLiteral("/Pics/Holiday"));
        // Names are found without regard to case; missing parts stay as written.
        QCOMPARE(*fs.hostPath(QStringLiteral("C:\\PICS\\holiday\\beach.jpg")),
                 d.root('C') + QStringLiteral("/Pics/Holiday/Beach.JPG"));
        QCOMPARE(*fs.hostPath(QStringLiteral("C:\\pics\\New\\x.jpg")), d.root('C') + QStringLiteral("/Pics/New/x.jpg"));
        writeFile(d.root('C') + QStringLiteral("/Pics/Holiday/Caf\u00e9.JPG"), "x");  // beyond ASCII too
        QCOMPARE(*fs.hostPath(QStringLiteral("C:\\pics\\holiday\\CAF\u00c9.jpg")),
                 d.root('C') + QStringLiteral("/Pics/Holiday/Caf\u00e9.JPG"));
        // ".." never climbs out of a drive.
        QCOMPARE(*fs.hostPath(QStringLiteral("a:\\..\\..\\etc")), d.root('A') + QStringLiteral("/etc"));
        QCOMPARE(fs.drives().toProgram(d.root('C') + QStringLiteral("/Pics/Holiday")), QStringLiteral("C:\\Pics\\Holiday"));
        QCOMPARE(fs.drives().toProgram(d.root('A')), QStringLiteral("A:\\"));

        // An unmapped letter and a missing folder are "device unavailable".
        QCOMPARE(fs.hostPath(QStringLiteral("q:\\x")).error().number, int(pf::ErrDeviceUnavailable));
        QCOMPARE(fs.selectDrive('Q').error().number, int(pf::ErrDeviceUnavailable));
        d.makeNotReady('A');
        pf::FileSystem notReady(d.map());
        QCOMPARE(notReady.selectDrive('a').error().number, int(pf::ErrDeviceUnavailable));
        QCOMPARE(notReady.findFirst(QStringLiteral("a:\\*.jpg"), 0).error().number, int(pf::ErrDeviceUnavailable));
        QCOMPARE(notReady.folderExists(QStringLiteral("a:\\")).error().number, int(pf::ErrDeviceUnavailable));
    }

    // Names are matched without regard to case, by one folding that the
    // patterns and the drive map's look-ups share.
    void namesAndPatterns_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("matches");
        QTest::newRow("ending, other case") << QStringLiteral("PIC00001.JPG") << QStringLiteral("*.jpg") << true;
        QTest::newRow("ending, other kind") << QStringLiteral("PIC00001.JPEG") << QStringLiteral("*.jpg") << false;
        QTest::newRow("ending longer than the name") << QStringLiteral("jpg") << QStringLiteral("*.jpg") << false;
        QTest::newRow("every name") << QStringLiteral("no dot") << QStringLiteral("*.*") << true;
        QTest::newRow("star alone") << QStringLiteral(".x.411") << QStringLiteral("*") << true;
        QTest::newRow("question marks") << QStringLiteral("p12.jpg") << QStringLiteral("P??.JPG") << true;
        QTest::newRow("question mark is one") << QStringLiteral("p1.jpg") << QStringLiteral("P??.JPG") << false;
        QTest::newRow("star in the middle") << QStringLiteral("MVI_0042.MPG") << QStringLiteral("mvi*.mpg") << true;
        QTest::newRow("beyond ASCII") << QStringLiteral("CAF\u00c9.JPG") << QStringLiteral("caf\u00e9.*") << true;
        QTest::newRow("exact name") << QStringLiteral("Index.411") << QStringLiteral("index.411") << true;
        QTest::newRow("not the whole name") << QStringLiteral("Index.4111") << QStringLiteral("index.411") << false;
    }

    void namesAndPatterns()
    {
        QFETCH(QString, name);
        QFETCH(QString, pattern);
        QFETCH(bool, matches);
        QCOMPARE(pf::matchesPattern(name, pattern), matches);
        // A pattern without wildcards matches exactly the names that fold alike.
        if (!pattern.contains(QLatin1Char('*')) && !pattern.contains(QLatin1Char('?')))
            QCOMPARE(pf::foldedName(name) == pf::foldedName(pattern), matches);
    }

    void singleNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("single");
        QTest::newRow("plain") << QStringLiteral("PIC00001.JPG") << true;
        QTest::newRow("hidden") << QStringLiteral(".x.411") << true;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("dot") << QStringLiteral(".") << false;
        QTest::newRow("dot dot") << QStringLiteral("..") << false;
        QTest::newRow("backslash") << QStringLiteral("x\\..\\y.jpg") << false;
        QTest::newRow("slash") << QStringLiteral("x/y.jpg") << false;
        QTest::newRow("nul") << QString(QStringLiteral("x") + QChar(0) + QStringLiteral("y.jpg")) << false;
    }

    void singleNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, single);
        QCOMPARE(pf::isSingleName(name), single);
    }

    void listsAndLookups()
    {
        Drives d;
        pf::FileSystem fs(d.map());
        const QString a = d.root('A');
        writeFile(a + QStringLiteral("/b.JPG"), "1");
        writeFile(a + QStringLiteral("/A.jpg"), "2");
        writeFile(a + QStringLiteral("/c.jpeg"), "3");
        writeFile(a + QStringLiteral("/.hidden.jpg"), "4");
        writeFile(a + QStringLiteral("/clip.MPG"), "5");
        writeFile(a + QStringLiteral("/.x.411"), "6");
        QDir(a).mkpath(QStringLiteral("sub.jpg"));
        QFile::link(a + QStringLiteral("/b.JPG"), a + QStringLiteral("/link.jpg"));

        // Plain files only, sorted by name without regard to case.
        QCOMPARE(*fs.listFiles(QStringLiteral("a:\\"), QStringLiteral("*.jpg")),
                 (QStringList{QStringLiteral("A.jpg"), QStringLiteral("b.JPG")}));
        QCOMPARE(*fs.listFiles(QStringLiteral("a:\\"), QStringLiteral("*.411")), QStringList());
        QCOMPARE(*fs.listFiles(QStringLiteral("a:\\"), QStringLiteral("*.411"), true), QStringList{QStringLiteral(".x.411")});
        QCOMPARE(*fs.findFirst(QStringLiteral("a:\\*.mpg"), pf::FindPlainFiles), QStringLiteral("clip.MPG"));
        QCOMPARE(*fs.findFirst(QStringLiteral("a:\\*.gif"), pf::FindPlainFiles), QString());
        QCOMPARE(fs.listFiles(QStringLiteral("a:\\nowhere"), QStringLiteral("*.*")).error().number, int(pf::ErrPathNotFound));

        // The folder existence test.
        QCOMPARE(*fs.folderExists(QStringLiteral("a:\\sub.jpg\\")), true);
        QCOMPARE(*fs.folderExists(QStringLiteral("a:\\SUB.JPG")), true);
        QCOMPARE(*fs.folderExists(QStringLiteral("a:\\none\\")), false);
        QCOMPARE(*fs.folderExists(QStringLiteral("a:\\b.JPG\\")), false);

        pf::FileList list(fs, QStringLiteral("*.JPG"));
        list.setPath(QStringLiteral("a:\\"));
        QVERIFY(list.refresh().ok());
        QCOMPARE(list.listCount(), 2);
        QCOMPARE(list.list(1), QStringLiteral("b.JPG"));
        QCOMPARE(list.list(5), QString());

        QCOMPARE(*fs.fileLength(QStringLiteral("a:\\A.jpg")), qint64(1));
        const QDateTime when(QDate(2003, 7, 4), QTime(9, 5, 7));
        writeFile(a + QStringLiteral("/dated.jpg"), "x", when);
        QCOMPARE(*fs.fileDate(QStringLiteral("a:\\DATED.JPG")), when);
        QCOMPARE(fs.fileDate(QStringLiteral("a:\\gone.jpg")).error().number, int(pf::ErrFileNotFound));

        // Make folder: one level, the parent must exist.
        QVERIFY(fs.makeFolder(QStringLiteral("c:\\New")).ok());
        QVERIFY(QFileInfo(d.root('C') + QStringLiteral("/New")).isDir());
        QCOMPARE(fs.makeFolder(QStringLiteral("c:\\x\\y")).error().number, int(pf::ErrPathNotFound));
    }

    void copySafety()
    {
        Drives d;
        pf::FileSystem fs(d.map());
        const QString a = d.root('A'), c = d.root('C');
        const QDateTime when(QDate(2004, 1, 1), QTime(0, 0, 0));
        writeFile(a + QStringLiteral("/new.jpg"), QByteArray(3 << 20, 'n'), when);
        writeFile(c + QStringLiteral("/old.jpg"), "old");

        // A fresh copy keeps the content and the source's date.
        QVERIFY(fs.copyFile(QStringLiteral("a:\\new.jpg"), QStringLiteral("c:\\fresh.jpg"), pf::CopyMode::NoReplace).ok());
        QCOMPARE(readFile(c + QStringLiteral("/fresh.jpg")), QByteArray(3 << 20, 'n'));
        QCOMPARE(QFileInfo(c + QStringLiteral("/fresh.jpg")).lastModified(), when);

        // Without replace, an existing file stays as it was.
        const pf::Status refused = fs.copyFile(QStringLiteral("a:\\new.jpg"), QStringLiteral("c:\\old.jpg"), pf::CopyMode::NoReplace);
        QCOMPARE(refused.error().number, int(pf::ErrFileExists));
        QCOMPARE(readFile(c + QStringLiteral("/old.jpg")), QByteArray("old"));

        // A copy that fails (the source is gone) leaves the destination intact
        // and no partial file behind.
        const pf::Status failed = fs.copyFile(QStringLiteral("a:\\missing.jpg"), QStringLiteral("c:\\old.jpg"), pf::CopyMode::Replace);
        QCOMPARE(failed.error().number, int(pf::ErrFileNotFound));
        QCOMPARE(readFile(c + QStringLiteral("/old.jpg")), QByteArray("old"));
        // A destination folder that does not exist.
        QVERIFY(!fs.copyFile(QStringLiteral("a:\\new.jpg"), QStringLiteral("c:\\nofolder\\x.jpg"), pf::CopyMode::Replace).ok());

        // Replace, when asked for, replaces.
        QVERIFY(fs.copyFile(QStringLiteral("a:\\new.jpg"), QStringLiteral("c:\\old.jpg"), pf::CopyMode::Replace).ok());
        QCOMPARE(readFile(c + QStringLiteral("/old.jpg")).size(), 3 << 20);
        QCOMPARE(entries(c), (QStringList{QStringLiteral("fresh.jpg"), QStringLiteral("old.jpg")}));
    }

    // A copy whose source changes while it is copied fails on the source's
    // side and leaves nothing: no file under the name, no hidden temporary
    // file, the old file as it was.
    void copyOfChangingSourceLeavesNothing_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<pf::CopyMode>("mode");
        QTest::addColumn<bool>("batch");
        QTest::newRow("small new copy") << 600 << pf::CopyMode::NoReplace << false;
        QTest::newRow("large new copy") << (3 << 20) << pf::CopyMode::NoReplace << false;
        QTest::newRow("replacing") << 600 << pf::CopyMode::Replace << false;
        QTest::newRow("small new copy, batch") << 600 << pf::CopyMode::NoReplace << true;
        QTest::newRow("replacing, batch") << (3 << 20) << pf::CopyMode::Replace << true;
    }

    void copyOfChangingSourceLeavesNothing()
    {
        QFETCH(int, size);
        QFETCH(pf::CopyMode, mode);
        QFETCH(bool, batch);
        Drives d;
        pf::FileSystem fs(d.map());
        const QString a = d.root('A'), c = d.root('C');
        writeFile(a + QStringLiteral("/P.JPG"), QByteArray(size, 'p'));
        const bool replacing = mode == pf::CopyMode::Replace;
        if (replacing)
            writeFile(c + QStringLiteral("/P.JPG"), "old");
        std::optional<pf::FileSystem::Batch> run;
        if (batch) {
            run.emplace(fs);
            QVERIFY(fs.fileDate(QStringLiteral("a:\\P.JPG")).ok());  // held open for the copy
        }
        const auto grow = [&](qint64, qint64) {
            QFile f(a + QStringLiteral("/P.JPG"));
            if (f.open(QIODevice::Append))
                f.write("more");
        };
        const pf::Status s = fs.copyFile(QStringLiteral("a:\\P.JPG"), QStringLiteral("c:\\P.JPG"), mode, grow);
        QCOMPARE(s.error().number, int(pf::ErrPathFileAccess));
        QVERIFY(s.error().sourceSide);
        QCOMPARE(s.error().reason, QStringLiteral("changed while it was copied"));
        QCOMPARE(entries(c), replacing ? QStringList{QStringLiteral("P.JPG")} : QStringList());
        QCOMPARE(readFile(c + QStringLiteral("/P.JPG")), replacing ? QByteArray("old") : QByteArray("<missing>"));
    }

    // In a batch the folders are held open and their listings remembered,
    // yet what someone else changes meanwhile is seen: a name taken in
    // another letter case stays untouched, a file added is listed.
    void batchSeesOthersChanges()
    {
        Drives d;
        pf::FileSystem fs(d.map());
        const QString c = d.root('C');
        const QDateTime when(QDate(2003, 7, 4), QTime(9, 5, 7));
        writeFile(d.root('A') + QStringLiteral("/P.JPG"), "p", when);
        pf::FileSystem::Batch batch(fs);
        QVERIFY(!fs.fileExists(QStringLiteral("c:\\X.JPG")));
        QCOMPARE(*fs.listFiles(QStringLiteral("c:\\"), QStringLiteral("*.jpg")), QStringList());
        QCOMPARE(*fs.fileDate(QStringLiteral("a:\\P.JPG")), when);

        QTest::qSleep(50);
        writeFile(c + QStringLiteral("/x.jpg"), "theirs");
        writeFile(c + QStringLiteral("/\u00e4rger.jpg"), "theirs");
        QVERIFY(fs.fileExists(QStringLiteral("c:\\X.JPG")));
        QVERIFY(fs.fileExists(QStringLiteral("c:\\\u00c4RGER.JPG")));
        QCOMPARE(fs.copyFile(QStringLiteral("a:\\P.JPG"), QStringLiteral("c:\\X.JPG"), pf::CopyMode::NoReplace).error().number,
                 int(pf::ErrFileExists));
        QCOMPARE(*fs.listFiles(QStringLiteral("c:\\"), QStringLiteral("*.jpg")),
                 (QStringList{QStringLiteral("x.jpg"), QStringLiteral("\u00e4rger.jpg")}));

        // Its own copies are found at once, in any case too.
        QVERIFY(fs.copyFile(QStringLiteral("a:\\P.JPG"), QStringLiteral("c:\\New.JPG"), pf::CopyMode::NoReplace).ok());
        QVERIFY(fs.fileExists(QStringLiteral("c:\\NEW.jpg")));
        QCOMPARE(entries(c), (QStringList{QStringLiteral("New.JPG"), QStringLiteral("x.jpg"), QStringLiteral("\u00e4rger.jpg")}));
        QCOMPARE(readFile(c + QStringLiteral("/x.jpg")), QByteArray("theirs"));
        QCOMPARE(QFileInfo(c + QStringLiteral("/New.JPG")).lastModified(), when);
    }

    void copyToFullDisk()
    {
        // A small file system that really fills up, where the machine lets us
        // make one; elsewhere this case is covered by the copy tests' seam.
        if (::geteuid() != 0)
            QSKIP("needs root to mount a small file system");
        Drives d;
        const QString small = d.root('D');
        if (QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                                         QStringLiteral("size=1m"), QStringLiteral("tmpfs"), small}) != 0)
            QSKIP("cannot mount a small file system here");
        pf::FileSystem fs(d.map());
        writeFile(d.root('A') + QStringLiteral("/big.mpg"), QByteArray(3 << 20, 'b'));
        writeFile(d.root('A') + QStringLiteral("/small.jpg"), QByteArray(600 << 10, 's'));
        writeFile(small + QStringLiteral("/big.mpg"), "keep me");
        writeFile(small + QStringLiteral("/filler"), QByteArray(700 << 10, 'f'));
        // Replacing, and new copies both large and small (each made its own
        // way): the disk fills up, the old file stays, no part is left.
        for (const auto &[from, to, mode] : {std::tuple{"a:\\big.mpg", "d:\\big.mpg", pf::CopyMode::Replace},
                                             std::tuple{"a:\\big.mpg", "d:\\new.mpg", pf::CopyMode::NoReplace},
                                             std::tuple{"a:\\small.jpg", "d:\\new.jpg", pf::CopyMode::NoReplace}}) {
            const pf::Status s = fs.copyFile(QString::fromLatin1(from), QString::fromLatin1(to), mode);
            QCOMPARE(s.error().number, int(pf::ErrDiskFull));
            QCOMPARE(readFile(small + QStringLiteral("/big.mpg")), QByteArray("keep me"));
            QCOMPARE(entries(small), (QStringList{QStringLiteral("big.mpg"), QStringLiteral("filler")}));
        }
        QProcess::execute(QStringLiteral("umount"), {small});
    }

    // Reading the value of a failed result stops the program with the
    // error's reason, rather than reading what is not there.
    void failedResultValueStops_data()
    {
        QTest::addColumn<int>("read");
        QTest::newRow("value()") << 0;
        QTest::newRow("operator*") << 1;
        QTest::newRow("operator->") << 2;
    }

    void failedResultValueStops()
    {
        QFETCH(int, read);
        const ChildEnd end = readFailedResultInChild(read);
        QCOMPARE(end.signal, SIGABRT);
        QVERIFY2(end.said.contains("File not found"), end.said.constData());
        QVERIFY2(end.said.contains("GONE.JPG"), end.said.constData());
    }
};

PIXFERRY_TEST_MAIN(TestPlatform)
#include "test_platform.moc"
