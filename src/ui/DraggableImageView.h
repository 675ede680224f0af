#pragma once

#include "ui/FloatingControls.h"

#include <QLabel>

namespace kelvo::ui {

// The recording mark shown over the video while a movie is recorded.
class DraggableImageView : public QLabel {
    Q_OBJECT
public:
    explicit DraggableImageView(QWidget *parent = nullptr) : QLabel(parent) { makeWindowDraggable(this); }
};

} // namespace kelvo::ui
