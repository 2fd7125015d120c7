#include "platform/picturebox_ui.h"

#include <QMouseEvent>
#include <QPainter>

namespace pf {

PictureBox::PictureBox(QWidget *parent) : QWidget(parent) {}

void PictureBox::setPicture(const QImage &picture)
{
    m_picture = picture;
    m_shown = QPixmap();
    update();
}

void PictureBox::paintEvent(QPaintEvent *)
{
    if (m_picture.isNull())
        return;
    const qreal dpr = devicePixelRatioF();
    const QSize device = (QSizeF(size()) * dpr).toSize();
    if (device.isEmpty())
        return;
    // Scaled once per size: stretching at every paint would be slow and coarse.
    if (m_shown.size() != device) {
        m_shown = QPixmap::fromImage(m_picture.size() == device
                                         ? m_picture
                                         : m_picture.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        m_shown.setDevicePixelRatio(dpr);
    }
    QPainter p(this);
    p.drawPixmap(0, 0, m_shown);
}

void PictureBox::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void PictureBox::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    event->accept();
    if (click)
        Q_EMIT clicked();
}

}  // namespace pf
