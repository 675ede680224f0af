#include "ui/KelvoViewerApplication.h"

#include "common/BuildInfo.h"
#include "ui/FocusFrameStyle.h"

#include <QStyleFactory>

namespace kelvo::ui {

KelvoViewerApplication::KelvoViewerApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    setApplicationName(QString::fromUtf8(build::kApplicationName));
    setApplicationVersion(QString::fromUtf8(build::kShortVersion));
    setOrganizationName(QStringLiteral("Morvane"));
    setOrganizationDomain(QStringLiteral("morvane.com"));
    setDesktopFileName(QStringLiteral("com.morvane.KelvoViewer"));
    // Closing the video window ends the run through the delegate, once its
    // own closing steps are done; dialogs left open never keep it alive.
    setQuitOnLastWindowClosed(false);
    // Fusion draws focus on every control that takes it; the frame is made
    // thick enough to be found.
    setStyle(new FocusFrameStyle(QStyleFactory::create(QStringLiteral("Fusion"))));
}

KelvoViewerApplication *KelvoViewerApplication::instance()
{
    return qobject_cast<KelvoViewerApplication *>(QCoreApplication::instance());
}

} // namespace kelvo::ui
