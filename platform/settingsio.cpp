#include "platform/settingsio.h"

#include "platform/hostnames.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <optional>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pf {

namespace {

QString kindOf(mode_t mode)
{
    if (S_ISFIFO(mode))
        return QStringLiteral("a named pipe");
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("something else");
}

PlatformError notRegular(const QString &file, mode_t mode)
{
    return makeError(ErrPathFileAccess, QStringLiteral("It is not a regular file but %1.").arg(kindOf(mode)), file);
}

// The program's settings take a few hundred bytes. A file much larger is not
// its own, or was filled by something else: it is neither read (the reader
// holds all of it, several times over, and takes seconds) nor written over.
constexpr qint64 kLargestFile = 4 << 20;

bool tooLarge(const struct stat &st) { return S_ISREG(st.st_mode) && st.st_size > kLargestFile; }

PlatformError tooLargeError(const QString &file, qint64 size)
{
    return makeError(ErrPathFileAccess,
                     QStringLiteral("It is too large for a settings file of this program (%1 MB, at most %2 MB), and "
                                    "is left as it is.")
                         .arg(QString::number(double(size) / (1 << 20), 'f', 1), QString::number(kLargestFile >> 20)),
                     file);
}

// "Permission denied" as the end of a sentence: "permission denied."
QString lowered(const PlatformError &e)
{
    QString r = e.reason;
    if (!r.isEmpty())
        r[0] = r[0].toLower();
    return r + QLatin1Char('.');
}

// "<lead>: <the system's reason>."
PlatformError failed(int err, const QString &file, const QString &lead)
{
    PlatformError e = errorFromErrno(err, file);
    e.reason = lead + QStringLiteral(": ") + lowered(e);
    return e;
}

// What lies at the path, followed through links, without opening it:
// nothing (ENOENT, or ENOTDIR when a folder on the way is a file: nothing
// can be stored there yet), a regular file, something else, or an error.
struct PathState {
    int err = 0;
    mode_t mode = 0;
    qint64 size = 0;
    bool large = false;  // a regular file too large to be the settings
    bool missing() const { return err == ENOENT || err == ENOTDIR; }
    // Something there that is not read: not a regular file, or too large.
    bool unusable() const { return !missing() && (err != 0 || !S_ISREG(mode) || large); }
};

PathState stateOf(const QString &file)
{
    PathState s;
    struct stat st;
    if (::stat(QFile::encodeName(file).constData(), &st) != 0) {
        s.err = errno;
    } else {
        s.mode = st.st_mode;
        s.size = st.st_size;
        s.large = tooLarge(st);
    }
    return s;
}

// Why the file could not be written, found by doing what the store does on
// a small scale: its folder is made when missing, the file is written beside
// itself and renamed into place, and an existing file must be writable.
PlatformError whyNotWritten(const QString &file)
{
    const QString folder = QFileInfo(file).absolutePath();
    const QByteArray folderName = QFile::encodeName(folder);
    const QString notWritable = QStringLiteral("Its folder %1 cannot be written to").arg(folder);
    struct stat st;
    if (::stat(folderName.constData(), &st) != 0) {
        if (errno != ENOENT || ::mkdir(folderName.constData(), 0700) != 0)
            return failed(errno, file, QStringLiteral("Its folder %1 cannot be made").arg(folder));
    } else if (!S_ISDIR(st.st_mode)) {
        return makeError(ErrPathNotFound, QStringLiteral("%1 is not a folder.").arg(folder), file);
    }
    QByteArray probe = folderName + "/.Pixferry-probe-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return failed(errno, file, notWritable);
    const QByteArray block(4096, ' ');
    const int wrote = int(::write(fd, block.constData(), size_t(block.size())));
    const int writeErr = wrote < 0 ? errno : 0;
    ::close(fd);
    ::unlink(probe.constData());
    if (writeErr != 0)
        return failed(writeErr, file, notWritable);
    const int existing = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (existing < 0 && errno != ENOENT)
        return failed(errno, file, QStringLiteral("The file cannot be written"));
    if (existing >= 0)
        ::close(existing);
    return makeError(ErrPathFileAccess, QStringLiteral("The file could not be written."), file);
}

// The settings file holds UTF-8 text, which a folder name holding a byte
// that is not UTF-8 (kept as a stand-in character) cannot be written as:
// such a text is stored as its bytes instead, and read back from them.
QVariant storedForm(const QString &text)
{
    const QByteArray bytes = toHostName(text);
    return bytes == text.toUtf8() ? QVariant(text) : QVariant(bytes);
}

QString textOf(const QVariant &stored)
{
    return stored.typeId() == QMetaType::QByteArray ? fromHostName(stored.toByteArray()) : stored.toString();
}

}  // namespace

