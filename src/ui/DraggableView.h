#pragma once

#include "ui/FloatingControls.h"

#include <QWidget>

namespace kelvo::ui {

// A floating panel over the video (the battery view, the on-screen about
// box). Dragging it moves the window; it can take keyboard focus so that the
// screen reader and Escape reach it.
class DraggableView : public QWidget {
    Q_OBJECT
public:
    explicit DraggableView(QWidget *parent = nullptr) : QWidget(parent)
    {
        setFocusPolicy(Qt::StrongFocus);
        makeWindowDraggable(this);
    }

    bool useAccessibility() const { return m_useAccessibility; }
    void setUseAccessibility(bool on) { m_useAccessibility = on; }

private:
    bool m_useAccessibility = true;
};

} // namespace kelvo::ui
