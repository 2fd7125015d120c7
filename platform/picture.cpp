#include "platform/picture.h"

#include "platform/exif.h"
#include "platform/jpeglayout.h"
#include "platform/picturedecode.h"
#include "platform/sourceread.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>

namespace pf {

QSizeF longestSideFit(float w, float h, float boxWidth, float boxHeight)
{
    if (w > h) {
        const float q = boxWidth / w;
        const float height = q * h;
        return QSizeF(boxWidth, height);
    }
    const float q = boxHeight / h;
    const float width = q * w;
    return QSizeF(width, boxHeight);
}

namespace {

using namespace decoding;

// Files up to this size are read whole before they are decoded.
constexpr qint64 kReadWholeBytes = 64LL * 1024 * 1024;
// Read in steps: this much at a time (how long a stop waits on a slow
// medium), and the header looked for within the first this much.
constexpr qint64 kChunkBytes = 16 * 1024;
constexpr qint64 kHeadBytes = 1024 * 1024;

// Reads up to `n` bytes at `at` of a picture on a medium that may be worn:
// a failed read is tried again, and a stretch that stays unreadable (a bad
// sector) is left as zeros, a page at a time, so that the decoder shows
// what the rest of the file holds. Returns the bytes that stand in `out`:
// 0 at the file's end.
qint64 readThroughDamage(int fd, char *out, qint64 n, qint64 at, const struct stat &st)
{
    const ssize_t whole = readAt(fd, out, size_t(n), at, st, kReadTries);
    if (whole >= 0)
        return whole;
    constexpr qint64 kPage = 4096;
    for (qint64 done = 0; done < n;) {
        const qint64 piece = std::min(kPage - (at + done) % kPage, n - done);
        const ssize_t r = readAt(fd, out + done, size_t(piece), at + done, st, kReadTries);
        if (r == 0)
            return done;  // the file's end
        if (r < 0)
            std::memset(out + done, 0, size_t(piece));
        done += r > 0 ? r : piece;
    }
    return n;
}

// The header's news: the natural size, and the thumbnail when there is one
// of the picture's own shape. The thumbnail is decoded no larger than the
// picture is shown: one that claims a huge size must not cost more than the
// picture, nor its turn more again; and within the budget beside the bytes
// read of the file.
PictureHead headOf(QByteArrayView bytes, const Header &h, const LoadSteps &steps)
{
    PictureHead head{h.natural, QImage()};
    const ExifFacts exif = readExif(bytes);
    if (exif.hasThumbnail()) {
        const QSize shown = steps.shownSizeFor ? steps.shownSizeFor(h.natural) : QSize();
        const bool turned = exif.orientation >= 5;  // stored across what is shown
        QImage thumbnail = upright(
            decodeStored(exif.thumbnail(bytes), turned ? shown.transposed() : shown, bytes.size(), steps),
            exif.orientation);
        if (sameShape(thumbnail.size(), h.natural))
            head.thumbnail = std::move(thumbnail);
    }
    return head;
}

// The head from the first bytes of a JPEG, once they hold the header of its
// first scan (none yet: an empty optional). A picture beyond the budget by its
// header alone is refused here, before the rest of it is read.
Result<std::optional<PictureHead>> earlyHead(QByteArrayView soFar, qint64 fileBytes, const LoadSteps &steps,
                                             const QString &hostPath)
{
    const JpegLayout layout = readJpegLayout(soFar, PictureBudget::kMaxScans);
    if (!layout.isJpeg || layout.scans < 1)
        return std::optional<PictureHead>();
    if (Status s = withinLayout(layout, fileBytes, hostPath); !s)
        return s.error();
    QByteArray data = QByteArray::fromRawData(soFar.data(), soFar.size());
    QBuffer device(&data);
    device.open(QIODevice::ReadOnly);
    QImageReader reader(&device);
    Result<Header> h = readHeader(reader, hostPath);
    if (!h)
        return std::optional<PictureHead>();  // the scan's header is cut: the whole file decides
    if (Result<QSize> scaled = decodingSize(*h, layout, fileBytes, steps.shownSizeFor, hostPath); !scaled)
        return scaled.error();
    return std::optional<PictureHead>(headOf(soFar, *h, steps));
}

// A picture whose markers have been walked: its header read and its cost
// checked, then decoded from where its bytes are. `held`: its bytes in
// memory meanwhile. A stop, looked at within every step of the decode,
// returns no picture, whatever had been decoded so far.
Result<Picture> decodeChecked(QImageReader &reader, const Input &input, const JpegLayout &layout, qint64 held,
                              const QString &hostPath, const LoadSteps &steps, bool headTold)
{
    if (Status s = withinLayout(layout, held, hostPath); !s)
        return s.error();
    Result<Header> h = readHeader(reader, hostPath);
    if (!h)
        return h.error();
    Result<QSize> scaled = decodingSize(*h, layout, held, steps.shownSizeFor, hostPath);
    if (!scaled)
        return scaled.error();
    if (steps.headRead && !headTold)
        steps.headRead(input.file ? PictureHead{h->natural, QImage()} : headOf(input.held, *h, steps));
    if (isStopped(steps))
        return stopped(hostPath);
    Result<QImage> image = decode(input, *h, *scaled, steps, hostPath);
    if (!image)
        return image.error();
    return Picture{*image, h->natural};
}

// A picture read whole into memory.
Result<Picture> decodeHeld(const QByteArray &data, const QString &hostPath, const LoadSteps &steps, bool headTold)
{
    QByteArray bytes = QByteArray::fromRawData(data.constData(), data.size());
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    QImageReader reader(&device);
    const JpegLayout layout = readJpegLayout(data, PictureBudget::kMaxScans);
    return decodeChecked(reader, Input{data, nullptr}, layout, data.size(), hostPath, steps, headTold);
}

// A file too large to hold in memory: its markers are walked in chunks, and
// the decoder reads it from the file, as stoppable as one held.
Result<Picture> decodeStreamed(QFile &file, const QString &hostPath, const LoadSteps &steps)
{
    const JpegLayout layout = readJpegLayout(file, PictureBudget::kMaxScans);
    if (!file.seek(0))
        return refused(hostPath, file.errorString());
    QImageReader reader(&file);
    return decodeChecked(reader, Input{{}, &file}, layout, 0, hostPath, steps, false);
}

}  // namespace

Result<QSize> pictureSize(const QString &hostPath)
{
    QFile file;
    if (Status s = openRegular(hostPath, file); !s)
        return s.error();
    // What the reader keeps of the header is counted up to the first scan.
    const JpegLayout layout = readJpegLayout(file, 0);
    if (Status s = withinLayout(layout, 0, hostPath); !s)
        return s.error();
    if (!file.seek(0))
        return refused(hostPath, file.errorString());
    QImageReader reader(&file);
    Result<Header> h = readHeader(reader, hostPath);
    if (!h)
        return h.error();
    return h->natural;
}

Result<Picture> loadPicture(const QString &hostPath, QSize shownSize)
{
    return loadPicture(hostPath, [shownSize](QSize) { return shownSize; });
}

Result<Picture> loadPicture(const QString &hostPath, const std::function<QSize(QSize natural)> &shownSizeFor)
{
    LoadSteps steps;
    steps.shownSizeFor = shownSizeFor;
    return loadPictureInSteps(hostPath, steps);
}

Result<Picture> loadPictureInSteps(const QString &hostPath, const LoadSteps &steps)
{
    QFile file;
    if (Status s = openRegular(hostPath, file); !s)
        return s.error();
    const qint64 size = file.size();
    if (size > kReadWholeBytes)
        return decodeStreamed(file, hostPath, steps);
    // A file of ordinary size is read whole first: the decoder then takes
    // its data from memory, about a tenth faster than through small reads.
    // Read in steps, it is read a chunk at a time, and its header is looked
    // for as the chunks come in (a diskette gives a few dozen kilobytes a
    // second).
    const bool inSteps = steps.headRead || steps.cancelled;
    const qint64 chunk = inSteps ? kChunkBytes : std::max<qint64>(size, 1);
    struct stat st;
    if (::fstat(file.handle(), &st) != 0)
        return refused(hostPath, QString::fromLocal8Bit(std::strerror(errno)));
    // Read in steps, the drive is asked for no more than a step at a time
    // (no read-ahead): a stop, or the program's end, never waits on a long
    // request to a diskette drive.
    if (inSteps)
        (void)::posix_fadvise(file.handle(), 0, 0, POSIX_FADV_RANDOM);  // only advice: reading works either way
    QByteArray data(size, Qt::Uninitialized);
    qint64 got = 0;
    bool headTold = false;
    while (got < size) {
        if (isStopped(steps))
            return stopped(hostPath);
        const qint64 n = readThroughDamage(file.handle(), data.data() + got, std::min(chunk, size - got), got, st);
        if (n == 0)
            break;  // shorter now than when it was opened
        got += n;
        if (steps.headRead && !headTold && got < size && got <= kHeadBytes) {
            Result<std::optional<PictureHead>> head = earlyHead(QByteArrayView(data.constData(), got), size, steps, hostPath);
            if (!head)
                return head.error();
            if (head->has_value()) {
                steps.headRead(**head);
                headTold = true;
            }
        }
    }
    data.truncate(got);
    return decodeHeld(data, hostPath, steps, headTold);
}

Result<Picture> loadPicture(const FileSystem &fs, const QString &programPath, QSize shownSize)
{
    Result<QString> host = fs.hostPath(programPath);
    if (!host)
        return host.error();
    return loadPicture(*host, shownSize);
}

}  // namespace pf
