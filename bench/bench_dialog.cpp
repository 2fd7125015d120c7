// How long the clash dialog takes from being built to standing painted on
// screen, for two large camera pictures and for two small ones, next to a
// scaled and a full-size decode of the same file.
//
//   bench_dialog [runs]      (default 9; QT_QPA_PLATFORM defaults to offscreen)
//
// Targets: two 6000 x 4000 pictures within 200 ms, two 640 x 480 within 10 ms.
// Exit status 1 when a median misses its target.

#include "app/program.h"
#include "platform/picture.h"
#include "platform/services.h"
#include "transfer/frmduplicate.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// A picture with the detail of a photograph: soft gradients, edges and grain,
// so that it compresses and decodes like one.
QImage photoLike(int w, int h, quint32 seed)
{
    QImage img(w, h, QImage::Format_RGB32);
    QRandomGenerator rng(seed);
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int grain = int(rng.bounded(10u)) - 5;
            const int r = (x * 255 / w + grain + ((x / 97 + y / 61) % 2) * 40) & 255;
            const int g = (y * 255 / h + grain) & 255;
            const int b = ((x + y) * 255 / (w + h) + grain * 2 + ((x / 13) % 3) * 20) & 255;
            line[x] = qRgb(r, g, b);
        }
    }
    return img;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Notes the first paint of a control; of a picture, the first one with the
// picture in it (the dialog opens before its pictures are read).
class PaintWatch : public QObject {
public:
    bool painted = false;

protected:
    bool eventFilter(QObject *watched, QEvent *e) override
    {
        const auto *picture = qobject_cast<QLabel *>(watched);
        if (e->type() == QEvent::Paint && (!picture || !picture->pixmap().isNull()))
            painted = true;
        return false;
    }
};

// Milliseconds from building the dialog until it and both its pictures
// have been painted.
double timeDialog(pf::Services &services, Module1 &shared)
{
    QElapsedTimer clock;
    clock.start();
    auto *dlg = new frmDuplicate(services, shared);
    PaintWatch first, second, last;
    dlg->Image1->installEventFilter(&first);
    dlg->Image3->installEventFilter(&second);
    dlg->CancelButton->installEventFilter(&last);
    dlg->show();
    QElapsedTimer limit;
    limit.start();
    while (!(first.painted && second.painted && last.painted) && limit.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const double ms = clock.nsecsElapsed() / 1e6;
    if (!(first.painted && second.painted && last.painted))
        std::fprintf(stderr, "the dialog was not painted within 5 s\n");
    dlg->close();
    delete dlg;
    QCoreApplication::processEvents();
    return ms;
}

template <typename F>
double timeOnce(F &&f)
{
    QElapsedTimer clock;
    clock.start();
    f();
    return clock.nsecsElapsed() / 1e6;
}

struct Pair {
    const char *label;
    QSize size;
    double targetMs;
};

}  // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    pf::applyProgramLook(app);
    const int runs = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 9;

    QTemporaryDir dir;
    const QString a = dir.path() + QStringLiteral("/a"), c = dir.path() + QStringLiteral("/c");
    QDir().mkpath(a);
    QDir().mkpath(c + QStringLiteral("/Pics"));
    pf::DriveMap drives;
    drives.setDrive(QLatin1Char('A'), a);
    drives.setDrive(QLatin1Char('C'), c);
    pf::Services services(std::make_unique<pf::FileSystem>(drives), nullptr);

    const Pair pairs[] = {
        {"two 6000 x 4000 pictures", QSize(6000, 4000), 200.0},
        {"two 640 x 480 pictures", QSize(640, 480), 10.0},
    };
    bool allWithin = true;
    std::printf("clash dialog, built to painted, median of %d runs\n", runs);
    for (const Pair &p : pairs) {
        const QString name = QStringLiteral("P%1.JPG").arg(p.size.width());
        const QString incoming = a + QLatin1Char('/') + name;
        const QString existing = c + QStringLiteral("/Pics/") + name;
        if (!photoLike(p.size.width(), p.size.height(), 1).save(incoming, "JPEG", 92)
            || !photoLike(p.size.width(), p.size.height(), 2).save(existing, "JPEG", 92)) {
            std::fprintf(stderr, "cannot write the pictures\n");
            return 2;
        }
        Module1 shared;
        shared.srcFile = QStringLiteral("a:\\") + name;
        shared.newName = name;
        shared.destFile = QStringLiteral("c:\\Pics\\") + name;

        const QSize shown = QSize(73, 73 * p.size.height() / p.size.width());
        std::vector<double> dialog, scaled, full;
        timeDialog(services, shared);  // warm-up: fonts, styles, the image plugin
        for (int r = 0; r < runs; ++r) {
            dialog.push_back(timeDialog(services, shared));
            scaled.push_back(timeOnce([&] { (void)pf::loadPicture(incoming, shown); }));
            full.push_back(timeOnce([&] { (void)pf::loadPicture(incoming); }));
        }
        const double d = median(dialog);
        const bool within = d <= p.targetMs;
        allWithin = allWithin && within;
        std::printf("  %-26s file %5.1f MB  dialog %8.2f ms (target %3.0f ms, %s)  one scaled decode %8.2f ms"
                    "  one full decode %8.2f ms\n",
                    p.label, QFileInfo(incoming).size() / 1e6, d, p.targetMs, within ? "within" : "OVER", median(scaled),
                    median(full));
    }
    return allWithin ? 0 : 1;
}
