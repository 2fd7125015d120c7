// Pictures of the real windows for the README, made offscreen on the demo
// diskette (scripts/screenshots.sh sets up the drives and settings):
//   main-window.png   the main window after Check Disk
//   clash-dialog.png  the clash dialog of a second Copy Disk
//   preview-disk.png  Preview Disk with a picture selected
// Usage: pixferry_screenshots OUTPUT-FOLDER

#include "app/frmmain.h"
#include "app/program.h"
#include "platform/drivefinder.h"
#include "platform/twips_ui.h"
#include "preview/frmpreviewdisk.h"
#include "transfer/frmduplicate.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>

namespace {

// Lets the windows lay out and paint (the clash dialog decodes on a thread).
void settle(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool save(QWidget *w, const QString &folder, const QString &name)
{
    const QString path = folder + QLatin1Char('/') + name;
    if (!w->grab().save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// Answers the boxes as a user making pictures would: No to the erase, OK to
// the rest. Photographs the clash dialog and the preview, then closes them.
class ShotPrompt : public pf::Prompt {
public:
    QString folder;
    bool ok = true;

    pf::MsgAnswer messageBox(const QString &text, pf::MsgButtons buttons, const QString &title) override
    {
        std::printf("box \"%s\": %s\n", qPrintable(title), qPrintable(QString(text).replace(QLatin1Char('\r'), QLatin1Char(' '))));
        return buttons == pf::MbYesNo ? pf::AnsNo : pf::AnsOk;
    }

    void showModal(QDialog &dialog) override
    {
        dialog.show();
        if (auto *clash = qobject_cast<frmDuplicate *>(&dialog)) {
            settle(700);
            ok = save(clash, folder, QStringLiteral("clash-dialog.png")) && ok;
            clash->CancelButton->click();
        } else if (auto *preview = qobject_cast<frmPreviewDisk *>(&dialog)) {
            preview->File4->setCurrentRow(qMin(2, preview->File4->count() - 1));
            // Its picture is decoded on a worker.
            QElapsedTimer t;
            t.start();
            while (preview->decoding() && t.elapsed() < 10000)
                QApplication::processEvents(QEventLoop::AllEvents, 20);
            settle(500);
            ok = save(preview, folder, QStringLiteral("preview-disk.png")) && ok;
        }
        dialog.close();
    }
};

}  // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: pixferry_screenshots OUTPUT-FOLDER\n");
        return 2;
    }
    QApplication app(argc, argv);
    pf::applyProgramLook(app);
    ShotPrompt prompt;
    prompt.folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(prompt.folder);

    const pf::DriveFinder drives(pf::DriveSources::ofThisProcess());
    pf::Services services(std::make_unique<pf::FileSystem>(drives.map()), &prompt);
    Module1 shared;
    frmMain window(services, shared);
    pf::centreOver(&window, nullptr);
    window.Form_Load();
    window.show();
    window.Command12->setFocus();
    settle(300);

    // The main window after Check Disk.
    window.Command12_Click();
    settle(300);
    prompt.ok = save(&window, prompt.folder, QStringLiteral("main-window.png")) && prompt.ok;

    // A first Copy Disk copies everything; the first picture's copy is then
    // swapped for another picture, so that the second Copy Disk meets a
    // clash with a different picture.
    window.Command1_Click();
    const QString first = *services.fs->hostPath(shared.sourcePath + QStringLiteral("PIC00001.JPG"));
    const QString other = *services.fs->hostPath(shared.sourcePath + QStringLiteral("PIC00003.JPG"));
    const QString pictures = *services.fs->hostPath(shared.imageFolder);
    QFile source(first);
    source.open(QIODevice::ReadOnly);
    const QByteArray firstBytes = source.readAll();
    const QStringList copies = QDir(pictures).entryList(QDir::Files);
    for (const QString &name : copies) {
        QFile copy(pictures + QLatin1Char('/') + name);
        if (copy.open(QIODevice::ReadOnly) && copy.readAll() == firstBytes) {
            const QDateTime taken = copy.fileTime(QFileDevice::FileModificationTime);
            copy.close();
            copy.remove();
            QFile::copy(other, copy.fileName());
            QFile swapped(copy.fileName());
            if (swapped.open(QIODevice::ReadWrite))
                swapped.setFileTime(taken, QFileDevice::FileModificationTime);
            break;
        }
    }
    window.Command1_Click();

    // Preview Disk.
    window.Command15_Click();
    window.close();
    return prompt.ok ? 0 : 1;
}
