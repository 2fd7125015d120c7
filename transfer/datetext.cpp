#include "transfer/datetext.h"

namespace transfer {

namespace {

// The locale's long time format without its time-zone field ("t"): a file's
// date is a local wall-clock time, and a zone name would only crowd it.
QString longTimeWithoutZone(const QLocale &locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
            out += c;
            continue;
        }
        if (quoted || c != QLatin1Char('t')) {
            out += c;
            continue;
        }
        // Drop the zone with the blanks (or brackets) that set it apart.
        while (!out.isEmpty() && (out.back().isSpace() || out.back() == QLatin1Char('(')))
            out.chop(1);
        while (i + 1 < format.size() && format.at(i + 1) == QLatin1Char('t'))
            ++i;
        if (i + 1 < format.size() && format.at(i + 1) == QLatin1Char(')'))
            ++i;
        if (out.isEmpty())
            while (i + 1 < format.size() && format.at(i + 1).isSpace())
                ++i;
    }
    return out.trimmed();
}

}  // namespace

QString generalDate(const QDateTime &when, const QLocale &locale)
{
    if (!when.isValid())
        return QString();
    const QString date = locale.toString(when.date(), QLocale::ShortFormat);
    const QTime time = when.time();
    if (time.hour() == 0 && time.minute() == 0 && time.second() == 0)
        return date;
    return date + QLatin1Char(' ') + locale.toString(time, longTimeWithoutZone(locale));
}

}  // namespace transfer
