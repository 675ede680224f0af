#include "settings/PreferencesKeeper.h"

#include "common/SystemLog.h"

namespace kelvo::settings {

PreferencesKeeper::PreferencesKeeper(SettingsStore &store) : m_store(store) {}

bool PreferencesKeeper::loadingPreferences() const
{
    return m_loadingPreferences;
}

void PreferencesKeeper::loadPreferences(const PreferencesContext &context, PreferencesTarget &target)
{
    m_loadingPreferences = true;
    const LoadPlan plan = readViewerPreferences(m_store, context);

    // The setters save on change; none of those saves may write while the
    // values are half applied, even if a setter starts another load.
    const bool wasApplying = m_applyingLoad;
    m_applyingLoad = true;
    applyLoadPlan(plan, target);
    m_applyingLoad = wasApplying;
    m_updatePartLoaded = true;

    if (!plan.isComplete())
        return; // the loading flag stays set: the camera's part was not loaded

    m_viewPartLoaded = true;
    m_loadedCameraIdentifier = plan.cameraIdentifier;
    m_loadingPreferences = false;
    target.setImageFilters();
    target.savePreferences();
}

SaveOutcome PreferencesKeeper::savePreferences(const ViewerPreferences &snapshot, const PreferencesContext &context)
{
    if (m_applyingLoad || !m_updatePartLoaded)
        return SaveOutcome::Skipped;

    SaveOutcome outcome = SaveOutcome::SavedGlobalKeysOnly;
    writeUpdatePart(m_store, snapshot);

    const bool viewExists = context.videoWindowExists && context.overlayExists;
    if (viewExists && m_viewPartLoaded)
        writeViewPart(m_store, snapshot, windowFrameForPreferences(context));

    const std::optional<QString> identifier = getCameraIdentifier(context);
    if (viewExists && !m_loadingPreferences && identifier && identifier == m_loadedCameraIdentifier) {
        writeCameraRecord(m_store, snapshot, *identifier);
        outcome = SaveOutcome::Saved;
    }

    if (!m_store.synchronize()) {
        systemLog("Synchronization failed.\n");
        return SaveOutcome::SynchronizationFailed;
    }
    return outcome;
}

void PreferencesKeeper::factoryReset(const PreferencesContext &context, PreferencesTarget &target)
{
    // A reset can come from a single report of the camera, with no question
    // asked: what it clears stays on disk for the user to bring back.
    m_store.keepBackup(QStringLiteral("reset"));
    m_store.removePersistentDomain();
    // What the viewer holds now belongs to the settings just removed.
    m_viewPartLoaded = false;
    m_loadedCameraIdentifier.reset();
    if (!m_store.synchronize())
        systemLog("Synchronization failed.\n");

    loadPreferences(context, target);
    target.updateColorModeMenus();
    target.clearDockedFlags();
    target.savePreferences();
}

} // namespace kelvo::settings
