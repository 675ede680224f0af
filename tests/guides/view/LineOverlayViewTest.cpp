// The Qt overlay as the user meets it: the pixels it renders over the
// picture, and the mouse, wheel and gesture events it receives.
#include "ui/LineOverlayView.h"
#include "guides/FakeLineOverlayDelegate.h"
#include "ui/MenuTags.h"

#include <QApplication>
#include <QImage>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <set>

namespace kelvo::ui {
namespace {

using guides::kReadingGuideModeLines;
using guides::kReadingGuideModeWindow;

const QColor kPicture(128, 128, 128);

// A grey "picture" with the overlay laid over it, the same size.
struct OverlayFixture : ::testing::Test {
    QWidget picture;
    guides::testing::FakeLineOverlayDelegate controller;
    LineOverlayView *overlay = nullptr;

    void build(int w, int h)
    {
        picture.resize(w, h);
        picture.setAutoFillBackground(true);
        QPalette palette = picture.palette();
        palette.setColor(QPalette::Window, kPicture);
        picture.setPalette(palette);
        overlay = new LineOverlayView(QRect(0, 0, w, h), &controller, &picture);
    }
    QImage render() { return picture.grab().toImage(); }
    // Rows of column x that show colour c.
    std::set<int> rowsOf(const QImage &image, int x, const QColor &c)
    {
        std::set<int> rows;
        for (int y = 0; y < image.height(); ++y)
            if (image.pixelColor(x, y) == c)
                rows.insert(y);
        return rows;
    }
    void mouse(QEvent::Type type, QPointF local, QPointF global)
    {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, local, global, type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                          Qt::NoModifier);
        QApplication::sendEvent(overlay, &event);
    }
};

TEST_F(OverlayFixture, WindowMasksCoverExactlyTheOutsideOfTheBand)
{
    build(400, 300);
    // Horizontal band from y 108 to 132 (y-up) is Qt rows 168..191.
    overlay->setScrollPosition(20);
    overlay->setHorizontalReadingGuideMode(kReadingGuideModeWindow);
    controller.inverse = true; // the mask stays black in inverse modes
    QImage image = render();
    int wrong = 0;
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x)
            wrong += image.pixelColor(x, y) != ((y < 168 || y >= 192) ? QColor(Qt::black) : kPicture);
    EXPECT_EQ(wrong, 0);

    // Vertical band from x 204 to 236.
    overlay->setScrollPosition(10);
    overlay->setVerticalReadingGuideMode(kReadingGuideModeWindow);
    image = render();
    wrong = 0;
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x)
            wrong += image.pixelColor(x, y) != ((x < 204 || x >= 236) ? QColor(Qt::black) : kPicture);
    EXPECT_EQ(wrong, 0);
}

TEST_F(OverlayFixture, LinesAreDrawnAtTheFlippedGeometry)
{
    build(400, 300);
    overlay->setScrollPosition(20);
    overlay->setHorizontalReadingGuideMode(kReadingGuideModeLines);
    const guides::GuideLineGeometry g = overlay->horizontalLinePointInfo();
    const std::set<int> expected = {300 - static_cast<int>(g.firstLineStart.y),
                                    300 - static_cast<int>(g.secondLineStart.y)};
    EXPECT_EQ(rowsOf(render(), 200, Qt::black), expected);
    controller.inverse = true;
    EXPECT_EQ(rowsOf(render(), 17, Qt::white), expected) << "white over the black of an inverse mode";

    overlay->setVerticalReadingGuideMode(kReadingGuideModeLines);
    overlay->setLineWidth(3); // 6 pixels wide
    const QImage image = render();
    const int leftX = static_cast<int>(overlay->verticalLinePointInfo().firstLineStart.x);
    EXPECT_EQ(image.pixelColor(leftX, 10), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(leftX - 5, 10), kPicture);
    EXPECT_EQ(image.pixelColor(leftX + 5, 10), kPicture);
}

TEST_F(OverlayFixture, LocatorFrameIsWhiteAndHidesTheGuides)
{
    build(800, 600);
    overlay->setHorizontalReadingGuideMode(kReadingGuideModeLines);
    controller.savedZoom = 5; // frame (200, 150, 400, 300)
    const QImage image = render();
    for (QPoint edge : {QPoint(200, 300), QPoint(600, 300), QPoint(400, 150), QPoint(400, 450)})
        EXPECT_EQ(image.pixelColor(edge), QColor(Qt::white)) << edge.x() << "," << edge.y();
    EXPECT_EQ(image.pixelColor(400, 300), kPicture);
    EXPECT_TRUE(rowsOf(image, 100, Qt::black).empty()) << "no guide lines while locating";
}

