#pragma once

#include "video/FreezeFrameHost.h"
#include "video/FreezeFrameImage.h"
#include "video/FreezeFrameProcessor.h"
#include "video/still/StillSaveUi.h"

#include <QString>

#include <cstdint>

namespace kelvo::video {

// Saves the freeze-frame view's picture as a PNG file through the save
// dialog, and ends the save: clears waitingToSave and unfreezes when the
// freeze was made only for the save. The file holds the camera picture as
// converted and turned, without the display's colour mode, zoom or mirror,
// and an EXIF orientation entry for the orientation it was turned to.
// Owned by the viewer controller; main thread.
class StillSaver {
public:
    StillSaver(FreezeFrameHost &host, const FreezeFrameProcessor &pictures, StillSaveUi &ui);
    StillSaver(const StillSaver &) = delete;
    StillSaver &operator=(const StillSaver &) = delete;

    // Opens the save dialog for the picture shown now. The picture (and its
    // orientation) is the one the user asked to save, so it is kept as it is
    // when the dialog opens. While a dialog is open a second request does
    // nothing: one save, one dialog.
    void finishSavingFreezeFrame();

    // The end of the dialog. With result 1 writes the file atomically to path
    // and tells the user when that fails (log "Could not save the still
    // image: %s\n"). In every case then clears waitingToSave, and unfreezes
    // if the freeze was made for the save and the picture is still frozen.
    void handleCompletionOfStillSavePanel(int result, const QString &path);

    // Whether a save dialog is open (the controller's savePanel).
    bool isSavePanelOpen() const { return m_panelOpen; }

private:
    FreezeFrameHost &m_host;
    const FreezeFrameProcessor &m_pictures;
    StillSaveUi &m_ui;
    bool m_panelOpen = false;
    FreezeFrameImage m_picture;
    std::int64_t m_pictureOrientation = 1;
};

} // namespace kelvo::video
