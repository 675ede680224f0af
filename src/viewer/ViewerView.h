#pragma once

#include "ui/MenuCommand.h"
#include "video/ColourMode.h"
#include "video/ImageFilterChain.h"

#include <QImage>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <vector>

class QWidget;

namespace kelvo::device {
class DiagnosticSink;
}
namespace kelvo::video {
struct VideoFrame;
}

namespace kelvo::viewer {

// A capture device as the menus list it.
struct MenuDevice {
    QString localizedName;
    QString uniqueID;
    QString modelID;
};

// What the controller asks of the windows that show its state, beyond what
// they learn by observing the viewer model. The controller exists before its
// windows do (the settings are read first) and is tested without them; until
// the windows are built it talks to this base, which shows nothing and
// answers as an empty window would.
// Thread: main thread.
class ViewerView {
public:
    virtual ~ViewerView() = default;

    // ---- Menus -------------------------------------------------------------
    // Re-evaluates which menu items can act, after a change of state.
    virtual void revalidateMenus() {}
    // Answers whether the item exists.
    virtual bool setCheckMark(int /*menuTag*/, int /*itemTag*/, bool /*checked*/) { return false; }
    // Refills a device submenu: a checked "None" when nothing is selected.
    virtual void showDevices(int /*menuTag*/, const std::vector<MenuDevice> & /*devices*/, int /*selected*/,
                             ui::MenuCommand /*command*/)
    {}
    // Refills the two colour-mode submenus from the preferred list.
    virtual void showColourModes(const video::ColourModeSelection & /*colour*/) {}
    // While the firmware is updated, the menu bar's menus stay shut.
    virtual void setMenuBarEnabled(bool /*enabled*/) {}
    virtual void setLineMarkerMenuEnabled(bool /*enabled*/) {}
    virtual void updateReadingGuideMenus() {}
    virtual void showInternalMenu() {}

    // ---- Windows -----------------------------------------------------------
    virtual void bringVideoWindowForward() {}
    // Closes the window the user is working in: a dialog, or the video
    // window (which ends the viewer).
    virtual void closeActiveWindow() {}
    virtual void showPreferencesWindow(bool /*colourSettings*/) {}
    virtual void closePreferencesWindow() {}
    // Answers whether there is a window to show.
    virtual bool showDiagnosticsWindow() { return false; }
    virtual void closeDiagnosticsWindow() {}
    // The button-test window's counters; none without the window.
    virtual device::DiagnosticSink *diagnosticSink() { return nullptr; }
    // Where a message or the help window belongs: the video window.
    virtual QWidget *dialogParent() const { return nullptr; }
    virtual long videoWindowNumber() const { return 0; }
    // Qt's screen coordinates; empty without the window.
    virtual QRect videoWindowGeometry() const { return {}; }

    // ---- The picture -------------------------------------------------------
    virtual void presentFrame(const video::VideoFrame & /*frame*/) {}
    // A null picture lets the live one show again.
    virtual void setStillPicture(const QImage & /*picture*/) {}
    virtual void setPreviewOrientation(int /*orientation*/, bool /*mirrored*/) {}
    virtual void installImageFilters(const video::ImageFilterState & /*state*/) {}
    // Whether the live picture is on screen now (shown, not minimised).
    virtual bool pictureCanBeSeen() const { return true; }
    // The live picture's frame size as the preview last received it.
    virtual QSizeF previewFrameSize() const { return {}; }
    virtual QRectF previewViewBounds() const { return {}; }
    virtual double freezeFrameLayerWidth() const { return 0; }
    virtual void showReadingGuideOverlay() {}
    virtual void redrawGuides() {}

    // ---- On-screen panels --------------------------------------------------
    virtual bool OSDIsVisible() const { return false; }
    virtual void showHideOnScreenDisplay() {}
    virtual void hideOnScreenDisplay() {}
    virtual bool batteryLevelIndicatorShown() const { return false; }
    virtual void setBatteryLevelIndicatorShown(bool /*shown*/) {}
    virtual void setBatteryLevel(int /*level*/) {}
    virtual int batteryLevel() const { return 0; }
};

} // namespace kelvo::viewer
