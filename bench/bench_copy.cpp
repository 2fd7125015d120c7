// Copy Disk against cp on the same files: the real handler on a main window,
// every prompt answered, alternating with the shell tools over several rounds
// (this machine is noisy), medians and their ratio. Also the checked erase
// against cp + sync + cmp + rm, and the peak memory while copying 1 GB.
//
// bench_copy [--dir PATH] [--rounds N] [--images N --image-kb K --clips N --clip-mb M]
//            [--small N --small-kb K] [--memory-mb M] [--only mixed,small,erase,memory]

#include "app/frmmain.h"
#include "app/program.h"
#include "platform/prompt.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct Options {
    QString dir = QStringLiteral("/tmp");
    int rounds = 5;
    int images = 2000, imageKb = 200, clips = 20, clipMb = 20;
    int small = 20000, smallKb = 10;
    int memoryMb = 1024;
    QStringList only = {QStringLiteral("memory"), QStringLiteral("mixed"), QStringLiteral("small"), QStringLiteral("erase")};
};

// Answers every box: No (or Yes) to the erase, OK to everything else; a clash
// is settled by replacing.
class BenchPrompt : public pf::Prompt {
public:
    bool erase = false;
    QStringList unexpected;  // boxes other than the folder and erase questions

    pf::MsgAnswer messageBox(const QString &text, pf::MsgButtons buttons, const QString &title) override
    {
        if (title == QLatin1String("Erase Source Diskette?"))
            return erase ? pf::AnsYes : pf::AnsNo;
        if (title != QLatin1String("Folder Does Not Exist!")
            && !(erase && text == QLatin1String("Operation completed.")))
            unexpected << title + QStringLiteral(": ") + text;
        return buttons == pf::MbYesNo ? pf::AnsYes : pf::AnsOk;
    }
    void showModal(QDialog &dialog) override
    {
        if (auto *b = dialog.findChild<QPushButton *>(QStringLiteral("OKButton")))
            b->click();
    }
};

struct FileSet {
    QString label;
    int images, imageBytes, clips, clipBytes;
    qint64 bytes() const { return qint64(images) * imageBytes + qint64(clips) * clipBytes; }
    int files() const { return images + clips; }
};

// Fills `folder` with the set: images with distinct modification times (so
// their date-time names differ), clips, all of varied content.
void makeDiskette(const QString &folder, const FileSet &set)
{
    static std::vector<char> noise;
    if (noise.empty()) {
        noise.resize(2 << 20);
        QRandomGenerator rng(411);
        rng.fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / sizeof(quint32));
    }
    QDir().mkpath(folder);
    auto write = [&](const QString &name, qint64 size, int n, time_t mtime) {
        const QByteArray path = QFile::encodeName(folder + QLatin1Char('/') + name);
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        qint64 done = 0;
        while (done < size) {
            const size_t start = size_t((n * 7919 + done) % (noise.size() / 2));
            const size_t chunk = size_t(std::min<qint64>(size - done, qint64(noise.size() / 2)));
            if (::write(fd, noise.data() + start, chunk) != ssize_t(chunk))
                std::abort();
            done += qint64(chunk);
        }
        const struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
        ::futimens(fd, times);
        ::close(fd);
    };
    const time_t base = 1057309507;  // 4 July 2003
    for (int i = 0; i < set.images; ++i)
        write(QStringLiteral("PIC%1.JPG").arg(i, 5, 10, QLatin1Char('0')), set.imageBytes, i, base + i);
    for (int i = 0; i < set.clips; ++i)
        write(QStringLiteral("CLIP%1.MPG").arg(i, 4, 10, QLatin1Char('0')), set.clipBytes, 100000 + i, base);
}

int shell(const QString &command)
{
    const int rc = std::system(QFile::encodeName(command).constData());
    if (rc != 0)
        std::fprintf(stderr, "command failed (%d): %s\n", rc, qPrintable(command));
    return rc;
}

QString quoted(const QString &path) { return QLatin1Char('\'') + path + QLatin1Char('\''); }

// User and system processor time of this process so far.
std::pair<double, double> cpuSeconds()
{
    struct rusage ru;
    ::getrusage(RUSAGE_SELF, &ru);
    return {ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6, ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6};
}

