// Settings that cannot be read or written: a settings path that is not a
// regular file, a settings folder that is a file, a read-only settings
// folder. Each is reported with the file and the reason; nothing waits, the
// defaults apply, and edits that could not be stored stay pending as typed.

#include "app/program.h"
#include "settings/store.h"
#include "tests/support/testkit.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace testkit;

namespace {

const char *const kChildArgument = "--save-with-settings-unwritable";

QString settingsFile() { return pf::SettingsIo().location(); }
QString settingsFolder() { return QFileInfo(settingsFile()).absolutePath(); }

// What the user meets, one line each: start-up (its boxes, the splash), an
// edit saved, leaving the tab with Yes to "Save Changes?", Undo Changes and
// a click on the splash tick, and the boxes these brought.
QStringList saveWithStoreUnwritable()
{
    Rig rig;
    frmMain &w = rig.openMain();
    QStringList out;
    auto said = [&] {
        const char *buttons[] = {"OK", "OK Cancel", "Yes No Cancel", "Yes No"};
        for (const ShownBox &b : rig.prompt.boxes)
            out << b.title + " [" + buttons[int(b.buttons)] + "]: " + b.text;
        rig.prompt.boxes.clear();
    };
    said();
    out << QString("splash shown: %1").arg(rig.prompt.modals.contains("frmSplash"));
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
    said();
    return out;
}

// A device at the path, like /dev/null: a node of its own where that can be
// made (as root, who could replace /dev/null itself by a fault under test),
// else a link to /dev/null (which no one else can replace).
void makeNullDevice(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    const bool made = ::geteuid() == 0 ? ::mknod(name.constData(), S_IFCHR | 0666, makedev(1, 3)) == 0
                                       : QFile::link("/dev/null", path);
    if (!made)
        qFatal("cannot make a device at %s", qPrintable(path));
}

// How to run this program as a user other than root, or nothing.
std::optional<QStringList> asOtherUser(const QString &program)
{
    if (::geteuid() != 0)
        return QStringList{program};
    const QString setpriv = QStandardPaths::findExecutable("setpriv");
    if (setpriv.isEmpty())
        return std::nullopt;
    return QStringList{setpriv, "--reuid=65534", "--regid=65534", "--clear-groups", program};
}

// A settings folder that only its owner, another user, may write to; the
// program run as someone else against it. Its lines, or why not.
std::pair<QStringList, QString> runWithReadOnlyFolder(const QString &config, const QString &folder)
{
    const std::optional<QStringList> command = asOtherUser(QCoreApplication::applicationFilePath());
    if (!command)
        return {{}, "running as root, and setpriv is not there to run as another user"};
    QDir().mkpath(folder);
    QSettings stored(folder + "/Pixferry.conf", QSettings::IniFormat);
    stored.setValue("Settings/Splash Screen", "False");
    stored.setValue("Settings/Image Folder", "C:\\");
    stored.sync();
    ::chmod(QFile::encodeName(config).constData(), 0755);
    if (::geteuid() == 0)
        for (const QString &p : {config, folder, folder + "/Pixferry.conf"})
            ::chown(QFile::encodeName(p).constData(), 65534, 65534);
    ::chmod(QFile::encodeName(folder).constData(), 0555);
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", config);
    env.insert("HOME", config);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    run.setProcessEnvironment(env);
    run.start(command->first(), command->mid(1) << kChildArgument);
    if (!run.waitForFinished(30000))
        run.kill();
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    const QString errors = QString::fromLocal8Bit(run.readAllStandardError());
    if (run.exitCode() != 0 && errors.contains("setpriv"))
        return {{}, "cannot run as another user here: " + errors};
    return {QString::fromUtf8(run.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts), QString()};
}

}  // namespace

class TestSettingsFaults : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { clearSettings(false); }

    // Whatever a test put in the settings file's place goes.
    void cleanup()
    {
        if (const QFileInfo file(settingsFile()); file.isSymLink() || !file.isDir())
            QFile::remove(settingsFile());
        else
            QDir(settingsFile()).removeRecursively();
        if (!QFileInfo(settingsFolder()).isDir()) {
            QFile::remove(settingsFolder());
            QDir().mkpath(settingsFolder());
        }
    }

    // Something other than a regular file in the settings file's place is
    // said once at start-up (and never opened: the defaults, the splash
    // among them); every write that fails is said with the file and why.
    void unwritable_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("a named pipe in its place") << "a named pipe";
        QTest::newRow("a folder in its place") << "a folder";
        QTest::newRow("a device in its place") << "a device";
        QTest::newRow("its folder a file: nothing read, start-up's own write unsaid") << "folder a file";
        QTest::newRow("its folder read-only, the program another user") << "read-only";
    }
    void unwritable()
    {
        QFETCH(QString, kind);
        QString file = settingsFile(), why = QString("It is not a regular file but %1.").arg(kind);
        QFile::remove(file);
        if (kind == "a named pipe")
            makeFifo(file);
        else if (kind == "a folder")
            QDir().mkdir(file);
        else if (kind == "a device")
            makeNullDevice(file);
        QStringList out;
        QTemporaryDir config;
        if (kind == "read-only") {
            file = config.filePath("Pixferry/Pixferry.conf");
            why = QString("Its folder %1 cannot be written to: permission denied.").arg(config.filePath("Pixferry"));
            QString skipped;
            std::tie(out, skipped) = runWithReadOnlyFolder(config.path(), config.filePath("Pixferry"));
            if (!skipped.isEmpty())
                QSKIP(qPrintable(skipped));
        } else {
            if (kind == "folder a file") {
                QDir(settingsFolder()).removeRecursively();
                writeFile(settingsFolder(), "a file, not a folder");
                why = settingsFolder() + " is not a folder.";
            }
            PipeGuard guard(file);  // a pipe opened to be read would wait
            out = saveWithStoreUnwritable();
            guard.done();
            QCOMPARE(guard.letGo(), false);
        }
        const QString notSaved = "Settings Not Saved [OK]: The settings could not be saved to\r" + file + '\r' + why;
        QStringList expected{QString("splash shown: %1").arg(kind != "read-only"), "typed: C:\\New\\",
                             "used: C:\\", "save, undo enabled: 1, 1", "tab after leaving: 1", "after undo: C:\\",
                             "tick as clicked: 1", notSaved, "Corvanta [Yes No Cancel]: Save Changes?", notSaved,
                             notSaved};
        if (kind.startsWith("a "))
            expected.prepend("Settings Not Read [OK]: The settings could not be read from\r" + file + '\r' + why
                             + "  The defaults are used.");
        QCOMPARE(out, expected);
        QCOMPARE(QFileInfo(file).isFile(), kind == "read-only");  // nothing took the place of what was there
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
    TestSettingsFaults test;
    return testkit::runTests(&test, argc, argv);
}

#include "test_settingsfaults.moc"
