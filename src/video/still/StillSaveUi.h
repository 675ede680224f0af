#pragma once

#include <QString>

#include <functional>

namespace kelvo::video {

// The user-facing half of saving a still: the save dialog and the report of
// a failed write. ui::StillSavePanel implements it with Qt widgets; tests
// answer it themselves. Main thread.
class StillSaveUi {
public:
    // result is 1 when the user chose a file (OK) and 0 when the dialog was
    // cancelled; path is the chosen file, empty on cancel.
    using Completion = std::function<void(int result, const QString &path)>;

    virtual ~StillSaveUi() = default;

    // Opens the save dialog: file type "png" only, suggested name
    // "Untitled.png"; in full screen as its own window, otherwise
    // window-modal on the video window. Returns at once; completion runs
    // exactly once, when the dialog ends.
    virtual void openSavePanel(bool fullScreen, Completion completion) = 0;

    // Tells the user that the picture was not written to path, and why.
    virtual void reportSaveFailure(const QString &path, const QString &reason) = 0;
};

} // namespace kelvo::video
