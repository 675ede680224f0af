#include "app/ViewerLifecycle.h"

namespace kelvo::app {

void runStartUp(ViewerLifecycleSteps &steps)
{
    steps.loadPreferences();
    steps.prepareVideoWindow();
    steps.refreshDevices();
    steps.bringVideoWindowForward();
    steps.initializeVideoCapture();
    // The very first launch opens the preferences once, so the user meets
    // the choice of colour modes; the mark is saved before the window shows.
    if (!steps.userHasSetPreferences()) {
        steps.setUserHasSetPreferences(true);
        steps.savePreferences();
        steps.showPreferencesWindow();
    }
    steps.checkForUpdates();
}

} // namespace kelvo::app
