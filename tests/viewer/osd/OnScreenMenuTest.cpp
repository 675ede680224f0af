#include "viewer/ViewerRig.h"

#include "common/SystemLog.h"
#include "device/ReportProtocol.h"
#include "ui/DraggableView.h"
#include "ui/DraggableWindow.h"
#include "ui/LineOverlayView.h"
#include "ui/MainMenu.h"
#include "ui/MenuTags.h"
#include "ui/TableViewMenu.h"
#include "ui/UnscrollableScrollView.h"
#include "viewer/OnScreenDisplay.h"
#include "viewer/VideoWindowPlacement.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QMenuBar>
#include <QTest>

using namespace kelvo;
using namespace kelvo::testing;

namespace {

constexpr std::uint8_t kDisplay = device::HIDReportOSDToggle;
constexpr std::uint8_t kZoomIn = device::HIDReportZoomIn;
constexpr std::uint8_t kZoomOut = device::HIDReportZoomOut;
constexpr std::uint8_t kMode = device::HIDReportModeButton;

// A viewer with its window on screen and a camera chosen, as the user has it.
struct ShownViewer : ViewerRig {
    viewer::OnScreenDisplay &osd;
    ui::TableViewMenu &list;
    int beeps = 0;
    ScopedLogCapture log;

    explicit ShownViewer(bool chosenCamera = true)
        : osd(*controller.onScreenDisplay()), list(*controller.outlets().OSDTableView)
    {
        controller.setPreviewConnection(true, true, true);
        if (chosenCamera)
            controller.setVideoDevices({{QStringLiteral("Quadrel"), QStringLiteral("q1"), QStringLiteral("q")}}, 0);
        osd.setBeep([this] { ++beeps; });
        controller.videoWindow()->show();
        controller.videoWindow()->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(controller.videoWindow()));
        sent();
    }

    viewer::VideoWindowPlacement &placement() { return *controller.placement(); }
    QStringList rows() const
    {
        QStringList texts;
        for (int row = 0; row < list.count(); ++row)
            texts << list.item(row)->text();
        return texts;
    }
    // A button of the simulated camera, once the viewer has acted on it.
    void press(std::uint8_t code)
    {
        const int before = log.count("Got HID report\n");
        camera->sendCode(code);
        EXPECT_TRUE(waitFor([&] { return log.count("Got HID report\n") > before; }));
        QElapsedTimer handled;
        handled.start();
        waitFor([&] { return handled.elapsed() > 30; });
    }
    // A key typed where the keyboard focus is, shortcuts included.
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : controller.videoWindow();
        QTest::keyClick(target, key, modifiers);
        QCoreApplication::processEvents();
    }
    bool waitForMenu(bool shown)
    {
        return waitFor([&] { return osd.OSDIsVisible() == shown && !placement().transitioningToFullScreen(); });
    }
    bool waitForFullScreen(bool on)
    {
        return waitFor([&] {
            return placement().isFullScreen() == on && !placement().transitioningToFullScreen() &&
                   !placement().transitioningFromFullScreen();
        });
    }
};

} // namespace

