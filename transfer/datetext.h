#pragma once
// Dates as the program writes them for people.

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace transfer {

// The general date-and-time form of a locale: its short date, a blank and its
// long time (seconds included, no time-zone name). A time of exactly midnight
// shows the date alone.
QString generalDate(const QDateTime &when, const QLocale &locale = QLocale());

}  // namespace transfer
