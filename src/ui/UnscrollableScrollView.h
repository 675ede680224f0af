#pragma once

#include <QScrollArea>
#include <QWheelEvent>

namespace kelvo::ui {

// Holds the on-screen menu's list; it never scrolls by itself, so the list
// stays where the camera's buttons put it.
class UnscrollableScrollView : public QScrollArea {
    Q_OBJECT
public:
    explicit UnscrollableScrollView(QWidget *parent = nullptr) : QScrollArea(parent)
    {
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setWidgetResizable(true);
        setFrameShape(QFrame::NoFrame);
    }

protected:
    void wheelEvent(QWheelEvent *event) override { event->ignore(); }
};

} // namespace kelvo::ui
