#include "ui/MainWindowInterface.h"
#include "ui/AboutWindow.h"
#include "ui/CustomSlider.h"
#include "ui/DiagnosticWindow.h"
#include "ui/DraggableImageView.h"
#include "ui/DraggableLevelIndicator.h"
#include "ui/DraggableView.h"
#include "ui/DraggableWindow.h"
#include "ui/FirmwareUpdateWindow.h"
#include "ui/MainMenu.h"
#include "ui/PreferencesWindow.h"
#include "ui/TableViewMenu.h"
#include "ui/UnscrollableScrollView.h"
#include "ui/VideoView.h"

#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <gtest/gtest.h>

using namespace kelvo::ui;

TEST(MainWindowInterface, EveryOutletExistsUnderItsNameAndTheVideoLayersStackInOrder)
{
    std::vector<std::unique_ptr<QWidget>> topLevel;
    const MainWindowOutlets o = loadMainWindowInterface(topLevel);
    ASSERT_EQ(topLevel.size(), 4u);
    EXPECT_EQ(topLevel.front().get(), o.videoWindow);

    const std::vector<std::pair<QObject *, const char *>> outlets = {
        {o.videoWindow, "videoWindow"},
        {o.previewView, "previewView"},
        {o.freezeFrameView, "freezeFrameView"},
        {o.lineOverlayView, "lineOverlayView"},
        {o.batteryLevelIndicator, "batteryLevelIndicator"},
        {o.batteryLevelIndicatorView, "batteryLevelIndicatorView"},
        {o.recordOverlayView, "recordOverlayView"},
        {o.audioLevelIndicator, "audioLevelIndicator"},
        {o.audioGainControl, "audioGainControl"},
        {o.OSDTableView, "OSDTableView"},
        {o.OSDScrollView, "OSDScrollView"},
        {o.OSDAboutBox, "OSDAboutBox"},
        {o.OSDAboutBoxView, "OSDAboutBoxView"},
        {o.preferencesWindow, "preferencesWindow"},
        {o.preferencesWarningTextField, "preferencesWarningTextField"},
        {o.diagnosticWindow, "diagnosticWindow"},
        {o.firmwareUpdateWindow, "firmwareUpdateWindow"},
        {o.firmwareUpdateTabView, "firmwareUpdateTabView"},
    };
    for (const auto &[object, name] : outlets) {
        ASSERT_NE(object, nullptr) << name;
        EXPECT_EQ(object->objectName(), QLatin1String(name));
    }
    EXPECT_EQ(o.mainMenu->menuBar(), o.videoWindow->menuBar());

    // The live picture at the bottom, the still above it, the guides on top,
    // all filling the window's content as it resizes.
    o.videoWindow->resize(800, 600);
    o.videoWindow->show();
    const QObjectList children = o.videoContainer->children();
    const auto depth = [&](QObject *w) { return children.indexOf(w); };
    EXPECT_LT(depth(o.previewView), depth(o.freezeFrameView));
    EXPECT_LT(depth(o.freezeFrameView), depth(o.lineOverlayView));
    for (QWidget *layer :
         {static_cast<QWidget *>(o.previewView), static_cast<QWidget *>(o.freezeFrameView), o.lineOverlayView})
        EXPECT_EQ(layer->geometry(), o.videoContainer->rect());

    auto *replacement = new QWidget;
    QWidget *old = o.lineOverlayView;
    o.videoContainer->replaceLayer(old, replacement);
    EXPECT_EQ(replacement->objectName(), QStringLiteral("lineOverlayView"));
    EXPECT_EQ(replacement->geometry(), o.videoContainer->rect());
}

TEST(MainWindowInterface, WindowsFindTheirPagesAndIndicatorsByIdentifier)
{
    FirmwareUpdateWindow firmware;
    for (const char *page :
         {"WaitingForDFU", "InProgress", "UploadFailed", "WaitingForReboot", "PressReset", "FatalError"}) {
        EXPECT_TRUE(firmware.selectPageWithIdentifier(QLatin1String(page))) << page;
        EXPECT_EQ(firmware.currentPageIdentifier(), QLatin1String(page));
    }
    EXPECT_FALSE(firmware.selectPageWithIdentifier(QStringLiteral("NoSuchPage")));
    EXPECT_EQ(firmware.currentPageIdentifier(), QStringLiteral("FatalError"));

    PreferencesWindow preferences;
    EXPECT_TRUE(preferences.selectTabWithIdentifier(QStringLiteral("colors_tab")));
    EXPECT_EQ(preferences.tabView()->currentWidget()->objectName(), QStringLiteral("colors_tab"));
    EXPECT_TRUE(preferences.tabView()->currentWidget()->isAncestorOf(preferences.colorTableView()));
    EXPECT_EQ(preferences.cancelButton()->objectName(), QStringLiteral("cancelButton"));

    DiagnosticWindow diagnostic;
    ASSERT_EQ(DiagnosticWindow::indicatorNames().size(), 10);
    for (const QString &name : DiagnosticWindow::indicatorNames()) {
        QProgressBar *indicator = diagnostic.indicator(name);
        ASSERT_NE(indicator, nullptr) << name.toStdString();
        EXPECT_EQ(indicator->value(), 0);
        EXPECT_FALSE(indicator->accessibleName().isEmpty());
    }
}

TEST(MainWindowInterface, AboutWindowShowsVersionAndCopyright)
{
    AboutWindow about(QStringLiteral("4.5.6"), QStringLiteral("Copyright test"));
    EXPECT_TRUE(about.versionText().contains(QStringLiteral("4.5.6")));
    EXPECT_EQ(about.copyrightText(), QStringLiteral("Copyright test"));
}
