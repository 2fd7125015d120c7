#pragma once
// What a JPEG stream's markers say about the cost of decoding it, read
// without decoding: the frame (size, components, sampling) and the scans.

#include <QByteArrayView>
#include <QList>

class QIODevice;

namespace pf {

struct JpegLayout {
    struct Component {
        int h = 1, v = 1;  // sampling factors
    };
    bool isJpeg = false;     // starts with the start-of-image marker
    bool hasFrame = false;   // a start-of-frame segment was read whole
    int width = 0, height = 0;
    QList<Component> components;
    bool progressive = false;       // coded in successive refinements (SOF2, 6, 10, 14)
    bool firstScanPartial = false;  // the first scan codes only some of the components
    int scans = 0;                  // start-of-scan markers seen; counting stops past the cap given
    qint64 keptBytes = 0;           // of comments, EXIF blocks and colour profiles, which the reader keeps
    bool complete = false;          // the walk reached the end-of-image marker

    // The decoder keeps every coefficient of the picture while it reads the
    // scans, instead of a few rows of blocks at a time.
    bool keepsAllCoefficients() const { return progressive || firstScanPartial; }
};

// Walks the markers from the start of `data` as the decoder meets them: the
// entropy-coded data after each scan, and stray bytes between segments, are
// passed over, and so is a segment whose length is below 2. Stops at the
// end-of-image marker, at the end of the data (a file cut short), at a frame
// or scan header that cannot be read, or as soon as more than `scanCap`
// scans have been seen. Never reads past the data.
JpegLayout readJpegLayout(QByteArrayView data, int scanCap);

// The same, read in chunks from the device's current position (for files
// too large to hold in memory whole). Seek the device back before reading
// it again.
JpegLayout readJpegLayout(QIODevice &device, int scanCap);

// Bytes the JPEG decoder itself holds to decode a picture of this layout,
// at any size: for a picture that keeps all its coefficients, 2 bytes for
// every sample of every component at full size, padded to whole units of
// its sampling; and in any case a few rows of blocks across the picture;
// and what the reader keeps of the comments, EXIF blocks and colour
// profiles (jpegKeptBytes). The decoded picture is not counted here.
qint64 jpegDecoderBytes(const JpegLayout &layout);

// Bytes the reader holds for the comments, EXIF blocks and colour profiles,
// already while it reads the header: the decoder keeps a copy of each, and
// the reader makes texts of the comments, two bytes a character, twice.
qint64 jpegKeptBytes(const JpegLayout &layout);

}  // namespace pf
