#include "ui/FocusFrameStyle.h"
#include "ui/PreferencesWindow.h"

#include <QApplication>
#include <QImage>
#include <QStyleFactory>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <gtest/gtest.h>

using namespace kelvo::ui;

namespace {

// Pixels of `target` drawn in the focus colour, with the focus on it.
int focusPixels(QWidget &window, QWidget *target, const QColor &colour)
{
    window.show();
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    target->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    const QImage shot = target->grab().toImage();
    int count = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            count += shot.pixelColor(x, y) == colour;
    return count;
}

} // namespace

// Where the keyboard focus is must be plain to a user who sees poorly, on
// the preferences' tabs and colour table as much as on buttons.
TEST(FocusFrameStyle, TheFocusedTabAndTableWearAThickFrame)
{
    const QColor focus(255, 0, 255);
    for (bool thick : {false, true}) {
        PreferencesWindow window;
        std::unique_ptr<QStyle> style(thick ? new FocusFrameStyle(QStyleFactory::create(QStringLiteral("Fusion")))
                                            : QStyleFactory::create(QStringLiteral("Fusion")));
        QPalette palette = window.palette();
        palette.setColor(QPalette::Highlight, focus);
        window.setPalette(palette);
        window.setStyle(style.get());
        for (QWidget *child : window.findChildren<QWidget *>())
            child->setStyle(style.get());
        window.colorTableView()->setRowCount(3);
        window.colorTableView()->setColumnCount(2);
        // No selection, so that the focus colour marks only the focus.
        window.colorTableView()->setSelectionMode(QAbstractItemView::NoSelection);
        window.colorTableView()->setCurrentCell(1, 1);
        window.tabView()->setCurrentIndex(1);
        const int onTab = focusPixels(window, window.tabView()->tabBar(), focus);
        const int onTable = focusPixels(window, window.colorTableView(), focus);
        if (thick) {
            // Three pixels all round a tab is well over a hundred.
            EXPECT_GT(onTab, 150);
            EXPECT_GT(onTable, 150);
        } else {
            // Fusion alone marks them faintly, if at all.
            EXPECT_LT(onTab, 150);
            EXPECT_LT(onTable, 150);
        }
        window.hide();
    }
}
