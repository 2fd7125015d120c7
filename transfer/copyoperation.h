#pragma once
// Copy Disk without windows: every picture of the diskette to the image
// folder, every clip to the video folder, clashes settled by the person's
// answers, and on request the diskette erased of what is safe elsewhere.
// It decides; whoever runs it asks the questions (CopyAsker) and shows the
// progress (CopyWatcher).

#include "platform/files.h"
#include "transfer/copyjob.h"
#include "transfer/erase.h"
#include "transfer/module1.h"

#include <QDateTime>
#include <QStringList>

#include <atomic>
#include <functional>
#include <optional>

enum class FolderKind { Image, Video };
enum class Pass { Images, Clips };

// The answer at a clash in the image folder: the six buttons of the dialog.
enum class ClashChoice { Replace, Rename, Skip, ReplaceAll, RenameAll, Cancel };

// The answer when a file could not be copied: go on with the next file,
// stop copying, or keep what could be read of it and go on.
enum class FailedChoice { GoOn, Stop, KeepReadable };

// The questions of one Copy Disk, with typed answers.
class CopyAsker {
public:
    virtual ~CopyAsker() = default;
    // The destination folder does not exist: create it (true), or end.
    virtual bool createFolder(FolderKind kind, const QString &folder) = 0;
    // The folder could not be created; the operation ends.
    virtual void folderNotCreated(const QString &folder, const pf::PlatformError &error) = 0;
    // The folder lies on the diskette; the operation ends.
    virtual void folderOnDiskette(FolderKind kind, const QString &folder) = 0;
    // A picture's name is taken in the image folder. The clash inputs of
    // Module1 (srcFile, newName, destFile) are set. `copiedHere`: what is
    // there is a copy this operation made.
    virtual ClashChoice clash(bool copiedHere) = 0;
    // A clip's name is taken in the video folder: it is copied under a new one.
    virtual void clipRenamed(const QString &name) = 0;
    // A file could not be copied: go on with the next, or stop. With
    // `canKeepReadable` (a stretch of it could not be read) the answer may
    // also be to keep what could be read.
    virtual FailedChoice copyFailed(const QString &name, const QString &folder, const pf::PlatformError &error,
                                    bool canKeepReadable) = 0;
    // Both passes are done and nothing failed: erase the diskette?
    virtual bool erase() = 0;
};

// Where the operation is, for a window to show. Each does nothing unless
// overridden.
class CopyWatcher {
public:
    virtual ~CopyWatcher() = default;
    virtual void copyingStarts() {}                         // the folders are ready
    virtual void passStarts(Pass, int /*count*/) {}
    virtual void fileStarts(Pass, int /*n*/, int /*m*/, const QString & /*name*/) {}
    // Within file n: `done` of its `total` bytes are copied.
    virtual void fileBytes(Pass, int /*n*/, qint64 /*done*/, qint64 /*total*/) {}
    virtual void fileEnds(Pass, int /*n*/) {}
    virtual void passEnds(Pass) {}
    virtual void eraseStarts() {}                           // Yes to the erase
    virtual void checkingCopies() {}
    virtual void erasingFiles() {}
    virtual void eraseEnds() {}                             // however it ends
};

// What the diskette holds, as its lists were read.
struct DisketteLists {
    QString folder;          // the diskette's root, ending in '\'
    QStringList images;      // *.jpg, in list order
    QStringList clips;       // *.mpg
    QStringList indexFiles;  // *.411, hidden and system ones too
};

// What could be read of a file that failed to copy, kept on request.
struct RescuedFile {
    QString name;            // on the diskette
    QString copy;            // program path of what was kept: "..._damaged.JPG"
    qint64 unreadable = 0;   // bytes that could not be read, zeros in the copy
};

// A copy that has another name than meant: another program made a file of
// that name while it was copied, and the copy took the next free one.
struct NameTakenMeanwhile {
    QString name;  // on the diskette
    QString copy;  // program path of the copy
};

struct CopyOutcome {
    enum class End {
        FolderRefused,   // a destination folder was declined, refused or not made: nothing copied
        Cancelled,       // "&Cancel" at a clash
        Failed,          // a copy failed: no erase was offered
        Declined,        // No to the erase
        Erased,          // the erase ran (see `erased` for what stayed or failed)
        CopiesDiffer,    // a copy did not match its source: nothing erased
    };
    End end = End::FolderRefused;
    bool stopped = false;             // copying stopped early: Cancel after a failed copy, or at a clash
    QStringList notCopied;            // names of files that failed to copy
    QList<RescuedFile> rescued;       // of those, the ones whose readable part was kept (never a copy to erase by)
    qsizetype notFiles = 0;           // entries named like pictures or clips that are no files
    int copied = 0, replaced = 0, renamed = 0, skipped = 0;
    QList<NameTakenMeanwhile> nameTaken;  // copies that took another name than meant
    QList<CopyCheck> mismatches;      // copies that do not hold their source's bytes
    EraseOutcome erased;              // after Yes: what could not be deleted, what stayed
};

class CopyOperation {
public:
    CopyOperation(pf::FileSystem &fs, Module1 &shared, CopyAsker &asker, CopyWatcher &watcher,
                  std::function<QTime()> clock);

    // Runs the whole operation. `keepNames`: pictures keep their diskette
    // names (else they get date-time names).
    CopyOutcome run(const DisketteLists &lists, bool keepNames);

    // Stops the copying as "&Cancel" at a clash does: the file in hand is
    // finished or left uncopied (never part-written under its name), and no
    // erase is offered. From any thread; once the erase has begun, it runs
    // to its end.
    void requestStop() { m_stopRequested = true; }

private:
    bool folderReady(FolderKind kind, const QString &folder);
    bool offDiskette(FolderKind kind, const QString &folder);
    void copyImage(const QString &name);
    void copyClip(const QString &name);
    // A file that failed to copy: said, and what the person answers done.
    // `rescueAs`: the names what could be read of it may be kept under.
    void failed(const QString &name, const QString &folder, const pf::PlatformError &error,
                const std::optional<NameSequence> &rescueAs = std::nullopt);
    void rescue(const QString &name, const QString &folder, const NameSequence &names);
    void eraseDiskette();

    pf::FileSystem &m_fs;
    Module1 &m_m1;
    CopyAsker &m_asker;
    CopyWatcher &m_watcher;
    std::function<QTime()> m_clock;
    CopyJob m_job;
    DisketteLists m_lists;
    bool m_keepNames = false;
    bool m_cancelled = false;
    std::atomic<bool> m_stopRequested{false};
    Pass m_pass = Pass::Images;  // where the copying is, for the news within a file
    int m_n = 0;
    CopyOutcome m_out;
};
