#include "app/commandline.h"

#include "platform/drivefinder.h"

#include <QCommandLineParser>

#ifndef PIXFERRY_VERSION
#define PIXFERRY_VERSION "1.0"
#endif

namespace pf {

namespace {

// The options QGuiApplication and QApplication take for themselves
// ("-platform offscreen", "-style fusion", ...): accepted here and left in
// place for them.
void addToolkitOptions(QCommandLineParser &parser)
{
    const char *withValue[] = {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
                               "geometry", "qwindowtitle", "title", "qwindowicon", "icon", "display", "session",
                               "style", "stylesheet", "qmljsdebugger"};
    const char *flags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};
    for (const char *name : withValue) {
        QCommandLineOption o(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        o.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(o);
    }
    for (const char *name : flags) {
        QCommandLineOption o(QString::fromLatin1(name));
        o.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(o);
    }
}

QString usage()
{
    return QStringLiteral(
        "Usage: pixferry [options]\n"
        "Copies the pictures and movie clips of a diskette or memory card (drive A:)\n"
        "into your image and video folders.\n"
        "\n"
        "Options:\n"
        "  -h, --help     Show this help and the drives as they are mapped now.\n"
        "  -v, --version  Show the version.\n");
}

QString driveReport(const DriveFinder &drives, const QString &settingsFile)
{
    QString text = QStringLiteral("\nDrives now:\n");
    const QList<DriveFinder::Decision> all = drives.decideAll();
    for (const DriveFinder::Decision &d : all)
        text += QStringLiteral("  %1:  %2  (%3)\n").arg(d.letter, d.folder, DriveFinder::describe(d));
    if (all.isEmpty())
        text += QStringLiteral("  none\n");
    QStringList roots = drives.mediaRoots();
    const QString lastRoot = roots.isEmpty() ? QString() : roots.takeLast();
    const QString where = roots.isEmpty() ? lastRoot : roots.join(QStringLiteral(", ")) + QStringLiteral(" or ") + lastRoot;
    text += QStringLiteral(
                "\nEach letter points to the first of:\n"
                "  1. the variable PIXFERRY_DRIVE_<LETTER>;\n"
                "  2. the [Drives] section of %1 (A=/path);\n"
                "  3. for A:, a medium mounted in %2:\n"
                "     one that cameras and diskettes use (a removable device, a FAT file system)\n"
                "     before any other; of those alike, the one mounted most recently;\n"
                "  4. A: /media/floppy, C: /.\n"
                "Drive A: is looked for again at every Check Disk, Preview Disk and Copy Disk.\n")
                .arg(settingsFile, where);
    return text;
}

}  // namespace

CommandLine readCommandLine(const QStringList &arguments, const DriveFinder &drives, const QString &settingsFile)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")}, QString());
    parser.addOption(help);
    parser.addOption(version);
    addToolkitOptions(parser);

    CommandLine cl;
    QString error;
    if (!parser.parse(arguments))
        error = parser.errorText();
    else if (!parser.positionalArguments().isEmpty())
        error = QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().constFirst());
    if (!error.isEmpty()) {
        cl.run = false;
        cl.exitCode = 2;
        cl.err = error + QStringLiteral("\n\n") + usage();
        return cl;
    }
    if (parser.isSet(help)) {
        cl.run = false;
        cl.out = usage() + driveReport(drives, settingsFile);
    } else if (parser.isSet(version)) {
        cl.run = false;
        cl.out = QStringLiteral("Pixferry %1\n").arg(QStringLiteral(PIXFERRY_VERSION));
    }
    return cl;
}

}  // namespace pf
