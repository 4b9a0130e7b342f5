#include <QApplication>

#include <gtest/gtest.h>

// The tests run inside a QApplication (offscreen), as the program does: the
// engine's threads send their messages to the user-interface thread.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
