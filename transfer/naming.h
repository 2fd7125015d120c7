#pragma once
// How copies are named: the date-time name of an image, the time prefix of
// a renamed copy, and the names a copy tries in turn so that it never takes
// the place of a file that is already there.

#include "platform/files.h"

#include <QDateTime>
#include <QString>

// MM_DD_YYYY_HHMMSS + "." + the last three characters of `path` (taken as
// they stand, whatever the extension really is), from `modified`.
QString dateTimeName(const QDateTime &modified, const QString &path);

// The date-time name of the image at `path`, from its last-modified local
// date and time.
pf::Result<QString> dateTimeName(pf::FileSystem &fs, const QString &path);

// Hour, minute and second without leading zeros and without separators:
// 14:03:09 -> "1439", 09:05:07 -> "957".
QString timePrefix(const QTime &time);

// The names a copy may take in its folder, tried in order until one is free:
// at(0) is the name it is meant to have, at(1) its renamed form, and each
// later one has one more "a" in front of at(1). So a renamed image goes
// "a" + date-time name, "aa" + ..., or "a" + time + name, "aa" + time + name,
// ...; a clip goes name, time + name, "a" + time + name, "aa" + ...
struct NameSequence {
    QString name;     // at(0)
    QString renamed;  // at(1)

    QString at(int k) const { return k == 0 ? name : QString(k - 1, QLatin1Char('a')) + renamed; }
};

// For an image stored as `storedName` (its date-time name, or its diskette
// name when names are kept), renamed at `time`.
NameSequence imageNames(const QString &storedName, bool namesKept, const QTime &time);

// For a movie clip, which always keeps its name; renamed at `time`.
NameSequence clipNames(const QString &name, const QTime &time);
