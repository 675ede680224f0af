// GoogleTest entry point for tests that need a QApplication: widgets, timers
// and queued invocations all want one on the main thread.
#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    // Headless unless a test asks for a real display; test discovery runs
    // the binary without the test's environment.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt keeps its own state (the file dialog's last folder) in the user's
    // settings; a test that answers a dialog with an odd folder must not
    // leave the next test's dialog opening there, nor touch the user's.
    QTemporaryDir qtSettings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, qtSettings.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, qtSettings.path());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
