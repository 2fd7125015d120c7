// Preview Disk under load. The window's thread is timed event by event: how
// long a selection holds it up, how soon its picture is painted (the camera's
// thumbnail first, then the decoded picture), beside a full-size decode of
// the same file; the arrow key held through fifty large pictures (how far
// the list falls behind, and the memory that takes); the viewer opened on a
// picture. First, hostile pictures (a few kilobytes claiming 20000 x 20000
// pixels, or a thousand scans): how soon Preview Disk and the clash dialog
// refuse each, and the memory that takes.
//
// Run: bench_preview [rounds]   (offscreen unless QT_QPA_PLATFORM says else)

#include "app/frmmain.h"
#include "app/program.h"
#include "bench/windowtiming.h"
#include "platform/picture.h"
#include "preview/frmpreview.h"
#include "preview/frmpreviewdisk.h"
#include "settings/store.h"
#include "tests/support/hostilejpeg.h"
#include "transfer/frmduplicate.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QKeyEvent>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>

#include <unistd.h>

namespace {

// The targets hold on the development machine, where a full-size decode of
// the large picture takes this long. Elsewhere, or under load, each is
// checked as the same fraction of the full decode measured in the run.
constexpr double kReferenceFullMs = 200;

// A picture with the fine detail of a photograph: gradients under noise, so
// that the file is as large and as slow to decode as a camera's (a
// 6000 x 4000 one is about 12.5 MB).
QImage photo(int width, int height, quint32 seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    quint32 state = seed;
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int n = int(state >> 26) - 32;
            line[x] = qRgb(qBound(0, x * 255 / width + n, 255), qBound(0, y * 255 / height + n, 255),
                           qBound(0, ((x + y + int(seed)) % 512) / 2 + n, 255));
        }
    }
    return image;
}

QByteArray jpeg(const QImage &image, int quality, bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(image))
        qFatal("cannot encode a picture");
    return bytes;
}

// The same picture with the thumbnail a camera puts in its EXIF block.
QByteArray withThumbnail(const QByteArray &picture, const QImage &image)
{
    const QImage small = image.scaled(160, 120, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return hostile::withExif(picture, {.orientation = 1, .thumbnail = jpeg(small, 85)});
}

void write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

long residentKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}


// A picture made to hurt, as it lies on the diskette.
struct Hostile {
    Hostile(QString n, const char *w, QByteArray b) : name(std::move(n)), what(w), bytes(std::move(b)) {}
    QString name;
    const char *what;
    QByteArray bytes;
    QList<double> preview, dialog;       // ms to refuse it
    double previewMb = 0, dialogMb = 0;  // peak memory above the idle program
};

QList<Hostile> hostilePictures()
{
    const QSize huge(20000, 20000);
    const QByteArray colour = hostile::jpeg(hostile::detailed(64, 48));
    // Qt cannot write CMYK: the tables and components of the test's CMYK picture.
    QFile cmyk(QStringLiteral(PIXFERRY_SOURCE_DIR "/tests/data/cmyk.jpg"));
    if (!cmyk.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(cmyk.fileName()));
    const QByteArray cmykBase = cmyk.readAll();
    return {
        {QStringLiteral("1_scans.jpg"), "progressive, 1,200 scans, 20000 x 20000 claimed",
         hostile::progressiveScans(colour, huge, 1200, QByteArray(1150, '\x5a'))},
        {QStringLiteral("2_cmyk.jpg"), "progressive CMYK, 20000 x 20000 claimed",
         hostile::progressiveScans(cmykBase, huge, 3)},
        {QStringLiteral("3_colour.jpg"), "progressive colour, 20000 x 20000 claimed",
         hostile::withFrameSize(hostile::jpeg(hostile::detailed(64, 48), true), huge)},
    };
}

