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

QList<std::pair<QString, QString>> SettingsIo::readSection(const QString &section) const
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, m_org, m_app);
    s.beginGroup(section);
    QList<std::pair<QString, QString>> out;
    const QStringList keys = s.childKeys();
    for (const QString &key : keys) {
        const QVariant v = s.value(key);
        out.append({key, v.typeId() == QMetaType::QStringList ? v.toStringList().join(QLatin1Char(',')) : v.toString()});
    }
    return out;
}

QString SettingsIo::location() const
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, m_org, m_app);
    return s.fileName();
}

}  // namespace pf
