#pragma once

#include "ui/KeyboardLayout.h"

#include <QApplication>
#include <QKeySequence>
#include <optional>

class QAction;
class QKeyEvent;

namespace kelvo::ui {

// Where the application object hands the events it takes out of the normal
// dispatch: the trackpad's gestures and, in full screen, the pointer's moves.
// The viewer controller, once its windows exist.
// Thread: main thread.
class EventRoutingTarget {
public:
    virtual ~EventRoutingTarget() = default;
    virtual bool isFullScreen() const = 0;
    virtual void mouseMoved() = 0;
    virtual void beginGesture() = 0;
    // A pinch step: the relative change of size.
    virtual void magnify(double magnification) = 0;
    virtual void smartMagnify() = 0;
    // Degrees, counter-clockwise positive.
    virtual void rotateGesture(double degrees) = 0;
    virtual void endGesture() = 0;
    // The menu bar's Help menu item; null without a menu bar.
    virtual QAction *helpMenuItem() const = 0;
    // Runs the enabled menu item whose key is `key`; answers whether one ran.
    virtual bool performKeyEquivalent(const QKeySequence &key) = 0;
};

// The application object. It knows the application delegate, through which
// every other object reaches the long-lived parts of the viewer, and looks
// at every event before the normal dispatch: gestures go to the viewer
// controller only, pointer moves in full screen reach it too, and Ctrl with
// the key that types "+" or "?" with Shift counts as Ctrl+"+" or opens the
// Help menu, on any keyboard layout.
// Thread: main thread.
class KelvoViewerApplication : public QApplication {
    Q_OBJECT
public:
    KelvoViewerApplication(int &argc, char **argv);

    QObject *delegate() const { return m_delegate; }
    void setDelegate(QObject *delegate) { m_delegate = delegate; }
    void setEventRoutingTarget(EventRoutingTarget *target) { m_routingTarget = target; }
    EventRoutingTarget *eventRoutingTarget() const { return m_routingTarget; }
    // The layout the Shift rule reads; the desktop's own until set.
    void setKeyboardLayout(KeyboardLayout layout) { m_layout.emplace(std::move(layout)); }

    // Opens the Help menu of the menu bar, as a click on it would.
    void openHelpMenu();

    static KelvoViewerApplication *instance();

    bool notify(QObject *receiver, QEvent *event) override;

private:
    // Answers true when the event is done with.
    bool route(QObject *receiver, QEvent *event);
    bool routeKey(const QKeyEvent &key);
    const KeyboardLayout &keyboardLayout();

    QObject *m_delegate = nullptr;
    EventRoutingTarget *m_routingTarget = nullptr;
    std::optional<KeyboardLayout> m_layout;
};

} // namespace kelvo::ui
