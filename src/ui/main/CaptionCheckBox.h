// A check box whose caption wraps at word boundaries onto as many lines as its
// height allows, for a check box laid out narrower than its caption.
#pragma once

#include <QCheckBox>

namespace tarnwick {

class CaptionCheckBox : public QCheckBox {
    Q_OBJECT
  public:
    explicit CaptionCheckBox(const QString& text, QWidget* parent = nullptr);

    // Where the caption is drawn: right of the box, the full height.
    QRect captionRect() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
};

}  // namespace tarnwick
