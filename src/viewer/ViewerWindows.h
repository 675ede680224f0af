#pragma once

#include "ui/MainWindowInterface.h"
#include "viewer/ViewerView.h"

#include <QObject>
#include <memory>
#include <vector>

class QAction;

namespace kelvo::guides {
class LineOverlayDelegate;
}
namespace kelvo::ui {
class LineOverlayView;
class MenuCommandTarget;
} // namespace kelvo::ui

namespace kelvo::viewer {

class OnScreenDisplay;
class PictureAccessibility;
class PageReader;
class SpeechFeedback;
class VideoWindowHost;
class VideoWindowPlacement;
class ViewerModel;

// The widget side of the viewer: the video window with its views and
// panels, the menu bar, the preferences and button-test windows. It shows
// what the viewer model holds by observing it (check marks, titles, the
// meter), shows what the controller asks through the view interface, and
// hands every menu command back to the controller. It holds no state of its
// own beyond what the widgets hold.
// Thread: main thread.
class ViewerWindows : public QObject, public ViewerView {
    Q_OBJECT
public:
    struct Parts {
        ViewerModel &model;
        ui::MenuCommandTarget &commands;
        guides::LineOverlayDelegate &guides;
        VideoWindowHost &placementHost;
    };
    // Builds the "MainWindow" interface.
    explicit ViewerWindows(Parts parts, QObject *parent = nullptr);
    ~ViewerWindows() override;

    const ui::MainWindowOutlets &outlets() const { return m_outlets; }
    std::vector<QWidget *> topLevelWindows() const;
    ui::LineOverlayView *lineOverlayView() const { return m_lineOverlayView; }
    VideoWindowPlacement *placement() const { return m_placement; }
    OnScreenDisplay *onScreenDisplay() const { return m_onScreenDisplay; }
    QAction *menuItem(int menuTag, int itemTag) const;
    // The settings were saved: the on-screen menu and the picture's
    // description show the state that was saved.
    void stateSaved();
    // Spoken and shown changes of state, and reading the page aloud.
    SpeechFeedback &speech() const { return *m_speech; }
    PageReader &pageReader() const { return *m_pageReader; }

    // ---- ViewerView ------------------------------------------------------------
    void revalidateMenus() override;
    bool setCheckMark(int menuTag, int itemTag, bool checked) override;
    void showDevices(int menuTag, const std::vector<MenuDevice> &devices, int selected,
                     ui::MenuCommand command) override;
    void showColourModes(const video::ColourModeSelection &colour) override;
    void setMenuBarEnabled(bool enabled) override;
    void setLineMarkerMenuEnabled(bool enabled) override;
    void updateReadingGuideMenus() override;
    void showInternalMenu() override;

    void bringVideoWindowForward() override;
    void closeActiveWindow() override;
    void showPreferencesWindow(bool colourSettings) override;
    void closePreferencesWindow() override;
    bool showDiagnosticsWindow() override;
    void closeDiagnosticsWindow() override;
    device::DiagnosticSink *diagnosticSink() override;
    QWidget *dialogParent() const override;
    long videoWindowNumber() const override;
    QRect videoWindowGeometry() const override;

    void presentFrame(const video::VideoFrame &frame) override;
    void setStillPicture(const QImage &picture) override;
    void setPreviewOrientation(int orientation, bool mirrored) override;
    void installImageFilters(const video::ImageFilterState &state) override;
    bool pictureCanBeSeen() const override;
    QSizeF previewFrameSize() const override;
    QRectF previewViewBounds() const override;
    double freezeFrameLayerWidth() const override;
    void showReadingGuideOverlay() override;
    void redrawGuides() override;

    bool OSDIsVisible() const override;
    void showHideOnScreenDisplay() override;
    void hideOnScreenDisplay() override;
    bool batteryLevelIndicatorShown() const override;
    void setBatteryLevelIndicatorShown(bool shown) override;
    void setBatteryLevel(int level) override;
    int batteryLevel() const override;

signals:
    // The button test ended, however its window was closed.
    void diagnosticsWindowClosed();

private:
    // Shows each change of the model's state in the menus and panels.
    void observeModel();
    void showChosenColourMode();
    void setAudioControlsMuted(bool muted);
    // The meter and the gain control, as the setting and the inputs allow.
    void showAudioControls();
    bool eventFilter(QObject *watched, QEvent *event) override;
    // Escape in the video window: unfreezes, else leaves full screen.
    bool handleEscape();

    ViewerModel &m_model;
    std::vector<std::unique_ptr<QWidget>> m_topLevelObjects;
    ui::MainWindowOutlets m_outlets;
    ui::LineOverlayView *m_lineOverlayView = nullptr;
    VideoWindowPlacement *m_placement = nullptr;            // child QObject
    OnScreenDisplay *m_onScreenDisplay = nullptr;           // child QObject
    PictureAccessibility *m_pictureAccessibility = nullptr; // child QObject
    std::unique_ptr<device::DiagnosticSink> m_diagnosticSink;
    SpeechFeedback *m_speech = nullptr; // child QObject
    PageReader *m_pageReader = nullptr; // child QObject
};

} // namespace kelvo::viewer
