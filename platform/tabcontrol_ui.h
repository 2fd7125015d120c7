#pragma once
// A tab control whose pages share the control's own coordinates: a child at
// (240, 360) twips stands 240 and 360 twips from the control's top-left corner,
// below the tab strip, as the window tables lay it out.

#include <QTabBar>
#include <QWidget>

namespace pf {

class TabControl : public QWidget {
    Q_OBJECT
public:
    explicit TabControl(QWidget *parent = nullptr);

    // Adds a tab; the returned page covers the whole control.
    QWidget *addTab(const QString &caption);
    QWidget *page(int index) const { return m_pages.value(index); }
    int count() const { return int(m_pages.size()); }

    int currentIndex() const { return m_bar->currentIndex(); }
    // Brings a tab to the front; tabChanged follows when it changes.
    void setCurrentIndex(int index) { m_bar->setCurrentIndex(index); }
    QTabBar *tabBar() const { return m_bar; }

Q_SIGNALS:
    // After the tab in front changed, with the tab that was in front before.
    void tabChanged(int previousTab);

protected:
    void paintEvent(QPaintEvent *) override;
    void resizeEvent(QResizeEvent *) override;
    void focusInEvent(QFocusEvent *) override;

private:
    void showCurrent();

    QTabBar *m_bar;
    QList<QWidget *> m_pages;
    int m_current = -1;
};

}  // namespace pf
