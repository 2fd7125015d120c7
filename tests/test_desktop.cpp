// The program on a desktop: its command line, run as a process without a
// display, and the boxes shown at start-up, before the main window.

#include "platform/dialogprompt_ui.h"
#include "tests/support/testkit.h"

#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QTimer>

using namespace testkit;

namespace {

struct Run {
    int exitCode = -1;
    bool crashed = false;
    QString out, err;
};

// The installed program with these arguments, no display to be had, its
// settings and drives in `config`.
Run runProgram(const QStringList &arguments, const QString &config, const QProcessEnvironment &extra = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));  // would fail without a display
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    const QStringList keys = extra.keys();
    for (const QString &key : keys)
        env.insert(key, extra.value(key));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(PIXFERRY_EXE), arguments);
    Run r;
    if (!p.waitForFinished(30000)) {  // a window would never end by itself
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("did not end");
        return r;
    }
    r.crashed = p.exitStatus() != QProcess::NormalExit;
    r.exitCode = p.exitCode();
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err += QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

// Where a box shown by the real prompt stood, and its screen's middle.
struct Placed {
    QPoint centre, screenCentre;
};

}  // namespace

class TestDesktop : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { clearSettings(); }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");  // a line standard output holds ("" for none at all)
        QTest::addColumn<QString>("err");  // a line standard error holds ("" for none at all)

        const QString usage = QStringLiteral("Usage: pixferry [options]");
        QTest::newRow("--help") << QStringList{"--help"} << 0 << usage << "";
        QTest::newRow("-h") << QStringList{"-h"} << 0 << usage << "";
        QTest::newRow("--version") << QStringList{"--version"} << 0 << "Pixferry 1.0" << "";
        QTest::newRow("-v") << QStringList{"-v"} << 0 << "Pixferry 1.0" << "";
        QTest::newRow("toolkit option left alone") << QStringList{"-platform", "offscreen", "--version"} << 0
                                                   << "Pixferry 1.0" << "";
        QTest::newRow("unknown option") << QStringList{"--bogus"} << 2 << "" << "Unknown option 'bogus'.";
        QTest::newRow("usage after an unknown option") << QStringList{"-x"} << 2 << "" << usage;
        QTest::newRow("unknown before help") << QStringList{"--bogus", "--help"} << 2 << "" << usage;
        QTest::newRow("an argument") << QStringList{"photos"} << 2 << "" << "Unexpected argument 'photos'.";
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QTemporaryDir config;
        const Run r = runProgram(arguments, config.path());
        QVERIFY2(!r.crashed, qPrintable(r.err));
        QCOMPARE(r.exitCode, exitCode);
        if (out.isEmpty())
            QCOMPARE(r.out, QString());
        else
            QVERIFY2(r.out.split(QLatin1Char('\n')).contains(out), qPrintable(r.out));
        if (err.isEmpty())
            QCOMPARE(r.err, QString());
        else
            QVERIFY2(r.err.split(QLatin1Char('\n')).contains(err), qPrintable(r.err));
    }

    // --help shows every mapped letter as it would be used now, and why.
    void helpShowsDrives()
    {
        QTemporaryDir config;
        QDir().mkpath(config.path() + QStringLiteral("/Pixferry"));
        writeFile(config.path() + QStringLiteral("/Pixferry/Pixferry.conf"), "[Drives]\nD=/srv/pictures\n");
        QProcessEnvironment env;
        env.insert(QStringLiteral("PIXFERRY_DRIVE_A"), QStringLiteral("/srv/card"));
        const Run r = runProgram({QStringLiteral("--help")}, config.path(), env);
        QCOMPARE(r.exitCode, 0);
        const QStringList lines = r.out.split(QLatin1Char('\n'));
        QVERIFY2(lines.contains(QStringLiteral("  A:  /srv/card  (from PIXFERRY_DRIVE_A)")), qPrintable(r.out));
        QVERIFY2(lines.contains(QStringLiteral("  C:  /  (the default)")), qPrintable(r.out));
        QVERIFY2(lines.contains(QStringLiteral("  D:  /srv/pictures  (from the settings file, section [Drives])")),
                 qPrintable(r.out));
        const QString file = config.path() + QStringLiteral("/Pixferry/Pixferry.conf");
        QVERIFY2(r.out.contains(file), qPrintable(r.out));
    }

    // Both folder warnings of start-up, shown by the real prompt while the
    // main window is not yet on screen, stand in the middle of its screen.
    void startupBoxesCentred()
    {
        storeSetting(QStringLiteral("Splash Screen"), QStringLiteral("False"));
        storeSetting(QStringLiteral("Image Folder"), QStringLiteral("C:\\Missing\\"));
        storeSetting(QStringLiteral("Video Folder"), QStringLiteral("C:\\Gone\\"));
        Drives drives;
        pf::DialogPrompt prompt;
        pf::Services services(std::make_unique<pf::FileSystem>(drives.map()), &prompt);
        Module1 shared;
        frmMain window(services, shared);
        prompt.setOwner(&window);  // not yet placed, not yet shown

        QList<Placed> placed;
        QTimer answer;
        answer.setInterval(20);
        connect(&answer, &QTimer::timeout, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            placed.append({box->frameGeometry().center(), window.screen()->availableGeometry().center()});
            box->button(QMessageBox::Ok)->click();
        });
        answer.start();
        window.Form_Load();
        answer.stop();

        QCOMPARE(placed.size(), 2);
        for (const Placed &p : placed) {
            QVERIFY2((p.centre - p.screenCentre).manhattanLength() <= 2,
                     qPrintable(QStringLiteral("box centred at %1,%2; screen middle %3,%4")
                                    .arg(p.centre.x()).arg(p.centre.y()).arg(p.screenCentre.x()).arg(p.screenCentre.y())));
        }
        QVERIFY(!window.isVisible());
    }
};

PIXFERRY_TEST_MAIN(TestDesktop)
#include "test_desktop.moc"
