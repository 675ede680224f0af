#pragma once

namespace kelvo::device {

class DiagnosticSink;
class OSDKeyReceiver;

// What the report decoder asks of the viewer controller (MainWindowDelegate).
// The controller implements it; DeviceLink calls it on the main thread only.
// Operations that take a sender on the controller are called here without
// one: the sender is always the application delegate.
class ViewerActions {
public:
    virtual ~ViewerActions() = default;

    virtual void freezeFrame() = 0;
    virtual void unfreezeFrame() = 0;
    virtual void rotateWindowUIAction() = 0;
    virtual void nextColorMode() = 0;
    virtual void findZoomPositionEnter() = 0;
    virtual void findZoomPositionExit() = 0;
    virtual void zoomCameraIn() = 0;
    virtual void zoomCameraOut() = 0;
    virtual void increaseLineSeparation() = 0;
    virtual void decreaseLineSeparation() = 0;
    virtual void scrollUpwards() = 0;
    virtual void scrollDownwards() = 0;
    // 0 document, 1 far, 2 self.
    virtual void setQuadrelPhysicalOrientation(long orientation) = 0;
    virtual void setChosenPreferredColorMode(long index) = 0;
    // Resets every setting without asking (the camera's factory-reset report).
    virtual void factoryReset() = 0;
    virtual void setLightIsOn(bool on) = 0;
    // 1, 2 or 3.
    virtual void setBatteryLevel(long level) = 0;
    virtual void showBatteryLevelIndicator() = 0;
    virtual void hideBatteryLevelIndicator() = 0;
    // Runs the update check; reads the device identity of DeviceLink.
    virtual void checkForUpdates() = 0;
    virtual void showHideOnScreenDisplay() = 0;
    virtual void hideOnScreenDisplay() = 0;

    virtual bool OSDIsVisible() const = 0;
    virtual bool zoomScrollsGuides() const = 0;
    virtual bool zoomChangesGuideSpacing() const = 0;
    // The button-test window; null while none exists.
    virtual DiagnosticSink *diagnosticWindow() = 0;
    // The on-screen menu's list; null while none exists.
    virtual OSDKeyReceiver *OSDTableView() = 0;
    // Identifies the video window for synthetic key events (its window id,
    // 0 when there is none).
    virtual long videoWindowNumber() const = 0;
};

// What the report decoder asks of the application delegate besides the
// device-link state: the battery timer (the viewer's other operations are on
// ViewerActions). Called on the main thread.
class ApplicationActions {
public:
    virtual ~ApplicationActions() = default;
    // Idempotent: a second start keeps the one timer.
    virtual void startBatteryTimer() = 0;
    // Harmless without a timer.
    virtual void stopBatteryTimer() = 0;
};

} // namespace kelvo::device
