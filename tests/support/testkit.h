#pragma once
// What the window tests share besides the core kit: the services, shared
// state and a main window over temporary drives, controls found by name,
// and a run that fails when a test leaves a window open.

#include "app/frmmain.h"
#include "platform/services.h"
#include "tests/support/corekit.h"
#include "transfer/module1.h"

#include <QDialog>

#include <memory>

namespace testkit {

// Services, shared state and (on demand) a main window over temporary drives.
class Rig {
public:
    Rig();
    ~Rig();
    Drives drives;
    ScriptedPrompt prompt;
    std::unique_ptr<pf::Services> services;
    Module1 shared;
    std::unique_ptr<frmMain> window;

    // Builds the services again from the drives' current map.
    void rebuildServices(std::unique_ptr<pf::FileSystem> fs = {});
    // A main window, loaded (Form_Load) unless told otherwise.
    frmMain &openMain(bool runLoad = true);
    QString a() { return drives.root(QLatin1Char('A')); }
    QString c() { return drives.root(QLatin1Char('C')); }
};

// Finds a child by objectName; a missing one stops the run, naming it.
template <typename T>
T *child(QObject *parent, const QString &name)
{
    T *w = parent->findChild<T *>(name);
    if (!w)
        qFatal("no child named %s", qPrintable(name));
    return w;
}

// "centred" when the middle of the window's frame lies within `slack` pixels
// (across and down together) of the middle of `area`; else how far off.
QString placement(const QWidget &window, const QRect &area, int slack);

// The visible top-level window of that name, or none.
QWidget *visibleTopLevel(const QString &objectName);

// Runs a test object with windows; fails when a window is still open at the end.
int runTests(QObject *test, int argc, char **argv);

}  // namespace testkit

#define PIXFERRY_TEST_MAIN(TestClass)                                   \
    int main(int argc, char **argv)                                     \
    {                                                                   \
        TestClass test;                                                 \
        return testkit::runTests(&test, argc, argv);                    \
    }
