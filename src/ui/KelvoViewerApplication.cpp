#include "ui/KelvoViewerApplication.h"

#include "common/BuildInfo.h"

namespace kelvo::ui {

KelvoViewerApplication::KelvoViewerApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    setApplicationName(QString::fromUtf8(build::kApplicationName));
    setApplicationVersion(QString::fromUtf8(build::kShortVersion));
    setOrganizationName(QStringLiteral("Morvane"));
    setOrganizationDomain(QStringLiteral("morvane.com"));
    setDesktopFileName(QStringLiteral("com.morvane.KelvoViewer"));
    // The video window may be closed and shown again; only Quit ends the run.
    setQuitOnLastWindowClosed(false);
}

KelvoViewerApplication *KelvoViewerApplication::instance()
{
    return qobject_cast<KelvoViewerApplication *>(QCoreApplication::instance());
}

} // namespace kelvo::ui
