#pragma once
// A new file, written so that no half-written file ever stands under its
// name and nothing there is replaced unless asked. One object owns the
// unfinished file: commit() gives it its name, and when the object goes
// without a commit (a failure on the way, or the work given up) it removes
// what it made. No clean-up at each return of the caller.

#include "platform/fd.h"
#include "platform/noreplace.h"
#include "platform/result.h"

#include <QByteArray>
#include <QString>

namespace pf {

class NewFileWriter {
public:
    // How the file is made before it has its name.
    enum class Way {
        Direct,     // under its name, made only if the name is free; for a small file written in one go
        Unnamed,    // without a name, linked under its name when complete, never replacing
        Temporary,  // under a hidden temporary name beside it, renamed into place when complete
    };

    // A new file up to this size is written under its own name.
    static constexpr qint64 kDirectAtMost = 1 << 20;

    // The way for a file of `size` bytes: a new one (NoReplace) Direct when
    // small, else Unnamed; one that replaces, Temporary.
    static Way wayFor(CopyMode mode, qint64 size);

    // For the file `name` in the open folder `dirFd`, which must stay open
    // while the writer lives. `path` is its program path, for errors.
    NewFileWriter(int dirFd, QByteArray name, QString path, CopyMode mode, host::UnnamedLinker &linker);
    // Removes the file unless it was committed: a hidden temporary file, or
    // one under its name only while that name still leads to it.
    ~NewFileWriter();
    NewFileWriter(const NewFileWriter &) = delete;
    NewFileWriter &operator=(const NewFileWriter &) = delete;

    // Makes the file to write, `way` where it can: Unnamed becomes
    // Temporary where the file system cannot make a file without a name, and
    // in Replace mode the file is always Temporary. Direct fails with
    // ErrFileExists when the name is in use.
    Status open(Way way);

    Way way() const { return m_way; }
    const QString &path() const { return m_path; }
    int fd() const { return m_file.get(); }  // to write to (and read back); -1 when not open

    // Writes all `size` bytes at the file's offset.
    Status write(const char *data, qint64 size);

    // Gives the complete file its name and closes it. In NoReplace mode
    // never in place of another file: fails with ErrFileExists when the
    // name is in use by then. After a failure nothing is committed and the
    // file goes with the writer.
    Status commit();
    bool committed() const { return m_committed; }

private:
    void noteOwnFile();
    void removeOwnFile();

    const int m_dirFd;
    const QByteArray m_name;
    const QString m_path;
    const CopyMode m_mode;
    host::UnnamedLinker &m_linker;

    Way m_way = Way::Temporary;
    Fd m_file;
    QByteArray m_temporary;  // the hidden name while the file stands under it
    bool m_named = false;    // the file stands under m_name (made there, or linked)
    bool m_committed = false;
    // Which file is ours, taken before its descriptor is closed.
    bool m_ownKnown = false;
    quint64 m_ownDev = 0, m_ownIno = 0;
};

}  // namespace pf
