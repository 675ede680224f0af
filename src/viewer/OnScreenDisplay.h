#pragma once

#include "ui/MainWindowInterface.h"
#include "ui/TableViewMenu.h"

#include <QObject>
#include <QString>
#include <functional>
#include <vector>

namespace kelvo::ui {
class LineOverlayView;
class MenuCommandTarget;
} // namespace kelvo::ui

namespace kelvo::viewer {

class VideoWindowPlacement;
class ViewerModel;

// The on-screen menu: eight rows over the picture in full screen, each
// showing one setting's state and changing it when chosen, worked with the
// arrow, Return and Escape keys or the camera's buttons; and its about box.
// Asked for in a window, it first takes the window to full screen and
// appears once the window is there.
// Thread: main thread.
class OnScreenDisplay : public QObject, public ui::TableViewMenuDelegate {
    Q_OBJECT
public:
    enum class Action {
        NextColorMode,
        ToggleHorizontalGuides,
        ToggleVerticalGuides,
        CycleColorBalance,
        ShowHideAudioLevel,
        Mirror,
        Rotate,
        ShowAboutBox,
    };
    struct Row {
        QString text;
        Action action;
    };
    struct Parts {
        const ui::MainWindowOutlets &outlets;
        ViewerModel &model;
        ui::MenuCommandTarget &commands;
        ui::LineOverlayView *guides;
        VideoWindowPlacement *placement;
    };

    explicit OnScreenDisplay(Parts parts, QObject *parent = nullptr);

    // Whether a camera takes commands now; without one the colour-balance
    // row only beeps.
    void setCameraQuery(std::function<bool()> hasCamera) { m_hasCamera = std::move(hasCamera); }
    void setBeep(std::function<void()> beep) { m_beep = std::move(beep); }

    // The rows, built afresh from the current state, texts localised.
    std::vector<Row> menuArray() const;
    int numberOfRows() const { return static_cast<int>(menuArray().size()); }
    QString rowText(int row) const;
    // Runs the row's action, then shows every row's new state.
    void performOSDCommand(int row) override;
    void reloadData();

    void showHideOnScreenDisplay();
    void hideOnScreenDisplay() override;
    bool OSDIsVisible() const override { return m_visible; }
    void showOSDAboutBox();
    void hideOSDAboutBox() override;
    bool showingOSDAboutBox() const override { return m_showingAboutBox; }
    // The texts of the about box, in order, as the screen reader gets them.
    QString aboutBoxText() const;

    // Normal -> Cool -> Warm -> Normal; any other value is left alone.
    void cycleColorBalanceMode();
    void setColorBalanceModeNormal();
    void setColorBalanceModeCool();
    void setColorBalanceModeWarm();
    // The zoom buttons' mode: Zoom -> Spacing -> Scroll -> Zoom.
    void cycleZoomControlMode();
    QString zoomModeUIString() const;

private:
    void layOut();
    void announceLayoutChange(QWidget *focused);
    bool canRun(Action action) const;

    const ui::MainWindowOutlets &m_outlets;
    ViewerModel &m_model;
    ui::MenuCommandTarget &m_commands;
    ui::LineOverlayView *m_guides;
    VideoWindowPlacement *m_placement;
    std::function<bool()> m_hasCamera = [] { return true; };
    std::function<void()> m_beep;
    bool m_visible = false;
    bool m_showingAboutBox = false;
};

} // namespace kelvo::viewer
