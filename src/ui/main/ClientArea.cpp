#include "ClientArea.h"

ClientArea::ClientArea(QWidget* parent) : QWidget(parent) {}

void ClientArea::dockBars(QWidget* top, QWidget* bottom) {
    m_top = top;
    m_bottom = bottom;
    placeBars();
}

void ClientArea::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeBars();
}

void ClientArea::placeBars() {
    if (m_top) m_top->setGeometry(0, 0, width(), m_top->height());
    if (m_bottom)
        m_bottom->setGeometry(0, height() - m_bottom->height(), width(), m_bottom->height());
}
