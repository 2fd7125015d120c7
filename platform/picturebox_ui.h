#pragma once
// A picture box that stretches its picture to its own size and reports a
// click on it. Without a picture it draws nothing but still takes clicks.

#include <QImage>
#include <QPixmap>
#include <QWidget>

namespace pf {

class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget *parent = nullptr);

    // A null image empties the box.
    void setPicture(const QImage &picture);
    const QImage &picture() const { return m_picture; }

Q_SIGNALS:
    // The left button was pressed and released over the box.
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QImage m_picture;
    QPixmap m_shown;  // the picture smoothly scaled to the box, made when painted
    bool m_pressed = false;
};

}  // namespace pf
