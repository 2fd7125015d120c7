#include "tests/support/hostilejpeg.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>

namespace hostile {

namespace {

// The marker segments before the first scan's data, in order, each whole
// (marker and length included).
QList<QByteArray> headerSegments(const QByteArray &jpeg)
{
    QList<QByteArray> out;
    for (qsizetype at = 2; at + 4 <= jpeg.size() && uchar(jpeg[at]) == 0xFF;) {
        const int length = uchar(jpeg[at + 2]) << 8 | uchar(jpeg[at + 3]);
        out << jpeg.mid(at, 2 + length);
        if (uchar(jpeg[at + 1]) == 0xDA)
            break;
        at += 2 + length;
    }
    return out;
}

bool isFrame(const QByteArray &segment) { return uchar(segment[1]) >= 0xC0 && uchar(segment[1]) <= 0xC2; }

// The frame header claiming another size, and made progressive if asked.
QByteArray claiming(QByteArray frame, QSize claimed, bool progressive)
{
    const char size[4] = {char(claimed.height() >> 8), char(claimed.height()), char(claimed.width() >> 8),
                          char(claimed.width())};
    if (progressive)
        frame[1] = char(0xC2);
    return frame.replace(5, 4, size, 4);
}

QByteArray be16(int v) { return QByteArray(1, char(v >> 8)) + char(v & 0xFF); }

// TIFF numbers in the block's own byte order.
struct TiffWriter {
    bool big;
    QByteArray u16(quint32 v) const
    {
        const QByteArray b(1, char(v >> 8));
        return big ? b + char(v & 0xFF) : QByteArray(1, char(v & 0xFF)) + b;
    }
    QByteArray u32(quint32 v) const { return big ? u16(v >> 16) + u16(v & 0xFFFF) : u16(v & 0xFFFF) + u16(v >> 16); }
    // One directory entry holding a single value.
    QByteArray entry(int tag, int type, quint32 value) const
    {
        return u16(tag) + u16(type) + u32(1) + (type == 3 ? u16(value) + u16(0) : u32(value));
    }
};

}  // namespace

QImage detailed(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 7 + y) & 255, (y * 5) & 255, ((x ^ y) * 3) & 255));
    return image;
}

QImage solid(QSize size, QColor colour, QColor leftHalf)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    if (leftHalf.isValid())
        QImage(image.bits(), size.width() / 2, size.height(), image.bytesPerLine(), image.format()).fill(leftHalf);
    return image;
}

QByteArray jpeg(const QImage &image, bool progressive)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(85);
    writer.setProgressiveScanWrite(progressive);
    return writer.write(image) ? bytes : QByteArray();
}

QByteArray redAboveDetail()
{
    QImage image = detailed(1200, 900);
    QImage(image.bits(), 1200, 450, image.bytesPerLine(), image.format()).fill(kRed);
    return jpeg(image);
}

QByteArray zeroed(QByteArray bytes, qsizetype at, qsizetype length)
{
    return bytes.replace(at, length, QByteArray(length, '\0'));
}

bool near(const QImage &picture, QColor e, double atY)
{
    const QColor c = picture.isNull() ? QColor() : picture.pixelColor(picture.width() / 2, int(picture.height() * atY));
    return c.isValid() && qAbs(c.red() - e.red()) < 40 && qAbs(c.green() - e.green()) < 40
           && qAbs(c.blue() - e.blue()) < 40;
}

QByteArray withFrameSize(QByteArray jpeg, QSize claimed)
{
    qsizetype at = 2;
    for (const QByteArray &s : headerSegments(jpeg)) {
        if (isFrame(s))
            return jpeg.replace(at, s.size(), claiming(s, claimed, false));
        at += s.size();
    }
    return {};
}

QByteArray progressiveScans(const QByteArray &baseline, QSize claimed, int scans, const QByteArray &data)
{
    QByteArray out("\xFF\xD8", 2), scan;
    for (const QByteArray &s : headerSegments(baseline)) {
        if (uchar(s[1]) == 0xDA)  // the same components and tables; the first pass of the DC coefficients
            scan = s.chopped(3) + QByteArray("\x00\x00\x00", 3);
        else
            out += isFrame(s) ? claiming(s, claimed, true) : s;
    }
    if (scan.isEmpty())
        return {};
    for (int i = 0; i < scans; ++i)
        out += scan + data;
    return out + QByteArray("\xFF\xD9", 2);
}

QByteArray withExif(const QByteArray &jpeg, const Exif &exif)
{
    const TiffWriter w{exif.bigEndian};
    const bool turned = exif.orientation != 0, thumb = !exif.thumbnail.isEmpty();
    const quint32 first = 8, second = first + 2 + (turned ? 12 : 0) + 4;
    const quint32 at = second + 2 + 2 * 12 + 4;
    QByteArray tiff = QByteArray(exif.bigEndian ? "MM" : "II") + w.u16(42) + w.u32(first);
    tiff += w.u16(turned ? 1 : 0);
    if (turned)
        tiff += w.entry(0x0112, 3, quint32(exif.orientation));
    tiff += w.u32(exif.nextDirectory >= 0 ? quint32(exif.nextDirectory) : thumb ? second : 0);
    if (thumb) {
        tiff += w.u16(2);
        tiff += w.entry(0x0201, 4, exif.thumbnailAt >= 0 ? quint32(exif.thumbnailAt) : at);
        const qint64 length = exif.thumbnailLength >= 0 ? exif.thumbnailLength : exif.thumbnail.size();
        tiff += w.entry(0x0202, 4, quint32(length));
        tiff += w.u32(0) + exif.thumbnail;
    }
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    return jpeg.left(2) + QByteArray("\xFF\xE1", 2) + be16(int(payload.size()) + 2) + payload + jpeg.mid(2);
}

long peakResidentKb()
{
    QFile f("/proc/self/status");
    const QList<QByteArray> lines = f.open(QIODevice::ReadOnly) ? f.readAll().split('\n') : QList<QByteArray>();
    for (const QByteArray &line : lines)
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

void resetPeakResident()
{
    QFile f("/proc/self/clear_refs");
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

}  // namespace hostile
