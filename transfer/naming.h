#pragma once
// How copies are named: the date-time name of an image, the time prefix of
// a renamed copy, and the names a copy tries in turn so that it never takes
// the place of a file that is already there.

#include "platform/files.h"

#include <QDateTime>
#include <QString>

#include <functional>

// MM_DD_YYYY_HHMMSS + "." + the last three characters of `path` (taken as
// they stand, whatever the extension really is), from `modified`.
QString dateTimeName(const QDateTime &modified, const QString &path);

// The date-time name of the image at `path`, from its last-modified local
// date and time.
pf::Result<QString> dateTimeName(pf::FileSystem &fs, const QString &path);

// Hour, minute and second without leading zeros and without separators:
// 14:03:09 -> "1439", 09:05:07 -> "957".
QString timePrefix(const QTime &time);

// The name of what could be read of a damaged file: "_damaged" before the
// extension (PIC_damaged.JPG), or at the end of a name without one.
QString damagedName(const QString &name);

// The names a copy may take in its folder, tried in order until one is free:
// at(0) is the name it is meant to have, at(1) its renamed form, and each
// later one has one more "a" in front of at(1). So a renamed image goes
// "a" + date-time name, "aa" + ..., or "a" + time + name, "aa" + time + name,
// ...; a clip goes name, time + name, "a" + time + name, "aa" + ...
class NameSequence {
public:
    // `rename` makes at(1), when it is first needed (it may read the clock).
    NameSequence(QString name, std::function<QString()> rename) : name(std::move(name)), m_rename(std::move(rename)) {}

    QString at(int k) const;

    const QString name;  // at(0)

private:
    std::function<QString()> m_rename;
    mutable QString m_renamed;
    mutable bool m_renamedMade = false;
};

// For an image stored as `storedName` (its date-time name, or its diskette
// name when names are kept), renamed at the time `clock` tells then.
NameSequence imageNames(const QString &storedName, bool namesKept, std::function<QTime()> clock);

// For a movie clip, which always keeps its name; renamed at the time `clock` tells then.
NameSequence clipNames(const QString &name, std::function<QTime()> clock);
