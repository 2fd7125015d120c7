#pragma once
// Inside the file services: where a program path leads on the host, and
// what a batch holds for its run. Included by platform/files*.cpp only.

#include "platform/files.h"
#include "platform/hostnames.h"

#include <sys/stat.h>

#include <vector>

namespace pf {

inline QByteArray enc(const QString &s) { return toHostName(s); }

// Where the folder part of a program path ends: 5 for "a:\x\y.jpg" (the
// length of "a:\x\"), 0 for a bare name.
qsizetype folderEnd(const QString &path);

struct FileSystem::Place {
    int dirFd = -1;
    Fd ownDir;                   // the folder, when opened for this place alone (else the batch holds it)
    QString hostFolder;          // without a trailing '/' (but "/" for the root)
    QString name;                // as found in the folder, or as written when absent
    QByteArray encoded;          // the name for the system calls
    bool listed = false;         // the folder's whole listing was looked in ...
    bool present = false;        // ... and had the name
    DriveMap::FolderStamp stamp; // the folder's stamp at that look
    int held = -1;               // the batch's held folder, by index
    bool owned() const { return ownDir.ok(); }
};

struct FileSystem::BatchState {
    struct Folder {
        QString program;  // "C:\Pics\"
        QString host;
        Fd fd;
        DriveMap::FolderStamp stamp;  // as last seen ...
        qint64 seenMs = -1;           // ... at this time
    };
    // A folder's stamp is taken again when the last look is older than this:
    // a run of copies does not ask for it before each one.
    static constexpr qint64 kStampTrustedMs = 20;
    std::vector<Folder> folders;
    QString sourcePath;  // the file last dated, held open for its copy
    Fd source;
    struct stat sourceStat;     // as it was dated ...
    qint64 sourceSeenMs = -1;   // ... at this time
    // The files of the folder listed last, while it stays unchanged: several
    // lists of one folder read it once.
    struct Files {
        QString host;
        DriveMap::FolderStamp stamp;
        QList<std::pair<QString, bool>> files;  // name, hidden
    } listed;
    // The last name looked up in a held folder, as found: a copy right after
    // its clash test finds it again without looking.
    struct Lookup {
        QString path;
        int held = -1;
        DriveMap::FolderStamp stamp;
        QString name;
        QByteArray encoded;
        bool listed = false, present = false;
    } looked;

    void dropSource()
    {
        source.reset();
        sourcePath.clear();
    }
};

}  // namespace pf
