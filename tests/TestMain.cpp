// The one gtest entry point for every test binary that needs a Qt application
// object. The main window's tests (TARNWICK_TEST_APPLICATION) get the
// program's own application object, other widget tests (TARNWICK_TEST_WIDGETS) a
// QApplication, the headless logger's (TARNWICK_TEST_ESCAPING) its own
// escaping QCoreApplication, the others a QCoreApplication; either runs on the offscreen platform
// unless one is set, so that listing the tests works without a display.
#include <gtest/gtest.h>

#include <QtGlobal>
#if defined(TARNWICK_TEST_APPLICATION)
#include "Application.h"
using App = tarnwick::Application;
#elif defined(TARNWICK_TEST_ESCAPING)
#include <QCoreApplication>

#include "EscapingApplication.h"
using App = tarnwick::EscapingApplication<QCoreApplication>;
#elif defined(TARNWICK_TEST_WIDGETS)
#include <QApplication>
using App = QApplication;
#else
#include <QCoreApplication>
using App = QCoreApplication;
#endif

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    App app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
