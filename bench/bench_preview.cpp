// Preview Disk under load: how fast a selected picture shows and the viewer
// opens, beside a full-size decode of the same file, and how much memory
// stepping through a diskette of large pictures takes. First, hostile
// pictures (a few kilobytes claiming 20000 x 20000 pixels, or a thousand
// scans): how soon Preview Disk and the clash dialog refuse each, and the
// memory that takes.
//
// Run: bench_preview [rounds]   (offscreen unless QT_QPA_PLATFORM says else)

#include "app/frmmain.h"
#include "app/program.h"
#include "platform/picture.h"
#include "preview/frmpreview.h"
#include "preview/frmpreviewdisk.h"
#include "settings/store.h"
#include "tests/support/hostilejpeg.h"
#include "transfer/frmduplicate.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

// A picture with the fine detail of a photograph: gradients under noise, so
// that the file is as large and as slow to decode as a camera's.
void writePhoto(const QString &path, int width, int height, quint32 seed, bool progressive = false)
{
    QImage image(width, height, QImage::Format_RGB32);
    quint32 state = seed;
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int n = int(state >> 27) - 16;
            line[x] = qRgb(qBound(0, x * 255 / width + n, 255), qBound(0, y * 255 / height + n, 255),
                           qBound(0, ((x + y + int(seed)) % 512) / 2 + n, 255));
        }
    }
    QImageWriter writer(path, "jpeg");
    writer.setQuality(90);
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(image))
        qFatal("cannot write %s", qPrintable(path));
}

// Resident memory of this process in kB: now, and the peak since the last reset.
long statusKb(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLong();
    return -1;
}

void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

class BenchPrompt : public pf::Prompt {
public:
    std::function<void(QDialog &)> onModal;
    int boxes = 0;
    pf::MsgAnswer messageBox(const QString &text, pf::MsgButtons, const QString &title) override
    {
        ++boxes;
        std::printf("unexpected message box %s: %s\n", qPrintable(title), qPrintable(text));
        return pf::AnsCancel;
    }
    using pf::Prompt::messageBox;
    void showModal(QDialog &dialog) override
    {
        if (onModal)
            onModal(dialog);
    }
};

double ms(qint64 ns) { return double(ns) / 1e6; }

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[v.size() / 2];
}

