#include "ui/PreferencesWindow.h"

#include "common/Localization.h"
#include "video/ColourMode.h"
#include "video/ImageFilter.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace kelvo::ui {
namespace {

constexpr int kSwatchWidth = 28;
constexpr int kSwatchHeight = 16;

QColor screenColour(const video::Vec4 &linear)
{
    return QColor::fromRgbF(static_cast<float>(video::linearToSrgb(linear[0])),
                            static_cast<float>(video::linearToSrgb(linear[1])),
                            static_cast<float>(video::linearToSrgb(linear[2])));
}

// What white paper and black print become in the mode, side by side.
QIcon swatchForMode(std::int64_t mode)
{
    const video::ImageFilterList filters = video::getColorModeFilters(mode);
    const QColor paper = screenColour(video::applyColourFilters(filters, {1, 1, 1, 1}));
    const QColor print = screenColour(video::applyColourFilters(filters, {0, 0, 0, 1}));
    QPixmap pixmap(kSwatchWidth, kSwatchHeight);
    QPainter painter(&pixmap);
    painter.fillRect(0, 0, kSwatchWidth / 2, kSwatchHeight, paper);
    painter.fillRect(kSwatchWidth / 2, 0, kSwatchWidth - kSwatchWidth / 2, kSwatchHeight, print);
    painter.setPen(QColor(128, 128, 128));
    painter.drawRect(0, 0, kSwatchWidth - 1, kSwatchHeight - 1);
    painter.end();
    return QIcon(pixmap);
}

void selectData(QComboBox *popUp, std::int64_t value)
{
    const int index = popUp->findData(QVariant::fromValue<qlonglong>(value));
    popUp->setCurrentIndex(std::max(index, 0));
}

} // namespace

PreferencesWindow::PreferencesWindow(QWidget *parent) : ViewerDialog(parent)
{
    setObjectName(QStringLiteral("preferencesWindow"));
    setWindowTitle(localized("Preferences"));

    m_tabView = new QTabWidget(this);
    m_tabView->setObjectName(QStringLiteral("tabView"));
    m_tabView->addTab(buildGeneralTab(), localized("General"));
    m_tabView->addTab(buildColoursTab(), localized("Colours"));

    m_cancelButton = new QPushButton(localized("Cancel"), this);
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    m_okButton = new QPushButton(localized("OK"), this);
    m_okButton->setObjectName(QStringLiteral("okButton"));
    m_okButton->setDefault(true);
    // Cancel keeps the window's promise too: whatever way it closes, the
    // choices made in it count.
    connect(m_cancelButton, &QPushButton::clicked, this, &QWidget::close);
    connect(m_okButton, &QPushButton::clicked, this, &QWidget::close);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cancelButton);
    buttons->addWidget(m_okButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tabView);
    layout->addLayout(buttons);
    resize(480, 460);
}