TEST_F(OverlayFixture, DraggingTheUpperLineAndMovingTheWindow)
{
    build(400, 500);
    picture.move(50, 60);
    picture.show();
    overlay->setHorizontalReadingGuideMode(kReadingGuideModeLines);
    // The upper line is at y 270 up, Qt row 230; drag it up by 25.
    mouse(QEvent::MouseButtonPress, {100, 230}, {1100, 1230});
    EXPECT_EQ(overlay->mouseDragMode(), guides::kMouseDragFirstHorizontalLine);
    mouse(QEvent::MouseMove, {100, 205}, {1100, 1205});
    mouse(QEvent::MouseButtonRelease, {100, 205}, {1100, 1205});
    EXPECT_EQ(overlay->guideSeparation(), 4);
    EXPECT_DOUBLE_EQ(overlay->dragAccumY(), 5);
    EXPECT_EQ(controller.saves, 1);
    EXPECT_EQ(controller.windowWillMoves, 0);
    EXPECT_EQ(picture.pos(), QPoint(50, 60));

    // A press away from both lines drags the window along.
    mouse(QEvent::MouseButtonPress, {200, 400}, {1200, 1400});
    EXPECT_EQ(overlay->mouseDragMode(), guides::kMouseDragWindow);
    mouse(QEvent::MouseMove, {200, 400}, {1215, 1407});
    mouse(QEvent::MouseMove, {200, 400}, {1220, 1410});
    mouse(QEvent::MouseButtonRelease, {200, 400}, {1220, 1410});
    EXPECT_EQ(picture.pos(), QPoint(70, 70));
    EXPECT_EQ(controller.windowWillMoves, 3);
    EXPECT_EQ(controller.saves, 2);
    EXPECT_EQ(overlay->guideSeparation(), 4);
    EXPECT_DOUBLE_EQ(overlay->dragAccumY(), 5);
}