void key(QWidget *w, int k)
{
    QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, k, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

// F2 as the window system delivers it: to the control with the focus.
void pressF2(QWidget &main)
{
    QWidget *focus = QApplication::focusWidget();
    key(focus ? focus : &main, Qt::Key_F2);
}

void click(QWidget *w)
{
    const QPointF at(w->width() / 2.0, w->height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

struct Figures {
    QList<double> select, viewer, full;
};

// A picture made to hurt, as it lies on the diskette.
struct Hostile {
    Hostile(QString n, const char *w, QByteArray b) : name(std::move(n)), what(w), bytes(std::move(b)) {}
    QString name;
    const char *what;
    QByteArray bytes;
    QList<double> preview, dialog;  // ms to refuse it
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
    std::printf("  %-58s %s\n", what.constData(), ok ? "ok" : "MISSED");
    return ok;
}

}  // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir tmp;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(tmp.path()));
    QApplication app(argc, argv);
    pf::applyProgramLook(app);
    const int rounds = argc > 1 ? qMax(1, atoi(argv[1])) : 9;

    // Two diskettes: eight 6000 x 4000 pictures, and two large beside two small.
    const QString big = tmp.path() + QStringLiteral("/big"), mixed = tmp.path() + QStringLiteral("/mixed");
    QDir().mkpath(big);
    QDir().mkpath(mixed);
    QDir().mkpath(tmp.path() + QStringLiteral("/c"));
    std::printf("writing the pictures...\n");
    writePhoto(mixed + QStringLiteral("/1_large.jpg"), 6000, 4000, 1);
    writePhoto(mixed + QStringLiteral("/2_large.jpg"), 6000, 4000, 2);
    writePhoto(mixed + QStringLiteral("/3_small.jpg"), 640, 480, 3);
    writePhoto(mixed + QStringLiteral("/4_small.jpg"), 640, 480, 4);
    for (int i = 0; i < 8; ++i)
        QFile::copy(mixed + QStringLiteral("/%1_large.jpg").arg(1 + i % 2), big + QStringLiteral("/p%1.jpg").arg(i));
    const QString progressive = tmp.path() + QStringLiteral("/progressive");
    QDir().mkpath(progressive);
    writePhoto(progressive + QStringLiteral("/1.jpg"), 6000, 4000, 5, true);
    std::printf("large picture: 6000 x 4000, %lld bytes\n", QFile(mixed + QStringLiteral("/1_large.jpg")).size());

    {
        QSettings s;
        s.setValue(settings::kSection + QLatin1Char('/') + settings::kSplashScreen, QStringLiteral("False"));
        s.setValue(settings::kSection + QLatin1Char('/') + settings::kImageFolder, QStringLiteral("C:\\"));
        s.setValue(settings::kSection + QLatin1Char('/') + settings::kVideoFolder, QStringLiteral("C:\\"));
    }
    pf::DriveMap drives;
    drives.setDrive(QLatin1Char('A'), big);
    drives.setDrive(QLatin1Char('C'), tmp.path() + QStringLiteral("/c"));
    BenchPrompt prompt;
    pf::Services services(std::make_unique<pf::FileSystem>(drives), &prompt);
    Module1 shared;
    frmMain main(services, shared);
    main.Form_Load();
    main.show();
    app.processEvents();

    // Hostile pictures first: how soon each is refused by Preview Disk (the
    // arrow key onto it, to painted) and by the clash dialog (the hostile
    // picture coming in: built, shown and painted), and the peak memory above
    // the program just before.
    QList<Hostile> hostiles = hostilePictures();
    const QString hostileDir = tmp.path() + QStringLiteral("/hostile");
    QDir().mkpath(hostileDir);
    writePhoto(hostileDir + QStringLiteral("/0_good.jpg"), 640, 480, 6);
    for (const Hostile &h : hostiles) {
        QFile f(hostileDir + QLatin1Char('/') + h.name);
        if (!f.open(QIODevice::WriteOnly) || f.write(h.bytes) != h.bytes.size())
            qFatal("cannot write %s", qPrintable(f.fileName()));
    }
    services.fs->drives().setDrive(QLatin1Char('A'), hostileDir);
    bool allRefused = true;
    prompt.onModal = [&](QDialog &d) {
        auto *w = qobject_cast<frmPreviewDisk *>(&d);
        if (!w)
            return;
        w->show();
        app.processEvents();
        for (int i = 0; i < hostiles.size(); ++i) {
            Hostile &h = hostiles[i];
            for (int r = 0; r < rounds; ++r) {
                w->File4->setCurrentRow(0);  // the good picture
                w->File4->setCurrentRow(i);
                app.processEvents();
                const qint64 before = w->Image1->picture().cacheKey();
                resetPeak();
                const long idle = statusKb("VmRSS:");
                QElapsedTimer t;
                t.start();
                key(w->File4, Qt::Key_Down);
                w->repaint();
                h.preview << ms(t.nsecsElapsed());
                h.previewMb = std::max(h.previewMb, (statusKb("VmHWM:") - idle) / 1024.0);
                if (w->listIndex() != i + 1 || w->Image1->picture().cacheKey() != before) {
                    std::printf("Preview Disk did not refuse %s\n", qPrintable(h.name));
                    allRefused = false;
                }
            }
        }
        w->close();
    };
    pressF2(main);
    for (Hostile &h : hostiles) {
        for (int r = 0; r < rounds; ++r) {
            shared.srcFile = QStringLiteral("a:\\") + h.name;
            shared.newName = QStringLiteral("0_good.jpg");
            shared.destFile = QStringLiteral("a:\\0_good.jpg");
            resetPeak();
            const long idle = statusKb("VmRSS:");
            QElapsedTimer t;
            t.start();
            frmDuplicate dialog(services, shared, &main);
            dialog.show();
            app.processEvents();
            dialog.repaint();
            h.dialog << ms(t.nsecsElapsed());
            h.dialogMb = std::max(h.dialogMb, (statusKb("VmHWM:") - idle) / 1024.0);
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
    services.fs->drives().setDrive(QLatin1Char('A'), big);

    // Memory: the arrow keys through the whole diskette of large pictures.
    long idleKb = 0, peakKb = 0;
    int stepped = 0;
    prompt.onModal = [&](QDialog &d) {
        auto *w = qobject_cast<frmPreviewDisk *>(&d);
        if (!w)
            return;
        w->show();
        app.processEvents();
        for (int i = 0; i < w->File4->count(); ++i) {
            key(w->File4, Qt::Key_Down);
            w->repaint();
            stepped += w->listIndex() == i;
        }
        peakKb = statusKb("VmHWM:");
        w->close();
    };
    resetPeak();
    idleKb = statusKb("VmRSS:");
    resetPeak();
    pressF2(main);
    const double aboveIdleMb = (peakKb - idleKb) / 1024.0;
    std::printf("memory: idle %.1f MB, peak %.1f MB while stepping through %d large pictures: %.1f MB above idle\n",
                idleKb / 1024.0, peakKb / 1024.0, stepped, aboveIdleMb);

    // For comparison, not a target: a progressive picture of the same size
    // needs all its coefficients in memory, whatever the size it is shown at.
    services.fs->drives().setDrive(QLatin1Char('A'), progressive);
    long progressiveKb = 0;
    prompt.onModal = [&](QDialog &d) {
        peakKb = statusKb("VmHWM:");
        d.close();
    };
    resetPeak();
    idleKb = statusKb("VmRSS:");
    resetPeak();
    main.Command15->click();
    progressiveKb = peakKb - idleKb;
    std::printf("memory: a progressive 6000 x 4000 picture shown: %.1f MB above idle (not a target)\n",
                progressiveKb / 1024.0);

    // Speed: large and small pictures selected in turn, the viewer opened on
    // each, and a full-size decode of the same file beside it.
    services.fs->drives().setDrive(QLatin1Char('A'), mixed);
    Figures large, small;
    prompt.onModal = [&](QDialog &d) {
        if (auto *viewer = qobject_cast<frmPreview *>(&d)) {
            // Shown and painted, as the user sees it.
            viewer->show();
            app.processEvents();
            viewer->repaint();
            viewer->close();
            return;
        }
        auto *w = qobject_cast<frmPreviewDisk *>(&d);
        if (!w)
            return;
        w->show();
        app.processEvents();
        QElapsedTimer t;
        for (int r = 0; r < rounds; ++r) {
            for (int row = 0; row < 4; ++row) {
                Figures &f = row < 2 ? large : small;
                const int from = row == 0 ? 1 : row - 1;
                w->File4->setCurrentRow(from);
                app.processEvents();

                t.start();
                key(w->File4, row == 0 ? Qt::Key_Up : Qt::Key_Down);
                w->repaint();
                f.select << ms(t.nsecsElapsed());
                if (w->listIndex() != row)
                    std::printf("selection went to %d, not %d\n", w->listIndex(), row);

                t.start();
                click(w->Image1);
                f.viewer << ms(t.nsecsElapsed());

                // The same loader without a shown size: the whole picture.
                t.start();
                const pf::Result<pf::Picture> whole =
                    pf::loadPicture(mixed + QLatin1Char('/') + w->File4->item(row)->text());
                f.full << ms(t.nsecsElapsed());
                if (!whole || whole->image.size() != whole->natural)
                    std::printf("full decode failed\n");
            }
        }
        w->close();
    };
    pressF2(main);

    auto report = [](const char *name, const Figures &f) {
        std::printf("%s: select %.1f ms, viewer %.1f ms, full decode %.1f ms (medians of %lld)\n", name,
                    median(f.select), median(f.viewer), median(f.full), (long long)f.select.size());
    };
    report("6000 x 4000", large);
    report("640 x 480", small);

    bool ok = prompt.boxes == 0 && stepped == 8 && allRefused;
    for (const Hostile &h : hostiles) {
        const QByteArray what = QByteArray("hostile: ") + h.what;
        ok &= check(what + ", refused within 200 ms by Preview Disk", median(h.preview) < 200);
        ok &= check(what + ", and by the clash dialog", median(h.dialog) < 200);
        ok &= check(what + ", under 64 MB", std::max(h.previewMb, h.dialogMb) < 64);
    }
    ok &= check("large picture selected within 100 ms", median(large.select) < 100);
    ok &= check("large picture selected 2x faster than a full decode", median(large.select) * 2 <= median(large.full));
    ok &= check("viewer on a large picture within 100 ms", median(large.viewer) < 100);
    ok &= check("viewer on a large picture 2x faster than a full decode", median(large.viewer) * 2 <= median(large.full));
    ok &= check("small picture selected within 5 ms", median(small.select) < 5);
    ok &= check("viewer on a small picture within 5 ms", median(small.viewer) < 5);
    ok &= check("stepping through large pictures under 60 MB above idle", peakKb > 0 && aboveIdleMb < 60);
    return ok ? 0 : 1;
}
