#include "platform/wildcard.h"

namespace pf {

namespace {

// Most names are plain ASCII: folded here without the Unicode tables.
constexpr char16_t asciiFolded(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; }

QChar folded(QChar c)
{
    const char16_t u = c.unicode();
    return u < 128 ? QChar(asciiFolded(u)) : c.toCaseFolded();
}

// '*' and '?' wildcards, without regard to case.
bool wildMatch(const QChar *p, const QChar *pe, const QChar *s, const QChar *se)
{
    const QChar *starP = nullptr, *starS = nullptr;
    while (s < se) {
        // A star in the pattern is a wildcard also where the name holds one.
        if (p < pe && *p == QLatin1Char('*')) {
            starP = ++p;
            starS = s;
        } else if (p < pe && (*p == QLatin1Char('?') || folded(*p) == folded(*s))) {
            ++p;
            ++s;
        } else if (starP) {
            p = starP;
            s = ++starS;
        } else {
            return false;
        }
    }
    while (p < pe && *p == QLatin1Char('*'))
        ++p;
    return p == pe;
}

// For a pattern that is '*' and a plain ending ("*.jpg"), that ending; else null.
QStringView endingOnly(const QString &pattern)
{
    if (!pattern.startsWith(QLatin1Char('*')))
        return {};
    const QStringView tail = QStringView(pattern).mid(1);
    for (const QChar c : tail)
        if (c == QLatin1Char('*') || c == QLatin1Char('?'))
            return {};
    return tail.isNull() ? QStringView(u"") : tail;
}

// The folding of a name beyond ASCII. A byte of the name that is not UTF-8
// stands as a surrogate of its own (hostnames.h), which Qt's folding would
// make U+FFFD, one character for every such byte: it is kept as it is, so
// that names differing in such a byte stay two names.
QString foldedBeyondAscii(const QString &name)
{
    QString out;
    out.reserve(name.size());
    qsizetype run = 0;  // start of the text not yet folded
    const qsizetype n = name.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = name.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(name.at(i + 1).unicode())) {
            ++i;  // a character beyond the first plane: folded with its run
            continue;
        }
        if (!QChar::isSurrogate(c))
            continue;
        out += QStringView(name).mid(run, i - run).toString().toCaseFolded();
        out += QChar(c);
        run = i + 1;
    }
    if (run == 0)
        return name.toCaseFolded();
    out += QStringView(name).mid(run).toString().toCaseFolded();
    return out;
}

}  // namespace

QString foldedName(const QString &name)
{
    QString out(name.size(), Qt::Uninitialized);
    const char16_t *in = reinterpret_cast<const char16_t *>(name.constData());
    char16_t *o = reinterpret_cast<char16_t *>(out.data());
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (in[i] >= 128)
            return foldedBeyondAscii(name);
        o[i] = asciiFolded(in[i]);
    }
    return out;
}

bool matchesPattern(const QString &name, const QString &pattern)
{
    if (pattern == QLatin1String("*.*") || pattern == QLatin1String("*"))
        return true;
    // "*.jpg" and the like: the end of the name.
    if (const QStringView tail = endingOnly(pattern); !tail.isNull()) {
        if (name.size() < tail.size())
            return false;
        const QChar *n = name.constData() + (name.size() - tail.size());
        for (qsizetype i = 0; i < tail.size(); ++i)
            if (folded(n[i]) != folded(tail[i]))
                return false;
        return true;
    }
    return wildMatch(pattern.constData(), pattern.constData() + pattern.size(), name.constData(),
                     name.constData() + name.size());
}

}  // namespace pf
