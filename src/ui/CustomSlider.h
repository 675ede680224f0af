#pragma once

#include <QSlider>

namespace kelvo::ui {

// The recording-gain control over the video: 0 to 100 per cent of the
// microphone's own level.
class CustomSlider : public QSlider {
    Q_OBJECT
public:
    explicit CustomSlider(QWidget *parent = nullptr) : QSlider(Qt::Vertical, parent)
    {
        setRange(0, 100);
        setValue(100);
        // See-through over the picture, like the meter beside it.
        setAttribute(Qt::WA_TranslucentBackground);
        setStyleSheet(QStringLiteral("QSlider { background: rgba(0, 0, 0, 50); }"));
    }
};

} // namespace kelvo::ui
