#pragma once

#include <QProxyStyle>

namespace kelvo::ui {

// Draws the keyboard focus as a thick frame in the highlight colour, so that
// a user who sees poorly finds it on tabs, tables, lists and buttons alike.
// Thread: main thread.
class FocusFrameStyle : public QProxyStyle {
    Q_OBJECT
public:
    explicit FocusFrameStyle(QStyle *base = nullptr);

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget = nullptr) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption *option = nullptr,
                    const QWidget *widget = nullptr) const override;

    static constexpr int kFrameWidth = 3;
};

} // namespace kelvo::ui
