// Settings that cannot be read or written: a settings path that is not a
// regular file, a settings folder that is a file, a read-only settings
// folder. Each is reported with the file and the reason; nothing waits, the
// defaults apply, and edits that could not be stored stay pending as typed.

#include "app/program.h"
#include "settings/store.h"
#include "tests/support/testkit.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace testkit;
using namespace Qt::StringLiterals;

namespace {

constexpr int kDeadlineMs = 1000;
const char *const kChildArgument = "--save-with-settings-unwritable";

QString settingsFile() { return pf::SettingsIo().location(); }
QString settingsFolder() { return QFileInfo(settingsFile()).absolutePath(); }

QString notSaved(const QString &why) { return u"The settings could not be saved to\r%1\r%2"_s.arg(settingsFile(), why); }

// What the user meets when the store cannot be written: start-up, an edit
// saved, leaving the tab with Yes to "Save Changes?", Undo Changes, and a
// click on the splash tick.
QJsonObject saveWithStoreUnwritable(Rig &rig)
{
    QJsonObject out;
    frmMain &w = rig.openMain();
    out[u"startupBoxes"_s] = rig.prompt.boxes.size();
    rig.prompt.boxes.clear();
    w.SSTab1->setCurrentIndex(1);
    QDir(rig.c()).mkdir(u"New"_s);
    w.Text1[0]->setText(u"C:\\New"_s);
    w.Command10->click();
    out[u"saveEnabled"_s] = w.Command10->isEnabled();
    out[u"undoEnabled"_s] = w.Command11->isEnabled();
    out[u"typed"_s] = w.Text1[0]->text();
    out[u"imageFolder"_s] = rig.shared.imageFolder;
    rig.prompt.answers = {pf::AnsYes};
    w.SSTab1->setCurrentIndex(0);
    out[u"tabAfterLeaving"_s] = w.SSTab1->currentIndex();
    w.Command11->click();
    out[u"afterUndo"_s] = w.Text1[0]->text();
    const bool tick = w.Check2->isChecked();
    w.Check2->click();
    out[u"tickKept"_s] = w.Check2->isChecked() == !tick;
    QJsonArray boxes;
    for (const ShownBox &b : rig.prompt.boxes)
        boxes.append(QJsonArray{b.title, b.text});
    out[u"boxes"_s] = boxes;
    return out;
}

// The same in a process of its own (run as another user, for whom the
// settings folder is read-only): the outcome on standard output.
int child(int argc, char **argv)
{
    QApplication app(argc, argv);
    pf::applyProgramLook(app);
    Rig rig;
    const QJsonObject out = saveWithStoreUnwritable(rig);
    std::fputs(QJsonDocument(out).toJson(QJsonDocument::Compact).constData(), stdout);
    return 0;
}

// A device at the path, like /dev/null: a node of its own where that can be
// made (as root, who could replace /dev/null itself by a fault under test),
// else a link to /dev/null (which no one else can replace).
bool makeNullDevice(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    if (::geteuid() == 0)
        return ::mknod(name.constData(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    return QFile::link(u"/dev/null"_s, path);
}

// How to run this program as a user other than root, or nothing.
std::optional<QStringList> asOtherUser(const QString &program)
{
    if (::geteuid() != 0)
        return QStringList{program};
    const QString setpriv = QStandardPaths::findExecutable(u"setpriv"_s);
    if (setpriv.isEmpty())
        return std::nullopt;
    return QStringList{setpriv, u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s, program};
}

}  // namespace

class TestSettingsFaults : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        clearSettings();
        storeSetting(settings::kSplashScreen, u"False"_s);
    }

    // Whatever a test put in the settings file's place goes.
    void cleanup()
    {
        const QFileInfo file(settingsFile());
        if (file.isSymLink() || !file.isDir())
            QFile::remove(settingsFile());
        else
            QDir(settingsFile()).removeRecursively();
        if (!QFileInfo(settingsFolder()).isDir()) {
            QFile::remove(settingsFolder());
            QDir().mkpath(settingsFolder());
        }
    }

