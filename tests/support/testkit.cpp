#include "tests/support/testkit.h"

#include "app/program.h"

#include <QApplication>
#include <QDialog>

namespace testkit {

Rig::Rig()
{
    prompt.nameOf = [](QDialog &dialog) { return dialog.objectName(); };
    rebuildServices();
}

Rig::~Rig() { window.reset(); }

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

QString placement(const QWidget &window, const QRect &area, int slack)
{
    const QPoint off = window.frameGeometry().center() - area.center();
    return off.manhattanLength() <= slack ? QString("centred") : QString("off by %1, %2").arg(off.x()).arg(off.y());
}

QWidget *visibleTopLevel(const QString &objectName)
{
    for (QWidget *top : QApplication::topLevelWidgets())
        if (top->objectName() == objectName && top->isVisible())
            return top;
    return nullptr;
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
    int failures = QTest::qExec(test, argc, argv);
    // Every widget test ends with no top-level window left open.
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->isVisible()) {
            qCritical("FAIL: window left open: %s", qPrintable(w->objectName()));
            ++failures;
        }
    }
    return failures;
}

}  // namespace testkit
