#pragma once
// Copy Disk without windows: a diskette, an image and a video folder in
// temporary drives, and a script that answers the operation's questions and
// notes what was asked.

#include "tests/support/corekit.h"
#include "transfer/copyoperation.h"

#include <QDirIterator>

#include <dirent.h>

namespace copyworld {

using namespace testkit;

inline const QDateTime kJuly(QDate(2003, 7, 4), QTime(9, 5, 7));
inline const QString kJulyName = "07_04_2003_090507.JPG";
inline const QString kCrafted = "x\\..\\..\\Outside\\planted.jpg";
inline const QString kDone = "Operation completed.";

// Answers the questions from lists, and notes what was asked and each pass.
class Script : public CopyAsker, public CopyWatcher {
public:
    QList<ClashChoice> clashes;     // the answers at clashes, in turn (then Skip)
    QList<FailedChoice> failed;     // at failed copies, in turn (then GoOn)
    bool createFolders = true, eraseDiskette = true;
    std::function<void()> atClash;  // runs while a clash is asked
    QStringList asked;              // "clash P.JPG", "clash P.JPG (ours)", "failed P.JPG: why (error 61)",
                                    // "failed P.JPG: on the diskette, why (error 57) [keep offered]", ...
    QStringList passes;             // "images 3", "clips 1"
    Module1 *m1 = nullptr;

    bool createFolder(FolderKind, const QString &folder) override { return note("create " + folder), createFolders; }
    void folderNotCreated(const QString &folder, const pf::PlatformError &e) override
    {
        note("not created " + folder + ": " + e.describe());
    }
    void folderOnDiskette(FolderKind, const QString &folder) override { note("on diskette " + folder); }
    ClashChoice clash(bool ours) override
    {
        note("clash " + m1->newName + (ours ? " (ours)" : ""));
        if (atClash)
            atClash();
        return clashes.isEmpty() ? ClashChoice::Skip : clashes.takeFirst();
    }
    void clipRenamed(const QString &name) override { note("clip renamed " + name); }
    FailedChoice copyFailed(const QString &name, const QString &, const pf::PlatformError &e, bool canKeep) override
    {
        note("failed " + name + ": " + (e.sourceSide ? "on the diskette, " : "") + e.describe()
             + (canKeep ? " [keep offered]" : ""));
        return failed.isEmpty() ? FailedChoice::GoOn : failed.takeFirst();
    }
    bool erase() override { return note("erase?"), eraseDiskette; }
    void passStarts(Pass pass, int n) override
    {
        passes << (pass == Pass::Images ? "images " : "clips ") + QString::number(n);
    }

private:
    void note(const QString &what) { asked << what; }
};

// A diskette, an image folder C:\Pics\ and a video folder C:\Clips\.
struct World {
    explicit World(bool makeFolders = true)
    {
        m1.imageFolder = "C:\\Pics\\";
        m1.videoFolder = "C:\\Clips\\";
        script.m1 = &m1;
        if (makeFolders)
            QDir().mkpath(pics()), QDir().mkpath(clips());
    }
    Drives drives;
    HookedFs fs{drives.map()};
    Module1 m1;
    Script script;

    QString a() { return drives.root('A'); }
    QString pics() { return drives.root('C') + "/Pics"; }
    QString clips() { return drives.root('C') + "/Clips"; }
    QString onDisk(const QString &name) { return a() + '/' + name; }
    QString pic(const QString &name) { return pics() + '/' + name; }
    // Files on the diskette, each holding its own name.
    void put(const QStringList &names, const QDateTime &when = kJuly)
    {
        for (const QString &n : names)
            writeFile(onDisk(n), n.toUtf8(), when);
    }
    // The diskette's lists as the main window reads them.
    DisketteLists lists()
    {
        auto list = [this](const char *pattern, bool all) { return fs.listFiles("a:\\", pattern, all).valueOr({}); };
        return {"a:\\", list("*.jpg", false), list("*.mpg", false), list("*.411", true)};
    }
    CopyOutcome run(const DisketteLists &lists, bool keepNames)
    {
        return CopyOperation(fs, m1, script, script, [] { return QTime(14, 3, 9); }).run(lists, keepNames);
    }
    CopyOutcome copy(bool keepNames) { return run(lists(), keepNames); }
};

// Every file and folder below `top` as "path=content" (folders as "path/").
inline QStringList tree(const QString &top)
{
    QStringList out;
    QDirIterator it(top, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const bool folder = it.fileInfo().isDir() && !it.fileInfo().isSymLink();
        out << path.mid(top.size()) + (folder ? QString("/") : "=" + QString::fromUtf8(readFile(path)));
    }
    out.sort();
    return out;
}

// The names of a folder as the file system holds them, bytes and all.
inline QList<QByteArray> rawEntries(const QString &folder)
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

inline QString keptBox(const QString &line)
{
    return "The source diskette has been erased, except for 1 file that was kept:\r" + line;
}

inline pf::Status fail(int err, const QString &path) { return pf::errorFromErrno(err, path); }

}  // namespace copyworld
