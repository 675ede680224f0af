#include "ui/MainMenu.h"
#include "ui/MenuTags.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSet>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <set>

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

// Records what the menu asks for, and refuses what a test says it cannot do.
struct RecordingTarget final : MenuCommandTarget {
    std::vector<std::pair<MenuCommand, QAction *>> performed;
    std::set<MenuCommand> refused;
    void perform(MenuCommand command, QAction *item) override { performed.emplace_back(command, item); }
    bool validate(MenuCommand command, const QAction *) const override { return !refused.count(command); }
};

// Every item of a menu and its submenus that is not itself a submenu.
void collectItems(QMenu *menu, std::vector<QAction *> &items)
{
    for (QAction *item : menu->actions()) {
        if (item->isSeparator())
            continue;
        if (item->menu())
            collectItems(item->menu(), items);
        else
            items.push_back(item);
    }
}

std::vector<QAction *> allItems(QMenuBar &bar)
{
    std::vector<QAction *> items;
    for (QAction *top : bar.actions())
        if (top->menu())
            collectItems(top->menu(), items);
    return items;
}

} // namespace

TEST(MainMenu, EveryTagPathTheViewerUsesResolvesToExactlyOneItem)
{
    QMenuBar bar;
    RecordingTarget target;
    MainMenu menu(&bar, target);
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
    RecordingTarget target;
    MainMenu menu(&bar, target);
    EXPECT_EQ(findMenuItem(&bar, 42, 999), nullptr);
    EXPECT_EQ(findMenuItem(&bar, 12345, 42), nullptr);
    EXPECT_EQ(findMenuItem(nullptr, 42, 42), nullptr);
    // An untagged item does not answer to tag 0.
    EXPECT_EQ(findMenuItem(&bar, 42, 0), nullptr);
}

TEST(MainMenu, InternalMenuIsHiddenAndCarriesEveryDeviceCommand)
{
    QMenuBar bar;
    RecordingTarget target;
    MainMenu menu(&bar, target);
    QAction *internal = findTopLevelItem(&bar, -101);
    ASSERT_NE(internal, nullptr);
    EXPECT_FALSE(internal->isVisible());
    for (int command = 0; command <= 33; ++command) {
        QAction *item = findItemInMenu(internal->menu(), command);
        ASSERT_NE(item, nullptr) << command;
        EXPECT_EQ(commandOf(item), MenuCommand::SendDeviceCommand);
    }
    menu.setInternalMenuVisible(true);
    EXPECT_TRUE(internal->isVisible());
}

// Each item, chosen, reaches the target with its own command and itself as
// the carrier of its tag; an item the target cannot serve now is disabled and
// choosing it does nothing.
TEST(MainMenu, EveryItemCarriesOutItsCommandUnlessTheTargetRefusesIt)
{
    QMenuBar bar;
    RecordingTarget target;
    MainMenu menu(&bar, target);
    const std::vector<QAction *> items = allItems(bar);
    std::set<MenuCommand> seen;
    for (QAction *item : items) {
        const std::optional<MenuCommand> command = commandOf(item);
        ASSERT_TRUE(command.has_value()) << item->text().toStdString();
        EXPECT_STRNE(actionName(*command), "");
        seen.insert(*command);
        target.performed.clear();
        item->trigger();
        ASSERT_EQ(target.performed.size(), 1u) << item->text().toStdString();
        EXPECT_EQ(target.performed[0].first, *command);
        EXPECT_EQ(target.performed[0].second, item);
    }
    // Device and colour lists are filled at run time; every other command has
    // an item from the start.
    for (int i = 0; i < kMenuCommandCount; ++i) {
        const auto command = static_cast<MenuCommand>(i);
        if (command == MenuCommand::ChooseVideoDevice || command == MenuCommand::ChooseAudioDevice ||
            command == MenuCommand::SetColorModeFromMenu || command == MenuCommand::ShowColorPreferences)
            continue;
        EXPECT_TRUE(seen.count(command)) << actionName(command);
    }

    QAction *freeze = findMenuItem(&bar, 42, 32);
    target.refused.insert(MenuCommand::FreezeThaw);
    menu.validateAll();
    EXPECT_FALSE(freeze->isEnabled());
    target.performed.clear();
    EXPECT_FALSE(menu.trigger(freeze));
    // Even a trigger that bypasses the menu's enabled state is checked again.
    freeze->setEnabled(true);
    freeze->trigger();
    EXPECT_TRUE(target.performed.empty());
    target.refused.clear();
    menu.validateAll();
    EXPECT_TRUE(menu.trigger(freeze));
    ASSERT_EQ(target.performed.size(), 1u);

    // A rebuilt list's placeholder gives no command and stays disabled.
    QAction *none = menu.addItem(findMenuItem(&bar, 42, 42)->menu(), QStringLiteral("None"), std::nullopt, -1);
    EXPECT_FALSE(none->isEnabled());
    EXPECT_FALSE(menu.trigger(none));
}

