// GoogleTest entry point for tests that need a QApplication: widgets, timers
// and queued invocations all want one on the main thread.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
