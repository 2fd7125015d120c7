#include "platform/hostnames.h"

namespace pf {

namespace {

// A byte that is not valid UTF-8 stands as one of the low surrogates
// U+DC80..U+DCFF, which valid UTF-8 can never yield.
constexpr char16_t kStandIn = 0xDC00;

bool isStandIn(char16_t c) { return c >= 0xDC80 && c <= 0xDCFF; }

// Length of the valid UTF-8 sequence at p (before end), and its code point;
// 0 when the bytes there are not one.
int utf8Sequence(const unsigned char *p, const unsigned char *end, char32_t &cp)
{
    const unsigned char b = p[0];
    int n = 0;
    char32_t min = 0;
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2, cp = b & 0x1F, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3, cp = b & 0x0F, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4, cp = b & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (end - p < n)
        return 0;
    for (int i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

}  // namespace

QString fromHostName(const char *bytes, qsizetype size)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes);
    const unsigned char *end = p + size;
    QString out;
    out.reserve(size);
    while (p < end) {
        if (*p < 0x80) {
            out += QChar(char16_t(*p++));
            continue;
        }
        char32_t cp = 0;
        if (const int n = utf8Sequence(p, end, cp)) {
            if (cp >= 0x10000) {
                out += QChar(QChar::highSurrogate(cp));
                out += QChar(QChar::lowSurrogate(cp));
            } else {
                out += QChar(char16_t(cp));
            }
            p += n;
        } else {
            out += QChar(char16_t(kStandIn + *p++));
        }
    }
    return out;
}

QByteArray toHostName(const QString &name)
{
    QByteArray out;
    out.reserve(name.size());
    const qsizetype size = name.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = name.at(i).unicode();
        char32_t cp = c;
        if (c < 0x80) {
            out += char(c);
            continue;
        }
        if (isStandIn(c)) {
            out += char(c - kStandIn);
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < size && QChar::isLowSurrogate(name.at(i + 1).unicode())) {
            cp = QChar::surrogateToUcs4(c, name.at(i + 1).unicode());
            ++i;
        } else if (QChar::isSurrogate(c)) {
            cp = 0xFFFD;
        }
        if (cp < 0x800) {
            out += char(0xC0 | (cp >> 6));
        } else if (cp < 0x10000) {
            out += char(0xE0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3F));
        } else {
            out += char(0xF0 | (cp >> 18));
            out += char(0x80 | ((cp >> 12) & 0x3F));
            out += char(0x80 | ((cp >> 6) & 0x3F));
        }
        out += char(0x80 | (cp & 0x3F));
    }
    return out;
}

QString shownName(const QString &name)
{
    QString out = name;
    for (QChar &c : out)
        if (isStandIn(c.unicode()))
            c = QChar(QChar::ReplacementCharacter);
    return out;
}

}  // namespace pf
