#include "viewer/ViewerWindows.h"

#include "common/Localization.h"
#include "device/DiagnosticSink.h"
#include "speech/Speaker.h"
#include "ui/CustomSlider.h"
#include "ui/DiagnosticWindow.h"
#include "ui/DraggableImageView.h"
#include "ui/DraggableLevelIndicator.h"
#include "ui/DraggableView.h"
#include "ui/DraggableWindow.h"
#include "ui/KeyDelivery.h"
#include "ui/LineOverlayView.h"
#include "ui/MainMenu.h"
#include "ui/MenuTags.h"
#include "ui/PreferencesWindow.h"
#include "ui/TableViewMenu.h"
#include "ui/UnscrollableScrollView.h"
#include "ui/VideoView.h"
#include "viewer/OnScreenDisplay.h"
#include "viewer/PageReader.h"
#include "viewer/PictureAccessibility.h"
#include "viewer/SpeechFeedback.h"
#include "viewer/VideoWindowPlacement.h"
#include "viewer/model/ViewerModel.h"

#include <QAction>
#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>

#include <algorithm>
#include <optional>

namespace kelvo::viewer {
namespace {

// Every sound input here takes a gain.
constexpr bool kSupportsRecordingGain = true;

// The decoder's view of the button-test window.
class DiagnosticWindowSink final : public device::DiagnosticSink {
public:
    explicit DiagnosticWindowSink(ui::DiagnosticWindow *window) : m_window(window) {}
    void handleButton(long code) override { m_window->handleButton(code); }

private:
    ui::DiagnosticWindow *m_window;
};

} // namespace

ViewerWindows::ViewerWindows(Parts parts, QObject *parent) : QObject(parent), m_model(parts.model)
{
    m_outlets = ui::loadMainWindowInterface(m_topLevelObjects, &parts.commands);

    auto *overlay = new ui::LineOverlayView(m_outlets.videoContainer->rect(), &parts.guides);
    overlay->setMainMenuBar(m_outlets.mainMenu->menuBar());
    m_outlets.videoContainer->replaceLayer(m_outlets.lineOverlayView, overlay);
    m_outlets.lineOverlayView = overlay;
    m_lineOverlayView = overlay;

    connect(m_outlets.diagnosticWindow, &ui::DiagnosticWindow::closed, this, &ViewerWindows::diagnosticsWindowClosed);
    m_placement = new VideoWindowPlacement(m_outlets, parts.placementHost, this);
    m_onScreenDisplay = new OnScreenDisplay({m_outlets, m_model, parts.commands, overlay, m_placement}, this);
    m_pictureAccessibility = new PictureAccessibility(m_outlets.videoContainer, m_model, overlay, this);
    m_speech = new SpeechFeedback(m_model, m_outlets.videoContainer, speech::createDesktopSpeechEngine, this);
    m_pageReader = new PageReader({m_model, m_speech->speaker(), m_speech->caption(), m_outlets.videoWindow,
                                   m_outlets.videoContainer, m_outlets.previewView},
                                  this);
    observeModel();
    // Escape is taken before any widget of the video window sees it: after
    // the menu bar was used from the keyboard, the focus may rest on a
    // widget that would swallow it.
    qApp->installEventFilter(this);
    m_outlets.mainMenu->validateAll();
}

ViewerWindows::~ViewerWindows()
{
    qApp->removeEventFilter(this);
    // A reading in progress stops before the views it draws on go.
    delete m_pageReader;
    m_pageReader = nullptr;
    delete m_speech;
    m_speech = nullptr;
    // The overlay calls back into the controller, which may already be
    // going.
    m_lineOverlayView->setMainWindowDelegate(nullptr);
    // The placement watches the window's events; it must not see the ones a
    // window sends while it is being destroyed.
    delete m_placement;
    m_placement = nullptr;
    m_topLevelObjects.clear();
}

std::vector<QWidget *> ViewerWindows::topLevelWindows() const
{
    std::vector<QWidget *> windows;
    for (const auto &object : m_topLevelObjects)
        windows.push_back(object.get());
    return windows;
}

void ViewerWindows::observeModel()
{
    connect(&m_model, &ViewerModel::lightChanged, this,
            [this](bool on) { setCheckMark(ui::MenuTag::Camera, ui::MenuTag::Light, on); });
    connect(&m_model, &ViewerModel::colorBalanceChanged, this, [this](std::int64_t mode) {
        QAction *submenu = menuItem(ui::MenuTag::Camera, ui::MenuTag::ColourBalance);
        if (!submenu || !submenu->menu())
            return;
        for (int tag = ui::MenuTag::ColourBalanceNormal; tag <= ui::MenuTag::ColourBalanceWarm; ++tag) {
            if (QAction *item = ui::findItemInMenu(submenu->menu(), tag)) {
                item->setCheckable(true);
                item->setChecked(mode == tag - ui::MenuTag::ColourBalanceNormal);
            }
        }
    });
    connect(&m_model, &ViewerModel::frozenChanged, this, [this](bool frozen) {
        setCheckMark(ui::MenuTag::Camera, ui::MenuTag::Freeze, frozen);
        revalidateMenus();
    });
    connect(&m_model, &ViewerModel::colourModeChanged, this, &ViewerWindows::showChosenColourMode);
    connect(&m_model, &ViewerModel::mirroredChanged, this,
            [this](bool mirrored) { setCheckMark(ui::MenuTag::Camera, ui::MenuTag::Mirror, mirrored); });
    connect(&m_model, &ViewerModel::recordingChanged, this, [this](bool recording) {
        if (QAction *item = menuItem(ui::MenuTag::Recording, ui::MenuTag::StartStopRecording))
            item->setText(recording ? localized("Stop &Recording") : localized("Start &Recording"));
        m_outlets.recordOverlayView->setVisible(recording);
        if (recording)
            m_outlets.recordOverlayView->raise();
    });
    connect(&m_model, &ViewerModel::mutedChanged, this, &ViewerWindows::setAudioControlsMuted);
    connect(&m_model, &ViewerModel::audioLevelIndicatorChanged, this, [this](bool showing) {
        showAudioControls();
        setCheckMark(ui::MenuTag::Audio, ui::MenuTag::AudioLevel, showing);
    });
    connect(&m_model, &ViewerModel::soundInputChanged, this, &ViewerWindows::showAudioControls);
    connect(&m_model, &ViewerModel::audioLevelChanged, this,
            [this](float level) { m_outlets.audioLevelIndicator->setLevel(level); });
    connect(m_outlets.audioGainControl, &QSlider::valueChanged, this,
            [this](int percent) { m_model.setRecordingGain(percent / 100.0); });
    connect(&m_model, &ViewerModel::zoomButtonModeChanged, this, &ViewerWindows::updateReadingGuideMenus);
}

void ViewerWindows::showAudioControls()
{
    // Without any sound coming in, a meter would only cover the picture.
    const bool showing = m_model.showingAudioLevelIndicator() && m_model.soundInputPresent();
    m_outlets.audioLevelIndicator->setVisible(showing);
    m_outlets.audioGainControl->setVisible(showing && kSupportsRecordingGain);
}

void ViewerWindows::setAudioControlsMuted(bool muted)
{
    setCheckMark(ui::MenuTag::Audio, ui::MenuTag::Mute, muted);
    // Muted, the meter and the gain have nothing to say: greyed out and out
    // of reach, but still where the user left them.
    for (QWidget *control :
         {static_cast<QWidget *>(m_outlets.audioLevelIndicator), static_cast<QWidget *>(m_outlets.audioGainControl)}) {
        control->setEnabled(!muted);
        auto *opacity = qobject_cast<QGraphicsOpacityEffect *>(control->graphicsEffect());
        if (!opacity) {
            opacity = new QGraphicsOpacityEffect(control);
            control->setGraphicsEffect(opacity);
        }
        opacity->setOpacity(muted ? 0.4 : 1.0);
    }
}

bool ViewerWindows::eventFilter(QObject *watched, QEvent *event)
{
    const QKeyEvent *key = ui::keyPressAtFirstReceiver(watched, event);
    if (!key || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return QObject::eventFilter(watched, event);
    const bool menuKey = key->key() == Qt::Key_Up || key->key() == Qt::Key_Down || key->key() == Qt::Key_Return ||
                         key->key() == Qt::Key_Enter || key->key() == Qt::Key_Escape;
    if (!menuKey || (key->key() != Qt::Key_Escape && !OSDIsVisible()))
        return QObject::eventFilter(watched, event);
    // Only a key press at a widget gets this far.
    auto *widget = static_cast<QWidget *>(watched);
    if (widget->window() != m_outlets.videoWindow)
        return QObject::eventFilter(watched, event);
    // A menu bar the user is moving through with the keyboard leaves it.
    if (auto *bar = qobject_cast<QMenuBar *>(widget); bar && bar->activeAction())
        return QObject::eventFilter(watched, event);
    // While the on-screen menu is up its keys are its own, wherever the
    // focus rests in the window.
    if (OSDIsVisible() || m_onScreenDisplay->showingOSDAboutBox())
        return m_outlets.OSDTableView->handleKey(key->key());
    return handleEscape();
}

bool ViewerWindows::handleEscape()
{
    // A page being read takes Escape to stop the reading first.
    if (m_pageReader->session().isActive())
        return false;
    if (m_model.isFrozen())
        m_model.unfreezeFrame();
    else if (m_placement->isFullScreen())
        m_placement->enterExitFullScreen();
    return true;
}

// ---- Menus ---------------------------------------------------------------------------------

QAction *ViewerWindows::menuItem(int menuTag, int itemTag) const
{
    return ui::findMenuItem(m_outlets.mainMenu->menuBar(), menuTag, itemTag);
}

void ViewerWindows::revalidateMenus()
{
    m_outlets.mainMenu->validateAll();
}

bool ViewerWindows::setCheckMark(int menuTag, int itemTag, bool checked)
{
    QAction *item = menuItem(menuTag, itemTag);
    if (!item)
        return false;
    item->setCheckable(true);
    item->setChecked(checked);
    return true;
}

void ViewerWindows::showDevices(int menuTag, const std::vector<MenuDevice> &devices, int selected,
                                ui::MenuCommand command)
{
    QAction *submenuItem = menuItem(menuTag, menuTag);
    if (!submenuItem || !submenuItem->menu())
        return;
    QMenu *submenu = submenuItem->menu();
    qDeleteAll(submenu->actions());
    submenu->clear();
    const bool hasSelection = selected >= 0 && selected < static_cast<int>(devices.size());
    if (!hasSelection) {
        QAction *none = m_outlets.mainMenu->addItem(submenu, localized("None"), std::nullopt, -1);
        none->setCheckable(true);
        none->setChecked(true);
    }
    for (size_t i = 0; i < devices.size(); ++i) {
        QAction *item = m_outlets.mainMenu->addItem(submenu, devices[i].localizedName, command, static_cast<int>(i));
        item->setCheckable(true);
        item->setChecked(hasSelection && static_cast<int>(i) == selected);
    }
    revalidateMenus();
}

void ViewerWindows::showColourModes(const video::ColourModeSelection &colour)
{
    QAction *preferredItem = menuItem(ui::MenuTag::Colour, ui::MenuTag::PreferredColourModes);
    QAction *allItem = menuItem(ui::MenuTag::Colour, ui::MenuTag::AllColourModes);
    if (!preferredItem || !allItem)
        return;
    QMenu *preferred = preferredItem->menu();
    QMenu *all = allItem->menu();
    for (QMenu *menu : {preferred, all}) {
        qDeleteAll(menu->actions());
        menu->clear();
    }
    const QStringList names = video::colorModeNames();
    const auto &list = colour.preferredFilters;
    int position = 0;
    for (int mode = 0; mode < names.size(); ++mode) {
        const ui::MenuCommand action = ui::MenuCommand::SetColorModeFromMenu;
        m_outlets.mainMenu->addItem(all, names[mode], action, mode)->setCheckable(true);
        if (std::find(list.begin(), list.end(), mode) != list.end())
            m_outlets.mainMenu->addItem(preferred, names[mode], action, 1000 + position++)->setCheckable(true);
    }
    if (list.empty()) {
        m_outlets.mainMenu->addItem(preferred, localized("Open &Preferences..."), ui::MenuCommand::ShowColorPreferences,
                                    -1);
    }
    showChosenColourMode();
}

void ViewerWindows::showChosenColourMode()
{
    QAction *preferredItem = menuItem(ui::MenuTag::Colour, ui::MenuTag::PreferredColourModes);
    QAction *allItem = menuItem(ui::MenuTag::Colour, ui::MenuTag::AllColourModes);
    if (!preferredItem || !allItem)
        return;
    const video::ColourModeSelection &colour = m_model.colourSelection();
    const std::int64_t p = colour.chosenPreferredColorMode;
    const std::int64_t n = colour.chosenNonPreferredColorMode;
    const auto &list = colour.preferredFilters;
    for (QAction *item : preferredItem->menu()->actions()) {
        if (item->isCheckable())
            item->setChecked(p != -1 && ui::tagOf(item) - 1000 == p);
    }
    // With a preferred index the all-modes menu marks the mode it names; an
    // index past the list's end (a shortened list) marks nothing.
    std::optional<std::int64_t> onScreen;
    if (p == -1)
        onScreen = n;
    else if (p >= 0 && p < static_cast<std::int64_t>(list.size()))
        onScreen = list[static_cast<size_t>(p)];
    for (QAction *item : allItem->menu()->actions())
        item->setChecked(onScreen && ui::tagOf(item) == *onScreen);
}

void ViewerWindows::setMenuBarEnabled(bool enabled)
{
    for (QAction *top : m_outlets.mainMenu->menuBar()->actions())
        top->setEnabled(enabled);
}

void ViewerWindows::setLineMarkerMenuEnabled(bool enabled)
{
    QMenuBar *bar = m_outlets.mainMenu->menuBar();
    for (int tag : {ui::MenuTag::Guides, ui::MenuTag::Audio, ui::MenuTag::Camera, ui::MenuTag::Colour}) {
        if (QAction *menu = ui::findTopLevelItem(bar, tag))
            menu->setEnabled(enabled);
    }
    if (QAction *close = menuItem(ui::MenuTag::Window, ui::MenuTag::CloseWindow))
        close->setEnabled(enabled);
}

void ViewerWindows::updateReadingGuideMenus()
{
    m_lineOverlayView->updateReadingGuideMenus();
    m_pictureAccessibility->refresh();
}

void ViewerWindows::stateSaved()
{
    // Whatever was saved may be a row's state or part of the picture's
    // description.
    m_onScreenDisplay->reloadData();
    m_pictureAccessibility->refresh();
}

void ViewerWindows::showInternalMenu()
{
    m_outlets.mainMenu->setInternalMenuVisible(true);
}

// ---- Windows -------------------------------------------------------------------------------

void ViewerWindows::bringVideoWindowForward()
{
    m_outlets.videoWindow->makeKeyAndOrderFront();
}

void ViewerWindows::closeActiveWindow()
{
    QWidget *window = QApplication::activeWindow();
    (window ? window : m_outlets.videoWindow)->close();
}

void ViewerWindows::showPreferencesWindow(bool colourSettings)
{
    ui::PreferencesWindow *window = m_outlets.preferencesWindow;
    if (colourSettings)
        window->selectTabWithIdentifier(QStringLiteral("colors_tab"));
    // The list may have changed since the window last showed it (camera,
    // head position, a reset).
    window->reloadData();
    window->updateWarningTextField();
    window->show();
    window->raise();
    window->activateWindow();
}

void ViewerWindows::closePreferencesWindow()
{
    m_outlets.preferencesWindow->close();
}

bool ViewerWindows::showDiagnosticsWindow()
{
    m_outlets.diagnosticWindow->resetValues();
    m_outlets.diagnosticWindow->show();
    m_outlets.diagnosticWindow->raise();
    m_outlets.diagnosticWindow->activateWindow();
    return true;
}

void ViewerWindows::closeDiagnosticsWindow()
{
    m_outlets.diagnosticWindow->close();
}

device::DiagnosticSink *ViewerWindows::diagnosticSink()
{
    if (!m_diagnosticSink)
        m_diagnosticSink = std::make_unique<DiagnosticWindowSink>(m_outlets.diagnosticWindow);
    return m_diagnosticSink.get();
}

QWidget *ViewerWindows::dialogParent() const
{
    return m_outlets.videoWindow;
}

long ViewerWindows::videoWindowNumber() const
{
    return static_cast<long>(m_outlets.videoWindow->winId());
}

QRect ViewerWindows::videoWindowGeometry() const
{
    return m_outlets.videoWindow->geometry();
}

// ---- The picture ---------------------------------------------------------------------------

void ViewerWindows::presentFrame(const video::VideoFrame &frame)
{
    m_outlets.previewView->presentFrame(frame);
}

bool ViewerWindows::pictureCanBeSeen() const
{
    return m_outlets.previewView->canBeSeen();
}

void ViewerWindows::setStillPicture(const QImage &picture)
{
    m_outlets.previewView->setStillPicture(picture);
}

void ViewerWindows::setPreviewOrientation(int orientation, bool mirrored)
{
    m_outlets.previewView->setMirrored(mirrored);
    m_outlets.previewView->setVideoOrientation(orientation);
}

void ViewerWindows::installImageFilters(const video::ImageFilterState &state)
{
    m_outlets.previewView->setPreviewFilters(state.previewFilters);
    m_outlets.previewView->setFreezeFrameFilters(state.freezeFrameFilters);
    m_pageReader->setFilters(state.previewFilters, state.freezeFrameFilters);
    m_lineOverlayView->update();
}

QSizeF ViewerWindows::previewFrameSize() const
{
    return m_outlets.previewView->frameSize();
}

QRectF ViewerWindows::previewViewBounds() const
{
    return m_outlets.previewView->rect();
}

double ViewerWindows::freezeFrameLayerWidth() const
{
    return m_outlets.freezeFrameView->width();
}

void ViewerWindows::showReadingGuideOverlay()
{
    // Only shown, never raised: the panels stacked above the overlay (the
    // on-screen menu, the battery view, the meter and the gain) stay above
    // the guides' mask and keep their clicks.
    m_lineOverlayView->setGeometry(m_outlets.previewView->geometry());
    m_lineOverlayView->show();
}

void ViewerWindows::redrawGuides()
{
    m_lineOverlayView->update();
    m_pictureAccessibility->refresh();
}

// ---- On-screen panels ----------------------------------------------------------------------

bool ViewerWindows::OSDIsVisible() const
{
    return m_onScreenDisplay->OSDIsVisible();
}

void ViewerWindows::showHideOnScreenDisplay()
{
    m_onScreenDisplay->showHideOnScreenDisplay();
}

void ViewerWindows::hideOnScreenDisplay()
{
    m_onScreenDisplay->hideOnScreenDisplay();
}

bool ViewerWindows::batteryLevelIndicatorShown() const
{
    return !m_outlets.batteryLevelIndicatorView->isHidden();
}

void ViewerWindows::setBatteryLevelIndicatorShown(bool shown)
{
    m_outlets.batteryLevelIndicatorView->setVisible(shown);
}

void ViewerWindows::setBatteryLevel(int level)
{
    m_outlets.batteryLevelIndicator->setValue(level);
}

int ViewerWindows::batteryLevel() const
{
    return m_outlets.batteryLevelIndicator->value();
}

} // namespace kelvo::viewer
