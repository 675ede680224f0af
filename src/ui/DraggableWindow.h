#pragma once

#include <QMainWindow>

namespace kelvo::ui {

// The video window: the picture edge to edge, the floating controls over it,
// and the menu bar of the application.
class DraggableWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit DraggableWindow(QWidget *parent = nullptr);

    // Set while a full-screen animation of our own runs.
    bool isAnimating() const { return m_isAnimating; }
    void setAnimating(bool animating) { m_isAnimating = animating; }

signals:
    // The user or the menu closed the window.
    void windowWillClose();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    bool m_isAnimating = false;
};

} // namespace kelvo::ui
