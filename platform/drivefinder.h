#pragma once
// Where each drive letter points, decided afresh whenever the program looks
// at a drive. For each letter, the first of:
//   1. the environment variable PIXFERRY_DRIVE_<LETTER>;
//   2. the "Drives" section of the settings file ("A=/path"), which the
//      program reads but never writes;
//   3. for A: only, the medium the desktop mounted most recently under
//      /run/media/<user>/, /media/<user>/ or /media/;
//   4. the defaults A: -> /media/floppy and C: -> /; other letters: none.

#include "platform/drives.h"
#include "platform/mounttable.h"
#include "platform/settingsio.h"

#include <QByteArray>
#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>

namespace pf {

// The folders under which the desktop mounts removable media for this user,
// the most specific first: /run/media/<user>, /media/<user>, /media.
QStringList mediaRootsFor(const QString &user);

// The medium mounted most recently directly below one of the roots, or empty
// when none is. The mount table has no mount times: the order of its lines
// is the order of the mounts, so the last qualifying line wins. A root
// itself (/media/<user> below /media) is no medium, and neither is an
// automount placeholder.
QString newestMedium(const QList<Mount> &mounts, const QStringList &roots);

// What the letters are decided from. Every source is handed in, so that
// tests can give their own environment, settings file and mount table.
struct DriveSources {
    QProcessEnvironment env;
    SettingsIo settings;
    std::function<QByteArray()> mountTable;  // the text of /proc/self/mountinfo
    QStringList mediaRoots;

    // This process's environment, settings file, mount table and user.
    static DriveSources ofThisProcess(const SettingsIo &settings = SettingsIo());
};

class DriveFinder {
public:
    enum class Origin { None, Variable, Settings, Medium, Default };
    struct Decision {
        QChar letter;
        QString folder;  // empty when the letter is not mapped
        Origin origin = Origin::None;
    };

    explicit DriveFinder(DriveSources sources);

    // Where the letter points now.
    Decision decide(QChar letter) const;
    // Every letter that points somewhere now, A..Z.
    QList<Decision> decideAll() const;

    // A map of every letter as decided now, which decides a letter again
    // each time the program selects that drive. Its current folder is
    // `workingFolder` as a drive path (see DriveMap::folderOf).
    DriveMap map(const QString &workingFolder = QString()) const;

    const QStringList &mediaRoots() const { return m_src.mediaRoots; }

    // "the medium mounted most recently" and so on, for the help text.
    static QString describe(Origin origin, QChar letter);

private:
    QString configured(QChar letter) const;  // from the "Drives" section

    DriveSources m_src;
};

// The folder this process works in, resolved, with its names' own bytes
// kept as drive paths keep them (see hostnames.h).
QString workingFolder();

}  // namespace pf
