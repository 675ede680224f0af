#include "viewer/ViewerLifecycleSteps.h"

namespace kelvo::viewer {

void runClosing(ViewerLifecycleSteps &steps)
{
    steps.stopAudioLevelTimer();
    steps.stopCaptureSession();
    steps.detachMovieOutputDelegate();
    steps.removeNotificationObservers();
    steps.cleanupVideoCapture();
    steps.setLineMarkerMenuEnabled(false);
}

} // namespace kelvo::viewer