QWidget *PreferencesWindow::buildGeneralTab()
{
    auto *general = new QWidget(m_tabView);
    general->setObjectName(QStringLiteral("general_tab"));

    m_updateFrequency = new QComboBox(general);
    m_updateFrequency->setObjectName(QStringLiteral("updateFrequencyPopUp"));
    m_updateFrequency->addItem(localized("Every day"), QVariant::fromValue<qlonglong>(2));
    m_updateFrequency->addItem(localized("Every week"), QVariant::fromValue<qlonglong>(1));
    m_updateFrequency->addItem(localized("Every month"), QVariant::fromValue<qlonglong>(0));
    connect(m_updateFrequency, &QComboBox::activated, this, [this](int index) {
        if (m_controller)
            m_controller->setAutomaticUpdateFrequency(m_updateFrequency->itemData(index).toLongLong());
    });

    m_updateBehavior = new QComboBox(general);
    m_updateBehavior->setObjectName(QStringLiteral("updateBehaviorPopUp"));
    m_updateBehavior->addItem(localized("Download it without asking"), QVariant::fromValue<qlonglong>(0));
    m_updateBehavior->addItem(localized("Ask before downloading it"), QVariant::fromValue<qlonglong>(1));
    m_updateBehavior->addItem(localized("Never check for updates"), QVariant::fromValue<qlonglong>(2));
    connect(m_updateBehavior, &QComboBox::activated, this, [this](int index) {
        const std::int64_t behavior = m_updateBehavior->itemData(index).toLongLong();
        if (m_controller)
            m_controller->setAutomaticUpdateBehavior(behavior);
        m_updateFrequency->setEnabled(behavior != 2);
    });

    m_autoLaunch = new QCheckBox(localized("Open Kelvo Viewer when the camera is plugged in"), general);
    m_autoLaunch->setObjectName(QStringLiteral("autoLaunchCheckbox"));
    connect(m_autoLaunch, &QCheckBox::clicked, this, [this](bool on) {
        if (m_controller)
            m_controller->setAutomaticallyLaunchesOnDeviceAttach(on);
    });

    m_warning = new QLabel(general);
    m_warning->setObjectName(QStringLiteral("preferencesWarningTextField"));
    m_warning->setWordWrap(true);
    m_warning->setVisible(false);

    auto *form = new QFormLayout;
    auto *frequencyLabel = new QLabel(localized("Check for &updates:"), general);
    frequencyLabel->setBuddy(m_updateFrequency);
    m_updateFrequency->setAccessibleName(localized("Check for updates"));
    form->addRow(frequencyLabel, m_updateFrequency);
    auto *behaviorLabel = new QLabel(localized("When an update is &found:"), general);
    behaviorLabel->setBuddy(m_updateBehavior);
    m_updateBehavior->setAccessibleName(localized("When an update is found"));
    form->addRow(behaviorLabel, m_updateBehavior);

    m_speakChanges = new QComboBox(general);
    m_speakChanges->setObjectName(QStringLiteral("speakChangesPopUp"));
    m_speakChanges->addItem(localized("Automatic (not with a screen reader)"), QVariant::fromValue<qlonglong>(0));
    m_speakChanges->addItem(localized("On"), QVariant::fromValue<qlonglong>(1));
    m_speakChanges->addItem(localized("Off"), QVariant::fromValue<qlonglong>(2));
    m_speakChanges->setAccessibleName(localized("Speak changes"));
    m_speechRate = new QSlider(Qt::Horizontal, general);
    m_speechRate->setObjectName(QStringLiteral("speechRateSlider"));
    m_speechRate->setRange(-10, 10);
    m_speechRate->setPageStep(2);
    m_speechRate->setAccessibleName(localized("Speech rate"));
    auto speechChosen = [this] {
        if (m_controller)
            m_controller->setSpeech(m_speakChanges->currentData().toLongLong(), m_speechRate->value());
    };
    connect(m_speakChanges, &QComboBox::activated, this, speechChosen);
    connect(m_speechRate, &QSlider::valueChanged, this, [this, speechChosen] {
        if (!m_reloading)
            speechChosen();
    });
    auto *speakLabel = new QLabel(localized("&Speak changes:"), general);
    speakLabel->setBuddy(m_speakChanges);
    form->addRow(speakLabel, m_speakChanges);
    auto *rateLabel = new QLabel(localized("Speech &rate:"), general);
    rateLabel->setBuddy(m_speechRate);
    form->addRow(rateLabel, m_speechRate);
    // The keyboard goes down the page as it reads.
    QWidget::setTabOrder(m_updateBehavior, m_speakChanges);
    QWidget::setTabOrder(m_speakChanges, m_speechRate);
    QWidget::setTabOrder(m_speechRate, m_autoLaunch);

    auto *layout = new QVBoxLayout(general);
    layout->addWidget(m_warning);
    layout->addLayout(form);
    layout->addWidget(m_autoLaunch);
    layout->addStretch();
    return general;
}

QWidget *PreferencesWindow::buildColoursTab()
{
    auto *colours = new QWidget(m_tabView);
    colours->setObjectName(QStringLiteral("colors_tab"));
    auto *explanation = new QLabel(
        localized("Choose the colour &modes that the camera's mode button steps through. Normal is always one."),
        colours);
    explanation->setWordWrap(true);
    m_colorTableView = new QTableWidget(0, 1, colours);
    m_colorTableView->setObjectName(QStringLiteral("colorTableView"));
    m_colorTableView->setAccessibleName(localized("Colour modes"));
    m_colorTableView->setHorizontalHeaderLabels({localized("Colour Mode")});
    m_colorTableView->horizontalHeader()->setStretchLastSection(true);
    m_colorTableView->verticalHeader()->setVisible(false);
    m_colorTableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_colorTableView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_colorTableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the table for the buttons; the arrows move between rows.
    m_colorTableView->setTabKeyNavigation(false);
    m_colorTableView->setIconSize(QSize(kSwatchWidth, kSwatchHeight));
    explanation->setBuddy(m_colorTableView);
    connect(m_colorTableView, &QTableWidget::itemChanged, this, &PreferencesWindow::tableItemChanged);

    auto *layout = new QVBoxLayout(colours);
    layout->addWidget(explanation);
    layout->addWidget(m_colorTableView);
    return colours;
}

