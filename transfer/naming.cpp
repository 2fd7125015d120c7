#include "transfer/naming.h"

namespace {

void putDigits(QString &out, int n, int width)
{
    char16_t digits[12];
    int count = 0;
    unsigned v = unsigned(n < 0 ? -n : n);
    do {
        digits[count++] = char16_t(u'0' + v % 10);
        v /= 10;
    } while (v != 0);
    if (n < 0)
        out += QLatin1Char('-');
    for (int i = count; i < width; ++i)
        out += QLatin1Char('0');
    while (count > 0)
        out += QChar(digits[--count]);
}

}  // namespace

QString dateTimeName(const QDateTime &modified, const QString &path)
{
    // Made for every picture of a Copy Disk: put together piece by piece.
    const QDate d = modified.date();
    const QTime t = modified.time();
    QString out;
    out.reserve(24);
    putDigits(out, d.month(), 2);
    out += QLatin1Char('_');
    putDigits(out, d.day(), 2);
    out += QLatin1Char('_');
    putDigits(out, d.year(), 1);
    out += QLatin1Char('_');
    putDigits(out, t.hour(), 2);
    putDigits(out, t.minute(), 2);
    putDigits(out, t.second(), 2);
    out += QLatin1Char('.');
    out += QStringView(path).right(3);
    return out;
}

pf::Result<QString> dateTimeName(pf::FileSystem &fs, const QString &path)
{
    pf::Result<QDateTime> modified = fs.fileDate(path);
    if (!modified)
        return modified.error();
    // A name needs a year of four digits; a date outside them is no date a
    // camera wrote, and would make a name of nonsense.
    const int year = modified->isValid() ? modified->date().year() : 0;
    if (year < 1000 || year > 9999)
        return pf::sourceError(pf::ErrPathFileAccess,
                               QStringLiteral("has a date that cannot be used for a name (a year outside 1000 to 9999)"),
                               path);
    return dateTimeName(*modified, path);
}

QString timePrefix(const QTime &time)
{
    return QString::number(time.hour()) + QString::number(time.minute()) + QString::number(time.second());
}

QString damagedName(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const qsizetype at = dot > 0 ? dot : name.size();
    return name.left(at) + QStringLiteral("_damaged") + name.mid(at);
}

QString NameSequence::at(int k) const
{
    if (k == 0)
        return name;
    if (!m_renamedMade) {
        m_renamed = m_rename();
        m_renamedMade = true;
    }
    return QString(k - 1, QLatin1Char('a')) + m_renamed;
}

NameSequence imageNames(const QString &storedName, bool namesKept, std::function<QTime()> clock)
{
    return {storedName, [=] { return QLatin1Char('a') + (namesKept ? timePrefix(clock()) : QString()) + storedName; }};
}

NameSequence clipNames(const QString &name, std::function<QTime()> clock)
{
    return {name, [=] { return timePrefix(clock()) + name; }};
}
