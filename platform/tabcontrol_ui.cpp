#include "platform/tabcontrol_ui.h"

#include <QPainter>

namespace pf {

TabControl::TabControl(QWidget *parent) : QWidget(parent), m_bar(new QTabBar(this))
{
    m_bar->setDrawBase(false);
    m_bar->setExpanding(true);
    m_bar->setUsesScrollButtons(false);
    setFocusPolicy(Qt::TabFocus);
    setFocusProxy(m_bar);
    connect(m_bar, &QTabBar::currentChanged, this, [this](int index) {
        const int previous = m_current;
        m_current = index;
        showCurrent();
        if (previous >= 0 && index >= 0)
            Q_EMIT tabChanged(previous);
    });
}

QWidget *TabControl::addTab(const QString &caption)
{
    auto *p = new QWidget(this);
    p->setGeometry(rect());
    m_pages.append(p);
    const bool first = m_bar->count() == 0;
    m_bar->addTab(caption);
    if (first)
        m_current = 0;
    showCurrent();
    m_bar->raise();
    return p;
}

void TabControl::showCurrent()
{
    for (int i = 0; i < m_pages.size(); ++i)
        m_pages[i]->setVisible(i == m_current);
    m_bar->raise();
}

void TabControl::resizeEvent(QResizeEvent *)
{
    m_bar->setGeometry(0, 0, width(), m_bar->sizeHint().height());
    for (QWidget *p : std::as_const(m_pages))
        p->setGeometry(rect());
}

void TabControl::focusInEvent(QFocusEvent *e) { QWidget::focusInEvent(e); }

void TabControl::paintEvent(QPaintEvent *)
{
    // A plain panel in the window's colour, so that opaque labels on the
    // pages blend in, framed like a raised panel.
    QPainter p(this);
    const int barHeight = m_bar->sizeHint().height();
    const QRect panel(0, barHeight - 1, width(), height() - barHeight + 1);
    p.fillRect(panel, palette().window());
    p.setPen(palette().color(QPalette::Light));
    p.drawLine(panel.topLeft(), panel.bottomLeft());
    p.drawLine(panel.topLeft(), panel.topRight());
    p.setPen(palette().color(QPalette::Dark));
    p.drawLine(panel.bottomLeft(), panel.bottomRight());
    p.drawLine(panel.topRight(), panel.bottomRight());
}

}  // namespace pf
