#include "viewer/ViewerRig.h"

#include "common/SystemLog.h"
#include "ui/CustomSlider.h"
#include "ui/DraggableImageView.h"
#include "ui/DraggableLevelIndicator.h"
#include "ui/DraggableView.h"
#include "ui/DraggableWindow.h"
#include "ui/FloatingAccessibility.h"
#include "ui/FloatingControls.h"
#include "ui/KelvoViewerApplication.h"
#include "ui/KeyboardLayout.h"
#include "ui/LineOverlayView.h"
#include "ui/MainMenu.h"
#include "ui/MenuTags.h"
#include "viewer/VideoWindowPlacement.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QNativeGestureEvent>
#include <QPointingDevice>
#include <QTest>

using namespace kelvo;
using namespace kelvo::testing;

namespace {

struct WindowedViewer : ViewerRig {
    WindowedViewer()
    {
        controller.setPreviewConnection(true, true, true);
        controller.setVideoDevices({{QStringLiteral("Quadrel"), QStringLiteral("q1"), QStringLiteral("q")}}, 0);
        controller.videoWindow()->show();
        controller.videoWindow()->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(controller.videoWindow()));
        sent();
    }
    ~WindowedViewer()
    {
        if (QMenu *open = helpMenu())
            open->hide();
        ui::KelvoViewerApplication::instance()->setKeyboardLayout(ui::KeyboardLayout::current());
    }
    QWidget *picture() const { return controller.outlets().videoContainer; }
    QMenu *helpMenu() const
    {
        QAction *help = ui::findTopLevelItem(controller.mainMenu()->menuBar(), ui::MenuTag::Help);
        return help ? help->menu() : nullptr;
    }
};

// Counts the gestures that took the normal way to a widget.
struct GestureCounter : QObject {
    int seen = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::NativeGesture)
            ++seen;
        return false;
    }
};

bool sendGesture(QWidget *to, Qt::NativeGestureType type, double value)
{
    const QPointF at(to->width() / 2.0, to->height() / 2.0);
    QNativeGestureEvent event(type, QPointingDevice::primaryPointingDevice(), 2, at, at, to->mapToGlobal(at), value,
                              QPointF());
    return QApplication::sendEvent(to, &event);
}

// Ctrl with the key that sits at `character` (unshifted) in `layout`, as
// the window system delivers it.
void typeControlWith(QWidget *to, const ui::KeyboardLayout &layout, QChar character, Qt::Key qtKey,
                     Qt::KeyboardModifiers extra = Qt::NoModifier)
{
    const unsigned keycode = layout.keycodeFor(character);
    ASSERT_NE(keycode, 0u) << "no key for " << int(character.unicode());
    QKeyEvent press(QEvent::KeyPress, qtKey, Qt::ControlModifier | extra, keycode, character.unicode(), 0x4, QString());
    QApplication::sendEvent(to, &press);
    QCoreApplication::processEvents();
}

} // namespace

// Gestures on the picture reach the controller and go no further; the
// end of a gesture also takes the normal way.
TEST(EventRouting, TrackpadGesturesReachTheControllerOnly)
{
    WindowedViewer v;
    GestureCounter counter;
    v.picture()->installEventFilter(&counter);

    sendGesture(v.picture(), Qt::BeginNativeGesture, 0);
    for (int i = 0; i < 4; ++i)
        sendGesture(v.picture(), Qt::ZoomNativeGesture, 0.3);
    EXPECT_GT(v.controller.zoomLevel(), 1) << "a pinch outwards zooms in";
    EXPECT_EQ(counter.seen, 0);
    sendGesture(v.picture(), Qt::EndNativeGesture, 0);
    EXPECT_EQ(counter.seen, 1);

    const int pinched = v.controller.zoomLevel();
    sendGesture(v.picture(), Qt::SmartZoomNativeGesture, 0);
    EXPECT_EQ(v.controller.zoomLevel(), 1) << "a double tap locates: the whole page";
    EXPECT_EQ(v.controller.savedZoomLevel(), pinched);

    // A rotation moves the guides the way a drag does.
    v.controller.perform(ui::MenuCommand::ToggleHorizontalGuides, nullptr);
    ScopedLogCapture log;
    sendGesture(v.picture(), Qt::RotateNativeGesture, 5);
    EXPECT_TRUE(log.contains("Set rotation to 5.000000\n"));
    EXPECT_EQ(counter.seen, 1);
}

