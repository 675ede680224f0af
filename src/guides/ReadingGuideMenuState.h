#pragma once

#include <optional>
#include <vector>

namespace kelvo::guides {

// Tags of the reading-guide menu and its items. Menus are found by tag,
// never by title.
inline constexpr int kGuideMenuTag = 300;
inline constexpr int kGuideLineWidthItemTag = 303; // submenu with 401..403
inline constexpr int kGuideSeparationItemTag = 304;
inline constexpr int kGuideScrollItemTag = 305;             // submenu with 701..704
inline constexpr int kGuideZoomChangesSpacingItemTag = 306; // zoomChangesGuideSpacing
inline constexpr int kGuideZoomScrollsItemTag = 307;        // zoomScrollsGuides
inline constexpr int kGuideLineWidthBaseTag = 400;          // item 400 + n sets lineWidth n
inline constexpr int kGuideScrollUpItemTag = 701;           // 701, 702 serve horizontal guides
inline constexpr int kGuideScrollDownItemTag = 702;
inline constexpr int kGuideScrollLeftItemTag = 703; // 703, 704 serve vertical guides
inline constexpr int kGuideScrollRightItemTag = 704;

// One item to change. parentTag 0 means the item sits directly in the guide
// menu; otherwise it sits in the submenu of that item of the guide menu.
// An absent field is left as it is.
struct GuideMenuItemUpdate {
    int parentTag = 0;
    int tag = 0;
    std::optional<bool> enabled;
    std::optional<bool> checked;
    friend bool operator==(const GuideMenuItemUpdate &, const GuideMenuItemUpdate &) = default;
};

struct ReadingGuideMenuState {
    std::vector<GuideMenuItemUpdate> items;

    // The update for this item, or null when the state leaves it alone.
    const GuideMenuItemUpdate *find(int tag) const
    {
        for (const GuideMenuItemUpdate &item : items) {
            if (item.tag == tag)
                return &item;
        }
        return nullptr;
    }
};

} // namespace kelvo::guides
