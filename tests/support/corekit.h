#pragma once
// What every test shares, windows or not: temporary folders as drives, a
// temporary settings location, a prompt that answers from a script, a file
// system whose operations can be intercepted, and helpers to make and read
// files. A helper that makes what a test needs stops the run (qFatal) when
// it cannot: that is the machine failing, not the program under test.
// Helpers that read return what they found.

#include "platform/files.h"
#include "platform/prompt.h"

#include <QColor>
#include <QDateTime>
#include <QTemporaryDir>
#include <QtTest/QtTest>

#include <atomic>
#include <functional>
#include <thread>

class QDialog;

namespace testkit {

// One message box as the program showed it.
struct ShownBox {
    QString text;
    pf::MsgButtons buttons;
    QString title;
};

// Answers message boxes from a queue (then with `fallback`), and modal
// windows through a handler that may click their buttons.
class ScriptedPrompt : public pf::Prompt {
public:
    QList<ShownBox> boxes;
    QList<pf::MsgAnswer> answers;
    pf::MsgAnswer fallback = pf::AnsOk;
    QStringList modals;  // objectName of every modal window shown (where `nameOf` is set)
    std::function<void(QDialog &)> onModal;
    std::function<void(const ShownBox &)> onBox;  // runs before the answer is taken
    std::function<QString(QDialog &)> nameOf;     // set where windows exist

    pf::MsgAnswer messageBox(const QString &text, pf::MsgButtons buttons, const QString &title) override;
    using pf::Prompt::messageBox;
    void showModal(QDialog &dialog) override;
    QStringList titles() const;
    QStringList texts() const;
};

// A drive is a temporary folder, removed with all it holds, also names
// that are not UTF-8 (which QTemporaryDir cannot remove).
class Drives {
public:
    Drives();
    ~Drives();
    // The host folder of a letter, made on first use.
    QString root(QChar letter);
    pf::DriveMap map() const { return m_map; }
    void unmap(QChar letter) { m_map.removeDrive(letter); }
    // Points a letter at a folder that does not exist (a drive not ready).
    void makeNotReady(QChar letter) { m_map.setDrive(letter, m_dir.path() + "/missing_" + letter.toUpper()); }

private:
    QTemporaryDir m_dir;
    pf::DriveMap m_map;
};

// A file system whose operations a test can intercept: failures injected,
// races staged. Each hook runs before the real operation; a failure it
// returns is the operation's result instead.
class HookedFs : public pf::FileSystem {
public:
    using pf::FileSystem::FileSystem;
    std::function<pf::Status(const QString &source, const QString &destination)> beforeCopy;
    std::function<void(const QString &source)> duringCopy;  // after the copy's first part
    std::function<void(const QString &source, const QString &destination)> afterCopy;  // when it succeeded
    std::function<pf::Status(const QString &path)> beforeDelete;

    pf::Status copyFile(const QString &source, const QString &destination, pf::CopyMode mode,
                        const pf::CopyProgress &progress = {}) override;
    pf::Status deleteFile(const QString &path, const pf::FileId *expected) override;
    using pf::FileSystem::deleteFile;
};

// Settings: the store lives in a temporary folder for the whole test run.
// `showSplash` false stores "Splash Screen=False" after clearing.
void clearSettings(bool showSplash = true);
QString storedSetting(const QString &key);
void storeSetting(const QString &key, const QString &value);

// Files
void writeFile(const QString &path, const QByteArray &content, const QDateTime &modified = QDateTime());
QByteArray readFile(const QString &path);  // "<missing>" when it cannot be read
void makeJpeg(const QString &path, int width, int height, const QDateTime &modified = QDateTime(),
              QColor colour = Qt::darkCyan);
// A picture of noise: large for its size (some 60 KB at 240 x 180), and no
// two stretches of it alike.
void makeNoisyJpeg(const QString &path, int width, int height, const QDateTime &modified = QDateTime());
void makeFifo(const QString &path);
QStringList entries(const QString &folder);  // every name in a folder, sorted, hidden ones too
QStringList listing(const QString &folder);  // every entry as "name=content", sorted by name

// Guards a step that might wait on a named pipe. Once `deadlineMs` have
// passed it opens the pipe for writing and closes it again, over and over
// until done(): that ends any wait to open the pipe for reading, so a step
// that waits makes its test fail by the time it took instead of hanging.
class PipeGuard {
public:
    explicit PipeGuard(const QString &pipe, int deadlineMs = 1000);
    ~PipeGuard() { done(); }
    void done();
    // The step waited on the pipe and had to be let go.
    bool letGo() const { return m_letGo; }

private:
    QByteArray m_pipe;
    std::atomic<bool> m_done{false}, m_letGo{false};
    std::thread m_thread;
};

// While it lives the process acts as an unprivileged user, where the tests
// run as root (who can list any folder): a folder made unreadable is then
// unreadable to the program too. `ok()` is false when that cannot be done.
class Unprivileged {
public:
    Unprivileged();
    ~Unprivileged();
    Unprivileged(const Unprivileged &) = delete;
    Unprivileged &operator=(const Unprivileged &) = delete;
    bool ok() const { return m_ok; }

private:
    bool m_switched = false, m_ok = true;
};

// A mount table as the system writes it where `shown`, a folder, is bound
// onto `point` (a bind mount), both on the file system that holds `shown`.
QByteArray bindMountTable(const QString &shown, const QString &point);

// Runs a test object without windows: settings in a temporary place.
int runCoreTests(QObject *test, int argc, char **argv);

}  // namespace testkit

#define PIXFERRY_CORE_TEST_MAIN(TestClass)                              \
    int main(int argc, char **argv)                                     \
    {                                                                   \
        TestClass test;                                                 \
        return testkit::runCoreTests(&test, argc, argv);                \
    }
