#include "ViewerRig.h"

#include "ui/DraggableWindow.h"
#include "ui/MainMenu.h"
#include "ui/MenuTags.h"
#include "ui/PreferencesWindow.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QTabWidget>

#include "ui/DiagnosticWindow.h"

using namespace kelvo;
using namespace kelvo::testing;

namespace {

QMenu *submenu(viewer::MainWindowDelegate &c, int menu, int tag)
{
    QAction *item = ui::findMenuItem(c.mainMenu()->menuBar(), menu, tag);
    return item ? item->menu() : nullptr;
}

std::vector<int> tags(QMenu *menu)
{
    std::vector<int> out;
    for (QAction *a : menu->actions())
        out.push_back(ui::tagOf(a));
    return out;
}

std::vector<int> checkedTags(QMenu *menu)
{
    std::vector<int> out;
    for (QAction *a : menu->actions())
        if (a->isChecked())
            out.push_back(ui::tagOf(a));
    return out;
}

} // namespace

TEST(ViewerMenus, WithoutACameraTheDeviceMenuHoldsOnlyNoneChecked)
{
    ViewerRig rig(false);
    rig.controller.updateCameraMenu();
    QMenu *devices = submenu(rig.controller, 42, 42);
    ASSERT_EQ(devices->actions().size(), 1);
    EXPECT_EQ(ui::tagOf(devices->actions().first()), -1);
    EXPECT_TRUE(devices->actions().first()->isChecked());
    EXPECT_EQ(devices->actions().first()->text(), QStringLiteral("None"));
    EXPECT_FALSE(devices->actions().first()->isEnabled());
}

TEST(ViewerMenus, DeviceItemsCarryTheirIndexAndTheSelectionIsChecked)
{
    ViewerRig rig(false);
    int chosen = -1;
    rig.controller.setDeviceSelectionHandlers([&](int index) { chosen = index; }, {});
    rig.controller.setVideoDevices(
        {{QStringLiteral("Built-in"), QStringLiteral("a"), {}}, {QStringLiteral("Quadrel"), QStringLiteral("b"), {}}},
        1);
    QMenu *devices = submenu(rig.controller, 42, 42);
    EXPECT_EQ(tags(devices), (std::vector<int>{0, 1}));
    EXPECT_EQ(checkedTags(devices), std::vector<int>{1});
    devices->actions().at(0)->trigger();
    EXPECT_EQ(chosen, 0);
}

TEST(ViewerMenus, ColourMenusForAPreferredListAndAChosenIndex)
{
    ViewerRig rig(false);
    rig.controller.setPreferredFilters({0, 5, 9});
    rig.controller.updateColorModeMenus();
    rig.controller.setChosenPreferredColorMode(1);
    QMenu *preferred = submenu(rig.controller, 1000, 1000);
    QMenu *all = submenu(rig.controller, 1000, 1001);
    EXPECT_EQ(tags(preferred), (std::vector<int>{1000, 1001, 1002}));
    ASSERT_EQ(all->actions().size(), 31);
    for (int mode = 0; mode < 31; ++mode)
        EXPECT_EQ(ui::tagOf(all->actions().at(mode)), mode);
    EXPECT_EQ(checkedTags(preferred), std::vector<int>{1001});
    EXPECT_EQ(checkedTags(all), std::vector<int>{5});
    EXPECT_EQ(preferred->actions().at(2)->text(), all->actions().at(9)->text());

    // Choosing from the menus goes through the tags.
    all->actions().at(12)->trigger();
    EXPECT_EQ(rig.controller.chosenPreferredColorMode(), -1);
    EXPECT_TRUE(checkedTags(preferred).empty());
    EXPECT_EQ(checkedTags(all), std::vector<int>{12});
}

TEST(ViewerMenus, EmptyPreferredListOffersThePreferencesOnTheColoursTab)
{
    ViewerRig rig(false);
    rig.controller.setPreferredFilters({});
    rig.controller.updateColorModeMenus();
    QMenu *preferred = submenu(rig.controller, 1000, 1000);
    ASSERT_EQ(preferred->actions().size(), 1);
    EXPECT_EQ(ui::tagOf(preferred->actions().first()), -1);
    preferred->actions().first()->trigger();
    EXPECT_TRUE(rig.controller.preferencesWindow()->isVisible());
    EXPECT_EQ(rig.controller.preferencesWindow()->tabView()->currentWidget()->objectName(),
              QStringLiteral("colors_tab"));
}

TEST(ViewerMenus, ShortenedPreferredListChecksNothingForAStaleIndex)
{
    ViewerRig rig(false);
    rig.controller.setPreferredFilters({0, 5, 9});
    rig.controller.setChosenPreferredColorMode(2);
    rig.controller.setPreferredFilters({0});
    rig.controller.updateColorModeMenus();
    EXPECT_TRUE(checkedTags(submenu(rig.controller, 1000, 1001)).empty());
}

