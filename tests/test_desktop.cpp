// The program on a desktop: its command line, run as a process without a
// display; the boxes of start-up, shown before the main window; the real
// box of a file that could be read in part, with its third button; and a
// settings file it cannot use (not a regular file, its folder a file or
// read-only): each is reported with the file and the reason, nothing waits,
// the defaults apply, and edits that could not be stored stay pending as typed.

#include "app/program.h"
#include "platform/dialogprompt_ui.h"
#include "settings/store.h"
#include "tests/support/testkit.h"

#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

using namespace testkit;

namespace {

const char *const kChildArgument = "--save-with-settings-unwritable";

QString settingsFile() { return pf::SettingsIo().location(); }
QString settingsFolder() { return QFileInfo(settingsFile()).absolutePath(); }

// Runs `command` with its environment changed ("NAME=value" set, "NAME"
// removed): its exit code ("crashed", or "did not end"), standard output and
// standard error.
QStringList runProcess(const QStringList &command, const QStringList &changes)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &change : changes) {
        if (change.contains('='))
            env.insert(change.section('=', 0, 0), change.section('=', 1));
        else
            env.remove(change);
    }
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(command.first(), command.mid(1));
    if (!p.waitForFinished(30000)) {  // a window would never end by itself
        p.kill();
        p.waitForFinished();
        return {"did not end"};
    }
    return {p.exitStatus() == QProcess::NormalExit ? QString::number(p.exitCode()) : "crashed",
            QString::fromLocal8Bit(p.readAllStandardOutput()), QString::fromLocal8Bit(p.readAllStandardError())};
}

// The program with these arguments, its settings in `config`, drive A: set
// by the variable, no display to be had (a window would fail to open).
QStringList runProgram(const QStringList &arguments, const QString &config)
{
    return runProcess(QStringList{PIXFERRY_EXE} + arguments, {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM=xcb",
                                                               "XDG_CONFIG_HOME=" + config,
                                                               "PIXFERRY_DRIVE_A=/srv/card"});
}

// `line` when the text holds it as a line of its own; else the whole text
// (so also when no line is asked for and the text should be empty).
QString lineOrAll(const QString &text, const QString &line)
{
    return !line.isEmpty() && text.split('\n').contains(line) ? line : text;
}

// What the user meets, one line each: start-up (the splash), an edit saved,
// leaving the tab with Yes to "Save Changes?", Undo Changes and a click on
// the splash tick; then every box shown, from start-up on.
QStringList saveWithStoreUnwritable()
{
    Rig rig;
    frmMain &w = rig.openMain();
    QStringList out{QString("splash shown: %1").arg(rig.prompt.modals.contains("frmSplash"))};
    w.SSTab1->setCurrentIndex(1);
    QDir(rig.c()).mkdir("New");
    w.Text1[0]->setText("C:\\New");
    w.Command10->click();
    out << "typed: " + w.Text1[0]->text() << "used: " + rig.shared.imageFolder
        << QString("save, undo enabled: %1, %2").arg(w.Command10->isEnabled()).arg(w.Command11->isEnabled());
    rig.prompt.answers = {pf::AnsYes};
    w.SSTab1->setCurrentIndex(0);
    out << QString("tab after leaving: %1").arg(w.SSTab1->currentIndex());
    w.Command11->click();
    out << "after undo: " + w.Text1[0]->text();
    const bool tick = w.Check2->isChecked();
    w.Check2->click();
    out << QString("tick as clicked: %1").arg(w.Check2->isChecked() != tick);
    const char *buttons[] = {"OK", "OK Cancel", "Yes No Cancel", "Yes No"};
    for (const ShownBox &b : rig.prompt.boxes)
        out << b.title + " [" + buttons[int(b.buttons)] + "]: " + b.text;
    return out;
}

