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
    bool jpeg = false;  // decoded by the JPEG library itself, else by Qt's reader
    QImageIOHandler::Transformations transformation = QImageIOHandler::TransformationNone;  // to upright
    bool turned = false;
    bool transformed = false;  // turned or mirrored: the reader makes a second picture
    int depth = 4;             // bytes a pixel of the picture the reader makes, 4 at least
};

// Where a picture's bytes are while it is decoded.
struct Input {
    QByteArrayView held;        // the whole file, in memory
    QIODevice *file = nullptr;  // else read from this file, from its start
};

PlatformError refused(const QString &hostPath, const QString &why);

// What a stopped loading or decode returns: never a picture, however much
// of it had been decoded.
PlatformError stopped(const QString &hostPath);
bool isStopped(const LoadSteps &steps);

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

// Decodes at `scaled` (empty: the full size, else as stored), then turns it
// upright. Every decode can be stopped within one of its steps (a row of
// blocks of a JPEG, a read of another kind of picture): at each,
// steps.decodingStep is called, then steps.cancelled looked at.
Result<QImage> decode(const Input &input, const Header &h, QSize scaled, const LoadSteps &steps,
                      const QString &hostPath);

// A JPEG held in memory (a camera's embedded thumbnail), decoded within the
// budget as it is stored, without any turn, at the smallest of the decoder's
// steps that covers `shownSize` (as stored; empty: the full size); null when
// it cannot be or is stopped. `held`: the bytes in memory meanwhile (the
// file it lies in), at least its own.
QImage decodeStored(QByteArrayView jpeg, QSize shownSize, qint64 held, const LoadSteps &steps);

}  // namespace pf::decoding
