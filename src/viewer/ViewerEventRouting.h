#pragma once

#include "ui/KelvoViewerApplication.h"

namespace kelvo::viewer {

class MainWindowDelegate;

// Joins the application object's routed events to the viewer controller:
// gestures to its gesture actions, full-screen pointer moves to the idle
// pointer of its window, the Help menu and key equivalents to its menu bar.
// Registers itself with the application object for its lifetime, where the
// application is the viewer's own.
// Thread: main thread.
class ViewerEventRouting final : public ui::EventRoutingTarget {
public:
    explicit ViewerEventRouting(MainWindowDelegate &controller);
    ~ViewerEventRouting() override;

    bool isFullScreen() const override;
    void mouseMoved() override;
    void beginGesture() override;
    void magnify(double magnification) override;
    void smartMagnify() override;
    void rotateGesture(double degrees) override;
    void endGesture() override;
    QAction *helpMenuItem() const override;
    bool performKeyEquivalent(const QKeySequence &key) override;

private:
    MainWindowDelegate &m_controller;
};

} // namespace kelvo::viewer
