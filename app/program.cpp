#include "app/program.h"

#include <QApplication>
#include <QFont>
#include <QIcon>

// The pictures are compiled into the widget library; a static library's
// resources are registered by hand.
static void initResources() { Q_INIT_RESOURCE(resources); }

namespace pf {

void applyProgramLook(QApplication &app)
{
    initResources();
    QCoreApplication::setOrganizationName(QStringLiteral("Pixferry"));
    QCoreApplication::setApplicationName(QStringLiteral("Pixferry"));
    QGuiApplication::setApplicationDisplayName(QString());
    // The desktop entry it is installed with, so that the desktop pairs the
    // windows with the entry's name and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.pixferry.Pixferry"));
    app.setWindowIcon(QIcon(QStringLiteral(":/pixferry.png")));
    // A small sans-serif face: the window tables were laid out for 8-point text.
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    app.setFont(font);
    // Frames drawn with their line through the middle of the caption, the
    // caption sitting on the line, and children placed from the frame's own
    // top-left corner.
    app.setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid palette(mid); margin-top: 6px; }"
        "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 7px; top: 0px; }"));
}

}  // namespace pf
