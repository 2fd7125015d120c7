#pragma once
// The per-user settings store: application "Pixferry", text values by
// section and key (QSettings, native format).

#include <QString>

namespace pf {

class SettingsIo {
public:
    SettingsIo(QString organization = QStringLiteral("Pixferry"), QString application = QStringLiteral("Pixferry"));

    // The stored text, or the default when the key is absent.
    QString read(const QString &section, const QString &key, const QString &def = QString()) const;
    void write(const QString &section, const QString &key, const QString &text);

    // Where the values live, for the README and for tests.
    QString location() const;

private:
    QString m_org, m_app;
};

}  // namespace pf
