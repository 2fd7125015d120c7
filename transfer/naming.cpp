#include "transfer/naming.h"

namespace {

QString twoDigits(int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); }

}  // namespace

QString dateTimeName(const QDateTime &modified, const QString &path)
{
    const QDate d = modified.date();
    const QTime t = modified.time();
    return twoDigits(d.month()) + QLatin1Char('_') + twoDigits(d.day()) + QLatin1Char('_') + QString::number(d.year())
        + QLatin1Char('_') + twoDigits(t.hour()) + twoDigits(t.minute()) + twoDigits(t.second()) + QLatin1Char('.')
        + path.right(3);
}

pf::Result<QString> dateTimeName(pf::FileSystem &fs, const QString &path)
{
    pf::Result<QDateTime> modified = fs.fileDate(path);
    if (!modified)
        return modified.error();
    return dateTimeName(*modified, path);
}

QString timePrefix(const QTime &time)
{
    return QString::number(time.hour()) + QString::number(time.minute()) + QString::number(time.second());
}

NameSequence imageNames(const QString &storedName, bool namesKept, const QTime &time)
{
    return {storedName, QLatin1Char('a') + (namesKept ? timePrefix(time) : QString()) + storedName};
}

NameSequence clipNames(const QString &name, const QTime &time) { return {name, timePrefix(time) + name}; }
