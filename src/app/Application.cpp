#include "Application.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

namespace tarnwick {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

void Application::setEscapeHandler(std::function<void(const QString&)> handler) {
    escapeHandler_ = std::move(handler);
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        escaped(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        escaped(QStringLiteral("Unknown error"));
    }
    return true;
}

void Application::escaped(const QString& what) {
    if (escapeHandler_) {
        escapeHandler_(what);
        return;
    }
    std::fprintf(stderr, "tarnwick: %s\n", qPrintable(what));
    std::exit(kEscapeStatus);
}

}  // namespace tarnwick
