#pragma once

#include <QSizeF>
#include <functional>

class QWidget;

namespace kelvo::ui {

// Dragging on `control` moves its window, as the window's own background
// would, while `allowed` answers true (always when empty). The window
// manager moves the window where it offers that; elsewhere the window
// follows the pointer.
void makeWindowDraggable(QWidget *control, std::function<bool()> allowed = {});

// The scale a view is drawn at, relative to its designed size: (1, 1) until
// set. Setting it scales the fonts of the view and of every view inside it,
// from the sizes they had at scale 1.
QSizeF scale(const QWidget *view);
void resetScaling(QWidget *view);
void setScale(QWidget *view, QSizeF scale);

} // namespace kelvo::ui
