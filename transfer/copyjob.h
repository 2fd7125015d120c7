#pragma once
// The file work of one Copy Disk: copies that never take the place of a file
// unless asked to, a record of what was copied, and the check of every copy
// against its source before the diskette may be erased.

#include "platform/files.h"
#include "transfer/naming.h"

#include <QHash>
#include <QList>
#include <QString>

#include <functional>

// One copy this operation made.
struct CopiedFile {
    QString source;  // program path on the diskette
    QString copy;    // program path of the copy
};

// A copy that does not hold what its source holds, and why.
struct CopyMismatch {
    QString copy;    // program path of the copy
    QString source;  // program path of the source
    QString reason;  // e.g. "missing", "different content"
};

class CopyJob {
public:
    explicit CopyJob(pf::FileSystem &fs, pf::CopyProgress progress = {});

    // Copies `source` into `folder` (ending in '\') under the first of
    // names.at(first), names.at(first + 1), ... that is free, also when the
    // copy lands: a file that appears under that name meanwhile is kept and
    // the next name is taken. `firstTested`: the caller has just found
    // names.at(first) free. Returns the name written.
    pf::Result<QString> copyToFreeName(const QString &source, const QString &folder, const NameSequence &names,
                                       int first = 0, bool firstTested = false);

    // Copies `source` over `target`, replacing what is there: only when the
    // user chose to replace it.
    pf::Status copyReplacing(const QString &source, const QString &target);

    // Every copy still in place, in the order made. A copy that a later copy
    // of this operation replaced is no longer one.
    const QList<CopiedFile> &copies() const { return m_copies; }

private:
    void record(const QString &source, const QString &copy, bool replacing);

    pf::FileSystem &m_fs;
    pf::CopyProgress m_progress;
    QList<CopiedFile> m_copies;
    QHash<QString, qsizetype> m_byCopy;  // by the copy's path, case-folded; made at the first replacing copy
};

// Writes the file systems that hold the copies to disk (one sync each), drops
// the copies' cached pages so that they are read back from what is stored,
// and compares every copy with its source: length and bytes. `progress` is
// called with the index of the copy being checked, before it and between
// parts of a large one. Returns the copies that do not match.
QList<CopyMismatch> verifyCopies(pf::FileSystem &fs, const QList<CopiedFile> &copies,
                                 const std::function<void(qsizetype)> &progress = {});
