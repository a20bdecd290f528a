#include "ClientArea.h"

namespace tarnwick {

ClientArea::ClientArea(QWidget* parent) : QWidget(parent) {}

void ClientArea::dockBars(QWidget* top, QWidget* bottom) {
    top_ = top;
    bottom_ = bottom;
    placeBars();
}

void ClientArea::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeBars();
}

void ClientArea::placeBars() {
    if (top_) top_->setGeometry(0, 0, width(), top_->height());
    if (bottom_) bottom_->setGeometry(0, height() - bottom_->height(), width(), bottom_->height());
}

}  // namespace tarnwick
