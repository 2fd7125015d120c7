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

// The medium drive A: is, among those mounted directly below one of the
// roots (a root itself, /media/<user> below /media, is no medium, and
// neither is an automount placeholder): the media that cameras and
// diskettes use come first, a removable device and a FAT file system each
// counting; of media alike, the one mounted most recently. The mount table
// has no mount times: the order of its lines is the order of the mounts.
// `removable` tells whether a mount's device is removable (none: no device is).
struct MediumChoice {
    QString point;  // empty when there is no medium
    QString why;    // "the medium mounted most recently", or why another was passed over
};
MediumChoice chooseMedium(const QList<Mount> &mounts, const QStringList &roots,
                          const std::function<bool(const Mount &)> &removable);

// Whether the block device of a mount is removable, as the system says
// (/sys/dev/block/<major>:<minor>/removable, or its disk's for a partition).
bool removableDevice(const Mount &mount);

// What the letters are decided from. Every source is handed in, so that
// tests can give their own environment, settings file and mount table.
struct DriveSources {
    QProcessEnvironment env;
    SettingsIo settings;
    std::function<QByteArray()> mountTable;  // the text of /proc/self/mountinfo
    std::function<bool(const Mount &)> removable;  // whether a mount's device is removable
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
        QString why;  // for a medium: why this one
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

    // "from PIXFERRY_DRIVE_A", "the medium mounted most recently" and so on,
    // for the help text.
    static QString describe(const Decision &decision);

private:
    QString configured(QChar letter) const;  // from the "Drives" section

    DriveSources m_src;
};

// The folder this process works in, resolved, with its names' own bytes
// kept as drive paths keep them (see hostnames.h).
QString workingFolder();

}  // namespace pf
