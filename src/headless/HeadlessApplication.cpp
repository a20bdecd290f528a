#include "HeadlessApplication.h"

#include <exception>
#include <utility>

namespace tarnwick {

HeadlessApplication::HeadlessApplication(int& argc, char** argv) : QCoreApplication(argc, argv) {}

void HeadlessApplication::setEscapeHandler(std::function<void(const QString&)> handler) {
    escapeHandler_ = std::move(handler);
}

bool HeadlessApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QCoreApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        if (!escapeHandler_) throw;
        escapeHandler_(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        if (!escapeHandler_) throw;
        escapeHandler_(QStringLiteral("Unknown error"));
    }
    return true;
}

}  // namespace tarnwick
