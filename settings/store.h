#pragma once
// The four stored settings, their text forms and the rules that load them.

#include "platform/drives.h"
#include "platform/settingsio.h"

#include <QString>

#include <optional>

namespace settings {

inline const QString kSection = QStringLiteral("Settings");
inline const QString kImageFolder = QStringLiteral("Image Folder");
inline const QString kVideoFolder = QStringLiteral("Video Folder");
inline const QString kRename = QStringLiteral("Rename");
inline const QString kSplashScreen = QStringLiteral("Splash Screen");
inline const QString kDefaultFolder = QStringLiteral("C:\\");

// Reads and writes the "Settings" section; a missing key reads as "". A
// write is checked: a failure names the settings file and says why.
class Store {
public:
    explicit Store(pf::SettingsIo &io) : m_io(io) {}
    QString read(const QString &key) const { return m_io.read(kSection, key); }
    pf::Status write(const QString &key, const QString &text) { return m_io.write(kSection, key, text); }
    // All or nothing.
    pf::Status write(const QList<std::pair<QString, QString>> &values) { return m_io.write(kSection, values); }
    // Whether the settings file can be read (else the defaults are).
    pf::Status check() const { return m_io.check(); }

private:
    pf::SettingsIo &m_io;
};

// The folder a box shows while none is stored: the user's own folder for
// pictures or for videos as the desktop names it (`hostFolder`), written as
// a path on drive C: and ending in one '\', when C: holds it; otherwise
// "C:\". Shown only: nothing is stored until Save Changes.
QString defaultFolder(const pf::DriveMap &drives, const QString &hostFolder);

// Both defaults, from the desktop's user folders for pictures and videos.
struct DefaultFolders {
    QString image, video;
};
DefaultFolders desktopDefaults(const pf::DriveMap &drives);

// The text a folder box shows for a stored folder: the stored text, or the default.
inline QString folderBoxText(const QString &stored, const QString &byDefault)
{
    return stored.isEmpty() ? byDefault : stored;
}

// A folder value as the program uses it: ending in exactly the one '\' that
// this adds or keeps.
inline QString withBackslash(const QString &text)
{
    return text.endsWith(QLatin1Char('\\')) ? text : text + QLatin1Char('\\');
}

// Whether "Keep original  filenames" is ticked for a stored "Rename"; nothing
// when the box is left as it is. An empty value ticks it at start-up only.
inline std::optional<bool> keepNamesTick(const QString &storedRename, bool atStartup)
{
    if (storedRename == QLatin1String("True"))
        return false;
    if (storedRename == QLatin1String("False"))
        return true;
    if (storedRename.isEmpty() && atStartup)
        return true;
    return std::nullopt;
}

// The splash shows unless the stored text is exactly "False".
inline bool showSplash(const QString &storedSplash) { return storedSplash != QLatin1String("False"); }

}  // namespace settings
