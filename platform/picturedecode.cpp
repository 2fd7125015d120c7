#include "platform/picturedecode.h"

#include "platform/hostnames.h"
#include "platform/jpegdecoder.h"

#include <QBuffer>
#include <QTransform>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pf::decoding {

namespace {

qint64 pictureBytes(QSize size, int bytesPerPixel) { return qint64(size.width()) * size.height() * bytesPerPixel; }

// The pictures the reader makes at once, as stored (`scaled` empty: full
// size): the JPEG decoder decodes at the smallest of its eighths that covers
// the size asked for; then the reader scales that to the size asked for, and
// turns or mirrors the result, each into a new picture. A picture of another
// kind is decoded whole, and copied into 32 or 64 bits a pixel to be scaled.
qint64 decodedBytes(const Header &h, QSize scaled, const JpegLayout &layout)
{
    const int depth = layout.isJpeg && layout.components.size() == 1 ? 1 : h.depth;  // grey, else 32-bit or more
    QSize decoded = h.raw;
    if (!scaled.isEmpty() && layout.isJpeg) {
        const double f = std::min(double(h.raw.width()) / scaled.width(), double(h.raw.height()) / scaled.height());
        const int eighths = std::clamp(int(std::ceil(8 / f)), 1, 8);
        decoded = QSize(int((qint64(h.raw.width()) * eighths + 7) / 8), int((qint64(h.raw.height()) * eighths + 7) / 8));
    }
    const qint64 first = pictureBytes(decoded, depth);
    qint64 last = first, peak = first;
    if (!scaled.isEmpty() && scaled != decoded) {
        last = pictureBytes(scaled, depth);
        peak = first + last + (layout.isJpeg ? 0 : first);
    }
    if (h.transformed)
        peak = std::max(peak, last * 2);
    return peak;
}

// The reader's own limit on a decoded picture (128 MB unless set), the same
// as the budget. It is one for the whole program: set once, also when
// pictures are decoded on several threads at a time.
void limitReaders()
{
    static const bool limited = [] {
        QImageReader::setAllocationLimit(int(PictureBudget::kMaxDecodingBytes >> 20));
        return true;
    }();
    Q_UNUSED(limited);
}

// Turned and mirrored as Qt's reader does it: mirrored first, then turned a
// quarter clockwise.
QImage turnedUpright(QImage image, QImageIOHandler::Transformations t)
{
    if (t & (QImageIOHandler::TransformationMirror | QImageIOHandler::TransformationFlip))
        image = std::move(image).mirrored(t & QImageIOHandler::TransformationMirror,
                                          t & QImageIOHandler::TransformationFlip);
    if (t & QImageIOHandler::TransformationRotate90)
        image = image.transformed(QTransform().rotate(90));
    return image;
}

// A picture's bytes as the reader of another kind of picture (PNG, bitmap)
// reads them, from memory or from the file, as much at a time as it asks.
// Each read is a step of its decode: once stopped, the data reads as failed,
// and the reader gives up at once.
class StoppableInput : public QIODevice {
public:
    StoppableInput(const Input &input, const LoadSteps &steps) : m_input(input), m_steps(steps)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    qint64 size() const override { return m_input.file ? m_input.file->size() : m_input.held.size(); }
    bool stopped() const { return m_stopped; }

protected:
    qint64 readData(char *out, qint64 max) override
    {
        if (m_stopped)
            return -1;
        if (m_steps.decodingStep)
            m_steps.decodingStep();
        if (isStopped(m_steps)) {
            m_stopped = true;
            return -1;
        }
        if (m_input.file)
            return m_input.file->seek(pos()) ? m_input.file->read(out, max) : -1;
        const qint64 n = std::min(max, qint64(m_input.held.size()) - pos());
        if (n <= 0)
            return 0;
        std::memcpy(out, m_input.held.data() + pos(), size_t(n));
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    const Input m_input;
    const LoadSteps &m_steps;
    bool m_stopped = false;
};

Result<QImage> decodeOther(const Input &input, QSize scaled, const LoadSteps &steps, const QString &hostPath)
{
    StoppableInput device(input, steps);
    QImageReader reader(&device);
    reader.setAutoTransform(true);
    if (scaled.isValid())
        reader.setScaledSize(scaled);
    limitReaders();
    QImage image = reader.read();
    if (device.stopped())
        return stopped(hostPath);
    if (image.isNull())
        return refused(hostPath, QStringLiteral("The picture cannot be read: %1").arg(reader.errorString()));
    return image;
}

PlatformError tooCostly(qint64 cost, const QString &hostPath)
{
    return refused(hostPath, QStringLiteral("Decoding the picture would take %1 MB, more than the %2 MB allowed")
                                 .arg((cost + (1 << 20) - 1) >> 20)
                                 .arg(PictureBudget::kMaxDecodingBytes >> 20));
}

}  // namespace

PlatformError refused(const QString &hostPath, const QString &why)
{
    return makeError(ErrPathFileAccess, why, hostPath);
}

PlatformError stopped(const QString &hostPath) { return refused(hostPath, QStringLiteral("Cancelled")); }

bool isStopped(const LoadSteps &steps) { return steps.cancelled && steps.cancelled->load(std::memory_order_relaxed); }

// A named pipe or a device (swapped in for a picture since the folder was
// listed, say) would wait in the opening or in the reads for ever. The type
// is taken from the open descriptor, so nothing can change in between.
Status openRegular(const QString &hostPath, QFile &file)
{
    const int fd = ::open(toHostName(hostPath).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return errorFromErrno(errno, hostPath);
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        return errorFromErrno(err, hostPath);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return refused(hostPath, QStringLiteral("The file is not a regular file"));
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return refused(hostPath, file.errorString());
    }
    return {};
}

Result<Header> readHeader(QImageReader &reader, const QString &hostPath)
{
    reader.setAutoTransform(true);
    const QSize raw = reader.size();
    if (!raw.isValid() || raw.isEmpty())
        return refused(hostPath, QStringLiteral("Not a picture that can be shown: %1").arg(reader.errorString()));
    if (qint64(raw.width()) * raw.height() > PictureBudget::kMaxPixels)
        return refused(hostPath, QStringLiteral("The picture claims a size of %1 x %2 pixels, too large to show")
                                     .arg(raw.width())
                                     .arg(raw.height()));
    Header h;
    h.raw = raw;
    h.jpeg = reader.format() == "jpeg";
    h.transformation = reader.transformation();
    h.turned = h.transformation & QImageIOHandler::TransformationRotate90;
    h.transformed = h.transformation != QImageIOHandler::TransformationNone;
    h.natural = h.turned ? raw.transposed() : raw;
    if (const QImage::Format f = reader.imageFormat(); f != QImage::Format_Invalid)
        h.depth = std::max(4, QImage::toPixelFormat(f).bitsPerPixel() / 8);
    return h;
}

Status withinLayout(const JpegLayout &layout, qint64 held, const QString &hostPath)
{
    if (layout.scans > PictureBudget::kMaxScans)
        return refused(hostPath, QStringLiteral("The picture is coded in more than %1 scans, too many to show")
                                     .arg(PictureBudget::kMaxScans));
    if (const qint64 cost = held + jpegKeptBytes(layout); cost > PictureBudget::kMaxDecodingBytes)
        return tooCostly(cost, hostPath);
    return {};
}

Result<QSize> decodingSize(const Header &h, const JpegLayout &layout, qint64 held,
                           const std::function<QSize(QSize natural)> &shownSizeFor, const QString &hostPath)
{
    const QSize shownSize = shownSizeFor ? shownSizeFor(h.natural) : QSize();
    QSize scaled;
    if (shownSize.isValid() && !shownSize.isEmpty()
        && (shownSize.width() < h.natural.width() || shownSize.height() < h.natural.height())) {
        // The JPEG decoder makes 1/2, 1/4 or 1/8 of a picture for little
        // more than the reading of the file, while any other size costs a
        // larger decode and a resampling after it. Take the smallest of those
        // steps that still covers the size shown, with the proportions kept;
        // the picture box does the last smooth step.
        const QSize target = h.natural.scaled(shownSize, Qt::KeepAspectRatioByExpanding);
        QSize step = h.natural;
        for (int d = 2; d <= 8; d *= 2) {
            const QSize smaller(h.natural.width() / d, h.natural.height() / d);
            if (smaller.width() < target.width() || smaller.height() < target.height() || smaller.isEmpty())
                break;
            step = smaller;
        }
        if (step != h.natural)
            scaled = h.turned ? step.transposed() : step;
    }
    const qint64 cost = held + jpegDecoderBytes(layout) + decodedBytes(h, scaled, layout);
    if (cost > PictureBudget::kMaxDecodingBytes)
        return tooCostly(cost, hostPath);
    return scaled;
}

Result<QImage> decode(const Input &input, const Header &h, QSize scaled, const LoadSteps &steps,
                      const QString &hostPath)
{
    if (!h.jpeg)
        return decodeOther(input, scaled, steps, hostPath);
    if (input.file && !input.file->seek(0))
        return refused(hostPath, input.file->errorString());
    const std::function<void()> *step = steps.decodingStep ? &steps.decodingStep : nullptr;
    JpegDecoded decoded = decodeJpeg(JpegInput{input.held, input.file}, scaled, JpegWatch{steps.cancelled, step});
    if (decoded.stopped)
        return stopped(hostPath);
    if (decoded.image.isNull())
        return refused(hostPath, QStringLiteral("The picture cannot be read: %1").arg(decoded.failure));
    return turnedUpright(std::move(decoded.image), h.transformation);
}

QImage decodeStored(QByteArrayView bytes, QSize shownSize, qint64 held, const LoadSteps &steps)
{
    held = std::max<qint64>(held, bytes.size());
    QByteArray data = QByteArray::fromRawData(bytes.data(), bytes.size());
    QBuffer device(&data);
    device.open(QIODevice::ReadOnly);
    QImageReader reader(&device, "jpeg");
    const JpegLayout layout = readJpegLayout(bytes, PictureBudget::kMaxScans);
    const QString none;
    if (!withinLayout(layout, held, none))
        return QImage();
    Result<Header> h = readHeader(reader, none);
    if (!h)
        return QImage();
    Result<QSize> scaled = decodingSize(*h, layout, held, [shownSize](QSize) { return shownSize; }, none);
    if (!scaled)
        return QImage();
    // A thumbnail is turned by its picture's mark, not by anything inside it.
    h.value().transformation = QImageIOHandler::TransformationNone;
    return decode(Input{bytes, nullptr}, *h, *scaled, steps, none).valueOr(QImage());
}

}  // namespace pf::decoding
