#pragma once
// The per-user settings store: application "Pixferry", text values by
// section and key, in the settings file $XDG_CONFIG_HOME/Pixferry/Pixferry.conf
// (QSettings, in the INI form that is its native one here).

#include "platform/result.h"

#include <QList>
#include <QString>

#include <utility>

namespace pf {

class SettingsIo {
public:
    SettingsIo(QString organization = QStringLiteral("Pixferry"), QString application = QStringLiteral("Pixferry"));

    // The stored text, or the default when the key is absent or the settings
    // file cannot be read (see check()).
    QString read(const QString &section, const QString &key, const QString &def = QString()) const;
    // Every key of a section with its text, as stored; a value written as a
    // list ("a,b" without quotes) is joined again with commas.
    QList<std::pair<QString, QString>> readSection(const QString &section) const;

    // Stores the texts together and checks that they reached the file. When
    // that fails nothing is stored, later reads give the values from before,
    // and the error names the settings file (its `path`) and says why.
    Status write(const QString &section, const QList<std::pair<QString, QString>> &values);
    Status write(const QString &section, const QString &key, const QString &text)
    {
        return write(section, {{key, text}});
    }

    // Whether the settings file can be read. A path that is not a regular
    // file (a named pipe, a folder, a device) fails, and is never opened as
    // the settings file: reads give the defaults, writes fail. So does a file
    // that cannot be opened, and one of more than a few megabytes (never
    // read, never written over). No file at all is no failure: nothing is
    // stored yet.
    Status check() const;

    // The settings file.
    QString location() const { return m_file; }

private:
    QString m_file;
};

}  // namespace pf
