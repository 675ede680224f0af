#include "ui/MainWindowInterface.h"

#include "common/BuildInfo.h"
#include "common/Localization.h"
#include "ui/CustomSlider.h"
#include "ui/DiagnosticWindow.h"
#include "ui/DraggableImageView.h"
#include "ui/DraggableLevelIndicator.h"
#include "ui/DraggableView.h"
#include "ui/DraggableWindow.h"
#include "ui/FirmwareUpdateWindow.h"
#include "ui/FloatingAccessibility.h"
#include "ui/MainMenu.h"
#include "ui/PreferencesWindow.h"
#include "ui/TableViewMenu.h"
#include "ui/UnscrollableScrollView.h"
#include "ui/VideoView.h"

#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QResizeEvent>
#include <QVBoxLayout>

namespace kelvo::ui {

VideoContainer::VideoContainer(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("videoContainer"));
    setAutoFillBackground(true);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
}

void VideoContainer::addLayer(QWidget *layer)
{
    layer->setParent(this);
    layer->setGeometry(rect());
    layer->show();
    if (!m_layers.isEmpty())
        layer->stackUnder(m_layers.last());
    // Keep the stacking order of the list: later layers above earlier ones.
    for (QWidget *existing : m_layers)
        existing->lower();
    for (QWidget *existing : m_layers)
        existing->raise();
    layer->raise();
    m_layers << layer;
}

void VideoContainer::replaceLayer(QWidget *oldLayer, QWidget *newLayer)
{
    const qsizetype index = m_layers.indexOf(oldLayer);
    if (index < 0)
        return;
    newLayer->setParent(this);
    newLayer->setGeometry(rect());
    newLayer->setObjectName(oldLayer->objectName());
    newLayer->setVisible(!oldLayer->isHidden());
    m_layers[index] = newLayer;
    newLayer->stackUnder(oldLayer);
    delete oldLayer;
}

void VideoContainer::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    for (QWidget *layer : m_layers)
        layer->setGeometry(rect());
}

