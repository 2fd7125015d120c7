#pragma once
// Drive letters onto host folders. The program speaks in "a:\PIC.JPG" paths;
// on this host every letter is a folder (which one is decided by
// DriveFinder, drivefinder.h; the bare defaults are A: -> /media/floppy and
// C: -> /).

#include "platform/result.h"
#include "platform/wildcard.h"

#include <QChar>
#include <QHash>
#include <QMap>
#include <QMutex>
#include <QString>

#include <functional>

namespace pf {

// A program path taken apart: its drive letter (upper case) and the folders
// and name below the root, separated by '/'.
struct ProgramPath {
    QChar drive;
    QString rest;  // "" for the root; never starts with '/'
};

class DriveMap {
public:
    DriveMap();  // the two defaults only

    void setDrive(QChar letter, const QString &hostFolder);
    void removeDrive(QChar letter);
    bool hasDrive(QChar letter) const;
    QString hostRoot(QChar letter) const;  // empty when unmapped
    QList<QChar> letters() const;          // sorted A..Z

    // The drive a path without a letter is on.
    QChar currentDrive() const { return QLatin1Char('C'); }

    // Where a letter points may change while the program runs (a card put
    // in): the decider tells where it points now, or an empty text for
    // nowhere. Without one the map stays as it was set.
    using Decider = std::function<QString(QChar letter)>;
    void setDecider(Decider decider) { m_decider = std::move(decider); }
    // Asks the decider again where the letter points. Called when the
    // program selects a drive, never per path.
    void decideAgain(QChar letter);

    // The program's current folder ("C:\home\ann"): where a fresh folder
    // list opens. The program never changes it; "C:\" unless set.
    QString currentFolder() const { return m_currentFolder; }
    void setCurrentFolder(const QString &programFolder) { m_currentFolder = programFolder; }
    // A host folder as a drive path, when it lies inside a mapped drive
    // (the deepest one) and every name on the way can be written in one;
    // otherwise the root of C:.
    QString folderOf(const QString &hostFolder) const;

    // Splits "a:\x\y.jpg", "\x", "x/y" or "C:" into drive and rest. ".." never
    // climbs above the drive's root.
    static ProgramPath split(const QString &programPath, QChar currentDrive = QLatin1Char('C'));

    // The drive is mapped and its folder can be listed; else error 68, or 75
    // (the disk cannot be read) for a folder that is there but cannot be listed.
    Status ready(QChar letter) const;

    // Host path for a program path. Each existing folder or file along the
    // way is found without regard to letter case; the parts that do not
    // exist yet are kept as written. Fails with 68 when the drive is not ready,
    // and with 76 for a path holding a NUL (which would end it early).
    Result<QString> toHost(const QString &programPath) const;

    // Back from a host path below a drive's root to "X:\folder\name";
    // empty when the path lies on no mapped drive.
    QString toProgram(const QString &hostPath) const;

    // A name that does not exist as written is looked up without regard to
    // case in a remembered listing of its folder, trusted while the folder's
    // stamp is the one it was read at. The file services report the entries
    // they add, so that a folder being filled is not read again per file.
    struct FolderStamp {
        quint64 dev = 0, ino = 0;
        qint64 sec = -1, nsec = 0;
        bool operator==(const FolderStamp &) const = default;
    };
    static FolderStamp stamp(const QString &hostFolder);
    static FolderStamp stamp(int folderFd);  // of an open folder
    // `before` is the folder's stamp taken before the change, `after` the one after it.
    void noteAdded(const QString &hostFolder, const FolderStamp &before, const QString &name,
                   const FolderStamp &after) const;
    // Whether a listing of the folder is remembered (so that additions are worth noting).
    bool remembers(const QString &hostFolder) const;
    // An entry of the folder whose name matches `name` without regard to
    // case (not always the exact one when several do), from the listing
    // remembered while the folder's stamp is `now` (read again when it is
    // not); empty when there is none.
    QString entryIn(const QString &hostFolder, const QString &name, const FolderStamp &now) const;

private:
    QString findEntry(const QString &hostFolder, const QString &name) const;
    QString foldedEntry(const QString &key, const QString &name, const FolderStamp &now) const;

    struct FolderNames {
        FolderStamp stamp;
        QHash<QString, QString> byFolded;  // case-folded name -> name
    };

    QMap<QChar, QString> m_roots;
    Decider m_decider;
    QString m_currentFolder = QStringLiteral("C:\\");
    // The remembered listings are looked up from more than one thread (a
    // copy on a worker, pictures read on others): guarded. A copy of the map
    // has a lock of its own.
    struct Lock {
        QMutex mutex;
        Lock() = default;
        Lock(const Lock &) {}
        Lock &operator=(const Lock &) { return *this; }
    };
    mutable QHash<QString, FolderNames> m_names;  // by host folder
    mutable Lock m_namesLock;
};

}  // namespace pf
