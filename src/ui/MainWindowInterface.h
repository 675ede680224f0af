#pragma once

#include <QList>
#include <QWidget>
#include <memory>

class QGroupBox;
class QLabel;
class QProgressBar;
class QStackedWidget;

namespace kelvo::ui {

class CustomSlider;
class DiagnosticWindow;
class DraggableImageView;
class DraggableLevelIndicator;
class DraggableView;
class DraggableWindow;
class FirmwareUpdateWindow;
class MainMenu;
class MenuCommandTarget;
class PreferencesWindow;
class TableViewMenu;
class UnscrollableScrollView;
class VideoView;

// Keeps the video's layers (live picture, still picture, guide overlay)
// filling the window's content, stacked in that order.
class VideoContainer : public QWidget {
    Q_OBJECT
public:
    explicit VideoContainer(QWidget *parent = nullptr);
    // Adds a layer that always covers the whole container, above the others.
    void addLayer(QWidget *layer);
    // Replaces a layer by another at the same depth; the old one is deleted.
    void replaceLayer(QWidget *oldLayer, QWidget *newLayer);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QList<QWidget *> m_layers;
};

// The objects of the viewer's main interface: the video window with its
// views, and the other windows the viewer controller drives. Each object
// carries its outlet name as object name, so tests and the screen reader
// find it.
struct MainWindowOutlets {
    DraggableWindow *videoWindow = nullptr;
    VideoContainer *videoContainer = nullptr;
    VideoView *previewView = nullptr;
    QLabel *freezeFrameView = nullptr;
    QWidget *lineOverlayView = nullptr;
    QProgressBar *batteryLevelIndicator = nullptr;
    DraggableView *batteryLevelIndicatorView = nullptr;
    DraggableImageView *recordOverlayView = nullptr;
    DraggableLevelIndicator *audioLevelIndicator = nullptr;
    CustomSlider *audioGainControl = nullptr;
    TableViewMenu *OSDTableView = nullptr;
    UnscrollableScrollView *OSDScrollView = nullptr;
    QGroupBox *OSDAboutBox = nullptr;
    DraggableView *OSDAboutBoxView = nullptr;
    PreferencesWindow *preferencesWindow = nullptr;
    QLabel *preferencesWarningTextField = nullptr;
    DiagnosticWindow *diagnosticWindow = nullptr;
    FirmwareUpdateWindow *firmwareUpdateWindow = nullptr;
    QStackedWidget *firmwareUpdateTabView = nullptr;
    MainMenu *mainMenu = nullptr;
};

// Builds the main interface. The returned top-level windows are owned by the
// caller through `topLevelObjects` (the video window first); the menu bar's
// items carry their commands out through `commands` (without one, every item
// is disabled: a window tested on its own).
MainWindowOutlets loadMainWindowInterface(std::vector<std::unique_ptr<QWidget>> &topLevelObjects,
                                          MenuCommandTarget *commands = nullptr);

} // namespace kelvo::ui
