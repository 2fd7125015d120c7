#pragma once
// Time as the file services need it: a file's modification time as a local
// date and time, and a cheap clock for how long ago something was looked at.

#include <QDateTime>

#include <ctime>

namespace pf {

// Reads the host's time zone as it is now; localDateTime uses the zone read
// last, so that a run of dates does not read it for every file.
void readTimeZone();

// A modification time as a local date and time, in the zone read last.
QDateTime localDateTime(const struct timespec &when);

// Milliseconds on a coarse monotonic clock: only differences mean anything.
qint64 coarseMs();

}  // namespace pf
