#include "tests/support/hostilejpeg.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QList>

namespace hostile {

namespace {

struct Segment {
    uchar code;
    QByteArray bytes;  // the whole segment, marker and length included
};

// The marker segments before the first scan's data, in order.
QList<Segment> headerSegments(const QByteArray &jpeg)
{
    QList<Segment> out;
    qsizetype at = 2;  // after the start-of-image marker
    while (at + 4 <= jpeg.size() && uchar(jpeg[at]) == 0xFF) {
        const uchar code = uchar(jpeg[at + 1]);
        const int length = uchar(jpeg[at + 2]) << 8 | uchar(jpeg[at + 3]);
        out.append({code, jpeg.mid(at, 2 + length)});
        if (code == 0xDA)
            break;
        at += 2 + length;
    }
    return out;
}

bool isFrame(uchar code) { return code == 0xC0 || code == 0xC1 || code == 0xC2; }

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

QImage detailed(int width, int height, bool grey)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgb((x * 7 + y) & 255, (y * 5) & 255, ((x ^ y) * 3) & 255);
    }
    return grey ? image.convertToFormat(QImage::Format_Grayscale8) : image;
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

QByteArray withFrameSize(QByteArray jpeg, QSize claimed)
{
    qsizetype at = 2;
    for (const Segment &s : headerSegments(jpeg)) {
        if (isFrame(s.code)) {
            jpeg.replace(at + 5, 4, be16(claimed.height()) + be16(claimed.width()));
            return jpeg;
        }
        at += s.bytes.size();
    }
    return {};
}

QByteArray progressiveScans(const QByteArray &baseline, QSize claimed, int scans, const QByteArray &data)
{
    QByteArray out("\xFF\xD8", 2);
    QByteArray scan;
    for (const Segment &s : headerSegments(baseline)) {
        if (isFrame(s.code)) {
            QByteArray frame = s.bytes;
            frame[1] = char(0xC2);
            frame.replace(5, 4, be16(claimed.height()) + be16(claimed.width()));
            out += frame;
        } else if (s.code == 0xDA) {
            // The same components and tables; the first pass of the DC
            // coefficients (spectral 0 to 0, no approximation).
            scan = s.bytes;
            scan.chop(3);
            scan += QByteArray("\x00\x00\x00", 3);
        } else {
            out += s.bytes;
        }
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
        tiff += w.entry(0x0202, 4, exif.thumbnailLength >= 0 ? quint32(exif.thumbnailLength) : quint32(exif.thumbnail.size()));
        tiff += w.u32(0) + exif.thumbnail;
    }
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    return jpeg.left(2) + QByteArray("\xFF\xE1", 2) + be16(int(payload.size()) + 2) + payload + jpeg.mid(2);
}

long peakResidentKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

void resetPeakResident()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

}  // namespace hostile
