#pragma once

#include <QRectF>
#include <QString>
#include <QTimer>
#include <QWidget>

class QGraphicsOpacityEffect;
class QPropertyAnimation;

namespace kelvo::ui {

// The words just spoken, large, over the picture for a moment: white on an
// opaque black plate with a white rim, so that it reads the same in every
// colour mode and on any picture. It sits at the top edge, or at the bottom
// when the line being read lies up there, and never takes a click. Covers
// its parent; follows its size.
class SpeechCaption : public QWidget {
    Q_OBJECT
public:
    explicit SpeechCaption(QWidget *parent);

    // Shows the text now, replacing any caption, and fades it out after
    // holdMs.
    void showCaption(const QString &text);
    QString text() const { return m_text; }
    bool isShowing() const { return isVisible() && !m_text.isEmpty(); }
    // Where the caption must not go (the line being read), in this widget's
    // coordinates; an empty rectangle frees the whole height.
    void setAvoidedArea(const QRectF &area);
    // The plate, in this widget's coordinates.
    QRectF plateRect() const;

    static constexpr int kHoldMs = 1500;
    static constexpr int kFadeMs = 350;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QFont captionFont() const;

    QString m_text;
    QRectF m_avoided;
    QTimer m_hold;
    QGraphicsOpacityEffect *m_opacity;
    QPropertyAnimation *m_fade;
};

} // namespace kelvo::ui
