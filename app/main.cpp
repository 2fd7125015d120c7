// Pixferry: pictures and movie clips from the diskette in drive A: to their folders.

#include "app/frmmain.h"
#include "app/program.h"
#include "platform/dialogprompt_ui.h"
#include "platform/twips_ui.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    pf::applyProgramLook(app);

    pf::DialogPrompt prompt;
    pf::Services services(std::make_unique<pf::FileSystem>(pf::DriveMap::fromEnvironment()), &prompt);
    Module1 shared;
    frmMain window(services, shared);
    prompt.setOwner(&window);
    window.Form_Load();
    pf::centreOver(&window, nullptr);
    window.show();
    window.Command12->setFocus();
    return app.exec();
}