// The camera's own buttons, as the simulated Quadrel reports them: the
// display button takes the window to full screen and the menu shows once it
// is there; zoom in and out move the selection, mode runs the row.
TEST(OnScreenMenu, TheCamerasButtonsWorkTheMenuInFullScreen)
{
    ShownViewer v;
    v.camera->sendCode(kDisplay);
    ASSERT_TRUE(v.waitFor([&] { return v.placement().transitioningToFullScreen(); }));
    EXPECT_FALSE(v.osd.OSDIsVisible()) << "shown before full screen was reached";
    ASSERT_TRUE(v.waitForMenu(true));
    EXPECT_TRUE(v.placement().isFullScreen());
    EXPECT_FALSE(v.controller.outlets().OSDScrollView->isHidden());
    EXPECT_EQ(QApplication::focusWidget(), &v.list);
    // Read by people who cannot read the menu bar.
    EXPECT_GE(v.list.font().pointSizeF(), 3 * QApplication::font().pointSizeF());

    EXPECT_EQ(v.rows(), (QStringList{"Color Selection", "Horizontal Markers (None)", "Vertical Markers (None)",
                                     "White Balance (Normal)", "Show Audio Level Indicator", "Mirror Image",
                                     "Rotate screen (landscape)", "Product Information"}));
    EXPECT_EQ(v.list.selectedRow(), 0);

    // Up on the first row stays; the zoom buttons do not zoom meanwhile.
    const int zoom = v.controller.zoomLevel();
    v.press(kZoomIn);
    EXPECT_EQ(v.list.selectedRow(), 0);
    v.press(kZoomOut);
    EXPECT_EQ(v.list.selectedRow(), 1);
    EXPECT_EQ(v.controller.zoomLevel(), zoom);
    EXPECT_EQ(v.sent(), Wire{});

    // Mode runs the row, and the row says the new state each time.
    for (const char *expected :
         {"Horizontal Markers (Lines)", "Horizontal Markers (Window)", "Horizontal Markers (None)"}) {
        v.press(kMode);
        EXPECT_EQ(v.list.item(1)->text(), QString::fromLatin1(expected));
        EXPECT_EQ(v.list.selectedRow(), 1);
    }
    // Down never leaves the list.
    for (int i = 0; i < 10; ++i)
        v.press(kZoomOut);
    EXPECT_EQ(v.list.selectedRow(), 7);

    // The display button hides it again; full screen stays.
    v.press(kDisplay);
    EXPECT_FALSE(v.osd.OSDIsVisible());
    EXPECT_TRUE(v.placement().isFullScreen());
    // Zoom buttons zoom again once it is gone.
    v.press(kZoomIn);
    EXPECT_EQ(v.controller.zoomLevel(), zoom + 1);
    // The selection is kept from one showing to the next.
    v.press(kDisplay);
    ASSERT_TRUE(v.waitForMenu(true));
    EXPECT_EQ(v.list.selectedRow(), 7);
}

// Every row's action, run with Return from the keyboard, and what each row
// says afterwards; the white-balance row cycles the camera's balance.
TEST(OnScreenMenu, ReturnRunsEachRowAndTheRowShowsTheNewState)
{
    ShownViewer v;
    v.key(Qt::Key_O);
    ASSERT_TRUE(v.waitForMenu(true)) << "O, the Camera menu's On-Screen Menu, shows it";

    auto runRow = [&](int row) {
        while (v.list.selectedRow() < row)
            v.key(Qt::Key_Down);
        while (v.list.selectedRow() > row)
            v.key(Qt::Key_Up);
        v.key(Qt::Key_Return);
        return v.list.item(row)->text();
    };
    const int colourBefore = int(v.controller.currentColorMode());
    v.controller.setPreferredFilters({0, 1, 2});
    runRow(0);
    EXPECT_NE(int(v.controller.currentColorMode()), colourBefore);

    EXPECT_EQ(runRow(2), "Vertical Markers (Lines)");
    EXPECT_EQ(v.controller.lineOverlayView()->verticalReadingGuideMode(), 1);

    EXPECT_EQ(runRow(3), "White Balance (Cool)");
    EXPECT_EQ(v.sent(), Wire{bytes({0xC9})});
    EXPECT_EQ(runRow(3), "White Balance (Warm)");
    EXPECT_EQ(runRow(3), "White Balance (Normal)");
    EXPECT_EQ(v.controller.colorBalanceMode(), 0);

    EXPECT_EQ(runRow(4), "Hide Audio Level Indicator");
    EXPECT_TRUE(v.controller.showingAudioLevelIndicator());
    EXPECT_EQ(runRow(4), "Show Audio Level Indicator");

    const bool mirrored = v.controller.isMirrored();
    EXPECT_EQ(runRow(5), "Mirror Image");
    EXPECT_NE(v.controller.isMirrored(), mirrored);

    // Quarter turns in the controller's order, each named.
    for (const char *expected : {"Rotate screen (portrait right)", "Rotate screen (flipped)",
                                 "Rotate screen (portrait left)", "Rotate screen (landscape)"})
        EXPECT_EQ(runRow(6), QString::fromLatin1(expected));
    EXPECT_EQ(v.beeps, 0);

    // A save from elsewhere (the menu bar) shows in the rows at once.
    v.controller.perform(ui::MenuCommand::ToggleHorizontalGuides, nullptr);
    EXPECT_EQ(v.list.item(1)->text(), "Horizontal Markers (Lines)");
}

