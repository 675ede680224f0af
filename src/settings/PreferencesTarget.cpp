#include "settings/PreferencesTarget.h"

namespace kelvo::settings {

void applyLoadPlan(const LoadPlan &plan, PreferencesTarget &target)
{
    const ViewerPreferences &p = plan.preferences;
    for (const LoadStep step : plan.steps) {
        switch (step) {
        case LoadStep::UnhideInternalFeaturesMenu:
            target.unhideInternalFeaturesMenu();
            break;
        case LoadStep::SetUserHasSetPreferences:
            target.setUserHasSetPreferences(p.userHasSetPreferences);
            break;
        case LoadStep::MarkFirstLaunch:
            target.setFirstLaunch(true);
            break;
        case LoadStep::SetUpdateBookkeeping:
            target.setUpdateBookkeeping(p.update);
            break;
        case LoadStep::SetAutomaticallyLaunchesOnDeviceAttach:
            target.setAutomaticallyLaunchesOnDeviceAttach(p.automaticallyLaunchesOnDeviceAttach);
            break;
        case LoadStep::SetPreferredFilters:
            target.setPreferredFilters(p.preferredFilters);
            break;
        case LoadStep::SetEnableDeinterlacing:
            target.setEnableDeinterlacing(p.enableDeinterlacing);
            break;
        case LoadStep::SetShowingAudioLevelIndicator:
            target.setShowingAudioLevelIndicator(p.showingAudioLevelIndicator);
            break;
        case LoadStep::SetChosenPreferredColorModeAndNonPreferredMode:
            target.setChosenPreferredColorMode(p.chosenPreferredColorMode, p.chosenNonPreferredColorMode);
            break;
        case LoadStep::SetVideoOrientation:
            target.setVideoOrientation(p.videoOrientation);
            break;
        case LoadStep::SetIsMirrored:
            target.setIsMirrored(p.isMirrored);
            break;
        case LoadStep::SetLineWidth:
            target.setLineWidth(p.lineWidth);
            break;
        case LoadStep::SetGuideSeparation:
            target.setGuideSeparation(p.guideSeparation);
            break;
        case LoadStep::SetScrollPosition:
            target.setScrollPosition(p.scrollPosition);
            break;
        case LoadStep::SetHorizontalReadingGuideMode:
            target.setHorizontalReadingGuideMode(p.horizontalReadingGuideMode);
            break;
        case LoadStep::SetVerticalReadingGuideMode:
            target.setVerticalReadingGuideMode(p.verticalReadingGuideMode);
            break;
        case LoadStep::SetColorBalanceMode:
            target.setColorBalanceMode(p.colorBalanceMode);
            break;
        case LoadStep::SetZoomLevel:
            target.setZoomLevel(p.zoomLevel);
            break;
        case LoadStep::ReDockWithDockInfo:
            target.reDockWithDockInfo(p.dockingInfo);
            break;
        case LoadStep::SetVideoWindowFrame:
            if (plan.windowFrame)
                target.setVideoWindowFrame(*plan.windowFrame);
            break;
        }
    }
}

} // namespace kelvo::settings
