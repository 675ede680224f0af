#include "ui/FloatingControls.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace kelvo::ui {
namespace {

constexpr const char *kScaleProperty = "kelvoScale";
constexpr const char *kBaseFontProperty = "kelvoBaseFontPointSize";

class WindowDrag final : public QObject {
public:
    WindowDrag(QWidget *control, std::function<bool()> allowed) : QObject(control), m_allowed(std::move(allowed))
    {
        control->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *control = static_cast<QWidget *>(watched);
        QWidget *window = control->window();
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() != Qt::LeftButton || (m_allowed && !m_allowed()))
                return false;
            QWindow *handle = window->windowHandle();
            if (handle && handle->startSystemMove()) {
                m_following = false;
                return true;
            }
            m_following = true;
            m_grabOffset = mouse->globalPosition().toPoint() - window->pos();
            return true;
        }
        case QEvent::MouseMove: {
            auto *mouse = static_cast<QMouseEvent *>(event);
            if (!m_following || !(mouse->buttons() & Qt::LeftButton))
                return false;
            window->move(mouse->globalPosition().toPoint() - m_grabOffset);
            return true;
        }
        case QEvent::MouseButtonRelease:
            if (!m_following)
                return false;
            m_following = false;
            return true;
        default:
            return false;
        }
    }

private:
    std::function<bool()> m_allowed;
    bool m_following = false;
    QPoint m_grabOffset;
};

void scaleFonts(QWidget *view, double factor)
{
    QList<QWidget *> views = view->findChildren<QWidget *>();
    views.prepend(view);
    for (QWidget *each : views) {
        QVariant base = each->property(kBaseFontProperty);
        if (!base.isValid()) {
            base = each->font().pointSizeF();
            each->setProperty(kBaseFontProperty, base);
        }
        if (base.toDouble() <= 0)
            continue;
        QFont font = each->font();
        font.setPointSizeF(std::max(1.0, base.toDouble() * factor));
        each->setFont(font);
    }
}

} // namespace

void makeWindowDraggable(QWidget *control, std::function<bool()> allowed)
{
    new WindowDrag(control, std::move(allowed));
}

QSizeF scale(const QWidget *view)
{
    const QVariant value = view->property(kScaleProperty);
    return value.isValid() ? value.toSizeF() : QSizeF(1, 1);
}

void resetScaling(QWidget *view)
{
    setScale(view, QSizeF(1, 1));
}

void setScale(QWidget *view, QSizeF newScale)
{
    // Text has one size: the smaller factor keeps it inside both sides.
    view->setProperty(kScaleProperty, newScale);
    scaleFonts(view, std::min(newScale.width(), newScale.height()));
    view->update();
}

} // namespace kelvo::ui
