#pragma once

#include "ui/ViewerDialog.h"

#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <set>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
class QTabWidget;
class QTableWidget;
class QTableWidgetItem;

namespace kelvo::ui {

// What the preferences window shows and where its choices go: the viewer
// controller's saved preferred colour list and its update and auto-launch
// choices.
class PreferencesWindowController {
public:
    // Whether the viewer can replace itself with a newer version.
    enum class UpdateLocation { Writable, ReadOnly, PackageManager };

    virtual ~PreferencesWindowController() = default;

    // The saved list the camera's mode button steps through.
    virtual std::vector<std::int64_t> preferredFilters() const = 0;
    // Closing the window: the list (Normal included, ascending) becomes the
    // preferred list; the colour menus are rebuilt, the settings saved and
    // reloaded, and auto-launch registered again by the current choice.
    virtual void commitPreferredFilters(const std::vector<std::int64_t> &modes) = 0;

    // 0 every 30 days, 1 every 7 days, anything else daily.
    virtual std::int64_t automaticUpdateFrequency() const = 0;
    virtual void setAutomaticUpdateFrequency(std::int64_t frequency) = 0;
    // 0 download without asking, 1 ask first, 2 never check.
    virtual std::int64_t automaticUpdateBehavior() const = 0;
    virtual void setAutomaticUpdateBehavior(std::int64_t behavior) = 0;
    virtual bool automaticallyLaunchesOnDeviceAttach() const = 0;
    virtual void setAutomaticallyLaunchesOnDeviceAttach(bool launches) = 0;

    virtual UpdateLocation updateLocation() const = 0;

    // Spoken changes: 0 automatic (off while a screen reader runs), 1 on,
    // 2 off; the voice's rate -10..10.
    virtual std::int64_t speakChanges() const { return 0; }
    virtual std::int64_t speechRate() const { return 0; }
    virtual void setSpeech(std::int64_t /*mode*/, std::int64_t /*rate*/) {}
};

// The preferences: general settings and the choice of the colour modes that
// the camera's mode button cycles through. Every way of closing it (its close
// button, OK, Cancel, Escape, the controller's close action) commits the
// choices.
// Thread: main thread.
class PreferencesWindow : public ViewerDialog {
    Q_OBJECT
public:
    explicit PreferencesWindow(QWidget *parent = nullptr);

    // Not owned; without one nothing is checked and closing only closes.
    void setController(PreferencesWindowController *controller) { m_controller = controller; }
    PreferencesWindowController *controller() const { return m_controller; }

    QTabWidget *tabView() const { return m_tabView; }
    QTableWidget *colorTableView() const { return m_colorTableView; }
    QPushButton *cancelButton() const { return m_cancelButton; }
    QPushButton *okButton() const { return m_okButton; }
    QLabel *warningTextField() const { return m_warning; }
    QComboBox *updateFrequencyPopUp() const { return m_updateFrequency; }
    QComboBox *updateBehaviorPopUp() const { return m_updateBehavior; }
    QCheckBox *autoLaunchCheckbox() const { return m_autoLaunch; }
    QComboBox *speakChangesPopUp() const { return m_speakChanges; }
    QSlider *speechRateSlider() const { return m_speechRate; }

    // Selects the page whose identifier (object name) is given; answers
    // whether there is one.
    bool selectTabWithIdentifier(const QString &identifier);

    // Rebuilds the colour rows and the general controls from the
    // controller's saved values; clicks not yet committed are dropped.
    void reloadData();
    // Shows the warning when the viewer cannot update itself, saying why.
    void updateWarningTextField();
    // A colour row's checkbox was turned on or off.
    void clickedCheckbox(std::int64_t mode, bool on);

    const QStringList &cachedColorModeNames() const { return m_cachedColorModeNames; }
    // The working selection, ascending.
    std::vector<std::int64_t> preferredColorModesSet() const { return {m_working.begin(), m_working.end()}; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QWidget *buildGeneralTab();
    QWidget *buildColoursTab();
    void tableItemChanged(QTableWidgetItem *item);
    void commit();

    PreferencesWindowController *m_controller = nullptr;
    QStringList m_cachedColorModeNames;
    std::set<std::int64_t> m_working;
    bool m_reloading = false;

    QTabWidget *m_tabView;
    QTableWidget *m_colorTableView = nullptr;
    QPushButton *m_cancelButton;
    QPushButton *m_okButton;
    QLabel *m_warning = nullptr;
    QComboBox *m_updateFrequency = nullptr;
    QComboBox *m_updateBehavior = nullptr;
    QCheckBox *m_autoLaunch = nullptr;
    QComboBox *m_speakChanges = nullptr;
    QSlider *m_speechRate = nullptr;
};

} // namespace kelvo::ui
