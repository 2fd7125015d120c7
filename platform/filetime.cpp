#include "platform/filetime.h"

#include <algorithm>

namespace pf {

void readTimeZone() { ::tzset(); }

QDateTime localDateTime(const struct timespec &when)
{
    const time_t secs = when.tv_sec;
    struct tm tm;
    if (!::localtime_r(&secs, &tm))
        return QDateTime::fromSecsSinceEpoch(secs, Qt::LocalTime);
    return QDateTime(QDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday),
                     QTime(tm.tm_hour, tm.tm_min, std::min(tm.tm_sec, 59)), Qt::OffsetFromUTC, int(tm.tm_gmtoff));
}

qint64 coarseMs()
{
    struct timespec t {};
    // Cannot fail: the clock is there since Linux 2.6.32 and `t` is ours.
    (void)::clock_gettime(CLOCK_MONOTONIC_COARSE, &t);
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

}  // namespace pf
