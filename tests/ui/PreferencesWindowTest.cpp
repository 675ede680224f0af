#include "ui/PreferencesWindow.h"
#include "video/ColourMode.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

using namespace kelvo::ui;
using Modes = std::vector<std::int64_t>;

namespace {

// Stands in for the viewer controller: its saved values, and every commit.
class FakeController final : public PreferencesWindowController {
public:
    Modes saved;
    std::vector<Modes> commits;
    std::int64_t frequency = 1;
    std::int64_t behavior = 0;
    bool launches = true;
    UpdateLocation location = UpdateLocation::Writable;

    Modes preferredFilters() const override { return saved; }
    void commitPreferredFilters(const Modes &modes) override
    {
        commits.push_back(modes);
        saved = modes;
    }
    std::int64_t automaticUpdateFrequency() const override { return frequency; }
    void setAutomaticUpdateFrequency(std::int64_t value) override { frequency = value; }
    std::int64_t automaticUpdateBehavior() const override { return behavior; }
    void setAutomaticUpdateBehavior(std::int64_t value) override { behavior = value; }
    bool automaticallyLaunchesOnDeviceAttach() const override { return launches; }
    void setAutomaticallyLaunchesOnDeviceAttach(bool value) override { launches = value; }
    UpdateLocation updateLocation() const override { return location; }
};

// The window as the controller shows it, on its colours page with the
// keyboard in the colour table.
struct Rig {
    FakeController controller;
    PreferencesWindow window;

    explicit Rig(Modes saved)
    {
        controller.saved = std::move(saved);
        window.setController(&controller);
        show();
    }

    void show()
    {
        window.reloadData();
        window.updateWarningTextField();
        window.show();
        QApplication::setActiveWindow(&window);
        window.selectTabWithIdentifier(QStringLiteral("colors_tab"));
        window.colorTableView()->setFocus();
    }

    // Moves to a row with the arrows and presses Space there, as a user
    // without a mouse does.
    void toggleRow(int row)
    {
        QTableWidget *table = window.colorTableView();
        while (table->currentRow() < row)
            QTest::keyClick(table, Qt::Key_Down);
        while (table->currentRow() > row)
            QTest::keyClick(table, Qt::Key_Up);
        ASSERT_EQ(table->currentRow(), row);
        QTest::keyClick(table, Qt::Key_Space);
    }

    Qt::CheckState shown(int row) const { return window.colorTableView()->item(row, 0)->checkState(); }
};

} // namespace

TEST(PreferencesWindow, TheRowsAreEveryModeByNameWithNormalCheckedForGood)
{
    Rig rig({3});
    QTableWidget *table = rig.window.colorTableView();
    const QStringList names = kelvo::video::colorModeNames();
    ASSERT_EQ(table->rowCount(), 31);
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(table);
    ASSERT_NE(accessible, nullptr);
    for (int row = 0; row < 31; ++row) {
        EXPECT_EQ(table->item(row, 0)->text(), names[row]);
        EXPECT_EQ(rig.shown(row), row == 0 || row == 3 ? Qt::Checked : Qt::Unchecked) << row;
        // What the screen reader announces for the row: its name, and
        // whether it is checked.
        QAccessibleInterface *cell = accessible->tableInterface()->cellAt(row, 0);
        ASSERT_NE(cell, nullptr);
        EXPECT_EQ(cell->text(QAccessible::Name), names[row]);
        EXPECT_EQ(bool(cell->state().checked), row == 0 || row == 3) << row;
    }
    EXPECT_EQ(names[3], QStringLiteral("Green on Black"));
    // The swatch shows what the mode makes of white paper (black) and of
    // black print (green).
    const QImage swatch = table->item(3, 0)->icon().pixmap(table->iconSize()).toImage();
    const QColor paper = swatch.pixelColor(4, swatch.height() / 2);
    const QColor print = swatch.pixelColor(swatch.width() - 4, swatch.height() / 2);
    EXPECT_LT(paper.lightness(), 30) << paper.name().toStdString();
    EXPECT_GT(print.green(), 200) << print.name().toStdString();
    EXPECT_LT(print.red(), 60) << print.name().toStdString();

    // Normal cannot be unchecked, from the keyboard or otherwise.
    rig.toggleRow(1);
    table->setCurrentCell(0, 0);
    QTest::keyClick(table, Qt::Key_Space);
    EXPECT_EQ(rig.shown(0), Qt::Checked);
    EXPECT_FALSE(table->item(0, 0)->flags() & Qt::ItemIsEnabled);
}

