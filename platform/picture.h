#pragma once
// Pictures: the natural size read from the header alone, decoding at the size
// a picture is shown, EXIF orientation applied, and the longest-side fit.

#include "platform/files.h"

#include <QImage>
#include <QSize>
#include <QSizeF>

#include <atomic>
#include <functional>

namespace pf {

// The one sizing rule for every picture box: a wide picture (W > H) takes the
// box's width, a tall or square one the box's height; the other side follows
// the ratio. Quotient first, then product, in single precision.
QSizeF longestSideFit(float w, float h, float boxWidth, float boxHeight);

// What showing one picture may cost. A picture beyond any of these limits is
// refused before it is decoded, as one that cannot be shown: a file of a few
// kilobytes must not take gigabytes or minutes.
struct PictureBudget {
    // Everything held at once while decoding: the file's bytes, the JPEG
    // decoder's own buffers (all the coefficients of a progressive picture,
    // whatever the size it is decoded at) and the decoded picture. The
    // decoder's own allocation limit is set to the same.
    static constexpr qint64 kMaxDecodingBytes = 256LL << 20;
    // Scans of one JPEG, counted from its markers: each costs a pass over all
    // the coefficients. Cameras write 1 to 12.
    static constexpr int kMaxScans = 100;
    // Pixels a picture's header may claim, in any format.
    static constexpr qint64 kMaxPixels = 400LL * 1000 * 1000;
};

struct Picture {
    QImage image;  // decoded at (at least) the size asked for, turned upright
    QSize natural; // the picture's own size, after the EXIF turn
};

// Natural size from the header, without decoding the picture. Only a
// regular file is opened as a picture (without waiting on it, so that a
// named pipe or a device is refused at once, not waited for). What the
// reader keeps of its header (comments, colour profiles) is checked first;
// its scans and decoding cost are checked by the loading below.
Result<QSize> pictureSize(const QString &hostPath);

// Decodes the picture so that `shownSize` (pixels, upright) fits in what is
// decoded: at the full size, or at a half, a quarter or an eighth of it,
// whichever is the smallest that covers shownSize. An empty shownSize decodes
// at full size. A file that is not a regular file, or a picture beyond the
// budget, is refused before anything is decoded. A picture cut short, or
// damaged in its data (a bad sector rescued as zeros), is what the decoder
// makes of it: what could be read in place, the rest grey; one that is no
// picture at all (no header that can be read) is refused.
Result<Picture> loadPicture(const QString &hostPath, QSize shownSize = QSize());

// The same, with the shown size chosen once the natural size is known (for a
// window that sizes its picture by the picture's own proportions).
Result<Picture> loadPicture(const QString &hostPath, const std::function<QSize(QSize natural)> &shownSizeFor);

// The same for a program path ("a:\PIC.JPG").
Result<Picture> loadPicture(const FileSystem &fs, const QString &programPath, QSize shownSize = QSize());

// What a picture's header tells before the picture is decoded.
struct PictureHead {
    QSize natural;     // the picture's own size, after the EXIF turn
    QImage thumbnail;  // the camera's embedded thumbnail, upright, when it has the picture's shape; else null
};

// One loading in steps, for a worker thread that reports as it goes and
// may be told to stop.
struct LoadSteps {
    std::function<QSize(QSize natural)> shownSizeFor;  // as for loadPicture; called on the worker
    // Called once, on the worker, before the picture is decoded: as soon as
    // the bytes read hold the header, within the budget. Not called for a
    // picture refused before that.
    std::function<void(const PictureHead &)> headRead;
    // Looked at between reads and at every step of the decoding (a row of
    // blocks of a JPEG read or made, a read of another kind of picture):
    // once true, the work stops within that step and the result is an error,
    // never what was decoded so far.
    const std::atomic<bool> *cancelled = nullptr;
    // Called on the worker at every step of the decoding, just before
    // `cancelled` is looked at (a test's way to stop a decode midway).
    std::function<void()> decodingStep;
};

// loadPicture in steps: the file is read a few kilobytes at a time, the
// header (and the embedded thumbnail, decoded within the same budget) is
// reported as soon as it has been read, then the picture is decoded as
// loadPicture decodes it.
Result<Picture> loadPictureInSteps(const QString &hostPath, const LoadSteps &steps);

}  // namespace pf
