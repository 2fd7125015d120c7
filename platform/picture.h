#pragma once
// Pictures: the natural size read from the header alone, decoding at the size
// a picture is shown, EXIF orientation applied, and the longest-side fit.

#include "platform/files.h"

#include <QImage>
#include <QSize>
#include <QSizeF>

#include <functional>

namespace pf {

// The one sizing rule for every picture box: a wide picture (W > H) takes the
// box's width, a tall or square one the box's height; the other side follows
// the ratio. Quotient first, then product, in single precision.
QSizeF longestSideFit(float w, float h, float boxWidth, float boxHeight);

// Pictures claiming more pixels than this are refused before any decoding.
constexpr qint64 kMaxPicturePixels = 400LL * 1000 * 1000;

struct Picture {
    QImage image;  // decoded at (at least) the size asked for, turned upright
    QSize natural; // the picture's own size, after the EXIF turn
};

// Natural size from the header, without decoding the picture.
Result<QSize> pictureSize(const QString &hostPath);

// Decodes the picture so that `shownSize` (pixels, upright) fits in what is
// decoded: at the full size, or at a half, a quarter or an eighth of it,
// whichever is the smallest that covers shownSize. An empty shownSize decodes
// at full size.
Result<Picture> loadPicture(const QString &hostPath, QSize shownSize = QSize());

// The same, with the shown size chosen once the natural size is known (for a
// window that sizes its picture by the picture's own proportions).
Result<Picture> loadPicture(const QString &hostPath, const std::function<QSize(QSize natural)> &shownSizeFor);

// The same for a program path ("a:\PIC.JPG").
Result<Picture> loadPicture(const FileSystem &fs, const QString &programPath, QSize shownSize = QSize());

}  // namespace pf
