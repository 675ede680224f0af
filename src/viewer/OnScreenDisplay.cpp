#include "viewer/OnScreenDisplay.h"

#include "common/Localization.h"
#include "common/SystemLog.h"
#include "ui/DraggableView.h"
#include "ui/FloatingControls.h"
#include "ui/LineOverlayView.h"
#include "ui/MenuCommand.h"
#include "ui/UnscrollableScrollView.h"
#include "viewer/VideoWindowPlacement.h"
#include "viewer/model/ViewerModel.h"

#include <QAccessible>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>

namespace kelvo::viewer {
namespace {

const char *guideRowText(std::int32_t mode, const char *window, const char *lines, const char *none)
{
    if (mode == 2)
        return window;
    if (mode == 1)
        return lines;
    return none;
}

const char *orientationRowText(int orientation)
{
    switch (orientation) {
    case 1:
        return "Rotate screen (landscape)";
    case 2:
        return "Rotate screen (flipped)";
    case 3:
        return "Rotate screen (portrait left)";
    case 4:
        return "Rotate screen (portrait right)";
    default:
        return "Rotate screen (unknown)";
    }
}

// The English text a label was made with: the key it is localised by,
// however often the box is shown.
constexpr const char *kEnglishTextProperty = "englishText";

} // namespace

OnScreenDisplay::OnScreenDisplay(Parts parts, QObject *parent)
    : QObject(parent), m_outlets(parts.outlets), m_model(parts.model), m_commands(parts.commands),
      m_guides(parts.guides), m_placement(parts.placement)
{
    m_outlets.OSDTableView->setMenuDelegate(this);
    // The menu starts hidden, and so does its about box.
    m_outlets.OSDScrollView->hide();
    m_outlets.OSDAboutBoxView->hide();
    reloadData();
}

std::vector<OnScreenDisplay::Row> OnScreenDisplay::menuArray() const
{
    const std::int32_t horizontal = m_guides ? m_guides->horizontalReadingGuideMode() : 0;
    const std::int32_t vertical = m_guides ? m_guides->verticalReadingGuideMode() : 0;
    const std::int64_t balance = m_model.colorBalanceMode();
    const char *balanceText = balance == 0   ? "White Balance (Normal)"
                              : balance == 1 ? "White Balance (Cool)"
                                             : "White Balance (Warm)";
    return {
        {localized("Color Selection"), Action::NextColorMode},
        {localized(guideRowText(horizontal, "Horizontal Markers (Window)", "Horizontal Markers (Lines)",
                                "Horizontal Markers (None)")),
         Action::ToggleHorizontalGuides},
        {localized(guideRowText(vertical, "Vertical Markers (Window)", "Vertical Markers (Lines)",
                                "Vertical Markers (None)")),
         Action::ToggleVerticalGuides},
        {localized(balanceText), Action::CycleColorBalance},
        {localized(m_model.showingAudioLevelIndicator() ? "Hide Audio Level Indicator" : "Show Audio Level Indicator"),
         Action::ShowHideAudioLevel},
        {localized("Mirror Image"), Action::Mirror},
        {localized(orientationRowText(m_model.videoOrientation())), Action::Rotate},
        {localized("Product Information"), Action::ShowAboutBox},
    };
}

QString OnScreenDisplay::rowText(int row) const
{
    const std::vector<Row> rows = menuArray();
    return row >= 0 && row < static_cast<int>(rows.size()) ? rows[static_cast<size_t>(row)].text : QString();
}

void OnScreenDisplay::reloadData()
{
    QStringList texts;
    for (const Row &row : menuArray())
        texts << row.text;
    m_outlets.OSDTableView->setRows(texts);
}

bool OnScreenDisplay::canRun(Action action) const
{
    using C = ui::MenuCommand;
    switch (action) {
    case Action::NextColorMode:
        return m_commands.validate(C::NextColorMode, nullptr);
    case Action::ToggleHorizontalGuides:
        return m_commands.validate(C::ToggleHorizontalGuides, nullptr);
    case Action::ToggleVerticalGuides:
        return m_commands.validate(C::ToggleVerticalGuides, nullptr);
    case Action::CycleColorBalance:
        // The balance is the camera's own: nothing to change without it.
        return m_hasCamera();
    case Action::ShowHideAudioLevel:
        return m_commands.validate(C::ShowHideAudioLevel, nullptr);
    case Action::Mirror:
        return m_commands.validate(C::Mirror, nullptr);
    case Action::Rotate:
        return m_commands.validate(C::Rotate, nullptr);
    case Action::ShowAboutBox:
        return true;
    }
    return false;
}

void OnScreenDisplay::performOSDCommand(int row)
{
    const std::vector<Row> rows = menuArray();
    if (row >= 0 && row < static_cast<int>(rows.size())) {
        const Action action = rows[static_cast<size_t>(row)].action;
        using C = ui::MenuCommand;
        if (!canRun(action)) {
            if (m_beep)
                m_beep();
        } else {
            switch (action) {
            case Action::NextColorMode:
                m_commands.perform(C::NextColorMode, nullptr);
                break;
            case Action::ToggleHorizontalGuides:
                m_commands.perform(C::ToggleHorizontalGuides, nullptr);
                break;
            case Action::ToggleVerticalGuides:
                m_commands.perform(C::ToggleVerticalGuides, nullptr);
                break;
            case Action::CycleColorBalance:
                cycleColorBalanceMode();
                break;
            case Action::ShowHideAudioLevel:
                m_commands.perform(C::ShowHideAudioLevel, nullptr);
                break;
            case Action::Mirror:
                m_commands.perform(C::Mirror, nullptr);
                break;
            case Action::Rotate:
                m_commands.perform(C::Rotate, nullptr);
                break;
            case Action::ShowAboutBox:
                showOSDAboutBox();
                break;
            }
        }
    }
    reloadData();
}

// ---- Showing and hiding ----------------------------------------------------------------------

void OnScreenDisplay::showHideOnScreenDisplay()
{
    if (!m_placement)
        return;
    if (!m_placement->isFullScreen()) {
        // Coming out of full screen, the menu would be hidden again at once.
        if (m_placement->transitioningFromFullScreen())
            return;
        // A second request on the way in takes the first back.
        if (m_placement->transitioningToFullScreen()) {
            m_placement->setShowOSDAfterEnteringFullScreen(!m_placement->showOSDAfterEnteringFullScreen());
            return;
        }
        m_placement->setShowOSDAfterEnteringFullScreen(true);
        m_placement->enterExitFullScreen();
        return;
    }
    if (m_visible) {
        hideOnScreenDisplay();
        return;
    }
    ui::TableViewMenu *list = m_outlets.OSDTableView;
    reloadData();
    m_outlets.OSDScrollView->show();
    list->show();
    m_visible = true;
    layOut();
    m_outlets.OSDScrollView->raise();
    if (list->selectedRow() < 0 && list->count() > 0)
        list->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
    list->setFocus(Qt::OtherFocusReason);
    list->respeakSelection();
}

void OnScreenDisplay::hideOnScreenDisplay()
{
    const bool wasShowing = m_visible || m_showingAboutBox;
    m_outlets.OSDScrollView->setGeometry(-1, -1, 0, 0);
    m_outlets.OSDScrollView->hide();
    m_visible = false;
    hideOSDAboutBox();
    if (wasShowing)
        announceLayoutChange(m_outlets.videoContainer);
}

void OnScreenDisplay::showOSDAboutBox()
{
    if (m_showingAboutBox) {
        hideOSDAboutBox();
        return;
    }
    QFont font = QApplication::font();
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * 1.25);
    const QList<QLabel *> fields = m_outlets.OSDAboutBox->findChildren<QLabel *>();
    for (QLabel *field : fields) {
        QByteArray english = field->property(kEnglishTextProperty).toByteArray();
        if (english.isEmpty()) {
            english = field->text().toUtf8();
            field->setProperty(kEnglishTextProperty, english);
        }
        systemLog("SV: \"%s\"\n", english.constData());
        field->setText(localized(english.constData()));
        systemLog("NSV: \"%s\"\n", qPrintable(field->text()));
        field->setFont(font);
    }
    m_showingAboutBox = true;
    if (ui::DraggableView *blur = m_placement ? m_placement->aboutBoxBlurView() : nullptr)
        blur->stackUnder(m_outlets.OSDAboutBoxView);
    m_outlets.OSDAboutBoxView->show();
    m_outlets.OSDAboutBox->show();
    m_outlets.OSDAboutBoxView->raise();
    layOut();
    m_outlets.OSDAboutBoxView->setFocus(Qt::OtherFocusReason);
    announceLayoutChange(m_outlets.OSDAboutBoxView);
}