TEST_F(OverlayFixture, DragWithoutPressTakesTheDefaultPath)
{
    build(400, 500);
    QMouseEvent move(QEvent::MouseMove, QPointF(10, 10), QPointF(10, 10), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    move.accept();
    QApplication::sendEvent(overlay, &move);
    EXPECT_FALSE(move.isAccepted()) << "left to the widgets below";
    EXPECT_EQ(controller.windowWillMoves, 0);
}

TEST_F(OverlayFixture, WheelMovesThePairInWholeSteps)
{
    build(400, 400);
    QApplication::setWheelScrollLines(3);
    overlay->setHorizontalReadingGuideMode(kReadingGuideModeLines);
    // A half notch toward the user: 1.5 lines down, three times.
    for (int i = 0; i < 3; ++i) {
        QWheelEvent wheel(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, -60), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(overlay, &wheel);
    }
    EXPECT_EQ(overlay->scrollPosition(), 2);
    EXPECT_DOUBLE_EQ(overlay->scrollAccumY(), 0.5);
    // A trackpad's pixels, with natural scrolling.
    QWheelEvent swipe(QPointF(10, 10), QPointF(10, 10), QPoint(0, 4), QPoint(0, 40), Qt::NoButton, Qt::NoModifier,
                      Qt::ScrollUpdate, true);
    QApplication::sendEvent(overlay, &swipe);
    EXPECT_EQ(overlay->scrollPosition(), 4);
}

TEST_F(OverlayFixture, RotateGestureWithoutGuidesWidensThePair)
{
    build(500, 500);
    auto gesture = [&](Qt::NativeGestureType type, double value) {
        QNativeGestureEvent event(type, QPointingDevice::primaryPointingDevice(), 2, QPointF(5, 5), QPointF(5, 5),
                                  QPointF(5, 5), value, QPointF());
        QApplication::sendEvent(overlay, &event);
        return event.isAccepted();
    };
    gesture(Qt::BeginNativeGesture, 0);
    EXPECT_EQ(overlay->mouseDragMode(), guides::kMouseDragSecondVerticalLine);
    EXPECT_TRUE(gesture(Qt::RotateNativeGesture, -25));
    gesture(Qt::EndNativeGesture, 0);
    EXPECT_EQ(overlay->guideSeparation(), 4);
    EXPECT_EQ(overlay->mouseDragMode(), guides::kMouseDragNone);
}

TEST_F(OverlayFixture, ZeroSizedOverlaySurvivesEveryInput)
{
    build(0, 0);
    overlay->setHorizontalReadingGuideMode(kReadingGuideModeLines);
    overlay->setMouseDragMode(guides::kMouseDragFirstHorizontalLine);
    overlay->handleContinuingMouseDragWithDeltaX(0, -25);
    QWheelEvent wheel(QPointF(), QPointF(), QPoint(0, -5), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(overlay, &wheel);
    EXPECT_TRUE(overlay->grab().isNull());
    EXPECT_EQ(overlay->guideSeparation(), 2);
    EXPECT_EQ(overlay->scrollPosition(), 0);
}

// A guide menu shaped like the application's: 300 → 303 (401..403), 304,
// 305 (701..704), 306, 307.
QMenu *addGuideMenu(QMenuBar *bar)
{
    auto add = [](QMenu *menu, int tag) {
        QAction *action = menu->addAction(QString::number(tag));
        setTag(action, tag);
        return action;
    };
    QMenu *guides = bar->addMenu(QStringLiteral("Guides"));
    setTag(guides->menuAction(), 300);
    QMenu *widths = guides->addMenu(QStringLiteral("Width"));
    setTag(widths->menuAction(), 303);
    for (int tag : {401, 402, 403})
        add(widths, tag);
    add(guides, 304);
    QMenu *moves = guides->addMenu(QStringLiteral("Move"));
    setTag(moves->menuAction(), 305);
    for (int tag : {701, 702, 703, 704})
        add(moves, tag);
    add(guides, 306);
    add(guides, 307);
    return guides;
}

TEST_F(OverlayFixture, GuideMenuFollowsTheGuides)
{
    build(400, 300);
    QMenuBar bar;
    addGuideMenu(&bar);
    overlay->setMainMenuBar(&bar);
    controller.changesSpacing = true;
    overlay->setHorizontalReadingGuideMode(kReadingGuideModeWindow);
    EXPECT_FALSE(findMenuItem(&bar, 300, 303)->isEnabled()) << "line width only matters for Lines";
    EXPECT_TRUE(findMenuItem(&bar, 300, 306)->isChecked());
    EXPECT_TRUE(findItemInMenu(findMenuItem(&bar, 300, 305)->menu(), 702)->isEnabled());

    controller.changesSpacing = false;
    controller.scrollsGuides = true;
    overlay->setVerticalReadingGuideMode(kReadingGuideModeLines);
    overlay->setLineWidth(3);
    EXPECT_TRUE(findMenuItem(&bar, 300, 303)->isEnabled());
    EXPECT_TRUE(findMenuItem(&bar, 300, 304)->isEnabled());
    EXPECT_FALSE(findMenuItem(&bar, 300, 306)->isChecked());
    EXPECT_TRUE(findMenuItem(&bar, 300, 307)->isChecked());
    QMenu *moves = findMenuItem(&bar, 300, 305)->menu();
    EXPECT_FALSE(findItemInMenu(moves, 701)->isEnabled());
    EXPECT_TRUE(findItemInMenu(moves, 704)->isEnabled());
    QMenu *widths = findMenuItem(&bar, 300, 303)->menu();
    EXPECT_TRUE(findItemInMenu(widths, 403)->isChecked());
    EXPECT_FALSE(findItemInMenu(widths, 401)->isChecked());

    overlay->setVerticalReadingGuideMode(guides::kReadingGuideModeNone);
    for (int tag : {303, 304, 305, 306, 307})
        EXPECT_FALSE(findMenuItem(&bar, 300, tag)->isEnabled()) << tag;
    EXPECT_FALSE(findItemInMenu(moves, 703)->isEnabled());
    EXPECT_FALSE(findMenuItem(&bar, 300, 307)->isChecked());
    EXPECT_FALSE(controller.scrollsGuides);
    EXPECT_TRUE(findItemInMenu(widths, 403)->isChecked()) << "width marks are kept on every call";
}

TEST(LineOverlayViewMenu, FindsTheMenuBarOfItsMainWindow)
{
    QMainWindow window;
    addGuideMenu(window.menuBar());
    auto *overlay = new LineOverlayView(&window);
    window.setCentralWidget(overlay);
    overlay->setHorizontalReadingGuideMode(kReadingGuideModeWindow);
    EXPECT_FALSE(findMenuItem(window.menuBar(), 300, 303)->isEnabled());
    EXPECT_TRUE(findMenuItem(window.menuBar(), 300, 304)->isEnabled());
}

} // namespace
} // namespace kelvo::ui