// This program run against its settings folder `config`/Pixferry that only
// its owner, another user, may write to: its lines, or why it could not be
// run so. As root it runs as nobody (setpriv), who does not own the folder.
std::pair<QStringList, QString> runWithReadOnlyFolder(const QString &config)
{
    QStringList command{QCoreApplication::applicationFilePath(), kChildArgument};
    if (::geteuid() == 0) {
        const QString setpriv = QStandardPaths::findExecutable("setpriv");
        if (setpriv.isEmpty())
            return {{}, "running as root, and setpriv is not there to run as another user"};
        command = QStringList{setpriv, "--reuid=65534", "--regid=65534", "--clear-groups"} + command;
    }
    const QString folder = config + "/Pixferry";
    QDir().mkpath(folder);
    writeFile(folder + "/Pixferry.conf", "[Settings]\nSplash Screen=False\nImage Folder=C:\\\\\n");
    ::chmod(QFile::encodeName(config).constData(), 0755);
    if (::geteuid() == 0)
        for (const QString &p : {config, folder, folder + "/Pixferry.conf"})
            if (::chown(QFile::encodeName(p).constData(), 65534, 65534) != 0)
                return {{}, "running as root, and " + p + " could not be given to another user"};
    ::chmod(QFile::encodeName(folder).constData(), 0555);
    const QStringList r =
        runProcess(command, {"XDG_CONFIG_HOME=" + config, "HOME=" + config, "QT_QPA_PLATFORM=offscreen"});
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    if (r.value(0) != "0" && r.value(2).contains("setpriv"))
        return {{}, "cannot run as another user here: " + r.value(2)};
    return {r.value(1).split('\n', Qt::SkipEmptyParts), QString()};
}

}  // namespace

class TestDesktop : public QObject {
    Q_OBJECT
    QTemporaryDir m_config;  // the settings folder of the program's runs

private Q_SLOTS:
    void init() { clearSettings(false); }

    // Whatever a test put in the settings file's place, or its folder's, goes.
    void cleanup()
    {
        QDir(settingsFolder()).removeRecursively();
        QFile::remove(settingsFolder());
        QDir().mkpath(settingsFolder());
    }

