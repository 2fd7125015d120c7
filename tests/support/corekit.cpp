#include "tests/support/corekit.h"

#include "settings/store.h"

#include <QCoreApplication>
#include <QImage>
#include <QRandomGenerator>
#include <QSettings>

#include <chrono>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utime.h>

namespace testkit {

pf::MsgAnswer ScriptedPrompt::messageBox(const QString &text, pf::MsgButtons buttons, const QString &title)
{
    boxes.append({text, buttons, title});
    if (onBox)
        onBox(boxes.last());
    return answers.isEmpty() ? fallback : answers.takeFirst();
}

void ScriptedPrompt::showModal(QDialog &dialog)
{
    if (nameOf)
        modals << nameOf(dialog);
    if (onModal)
        onModal(dialog);
}

QStringList ScriptedPrompt::titles() const
{
    QStringList out;
    for (const ShownBox &b : boxes)
        out << b.title;
    return out;
}

QStringList ScriptedPrompt::texts() const
{
    QStringList out;
    for (const ShownBox &b : boxes)
        out << b.text;
    return out;
}

Drives::Drives()
{
    m_map.removeDrive('A');
    m_map.removeDrive('C');
    root('A');
    root('C');
}

Drives::~Drives()
{
    std::error_code ignored;
    std::filesystem::remove_all(QFile::encodeName(m_dir.path()).toStdString(), ignored);
}

QString Drives::root(QChar letter)
{
    const QString folder = m_dir.path() + "/drive_" + letter.toUpper();
    QDir().mkpath(folder);
    if (!m_map.hasDrive(letter))
        m_map.setDrive(letter, folder);
    return m_map.hostRoot(letter);
}

pf::Status HookedFs::copyFile(const QString &source, const QString &destination, pf::CopyMode mode,
                              const pf::CopyProgress &progress)
{
    if (pf::Status s = beforeCopy ? beforeCopy(source, destination) : pf::Status(); !s)
        return s;
    pf::CopyProgress watched = progress;
    if (duringCopy)
        watched = [&](qint64 done, qint64 total) {
            duringCopy(source);
            return !progress || progress(done, total);
        };
    pf::Status s = pf::FileSystem::copyFile(source, destination, mode, watched);
    if (s && afterCopy)
        afterCopy(source, destination);
    return s;
}

pf::Status HookedFs::deleteFile(const QString &path, const pf::FileId *expected)
{
    if (pf::Status s = beforeDelete ? beforeDelete(path) : pf::Status(); !s)
        return s;
    return pf::FileSystem::deleteFile(path, expected);
}

void clearSettings(bool showSplash)
{
    QSettings s;
    s.clear();
    if (!showSplash)
        s.setValue(settings::kSection + '/' + settings::kSplashScreen, "False");
}

QString storedSetting(const QString &key) { return QSettings().value(settings::kSection + '/' + key).toString(); }

void storeSetting(const QString &key, const QString &value)
{
    QSettings().setValue(settings::kSection + '/' + key, value);
}

static void setModified(const QString &path, const QDateTime &modified)
{
    struct utimbuf t;
    t.actime = t.modtime = modified.toSecsSinceEpoch();
    if (modified.isValid() && ::utime(QFile::encodeName(path).constData(), &t) != 0)
        qFatal("cannot set the date of %s", qPrintable(path));
}

void writeFile(const QString &path, const QByteArray &content, const QDateTime &modified)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(content) != content.size() || !f.flush())
        qFatal("cannot write %s", qPrintable(path));
    f.close();
    setModified(path, modified);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void makeJpeg(const QString &path, int width, int height, const QDateTime &modified, QColor colour)
{
    QImage img(width, height, QImage::Format_RGB32);
    img.fill(colour);
    for (int y = 0; y < height; y += 7)
        for (int x = 0; x < width; x += 5)
            img.setPixel(x, y, qRgb((x * 3) & 255, (y * 5) & 255, (x + y) & 255));
    if (!img.save(path, "JPEG", 85))
        qFatal("cannot write %s", qPrintable(path));
    setModified(path, modified);
}

void makeNoisyJpeg(const QString &path, int width, int height, const QDateTime &modified)
{
    QImage img(width, height, QImage::Format_RGB32);
    QRandomGenerator random(width * 7919 + height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            img.setPixel(x, y, random.generate() | 0xff000000u);
    if (!img.save(path, "JPEG", 90))
        qFatal("cannot write %s", qPrintable(path));
    setModified(path, modified);
}

void makeFifo(const QString &path)
{
    if (::mkfifo(QFile::encodeName(path).constData(), 0644) != 0)
        qFatal("cannot make the named pipe %s", qPrintable(path));
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QStringList listing(const QString &folder)
{
    QStringList out;
    for (const QString &name : entries(folder))
        out << name + '=' + QString::fromUtf8(readFile(folder + '/' + name));
    return out;
}

PipeGuard::PipeGuard(const QString &pipe, int deadlineMs) : m_pipe(QFile::encodeName(pipe))
{
    m_thread = std::thread([this, deadlineMs] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(deadlineMs);
        while (!m_done) {
            if (std::chrono::steady_clock::now() >= deadline) {
                // Succeeds only while someone has the pipe open for reading.
                const int fd = ::open(m_pipe.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0) {
                    m_letGo = true;
                    ::close(fd);
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
}

void PipeGuard::done()
{
    m_done = true;
    if (m_thread.joinable())
        m_thread.join();
}

Unprivileged::Unprivileged()
{
    if (::geteuid() != 0)
        return;
    m_switched = ::seteuid(65534) == 0;  // "nobody"
    m_ok = m_switched;
}

Unprivileged::~Unprivileged()
{
    if (m_switched && ::seteuid(0) != 0)
        qFatal("cannot act as root again");
}

QByteArray bindMountTable(const QString &shown, const QString &point)
{
    struct stat st;
    if (::stat(QFile::encodeName(shown).constData(), &st) != 0)
        qFatal("cannot look at %s", qPrintable(shown));
    const QByteArray dev = QByteArray::number(major(st.st_dev)) + ':' + QByteArray::number(minor(st.st_dev));
    return "20 1 " + dev + " / / rw - ext4 /dev/x rw\n21 20 " + dev + ' '
        + QFile::encodeName(QDir(shown).canonicalPath()) + ' ' + QFile::encodeName(QDir(point).canonicalPath())
        + " rw - ext4 /dev/x rw\n";
}

int runCoreTests(QObject *test, int argc, char **argv)
{
    // The settings store lives in a temporary place.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    qputenv("HOME", QFile::encodeName(config.path()));
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Pixferry");
    QCoreApplication::setApplicationName("Pixferry");
    return QTest::qExec(test, argc, argv);
}

}  // namespace testkit
