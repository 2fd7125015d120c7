#pragma once
// What the tests share: temporary drives, a temporary settings location, a
// prompt that answers from a script, and helpers to make files.

#include "app/frmmain.h"
#include "tests/support/corekit.h"
#include "platform/services.h"
#include "transfer/module1.h"

#include <QDateTime>
#include <QDialog>
#include <QList>
#include <QTemporaryDir>
#include <QtTest/QtTest>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

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
    // A main window, loaded (Form_Load) with the splash switched off unless
    // the store says otherwise.
    frmMain &openMain(bool runLoad = true);
    QString a() { return drives.root(QLatin1Char('A')); }
    QString c() { return drives.root(QLatin1Char('C')); }
};

// Finds a child by objectName or fails the test.
template <typename T>
T *child(QObject *parent, const QString &name)
{
    T *w = parent->findChild<T *>(name);
    if (!w)
        qFatal("no child named %s", qPrintable(name));
    return w;
}

int runTests(QObject *test, int argc, char **argv);

}  // namespace testkit

#define PIXFERRY_TEST_MAIN(TestClass)                                   \
    int main(int argc, char **argv)                                     \
    {                                                                   \
        TestClass test;                                                 \
        return testkit::runTests(&test, argc, argv);                    \
    }
