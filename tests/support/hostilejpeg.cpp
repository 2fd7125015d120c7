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
