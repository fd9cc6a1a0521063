// The GUI tests' main: one QApplication on the offscreen platform for every
// test, so widgets are real but no display is needed.
#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Unless the caller chose a platform (a person watching under Xvfb), the
    // tests never need a display.
    ::setenv("QT_QPA_PLATFORM", "offscreen", /*overwrite=*/0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
