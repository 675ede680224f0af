#pragma once

#include <QMainWindow>
#include <QRect>

#include <functional>
#include <optional>

class QScreen;

namespace kelvo::ui {

// The video window: the picture edge to edge, the floating controls over it,
// and the menu bar of the application.
//
// In full screen the window covers its screen and the picture (the central
// widget) is placed at a rectangle that may reach past the window on two
// sides, so that the picture fills the screen and is cut on its long side.
// Thread: main thread.
class DraggableWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit DraggableWindow(QWidget *parent = nullptr);

    // Set while a full-screen animation of our own runs; the frame is not
    // constrained meanwhile.
    bool isAnimating() const { return m_isAnimating; }
    void setAnimating(bool animating) { m_isAnimating = animating; }

    // Answers the full-screen rectangle (in Qt's screen coordinates) for a
    // screen while the viewer is going into full screen or is in it and not
    // coming out; nothing otherwise.
    using FullScreenFrameProvider = std::function<std::optional<QRect>(QScreen *)>;
    void setFullScreenFrameProvider(FullScreenFrameProvider provider) { m_fullScreenFrame = std::move(provider); }

    // The frame the window may take when `frame` is asked for on `screen`
    // (the window's own screen when null): in full screen always the
    // full-screen rectangle, otherwise the frame as asked.
    QRect constrainFrameRect(const QRect &frame, QScreen *screen = nullptr) const;

    // Places the picture (the central widget) at `geometry`, in the window's
    // coordinates, whatever the window's layout would give it; nothing gives
    // the picture back to the layout.
    void setPictureGeometry(std::optional<QRect> geometry);
    std::optional<QRect> pictureGeometry() const { return m_pictureGeometry; }

    // The height of the window's own strip above the picture (the menu bar)
    // when the window is `width` wide; 0 when the menu bar is elsewhere.
    int titleBarHeightForWidth(int width) const;

    // Maximises the window, or returns it to its size before, and retitles
    // the Window menu's zoom item.
    void zoom();
    void performZoom() { zoom(); }
    // Minimises the window whatever its style: the menu item works even
    // where the window manager shows no button for it.
    void performMiniaturizeAnyway() { showMinimized(); }
    bool isZoomed() const { return isMaximized(); }
    // Titles the zoom item (tag 65535 in the Window menu, tag 95) after what
    // choosing it would do.
    void resetZoomMenuItemTitle();

    // Shows, raises and activates the window, but only while the
    // application is in the foreground, so that a background launch does
    // not steal the user's focus.
    void makeKeyAndOrderFront();
    void setForegroundQuery(std::function<bool()> isForegroundApp) { m_isForegroundApp = std::move(isForegroundApp); }

signals:
    // The user or the menu closed the window.
    void windowWillClose();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;

private:
    void placePicture();

    bool m_isAnimating = false;
    FullScreenFrameProvider m_fullScreenFrame;
    std::optional<QRect> m_pictureGeometry;
    std::function<bool()> m_isForegroundApp;
};

} // namespace kelvo::ui
