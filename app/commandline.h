#pragma once
// The command line: --help, --version, and the toolkit's own display
// options, which are left for QApplication. Read before any window or
// display is opened, so that help and version need neither.

#include <QString>
#include <QStringList>

namespace pf {

class DriveFinder;

struct CommandLine {
    bool run = true;   // start the program; else print and exit
    int exitCode = 0;  // when not run: 0 after help or version, 2 after a usage error
    QString out;       // for standard output
    QString err;       // for standard error
};

// `arguments` starts with the program's name. `settingsFile` is where the
// [Drives] section is read from, for the help text.
CommandLine readCommandLine(const QStringList &arguments, const DriveFinder &drives, const QString &settingsFile);

}  // namespace pf
