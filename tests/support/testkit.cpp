#include "tests/support/testkit.h"

#include "app/program.h"
#include "settings/store.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QSettings>

#include <sys/stat.h>
#include <utime.h>

namespace testkit {

Rig::Rig()
{
    prompt.nameOf = [](QDialog &dialog) { return dialog.objectName(); };
    rebuildServices();
}

Rig::~Rig()
{
    window.reset();
}

void Rig::rebuildServices(std::unique_ptr<pf::FileSystem> fs)
{
    if (!fs)
        fs = std::make_unique<pf::FileSystem>(drives.map());
    services = std::make_unique<pf::Services>(std::move(fs), &prompt);
    services->now = [] { return QDateTime(QDate(2026, 12, 6), QTime(14, 3, 9)); };
}

frmMain &Rig::openMain(bool runLoad)
{
    window = std::make_unique<frmMain>(*services, shared);
    if (runLoad)
        window->Form_Load();
    return *window;
}

int runTests(QObject *test, int argc, char **argv)
{
    // The settings store and the platform live in temporary places.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    qputenv("HOME", QFile::encodeName(config.path()));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    pf::applyProgramLook(app);
    const int rc = QTest::qExec(test, argc, argv);
    // Every widget test ends with no top-level window left open.
    const QWidgetList open = QApplication::topLevelWidgets();
    for (QWidget *w : open)
        if (w->isVisible())
            qWarning("window left open: %s", qPrintable(w->objectName()));
    return rc;
}

}  // namespace testkit
