#pragma once

#include "ui/MainWindowInterface.h"

#include <QObject>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace kelvo::ui {
class MainMenu;
class PreferencesWindow;
} // namespace kelvo::ui

namespace kelvo::viewer {

// The viewer controller: owns the main interface and what the user sees.
// There is one for the life of the run, created by the application delegate.
// Thread: main thread.
class MainWindowDelegate : public QObject {
    Q_OBJECT
public:
    MainWindowDelegate();
    ~MainWindowDelegate() override;

    // Builds the "MainWindow" interface with this controller as its owner and
    // connects the outlets. Answers the top-level objects, which the caller
    // keeps for the run.
    std::vector<QWidget *> loadInterface();
    bool interfaceLoaded() const { return m_outlets.videoWindow != nullptr; }
    const ui::MainWindowOutlets &outlets() const { return m_outlets; }

    ui::DraggableWindow *videoWindow() const { return m_outlets.videoWindow; }
    ui::PreferencesWindow *preferencesWindow() const { return m_outlets.preferencesWindow; }
    ui::MainMenu *mainMenu() const { return m_outlets.mainMenu; }

    // Called once the interface is loaded, with the object that loaded it.
    void windowControllerDidLoadNib(QObject *windowController);

    // Finds the item along menuTag -> itemTag and sets its check mark; answers
    // whether the item exists.
    bool setCheckMarkForItem(int itemTag, int menuTag, bool value);
    // Enables or disables the camera, audio, guide and colour menus and the
    // window's close item, which only make sense with the video window open.
    void setLineMarkerMenuEnabled(bool enabled);
    // Disables (and re-enables) every menu while a modal step has the user's
    // attention.
    void startPseudoModal();
    void endPseudoModal();

    // The capture graph is built and started here once the video pipeline is
    // attached; until then the window shows no picture.
    void initializeVideoCapture();
    // Writes the viewer's whole state to the settings store.
    void savePreferences();
    // Restores every setting to its default.
    void factoryReset();
    // Pauses running downloads so they can resume at the next launch.
    void pauseDownloadsOnQuit();

    // A downloaded application update waiting to be installed, if any.
    const std::optional<QString> &appVersionReadyToInstall() const { return m_appVersionReadyToInstall; }

    int savePreferencesCount() const { return m_savePreferencesCount; }
    int initializeVideoCaptureCount() const { return m_initializeVideoCaptureCount; }

private:
    ui::MainWindowOutlets m_outlets;
    std::vector<std::unique_ptr<QWidget>> m_topLevelObjects;
    std::optional<QString> m_appVersionReadyToInstall;
    int m_savePreferencesCount = 0;
    int m_initializeVideoCaptureCount = 0;
};

} // namespace kelvo::viewer
