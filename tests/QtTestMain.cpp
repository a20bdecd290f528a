// gtest entry point for tests that need a Qt application object. Widget
// tests get a QApplication (offscreen unless a platform is set), the others
// a QCoreApplication.
#include <gtest/gtest.h>

#include <QtGlobal>
#ifdef TARNWICK_TEST_WIDGETS
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
