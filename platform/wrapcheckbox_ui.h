#pragma once
// A check box whose caption wraps onto more lines when the box is narrow and
// tall, as the About tab's splash choice is laid out.

#include <QCheckBox>

namespace pf {

class WrapCheckBox : public QCheckBox {
    Q_OBJECT
public:
    using QCheckBox::QCheckBox;

protected:
    void paintEvent(QPaintEvent *) override;
    bool hitButton(const QPoint &pos) const override { return rect().contains(pos); }
};

}  // namespace pf
