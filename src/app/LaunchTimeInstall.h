#pragma once

#include <QString>

#include <functional>

namespace kelvo::viewer {
class MainWindowDelegate;
}

namespace kelvo::app {

// Whether the folder holding the viewer at executablePath is an install
// folder that may replace itself: a relocatable "….app" folder with the
// viewer and its relauncher, which the user can write. A system package, a
// folder under a shared prefix and a build tree never replace themselves.
bool canReplaceItself(const QString &executablePath);

// At launch, with the interface loaded: installs the application update the
// controller's settings hold as ready, if the viewer at executablePath can
// replace itself. Answers whether the installation ran; terminate has then
// been asked to end the application.
bool installReadyUpdateAtLaunch(viewer::MainWindowDelegate &controller, const QString &executablePath,
                                const std::function<void()> &terminate);

} // namespace kelvo::app
