#include "platform/wrapcheckbox_ui.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace pf {

void WrapCheckBox::paintEvent(QPaintEvent *)
{
    QStylePainter p(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    const QString caption = opt.text;
    opt.text.clear();
    const int indicator = style()->pixelMetric(QStyle::PM_IndicatorWidth, &opt, this);
    const int spacing = style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &opt, this);
    // The indicator, centred on the caption's height like a one-line box.
    opt.rect = QRect(0, 0, indicator + spacing, height());
    p.drawControl(QStyle::CE_CheckBox, opt);
    const QRect textRect(indicator + spacing, 0, width() - indicator - spacing, height());
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap | Qt::TextShowMnemonic, caption);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = p.boundingRect(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, caption).adjusted(-1, 0, 1, 0);
        p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

}  // namespace pf