// Without a camera the balance cannot change: the row beeps and the menu,
// its selection and the balance stay.
TEST(OnScreenMenu, TheBalanceRowBeepsWithoutACamera)
{
    ShownViewer v(false);
    v.osd.showHideOnScreenDisplay();
    ASSERT_TRUE(v.waitForMenu(true));
    for (int i = 0; i < 3; ++i)
        v.key(Qt::Key_Down);
    v.key(Qt::Key_Return);
    EXPECT_EQ(v.beeps, 1);
    EXPECT_EQ(v.controller.colorBalanceMode(), 0);
    EXPECT_EQ(v.list.item(3)->text(), "White Balance (Normal)");
    EXPECT_EQ(v.list.selectedRow(), 3);
    EXPECT_TRUE(v.osd.OSDIsVisible());
}

// The about box, and Escape in each state: about box, menu, frozen picture,
// full screen, window.
TEST(OnScreenMenu, AboutBoxAndEscapeInEveryState)
{
    ShownViewer v;
    v.key(Qt::Key_O);
    ASSERT_TRUE(v.waitForMenu(true));
    v.key(Qt::Key_Up); // wraps nowhere: the first row stays
    EXPECT_EQ(v.list.selectedRow(), 0);
    for (int i = 0; i < 7; ++i)
        v.key(Qt::Key_Down);
    v.key(Qt::Key_Return);
    ASSERT_TRUE(v.osd.showingOSDAboutBox());
    auto *about = v.controller.outlets().OSDAboutBoxView;
    EXPECT_TRUE(about->isVisible());
    EXPECT_TRUE(v.osd.aboutBoxText().contains(QStringLiteral("Kelvo Viewer")));
    EXPECT_TRUE(v.controller.placement()->aboutBoxBlurView()->isVisible());
    // Return again hides it; Return shows it; moving the selection hides it.
    v.key(Qt::Key_Return);
    EXPECT_FALSE(v.osd.showingOSDAboutBox());
    v.key(Qt::Key_Return);
    ASSERT_TRUE(v.osd.showingOSDAboutBox());
    v.key(Qt::Key_Up);
    EXPECT_FALSE(v.osd.showingOSDAboutBox());
    EXPECT_EQ(v.list.selectedRow(), 6);
    EXPECT_FALSE(about->isVisible());

    // Escape: the about box first, then the menu, the full screen stays.
    v.key(Qt::Key_Down);
    v.key(Qt::Key_Return);
    ASSERT_TRUE(v.osd.showingOSDAboutBox());
    v.key(Qt::Key_Escape);
    EXPECT_FALSE(v.osd.showingOSDAboutBox());
    EXPECT_TRUE(v.osd.OSDIsVisible());
    v.key(Qt::Key_Escape);
    EXPECT_FALSE(v.osd.OSDIsVisible());
    EXPECT_TRUE(v.placement().isFullScreen());

    // With the menu gone: a frozen picture unfreezes first, then full
    // screen ends, then Escape does nothing more.
    v.controller.freezeFrame();
    ASSERT_TRUE(v.controller.isFrozen());
    v.key(Qt::Key_Escape);
    EXPECT_FALSE(v.controller.isFrozen());
    EXPECT_TRUE(v.placement().isFullScreen());
    v.key(Qt::Key_Escape);
    ASSERT_TRUE(v.waitForFullScreen(false));
    v.key(Qt::Key_Escape);
    EXPECT_FALSE(v.placement().isFullScreen());
    EXPECT_FALSE(v.osd.OSDIsVisible());

    // Freezing hides a menu that is up.
    v.key(Qt::Key_O);
    ASSERT_TRUE(v.waitForMenu(true));
    v.controller.freezeFrame();
    EXPECT_FALSE(v.osd.OSDIsVisible());
    v.controller.unfreezeFrame();
    // Leaving full screen hides it as well, with its about box.
    v.key(Qt::Key_O);
    v.key(Qt::Key_Down);
    v.key(Qt::Key_Return);
    ASSERT_TRUE(v.osd.showingOSDAboutBox());
    v.controller.perform(ui::MenuCommand::EnterExitFullScreen, nullptr);
    ASSERT_TRUE(v.waitForFullScreen(false));
    EXPECT_FALSE(v.osd.OSDIsVisible());
    EXPECT_FALSE(v.osd.showingOSDAboutBox());
    EXPECT_FALSE(about->isVisible());
}

