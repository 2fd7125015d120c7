#pragma once
// File services on top of the drive mapping. Every path given and returned
// here is a program path ("a:\PIC.JPG"); the host paths stay inside.

#include "platform/drives.h"
#include "platform/result.h"

#include <QDateTime>
#include <QStringList>

#include <functional>
#include <memory>

namespace pf {

// Attributes for findFirst.
enum FindAttributes : int { FindPlainFiles = 0, FindFolders = 16 };

enum class CopyMode {
    Replace,    // an existing destination is replaced (only when the user chose so)
    NoReplace,  // fails with ErrFileExists when the destination exists at the rename
};

// Called between chunks of a copy with the bytes done so far.
using CopyProgress = std::function<void(qint64 done, qint64 total)>;

struct FileFailure {
    QString path;  // program path of the file
    PlatformError error;
};

// A plain file: regular, not a link, not hidden (a name starting with '.', or
// the FAT hidden mark), not a system file (the FAT system mark).
bool matchesPattern(const QString &name, const QString &pattern);

// A listed name that is one name: not empty, not "." or "..", and without
// '\' or '/'. Only such a name may be put behind a folder to make a path; a
// file of the medium named "x\..\y.jpg" is never read, written or deleted
// through the path that name would make.
bool isSingleName(const QString &name);

// Which file a path led to when it was looked at, and as it was then: a file
// checked once is deleted only while it is still that file.
struct FileId {
    quint64 dev = 0, ino = 0;
    qint64 size = -1, mtimeNs = 0;
    bool operator==(const FileId &) const = default;
    bool sameFile(const FileId &o) const { return dev == o.dev && ino == o.ino; }
};

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
    virtual Status copyFile(const QString &source, const QString &destination, CopyMode mode,
                            const CopyProgress &progress = {});

    // Deletes every plain file that matches the pattern (never a folder, never
    // through a link). Returns the files that could not be deleted.
    virtual Result<QList<FileFailure>> deleteFiles(const QString &pattern);

    // Deletes one file (not a folder; a link is removed itself, never followed).
    // With `expected`, only while the path still leads to that file, unchanged.
    virtual Status deleteFile(const QString &path, const FileId *expected);
    Status deleteFile(const QString &path) { return deleteFile(path, nullptr); }

    // Whether `folder`, or the folder it would be once created, lies inside
    // `container` or is it, after links (the same device and inode along the
    // way). Fails when `container` cannot be looked at.
    Result<bool> liesWithin(const QString &folder, const QString &container) const;

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
    // Opens an existing file for reading: -1 and errno on failure.
    int openForReading(const QString &path, Place &place, Status &failure);

    std::unique_ptr<BatchState> m_batch;
    int m_batchDepth = 0;
};

}  // namespace pf
