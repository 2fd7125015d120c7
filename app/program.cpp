#include "app/program.h"

#include <QApplication>
#include <QFont>
#include <QIcon>

namespace pf {

void applyProgramLook(QApplication &app)
{
    QCoreApplication::setOrganizationName(QStringLiteral("Pixferry"));
    QCoreApplication::setApplicationName(QStringLiteral("Pixferry"));
    QGuiApplication::setApplicationDisplayName(QString());
    app.setWindowIcon(QIcon(QStringLiteral(":/pixferry.png")));
    // A small sans-serif face: the window tables were laid out for 8-point text.
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    app.setFont(font);
}

}  // namespace pf
