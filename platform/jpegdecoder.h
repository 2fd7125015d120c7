#pragma once
// A JPEG decoded by the JPEG library itself, the one Qt's reader decodes
// with: the same pixels, the same grey where the data is cut short or
// damaged, but with the library's progress hook looked at for every row of
// blocks read or made. So a decode can be stopped within a row, whatever the
// picture's size and however few bytes code it.

#include <QByteArrayView>
#include <QImage>
#include <QSize>
#include <QString>

#include <atomic>
#include <functional>

class QIODevice;

namespace pf::decoding {

// Where the stream is: held in memory whole, or read from an open file from
// its current position, a few kilobytes at a time.
struct JpegInput {
    QByteArrayView held;
    QIODevice *file = nullptr;  // when not held
};

// Looked at by the decoder at each of its steps (a row of blocks, a read of
// the file): `step` is called first, then the decode ends if `stop` is set.
struct JpegWatch {
    const std::atomic<bool> *stop = nullptr;
    const std::function<void()> *step = nullptr;
};

struct JpegDecoded {
    QImage image;          // as stored (not turned), at `scaled` when asked for; null when stopped or failed
    bool stopped = false;  // ended by `stop`, not by the data
    QString failure;       // why it failed, in the library's words
};

// Decodes at the smallest of the decoder's eighths that covers `scaled` (as
// stored; empty: the full size), then scales smoothly to `scaled` when that
// differs, as Qt's reader does. Grey stays grey (8 bits a pixel); colour and
// CMYK become 32-bit RGB. A picture the library cannot decode at all fails.
JpegDecoded decodeJpeg(const JpegInput &input, QSize scaled, const JpegWatch &watch);

}  // namespace pf::decoding