TEST(PreferencesWindow, ClosingSortsTheCheckedModesAfterNormal)
{
    Rig rig({});
    for (int row : {7, 3, 12})
        rig.toggleRow(row);
    EXPECT_EQ(rig.window.preferredColorModesSet(), (Modes{3, 7, 12}));
    QTest::mouseClick(rig.window.cancelButton(), Qt::LeftButton);
    EXPECT_FALSE(rig.window.isVisible());
    EXPECT_EQ(rig.controller.commits, (std::vector<Modes>{{0, 3, 7, 12}}));

    // Unchecking everything leaves Normal alone; the boxes start from the
    // saved list.
    rig.show();
    for (int row : {3, 7, 12}) {
        EXPECT_EQ(rig.shown(row), Qt::Checked);
        rig.toggleRow(row);
    }
    QTest::mouseClick(rig.window.okButton(), Qt::LeftButton);
    EXPECT_EQ(rig.controller.commits.back(), (Modes{0}));

    // A window that is not showing has nothing to commit.
    rig.window.close();
    EXPECT_EQ(rig.controller.commits.size(), 2u);
}

TEST(PreferencesWindow, ReloadingDiscardsTheClicksAndEscapeCommitsWhatIsLeft)
{
    Rig rig({0, 5});
    rig.toggleRow(6);
    rig.toggleRow(5);
    EXPECT_EQ(rig.window.preferredColorModesSet(), (Modes{0, 6}));
    rig.window.reloadData();
    EXPECT_EQ(rig.window.preferredColorModesSet(), (Modes{0, 5}));
    EXPECT_EQ(rig.shown(5), Qt::Checked);
    EXPECT_EQ(rig.shown(6), Qt::Unchecked);

    rig.toggleRow(9);
    QTest::keyClick(rig.window.colorTableView(), Qt::Key_Escape);
    EXPECT_FALSE(rig.window.isVisible());
    EXPECT_EQ(rig.controller.commits, (std::vector<Modes>{{0, 5, 9}}));
}

TEST(PreferencesWindow, TheWarningSaysWhyTheViewerCannotUpdateItself)
{
    using Location = PreferencesWindowController::UpdateLocation;
    Rig rig({});
    EXPECT_FALSE(rig.window.warningTextField()->isVisible());
    rig.window.hide();
    rig.controller.location = Location::ReadOnly;
    rig.show();
    rig.window.selectTabWithIdentifier(QStringLiteral("general_tab"));
    EXPECT_TRUE(rig.window.warningTextField()->isVisible());
    EXPECT_TRUE(rig.window.warningTextField()->text().contains(QStringLiteral("read-only")));
    rig.window.hide();
    rig.controller.location = Location::PackageManager;
    rig.show();
    rig.window.selectTabWithIdentifier(QStringLiteral("general_tab"));
    EXPECT_TRUE(rig.window.warningTextField()->isVisible());
    EXPECT_TRUE(rig.window.warningTextField()->text().contains(QStringLiteral("package manager")));
}

TEST(PreferencesWindow, TheGeneralChoicesShowAndSetTheControllersValues)
{
    Rig rig({});
    rig.window.hide();
    rig.controller.frequency = 7; // any unknown frequency is daily
    rig.controller.behavior = 2;
    rig.controller.launches = true;
    rig.show();
    rig.window.selectTabWithIdentifier(QStringLiteral("general_tab"));
    QComboBox *frequency = rig.window.updateFrequencyPopUp();
    QComboBox *behavior = rig.window.updateBehaviorPopUp();
    EXPECT_EQ(frequency->currentData().toLongLong(), 2);
    EXPECT_FALSE(frequency->isEnabled()); // no checks at all
    EXPECT_TRUE(rig.window.autoLaunchCheckbox()->isChecked());
    EXPECT_FALSE(behavior->accessibleName().isEmpty());
    EXPECT_FALSE(frequency->accessibleName().isEmpty());

    // The keyboard reaches every control from the tabs, in order.
    rig.window.tabView()->tabBar()->setFocus();
    std::vector<QWidget *> order;
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order.push_back(QApplication::focusWidget());
    }
    EXPECT_EQ(order, (std::vector<QWidget *>{behavior, rig.window.speakChangesPopUp(), rig.window.speechRateSlider(),
                                             rig.window.autoLaunchCheckbox(), rig.window.cancelButton()}));

    QTest::keyClick(behavior, Qt::Key_Up);
    EXPECT_EQ(rig.controller.behavior, 1);
    EXPECT_TRUE(frequency->isEnabled());
    QTest::keyClick(frequency, Qt::Key_Down);
    EXPECT_EQ(rig.controller.frequency, 1);
    QTest::keyClick(rig.window.autoLaunchCheckbox(), Qt::Key_Space);
    EXPECT_FALSE(rig.controller.launches);
}
