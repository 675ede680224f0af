#pragma once

class QAction;
class QMenu;
class QMenuBar;

namespace kelvo::ui {

// Tags of the menus and items that code looks up. Titles and key equivalents
// are free; these numbers are what the rest of the viewer relies on.
namespace MenuTag {
inline constexpr int Camera = 42;
inline constexpr int CameraDevices = 42;
inline constexpr int Freeze = 32;
inline constexpr int Light = 888;
inline constexpr int Mirror = 20105;
inline constexpr int ColourBalance = 13150405;
inline constexpr int ColourBalanceNormal = 700;
inline constexpr int ColourBalanceCool = 701;
inline constexpr int ColourBalanceWarm = 702;
inline constexpr int Deinterlacing = 10101010;
inline constexpr int ReadPageAloud = 4200;
inline constexpr int CopyRecognisedText = 4201;
inline constexpr int SaveRecognisedText = 4202;
inline constexpr int Audio = 36;
inline constexpr int AudioDevices = 36;
inline constexpr int Mute = 88;
inline constexpr int AudioLevel = 13;
inline constexpr int Guides = 300;
inline constexpr int GuideLineWidth = 303;
inline constexpr int GuideLineWidthBase = 400; // items 401..403
inline constexpr int GuideSpacing = 304;
inline constexpr int GuideMove = 305;
inline constexpr int GuideMoveUp = 701;
inline constexpr int GuideMoveDown = 702;
inline constexpr int GuideMoveLeft = 703;
inline constexpr int GuideMoveRight = 704;
inline constexpr int ZoomChangesGuideSpacing = 306;
inline constexpr int ZoomScrollsGuides = 307;
inline constexpr int Colour = 1000;
inline constexpr int PreferredColourModes = 1000;
inline constexpr int AllColourModes = 1001;
inline constexpr int Window = 95;
inline constexpr int WindowZoom = 65535;
inline constexpr int CloseWindow = 109;
inline constexpr int Recording = 100;
inline constexpr int StartStopRecording = 110;
inline constexpr int Help = 505;
inline constexpr int Internal = -101;
} // namespace MenuTag

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
