#pragma once

#include <QColor>
#include <QPolygonF>
#include <QWidget>

namespace kelvo::ui {

// Outlines the line being read on the frozen picture, in the colour of the
// mode's text with a rim of its paper, so it stands out as the print does.
// Covers its parent; takes no clicks.
class ReadingLineOutline : public QWidget {
    Q_OBJECT
public:
    explicit ReadingLineOutline(QWidget *parent);

    // In this widget's coordinates; empty hides the outline.
    void setOutline(const QPolygonF &outline);
    const QPolygonF &outline() const { return m_outline; }
    void setColours(QColor ink, QColor paper);
    QColor ink() const { return m_ink; }

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPolygonF m_outline;
    QColor m_ink = Qt::black;
    QColor m_paper = Qt::white;
};

} // namespace kelvo::ui