void OnScreenDisplay::hideOSDAboutBox()
{
    const bool wasShowing = m_showingAboutBox;
    m_showingAboutBox = false;
    m_outlets.OSDAboutBoxView->setGeometry(-1, -1, 0, 0);
    m_outlets.OSDAboutBoxView->hide();
    if (ui::DraggableView *blur = m_placement ? m_placement->aboutBoxBlurView() : nullptr)
        blur->hide();
    if (!wasShowing)
        return;
    if (m_visible) {
        m_outlets.OSDTableView->setFocus(Qt::OtherFocusReason);
        announceLayoutChange(m_outlets.OSDTableView);
    } else {
        announceLayoutChange(m_outlets.videoContainer);
    }
}

QString OnScreenDisplay::aboutBoxText() const
{
    QString text;
    for (const QLabel *field : m_outlets.OSDAboutBox->findChildren<QLabel *>())
        text += QLatin1Char(' ') + field->text();
    return text;
}

void OnScreenDisplay::layOut()
{
    if (m_placement)
        m_placement->windowDidResize();
    if (m_showingAboutBox) {
        // The box's content was designed at 348 x 246.
        const QSize size = m_outlets.OSDAboutBoxView->size();
        ui::setScale(m_outlets.OSDAboutBoxView, QSizeF(size.width() / 348.0, size.height() / 246.0));
    }
}

