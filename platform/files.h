#pragma once
// File services on top of the drive mapping. Every path given and returned
// here is a program path ("a:\PIC.JPG"); the host paths stay inside.

#include "platform/drives.h"
#include "platform/fd.h"
#include "platform/folderlist.h"
#include "platform/noreplace.h"
#include "platform/result.h"
#include "platform/wildcard.h"

#include <QDateTime>
#include <QStringList>

#include <functional>
#include <memory>

struct stat;

namespace pf {

class NewFileWriter;

// Attributes for findFirst.
enum FindAttributes : int { FindPlainFiles = 0, FindFolders = 16 };

// Called between chunks of a copy with the bytes done so far; false stops
// the copy (it fails with ErrUserInterrupt and leaves nothing behind).
using CopyProgress = std::function<bool(qint64 done, qint64 total)>;

struct FileFailure {
    QString path;  // program path of the file
    PlatformError error;
};

// Which file a path led to when it was looked at, and as it was then: a file
// checked once is deleted only while it is still that file. Its change time
// is part of it: a file rewritten in place with its size and modification
// time put back still has a later change time, which nobody can set.
struct FileId {
    quint64 dev = 0, ino = 0;
    qint64 size = -1, mtimeNs = 0, ctimeNs = 0;
    bool operator==(const FileId &) const = default;
    bool sameFile(const FileId &o) const { return dev == o.dev && ino == o.ino; }
};
FileId fileIdOf(const struct stat &st);

class FileSystem {
public:
    explicit FileSystem(DriveMap drives);
    virtual ~FileSystem();
    FileSystem(const FileSystem &) = delete;
    FileSystem &operator=(const FileSystem &) = delete;

    // For a long run of work on the files of a few folders (a Copy Disk):
    // while a Batch lives, each folder is looked up once and held open, names
    // in it are found in a listing remembered while the folder is unchanged,
    // and a file dated for its name stays open for its copy. So a copy costs
    // little more than the copying itself. A folder renamed meanwhile is
    // still the one worked in; in one removed, the work fails.
    // The rule that makes this safe: what a batch remembers only spares
    // asking again, and no decision rests on it being fresh. Whether a file
    // is made, replaced or kept is settled by the system at the moment it is
    // done (a name taken only while free, a link or rename that refuses a
    // name in use), a source is checked on its own descriptor once its copy
    // is complete, and a deletion looks at the file itself. A memory some
    // milliseconds old can at most make a name look free that was taken
    // meanwhile (the copy then finds it in use and goes on as for any file
    // that appears during a copy); never can it let a file be replaced,
    // lost or deleted.
    class Batch {
    public:
        explicit Batch(FileSystem &fs);
        ~Batch();
        Batch(const Batch &) = delete;
        Batch &operator=(const Batch &) = delete;

    private:
        FileSystem &m_fs;
    };

    const DriveMap &drives() const { return m_drives; }
    DriveMap &drives() { return m_drives; }

    // Selecting a drive fails with 68 when it holds no readable medium.
    virtual Status selectDrive(QChar letter);

    // Name (without folder) of the first plain file matching the pattern;
    // with FindFolders and a path ending in '\', "." when the folder exists
    // (empty text when it does not). Errors: 68 on a drive that is not ready.
    virtual Result<QString> findFirst(const QString &pattern, int attributes);

    // The folder existence test: a folder path ending in '\' exists when a
    // listing of it, folders included, yields an entry.
    Result<bool> folderExists(const QString &folder);

    // A plain file of exactly this path exists.
    bool fileExists(const QString &path);

    // The files of one folder whose names match the pattern, sorted by name
    // without regard to case. Plain files only, unless admitHiddenSystem.
    virtual Result<QStringList> listFiles(const QString &folder, const QString &pattern, bool admitHiddenSystem = false);

    // The entries of one folder whose names match the pattern but that are
    // no plain file to copy: links, folders, pipes, devices (not hidden ones).
    Result<QStringList> listNonFiles(const QString &folder, const QString &pattern);

