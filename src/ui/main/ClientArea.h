// The main window's client area. Its children keep the positions they were
// given, except the two docked bars: the top bar stays at the top edge and the
// bottom bar at the bottom edge, both across the full width.
#pragma once

#include <QPointer>
#include <QWidget>

namespace tarnwick {

class ClientArea : public QWidget {
    Q_OBJECT
  public:
    explicit ClientArea(QWidget* parent = nullptr);

    // The bars keep the heights they have when docked.
    void dockBars(QWidget* top, QWidget* bottom);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void placeBars();

    QPointer<QWidget> top_;
    QPointer<QWidget> bottom_;
};

}  // namespace tarnwick
