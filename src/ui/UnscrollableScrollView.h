#pragma once

#include <QScrollArea>

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
    }
};

} // namespace kelvo::ui
