#pragma once

#include "settings/PlistValue.h"
#include "settings/RectString.h"
#include "settings/ViewerPreferences.h"

#include <cstdint>
#include <vector>

namespace kelvo::settings {

// The viewer controller as loading and resetting the settings see it: its
// ordinary setters (and the reading-guide overlay's), with all their side
// effects, plus the few actions a load or a reset ends with. The controller
// implements it; PreferencesKeeper calls it in the order of the load steps.
// Thread: main thread only.
class PreferencesTarget {
public:
    virtual ~PreferencesTarget() = default;

    virtual void unhideInternalFeaturesMenu() = 0; // main-menu item with tag -101
    virtual void setUserHasSetPreferences(bool value) = 0;
    virtual void setFirstLaunch(bool value) = 0;
    virtual void setUpdateBookkeeping(const UpdateBookkeeping &bookkeeping) = 0;
    virtual void setAutomaticallyLaunchesOnDeviceAttach(const PlistValue &number) = 0;
    virtual void setPreferredFilters(const std::vector<std::int64_t> &modes) = 0;
    virtual void setEnableDeinterlacing(bool value) = 0;
    virtual void setShowingAudioLevelIndicator(bool value) = 0;
    virtual void setChosenPreferredColorMode(std::int64_t index, std::int64_t nonPreferredMode) = 0;
    virtual void setVideoOrientation(std::int32_t orientation) = 0;
    virtual void setIsMirrored(bool value) = 0;
    // The overlay's setters.
    virtual void setLineWidth(std::uint64_t width) = 0;
    virtual void setGuideSeparation(std::int32_t separation) = 0;
    virtual void setScrollPosition(std::int32_t position) = 0;
    virtual void setHorizontalReadingGuideMode(std::int32_t mode) = 0;
    virtual void setVerticalReadingGuideMode(std::int32_t mode) = 0;
    virtual void setColorBalanceMode(std::int64_t mode) = 0;
    virtual void setZoomLevel(std::int32_t level) = 0;
    virtual void reDockWithDockInfo(std::uint8_t dockInfo) = 0;
    // Sets the video window's frame and redisplays it.
    virtual void setVideoWindowFrame(const Rect &frame) = 0;

    // What a complete load ends with.
    virtual void setImageFilters() = 0;
    virtual void savePreferences() = 0;
    // What a factory reset adds.
    virtual void updateColorModeMenus() = 0;
    virtual void clearDockedFlags() = 0; // top, bottom, left and right
};

// Calls the setter of every step of plan, in order, with the plan's values.
void applyLoadPlan(const LoadPlan &plan, PreferencesTarget &target);

} // namespace kelvo::settings