// Ctrl with the key that types "?" with Shift opens the Help menu, on a US
// and on a German layout, as does "?" typed as such.
TEST(EventRouting, ControlQuestionMarkOpensHelpOnAnyLayout)
{
    WindowedViewer v;
    auto *app = ui::KelvoViewerApplication::instance();
    ui::KeyboardLayout us(QStringLiteral("us"));
    ui::KeyboardLayout de(QStringLiteral("de"));
    ASSERT_TRUE(us.isValid() && de.isValid());
    EXPECT_EQ(us.shiftedText(us.keycodeFor(QLatin1Char('/'))), "?");
    EXPECT_EQ(de.shiftedText(de.keycodeFor(QChar(0xDF))), "?");

    app->setKeyboardLayout(ui::KeyboardLayout(QStringLiteral("us")));
    typeControlWith(v.picture(), us, QLatin1Char('/'), Qt::Key_Slash);
    ASSERT_TRUE(v.helpMenu()->isVisible()) << "Ctrl+/ on a US layout";
    v.helpMenu()->hide();
    typeControlWith(v.picture(), us, QLatin1Char('/'), Qt::Key_Question, Qt::ShiftModifier);
    EXPECT_TRUE(v.helpMenu()->isVisible()) << "Ctrl+Shift+/ types ? itself";
    v.helpMenu()->hide();

    app->setKeyboardLayout(ui::KeyboardLayout(QStringLiteral("de")));
    typeControlWith(v.picture(), de, QLatin1Char('7'), Qt::Key_7);
    EXPECT_FALSE(v.helpMenu()->isVisible()) << "Ctrl+7 types / with Shift in German, not ?";
    typeControlWith(v.picture(), de, QChar(0xDF), Qt::Key_ssharp);
    EXPECT_TRUE(v.helpMenu()->isVisible()) << "Ctrl+ß on a German layout";
    v.helpMenu()->hide();

    // The key with "+" above it counts as Ctrl+"+" (zoom in).
    app->setKeyboardLayout(ui::KeyboardLayout(QStringLiteral("us")));
    typeControlWith(v.picture(), us, QLatin1Char('='), Qt::Key_Equal);
    EXPECT_EQ(v.controller.zoomLevel(), 2);
}

