// GoogleTest entry point for tests that need a QApplication: widgets, timers
// and queued invocations all want one on the main thread.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    // Headless unless a test asks for a real display; test discovery runs
    // the binary without the test's environment.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
