#include "platform/twips_ui.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

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
    QScreen *screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect screenArea = screen->availableGeometry();
    const QRect area = owner && owner->isVisible() ? owner->frameGeometry() : screenArea;
    QRect frame = window->frameGeometry();
    // Before the first show the frame is not known yet: centre the client area.
    if (!window->isVisible())
        frame = QRect(QPoint(0, 0), window->size());
    frame.moveCenter(area.center());
    // A window larger than a small owner near the edge stays on the screen.
    frame.moveLeft(std::max(screenArea.left(), std::min(frame.left(), screenArea.right() + 1 - frame.width())));
    frame.moveTop(std::max(screenArea.top(), std::min(frame.top(), screenArea.bottom() + 1 - frame.height())));
    window->move(frame.topLeft());
}

void repaintNow(QWidget *w)
{
    if (w && w->isVisible())
        w->repaint();
}

}  // namespace pf
