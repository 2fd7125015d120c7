#pragma once
// A diskette as a test wants it: the files below one folder behave as a worn,
// slow medium does. Reads that touch chosen byte ranges fail as a bad sector
// does (always, or only the first times, as a sector that reads on a later
// try), come back short as from a driver that took a short read for the
// file's end, or hand out wrong bytes; reads can be held at a gate, as a drive at work holds them, with no
// clock involved; and every open and read below the folder is noted with
// whether the window's thread (the thread that made the double) made it.
//
// It stands in for the C library's read and open calls of the test program,
// so it sees each of them however it is made: the copy, the check of the
// copies, the pictures read by Qt. One double at a time.

#include <QString>
#include <QStringList>

namespace testkit {

class MediumDouble {
public:
    explicit MediumDouble(const QString &root);
    ~MediumDouble();
    MediumDouble(const MediumDouble &) = delete;
    MediumDouble &operator=(const MediumDouble &) = delete;

    // Reads of `file` (a host path below the root) that touch the bytes
    // [start, end) fail with EIO: every time (times < 0) or the first `times`.
    void failBytes(const QString &file, qint64 start, qint64 end, int times = -1);

    // Reads of `file` that touch the bytes [start, end) hand those bytes out
    // wrong (each turned over) without a word, as a driver may after a
    // failure: every time (times < 0) or the first `times`.
    void garbleBytes(const QString &file, qint64 start, qint64 end, int times = -1);

    // Reads of `file` find its end at byte `at`, as from a driver that took
    // a short read of the medium for the file's end: one from `at` on reads
    // nothing, every time (times < 0) or the first `times`; one that reaches
    // past `at` ends there meanwhile (not counted). The file's length stays.
    void endEarly(const QString &file, qint64 at, int times = -1);

    // While the gate is closed, reads below the root by any thread but the
    // window's wait until it opens (or 20 s pass, so that a test fails
    // instead of hanging). The window's thread is never held: it is noted.
    void setGate(bool open);
    // Reads held at the gate now.
    int waiting() const;

    // What the window's thread opened or read below the root, as
    // "open NAME", "read NAME", "list NAME", in order.
    QStringList onWindowThread() const;
    // Reads below the root by any thread, failed ones included.
    int reads() const;
    // Reads that failed, came back short or handed out wrong bytes because
    // of a range above.
    int failures() const;
};

}  // namespace testkit
