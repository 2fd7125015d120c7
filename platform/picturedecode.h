#pragma once
// Inside the picture loaders: one picture decoded within the budget. Its
// header is read, the size it is decoded at chosen, the cost of decoding it
// there counted against the budget, and only then is it decoded.

#include "platform/jpeglayout.h"
#include "platform/picture.h"

#include <QByteArrayView>
#include <QFile>
#include <QImage>
#include <QImageReader>

#include <functional>

namespace pf::decoding {

struct Header {
    QSize raw;      // as stored
    QSize natural;  // upright
    bool turned = false;
    bool transformed = false;  // turned or mirrored: the reader makes a second picture
    int depth = 4;             // bytes a pixel of the picture the reader makes, 4 at least
};

PlatformError refused(const QString &hostPath, const QString &why);

// Opens a picture for reading without waiting, and only a regular file.
Status openRegular(const QString &hostPath, QFile &file);

// The size and turn from the header; a picture claiming more pixels than the
// budget allows is refused here.
Result<Header> readHeader(QImageReader &reader, const QString &hostPath);

// Refuses, before its header is read, a picture of more scans than the
// budget allows, or one whose comments, EXIF blocks and colour profiles
// would take more memory, with `held` bytes of the file in memory.
Status withinLayout(const JpegLayout &layout, qint64 held, const QString &hostPath);

// The size to decode at (empty: the full size), once the cost of decoding
// at it is known to be within the budget. `held`: the file's bytes in memory.
Result<QSize> decodingSize(const Header &h, const JpegLayout &layout, qint64 held,
                           const std::function<QSize(QSize natural)> &shownSizeFor, const QString &hostPath);

// Decodes at `scaled` (empty: the full size).
Result<QImage> decode(QImageReader &reader, QSize scaled, const QString &hostPath);

// A JPEG held in memory (a camera's embedded thumbnail), decoded within the
// budget as it is stored, without any turn, at the smallest of the decoder's
// steps that covers `shownSize` (as stored; empty: the full size); null when
// it cannot be. `held`: the bytes in memory meanwhile (the file it lies in),
// at least its own.
QImage decodeStored(QByteArrayView jpeg, QSize shownSize, qint64 held);

}  // namespace pf::decoding
