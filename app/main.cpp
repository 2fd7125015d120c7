// Pixferry: pictures and movie clips from the diskette in drive A: to their folders.

#include "app/commandline.h"
#include "app/frmmain.h"
#include "app/program.h"
#include "platform/dialogprompt_ui.h"
#include "platform/drivefinder.h"
#include "platform/twips_ui.h"

#include <QApplication>
#include <QThreadPool>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    // The command line first: help and version open no window and need no
    // display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const pf::SettingsIo settings;
    const pf::DriveFinder drives(pf::DriveSources::ofThisProcess(settings));
    const pf::CommandLine cl = pf::readCommandLine(arguments, drives, settings.location());
    if (!cl.run) {
        std::fputs(cl.out.toLocal8Bit().constData(), stdout);
        std::fputs(cl.err.toLocal8Bit().constData(), stderr);
        return cl.exitCode;
    }

    QApplication app(argc, argv);
    pf::applyProgramLook(app);

    pf::DialogPrompt prompt;
    // The program's current folder is the folder it was started in.
    pf::Services services(std::make_unique<pf::FileSystem>(drives.map(pf::workingFolder())), &prompt);
    Module1 shared;
    frmMain window(services, shared);
    prompt.setOwner(&window);
    // Placed before start-up, so that the boxes shown before the window
    // know the screen it will use.
    pf::centreOver(&window, nullptr);
    window.Form_Load();
    window.show();
    window.Command12->setFocus();
    const int code = app.exec();
    // A worker may still wait on a slow diskette (a picture of a preview
    // just closed): the program ends at once instead of waiting for it.
    // Nothing is written there, and the settings were stored when saved.
    if (QThreadPool::globalInstance()->activeThreadCount() > 0) {
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}
