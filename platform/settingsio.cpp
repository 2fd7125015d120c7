#include "platform/settingsio.h"

#include <QSettings>

namespace pf {

SettingsIo::SettingsIo(QString organization, QString application)
    : m_org(std::move(organization)), m_app(std::move(application))
{
}

QString SettingsIo::read(const QString &section, const QString &key, const QString &def) const
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, m_org, m_app);
    return s.value(section + QLatin1Char('/') + key, def).toString();
}

void SettingsIo::write(const QString &section, const QString &key, const QString &text)
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, m_org, m_app);
    s.setValue(section + QLatin1Char('/') + key, text);
    s.sync();
}

QString SettingsIo::location() const
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, m_org, m_app);
    return s.fileName();
}

}  // namespace pf
