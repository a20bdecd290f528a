#include "CaptionCheckBox.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace tarnwick {

CaptionCheckBox::CaptionCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {}

QRect CaptionCheckBox::captionRect() const {
    QStyleOptionButton option;
    initStyleOption(&option);
    const QRect indicator = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
    const int spacing = style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &option, this);
    QRect caption = rect();
    caption.setLeft(indicator.right() + 1 + spacing);
    return QStyle::visualRect(layoutDirection(), rect(), caption);
}

void CaptionCheckBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);

    QStyleOptionButton box = option;
    box.rect = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
    painter.drawPrimitive(QStyle::PE_IndicatorCheckBox, box);

    const QRect caption = captionRect();
    const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
    painter.drawItemText(caption, flags, option.palette, isEnabled(), text(), QPalette::WindowText);

    if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect =
            fontMetrics().boundingRect(caption, flags, text()).adjusted(-1, 0, 1, 0) & rect();
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

bool CaptionCheckBox::hitButton(const QPoint& pos) const { return rect().contains(pos); }

}  // namespace tarnwick