// A key whose item cannot act now is not lost silently: it beeps, and it
// reaches nothing else. Letters do so only in the window that carries the
// menu bar; in another window they type as usual.
TEST(MainMenu, TheKeyOfADisabledItemBeepsInsteadOfVanishing)
{
    QMainWindow window;
    RecordingTarget target;
    MainMenu menu(window.menuBar(), target);
    int beeps = 0;
    menu.setBeep([&] { ++beeps; });
    target.refused = {MenuCommand::FreezeThaw, MenuCommand::SaveFreezeFrame};
    menu.validateAll();
    auto press = [](QWidget *receiver, Qt::Key key, Qt::KeyboardModifiers modifiers) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(receiver, &event);
    };
    press(&window, Qt::Key_F, Qt::NoModifier);
    press(&window, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(beeps, 2);
    // An item that can act is left to its shortcut.
    press(&window, Qt::Key_G, Qt::NoModifier);
    EXPECT_EQ(beeps, 2);

    QWidget dialog;
    press(&dialog, Qt::Key_F, Qt::NoModifier);
    EXPECT_EQ(beeps, 2);
    press(&dialog, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(beeps, 3);
    // Chosen anyway (a key that raced the state), the command is refused too.
    findMenuItem(window.menuBar(), 42, 32)->setEnabled(true);
    findMenuItem(window.menuBar(), 42, 32)->trigger();
    EXPECT_EQ(beeps, 4);
    EXPECT_TRUE(target.performed.empty());
}

TEST(MainMenu, KeysAreOneHandedUniqueAndFreeOfTheDesktopsOwn)
{
    QMenuBar bar;
    RecordingTarget target;
    MainMenu menu(&bar, target);
    std::map<MenuCommand, QList<QKeySequence>> keys;
    std::map<MenuCommand, Qt::ShortcutContext> context;
    QSet<QString> seen;
    for (const MainMenu::KeyBinding &binding : menu.keyBindings()) {
        keys[binding.command] += binding.keys;
        for (const QKeySequence &key : binding.keys) {
            // A key bound twice would never reach one of its items.
            EXPECT_FALSE(seen.contains(key.toString())) << key.toString().toStdString();
            seen.insert(key.toString());
        }
    }
    for (QAction *item : allItems(bar))
        if (const auto command = commandOf(item))
            context[*command] = item->shortcutContext();

    EXPECT_TRUE(keys[MenuCommand::ZoomCameraIn].contains(QKeySequence(Qt::CTRL | Qt::Key_Equal)));
    EXPECT_TRUE(keys[MenuCommand::ZoomCameraIn].contains(QKeySequence(Qt::CTRL | Qt::Key_Plus)));
    EXPECT_TRUE(keys[MenuCommand::FreezeThaw].contains(QKeySequence(Qt::Key_Space)));
    EXPECT_TRUE(keys[MenuCommand::ShowHelp].contains(QKeySequence(Qt::Key_F1)));

    // Letters, Space and arrows keep their meaning in dialogs: they act on
    // the video window only. Ctrl and function keys work from every window.
    EXPECT_EQ(context[MenuCommand::FreezeThaw], Qt::WindowShortcut);
    EXPECT_EQ(context[MenuCommand::NextColorMode], Qt::WindowShortcut);
    EXPECT_EQ(context[MenuCommand::DockToLeft], Qt::WindowShortcut);
    EXPECT_EQ(context[MenuCommand::Quit], Qt::ApplicationShortcut);
    EXPECT_EQ(context[MenuCommand::ShowPreferencesWindow], Qt::ApplicationShortcut);
    EXPECT_EQ(context[MenuCommand::ShowHelp], Qt::ApplicationShortcut);
    EXPECT_EQ(context[MenuCommand::CloseWindow], Qt::ApplicationShortcut);

    // What GNOME, KDE Plasma, Xfce and openbox keep for themselves by default
    // never reaches an application there.
    const QStringList desktopKeys = {
        QStringLiteral("Ctrl+Alt+Left"),   QStringLiteral("Ctrl+Alt+Right"), QStringLiteral("Ctrl+Alt+Up"),
        QStringLiteral("Ctrl+Alt+Down"),   QStringLiteral("Ctrl+Alt+T"),     QStringLiteral("Ctrl+Alt+L"),
        QStringLiteral("Ctrl+Alt+D"),      QStringLiteral("Ctrl+Alt+Del"),   QStringLiteral("Shift+Alt+Left"),
        QStringLiteral("Shift+Alt+Right"), QStringLiteral("Alt+Tab"),        QStringLiteral("Alt+Space"),
        QStringLiteral("Alt+F1"),          QStringLiteral("Alt+F2"),         QStringLiteral("Alt+F3"),
        QStringLiteral("Alt+F4"),          QStringLiteral("Alt+F7"),         QStringLiteral("Alt+F8"),
        QStringLiteral("Alt+F10"),         QStringLiteral("Ctrl+Esc"),       QStringLiteral("Print"),
        QStringLiteral("Ctrl+F1"),         QStringLiteral("Ctrl+F2"),        QStringLiteral("Ctrl+F3"),
        QStringLiteral("Ctrl+F4"),         QStringLiteral("Alt+Esc"),
    };
    for (const QString &key : seen)
        EXPECT_FALSE(desktopKeys.contains(key)) << key.toStdString();
    for (const QString &key : seen)
        EXPECT_FALSE(key.contains(QLatin1String("Meta"))) << key.toStdString();
}

// Every menu opens with Alt and its letter, and every item in it has a letter
// of its own, so the whole bar is reachable from the keyboard by letters.
TEST(MainMenu, EveryMenuAndItemHasItsOwnMnemonic)
{
    QMenuBar bar;
    RecordingTarget target;
    MainMenu menu(&bar, target);
    auto mnemonic = [](const QString &text) {
        const qsizetype at = text.indexOf(QRegularExpression(QStringLiteral("&[^&]")));
        return at < 0 ? QChar() : text.at(at + 1).toLower();
    };
    std::function<void(QMenu *, const QString &)> check = [&](QMenu *m, const QString &path) {
        QSet<QChar> letters;
        for (QAction *item : m->actions()) {
            if (item->isSeparator() || !item->isVisible())
                continue;
            const QChar letter = mnemonic(item->text());
            EXPECT_FALSE(letter.isNull()) << (path + QLatin1String(" > ") + item->text()).toStdString();
            EXPECT_FALSE(letters.contains(letter)) << (path + QLatin1String(" > ") + item->text()).toStdString();
            letters.insert(letter);
            if (item->menu() && tagOf(item) != 42 && tagOf(item) != 36 && tagOf(item) != 1000 && tagOf(item) != 1001)
                check(item->menu(), path + QLatin1String(" > ") + item->text());
        }
    };
    QSet<QChar> topLetters;
    for (QAction *top : bar.actions()) {
        if (!top->isVisible() || !top->menu())
            continue;
        const QChar letter = mnemonic(top->text());
        EXPECT_FALSE(letter.isNull()) << top->text().toStdString();
        EXPECT_FALSE(topLetters.contains(letter)) << top->text().toStdString();
        topLetters.insert(letter);
        check(top->menu(), top->text());
    }
}

// The README's key table is what users read: it must say exactly what the
// menus do, row for row.
TEST(MainMenu, TheReadmeKeyTableMatchesTheMenus)
{
    QFile readme(QString::fromLocal8Bit(qgetenv("KELVO_TEST_DATA")) + QLatin1String("/../../README.md"));
    ASSERT_TRUE(readme.open(QIODevice::ReadOnly)) << readme.fileName().toStdString();
    const QString text = QString::fromUtf8(readme.readAll());
    const qsizetype start = text.indexOf(QLatin1String("| Key | Menu item |"));
    ASSERT_GE(start, 0) << "no key table";
    // Rows: | keys | Menu > Item | what it does |; "or" separates keys.
    std::map<QString, QSet<QString>> documented;
    const QStringList lines = text.mid(start).split(QLatin1Char('\n'));
    for (qsizetype i = 2; i < lines.size() && lines[i].startsWith(QLatin1Char('|')); ++i) {
        const QStringList cells = lines[i].split(QLatin1Char('|'));
        ASSERT_GE(cells.size(), 4) << lines[i].toStdString();
        const QString item = cells[2].trimmed();
        if (item == QStringLiteral(u"\u2014"))
            continue;
        for (QString key : cells[1].split(QLatin1String(" or ")))
            documented[item].insert(key.remove(QLatin1Char('`')).trimmed());
    }

    QMenuBar bar;
    RecordingTarget target;
    MainMenu menu(&bar, target);
    std::map<QString, QSet<QString>> bound;
    for (const MainMenu::KeyBinding &binding : menu.keyBindings()) {
        if (!findTopLevelItem(&bar, -101) || binding.command == MenuCommand::SendDeviceCommand)
            continue;
        const QString item = binding.menu + QLatin1String(" > ") + binding.item;
        for (const QKeySequence &key : binding.keys)
            bound[item].insert(key.toString(QKeySequence::PortableText));
    }
    for (const auto &[item, keys] : bound) {
        ASSERT_TRUE(documented.count(item)) << "README lacks " << item.toStdString();
        EXPECT_EQ(documented[item], keys) << item.toStdString();
    }
    for (const auto &[item, keys] : documented)
        EXPECT_TRUE(bound.count(item)) << "README names " << item.toStdString() << ", which has no key";
}
