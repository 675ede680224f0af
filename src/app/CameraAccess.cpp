#include "app/CameraAccess.h"

#include "common/Localization.h"
#include "common/SystemLog.h"

#include <QPointer>

namespace kelvo::app {

CameraAccess::CameraAccess(Parts parts, QObject *parent) : QObject(parent), m_parts(std::move(parts)) {}

QString CameraAccess::noticeText() const
{
    switch (m_parts.rule->state()) {
    case DriverRule::State::Missing:
        return localized("The camera's buttons need a one-time permission on this computer. The picture works "
                         "without it. Allowing access asks for an administrator password.");
    case DriverRule::State::Outdated:
        return localized("The camera's permission on this computer is out of date, so its buttons do not work. "
                         "Allowing access renews it and asks for an administrator password.");
    case DriverRule::State::Installed:
        break;
    }
    return localized("The camera's buttons cannot be reached although their permission is installed. Allowing "
                     "access applies it again; if that does not help, unplug the camera and plug it in again.");
}

void CameraAccess::check()
{
    if (m_dismissed || m_installing)
        return;
    const device::QuadrelAccess access = m_parts.checkAccess();
    if (!access.needsPermission()) {
        if (m_shown)
            m_parts.notice.hideNotice();
        m_shown = false;
        return;
    }
    if (m_shown)
        return;
    // Said once per notice: a viewer left alone stays quiet.
    systemLog("No access to the camera's nodes (%s); offering the access rule\n", access.deniedNodes.front().c_str());
    m_shown = true;
    m_parts.notice.showNotice(noticeText());
}

void CameraAccess::allowAccess()
{
    if (m_installing)
        return;
    m_installing = true;
    m_parts.notice.showWorking(localized("Waiting for the administrator password…"));
    QPointer<CameraAccess> self(this);
    m_parts.rule->startInstall([self](const DriverRule::InstallResult &result) {
        if (!self)
            return;
        self->m_installing = false;
        if (!result.installed) {
            self->m_parts.notice.showNotice(self->noticeText() + QStringLiteral("\n") + result.message);
            return;
        }
        systemLog("Camera access rule installed\n");
        self->m_shown = false;
        self->m_parts.notice.hideNotice();
        if (self->m_parts.retakeCamera)
            self->m_parts.retakeCamera();
        emit self->accessGranted();
    });
}

void CameraAccess::notNow()
{
    m_dismissed = true;
    m_shown = false;
    m_parts.notice.hideNotice();
}

} // namespace kelvo::app
