#pragma once
// The erase of the diskette's root after a copy: only what is safe
// elsewhere goes, everything else stays and is named.

#include "platform/files.h"

#include <QHash>
#include <QList>
#include <QStringList>

#include <functional>

// A file left on the diskette, and why, in a few words.
struct KeptFile {
    QString name;
    QString reason;
};

struct EraseOutcome {
    QList<pf::FileFailure> failures;  // meant to go, but could not be deleted
    QList<KeptFile> kept;             // left on purpose, in name order
};

// Erases the diskette's root `folder` (ending in '\'), deleting only:
// - the files of `safe` (by name: the file as it was when its copy was found
//   to hold the same bytes), and only while the name still leads to that
//   file, unchanged (one changed since is kept, and named so);
// - the camera's index files `indexFiles` (the *.411 entries, hidden and
//   system ones included), whose marks are cleared first.
// Every other plain file of the root stays and is listed in `kept`, with its
// reason from `why` (by name) or else one of its kind. Sub-folders and what
// they hold are never touched, no link is followed, and a name that is not
// one name is never made into a path. `tick` is called between files.
EraseOutcome eraseCopied(pf::FileSystem &fs, const QString &folder, const QHash<QString, pf::FileId> &safe,
                         const QStringList &indexFiles, const QHash<QString, QString> &why,
                         const std::function<void()> &tick = {});
