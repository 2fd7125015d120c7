#include "platform/exif.h"

#include <QTransform>

#include <cmath>

namespace pf {

namespace {

constexpr int kOrientationTag = 0x0112;
constexpr int kThumbnailAtTag = 0x0201;
constexpr int kThumbnailBytesTag = 0x0202;
constexpr int kShort = 3, kLong = 4;  // TIFF field types

// The TIFF block of the EXIF segment, read in its own byte order. Reads
// outside the block fail.
class Tiff {
public:
    Tiff(QByteArrayView block, bool bigEndian) : m_block(block), m_big(bigEndian) {}

    qsizetype size() const { return m_block.size(); }

    bool u16(qint64 at, quint32 &v) const
    {
        if (at < 0 || at + 2 > m_block.size())
            return false;
        const quint32 a = byte(at), b = byte(at + 1);
        v = m_big ? a << 8 | b : b << 8 | a;
        return true;
    }

    bool u32(qint64 at, quint32 &v) const
    {
        quint32 hi, lo;
        if (!u16(at, m_big ? hi : lo) || !u16(at + 2, m_big ? lo : hi))
            return false;
        v = hi << 16 | lo;
        return true;
    }

    // A field's single value, of type SHORT or LONG. The value sits in the
    // entry itself, left-justified.
    bool value(qint64 entry, quint32 &v) const
    {
        quint32 type, count;
        if (!u16(entry + 2, type) || !u32(entry + 4, count) || count != 1)
            return false;
        if (type == kShort)
            return u16(entry + 8, v);
        return type == kLong && u32(entry + 8, v);
    }

private:
    quint32 byte(qint64 at) const { return uchar(m_block[at]); }

    QByteArrayView m_block;
    bool m_big;
};

// One image file directory: its entries, and where the next one starts.
struct Directory {
    qint64 entries = 0;  // offset of the first entry
    quint32 count = 0;
    quint32 next = 0;
};

bool readDirectory(const Tiff &tiff, quint32 at, Directory &d)
{
    quint32 count;
    if (at < 8 || !tiff.u16(at, count))
        return false;
    d.entries = qint64(at) + 2;
    d.count = count;
    // Twelve bytes an entry, then the next directory's offset: all within the block.
    return tiff.u32(d.entries + 12 * qint64(count), d.next);
}

// The value of `tag` in the directory, if it has one of a usable type.
bool field(const Tiff &tiff, const Directory &d, int tag, quint32 &v)
{
    for (quint32 i = 0; i < d.count; ++i) {
        const qint64 entry = d.entries + 12 * qint64(i);
        quint32 t;
        if (tiff.u16(entry, t) && int(t) == tag)
            return tiff.value(entry, v);
    }
    return false;
}

// The EXIF segment's TIFF block: where it starts in the data and its bytes.
bool findTiff(QByteArrayView jpeg, qsizetype &start, QByteArrayView &block)
{
    const auto at = [&jpeg](qsizetype i) { return uchar(jpeg[i]); };
    if (jpeg.size() < 4 || at(0) != 0xFF || at(1) != 0xD8)
        return false;
    qsizetype i = 2;
    while (i + 1 < jpeg.size()) {
        if (at(i) != 0xFF)
            return false;  // not where a marker belongs: no EXIF to trust
        uchar code = at(i + 1);
        if (code == 0xFF) {  // fill byte
            ++i;
            continue;
        }
        i += 2;
        if (code == 0xDA || code == 0xD9)  // the first scan, or the end: no EXIF before it
            return false;
        if (code == 0x01 || (code >= 0xD0 && code <= 0xD8))
            continue;  // no length follows
        if (i + 2 > jpeg.size())
            return false;
        const qsizetype length = at(i) << 8 | at(i + 1);
        if (length < 2 || i + length > jpeg.size())
            return false;  // cut short, or a length that cannot be
        const QByteArrayView payload = jpeg.sliced(i + 2, length - 2);
        if (code == 0xE1 && payload.startsWith(QByteArrayView("Exif\0\0", 6))) {
            start = i + 2 + 6;
            block = payload.sliced(6);
            return true;
        }
        i += length;
    }
    return false;
}

}  // namespace

ExifFacts readExif(QByteArrayView jpeg)
{
    ExifFacts facts;
    qsizetype start = 0;
    QByteArrayView block;
    if (!findTiff(jpeg, start, block) || block.size() < 8)
        return facts;
    bool big;
    if (block.startsWith("MM"))
        big = true;
    else if (block.startsWith("II"))
        big = false;
    else
        return facts;
    const Tiff tiff(block, big);
    quint32 magic, first;
    Directory ifd0;
    if (!tiff.u16(2, magic) || magic != 42 || !tiff.u32(4, first) || !readDirectory(tiff, first, ifd0))
        return facts;
    quint32 v;
    if (field(tiff, ifd0, kOrientationTag, v) && v >= 1 && v <= 8)
        facts.orientation = int(v);

    // The thumbnail's directory follows the first, and only once: a chain
    // that points back is not followed round.
    Directory ifd1;
    if (ifd0.next == 0 || ifd0.next == first || !readDirectory(tiff, ifd0.next, ifd1))
        return facts;
    quint32 where, length;
    if (!field(tiff, ifd1, kThumbnailAtTag, where) || !field(tiff, ifd1, kThumbnailBytesTag, length))
        return facts;
    // Whole within the block, in 64-bit arithmetic: no offset wraps round.
    if (length < 4 || qint64(where) + qint64(length) > tiff.size())
        return facts;
    const QByteArrayView thumbnail = block.sliced(where, length);
    if (uchar(thumbnail[0]) != 0xFF || uchar(thumbnail[1]) != 0xD8)
        return facts;
    facts.thumbnailAt = start + where;
    facts.thumbnailBytes = length;
    return facts;
}

QImage upright(const QImage &stored, int orientation)
{
    // Mirrored across, mirrored down, then turned a quarter clockwise: the
    // eight marks, as the picture decoder applies them.
    static constexpr bool kAcross[9] = {false, false, true, true, false, false, false, true, true};
    static constexpr bool kDown[9] = {false, false, false, true, true, true, false, false, true};
    static constexpr bool kTurn[9] = {false, false, false, false, false, true, true, true, true};
    if (orientation < 1 || orientation > 8 || stored.isNull())
        return stored;
    QImage out = kAcross[orientation] || kDown[orientation] ? stored.mirrored(kAcross[orientation], kDown[orientation])
                                                            : stored;
    return kTurn[orientation] ? out.transformed(QTransform().rotate(90)) : out;
}

bool sameShape(QSize thumbnail, QSize picture)
{
    if (thumbnail.isEmpty() || picture.isEmpty())
        return false;
    const double own = double(thumbnail.width()) / thumbnail.height();
    const double shown = double(picture.width()) / picture.height();
    return std::abs(own - shown) <= 0.02 * shown;
}

}  // namespace pf
