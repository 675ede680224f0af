#pragma once

#include "app/DriverRule.h"
#include "device/QuadrelAccess.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace kelvo::app {

// The in-window notice that asks for the camera's permission. It never
// blocks: the picture stays live and every menu and key keeps working.
class AccessNotice {
public:
    virtual ~AccessNotice() = default;
    // Shows `text` with [Allow Access…] and [Not Now].
    virtual void showNotice(const QString &text) = 0;
    // The privileged step is running: the buttons wait.
    virtual void showWorking(const QString &text) = 0;
    virtual void hideNotice() = 0;
};

// Offers the camera's permission where it is missing, and only there: when a
// Quadrel is on the bus and this user cannot open its nodes. Installing the
// rule runs in the background; once udev has applied it the camera is taken
// up again, without a replug or a restart.
// Thread: main thread.
class CameraAccess : public QObject {
    Q_OBJECT
public:
    struct Parts {
        // Looks at the Quadrel's nodes on the bus.
        std::function<device::QuadrelAccess()> checkAccess;
        std::shared_ptr<DriverRule> rule;
        AccessNotice &notice;
        // Opens the camera's report channel again.
        std::function<void()> retakeCamera;
    };
    explicit CameraAccess(Parts parts, QObject *parent = nullptr);

    // At start-up and whenever the cameras on the bus change.
    void check();
    // The notice's buttons.
    void allowAccess();
    void notNow();

    bool noticeShown() const { return m_shown; }
    bool installing() const { return m_installing; }

signals:
    // The rule was installed and the camera is being taken up again.
    void accessGranted();

private:
    QString noticeText() const;

    Parts m_parts;
    bool m_shown = false;
    bool m_installing = false;
    bool m_dismissed = false;
};

} // namespace kelvo::app
