#include "platform/twips_ui.h"

#include <QGuiApplication>
#include <QScreen>

namespace pf {

QString labelText(const QString &caption)
{
    QString out;
    out.reserve(caption.size());
    for (int i = 0; i < caption.size(); ++i) {
        const QChar c = caption.at(i);
        if (c == QLatin1Char('&')) {
            if (i + 1 < caption.size() && caption.at(i + 1) == QLatin1Char('&')) {
                out += c;
                ++i;
            }
            continue;
        }
        out += c;
    }
    return out;
}

void centreOver(QWidget *window, const QWidget *owner)
{
    QRect area;
    if (owner && owner->isVisible()) {
        area = owner->frameGeometry();
    } else {
        QScreen *screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
        if (!screen)
            return;
        area = screen->availableGeometry();
    }
    QRect frame = window->frameGeometry();
    // Before the first show the frame is not known yet: centre the client area.
    if (!window->isVisible())
        frame = QRect(QPoint(0, 0), window->size());
    window->move(area.center() - QPoint(frame.width() / 2, frame.height() / 2));
}

void repaintNow(QWidget *w)
{
    if (w && w->isVisible())
        w->repaint();
}

}  // namespace pf
