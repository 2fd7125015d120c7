// The file services on temporary folders: drive mapping, names and patterns,
// lists and look-ups, and the copy (whatever fails, nothing half-written is
// left and nothing is replaced unasked); results read without being ok.

#include "platform/files.h"
#include "platform/hostnames.h"
#include "platform/lists.h"
#include "platform/noreplace.h"
#include "tests/support/testkit.h"

#include <QDir>
#include <QScopeGuard>

#include <csignal>
#include <optional>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace testkit;
using Mode = pf::CopyMode;

namespace {

// How a child process ended that read the value of a failed result through
// `read` (0 value(), 1 operator*, 2 operator->): the signal that ended it (0
// when it exited) and what it wrote to its standard error.
std::pair<int, QByteArray> readFailedResultInChild(int read)
{
    QTemporaryFile said;
    if (!said.open())
        return {-1, "no file for the child's output"};
    const pid_t pid = ::fork();
    if (pid == 0) {
        const struct rlimit noCore = {0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        qInstallMessageHandler(nullptr);
        ::dup2(said.handle(), STDERR_FILENO);
        const pf::Result<QString> failed = pf::makeError(pf::ErrFileNotFound, "File not found", "a:\\GONE.JPG");
        const qsizetype size = read == 0 ? failed.value().size() : read == 1 ? (*failed).size() : failed->size();
        ::_exit(int(size % 100));
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid)
        return {-1, "no child"};
    return {WIFSIGNALED(status) ? WTERMSIG(status) : 0, readFile(said.fileName())};
}

}  // namespace

class TestPlatform : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Names are matched without regard to case, by one folding that the
    // patterns and the drive map's look-ups share.
    void namesAndPatterns_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("matches");
        QTest::newRow("ending, other case") << "PIC00001.JPG" << "*.jpg" << true;
        QTest::newRow("ending, other kind") << "PIC00001.JPEG" << "*.jpg" << false;
        QTest::newRow("ending longer than the name") << "jpg" << "*.jpg" << false;
        QTest::newRow("every name") << "no dot" << "*.*" << true;
        QTest::newRow("question marks") << "p12.jpg" << "P??.JPG" << true;
        QTest::newRow("question mark is one") << "p1.jpg" << "P??.JPG" << false;
        QTest::newRow("star in the middle") << "MVI_0042.MPG" << "mvi*.mpg" << true;
        QTest::newRow("a star in the name") << "MVI*0042.MPG" << "mvi*.mpg" << true;
        QTest::newRow("exact name beyond ASCII") << "CAF\u00c9.JPG" << "caf\u00e9.jpg" << true;
        QTest::newRow("not the whole name") << "Index.4111" << "index.411" << false;
    }
    void namesAndPatterns()
    {
        QFETCH(QString, name);
        QFETCH(QString, pattern);
        QTEST(pf::matchesPattern(name, pattern), "matches");
    }

    // Names are told apart by their bytes, letter case aside: two names that
    // differ in a byte that is not UTF-8 are two names.
    void namesByTheirBytes_data()
    {
        QTest::addColumn<QByteArray>("one");
        QTest::addColumn<QByteArray>("other");
        QTest::addColumn<bool>("same");
        QTest::newRow("two bytes not UTF-8") << QByteArray("F\xe9te.jpg") << QByteArray("F\xe8te.jpg") << false;
        QTest::newRow("a byte not UTF-8, letters in another case")
            << QByteArray("F\xe9te.jpg") << QByteArray("f\xe9TE.JPG") << true;
        QTest::newRow("a letter beyond ASCII after a byte not UTF-8")
            << QByteArray("\xe9\xc3\x89.jpg") << QByteArray("\xe9\xc3\xa9.JPG") << true;
        QTest::newRow("a letter beyond the first plane")
            << QByteArray("\xf0\x90\x90\x80.jpg") << QByteArray("\xf0\x90\x90\xa8.jpg") << true;
    }
    void namesByTheirBytes()
    {
        QFETCH(QByteArray, one);
        QFETCH(QByteArray, other);
        QTEST(pf::foldedName(pf::fromHostName(one)) == pf::foldedName(pf::fromHostName(other)), "same");
    }

    void singleNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("single");
        QTest::newRow("plain") << "PIC00001.JPG" << true;
        QTest::newRow("hidden") << ".x.411" << true;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("dot") << "." << false;
        QTest::newRow("dot dot") << ".." << false;
        QTest::newRow("backslash") << "x\\..\\y.jpg" << false;
        QTest::newRow("slash") << "x/y.jpg" << false;
        QTest::newRow("nul") << QString("x") + QChar(0) + "y.jpg" << false;
    }
    void singleNames()
    {
        QFETCH(QString, name);
        QTEST(pf::isSingleName(name), "single");
    }

    // Program paths on the host, listings and look-ups.
    void lookups()
    {
        Drives d;
        pf::FileSystem fs(d.map());
        const QString a = d.root('A'), c = d.root('C');
        const QDateTime when(QDate(2003, 7, 4), QTime(9, 5, 7));
        for (const char *name : {"b.JPG", "A.jpg", "c.jpeg", ".hidden.jpg", "clip.MPG", ".x.411"})
            writeFile(a + '/' + name, "x", when);
        QDir(a).mkpath("sub.jpg");
        QFile::link(a + "/b.JPG", a + "/link.jpg");
        QDir(c).mkpath("Pics/Holiday");
        writeFile(c + "/Pics/Holiday/Caf\u00e9.JPG", "x");

        const auto host = [&](const QString &path) { return fs.hostPath(path).valueOr("<error>"); };
        // "\" names the root of drive C:; '/' is a separator like '\'.
        QCOMPARE(host("\\"), c);
        // Names are found without regard to case, beyond ASCII too (the last
        // part of a path as written, and the folders on the way to it);
        // missing parts stay as written.
        QCOMPARE(host("c:\\Pics\\Holiday\\CAF\u00c9.jpg"), c + "/Pics/Holiday/Caf\u00e9.JPG");
        QCOMPARE(host("C:/PICS\\holiday"), c + "/Pics/Holiday");
        QCOMPARE(host("C:\\pics\\New\\x.jpg"), c + "/Pics/New/x.jpg");
        // ".." never climbs out of a drive.
        QCOMPARE(host("a:\\..\\..\\etc"), a + "/etc");
        QCOMPARE(fs.drives().toProgram(c + "/Pics/Holiday"), "C:\\Pics\\Holiday");

        // Plain files only, sorted by name without regard to case.
        QCOMPARE(fs.listFiles("a:\\", "*.jpg").valueOr({"<error>"}), (QStringList{"A.jpg", "b.JPG"}));
        QCOMPARE(fs.listFiles("a:\\", "*.411").valueOr({"<error>"}), QStringList());
        QCOMPARE(fs.listFiles("a:\\", "*.411", true).valueOr({"<error>"}), QStringList{".x.411"});
        QCOMPARE(fs.findFirst("a:\\*.mpg", pf::FindPlainFiles).valueOr("<error>"), "clip.MPG");
        QCOMPARE(fs.listFiles("a:\\nowhere", "*.*").error().number, int(pf::ErrPathNotFound));
        QCOMPARE(fs.folderExists("a:\\SUB.JPG").valueOr(false), true);
        QCOMPARE(fs.folderExists("a:\\b.JPG\\").valueOr(true), false);
        QCOMPARE(fs.fileDate("a:\\CLIP.mpg").valueOr(QDateTime()), when);
        QCOMPARE(fs.fileDate("a:\\gone.jpg").error().number, int(pf::ErrFileNotFound));
        // Make folder: one level, the parent must exist.
        QVERIFY(fs.makeFolder("c:\\New").ok());
        QVERIFY(QFileInfo(c + "/New").isDir());
        QCOMPARE(fs.makeFolder("c:\\x\\y").error().number, int(pf::ErrPathNotFound));

        // A NUL would end the path early, at the folder before it.
        QCOMPARE(fs.hostPath(QString("C:\\Pics") + QChar(0) + "x").error().number, int(pf::ErrPathNotFound));
        pf::DriveMap nulRoot = d.map();
        nulRoot.setDrive('N', c + QChar(0) + "x");
        QCOMPARE(nulRoot.ready('N').error().number, int(pf::ErrDeviceUnavailable));

        // A drive folder that is there but cannot be listed: the disk cannot be read.
        QDir(d.root('U')).mkpath(".");
        QCOMPARE(::chmod(QFile::encodeName(d.root('U') + "/..").constData(), 0711), 0);
        QCOMPARE(::chmod(QFile::encodeName(d.root('U')).constData(), 0), 0);
        {
            const Unprivileged user;
            QVERIFY2(user.ok(), "cannot act as an unprivileged user");
            const pf::Status unreadable = d.map().ready('U');
            QCOMPARE(unreadable.error().reason, "The disk in drive U: cannot be read: permission denied");
        }
        ::chmod(QFile::encodeName(d.root('U')).constData(), 0700);

        // An unmapped letter is "device unavailable".
        QCOMPARE(fs.hostPath("q:\\x").error().number, int(pf::ErrDeviceUnavailable));
    }

    // A copy in each of its ways: a new file up to 1 MB under its name, a
    // larger one without a name, a replacement under a hidden name. While it
    // is written the name holds ours, nothing or the old file; at the end
    // the copy or, when it failed, what was there before (or what another
    // program put there meanwhile), and never anything beside it.
    void copyWhileWritten_data()
    {
        QTest::addColumn<int>("size");           // of the source; none when negative
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<QByteArray>("before");  // under the name
        QTest::addColumn<QString>("meanwhile");  // what happens once the first part is copied
        QTest::addColumn<QByteArray>("seen");    // under the name then
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QByteArray>("after");
        const int mb = 1 << 20;
        const QString changed = "source: changed while it was copied", grow = "the source grows";
        auto row = [](const char *tag, int size, Mode mode, const char *before, QString meanwhile, const char *seen,
                      QString failure, const char *after) {
            QTest::newRow(tag) << size << mode << QByteArray(before) << meanwhile << QByteArray(seen) << failure
                               << QByteArray(after);
        };
        row("1 MB new", mb, Mode::NoReplace, "none", "", "ours", "", "ours");
        row("larger new", mb + 1, Mode::NoReplace, "none", "", "none", "", "ours");
        row("replacing", 600, Mode::Replace, "old", "", "old", "", "ours");
        row("1 MB new, source changes", mb, Mode::NoReplace, "none", grow, "ours", changed, "none");
        row("larger new, source changes", mb + 1, Mode::NoReplace, "none", grow, "none", changed, "none");
        row("replacing, source changes", 600, Mode::Replace, "old", grow, "old", changed, "old");
        row("replacing, source gone", -1, Mode::Replace, "old", "", "", "source: is no longer there", "old");
        row("small new, theirs there first", 600, Mode::NoReplace, "theirs", "", "", "58", "theirs");
        row("larger new, theirs made", mb + 1, Mode::NoReplace, "none", "theirs made", "none", "58", "theirs");
        // Ours given up is removed only while its name leads to it.
        row("small new, theirs renamed over it, source changes", 600, Mode::NoReplace, "none",
            "theirs renamed over it, " + grow, "ours", changed, "theirs");
    }
    void copyWhileWritten()
    {
        QFETCH(int, size);
        QFETCH(Mode, mode);
        QFETCH(QByteArray, before);
        QFETCH(QString, meanwhile);
        Drives d;
        pf::FileSystem fs(d.map());
        const QString source = d.root('A') + "/P.JPG", name = d.root('C') + "/P.JPG";
        const QByteArray ours(qMax(size, 0), 'p');
        if (size >= 0)
            writeFile(source, ours);
        if (before != "none")
            writeFile(name, before);
        // What stands under a name: none, ours (all or part of it), or what else is there.
        const auto kind = [&] {
            const QByteArray there = readFile(name);
            const bool isOurs = !there.isEmpty() && ours.startsWith(there);
            return there == "<missing>" ? QByteArray("none") : isOurs ? QByteArray("ours") : there;
        };
        QByteArray seen;
        const auto step = [&](qint64, qint64) {
            if (!seen.isNull())
                return true;
            seen = kind();
            if (meanwhile.contains("theirs made"))
                writeFile(name, "theirs");
            if (meanwhile.contains("theirs renamed over it")) {
                writeFile(d.root('C') + "/.t", "theirs");
                ::rename(QFile::encodeName(d.root('C') + "/.t").constData(), QFile::encodeName(name).constData());
            }
            if (meanwhile.contains("the source grows")) {
                QFile f(source);
                if (f.open(QIODevice::Append))
                    f.write("more");
            }
            return true;
        };
        const pf::Status s = fs.copyFile("a:\\P.JPG", "c:\\P.JPG", mode, step);
        QString failure;
        if (!s.ok())
            failure = s.error().sourceSide ? "source: " + s.error().reason : QString::number(s.error().number);
        QTEST(failure, "failure");
        QTEST(seen, "seen");
        QTEST(kind(), "after");
        QCOMPARE(entries(d.root('C')), kind() == "none" ? QStringList() : QStringList{"P.JPG"});
    }

    // Renaming into place without replacing refuses a name in use (where no
    // file can be made without a name, every new file takes this way).
    void renameIntoPlaceNeverReplaces()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath(".part"), "ours");
        writeFile(dir.filePath("pic.jpg"), "theirs");
        const pf::Fd fd(::open(QFile::encodeName(dir.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        QCOMPARE(pf::host::renameIntoPlace(fd.get(), ".part", "pic.jpg", Mode::NoReplace), EEXIST);
        QCOMPARE(listing(dir.path()), (QStringList{".part=ours", "pic.jpg=theirs"}));
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
        writeFile(d.root('A') + "/P.JPG", "p", when);
        pf::FileSystem::Batch batch(fs);
        QVERIFY(!fs.fileExists("c:\\X.JPG"));
        QCOMPARE(fs.listFiles("c:\\", "*.jpg").valueOr({"<error>"}), QStringList());
        QCOMPARE(fs.fileDate("a:\\P.JPG").valueOr(QDateTime()), when);

        QTest::qSleep(50);
        writeFile(c + "/x.jpg", "theirs");
        writeFile(c + "/\u00e4rger.jpg", "theirs");
        QVERIFY(fs.fileExists("c:\\X.JPG"));
        QVERIFY(fs.fileExists("c:\\\u00c4RGER.JPG"));
        QCOMPARE(fs.copyFile("a:\\P.JPG", "c:\\X.JPG", Mode::NoReplace).error().number, int(pf::ErrFileExists));
        QCOMPARE(fs.listFiles("c:\\", "*.jpg").valueOr({"<error>"}), (QStringList{"x.jpg", "\u00e4rger.jpg"}));

        // Its own copies are found at once, in any case too.
        QVERIFY(fs.copyFile("a:\\P.JPG", "c:\\New.JPG", Mode::NoReplace).ok());
        QVERIFY(fs.fileExists("c:\\NEW.jpg"));
        QCOMPARE(listing(c), (QStringList{"New.JPG=p", "x.jpg=theirs", "\u00e4rger.jpg=theirs"}));
        QCOMPARE(QFileInfo(c + "/New.JPG").lastModified(), when);
    }

    void copyToFullDisk()
    {
        // A small file system that really fills up, where the machine lets us
        // make one; elsewhere this case is covered by the copy tests' seam.
        if (::geteuid() != 0)
            QSKIP("needs root to mount a small file system");
        Drives d;
        const QString small = d.root('D');
        if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=1m", "tmpfs", small}) != 0)
            QSKIP("cannot mount a small file system here");
        const auto unmount = qScopeGuard([&] { QProcess::execute("umount", {small}); });
        pf::FileSystem fs(d.map());
        writeFile(d.root('A') + "/big.mpg", QByteArray(3 << 20, 'b'));
        writeFile(d.root('A') + "/small.jpg", QByteArray(600 << 10, 's'));
        writeFile(small + "/big.mpg", "keep me");
        writeFile(small + "/filler", QByteArray(700 << 10, 'f'));
        // Replacing, and new copies both large and small (each made its own
        // way): the disk fills up, the old file stays, no part is left.
        for (const auto &[from, to, mode] : {std::tuple{"a:\\big.mpg", "d:\\big.mpg", Mode::Replace},
                                             std::tuple{"a:\\big.mpg", "d:\\new.mpg", Mode::NoReplace},
                                             std::tuple{"a:\\small.jpg", "d:\\new.jpg", Mode::NoReplace}}) {
            QCOMPARE(fs.copyFile(from, to, mode).error().number, int(pf::ErrDiskFull));
            QCOMPARE(readFile(small + "/big.mpg"), QByteArray("keep me"));
            QCOMPARE(entries(small), (QStringList{"big.mpg", "filler"}));
        }
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
        const auto [signal, said] = readFailedResultInChild(read);
        QCOMPARE(signal, SIGABRT);
        QVERIFY2(said.contains("File not found"), said.constData());
        QVERIFY2(said.contains("GONE.JPG"), said.constData());
    }
};

PIXFERRY_TEST_MAIN(TestPlatform)
#include "test_platform.moc"