// Wall time of `work`; with BENCH_CPU set, also this process's share of it.
double seconds(const std::function<void()> &work)
{
    QElapsedTimer t;
    const auto before = cpuSeconds();
    t.start();
    work();
    const double wall = t.nsecsElapsed() / 1e9;
    const auto after = cpuSeconds();
    if (qEnvironmentVariableIsSet("BENCH_CPU"))
        std::fprintf(stderr, "wall %.3f s; this process: user %.3f s, system %.3f s\n", wall, after.first - before.first,
                     after.second - before.second);
    return wall;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

long peakKb()
{
    struct rusage ru;
    ::getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

// One program over drives A: (the diskette folder) and C: (the work folder).
struct Program {
    BenchPrompt prompt;
    pf::Services services;
    Module1 shared;
    frmMain window;

    Program(const QString &diskette, const QString &work)
        : services(std::make_unique<pf::FileSystem>(drives(diskette, work)), &prompt), window(services, shared)
    {
        window.Check1->setChecked(false);  // date-time names
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

    // Copy Disk into fresh folders C:\<tag>_pics\ and C:\<tag>_clips\.
    void copyDisk(const QString &tag, bool erase)
    {
        prompt.erase = erase;
        shared.imageFolder = QStringLiteral("C:\\%1_pics\\").arg(tag);
        shared.videoFolder = QStringLiteral("C:\\%1_clips\\").arg(tag);
        window.Command1_Click();
        if (!prompt.unexpected.isEmpty()) {
            std::fprintf(stderr, "unexpected box: %s\n", qPrintable(prompt.unexpected.join(QLatin1String(" | "))));
            std::exit(2);
        }
    }
};

int countFiles(const QString &folder) { return int(QDir(folder).entryList(QDir::Files).size()); }

struct Row {
    QString what;
    double ours, theirs;
    double target;
};

}  // namespace

int main(int argc, char **argv)
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    pf::applyProgramLook(app);

    Options o;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); i += 2) {
        const QString k = args[i], v = args.value(i + 1);
        if (k == QLatin1String("--dir")) o.dir = v;
        else if (k == QLatin1String("--rounds")) o.rounds = v.toInt();
        else if (k == QLatin1String("--images")) o.images = v.toInt();
        else if (k == QLatin1String("--image-kb")) o.imageKb = v.toInt();
        else if (k == QLatin1String("--clips")) o.clips = v.toInt();
        else if (k == QLatin1String("--clip-mb")) o.clipMb = v.toInt();
        else if (k == QLatin1String("--small")) o.small = v.toInt();
        else if (k == QLatin1String("--small-kb")) o.smallKb = v.toInt();
        else if (k == QLatin1String("--memory-mb")) o.memoryMb = v.toInt();
        else if (k == QLatin1String("--only")) o.only = v.split(QLatin1Char(','));
        else {
            std::fprintf(stderr, "usage: bench_copy [--dir PATH] [--rounds N] [--images N] [--image-kb K] [--clips N]\n"
                                 "       [--clip-mb M] [--small N] [--small-kb K] [--memory-mb M] [--only memory,mixed,small,erase]\n");
            return 1;
        }
    }

    QTemporaryDir root(o.dir + QStringLiteral("/pixferry-bench-XXXXXX"));
    const QString work = root.path();
    // Nothing is deleted until the erase case, which comes last: on some file
    // systems (ext4 without a journal, as here) files deleted in the last
    // minutes slow down the making of new ones, whoever makes them.
    const FileSet mixed{QStringLiteral("mixed"), o.images, o.imageKb * 1024, o.clips, o.clipMb << 20};
    const FileSet small{QStringLiteral("small"), o.small, o.smallKb * 1024, 0, 0};
    std::vector<Row> rows;
    bool memoryMissed = false;

    // Peak memory while copying about 1 GB: clips of 20 MB (and the rest as one).
    if (o.only.contains(QLatin1String("memory"))) {
        const int clips = std::max(1, o.memoryMb / 20);
        const QString disk = work + QStringLiteral("/diskette_memory");
        makeDiskette(disk, FileSet{QStringLiteral("memory"), 1, 64 * 1024, clips, 20 << 20});
        Program p(disk, work);
        const long before = peakKb();
        const double t = seconds([&] { p.copyDisk(QStringLiteral("memory"), false); });
        std::printf("memory: copied %d MB in %.2f s; peak resident memory %.1f MB (%.1f MB before the copy), target < 150 MB\n",
                    clips * 20, t, peakKb() / 1024.0, before / 1024.0);
        memoryMissed = peakKb() - before > 150 * 1024;
    }

    // Copy Disk (No to the erase) against cp, alternating.
    for (const FileSet &set : {mixed, small}) {
        if (!o.only.contains(set.label))
            continue;
        const QString disk = work + QStringLiteral("/diskette_") + set.label;
        makeDiskette(disk, set);
        Program p(disk, work);
        std::vector<double> ours, theirs;
        for (int r = 0; r < o.rounds; ++r) {
            const QString tag = set.label + QString::number(r);
            auto runOurs = [&] {
                ours.push_back(seconds([&] { p.copyDisk(tag, false); }));
                if (countFiles(work + QLatin1Char('/') + tag + QStringLiteral("_pics")) != set.images
                    || countFiles(work + QLatin1Char('/') + tag + QStringLiteral("_clips")) != set.clips) {
                    std::fprintf(stderr, "Copy Disk did not copy every file\n");
                    std::exit(2);
                }
            };
            auto runTheirs = [&] {
                theirs.push_back(seconds([&] {
                    shell(QStringLiteral("cp -r %1/. %2").arg(quoted(disk), quoted(work + QStringLiteral("/cp_") + tag)));
                }));
            };
            shell(QStringLiteral("sync"));
            if (r % 2) {
                runTheirs();
                shell(QStringLiteral("sync"));
                runOurs();
            } else {
                runOurs();
                shell(QStringLiteral("sync"));
                runTheirs();
            }
        }
        rows.push_back({QStringLiteral("%1 images of %2 KB + %3 clips of %4 MB")
                            .arg(set.images).arg(set.imageBytes / 1024).arg(set.clips).arg(set.clipBytes >> 20),
                        median(ours), median(theirs), set.label == QLatin1String("small") ? 1.25 : 1.10});
    }

    // Copy Disk with the checked erase against cp + sync + cmp + rm.
    if (o.only.contains(QLatin1String("erase"))) {
        const QString disk = work + QStringLiteral("/diskette_erase");
        std::vector<double> ours, theirs;
        for (int r = 0; r < o.rounds; ++r) {
            const QString tag = QStringLiteral("e%1").arg(r);
            auto runOurs = [&] {
                makeDiskette(disk, mixed);
                shell(QStringLiteral("sync"));
                Program p(disk, work);
                ours.push_back(seconds([&] { p.copyDisk(tag, true); }));
                if (!QDir(disk).entryList(QDir::Files).isEmpty()) {
                    std::fprintf(stderr, "the diskette was not erased\n");
                    std::exit(2);
                }
            };
            auto runTheirs = [&] {
                makeDiskette(disk, mixed);
                shell(QStringLiteral("sync"));
                const QString dest = work + QStringLiteral("/cp_") + tag;
                theirs.push_back(seconds([&] {
                    shell(QStringLiteral("cp -r %1/. %2 && sync && cd %1 && for f in *; do cmp -s \"$f\" %2/\"$f\" || exit 1; done"
                                         " && rm -f -- *")
                              .arg(quoted(disk), quoted(dest)));
                }));
            };
            if (r % 2) {
                runTheirs();
                runOurs();
            } else {
                runOurs();
                runTheirs();
            }
        }
        rows.push_back({QStringLiteral("%1 images + %2 clips, checked erase").arg(mixed.images).arg(mixed.clips),
                        median(ours), median(theirs), 1.10});
    }

    std::printf("\n%-48s %10s %10s %7s %7s\n", "case (medians of rounds)", "Copy Disk", "shell", "ratio", "target");
    for (const Row &row : rows)
        std::printf("%-48s %9.2fs %9.2fs %7.2f %7.2f %s\n", qPrintable(row.what), row.ours, row.theirs, row.ours / row.theirs,
                    row.target, row.ours / row.theirs <= row.target ? "met" : "NOT MET");
    std::printf("peak resident memory of the whole run: %.1f MB\n", peakKb() / 1024.0);
    const bool missed = std::any_of(rows.begin(), rows.end(), [](const Row &row) { return row.ours / row.theirs > row.target; });
    return missed || memoryMissed ? 1 : 0;
}
