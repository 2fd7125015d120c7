#include "tests/support/copykit.h"

#include <QPushButton>

namespace testkit {

pf::Status HookedFs::copyFile(const QString &source, const QString &destination, pf::CopyMode mode,
                              const pf::CopyProgress &progress)
{
    ++copies;
    if (beforeCopy)
        if (pf::Status s = beforeCopy(source, destination); !s)
            return s;
    pf::Status s = pf::FileSystem::copyFile(source, destination, mode, progress);
    if (s && afterCopy)
        afterCopy(source, destination);
    return s;
}

pf::Status HookedFs::deleteFile(const QString &path)
{
    if (beforeDelete)
        if (pf::Status s = beforeDelete(path); !s)
            return s;
    return pf::FileSystem::deleteFile(path);
}

HookedFs &hookFs(Rig &rig)
{
    auto fs = std::make_unique<HookedFs>(rig.drives.map());
    HookedFs &ref = *fs;
    rig.rebuildServices(std::move(fs));
    return ref;
}

void answerDialogs(Rig &rig, DialogScript &script)
{
    Module1 *shared = &rig.shared;
    rig.prompt.onModal = [shared, &script](QDialog &dialog) {
        if (dialog.objectName() != QLatin1String("frmDuplicate"))
            return;
        ++script.shown;
        script.newNames << shared->newName;
        QVERIFY2(!script.answers.isEmpty(), "the clash dialog was shown once more than expected");
        const QString answer = script.answers.takeFirst();
        if (answer == QLatin1String("close box"))
            dialog.close();
        else
            child<QPushButton>(&dialog, answer)->click();
    };
}

}  // namespace testkit
