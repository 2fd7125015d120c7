// The program on its own medium: a real FAT12 diskette image read at a
// diskette drive's speed (the slow-diskette tool: FUSE, the kernel's page
// cache kept, every read of the image slowed to the rate given). Copy Disk
// with the erase, Preview Disk with three selections, one clash dialog, and
// Copy Disk on a diskette with a bad sector (what could be read kept), each
// on a diskette fresh from the drive; for each, the window's worst
// stall (the longest gap between two turns of its event loop, seen by a
// timer that wants to run every millisecond), and for the copy and the erase
// their time against one read of the diskette's bytes.
//
// bench_diskette [--bps N] [--tool PATH] [--dir PATH]
// Needs fusefat, mtools and a C compiler (the tool says so); exits 1 when a
// target is missed, 0 with "skipped" when the diskette cannot be mounted.

#include "app/frmmain.h"
#include "app/program.h"
#include "platform/prompt.h"
#include "preview/frmpreviewdisk.h"
#include "transfer/frmduplicate.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

constexpr double kStallTargetMs = 50, kCopyTarget = 1.05, kEraseTarget = 0.05;

// The longest time the window's thread did not come round to a timer that
// wants to run every millisecond.
class StallMeter {
public:
    StallMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { beat(); });
    }
    void start()
    {
        m_worstNs = 0;
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    double stopMs()
    {
        beat();
        m_timer.stop();
        return m_worstNs / 1e6;
    }

private:
    void beat()
    {
        const qint64 now = m_clock.nsecsElapsed();
        m_worstNs = std::max(m_worstNs, now - m_last);
        m_last = now;
    }
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0, m_worstNs = 0;
};

// A diskette mounted by the tool, unmounted on the way out.
class Diskette {
public:
    Diskette(const QString &tool, const QString &mountPoint, int bps, const QStringList &files,
             const QStringList &options = {})
        : m_tool(tool), m_mount(mountPoint)
    {
        QProcess p;
        p.start(tool, QStringList{QStringLiteral("mount"), mountPoint, QStringLiteral("--bps"), QString::number(bps)}
                          + options + files);
        m_ok = p.waitForFinished(120000) && p.exitCode() == 0 && QDir(mountPoint).count() > 2;
        if (!m_ok)
            m_why = QString::fromLocal8Bit(p.readAllStandardError() + p.readAllStandardOutput()).trimmed();
    }
    ~Diskette()
    {
        // The kernel may hold the mount a moment longer than the last file.
        for (int i = 0; i < 50 && QProcess::execute(QStringLiteral("fusermount"), {QStringLiteral("-u"), m_mount}) != 0; ++i)
            QThread::msleep(100);
    }
    bool ok() const { return m_ok; }
    QString why() const { return m_why; }

private:
    QString m_tool, m_mount, m_why;
    bool m_ok = false;
};

// Answers Yes to the erase and Replace at a clash; notes when the erase was
// asked and when the closing box came.
class BenchPrompt : public pf::Prompt {
public:
    QElapsedTimer *clock = nullptr;
    qint64 eraseAskedNs = -1, closedNs = -1;
    std::function<void(QDialog &)> onModal;

    pf::MsgAnswer messageBox(const QString &text, pf::MsgButtons buttons, const QString &title) override
    {
        if (title == QLatin1String("Erase Source Diskette?")) {
            eraseAskedNs = clock->nsecsElapsed();
            return pf::AnsYes;
        }
        closedNs = clock->nsecsElapsed();
        if (text != QLatin1String("Operation completed."))
            std::printf("  box: %s: %s\n", qPrintable(title), qPrintable(QString(text).replace(QLatin1Char('\r'), QLatin1Char(' '))));
        if (buttons == pf::MbOkCancelKeep)
            return pf::AnsKeep;  // what could be read of a damaged file
        return buttons == pf::MbYesNo ? pf::AnsYes : pf::AnsOk;
    }
    void showModal(QDialog &dialog) override
    {
        if (onModal)
            onModal(dialog);
    }
};

// One program over A: (the diskette) and C: (the work folder).
struct Program {
    BenchPrompt prompt;
    pf::Services services;
    Module1 shared;
    frmMain window;

    Program(const QString &diskette, const QString &work)
        : services(std::make_unique<pf::FileSystem>(drives(diskette, work)), &prompt), window(services, shared)
    {
        window.Check1->setChecked(true);  // names kept: every picture is copied
        shared.imageFolder = QStringLiteral("C:\\pics\\");
        shared.videoFolder = QStringLiteral("C:\\clips\\");
        window.show();
        QApplication::processEvents();
    }
    static pf::DriveMap drives(const QString &diskette, const QString &work)
    {
        pf::DriveMap map;
        map.setDrive(QLatin1Char('A'), diskette);
        map.setDrive(QLatin1Char('C'), work);
        return map;
    }
};