    // --help shows the drives as they would be used now, and why, and the
    // settings file it reads.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("exitCode");
        QTest::addColumn<QString>("out");  // a line standard output holds ("" for none at all)
        QTest::addColumn<QString>("err");  // a line standard error holds ("" for none at all)
        const QString usage = "Usage: pixferry [options]", conf = m_config.filePath("Pixferry/Pixferry.conf");
        QTest::newRow("-h: drive A:") << QStringList{"-h"} << "0" << "  A:  /srv/card  (from PIXFERRY_DRIVE_A)" << "";
        QTest::newRow("--help: the settings file")
            << QStringList{"--help"} << "0" << "  2. the [Drives] section of " + conf + " (A=/path);" << "";
        QTest::newRow("toolkit option left alone") << QStringList{"-platform", "offscreen", "--version"} << "0"
                                                   << "Pixferry 1.0" << "";
        QTest::newRow("unknown option") << QStringList{"--bogus"} << "2" << "" << "Unknown option 'bogus'.";
        QTest::newRow("usage after an unknown option, before help") << QStringList{"--bogus", "--help"} << "2" << ""
                                                                    << usage;
        QTest::newRow("an argument") << QStringList{"photos"} << "2" << "" << "Unexpected argument 'photos'.";
    }
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, out);
        QFETCH(QString, err);
        const QStringList r = runProgram(arguments, m_config.path());
        QTEST(r.value(0), "exitCode");
        QCOMPARE(lineOrAll(r.value(1), out), out);
        QCOMPARE(lineOrAll(r.value(2), err), err);
    }

    // Both folder warnings of start-up, shown by the real prompt while the
    // main window is not yet on screen, stand in the middle of its screen.
    void startupBoxesCentred()
    {
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
        connect(&answer, &QTimer::timeout, this, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()); box && box->isVisible()) {
                placed << placement(*box, window.screen()->availableGeometry(), 2);
                box->button(QMessageBox::Ok)->click();
            }
        });
        answer.start(20);
        window.Form_Load();
        answer.stop();
        QCOMPARE(placed, (QStringList{"centred", "centred"}));
        QCOMPARE(window.isVisible(), false);
    }

    // The real box of a file that could be read in part: OK (the default),
    // "&Keep Readable Part" and Cancel, each giving its answer.
    void keepReadableButtons_data()
    {
        QTest::addColumn<QString>("press");
        QTest::addColumn<pf::MsgAnswer>("answer");
        QTest::newRow("Keep Readable Part") << "KeepButton" << pf::AnsKeep;
        QTest::newRow("OK") << "OK" << pf::AnsOk;
        QTest::newRow("Cancel") << "Cancel" << pf::AnsCancel;
    }
    void keepReadableButtons()
    {
        QFETCH(QString, press);
        pf::DialogPrompt prompt;
        QStringList seen;  // the keep button's caption, how many buttons, which is the default
        QTimer answer;
        connect(&answer, &QTimer::timeout, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            answer.stop();
            seen << child<QPushButton>(box, "KeepButton")->text() << QString::number(box->buttons().size())
                 << (box->defaultButton() == box->button(QMessageBox::Ok) ? "OK the default" : "another default");
            if (press == "KeepButton")
                child<QPushButton>(box, "KeepButton")->click();
            else
                box->button(press == "OK" ? QMessageBox::Ok : QMessageBox::Cancel)->click();
        });
        answer.start(20);
        const pf::MsgAnswer got = prompt.messageBox("The file P.JPG could not be copied", pf::MbOkCancelKeep, "Copy Failed");
        answer.stop();
        QTEST(got, "answer");
        QCOMPARE(seen, (QStringList{"&Keep Readable Part", "3", "OK the default"}));
    }

    // Something other than a regular file in the settings file's place is
    // said once at start-up (and never opened: the defaults, the splash
    // among them); every write that fails is said with the file and why.
    void settingsUnwritable_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("a named pipe in its place") << "a named pipe";
        QTest::newRow("its folder a file: nothing read, start-up's own write unsaid") << "folder a file";
        QTest::newRow("its folder read-only, the program another user") << "read-only";
        QTest::newRow("a file of 5 MB, a million junk keys scaled down") << "too large";
    }
    void settingsUnwritable()
    {
        QFETCH(QString, kind);
        QString file = settingsFile(), why = QString("It is not a regular file but %1.").arg(kind);
        QFile::remove(file);
        if (kind == "a named pipe")
            makeFifo(file);
        QByteArray large;
        if (kind == "too large") {
            large = "[Settings]\nSplash Screen=False\n[Junk]\n";
            for (int i = 0; large.size() < 5 << 20; ++i)
                large += "key" + QByteArray::number(i) + "=junk\n";
            large.truncate(5 << 20);
            QDir().mkpath(settingsFolder());
            writeFile(file, large);
            why = "It is too large for a settings file of this program (5.0 MB, at most 4 MB), and is left as it is.";
        }
        QStringList out;
        QTemporaryDir config;
        if (kind == "read-only") {
            file = config.filePath("Pixferry/Pixferry.conf");
            why = QString("Its folder %1 cannot be written to: permission denied.").arg(config.filePath("Pixferry"));
            QString skipped;
            std::tie(out, skipped) = runWithReadOnlyFolder(config.path());
            if (!skipped.isEmpty())
                QSKIP(qPrintable(skipped));
        } else {
            if (kind == "folder a file") {
                QDir(settingsFolder()).removeRecursively();
                writeFile(settingsFolder(), "a file, not a folder");
                why = settingsFolder() + " is not a folder.";
            }
            PipeGuard guard(file, kind == "too large" ? 600000 : 1000);  // a pipe opened to be read would wait
            out = saveWithStoreUnwritable();
            guard.done();
            QCOMPARE(guard.letGo(), false);
        }
        const QString notSaved = "Settings Not Saved [OK]: The settings could not be saved to\r" + file + '\r' + why;
        QStringList expected{QString("splash shown: %1").arg(kind != "read-only"), "typed: C:\\New\\",
                             "used: C:\\", "save, undo enabled: 1, 1", "tab after leaving: 1", "after undo: C:\\",
                             "tick as clicked: 1"};
        if (kind == "a named pipe" || kind == "too large")
            expected << "Settings Not Read [OK]: The settings could not be read from\r" + file + '\r' + why
                            + "  The defaults are used.";
        expected << notSaved << "Corvanta [Yes No Cancel]: Save Changes?" << notSaved << notSaved;
        QCOMPARE(out, expected);
        // Nothing took the place of what was there.
        QCOMPARE(QFileInfo(file).isFile(), kind == "read-only" || kind == "too large");
        if (kind == "too large")
            QVERIFY2(readFile(file) == large, "the large settings file was written over");
    }
};

int main(int argc, char **argv)
{
    if (argc == 2 && qstrcmp(argv[1], kChildArgument) == 0) {
        QApplication app(argc, argv);
        pf::applyProgramLook(app);
        std::fputs(qPrintable(saveWithStoreUnwritable().join('\n')), stdout);
        return 0;
    }
    TestDesktop test;
    return testkit::runTests(&test, argc, argv);
}

#include "test_desktop.moc"
