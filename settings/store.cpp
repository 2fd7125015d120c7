#include "settings/store.h"

#include <QDir>
#include <QStandardPaths>

namespace settings {

QString defaultFolder(const pf::DriveMap &drives, const QString &hostFolder)
{
    // A folder the desktop could not name, or named with a byte that its
    // text lost (shown as U+FFFD), leads nowhere the user meant.
    if (hostFolder.isEmpty() || !QDir::isAbsolutePath(hostFolder) || hostFolder.contains(QChar::ReplacementCharacter)
        || !drives.hasDrive(QLatin1Char('C')))
        return kDefaultFolder;
    // Only C: counts, also where another drive lies deeper: a medium on A:
    // comes and goes, and copies must not land on the diskette.
    pf::DriveMap onlyC;
    onlyC.removeDrive(QLatin1Char('A'));
    onlyC.setDrive(QLatin1Char('C'), drives.hostRoot(QLatin1Char('C')));
    return withBackslash(onlyC.folderOf(hostFolder));
}

DefaultFolders desktopDefaults(const pf::DriveMap &drives)
{
    return {defaultFolder(drives, QStandardPaths::writableLocation(QStandardPaths::PicturesLocation)),
            defaultFolder(drives, QStandardPaths::writableLocation(QStandardPaths::MoviesLocation))};
}

}  // namespace settings
