#pragma once

#include "video/FreezeFrameImage.h"

#include <cstdint>

namespace kelvo::video {

// What the freeze-frame path needs of the viewer controller
// (MainWindowDelegate), which holds the freeze flags and implements this.
// The names are the controller's own, so its existing members serve.
// Main thread only, except where a member says otherwise.
class FreezeFrameHost {
public:
    virtual ~FreezeFrameHost() = default;

    // The freeze flags, each read under the controller's freeze lock.
    virtual bool isFrozen() const = 0;
    virtual bool waitingToFreeze() const = 0;
    // Holding the freeze lock: when waitingToFreeze is set, clears it and
    // answers true; otherwise answers false. A freeze cancelled by unfreezing
    // in the meantime thereby never takes the picture.
    virtual bool takeWaitingToFreeze() = 0;

    virtual bool enableDeinterlacing() const = 0;
    virtual int videoOrientation() const = 0;
    virtual void setVideoOrientationWhenFrozen(std::int64_t orientation) = 0;

    // Puts the picture into the freeze-frame view, makes the view visible and
    // hides the live preview; the view's display filters (colour mode, zoom,
    // mirror) apply to it.
    virtual void showFreezeFramePicture(const FreezeFrameImage &picture) = 0;

    // The still-save flags and the actions the save drives.
    virtual bool waitingToSave() const = 0;
    virtual void setWaitingToSave(bool waiting) = 0;
    virtual bool unfreezeWhenSaved() const = 0;
    virtual void setUnfreezeWhenSaved(bool unfreeze) = 0;
    virtual void freezeThaw() = 0;
    virtual bool isFullScreen() const = 0;
    // Opens the save dialog for the picture now shown (StillSaver).
    virtual void finishSavingFreezeFrame() = 0;
};

} // namespace kelvo::video
