#pragma once
// For the copy and erase tests: a file system whose operations a test can
// intercept (failures injected, races staged), and a main window over
// temporary drives whose clash dialog answers by script.

#include "tests/support/testkit.h"

#include <functional>

namespace testkit {

class HookedFs : public pf::FileSystem {
public:
    explicit HookedFs(pf::DriveMap drives) : pf::FileSystem(std::move(drives)) {}

    // Each runs before the real operation; a failure it returns is the
    // operation's result instead.
    std::function<pf::Status(const QString &source, const QString &destination)> beforeCopy;
    std::function<pf::Status(const QString &path)> beforeDelete;
    // Runs while a copy is under way, after its first part (a source that
    // changes under the copy).
    std::function<void(const QString &source)> duringCopy;
    // Runs after a copy that succeeded.
    std::function<void(const QString &source, const QString &destination)> afterCopy;
    int copies = 0;  // copies attempted

    pf::Status copyFile(const QString &source, const QString &destination, pf::CopyMode mode,
                        const pf::CopyProgress &progress = {}) override;
    pf::Status deleteFile(const QString &path, const pf::FileId *expected) override;
    using pf::FileSystem::deleteFile;
};

// A loaded main window (settings cleared, no splash) over a HookedFs, image
// folder C:\Pics\ and video folder C:\Clips\ (made unless told otherwise),
// the clash dialog answered by clicking the button named next in `answers`
// ("close box": closed).
struct Desk {
    explicit Desk(bool keepNames, bool makeFolders = true);
    Rig rig;
    HookedFs *fs = nullptr;
    frmMain *w = nullptr;
    QString a, pics, clips;
    QStringList answers, newNames;  // newName as each showing of the dialog saw it

    QString onDisk(const QString &name) const { return a + '/' + name; }
    QString pic(const QString &name) const { return pics + '/' + name; }
    QString clip(const QString &name) const { return clips + '/' + name; }
    // Files on the diskette, each holding its own name.
    void put(const QStringList &names, const QDateTime &modified = {});
    // Copy Disk with the message boxes answered in turn; the titles shown.
    QStringList copyDisk(const QList<pf::MsgAnswer> &boxAnswers);
};

QWidget *visibleTopLevel(const QString &objectName);

}  // namespace testkit
