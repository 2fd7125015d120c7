#include "tests/support/copykit.h"

#include "settings/store.h"

#include <QApplication>
#include <QPushButton>

namespace testkit {

pf::Status HookedFs::copyFile(const QString &source, const QString &destination, pf::CopyMode mode,
                              const pf::CopyProgress &progress)
{
    ++copies;
    if (pf::Status s = beforeCopy ? beforeCopy(source, destination) : pf::Status(); !s)
        return s;
    pf::CopyProgress watched = progress;
    if (duringCopy)
        watched = [&](qint64 done, qint64 total) {
            duringCopy(source);
            if (progress)
                progress(done, total);
        };
    pf::Status s = pf::FileSystem::copyFile(source, destination, mode, watched);
    if (s && afterCopy)
        afterCopy(source, destination);
    return s;
}

pf::Status HookedFs::deleteFile(const QString &path, const pf::FileId *expected)
{
    if (pf::Status s = beforeDelete ? beforeDelete(path) : pf::Status(); !s)
        return s;
    return pf::FileSystem::deleteFile(path, expected);
}

Desk::Desk(bool keepNames, bool makeFolders)
{
    clearSettings();
    storeSetting(settings::kSplashScreen, "False");
    auto hooked = std::make_unique<HookedFs>(rig.drives.map());
    fs = hooked.get();
    rig.rebuildServices(std::move(hooked));
    a = rig.a();
    pics = rig.c() + "/Pics";
    clips = rig.c() + "/Clips";
    if (makeFolders) {
        QDir().mkpath(pics);
        QDir().mkpath(clips);
    }
    w = &rig.openMain();
    rig.shared.imageFolder = "C:\\Pics\\";
    rig.shared.videoFolder = "C:\\Clips\\";
    w->Check1->setChecked(keepNames);  // not saved: the tick as it stands counts
    rig.prompt.boxes.clear();
    rig.prompt.onModal = [this](QDialog &dialog) {
        if (dialog.objectName() != QLatin1String("frmDuplicate"))
            return;
        newNames << rig.shared.newName;
        QVERIFY2(!answers.isEmpty(), "the clash dialog was shown once more than expected");
        const QString answer = answers.takeFirst();
        if (answer == QLatin1String("close box"))
            dialog.close();
        else
            child<QPushButton>(&dialog, answer)->click();
    };
}

void Desk::put(const QStringList &names, const QDateTime &modified)
{
    for (const QString &n : names)
        writeFile(onDisk(n), n.toLatin1(), modified);
}

QStringList Desk::copyDisk(const QList<pf::MsgAnswer> &boxAnswers)
{
    rig.prompt.boxes.clear();
    rig.prompt.answers = boxAnswers;
    newNames.clear();
    w->Command1_Click();
    return rig.prompt.titles();
}

QWidget *visibleTopLevel(const QString &objectName)
{
    for (QWidget *top : QApplication::topLevelWidgets())
        if (top->objectName() == objectName && top->isVisible())
            return top;
    return nullptr;
}

}  // namespace testkit