bool PreferencesWindow::selectTabWithIdentifier(const QString &identifier)
{
    for (int i = 0; i < m_tabView->count(); ++i) {
        if (m_tabView->widget(i)->objectName() == identifier) {
            m_tabView->setCurrentIndex(i);
            return true;
        }
    }
    return false;
}

void PreferencesWindow::reloadData()
{
    const std::vector<std::int64_t> saved =
        m_controller ? m_controller->preferredFilters() : std::vector<std::int64_t>{};
    m_cachedColorModeNames = video::colorModeNames();
    m_working = {saved.begin(), saved.end()};

    m_reloading = true;
    m_colorTableView->clearContents();
    m_colorTableView->setRowCount(static_cast<int>(m_cachedColorModeNames.size()));
    for (int row = 0; row < m_cachedColorModeNames.size(); ++row) {
        auto *item = new QTableWidgetItem(swatchForMode(row), m_cachedColorModeNames[row]);
        // Normal is always among the modes: shown chosen, and not to be
        // changed.
        const bool chosen = row == 0 || std::find(saved.begin(), saved.end(), row) != saved.end();
        item->setFlags(row == 0 ? Qt::ItemIsUserCheckable
                                : Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(chosen ? Qt::Checked : Qt::Unchecked);
        item->setData(Qt::AccessibleTextRole, m_cachedColorModeNames[row]);
        m_colorTableView->setItem(row, 0, item);
    }
    if (m_colorTableView->rowCount() > 1)
        m_colorTableView->setCurrentCell(1, 0);
    m_reloading = false;

    if (m_controller) {
        // Any frequency other than monthly or weekly means daily.
        const std::int64_t frequency = m_controller->automaticUpdateFrequency();
        selectData(m_updateFrequency, frequency == 0 || frequency == 1 ? frequency : 2);
        selectData(m_updateBehavior, m_controller->automaticUpdateBehavior());
        m_updateFrequency->setEnabled(m_controller->automaticUpdateBehavior() != 2);
        m_autoLaunch->setChecked(m_controller->automaticallyLaunchesOnDeviceAttach());
        selectData(m_speakChanges, m_controller->speakChanges());
        const QSignalBlocker quiet(m_speechRate);
        m_speechRate->setValue(int(m_controller->speechRate()));
    }
}

void PreferencesWindow::updateWarningTextField()
{
    const auto location =
        m_controller ? m_controller->updateLocation() : PreferencesWindowController::UpdateLocation::Writable;
    switch (location) {
    case PreferencesWindowController::UpdateLocation::Writable:
        m_warning->clear();
        break;
    case PreferencesWindowController::UpdateLocation::ReadOnly:
        m_warning->setText(localized("Kelvo Viewer is running from a read-only location and cannot update itself. "
                                     "To receive updates, move the Kelvo Viewer folder to a folder of your own."));
        break;
    case PreferencesWindowController::UpdateLocation::PackageManager:
        m_warning->setText(localized("Kelvo Viewer was installed with your system's package manager, so it does not "
                                     "update itself. Updates come through the package manager."));
        break;
    }
    m_warning->setVisible(location != PreferencesWindowController::UpdateLocation::Writable);
}

void PreferencesWindow::clickedCheckbox(std::int64_t mode, bool on)
{
    if (on)
        m_working.insert(mode);
    else
        m_working.erase(mode);
}

void PreferencesWindow::tableItemChanged(QTableWidgetItem *item)
{
    if (m_reloading || item->row() == 0)
        return;
    clickedCheckbox(item->row(), item->checkState() == Qt::Checked);
}

void PreferencesWindow::commit()
{
    m_working.insert(0);
    if (m_controller)
        m_controller->commitPreferredFilters({m_working.begin(), m_working.end()});
}

void PreferencesWindow::closeEvent(QCloseEvent *event)
{
    if (isVisible())
        commit();
    ViewerDialog::closeEvent(event);
}

void PreferencesWindow::showEvent(QShowEvent *event)
{
    ViewerDialog::showEvent(event);
    // The keyboard starts on the tabs, whichever page was left open, so
    // the way to every control is always the same.
    m_tabView->tabBar()->setFocus(Qt::OtherFocusReason);
}

} // namespace kelvo::ui