MainWindowOutlets loadMainWindowInterface(std::vector<std::unique_ptr<QWidget>> &topLevelObjects,
                                          MenuCommandTarget *commands)
{
    // Before any control exists: a control's first accessibility event
    // fixes the interface it keeps.
    installFloatingAccessibility();
    MainWindowOutlets o;

    o.videoWindow = new DraggableWindow;
    o.videoWindow->setWindowTitle(QStringLiteral("Kelvo Viewer"));
    o.videoWindow->resize(640, 480 + 22);
    o.mainMenu = new MainMenu(o.videoWindow->menuBar(), commands ? *commands : refusingCommandTarget(), o.videoWindow);

    o.videoContainer = new VideoContainer(o.videoWindow);
    o.videoContainer->setAccessibleName(localized("Camera picture"));
    o.videoWindow->setCentralWidget(o.videoContainer);

    o.previewView = new VideoView;
    o.previewView->setObjectName(QStringLiteral("previewView"));
    o.previewView->setAccessibleName(localized("Live picture"));
    o.videoContainer->addLayer(o.previewView);

    o.freezeFrameView = new QLabel;
    o.freezeFrameView->setObjectName(QStringLiteral("freezeFrameView"));
    o.freezeFrameView->setAccessibleName(localized("Frozen picture"));
    o.freezeFrameView->setAlignment(Qt::AlignCenter);
    o.videoContainer->addLayer(o.freezeFrameView);
    o.freezeFrameView->hide();

    o.lineOverlayView = new QWidget;
    o.lineOverlayView->setObjectName(QStringLiteral("lineOverlayView"));
    o.lineOverlayView->setAttribute(Qt::WA_TranslucentBackground);
    o.videoContainer->addLayer(o.lineOverlayView);

    // Floating controls, placed over the video at their designed positions;
    // the window code keeps them anchored to their edges on resize.
    o.batteryLevelIndicatorView = new DraggableView(o.videoContainer);
    o.batteryLevelIndicatorView->setObjectName(QStringLiteral("batteryLevelIndicatorView"));
    // Kept at the lower right, the corner the window keeps it at as it
    // resizes; placed at the top it would leave a short window.
    o.batteryLevelIndicatorView->setGeometry(560, 448, 72, 24);
    o.batteryLevelIndicator = new QProgressBar(o.batteryLevelIndicatorView);
    o.batteryLevelIndicator->setObjectName(QStringLiteral("batteryLevelIndicator"));
    o.batteryLevelIndicator->setRange(0, 3);
    o.batteryLevelIndicator->setAccessibleName(localized("Battery level"));
    o.batteryLevelIndicator->setGeometry(4, 4, 64, 16);
    o.batteryLevelIndicatorView->hide();

    o.recordOverlayView = new DraggableImageView(o.videoContainer);
    o.recordOverlayView->setObjectName(QStringLiteral("recordOverlayView"));
    o.recordOverlayView->setAccessibleName(localized("Recording"));
    o.recordOverlayView->setText(QStringLiteral("\u25CF REC"));
    o.recordOverlayView->setStyleSheet(QStringLiteral("color: red; font-weight: bold;"));
    o.recordOverlayView->setGeometry(8, 8, 80, 24);
    o.recordOverlayView->hide();

    o.audioLevelIndicator = new DraggableLevelIndicator(o.videoContainer);
    o.audioLevelIndicator->setObjectName(QStringLiteral("audioLevelIndicator"));
    o.audioLevelIndicator->setAccessibleName(localized("Audio level"));
    o.audioLevelIndicator->setGeometry(8, 440, 160, 16);
    o.audioLevelIndicator->hide();

    o.audioGainControl = new CustomSlider(o.videoContainer);
    o.audioGainControl->setObjectName(QStringLiteral("audioGainControl"));
    o.audioGainControl->setAccessibleName(localized("Recording gain"));
    o.audioGainControl->setGeometry(8, 300, 24, 120);
    o.audioGainControl->hide();

    o.OSDScrollView = new UnscrollableScrollView(o.videoContainer);
    o.OSDScrollView->setObjectName(QStringLiteral("OSDScrollView"));
    o.OSDTableView = new TableViewMenu;
    o.OSDTableView->setObjectName(QStringLiteral("OSDTableView"));
    o.OSDTableView->setAccessibleName(localized("On-screen menu"));
    o.OSDScrollView->setWidget(o.OSDTableView);
    o.OSDScrollView->setGeometry(170, 90, 300, 300);
    o.OSDScrollView->hide();

    o.OSDAboutBoxView = new DraggableView(o.videoContainer);
    o.OSDAboutBoxView->setObjectName(QStringLiteral("OSDAboutBoxView"));
    o.OSDAboutBox = new QGroupBox(localized("About"), o.OSDAboutBoxView);
    o.OSDAboutBox->setObjectName(QStringLiteral("OSDAboutBox"));
    (new QVBoxLayout(o.OSDAboutBoxView))->addWidget(o.OSDAboutBox);
    // The product information; each text is localised when the box shows.
    auto *fields = new QVBoxLayout(o.OSDAboutBox);
    for (const char *text : {build::kApplicationName, "Software for the Quadrel video magnifier", "Version",
                             build::kShortVersion, build::kCopyright}) {
        auto *field = new QLabel(QString::fromUtf8(text), o.OSDAboutBox);
        field->setWordWrap(true);
        field->setStyleSheet(QStringLiteral("color: white;"));
        fields->addWidget(field);
    }
    o.OSDAboutBoxView->setGeometry(170, 140, 300, 200);
    o.OSDAboutBoxView->hide();

    auto preferences = std::make_unique<PreferencesWindow>();
    o.preferencesWindow = preferences.get();
    o.preferencesWarningTextField = preferences->warningTextField();
    auto diagnostic = std::make_unique<DiagnosticWindow>();
    o.diagnosticWindow = diagnostic.get();
    auto firmware = std::make_unique<FirmwareUpdateWindow>();
    o.firmwareUpdateWindow = firmware.get();
    o.firmwareUpdateTabView = firmware->tabView();

    topLevelObjects.emplace_back(o.videoWindow);
    topLevelObjects.push_back(std::move(preferences));
    topLevelObjects.push_back(std::move(diagnostic));
    topLevelObjects.push_back(std::move(firmware));
    return o;
}

} // namespace kelvo::ui
