#pragma once

#include <QLabel>

namespace kelvo::ui {

// The recording mark shown over the video while a movie is recorded.
class DraggableImageView : public QLabel {
    Q_OBJECT
public:
    explicit DraggableImageView(QWidget *parent = nullptr) : QLabel(parent) {}
};

} // namespace kelvo::ui