void OnScreenDisplay::announceLayoutChange(QWidget *focused)
{
    if (!focused)
        return;
    if (!m_visible && !m_showingAboutBox && focused->window()->isActiveWindow())
        focused->setFocus(Qt::OtherFocusReason);
    if (!QAccessible::isActive())
        return;
    QAccessibleEvent layout(focused->window(), QAccessible::ObjectReorder);
    QAccessible::updateAccessibility(&layout);
    QAccessibleEvent focus(focused, QAccessible::Focus);
    QAccessible::updateAccessibility(&focus);
}

// ---- Settings the menu changes -----------------------------------------------------------------

void OnScreenDisplay::cycleColorBalanceMode()
{
    const std::int64_t mode = m_model.colorBalanceMode();
    if (mode >= 0 && mode <= 2)
        m_model.setColorBalanceMode((mode + 1) % 3);
}

void OnScreenDisplay::setColorBalanceModeNormal()
{
    m_model.setColorBalanceMode(0);
}

void OnScreenDisplay::setColorBalanceModeCool()
{
    m_model.setColorBalanceMode(1);
}

void OnScreenDisplay::setColorBalanceModeWarm()
{
    m_model.setColorBalanceMode(2);
}

void OnScreenDisplay::cycleZoomControlMode()
{
    const bool spacing = m_model.zoomChangesGuideSpacing();
    const bool scroll = m_model.zoomScrollsGuides();
    if (!spacing && !scroll) {
        m_model.setZoomChangesGuideSpacing(true);
    } else if (spacing && !scroll) {
        m_model.setZoomChangesGuideSpacing(false);
        m_model.setZoomScrollsGuides(true);
    } else {
        m_model.setZoomChangesGuideSpacing(false);
        m_model.setZoomScrollsGuides(false);
    }
}

QString OnScreenDisplay::zoomModeUIString() const
{
    if (m_model.zoomChangesGuideSpacing())
        return localized("Zoom Dial Mode (Spacing)");
    if (m_model.zoomScrollsGuides())
        return localized("Zoom Dial Mode (Scroll)");
    return localized("Zoom Dial Mode (Zoom)");
}

} // namespace kelvo::viewer
