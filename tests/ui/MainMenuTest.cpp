#include "ui/MainMenu.h"
#include "ui/MenuTags.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <gtest/gtest.h>

using namespace kelvo::ui;

namespace {

// Counts the items with this tag directly in a menu.
int countTagged(QMenu *menu, int tag)
{
    int count = 0;
    for (QAction *action : menu->actions()) {
        if (action->property(kTagProperty).isValid() && tagOf(action) == tag)
            ++count;
    }
    return count;
}

int countTopLevel(QMenuBar *bar, int tag)
{
    int count = 0;
    for (QAction *action : bar->actions()) {
        if (action->property(kTagProperty).isValid() && tagOf(action) == tag)
            ++count;
    }
    return count;
}

struct TagPath {
    std::vector<int> tags; // top-level tag, then the tags of nested items
};

} // namespace

TEST(MainMenu, EveryTagPathTheViewerUsesResolvesToExactlyOneItem)
{
    QMenuBar bar;
    MainMenu menu(&bar);
    const std::vector<TagPath> paths = {
        {{42}},
        {{42, 42}},
        {{42, 32}},
        {{42, 888}},
        {{42, 20105}},
        {{42, 13150405, 700}},
        {{42, 13150405, 701}},
        {{42, 13150405, 702}},
        {{42, 10101010}},
        {{36}},
        {{36, 36}},
        {{36, 88}},
        {{36, 13}},
        {{300}},
        {{300, 303, 401}},
        {{300, 303, 402}},
        {{300, 303, 403}},
        {{300, 304}},
        {{300, 305, 701}},
        {{300, 305, 702}},
        {{300, 305, 703}},
        {{300, 305, 704}},
        {{300, 306}},
        {{300, 307}},
        {{1000}},
        {{1000, 1000}},
        {{1000, 1001}},
        {{95}},
        {{95, 65535}},
        {{95, 109}},
        {{100}},
        {{100, 110}},
        {{505}},
        {{-101}},
    };
    for (const TagPath &path : paths) {
        SCOPED_TRACE(::testing::PrintToString(path.tags));
        ASSERT_EQ(countTopLevel(&bar, path.tags[0]), 1);
        QAction *current = findTopLevelItem(&bar, path.tags[0]);
        for (size_t i = 1; i < path.tags.size(); ++i) {
            ASSERT_NE(current->menu(), nullptr);
            ASSERT_EQ(countTagged(current->menu(), path.tags[i]), 1);
            current = findItemInMenu(current->menu(), path.tags[i]);
        }
        EXPECT_NE(current, nullptr);
    }
    // The device and colour lists are submenus that code rebuilds.
    EXPECT_NE(findMenuItem(&bar, 42, 42)->menu(), nullptr);
    EXPECT_NE(findMenuItem(&bar, 1000, 1001)->menu(), nullptr);
}

TEST(MainMenu, MissingPathsResolveToNothing)
{
    QMenuBar bar;
    MainMenu menu(&bar);
    EXPECT_EQ(findMenuItem(&bar, 42, 999), nullptr);
    EXPECT_EQ(findMenuItem(&bar, 12345, 42), nullptr);
    EXPECT_EQ(findMenuItem(nullptr, 42, 42), nullptr);
    // An untagged item does not answer to tag 0.
    EXPECT_EQ(findMenuItem(&bar, 42, 0), nullptr);
}

TEST(MainMenu, InternalMenuIsHiddenAndCarriesEveryDeviceCommand)
{
    QMenuBar bar;
    MainMenu menu(&bar);
    QAction *internal = findTopLevelItem(&bar, -101);
    ASSERT_NE(internal, nullptr);
    EXPECT_FALSE(internal->isVisible());
    for (int command = 0; command <= 33; ++command) {
        QAction *item = findItemInMenu(internal->menu(), command);
        ASSERT_NE(item, nullptr) << command;
        EXPECT_EQ(item->property(kActionProperty).toString(), QStringLiteral("sendHidCommand:"));
    }
    menu.setInternalMenuVisible(true);
    EXPECT_TRUE(internal->isVisible());
}

