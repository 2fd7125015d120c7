#pragma once
// JPEG streams for the picture budget, made on the spot: ordinary pictures
// from Qt's own writer, the same with a start-of-frame claiming another size
// or with a camera's EXIF block (orientation, thumbnail, offsets that may
// hurt), and progressive streams of as many scans as asked for. The hostile
// ones need not decode well; they only have to be refused before decoding.

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QSize>

namespace hostile {

inline const QColor kRed(220, 30, 30), kGreen(30, 200, 60), kBlue(30, 60, 220), kGrey(128, 128, 128);

// A picture with some detail; one of a colour, its left half of another if
// given; and its JPEG from Qt's writer (baseline, or progressive in the
// writer's usual handful of scans).
QImage detailed(int width, int height);
QImage solid(QSize size, QColor colour, QColor leftHalf = QColor());
QByteArray jpeg(const QImage &image, bool progressive = false);

// Red above, detail below: the lower half is most of the JPEG, so the
// middle of the file lies within its data. And the same bytes with `length`
// of them zeros from `at`, as a bad sector rescued as zeros.
QByteArray redAboveDetail();
QByteArray zeroed(QByteArray bytes, qsizetype at, qsizetype length);

// The colour of a picture in its middle column, at a fraction of its height,
// is near the expected one (as a JPEG keeps a colour).
bool near(const QImage &picture, QColor expected, double atY = 0.5);

// The same stream with the frame header claiming `claimed` (every other
// byte as it was); empty when the stream has no frame header.
QByteArray withFrameSize(QByteArray jpeg, QSize claimed);

// A progressive stream built from a baseline one: its tables, a progressive
// frame header claiming `claimed` with the same components, then `scans`
// first-pass DC scans of every component, each with a few bytes of data,
// then the end marker. `data` is what follows each scan's header.
QByteArray progressiveScans(const QByteArray &baseline, QSize claimed, int scans,
                            const QByteArray &data = QByteArray("\x12\x34\x56\x78\x9a\xbc", 6));

// The EXIF block a camera writes after the start marker: the first
// directory with the orientation mark, the second pointing at an embedded
// thumbnail (a JPEG) that follows it. The offsets may be set to hurt.
struct Exif {
    int orientation = 0;    // 0: no mark
    QByteArray thumbnail;   // empty: no second directory
    bool bigEndian = false;  // "MM", else "II"
    qint64 thumbnailAt = -1;      // as written, from the TIFF header; -1: where it is
    qint64 thumbnailLength = -1;  // as written; -1: its length
    qint64 nextDirectory = -1;    // the second directory's place as the first gives it; -1: where it is
};
QByteArray withExif(const QByteArray &jpeg, const Exif &exif);

// Peak resident memory of this process, in kB (VmHWM), or -1; and a fresh
// start for it at what is resident now, where the system allows.
long peakResidentKb();
void resetPeakResident();

}  // namespace hostile