    void notARegularFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("named pipe") << u"a named pipe"_s;
        QTest::newRow("folder") << u"a folder"_s;
        QTest::newRow("device") << u"a device"_s;
    }

    // Reported once at start-up, the defaults used; every write reported;
    // nothing waits and nothing takes its place.
    void notARegularFile()
    {
        QFETCH(QString, kind);
        const QString file = settingsFile();
        QVERIFY(QFile::remove(file));
        if (kind == u"a named pipe"_s)
            QVERIFY(makeFifo(file));
        else if (kind == u"a folder"_s)
            QVERIFY(QDir().mkdir(file));
        else
            QVERIFY(makeNullDevice(file));
        PipeGuard watch(file, kDeadlineMs);
        Rig rig;
        rig.drives.root(QLatin1Char('D'));
        rig.rebuildServices();
        frmMain &w = rig.openMain();
        w.Check2->click();
        w.Text1[0]->setText(u"D:"_s);
        w.Command10->click();
        watch.done();
        QVERIFY2(!watch.letGo(), "waited on the pipe");

        const QString why = u"It is not a regular file but %1."_s.arg(kind);
        QCOMPARE(rig.prompt.titles(),
                 QStringList({u"Settings Not Read"_s, u"Settings Not Saved"_s, u"Settings Not Saved"_s}));
        QCOMPARE(rig.prompt.texts().value(0),
                 u"The settings could not be read from\r%1\r%2  The defaults are used."_s.arg(file, why));
        QCOMPARE(rig.prompt.texts().value(1), notSaved(why));
        QCOMPARE(rig.prompt.texts().value(2), notSaved(why));
        QCOMPARE(rig.prompt.boxes.value(2).buttons, pf::MbOk);
        // The defaults: the splash was shown ("Splash Screen=False" is not read).
        QCOMPARE(rig.prompt.modals, QStringList{u"frmSplash"_s});
        QVERIFY(!w.Check2->isChecked());  // as clicked
        QCOMPARE(w.Text1[0]->text(), u"D:\\"_s);
        QVERIFY(w.Command10->isEnabled());
        QCOMPARE(rig.shared.imageFolder, u"C:\\"_s);
        QVERIFY2(!QFileInfo(file).isFile(), "a file took the place of what was there");
    }

    void unwritable_data()
    {
        QTest::addColumn<bool>("readOnlyFolder");
        QTest::newRow("settings folder is a file") << false;
        QTest::newRow("settings folder is read-only") << true;
    }

    void unwritable()
    {
        QFETCH(bool, readOnlyFolder);
        QJsonObject out;
        QString folder = settingsFolder(), why;
        if (!readOnlyFolder) {
            // Nothing can be read: the splash shows, and start-up stores its
            // tick again, which fails unsaid.
            QVERIFY(QDir(folder).removeRecursively());
            writeFile(folder, "a file, not a folder");
            Rig rig;
            out = saveWithStoreUnwritable(rig);
            why = u"%1 is not a folder."_s.arg(folder);
        } else {
            const QString program = QCoreApplication::applicationFilePath();
            const std::optional<QStringList> command = asOtherUser(program);
            if (!command)
                QSKIP("running as root, and setpriv is not there to run as another user");
            QTemporaryDir config;
            folder = config.filePath(u"Pixferry"_s);
            QVERIFY(QDir().mkpath(folder));
            {
                QSettings stored(folder + u"/Pixferry.conf"_s, QSettings::IniFormat);
                stored.setValue(u"Settings/Splash Screen"_s, u"False"_s);
                stored.setValue(u"Settings/Image Folder"_s, u"C:\\"_s);
            }
            QVERIFY(::chmod(QFile::encodeName(config.path()).constData(), 0755) == 0);
            if (::geteuid() == 0)
                for (const QString &p : {config.path(), folder, folder + u"/Pixferry.conf"_s})
                    QVERIFY(::chown(QFile::encodeName(p).constData(), 65534, 65534) == 0);
            QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0555) == 0);

            QProcess run;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(u"XDG_CONFIG_HOME"_s, config.path());
            env.insert(u"HOME"_s, config.path());
            env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
            run.setProcessEnvironment(env);
            run.start(command->first(), command->mid(1) << QString::fromLatin1(kChildArgument));
            const bool finished = run.waitForFinished(30000);
            if (!finished)
                run.kill();
            QVERIFY2(finished, "the program saving to a read-only folder did not finish");
            const QByteArray errors = run.readAllStandardError();
            if (run.exitCode() != 0 && errors.contains("setpriv"))
                QSKIP(qPrintable(u"cannot run as another user here: "_s + QString::fromLocal8Bit(errors)));
            QCOMPARE(run.exitCode(), 0);
            out = QJsonDocument::fromJson(run.readAllStandardOutput()).object();
            QVERIFY2(!out.isEmpty(), errors.constData());
            why = u"Its folder %1 cannot be written to: permission denied."_s.arg(folder);
            ::chmod(QFile::encodeName(folder).constData(), 0755);
        }
        const QString message = u"The settings could not be saved to\r%1/Pixferry.conf\r%2"_s.arg(folder, why);
        const QJsonArray boxes = out[u"boxes"_s].toArray();
        QStringList titles, texts;
        for (const QJsonValue &b : boxes) {
            titles << b[0].toString();
            texts << b[1].toString();
        }
        // Start-up only stores again what it read: nothing to tell.
        QCOMPARE(out[u"startupBoxes"_s].toInt(), 0);
        // Save Changes, Yes to "Save Changes?" on leaving the tab, the splash tick.
        QCOMPARE(titles, QStringList({u"Settings Not Saved"_s, u"Corvanta"_s, u"Settings Not Saved"_s,
                                      u"Settings Not Saved"_s}));
        QCOMPARE(texts.value(0), message);
        QCOMPARE(texts.value(1), u"Save Changes?"_s);
        QCOMPARE(texts.value(2), message);
        QCOMPARE(texts.value(3), message);
        // The edit stays pending, as typed; the copy keeps its folder.
        QVERIFY(out[u"saveEnabled"_s].toBool());
        QVERIFY(out[u"undoEnabled"_s].toBool());
        QCOMPARE(out[u"typed"_s].toString(), u"C:\\New\\"_s);
        QCOMPARE(out[u"imageFolder"_s].toString(), u"C:\\"_s);
        QCOMPARE(out[u"tabAfterLeaving"_s].toInt(), 1);
        // What was not stored is not read back as if it were.
        QCOMPARE(out[u"afterUndo"_s].toString(), u"C:\\"_s);
        QVERIFY(out[u"tickKept"_s].toBool());
    }
};

int main(int argc, char **argv)
{
    if (argc == 2 && qstrcmp(argv[1], kChildArgument) == 0)
        return child(argc, argv);
    TestSettingsFaults test;
    return testkit::runTests(&test, argc, argv);
}

#include "test_settingsfaults.moc"