    // Copies a file and keeps its modification time. A new copy (NoReplace)
    // is made so that it can never take the place of a file; one that
    // replaces is written beside the old file and renamed over it when
    // complete. A failed copy leaves no partial file and the existing
    // destination intact.
    // A read of the source that fails is tried again at the same place, up
    // to three times; one that fails every time fails the copy with a
    // read error whose `unreadableAt` says where.
    virtual Status copyFile(const QString &source, const QString &destination, CopyMode mode,
                            const CopyProgress &progress = {});

    // Copies what can be read of `source` to a new file `destination`, made
    // as a new copy is (never in place of a file): the source's length,
    // every byte that reads in its place, every stretch that does not as
    // zeros. Reads are tried again as a copy's are; around one that fails
    // for good the file is read in pieces of 4 KB, then 512 bytes, so that
    // no more than the failing pages around a bad sector are lost. Returns
    // how many bytes could not be read.
    virtual Result<qint64> rescueFile(const QString &source, const QString &destination,
                                      const CopyProgress &progress = {});

    // Deletes every plain file that matches the pattern (never a folder, never
    // through a link). Returns the files that could not be deleted.
    virtual Result<QList<FileFailure>> deleteFiles(const QString &pattern);

    // Deletes one file (not a folder; a link is removed itself, never followed).
    // With `expected`, only while the path still leads to that file, unchanged;
    // otherwise it fails with an error that `changedSinceChecked` knows.
    virtual Status deleteFile(const QString &path, const FileId *expected);
    static bool changedSinceChecked(const PlatformError &error);
    Status deleteFile(const QString &path) { return deleteFile(path, nullptr); }

    // Whether `folder`, or the folder it would be once created, lies inside
    // `container` or is it: after links (the same device and inode along the
    // way), and also where another mount shows a folder of the container's
    // file system (a bind mount): then by the place both have in that file
    // system, after the mount table. Fails when `container` cannot be looked at.
    Result<bool> liesWithin(const QString &folder, const QString &container) const;
    // Where the mount table is read from (the system's own unless set).
    void setMountTable(std::function<QByteArray()> read) { m_mountTable = std::move(read); }

    // Clears read-only, and the FAT hidden, system and archive marks where
    // the file system has them.
    virtual Status setAttributesNormal(const QString &path);

    // Creates one folder level; the parent must exist.
    virtual Status makeFolder(const QString &path);

    virtual Result<qint64> fileLength(const QString &path);
    virtual Result<QDateTime> fileDate(const QString &path);  // local time

    // Host path of a program path (fails with 68 when the drive is not ready).
    Result<QString> hostPath(const QString &path) const { return m_drives.toHost(path); }

protected:
    DriveMap m_drives;

private:
    struct Place;
    struct BatchState;
    // The open folder a path leads to and the name in it. `pathMissing`: a
    // missing folder is reported as a path not found (else as the file).
    // `lookUp`: in a held folder, the name is looked for in its listing at
    // once (else it is taken as written).
    Status locate(const QString &path, Place &place, bool pathMissing, bool lookUp = true);
    // Opens an existing regular file for reading, without waiting on
    // anything else, and how it stands into `st`; fails on the source's side.
    Result<Fd> openForReading(const QString &path, Place &place, struct stat &st);
    // What copyFile and rescueFile share: the source opened (or taken from
    // the batch), a new file made for `destination`, `fill` writing its
    // bytes, the source's modification time given to it, its name given,
    // and the remembered listing of its folder told.
    using CopyFill = std::function<Status(int in, const struct stat &st, NewFileWriter &out)>;
    Status makeCopy(const QString &source, const QString &destination, CopyMode mode, const CopyFill &fill);

    std::unique_ptr<BatchState> m_batch;
    int m_batchDepth = 0;
    std::function<QByteArray()> m_mountTable;
    host::UnnamedLinker m_linker;  // what this service learnt of naming unnamed files
};

}  // namespace pf