// The floating controls: dragging on them moves the window (the meter only
// outside full screen; the gain slider moves its knob instead), and each
// says what it is to the screen reader.
TEST(FloatingControls, DragMovesTheWindowAndTheControlsAreNamed)
{
    WindowedViewer v;
    const ui::MainWindowOutlets &o = v.controller.outlets();
    QWidget *window = v.controller.videoWindow();
    auto drag = [&](QWidget *on, QPoint by) {
        const QPoint start = on->rect().center();
        const QPoint global = on->mapToGlobal(start);
        QMouseEvent press(QEvent::MouseButtonPress, start, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(on, &press);
        QMouseEvent move(QEvent::MouseMove, start + by, global + by, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(on, &move);
        QMouseEvent release(QEvent::MouseButtonRelease, start + by, global + by, Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(on, &release);
    };
    o.batteryLevelIndicatorView->show();
    o.audioLevelIndicator->show();
    o.recordOverlayView->show();
    o.audioGainControl->show();
    QPoint at = window->pos();
    drag(o.batteryLevelIndicatorView, QPoint(30, 20));
    EXPECT_EQ(window->pos(), at + QPoint(30, 20));
    at = window->pos();
    drag(o.batteryLevelIndicator, QPoint(-10, 5));
    EXPECT_EQ(window->pos(), at + QPoint(-10, 5)) << "the battery bar inside the view drags too";
    at = window->pos();
    drag(o.recordOverlayView, QPoint(5, 5));
    drag(o.audioLevelIndicator, QPoint(5, 5));
    EXPECT_EQ(window->pos(), at + QPoint(10, 10));
    at = window->pos();
    drag(o.audioGainControl, QPoint(0, -40));
    EXPECT_EQ(window->pos(), at);

    ui::installFloatingAccessibility();
    o.audioGainControl->setValue(40);
    QAccessibleInterface *gain = QAccessible::queryAccessibleInterface(o.audioGainControl);
    ASSERT_TRUE(gain);
    EXPECT_EQ(gain->role(), QAccessible::Slider);
    EXPECT_EQ(gain->text(QAccessible::Name), "Recording gain");
    EXPECT_EQ(gain->text(QAccessible::Description), "Current volume");
    ASSERT_TRUE(gain->valueInterface());
    EXPECT_EQ(gain->valueInterface()->currentValue().toInt(), 40);
    gain->valueInterface()->setCurrentValue(55);
    EXPECT_EQ(o.audioGainControl->value(), 55);

    QAccessibleInterface *mark = QAccessible::queryAccessibleInterface(o.recordOverlayView);
    EXPECT_EQ(mark->role(), QAccessible::Graphic);
    EXPECT_EQ(mark->text(QAccessible::Name), "Recording");

    ui::DraggableLevelIndicatorNoVoiceOver quiet;
    quiet.setValue(3);
    QAccessibleInterface *meter = QAccessible::queryAccessibleInterface(&quiet);
    EXPECT_TRUE(meter->state().invisible);
    EXPECT_EQ(meter->text(QAccessible::Value), "Current volume");
    EXPECT_EQ(meter->childCount(), 0);

    // An ignored panel is invisible to the reader; a text-holding one reads
    // as its texts.
    QAccessibleInterface *battery = QAccessible::queryAccessibleInterface(o.batteryLevelIndicatorView);
    EXPECT_EQ(battery->role(), QAccessible::Pane);
    o.batteryLevelIndicatorView->setUseAccessibility(false);
    EXPECT_TRUE(battery->state().invisible);

    // In full screen the meter no longer moves the window.
    v.controller.perform(ui::MenuCommand::EnterExitFullScreen, nullptr);
    ASSERT_TRUE(v.waitFor([&] { return v.controller.placement()->isFullScreen(); }));
    at = window->pos();
    drag(o.audioLevelIndicator, QPoint(25, 25));
    EXPECT_EQ(window->pos(), at);
}

// The about box scales its text with the box; Window > Minimize minimises.
TEST(FloatingControls, ScalingAndMinimize)
{
    WindowedViewer v;
    QWidget *box = v.controller.outlets().OSDAboutBoxView;
    QLabel *field = box->findChild<QLabel *>();
    ASSERT_TRUE(field);
    const double size = field->font().pointSizeF();
    ui::setScale(box, QSizeF(2, 3));
    EXPECT_EQ(ui::scale(box), QSizeF(2, 3));
    EXPECT_DOUBLE_EQ(field->font().pointSizeF(), 2 * size);
    ui::resetScaling(box);
    EXPECT_EQ(ui::scale(box), QSizeF(1, 1));
    EXPECT_DOUBLE_EQ(field->font().pointSizeF(), size);

    QAction *minimize = nullptr;
    for (QAction *item :
         ui::findTopLevelItem(v.controller.mainMenu()->menuBar(), ui::MenuTag::Window)->menu()->actions())
        if (ui::commandOf(item) == ui::MenuCommand::MiniaturizeWindow)
            minimize = item;
    ASSERT_TRUE(minimize);
    v.controller.mainMenu()->validateAll();
    ASSERT_TRUE(minimize->isEnabled());
    minimize->trigger();
    EXPECT_TRUE(v.waitFor([&] { return v.controller.videoWindow()->isMinimized(); }));
}

// The picture takes the focus and says what it shows, after every change
// (the announcement itself is checked over AT-SPI).
TEST(PictureDescription, FollowsTheStateAndAnnouncesEachChange)
{
    WindowedViewer v;
    QWidget *picture = v.picture();
    EXPECT_EQ(picture->focusPolicy(), Qt::StrongFocus);
    EXPECT_EQ(picture->accessibleName(), "Camera picture");
    const QString start = picture->accessibleDescription();
    EXPECT_TRUE(start.startsWith(QStringLiteral("Zoom level 1,"))) << start.toStdString();
    EXPECT_TRUE(start.contains(QStringLiteral(", live,"))) << start.toStdString();
    EXPECT_TRUE(start.contains(QStringLiteral("horizontal guides none"))) << start.toStdString();

    v.controller.zoomCameraIn();
    v.controller.freezeFrame();
    v.controller.perform(ui::MenuCommand::ToggleHorizontalGuides, nullptr);
    v.controller.mirrorScreenUIAction();
    v.controller.rotateWindowUIAction();

    const QString now = picture->accessibleDescription();
    for (const char *part : {"Zoom level 2,", ", frozen,", "horizontal guides lines", "vertical guides none",
                             "turned to portrait right, mirrored."})
        EXPECT_TRUE(now.contains(QLatin1String(part))) << part << " in " << now.toStdString();
}
