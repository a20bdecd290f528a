#include "AddressBox.h"

#include <QLineEdit>

namespace tarnwick {

AddressBox::AddressBox(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    // Typing into the box changes what it shows, nothing more: Enter adds no
    // entry to its list.
    setInsertPolicy(QComboBox::NoInsert);
    // What the user types wins over an address still waiting for the paint.
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { pending_.reset(); });
    QAccessible::installActivationObserver(this);
}

AddressBox::~AddressBox() { QAccessible::removeActivationObserver(this); }

void AddressBox::accessibilityActiveChanged(bool active) {
    screenReader_ = active;
    if (active) putPending();
}

void AddressBox::setAddress(const QString& url, bool canWait) {
    if (canWait && !screenReader_) {
        pending_ = url;
        return;
    }
    pending_.reset();
    put(url);
}

void AddressBox::putPending() {
    if (pending_) put(*std::exchange(pending_, std::nullopt));
}

QString AddressBox::currentText() const { return pending_.value_or(QComboBox::currentText()); }

void AddressBox::put(const QString& url) {
    QLineEdit* box = lineEdit();  // the text, not the frame around it
    if (box->text() != url) box->setText(url);
}

}  // namespace tarnwick