// Buttons and keys that arrive while the window is still on its way into
// full screen neither show a half-made menu nor get lost for later.
TEST(OnScreenMenu, ButtonsDuringTheTransitionLeaveNoHalfShownMenu)
{
    ShownViewer v;
    // The buttons come back to back, as fast as the camera reports them.
    for (std::uint8_t code : {kDisplay, kZoomOut, kMode})
        v.camera->sendCode(code);
    ASSERT_TRUE(v.waitFor([&] { return v.placement().transitioningToFullScreen(); }));
    v.key(Qt::Key_Down);
    v.key(Qt::Key_Return);
    ASSERT_TRUE(v.waitForMenu(true));
    EXPECT_EQ(v.list.selectedRow(), 0);
    EXPECT_EQ(v.list.item(1)->text(), "Horizontal Markers (None)");

    // Two presses on the way in cancel each other: full screen, no menu.
    v.press(kDisplay);
    v.controller.perform(ui::MenuCommand::EnterExitFullScreen, nullptr);
    ASSERT_TRUE(v.waitForFullScreen(false));
    v.press(kDisplay);
    v.press(kDisplay);
    ASSERT_TRUE(v.waitForFullScreen(true));
    EXPECT_FALSE(v.osd.OSDIsVisible());
    EXPECT_TRUE(v.controller.outlets().OSDScrollView->isHidden());
    // The next press is not swallowed.
    v.press(kDisplay);
    EXPECT_TRUE(v.osd.OSDIsVisible());
    v.press(kZoomOut);
    EXPECT_EQ(v.list.selectedRow(), 1);
}

// The zoom buttons' three modes, and the name of the mode in effect.
TEST(OnScreenMenu, ZoomControlModeCyclesAndIsNamed)
{
    ShownViewer v;
    QStringList names;
    for (int i = 0; i < 4; ++i) {
        names << v.osd.zoomModeUIString();
        v.osd.cycleZoomControlMode();
    }
    EXPECT_EQ(names, (QStringList{"Zoom Dial Mode (Zoom)", "Zoom Dial Mode (Spacing)", "Zoom Dial Mode (Scroll)",
                                  "Zoom Dial Mode (Zoom)"}));
    // Both flags set (an old settings file) goes back to plain zoom.
    v.controller.setZoomChangesGuideSpacing(true);
    v.controller.setZoomScrollsGuides(true);
    v.osd.cycleZoomControlMode();
    EXPECT_FALSE(v.controller.zoomChangesGuideSpacing());
    EXPECT_FALSE(v.controller.zoomScrollsGuides());
    // The three balance setters, each sent to the camera.
    v.osd.setColorBalanceModeWarm();
    EXPECT_EQ(v.controller.colorBalanceMode(), 2);
    v.osd.setColorBalanceModeCool();
    EXPECT_EQ(v.controller.colorBalanceMode(), 1);
    v.osd.setColorBalanceModeNormal();
    EXPECT_EQ(v.controller.colorBalanceMode(), 0);
    EXPECT_EQ(v.sent(), (Wire{bytes({0xCA}), bytes({0xC9}), bytes({0xC8})}));
}
