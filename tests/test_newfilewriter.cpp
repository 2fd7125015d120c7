// The new-file writer on its own, in a temporary folder: what stands under
// the name while it writes, after a commit, and after it is given up.

#include "platform/newfilewriter.h"
#include "tests/support/testkit.h"

#include <QDir>

#include <fcntl.h>
#include <unistd.h>

using namespace testkit;

namespace {

using Way = pf::NewFileWriter::Way;
using Mode = pf::CopyMode;

// A folder of its own for a writer, held open as the file services hold one.
struct WriterFolder {
    QTemporaryDir dir;
    pf::Fd fd{::open(QFile::encodeName(dir.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    pf::host::UnnamedLinker linker;
    QString file(const QString &name) const { return dir.path() + QLatin1Char('/') + name; }
    // A writer for pic.jpg in this folder.
    std::unique_ptr<pf::NewFileWriter> writer(Mode mode)
    {
        return std::make_unique<pf::NewFileWriter>(fd.get(), QByteArray("pic.jpg"), QStringLiteral("c:\\pic.jpg"),
                                                   mode, linker);
    }
};

// How many hidden temporary files of a copy stand in a folder.
int hiddenTemporaries(const QString &folder)
{
    return int(QDir(folder).entryList({QStringLiteral(".pixferry-*.part")}, QDir::Files | QDir::Hidden).size());
}

// Runs a shell command in `folder` as another program would; its exit code.
int otherProgram(const QString &folder, const QString &command)
{
    QProcess sh;
    sh.setWorkingDirectory(folder);
    sh.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    if (!sh.waitForFinished(10000))
        return -1;
    return sh.exitStatus() == QProcess::NormalExit ? sh.exitCode() : -1;
}

}  // namespace

class TestNewFileWriter : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void commitGivesTheName_data()
    {
        QTest::addColumn<Way>("way");
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<QByteArray>("old");            // under the name before; null for none
        QTest::addColumn<QByteArray>("seenMeanwhile");  // under the name while it is written
        QTest::addColumn<Way>("used");
        QTest::addColumn<int>("hiddenMeanwhile");  // hidden temporary files while it is written
        QTest::newRow("small new file, under its name")
            << Way::Direct << Mode::NoReplace << QByteArray() << QByteArray("new") << Way::Direct << 0;
        QTest::newRow("new file without a name")
            << Way::Unnamed << Mode::NoReplace << QByteArray() << QByteArray("<missing>") << Way::Unnamed << 0;
        QTest::newRow("new file, hidden name")
            << Way::Temporary << Mode::NoReplace << QByteArray() << QByteArray("<missing>") << Way::Temporary << 1;
        QTest::newRow("replacing, beside the old")
            << Way::Temporary << Mode::Replace << QByteArray("old") << QByteArray("old") << Way::Temporary << 1;
        QTest::newRow("replacing, asked for directly")
            << Way::Direct << Mode::Replace << QByteArray("old") << QByteArray("old") << Way::Temporary << 1;
    }

    void commitGivesTheName()
    {
        QFETCH(Way, way);
        QFETCH(Mode, mode);
        QFETCH(QByteArray, old);
        QFETCH(QByteArray, seenMeanwhile);
        QFETCH(Way, used);
        QFETCH(int, hiddenMeanwhile);
        WriterFolder f;
        if (!old.isNull())
            writeFile(f.file(QStringLiteral("pic.jpg")), old);
        {
            auto w = f.writer(mode);
            QVERIFY(w->open(way).ok());
            if (used == Way::Unnamed && w->way() != used)
                QSKIP("this file system makes no files without a name");
            QCOMPARE(w->way(), used);
            QVERIFY(w->write("new", 3).ok());
            QCOMPARE(readFile(f.file(QStringLiteral("pic.jpg"))), seenMeanwhile);
            QCOMPARE(hiddenTemporaries(f.dir.path()), hiddenMeanwhile);
            QVERIFY(w->commit().ok());
            QVERIFY(w->committed());
        }
        // Still there once the writer is gone, whole, and nothing beside it.
        QCOMPARE(readFile(f.file(QStringLiteral("pic.jpg"))), QByteArray("new"));
        QCOMPARE(entries(f.dir.path()), QStringList{QStringLiteral("pic.jpg")});
    }

    void givenUpLeavesNothing_data()
    {
        QTest::addColumn<Way>("way");
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<QByteArray>("old");
        QTest::newRow("small new file") << Way::Direct << Mode::NoReplace << QByteArray();
        QTest::newRow("without a name") << Way::Unnamed << Mode::NoReplace << QByteArray();
        QTest::newRow("hidden name") << Way::Temporary << Mode::NoReplace << QByteArray();
        QTest::newRow("replacing") << Way::Temporary << Mode::Replace << QByteArray("old");
    }

    void givenUpLeavesNothing()
    {
        QFETCH(Way, way);
        QFETCH(Mode, mode);
        QFETCH(QByteArray, old);
        WriterFolder f;
        if (!old.isNull())
            writeFile(f.file(QStringLiteral("pic.jpg")), old);
        {
            auto w = f.writer(mode);
            QVERIFY(w->open(way).ok());
            if (way == Way::Unnamed && w->way() != way)
                QSKIP("this file system makes no files without a name");
            QVERIFY(w->write("half", 4).ok());
        }  // a failure on the way: no commit
        QCOMPARE(entries(f.dir.path()), old.isNull() ? QStringList() : QStringList{QStringLiteral("pic.jpg")});
        QCOMPARE(readFile(f.file(QStringLiteral("pic.jpg"))), old.isNull() ? QByteArray("<missing>") : old);
    }

    // A new file never takes the place of one that appears under its name
    // while it is written: the commit fails and leaves theirs as it is.
    void neverReplacesAFileThatAppears_data()
    {
        QTest::addColumn<Way>("way");
        QTest::newRow("without a name") << Way::Unnamed;
        QTest::newRow("hidden name") << Way::Temporary;
    }

    void neverReplacesAFileThatAppears()
    {
        QFETCH(Way, way);
        WriterFolder f;
        pf::Status committed;
        {
            auto w = f.writer(Mode::NoReplace);
            QVERIFY(w->open(way).ok());
            if (w->way() != way)
                QSKIP("this file system makes no files without a name");
            QVERIFY(w->write("ours", 4).ok());
            writeFile(f.file(QStringLiteral("pic.jpg")), "theirs");
            committed = w->commit();
            QVERIFY(!w->committed());
        }
        QCOMPARE(committed.error().number, int(pf::ErrFileExists));
        QCOMPARE(readFile(f.file(QStringLiteral("pic.jpg"))), QByteArray("theirs"));
        QCOMPARE(entries(f.dir.path()), QStringList{QStringLiteral("pic.jpg")});
    }

    // A small new file is made under its name only while the name is free.
    void directNeedsAFreeName()
    {
        WriterFolder f;
        writeFile(f.file(QStringLiteral("pic.jpg")), "theirs");
        {
            auto w = f.writer(Mode::NoReplace);
            QCOMPARE(w->open(Way::Direct).error().number, int(pf::ErrFileExists));
        }
        QCOMPARE(readFile(f.file(QStringLiteral("pic.jpg"))), QByteArray("theirs"));
        QCOMPARE(entries(f.dir.path()), QStringList{QStringLiteral("pic.jpg")});
    }

    // A small file given up is removed only while its name leads to it:
    // another program may have put its own file there meanwhile.
    void keepsAnotherProgramsFile_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("renamed over it") << QStringLiteral("printf theirs > .their.tmp && mv -f .their.tmp pic.jpg");
        QTest::newRow("removed and made again") << QStringLiteral("rm pic.jpg && printf theirs > pic.jpg");
    }

