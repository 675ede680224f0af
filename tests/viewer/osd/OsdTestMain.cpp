// GoogleTest entry point with the viewer's own application object, whose
// event routing the tests here go through.
#include "ui/KelvoViewerApplication.h"

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    kelvo::ui::KelvoViewerApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
