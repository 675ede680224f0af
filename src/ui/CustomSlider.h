#pragma once

#include <QSlider>

namespace kelvo::ui {

// The recording-gain control over the video.
class CustomSlider : public QSlider {
    Q_OBJECT
public:
    explicit CustomSlider(QWidget *parent = nullptr) : QSlider(Qt::Vertical, parent) {}
};

} // namespace kelvo::ui
