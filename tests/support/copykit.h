#pragma once
// For the copy and erase tests: a file system whose operations a test can
// intercept (failures injected, races staged), and scripted answers for the
// clash dialog.

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
    // Runs after a copy that succeeded.
    std::function<void(const QString &source, const QString &destination)> afterCopy;

    int copies = 0;  // copies attempted

    pf::Status copyFile(const QString &source, const QString &destination, pf::CopyMode mode,
                        const pf::CopyProgress &progress = {}) override;
    pf::Status deleteFile(const QString &path) override;
};

// Puts a HookedFs over the rig's drives (before openMain) and returns it.
HookedFs &hookFs(Rig &rig);

// Answers the clash dialog, one showing after another, by clicking the
// button of the given objectName, or with its close box for "close box".
// Every showing is counted in `shown`.
struct DialogScript {
    explicit DialogScript(QStringList list = {}) : answers(std::move(list)) {}
    QStringList answers;
    int shown = 0;
    QStringList newNames;  // newName as each showing saw it
};
void answerDialogs(Rig &rig, DialogScript &script);

}  // namespace testkit
