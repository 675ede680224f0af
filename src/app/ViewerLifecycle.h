#pragma once

#include "viewer/ViewerLifecycleSteps.h"

namespace kelvo::app {

using viewer::runClosing;
using viewer::ViewerLifecycleSteps;

// Loads the settings, prepares and shows the video window, starts the
// capture, asks for preferences on the very first launch and checks for
// updates, in that order.
void runStartUp(ViewerLifecycleSteps &steps);

} // namespace kelvo::app