    void keepsAnotherProgramsFile()
    {
        QFETCH(QString, command);
        WriterFolder f;
        {
            auto w = f.writer(Mode::NoReplace);
            QVERIFY(w->open(Way::Direct).ok());
            QVERIFY(w->write("ours", 4).ok());
            QCOMPARE(otherProgram(f.dir.path(), command), 0);
        }
        QCOMPARE(readFile(f.file(QStringLiteral("pic.jpg"))), QByteArray("theirs"));
        QCOMPARE(entries(f.dir.path()), QStringList{QStringLiteral("pic.jpg")});
    }

    void wayBySizeAndMode_data()
    {
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<Way>("way");
        QTest::newRow("new, empty") << Mode::NoReplace << qint64(0) << Way::Direct;
        QTest::newRow("new, 1 MB") << Mode::NoReplace << qint64(1 << 20) << Way::Direct;
        QTest::newRow("new, above 1 MB") << Mode::NoReplace << qint64((1 << 20) + 1) << Way::Unnamed;
        QTest::newRow("replacing, small") << Mode::Replace << qint64(10) << Way::Temporary;
        QTest::newRow("replacing, large") << Mode::Replace << qint64(3 << 20) << Way::Temporary;
    }

    void wayBySizeAndMode()
    {
        QFETCH(Mode, mode);
        QFETCH(qint64, size);
        QFETCH(Way, way);
        QCOMPARE(pf::NewFileWriter::wayFor(mode, size), way);
    }
};

PIXFERRY_TEST_MAIN(TestNewFileWriter)
#include "test_newfilewriter.moc"