TEST(ViewerMenus, RecordingNeedsAVideoDeviceAndDeinterlacingTheCamera)
{
    ViewerRig rig(false);
    QAction *record = ui::findMenuItem(rig.controller.mainMenu()->menuBar(), 100, 110);
    QAction *deinterlace = ui::findMenuItem(rig.controller.mainMenu()->menuBar(), 42, 10101010);
    // The items' enabled state follows the viewer's, without a menu opening.
    EXPECT_FALSE(record->isEnabled());
    EXPECT_FALSE(deinterlace->isEnabled());
    EXPECT_FALSE(rig.controller.mainMenu()->trigger(record));
    EXPECT_FALSE(rig.controller.isRecording());
    rig.controller.setVideoDevices({{QStringLiteral("Quadrel"), QStringLiteral("q"), {}}}, 0);
    rig.controller.setEnableDeinterlaceMenuItem(true);
    EXPECT_TRUE(record->isEnabled());
    EXPECT_TRUE(deinterlace->isEnabled());
    EXPECT_TRUE(rig.controller.mainMenu()->trigger(record));
    // Without a capture session there is no movie to write.
    EXPECT_FALSE(rig.controller.isRecording());

    rig.controller.setEnableDeinterlacing(true);
    rig.controller.setEnableDeinterlaceMenuItem(false);
    EXPECT_FALSE(rig.controller.enableDeinterlacing());
    EXPECT_FALSE(deinterlace->isChecked());
}

TEST(ViewerMenus, PseudoModalDisablesAndRestoresEveryMenu)
{
    ViewerRig rig(false);
    rig.controller.startPseudoModal();
    for (QAction *top : rig.controller.mainMenu()->menuBar()->actions())
        EXPECT_FALSE(top->isEnabled());
    rig.controller.endPseudoModal();
    // The hidden internal menu stays unusable while it is hidden.
    for (QAction *top : rig.controller.mainMenu()->menuBar()->actions())
        EXPECT_EQ(top->isEnabled(), top->isVisible()) << top->text().toStdString();
}

TEST(ViewerMenus, CheckMarkHelperAnswersWhetherThePathExists)
{
    ViewerRig rig(false);
    EXPECT_TRUE(rig.controller.setCheckMarkForItem(888, 42, true));
    EXPECT_TRUE(ui::findMenuItem(rig.controller.mainMenu()->menuBar(), 42, 888)->isChecked());
    EXPECT_FALSE(rig.controller.setCheckMarkForItem(889, 42, true));
    EXPECT_FALSE(rig.controller.setCheckMarkForItem(888, 43, true));
}

TEST(ViewerButtonTest, ButtonsAreCountedWhileItIsOpenAndClosingRestoresTheLens)
{
    ViewerRig rig;
    bool diagnosticMode = false;
    rig.controller.setDiagnosticModeHandler([&](bool on) {
        diagnosticMode = on;
        rig.link.setDiagnosticMode(on);
    });
    rig.controller.showDiagnosticsWindow();
    ASSERT_TRUE(diagnosticMode);
    const int zoomBefore = rig.controller.zoomLevel();

    // The camera's freeze, display and zoom buttons only count.
    for (int code : {0x80, 0x85, 0x86, 0x86})
        rig.camera->sendCode(static_cast<std::uint8_t>(code));
    auto *window = rig.controller.outlets().diagnosticWindow;
    ASSERT_TRUE(rig.waitFor([&] { return window->indicator(QStringLiteral("zoomInLevelIndicator"))->value() == 2; }));
    EXPECT_EQ(window->indicator(QStringLiteral("freezeLevelIndicator"))->value(), 2);
    EXPECT_FALSE(rig.controller.isFrozen());
    EXPECT_EQ(rig.controller.zoomLevel(), zoomBefore);
    rig.sent();

    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &escape);
    EXPECT_FALSE(diagnosticMode);
    EXPECT_EQ(rig.sent(), Wire{zoomReport(8)});
    ASSERT_TRUE(rig.waitFor([&] { return !rig.sent().empty(); }, 3000));
    EXPECT_EQ(rig.controller.zoomLevel(), 1);
    // Shown again, the counters start from 0.
    rig.controller.showDiagnosticsWindow();
    EXPECT_EQ(window->indicator(QStringLiteral("freezeLevelIndicator"))->value(), 0);
}

// The Window menu's items reach the window's placement through the
// controller, and its zoom item names what choosing it would do.
TEST(ViewerMenus, WindowItemsDockAndZoomTheWindow)
{
    ViewerRig rig(false);
    ui::DraggableWindow *window = rig.controller.videoWindow();
    window->setGeometry(QRect(100, 100, 300, 200));
    window->show();
    QCoreApplication::processEvents();
    QMenuBar *bar = rig.controller.mainMenu()->menuBar();
    auto trigger = [&](ui::MenuCommand command) {
        for (QAction *item : bar->findChildren<QAction *>())
            if (ui::commandOf(item) == command)
                return rig.controller.mainMenu()->trigger(item);
        return false;
    };
    QAction *zoomItem = ui::findMenuItem(bar, ui::MenuTag::Window, ui::MenuTag::WindowZoom);
    ASSERT_NE(zoomItem, nullptr);

    ASSERT_TRUE(trigger(ui::MenuCommand::DockToRight));
    EXPECT_EQ(rig.controller.dockingInfo(), 64);
    ASSERT_TRUE(trigger(ui::MenuCommand::ZoomWindow));
    EXPECT_TRUE(window->isZoomed());
    EXPECT_EQ(zoomItem->iconText(), QStringLiteral("Normal window zoom size"));
    ASSERT_TRUE(trigger(ui::MenuCommand::ZoomWindow));
    EXPECT_EQ(zoomItem->iconText(), QStringLiteral("Maximize window zoom size"));
}
