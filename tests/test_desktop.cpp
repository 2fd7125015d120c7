// The program on a desktop: its command line, run as a process without a
// display, and the boxes shown at start-up, before the main window.

#include "platform/dialogprompt_ui.h"
#include "settings/store.h"
#include "tests/support/testkit.h"

#include <QMessageBox>
#include <QScreen>
#include <QTimer>

using namespace testkit;

namespace {

// The program with these arguments and no display to be had, its settings
// in `config`: "exit code | standard output | standard error".
QStringList runProgram(const QStringList &arguments, const QString &config, const QString &driveA = QString())
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", "xcb");  // would fail without a display
    env.insert("XDG_CONFIG_HOME", config);
    if (!driveA.isEmpty())
        env.insert("PIXFERRY_DRIVE_A", driveA);
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(PIXFERRY_EXE, arguments);
    if (!p.waitForFinished(30000)) {  // a window would never end by itself
        p.kill();
        p.waitForFinished();
        return {"did not end"};
    }
    const QString code = p.exitStatus() == QProcess::NormalExit ? QString::number(p.exitCode()) : "crashed";
    return {code, QString::fromLocal8Bit(p.readAllStandardOutput()), QString::fromLocal8Bit(p.readAllStandardError())};
}

// `line` when the text holds it as a line of its own; else the whole text
// (so also when no line is asked for and the text should be empty).
QString lineOrAll(const QString &text, const QString &line)
{
    return !line.isEmpty() && text.split('\n').contains(line) ? line : text;
}

}  // namespace

class TestDesktop : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { clearSettings(); }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("exitCode");
        QTest::addColumn<QString>("out");  // a line standard output holds ("" for none at all)
        QTest::addColumn<QString>("err");  // a line standard error holds ("" for none at all)
        const QString usage = "Usage: pixferry [options]";
        QTest::newRow("--help") << QStringList{"--help"} << "0" << usage << "";
        QTest::newRow("-h") << QStringList{"-h"} << "0" << usage << "";
        QTest::newRow("--version") << QStringList{"--version"} << "0" << "Pixferry 1.0" << "";
        QTest::newRow("-v") << QStringList{"-v"} << "0" << "Pixferry 1.0" << "";
        QTest::newRow("toolkit option left alone") << QStringList{"-platform", "offscreen", "--version"} << "0"
                                                   << "Pixferry 1.0" << "";
        QTest::newRow("unknown option") << QStringList{"--bogus"} << "2" << "" << "Unknown option 'bogus'.";
        QTest::newRow("usage after an unknown option") << QStringList{"-x"} << "2" << "" << usage;
        QTest::newRow("unknown before help") << QStringList{"--bogus", "--help"} << "2" << "" << usage;
        QTest::newRow("an argument") << QStringList{"photos"} << "2" << "" << "Unexpected argument 'photos'.";
    }
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QTemporaryDir config;
        const QStringList r = runProgram(arguments, config.path());
        QTEST(r.value(0), "exitCode");
        QCOMPARE(lineOrAll(r.value(1), out), out);
        QCOMPARE(lineOrAll(r.value(2), err), err);
    }

    // --help shows every mapped letter as it would be used now, and why,
    // and the settings file it read.
    void helpShowsDrives()
    {
        QTemporaryDir config;
        QDir().mkpath(config.filePath("Pixferry"));
        writeFile(config.filePath("Pixferry/Pixferry.conf"), "[Drives]\nD=/srv/pictures\n");
        const QStringList r = runProgram({"--help"}, config.path(), "/srv/card");
        const QStringList lines = r.value(1).split('\n');
        QCOMPARE(r.value(0), "0");
        QCOMPARE(lines.filter(QRegularExpression("^  [A-Z]:  ")),
                 (QStringList{"  A:  /srv/card  (from PIXFERRY_DRIVE_A)", "  C:  /  (the default)",
                              "  D:  /srv/pictures  (from the settings file, section [Drives])"}));
        QCOMPARE(lines.filter(config.filePath("Pixferry/Pixferry.conf")).size(), 1);
    }

    // Both folder warnings of start-up, shown by the real prompt while the
    // main window is not yet on screen, stand in the middle of its screen.
    void startupBoxesCentred()
    {
        clearSettings(false);
        storeSetting(settings::kImageFolder, "C:\\Missing\\");
        storeSetting(settings::kVideoFolder, "C:\\Gone\\");
        Drives drives;
        pf::DialogPrompt prompt;
        pf::Services services(std::make_unique<pf::FileSystem>(drives.map()), &prompt);
        Module1 shared;
        frmMain window(services, shared);
        prompt.setOwner(&window);  // not yet placed, not yet shown
        QStringList placed;
        QTimer answer;
        answer.setInterval(20);
        connect(&answer, &QTimer::timeout, this, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()); box && box->isVisible()) {
                placed << placement(*box, window.screen()->availableGeometry(), 2);
                box->button(QMessageBox::Ok)->click();
            }
        });
        answer.start();
        window.Form_Load();
        answer.stop();
        QCOMPARE(placed, (QStringList{"centred", "centred"}));
        QCOMPARE(window.isVisible(), false);
    }
};

PIXFERRY_TEST_MAIN(TestDesktop)
#include "test_desktop.moc"
