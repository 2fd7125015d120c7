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

// A file of the diskette that this operation left no copy of, and the file
// in the image folder that may hold its bytes all the same: the copy that a
// later picture replaced, or the existing image at a skipped clash.
struct Counterpart {
    QString source;       // program path on the diskette
    QString file;         // program path of the file that may hold the same bytes
    QString ifDifferent;  // why the source is kept when it does not
    QString ifItself;     // why, when that file is the source itself (a hard link to it)
};

// One file compared with its source before an erase.
struct CopyCheck {
    QString source;    // program path on the diskette
    QString copy;      // program path of the file compared with it
    QString mismatch;  // why it does not hold the source's bytes, e.g. "missing"; empty when it does
    pf::FileId sourceId;  // the source as it was read for the comparison
    bool itself = false;  // the file compared is the source itself (the same path, or a hard link)
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

    // Keeps what can be read of `source` in `folder` under the first free
    // of names.at(0), names.at(1), ..., as copyToFreeName does; never a copy
    // of this operation (nothing is erased by it). Returns the name written
    // and how many bytes could not be read.
    struct Rescued {
        QString name;
        qint64 unreadable = 0;
    };
    pf::Result<Rescued> rescueToFreeName(const QString &source, const QString &folder, const NameSequence &names);

    // Copies `source` over `target`, replacing what is there: only when the
    // user chose to replace it.
    pf::Status copyReplacing(const QString &source, const QString &target);

    // A clash skipped: `source` stays uncopied, and is safe elsewhere only if
    // `existing` holds the same bytes at the end.
    void noteSkipped(const QString &source, const QString &existing);

    // Whether the file at `path` is a copy this operation made (and still there).
    bool madeHere(const QString &path);

    // Every copy still in place, in the order made. A copy that a later copy
    // of this operation replaced is no longer one: its source is among the
    // counterparts instead.
    const QList<CopiedFile> &copies() const { return m_copies; }
    const QList<Counterpart> &counterparts() const { return m_counterparts; }

private:
    // The name search of copyToFreeName, `write` making the file at each
    // name tried (failing with ErrFileExists when it is taken).
    pf::Result<QString> toFreeName(const QString &folder, const NameSequence &names, int first, bool firstTested,
                                   const std::function<pf::Status(const QString &target)> &write);
    void record(const QString &source, const QString &copy, bool replacing);
    void index();

    pf::FileSystem &m_fs;
    pf::CopyProgress m_progress;
    QList<CopiedFile> m_copies;
    QList<Counterpart> m_counterparts;
    QHash<QString, qsizetype> m_byCopy;  // by the copy's path, case-folded; made when first needed
    bool m_indexed = false;
};

// Writes the file systems that hold the copies to disk (one sync each), drops
// the copies' cached pages so that they are read back from what is stored,
// and compares every copy with its source: length and bytes. A file is never
// its own copy. `progress` is called with the index of the pair being
// checked, before it and between parts of a large one.
QList<CopyCheck> checkCopies(pf::FileSystem &fs, const QList<CopiedFile> &copies,
                             const std::function<void(qsizetype)> &progress = {});
