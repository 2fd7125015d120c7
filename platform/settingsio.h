#pragma once
// The per-user settings store: application "Pixferry", text values by
// section and key (QSettings, native format).

#include <QList>
#include <QString>

#include <utility>

namespace pf {

class SettingsIo {
public:
    SettingsIo(QString organization = QStringLiteral("Pixferry"), QString application = QStringLiteral("Pixferry"));

    // The stored text, or the default when the key is absent.
    QString read(const QString &section, const QString &key, const QString &def = QString()) const;
    void write(const QString &section, const QString &key, const QString &text);
    // Every key of a section with its text, as stored; a value written as a
    // list ("a,b" without quotes) is joined again with commas.
    QList<std::pair<QString, QString>> readSection(const QString &section) const;

    // Where the values live, for the README and for tests.
    QString location() const;

private:
    QString m_org, m_app;
};

}  // namespace pf
