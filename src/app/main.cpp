#include <QApplication>

#include "MainForm.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnwick"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.0"));
    // The window is closed through its own handlers; the start-up ends the run.
    QApplication::setQuitOnLastWindowClosed(false);
    return tarnwick::MainForm();
}