TEST(MainMenu, ItemsAreEnabledOnlyWhileSomeoneHandlesTheirActionAndTheValidatorAgrees)
{
    QMenuBar bar;
    MainMenu menu(&bar);
    QAction *freeze = findMenuItem(&bar, 42, 32);
    ASSERT_NE(freeze, nullptr);
    EXPECT_FALSE(freeze->isEnabled());
    EXPECT_FALSE(menu.trigger(freeze));

    QAction *received = nullptr;
    menu.setHandler(QStringLiteral("freezeThaw:"), [&](QAction *sender) { received = sender; });
    EXPECT_TRUE(freeze->isEnabled());
    freeze->trigger();
    EXPECT_EQ(received, freeze);

    received = nullptr;
    menu.setValidator([](QAction *item) { return tagOf(item) != 32; });
    menu.validateAll();
    EXPECT_FALSE(freeze->isEnabled());
    EXPECT_FALSE(menu.trigger(freeze));
    EXPECT_EQ(received, nullptr);
}

TEST(MainMenu, KeyEquivalentsReachableWithOneHand)
{
    QMenuBar bar;
    MainMenu menu(&bar);
    auto shortcutsOf = [&](const char *action) {
        QList<QKeySequence> keys;
        for (QAction *top : bar.actions()) {
            if (!top->menu())
                continue;
            for (QAction *item : top->menu()->actions()) {
                if (item->property(kActionProperty).toString() == QLatin1String(action))
                    keys += item->shortcuts();
            }
        }
        return keys;
    };
    EXPECT_TRUE(shortcutsOf("zoomCameraIn:").contains(QKeySequence(Qt::CTRL | Qt::Key_Equal)));
    EXPECT_TRUE(shortcutsOf("zoomCameraIn:").contains(QKeySequence(Qt::CTRL | Qt::Key_Plus)));
    EXPECT_TRUE(shortcutsOf("zoomCameraOut:").contains(QKeySequence(Qt::CTRL | Qt::Key_Minus)));
    EXPECT_TRUE(shortcutsOf("freezeThaw:").contains(QKeySequence(Qt::Key_F)));
    EXPECT_TRUE(shortcutsOf("freezeThaw:").contains(QKeySequence(Qt::Key_Space)));
    EXPECT_TRUE(shortcutsOf("enterExitFullScreen:").contains(QKeySequence(Qt::Key_F11)));
    EXPECT_TRUE(shortcutsOf("terminate:").contains(QKeySequence(Qt::CTRL | Qt::Key_Q)));

    // Single keys must not reach the video window's actions from a dialog,
    // where they type or press buttons.
    auto contextOf = [&](const char *action) {
        for (QAction *top : bar.actions())
            if (top->menu())
                for (QAction *item : top->menu()->actions())
                    if (item->property(kActionProperty).toString() == QLatin1String(action))
                        return item->shortcutContext();
        return Qt::WidgetShortcut;
    };
    EXPECT_EQ(contextOf("freezeThaw:"), Qt::WindowShortcut);
    EXPECT_EQ(contextOf("nextColorMode:"), Qt::WindowShortcut);
    EXPECT_EQ(contextOf("terminate:"), Qt::ApplicationShortcut);

    // No key sequence may be bound to two items: one of them would never fire.
    QSet<QString> seen;
    for (QAction *top : bar.actions()) {
        if (!top->menu())
            continue;
        std::function<void(QMenu *)> walk = [&](QMenu *m) {
            for (QAction *item : m->actions()) {
                if (item->menu())
                    walk(item->menu());
                for (const QKeySequence &key : item->shortcuts()) {
                    EXPECT_FALSE(seen.contains(key.toString())) << key.toString().toStdString();
                    seen.insert(key.toString());
                }
            }
        };
        walk(top->menu());
    }
}