SettingsIo::SettingsIo(QString organization, QString application)
    : m_file(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/') + organization
             + QLatin1Char('/') + application + QStringLiteral(".conf"))
{
}

Status SettingsIo::check() const
{
    const PathState s = stateOf(m_file);
    if (s.missing())
        return {};
    if (s.err != 0)
        return failed(s.err, m_file, QStringLiteral("It cannot be read"));
    if (!S_ISREG(s.mode))
        return notRegular(m_file, s.mode);
    if (s.large)
        return tooLargeError(m_file, s.size);
    // Opened without waiting, and its type taken again from the descriptor:
    // it may have been swapped since.
    const int fd = ::open(QFile::encodeName(m_file).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return failed(errno, m_file, QStringLiteral("It cannot be read"));
    struct stat st;
    const int statErr = ::fstat(fd, &st) == 0 ? 0 : errno;
    ::close(fd);
    if (statErr != 0)
        return failed(statErr, m_file, QStringLiteral("It cannot be read"));
    if (!S_ISREG(st.st_mode))
        return notRegular(m_file, st.st_mode);
    if (tooLarge(st))
        return tooLargeError(m_file, st.st_size);
    return {};
}

QString SettingsIo::read(const QString &section, const QString &key, const QString &def) const
{
    // Anything but a regular file would be opened and waited on (a named
    // pipe for ever), one too large read whole: the defaults instead.
    if (stateOf(m_file).unusable())
        return def;
    QSettings store(m_file, QSettings::IniFormat);
    return textOf(store.value(section + QLatin1Char('/') + key, def));
}

Status SettingsIo::write(const QString &section, const QList<std::pair<QString, QString>> &values)
{
    const PathState s = stateOf(m_file);
    if (!s.missing() && s.err == 0 && !S_ISREG(s.mode))
        return notRegular(m_file, s.mode);
    if (s.large)
        return tooLargeError(m_file, s.size);

    // The first object reads the file; the status of the second is then
    // this write's alone (not a flaw of the file as it was read).
    QSettings reading(m_file, QSettings::IniFormat);
    QSettings store(m_file, QSettings::IniFormat);
    QList<std::optional<QVariant>> before;
    for (const auto &[key, text] : values) {
        const QString name = section + QLatin1Char('/') + key;
        before.append(store.contains(name) ? std::optional(store.value(name)) : std::nullopt);
        store.setValue(name, storedForm(text));
    }
    store.sync();
    if (store.status() != QSettings::AccessError)
        return {};

    // QSettings keeps one copy of the file for the whole program, and the
    // values that were not written would stay in it, read back as if stored:
    // the values from before go back in.
    for (int i = 0; i < values.size(); ++i) {
        const QString name = section + QLatin1Char('/') + values[i].first;
        if (before[i])
            store.setValue(name, *before[i]);
        else
            store.remove(name);
    }
    return whyNotWritten(m_file);
}

QList<std::pair<QString, QString>> SettingsIo::readSection(const QString &section) const
{
    // As read(): nothing but a regular file of a settings file's size is opened.
    if (stateOf(m_file).unusable())
        return {};
    QSettings store(m_file, QSettings::IniFormat);
    store.beginGroup(section);
    QList<std::pair<QString, QString>> out;
    const QStringList keys = store.childKeys();
    for (const QString &key : keys) {
        const QVariant v = store.value(key);
        out.append({key, v.typeId() == QMetaType::QStringList ? v.toStringList().join(QLatin1Char(',')) : textOf(v)});
    }
    return out;
}

}  // namespace pf
