// The address box: an editable combo box into which the acquisition cycle
// writes each page's address just before requesting it. Giving a line edit a
// text lays it out at once (tens of microseconds, about a third of a page's
// whole cost), and the cycle does so up to a hundred times a second. So the
// box keeps the newest address as its value at once, and, while its window
// is shown, its line edit takes it only at the next paint (putPending()).
// Whoever reads the box reads the value: currentText() here and, since a
// screen reader reads the line edit, the line edit itself whenever
// accessibility is active (each address goes in at once then).
#pragma once

#include <QAccessible>
#include <QComboBox>
#include <optional>

namespace tarnwick {

class AddressBox : public QComboBox, private QAccessible::ActivationObserver {
  public:
    explicit AddressBox(QWidget* parent);
    ~AddressBox() override;

    // The cycle's address. `canWait`: the window is shown, so painting is
    // paced; the line edit then takes it at the next putPending(), unless a
    // screen reader listens.
    void setAddress(const QString& url, bool canWait);
    // Puts a waiting address into the line edit (before a paint).
    void putPending();
    // What the box holds: the address waiting for the paint, else the line
    // edit's text (what the user typed included). Hides QComboBox's, which
    // reads the line edit only.
    QString currentText() const;

  private:
    void put(const QString& url);
    // A screen reader has started or stopped listening.
    void accessibilityActiveChanged(bool active) override;

    std::optional<QString> pending_;
    bool screenReader_ = QAccessible::isActive();
};

}  // namespace tarnwick
