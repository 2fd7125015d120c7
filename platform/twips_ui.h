#pragma once
// Window-layer helpers: twips to pixels (15 twips a pixel) and captions.

#include <QRect>
#include <QString>
#include <QWidget>

#include <cmath>

namespace pf {

constexpr double kTwipsPerPixel = 15.0;

inline int tw(double twips) { return int(std::lround(twips / kTwipsPerPixel)); }
inline double toTwips(int pixels) { return pixels * kTwipsPerPixel; }

inline QRect twRect(double left, double top, double width, double height)
{
    return QRect(tw(left), tw(top), tw(width), tw(height));
}

inline void placeTw(QWidget *w, double left, double top, double width, double height)
{
    w->setGeometry(twRect(left, top, width, height));
}

// A label caption as shown: "&&" is one '&', a single '&' marks nothing on a
// label without a buddy.
QString labelText(const QString &caption);

// Centres a top-level window over another (or on the screen when none).
void centreOver(QWidget *window, const QWidget *owner);

// Repaints a widget at once, also while a handler has not returned to the
// event loop.
void repaintNow(QWidget *w);

}  // namespace pf
