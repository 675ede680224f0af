#include "ui/FloatingAccessibility.h"

#include "common/Localization.h"
#include "ui/CustomSlider.h"
#include "ui/DraggableImageView.h"
#include "ui/DraggableLevelIndicator.h"
#include "ui/DraggableView.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>

namespace kelvo::ui {
namespace {

// A panel over the video. Shown with text fields and reporting itself
// (the on-screen about box), it reads as one text area holding all of them.
class DraggableViewAccessible final : public QAccessibleWidget {
public:
    explicit DraggableViewAccessible(DraggableView *view) : QAccessibleWidget(view, QAccessible::Pane) {}

    DraggableView *view() const { return static_cast<DraggableView *>(widget()); }

    bool readsAsText() const
    {
        return view()->useAccessibility() && view()->isVisible() && !view()->findChildren<QLabel *>().isEmpty();
    }

    QAccessible::Role role() const override { return readsAsText() ? QAccessible::EditableText : QAccessible::Pane; }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        if (!view()->useAccessibility())
            s.invisible = true;
        if (readsAsText())
            s.readOnly = true;
        return s;
    }

    QString text(QAccessible::Text t) const override
    {
        if (readsAsText() && (t == QAccessible::Value || t == QAccessible::Description))
            return fieldsText();
        return QAccessibleWidget::text(t);
    }

private:
    QString fieldsText() const
    {
        QString text;
        for (const QLabel *field : view()->findChildren<QLabel *>())
            text += QLatin1Char(' ') + field->text();
        return text;
    }
};

// The gain: a slider whose value is the recording volume.
class CustomSliderAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit CustomSliderAccessible(CustomSlider *slider) : QAccessibleWidget(slider, QAccessible::Slider) {}

    CustomSlider *slider() const { return static_cast<CustomSlider *>(widget()); }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return QString::number(slider()->value());
        if (t == QAccessible::Description && slider()->accessibleDescription().isEmpty())
            return localized("Current volume");
        return QAccessibleWidget::text(t);
    }

    QVariant currentValue() const override { return slider()->value(); }
    void setCurrentValue(const QVariant &value) override { slider()->setValue(value.toInt()); }
    QVariant maximumValue() const override { return slider()->maximum(); }
    QVariant minimumValue() const override { return slider()->minimum(); }
    QVariant minimumStepSize() const override { return slider()->singleStep(); }
};

// The recording mark: a picture, named for what it means.
class DraggableImageViewAccessible final : public QAccessibleWidget {
public:
    explicit DraggableImageViewAccessible(QWidget *view) : QAccessibleWidget(view, QAccessible::Graphic) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return localized("Recording");
        return QAccessibleWidget::text(t);
    }
};

// A meter kept from the screen reader, whose constant change would drown
// everything else; asked anyway, it says what it is and has no parts.
class QuietLevelIndicatorAccessible final : public QAccessibleWidget {
public:
    explicit QuietLevelIndicatorAccessible(QWidget *meter) : QAccessibleWidget(meter, QAccessible::ProgressBar) {}

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.invisible = true;
        return s;
    }
    int childCount() const override { return 0; }
    QAccessibleInterface *child(int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return localized("Current volume");
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface *floatingControlFactory(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    if (className == QLatin1String("kelvo::ui::DraggableView"))
        return new DraggableViewAccessible(static_cast<DraggableView *>(object));
    if (className == QLatin1String("kelvo::ui::CustomSlider"))
        return new CustomSliderAccessible(static_cast<CustomSlider *>(object));
    if (className == QLatin1String("kelvo::ui::DraggableImageView"))
        return new DraggableImageViewAccessible(static_cast<QWidget *>(object));
    if (className == QLatin1String("kelvo::ui::DraggableLevelIndicatorNoVoiceOver"))
        return new QuietLevelIndicatorAccessible(static_cast<QWidget *>(object));
    return nullptr;
}

} // namespace

void installFloatingAccessibility()
{
    // Qt keeps a factory once however often it is installed.
    QAccessible::installFactory(floatingControlFactory);
}

} // namespace kelvo::ui
