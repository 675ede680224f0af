#include "video/still/StillSaver.h"

#include "common/Localization.h"
#include "common/SystemLog.h"
#include "video/still/StillPng.h"

namespace kelvo::video {

StillSaver::StillSaver(FreezeFrameHost &host, const FreezeFrameProcessor &pictures, StillSaveUi &ui)
    : m_host(host), m_pictures(pictures), m_ui(ui)
{}

void StillSaver::finishSavingFreezeFrame()
{
    if (m_panelOpen) {
        return;
    }
    m_picture = m_pictures.freezeFramePicture();
    m_pictureOrientation = m_pictures.freezeFramePictureOrientation();
    m_panelOpen = true;
    m_ui.openSavePanel(m_host.isFullScreen(),
                       [this](int result, const QString &path) { handleCompletionOfStillSavePanel(result, path); });
}

void StillSaver::handleCompletionOfStillSavePanel(int result, const QString &path)
{
    m_panelOpen = false;
    const FreezeFrameImage picture = std::move(m_picture);
    m_picture = {};
    if (result == 1) {
        QString reason;
        bool written = false;
        if (picture.isNull()) {
            reason = localized("There is no picture to save.");
        } else {
            written = writeStillPng(picture, m_pictureOrientation, path, &reason);
        }
        // Losing the user's picture without a word is worse than any dialog.
        if (!written) {
            systemLog("Could not save the still image: %s\n", qPrintable(reason));
            m_ui.reportSaveFailure(path, reason);
        }
    }
    m_host.setWaitingToSave(false);
    if (m_host.unfreezeWhenSaved()) {
        // The flag belongs to this save only; a later save of a picture the
        // user froze must leave it frozen.
        m_host.setUnfreezeWhenSaved(false);
        // The user may have unfrozen while the dialog was open; toggling
        // then would freeze the picture again.
        if (m_host.isFrozen()) {
            m_host.freezeThaw();
        }
    }
}

} // namespace kelvo::video