bool check(const QByteArray &what, bool ok)
{
    std::printf("  %-66s %s\n", what.constData(), ok ? "ok" : "MISSED");
    return ok;
}

}  // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir tmp;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(tmp.path()));
    TimedApp app(argc, argv);
    pf::applyProgramLook(app);
    const int rounds = argc > 1 ? qMax(1, atoi(argv[1])) : 9;
    // Wakes the waits now and then, whatever happens.
    QTimer wake;
    wake.start(50);

    // The diskettes: large pictures without and with a thumbnail, small ones;
    // fifty large ones (links to the same four files); a progressive one.
    const auto folder = [&tmp](const char *name) {
        const QString path = tmp.path() + QLatin1Char('/') + QLatin1String(name);
        QDir().mkpath(path);
        return path;
    };
    const QString mixed = folder("mixed"), held = folder("held"), progressive = folder("progressive");
    folder("c");
    std::printf("writing the pictures...\n");
    const QStringList rows{QStringLiteral("0_plain.jpg"), QStringLiteral("1_thumb.jpg"), QStringLiteral("2_plain.jpg"),
                           QStringLiteral("3_thumb.jpg"), QStringLiteral("4_small.jpg"), QStringLiteral("5_small.jpg")};
    for (quint32 seed : {1u, 2u}) {  // the large ones, then gone from memory
        const QImage large = photo(6000, 4000, seed);
        const QByteArray plain = jpeg(large, 92);
        write(mixed + QLatin1Char('/') + rows[seed == 1 ? 0 : 2], plain);
        write(mixed + QLatin1Char('/') + rows[seed == 1 ? 3 : 1], withThumbnail(plain, large));
        if (seed == 1)
            write(progressive + QStringLiteral("/1.jpg"), jpeg(large, 92, true));
    }
    write(mixed + QStringLiteral("/4_small.jpg"), jpeg(photo(640, 480, 3), 92));
    write(mixed + QStringLiteral("/5_small.jpg"), jpeg(photo(640, 480, 4), 92));
    for (int i = 0; i < 50; ++i) {
        const QByteArray from = QFile::encodeName(mixed + QLatin1Char('/') + rows[i % 4]);
        const QByteArray to = QFile::encodeName(held + QStringLiteral("/p%1.jpg").arg(i, 2, 10, QLatin1Char('0')));
        if (::link(from.constData(), to.constData()) != 0)
            qFatal("cannot link %s", to.constData());
    }
    std::printf("large picture: 6000 x 4000, %lld bytes\n", QFile(mixed + QStringLiteral("/0_plain.jpg")).size());

    {
        QSettings s;
        s.setValue(settings::kSection + QLatin1Char('/') + settings::kSplashScreen, QStringLiteral("False"));
        s.setValue(settings::kSection + QLatin1Char('/') + settings::kImageFolder, QStringLiteral("C:\\"));
        s.setValue(settings::kSection + QLatin1Char('/') + settings::kVideoFolder, QStringLiteral("C:\\"));
    }
    pf::DriveMap drives;
    drives.setDrive(QLatin1Char('A'), mixed);
    drives.setDrive(QLatin1Char('C'), tmp.path() + QStringLiteral("/c"));
    BenchPrompt prompt;
    pf::Services services(std::make_unique<pf::FileSystem>(drives), &prompt);
    Module1 shared;
    frmMain main(services, shared);
    main.Form_Load();
    main.show();
    app.processEvents();
    // Each Preview Disk window: shown, its first picture in, then the script.
    const auto onPreview = [&](std::function<void(frmPreviewDisk &)> script) {
        prompt.onModal = [&app, script](QDialog &d) {
            if (auto *w = qobject_cast<frmPreviewDisk *>(&d)) {
                app.box = w->Image1;
                w->show();
                if (waitFor([w] { return hasPicture(*w) && idle(*w); }))
                    script(*w);
                app.box = nullptr;
            }
            d.close();
        };
    };

    // Hostile pictures first: how soon each is refused by Preview Disk (the
    // arrow key onto it, to the refusal) and by the clash dialog (the hostile
    // picture coming in: built, shown and painted), and the peak memory above
    // the program just before.
    QList<Hostile> hostiles = hostilePictures();
    const QString hostileDir = folder("hostile");
    write(hostileDir + QStringLiteral("/0_good.jpg"), jpeg(photo(640, 480, 6), 90));
    for (const Hostile &h : hostiles)
        write(hostileDir + QLatin1Char('/') + h.name, h.bytes);
    services.fs->drives().setDrive(QLatin1Char('A'), hostileDir);
    bool allRefused = true;
    onPreview([&](frmPreviewDisk &w) {
        for (int i = 0; i < hostiles.size(); ++i) {
            Hostile &h = hostiles[i];
            for (int r = 0; r < rounds; ++r) {
                w.File4->setCurrentRow(0);  // the good picture
                w.File4->setCurrentRow(i);
                waitFor([&] { return hasPicture(w) && idle(w); });
                const qint64 before = w.Image1->picture().cacheKey();
                hostile::resetPeakResident();
                const long idleKb = residentKb();
                QElapsedTimer t;
                t.start();
                key(w.File4, Qt::Key_Down);
                const bool came = waitFor([&] { return hasPicture(w); });
                h.preview << ms(t.nsecsElapsed());
                h.previewMb = std::max(h.previewMb, (hostile::peakResidentKb() - idleKb) / 1024.0);
                if (!came || w.listIndex() != i + 1 || w.Image1->picture().cacheKey() != before) {
                    std::printf("Preview Disk did not refuse %s\n", qPrintable(h.name));
                    allRefused = false;
                }
            }
        }
    });
    pressF2(main);
    for (Hostile &h : hostiles) {
        for (int r = 0; r < rounds; ++r) {
            shared.srcFile = QStringLiteral("a:\\") + h.name;
            shared.newName = QStringLiteral("0_good.jpg");
            shared.destFile = QStringLiteral("a:\\0_good.jpg");
            hostile::resetPeakResident();
            const long idleKb = residentKb();
            QElapsedTimer t;
            t.start();
            frmDuplicate dialog(services, shared, &main);
            dialog.show();
            while (dialog.reading())
                app.processEvents(QEventLoop::AllEvents, 5);
            dialog.repaint();
            h.dialog << ms(t.nsecsElapsed());
            h.dialogMb = std::max(h.dialogMb, (hostile::peakResidentKb() - idleKb) / 1024.0);
            if (!dialog.Image1->pixmap().isNull() || dialog.Image3->pixmap().isNull()) {
                std::printf("the clash dialog did not refuse %s\n", qPrintable(h.name));
                allRefused = false;
            }
            dialog.close();
        }
    }
    std::printf("hostile pictures, refused (medians of %d; peak memory above the program before):\n", rounds);
    for (const Hostile &h : hostiles)
        std::printf("  %-48s %7lld bytes: Preview Disk %.2f ms, %.1f MB; clash dialog %.2f ms, %.1f MB\n", h.what,
                    (long long)h.bytes.size(), median(h.preview), h.previewMb, median(h.dialog), h.dialogMb);

    // The arrow key held through fifty large pictures, half of them with a
    // thumbnail: a key every 33 ms from another thread, as the window system
    // repeats a key, whatever the window's thread is doing.
    services.fs->drives().setDrive(QLatin1Char('A'), held);
    int maxLag = -1, handled = 0, reached = -1;
    double aboveIdleMb = -1;
    long idleKb = 0;
    onPreview([&](frmPreviewDisk &w) {
        std::atomic<int> posted{0};
        struct Counter : QObject {
            std::function<void()> onKey;
            bool eventFilter(QObject *, QEvent *e) override
            {
                if (e->type() == QEvent::KeyPress)
                    onKey();
                return false;
            }
        } counter;
        counter.onKey = [&] { maxLag = std::max(maxLag, posted.load() - ++handled); };
        w.File4->installEventFilter(&counter);
        w.File4->setCurrentRow(0);
        waitFor([&] { return hasPicture(w) && idle(w); });
        const int keys = w.File4->count() - 1;
        std::thread repeat([&] {
            for (int i = 0; i < keys; ++i) {
                ++posted;
                QCoreApplication::postEvent(w.File4, new QKeyEvent(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier));
                QCoreApplication::postEvent(w.File4, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier));
                std::this_thread::sleep_for(std::chrono::milliseconds(33));
            }
        });
        waitFor([&] { return handled == keys; });
        repeat.join();
        waitFor([&] { return hasPicture(w) && idle(w); });
        aboveIdleMb = (hostile::peakResidentKb() - idleKb) / 1024.0;
        reached = w.listIndex();
        w.File4->removeEventFilter(&counter);
    });
    // Above the program before Preview Disk opened.
    hostile::resetPeakResident();
    idleKb = residentKb();
    hostile::resetPeakResident();
    pressF2(main);
    std::printf("key held through %d large pictures: at most %d behind, %.1f MB above idle at the peak\n", handled + 1,
                maxLag, aboveIdleMb);

    // For comparison, not a target: a progressive picture of the same size
    // needs all its coefficients in memory, whatever the size it is shown at.
    services.fs->drives().setDrive(QLatin1Char('A'), progressive);
    long progressiveKb = 0;
    onPreview([&](frmPreviewDisk &) { progressiveKb += hostile::peakResidentKb(); });
    hostile::resetPeakResident();
    progressiveKb = -residentKb();
    main.Command15->click();
    std::printf("memory: a progressive 6000 x 4000 picture shown: %.1f MB above idle (not a target)\n",
                progressiveKb / 1024.0);

    // Speed. At a reading pace (the picture shown, the worker idle), the
    // arrow key down the list: a large picture with a thumbnail, one without,
    // one with, two small ones; the viewer opened on each. Then jumps to
    // entries not decoded ahead (a click further down the list), without and
    // with a thumbnail, and the viewer opened at once on the thumbnail.
    services.fs->drives().setDrive(QLatin1Char('A'), mixed);
    Figures plain, thumb, small, jumpPlain, jumpThumb;
    QList<double> fullLarge, fullSmall, viewerDecoding;
    QElapsedTimer viewerClock;
    bool stepsRight = true;
    double *viewerTime = nullptr;
    prompt.onModal = [&](QDialog &d) {
        if (auto *viewer = qobject_cast<frmPreview *>(&d)) {
            // Shown and painted, as the user sees it.
            viewer->show();
            app.processEvents();
            viewer->repaint();
            if (viewerTime)
                *viewerTime = ms(viewerClock.nsecsElapsed());
            viewer->close();
            return;
        }
        auto *w = qobject_cast<frmPreviewDisk *>(&d);
        if (!w)
            return;
        app.box = w->Image1;
        w->show();
        waitFor([w] { return hasPicture(*w) && idle(*w); });
        const auto settle = [w] { waitFor([w] { return hasPicture(*w) && idle(*w); }); };
        const auto openViewer = [&](QList<double> &into) {
            double t = -1;
            viewerTime = &t;
            viewerClock.start();
            click(w->Image1);
            viewerTime = nullptr;
            into << t;
        };
        for (int r = 0; r < rounds; ++r) {
            w->File4->setCurrentRow(0);
            settle();
            for (int row = 1; row < rows.size(); ++row) {
                Figures &f = row == 2 ? plain : row < 4 ? thumb : small;
                f.add(measure(app, *w, [w] { key(w->File4, Qt::Key_Down); }));
                stepsRight &= w->listIndex() == row;
                settle();
                openViewer(f.viewer);
            }
            w->File4->setCurrentRow(4);
            settle();
            jumpPlain.add(measure(app, *w, [w] { w->File4->setCurrentRow(2); }));
            w->File4->setCurrentRow(5);
            settle();
            jumpThumb.add(measure(app, *w, [w] { w->File4->setCurrentRow(3); }));
            w->File4->setCurrentRow(5);
            settle();
            // The viewer as soon as the thumbnail is painted.
            const qint64 before = w->Image1->picture().cacheKey();
            app.startStep();
            w->File4->setCurrentRow(1);
            waitFor([&] { return !app.paints.isEmpty() && app.paints.last().key != 0 && app.paints.last().key != before; });
            openViewer(viewerDecoding);
            settle();
            // The same loader without a shown size: the whole picture.
            for (const QString &name : {rows[r % 2 * 2], rows[4 + r % 2]}) {
                QElapsedTimer t;
                t.start();
                const pf::Result<pf::Picture> whole = pf::loadPicture(mixed + QLatin1Char('/') + name);
                (name.contains(QLatin1String("small")) ? fullSmall : fullLarge) << ms(t.nsecsElapsed());
                if (!whole || whole->image.size() != whole->natural)
                    std::printf("full decode failed\n");
            }
        }
        app.box = nullptr;
        w->close();
    };
    pressF2(main);

    const double full = median(fullLarge), scale = full / kReferenceFullMs;
    std::printf("full-size decode: 6000 x 4000 %.1f ms, 640 x 480 %.2f ms (medians of %lld); targets stretched x %.2f\n",
                full, median(fullSmall), (long long)fullLarge.size(), scale);
    const auto report = [full](const char *name, const Figures &f) {
        std::printf("%-44s blocked %6.2f ms, first painted %6.2f ms, decoded painted %6.2f ms (%.2f of a full decode)",
                    name, median(f.blocked), median(f.first), median(f.decoded), median(f.decoded) / full);
        if (!f.viewer.isEmpty())
            std::printf(", viewer %.2f ms", median(f.viewer));
        std::printf("\n");
    };
    report("arrow key, 6000 x 4000 with a thumbnail:", thumb);
    report("arrow key, 6000 x 4000 without:", plain);
    report("arrow key, 640 x 480:", small);
    report("jump, 6000 x 4000 with a thumbnail:", jumpThumb);
    report("jump, 6000 x 4000 without:", jumpPlain);
    std::printf("viewer opened on the thumbnail, the picture still decoding: %.2f ms\n", median(viewerDecoding));

    const auto within = [scale](const QList<double> &v, double targetMs) {
        const double m = median(v);
        return m >= 0 && m <= targetMs * scale;
    };
    bool ok = prompt.boxes == 0 && allRefused && stepsRight;
    for (const Hostile &h : hostiles) {
        const QByteArray what = QByteArray("hostile: ") + h.what;
        ok &= check(what + ", refused within 200 ms by Preview Disk", median(h.preview) < 200);
        ok &= check(what + ", and by the clash dialog", median(h.dialog) < 200);
        ok &= check(what + ", under 64 MB", std::max(h.previewMb, h.dialogMb) < 64);
    }
    ok &= check("blocked at most 15 ms, 6000 x 4000 with a thumbnail, arrow key", within(thumb.blocked, 15));
    ok &= check("blocked at most 15 ms, 6000 x 4000 with a thumbnail, jump", within(jumpThumb.blocked, 15));
    ok &= check("blocked at most 15 ms, 6000 x 4000 without, arrow key", within(plain.blocked, 15));
    ok &= check("blocked at most 15 ms, 6000 x 4000 without, jump", within(jumpPlain.blocked, 15));
    ok &= check("with a thumbnail painted within 15 ms, arrow key", within(thumb.first, 15));
    ok &= check("with a thumbnail painted within 15 ms, jump", within(jumpThumb.first, 15));
    ok &= check("without, decoded picture painted within 100 ms, arrow key", within(plain.decoded, 100));
    ok &= check("640 x 480 painted within 5 ms", within(small.decoded, 5));
    ok &= check("viewer within 15 ms, also while the picture is decoded",
                within(thumb.viewer, 15) && within(plain.viewer, 15) && within(viewerDecoding, 15));
    ok &= check("key held through 50: never more than one entry behind", handled == 49 && reached == 49 && maxLag <= 1);
    ok &= check("key held through 50: under 60 MB above idle", aboveIdleMb >= 0 && aboveIdleMb < 60);
    return ok ? 0 : 1;
}