// A photograph-like picture of about `kb` kilobytes.
void makePicture(const QString &path, int kb, int seed)
{
    QRandomGenerator rng(seed);
    QImage img(640, 480, QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            img.setPixel(x, y, qRgb((x + seed * 40) & 255, (y * 2) & 255, int(rng.bounded(96)) + 80));
    for (int q = 95; q > 10; q -= 5) {
        img.save(path, "JPG", q);
        if (QFileInfo(path).size() <= kb * 1024)
            break;
    }
}

bool waitFor(const std::function<bool()> &done, int ms = 60000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

double seconds(qint64 ns) { return ns / 1e9; }

}  // namespace

int main(int argc, char **argv)
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    pf::applyProgramLook(app);

    int bps = 40000;
    QString tool = QStringLiteral(PIXFERRY_SOURCE_DIR "/../shared/tools/slow-diskette"), dir = QStringLiteral("/tmp");
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); i += 2) {
        const QString k = args[i], v = args.value(i + 1);
        if (k == QLatin1String("--bps")) bps = v.toInt();
        else if (k == QLatin1String("--tool")) tool = v;
        else if (k == QLatin1String("--dir")) dir = v;
        else {
            std::fprintf(stderr, "usage: bench_diskette [--bps N] [--tool PATH] [--dir PATH]\n");
            return 1;
        }
    }

    QTemporaryDir root(dir + QStringLiteral("/pixferry-diskette-XXXXXX"));
    const QString files = root.path() + QStringLiteral("/files");
    int mounts = 0;  // each diskette fresh from the drive, at a mount point of its own
    auto nextMount = [&] { return root.path() + QStringLiteral("/a%1").arg(++mounts); };
    QString mount;
    const QString work = root.path() + QStringLiteral("/c");
    QDir().mkpath(files);
    QDir().mkpath(work);
    QStringList names;
    qint64 bytes = 0;
    for (int i = 0; i < 10; ++i) {
        const QString path = files + QStringLiteral("/PIC%1.JPG").arg(i, 2, 10, QLatin1Char('0'));
        makePicture(path, 95, i);
        names << path;
        bytes += QFileInfo(path).size();
    }
    {
        QFile clip(files + QStringLiteral("/CLIP.MPG"));
        if (!clip.open(QIODevice::WriteOnly))
            return 2;
        QByteArray b(150 * 1024, Qt::Uninitialized);
        for (char &c : b)
            c = char(QRandomGenerator::global()->bounded(256));
        clip.write(b);
        names << clip.fileName();
        bytes += b.size();
    }
    std::printf("diskette: 10 pictures and a clip, %lld bytes, read at %d bytes a second\n", bytes, bps);

    bool missed = false;
    auto verdict = [&](const char *what, double value, double target, const char *unit) {
        const bool met = value <= target;
        missed = missed || !met;
        std::printf("  %-34s %8.3f %s  (target %.3f %s, %s)\n", what, value, unit, target, unit, met ? "met" : "MISSED");
    };

    // One read of the diskette's bytes, as `cat` makes it, on a fresh diskette.
    double oneRead = 0;
    {
        mount = nextMount();
        Diskette d(tool, mount, bps, names);
        if (!d.ok()) {
            std::printf("skipped: the diskette could not be mounted (%s)\n", qPrintable(d.why()));
            return 0;
        }
        QElapsedTimer t;
        t.start();
        for (const QString &n : QDir(mount).entryList(QDir::Files)) {
            QFile f(mount + QLatin1Char('/') + n);
            if (f.open(QIODevice::ReadOnly))
                while (!f.read(1 << 16).isEmpty()) {
                }
        }
        oneRead = seconds(t.nsecsElapsed());
        std::printf("one read of the bytes: %.2f s\n", oneRead);
    }

    StallMeter stall;
    // Copy Disk and the erase.
    {
        mount = nextMount();
        Diskette d(tool, mount, bps, names);
        Program p(mount, work);
        QElapsedTimer clock;
        p.prompt.clock = &clock;
        stall.start();
        clock.start();
        p.window.Command1_Click();
        const double worst = stall.stopMs();
        const double copy = seconds(p.prompt.eraseAskedNs), erase = seconds(p.prompt.closedNs - p.prompt.eraseAskedNs);
        std::printf("Copy Disk with the erase: copy %.2f s, erase %.2f s, %d files left on the diskette\n", copy, erase,
                    int(QDir(mount).entryList(QDir::Files).size()));
        verdict("window's worst stall", worst, kStallTargetMs, "ms");
        verdict("copy against one read", copy / oneRead, kCopyTarget, "x");
        verdict("erase against one read", erase / oneRead, kEraseTarget, "x");
    }

    // Preview Disk: opened, three selections each waited for, closed.
    {
        mount = nextMount();
        Diskette d(tool, mount, bps, names);
        Program p(mount, work);
        QElapsedTimer clock;
        p.prompt.clock = &clock;
        bool allShown = true;
        p.prompt.onModal = [&](QDialog &dialog) {
            auto *preview = qobject_cast<frmPreviewDisk *>(&dialog);
            if (!preview)
                return;
            preview->show();
            for (int row : {3, 6, 9}) {
                preview->File4->setCurrentRow(row);
                allShown = waitFor([preview] { return !preview->decoding(); }) && allShown;
            }
            preview->close();
        };
        stall.start();
        clock.start();
        p.window.Command15_Click();
        const double worst = stall.stopMs();
        std::printf("Preview Disk, three selections: %.2f s%s\n", seconds(clock.nsecsElapsed()),
                    allShown ? "" : " (a picture did not come within 60 s)");
        verdict("window's worst stall", worst, kStallTargetMs, "ms");
    }

    // The clash dialog over a picture of the diskette and one in the image folder.
    {
        mount = nextMount();
        Diskette d(tool, mount, bps, names);
        Program p(mount, work);
        p.shared.srcFile = QStringLiteral("a:\\PIC05.JPG");
        p.shared.newName = QStringLiteral("PIC05.JPG");
        p.shared.destFile = QStringLiteral("C:\\pics\\existing.jpg");
        makePicture(work + QStringLiteral("/pics/existing.jpg"), 95, 77);
        stall.start();
        QElapsedTimer clock;
        clock.start();
        auto *dialog = new frmDuplicate(p.services, p.shared, &p.window);
        dialog->show();
        const double opened = clock.nsecsElapsed() / 1e6;
        const bool read = waitFor([dialog] { return !dialog->reading(); });
        const double shown = seconds(clock.nsecsElapsed());
        const bool pictures = !dialog->Image1->pixmap().isNull() && !dialog->Image3->pixmap().isNull();
        dialog->close();
        delete dialog;
        const double worst = stall.stopMs();
        std::printf("clash dialog: open in %.1f ms, both pictures in %.2f s%s\n", opened, shown,
                    read && pictures ? "" : " (a picture is missing)");
        verdict("window's worst stall", worst, kStallTargetMs, "ms");
        missed = missed || !read || !pictures;
    }
    // A damaged diskette: a sector in the middle of one picture cannot be
    // read. Copy Disk tries it again, then keeps what could be read on request.
    {
        mount = nextMount();
        QStringList bad;
        {
            Diskette probe(tool, mount, bps, names);
            QProcess where;
            where.start(tool, {QStringLiteral("where"), mount, files + QStringLiteral("/PIC05.JPG")});
            where.waitForFinished();
            bad = QString::fromLatin1(where.readAllStandardOutput()).trimmed().split(QLatin1Char('-'));
        }
        const qint64 middle = (bad.value(0).toLongLong() + bad.value(1).toLongLong()) / 2 / 512 * 512;
        const QString range = QStringLiteral("%1-%2").arg(middle).arg(middle + 512);
        mount = nextMount();
        Diskette d(tool, mount, bps, names, {QStringLiteral("--bad"), range});
        Program p(mount, work + QStringLiteral("/damaged"));
        QDir().mkpath(work + QStringLiteral("/damaged"));
        QElapsedTimer clock;
        p.prompt.clock = &clock;
        stall.start();
        clock.start();
        p.window.Command1_Click();
        const double worst = stall.stopMs();
        const QStringList kept = QDir(work + QStringLiteral("/damaged/pics")).entryList({QStringLiteral("*_damaged*")});
        std::printf("a damaged diskette (bad bytes %s of the image, in PIC05.JPG): Copy Disk %.2f s, kept %s, "
                    "%d files left on the diskette\n",
                    qPrintable(range), seconds(clock.nsecsElapsed()), qPrintable(kept.join(QLatin1Char(' '))),
                    int(QDir(mount).entryList(QDir::Files).size()));
        verdict("window's worst stall", worst, kStallTargetMs, "ms");
        missed = missed || kept.isEmpty();
    }
    QThreadPool::globalInstance()->waitForDone();
    return missed ? 1 : 0;
}
