#pragma once

class QAction;
class QMenu;
class QMenuBar;

namespace kelvo::ui {

// Menus and items are found by their integer tag, never by title. Every
// QAction of the menu bar carries its tag in the dynamic property "tag" (and
// its command in "command", read with commandOf).
inline constexpr const char *kTagProperty = "tag";

int tagOf(const QAction *action);
void setTag(QAction *action, int tag);

// The top-level item of the menu bar with this tag, or null.
QAction *findTopLevelItem(QMenuBar *menuBar, int menuTag);
// The item with itemTag directly in the submenu of the top-level item with
// menuTag, or null when either is missing.
QAction *findMenuItem(QMenuBar *menuBar, int menuTag, int itemTag);
// The item with this tag directly in menu, or null.
QAction *findItemInMenu(QMenu *menu, int itemTag);

} // namespace kelvo::ui
