#include "platform/jpeglayout.h"

#include <QByteArray>
#include <QIODevice>

#include <algorithm>
#include <cstring>

namespace pf {

namespace {

// Marker codes (the byte after 0xFF).
constexpr uchar kSoi = 0xD8, kEoi = 0xD9, kSos = 0xDA, kTem = 0x01;
constexpr uchar kRst0 = 0xD0, kRst7 = 0xD7;
// Segments the reader keeps in memory: APP1 (EXIF), APP2 (colour profile), comments.
constexpr uchar kApp1 = 0xE1, kApp2 = 0xE2, kCom = 0xFE;

// Start of frame: C0 to CF except C4 (Huffman tables), C8 (reserved) and CC
// (arithmetic conditioning).
bool isStartOfFrame(uchar code) { return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC; }
bool isProgressiveFrame(uchar code) { return code == 0xC2 || code == 0xC6 || code == 0xCA || code == 0xCE; }

// Bytes from memory, or from a device a chunk at a time. Nothing is read
// past the end.
class ByteReader {
public:
    explicit ByteReader(QByteArrayView data)
        : m_p(reinterpret_cast<const uchar *>(data.data())), m_end(m_p + data.size())
    {
    }
    explicit ByteReader(QIODevice &device) : m_device(&device) {}

    bool get(uchar &b)
    {
        if (m_p == m_end && !refill())
            return false;
        b = *m_p++;
        return true;
    }

    bool get16(int &v)
    {
        uchar hi, lo;
        if (!get(hi) || !get(lo))
            return false;
        v = hi << 8 | lo;
        return true;
    }

    bool read(QByteArray &out, int n)
    {
        out.resize(n);
        for (int done = 0; done < n;) {
            if (m_p == m_end && !refill())
                return false;
            const int take = int(std::min<qint64>(n - done, m_end - m_p));
            std::memcpy(out.data() + done, m_p, size_t(take));
            m_p += take;
            done += take;
        }
        return true;
    }

    bool skip(qint64 n)
    {
        while (n > m_end - m_p) {
            n -= m_end - m_p;
            m_p = m_end;
            if (!refill())
                return false;
        }
        m_p += n;
        return true;
    }

    // The next marker's code, as the decoder finds it: bytes up to an 0xFF
    // are passed over (entropy-coded data, or stray bytes), as are fill
    // bytes (more 0xFF), a stuffed 0xFF (followed by 0x00) and the restart
    // markers inside a scan's data.
    bool nextMarker(uchar &code)
    {
        for (;;) {
            if (m_p == m_end && !refill())
                return false;
            const void *ff = std::memchr(m_p, 0xFF, size_t(m_end - m_p));
            if (!ff) {
                m_p = m_end;
                continue;
            }
            m_p = static_cast<const uchar *>(ff) + 1;
            uchar b;
            do {
                if (!get(b))
                    return false;
            } while (b == 0xFF);
            if (b == 0x00 || (b >= kRst0 && b <= kRst7))
                continue;
            code = b;
            return true;
        }
    }

private:
    static constexpr qint64 kChunk = 1 << 20;

    bool refill()
    {
        if (!m_device)
            return false;
        m_chunk.resize(kChunk);
        const qint64 n = m_device->read(m_chunk.data(), kChunk);
        if (n <= 0)
            return false;
        m_p = reinterpret_cast<const uchar *>(m_chunk.constData());
        m_end = m_p + n;
        return true;
    }

    const uchar *m_p = nullptr, *m_end = nullptr;
    QIODevice *m_device = nullptr;
    QByteArray m_chunk;
};

// Precision, height, width, component count, then per component its
// number, sampling factors and quantisation table.
bool readFrame(const QByteArray &seg, uchar code, JpegLayout &l)
{
    if (seg.size() < 6)
        return false;
    const auto at = [&seg](int i) { return uchar(seg[i]); };
    const int count = at(5);
    if (count == 0 || seg.size() < 6 + 3 * count)
        return false;
    l.height = at(1) << 8 | at(2);
    l.width = at(3) << 8 | at(4);
    l.progressive = isProgressiveFrame(code);
    l.components.clear();
    for (int i = 0; i < count; ++i) {
        const uchar sampling = at(6 + 3 * i + 1);
        l.components.append({sampling >> 4, sampling & 0x0F});
    }
    l.hasFrame = true;
    return true;
}

JpegLayout walk(ByteReader &in, int scanCap)
{
    JpegLayout l;
    uchar a, b;
    if (!in.get(a) || !in.get(b) || a != 0xFF || b != kSoi)
        return l;
    l.isJpeg = true;
    QByteArray segment;
    for (;;) {
        uchar code;
        if (!in.nextMarker(code))
            return l;  // cut short
        if (code == kEoi) {
            l.complete = true;
            return l;
        }
        if (code == kSoi || code == kTem)
            continue;  // no length follows
        int length;
        if (!in.get16(length))
            return l;
        // A length below 2 cannot be, yet the decoder goes on to look for
        // the next marker right after it (the frame may lie behind), and so
        // does this walk.
        const int payload = std::max(0, length - 2);
        if (isStartOfFrame(code) && !l.hasFrame) {
            if (!in.read(segment, payload) || !readFrame(segment, code, l))
                return l;
        } else if (code == kSos) {
            uchar inScan;
            if (payload < 1 || !in.get(inScan))
                return l;
            if (++l.scans == 1)
                l.firstScanPartial = l.hasFrame && inScan < l.components.size();
            if (l.scans > scanCap || !in.skip(payload - 1))
                return l;
        } else {
            if (code == kApp1 || code == kApp2 || code == kCom)
                l.keptBytes += payload;
            if (!in.skip(payload))
                return l;
        }
    }
}

}  // namespace

JpegLayout readJpegLayout(QByteArrayView data, int scanCap)
{
    ByteReader in(data);
    return walk(in, scanCap);
}

JpegLayout readJpegLayout(QIODevice &device, int scanCap)
{
    ByteReader in(device);
    return walk(in, scanCap);
}

qint64 jpegKeptBytes(const JpegLayout &l) { return l.keptBytes * 5; }

qint64 jpegDecoderBytes(const JpegLayout &l)
{
    if (!l.hasFrame || l.components.isEmpty())
        return jpegKeptBytes(l);
    int hMax = 1, vMax = 1;
    for (const JpegLayout::Component &c : l.components) {
        hMax = std::max(hMax, c.h);
        vMax = std::max(vMax, c.v);
    }
    const auto blocks = [](qint64 samples, int factor, int maxFactor, int unit) {
        const qint64 n = (samples * factor + maxFactor * 8 - 1) / (maxFactor * 8);
        return (n + unit - 1) / unit * unit;  // whole units of the sampling
    };
    qint64 allBlocks = 0, rowSamples = 0;
    for (const JpegLayout::Component &c : l.components) {
        const int h = std::max(1, c.h), v = std::max(1, c.v);
        const qint64 across = blocks(l.width, h, hMax, h);
        allBlocks += across * blocks(l.height, v, vMax, v);
        rowSamples += across * 8 * v * 8;
    }
    // Rows of blocks in the decoder's buffers (with the rows above and below
    // that smooth upsampling looks at), generously: four rows of units.
    qint64 bytes = rowSamples * 4 + jpegKeptBytes(l);
    if (l.keepsAllCoefficients())
        bytes += allBlocks * 64 * 2;
    return bytes;
}

}  // namespace pf
