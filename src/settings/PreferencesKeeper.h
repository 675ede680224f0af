#pragma once

#include "settings/PreferencesTarget.h"
#include "settings/SettingsStore.h"
#include "settings/ViewerPreferences.h"

#include <QString>

#include <optional>

namespace kelvo::settings {

// What a call of savePreferences did.
enum class SaveOutcome {
    Skipped,               // nothing written: a load is applying, or nothing was ever loaded
    SavedGlobalKeysOnly,   // no camera record: no camera, no window or overlay, or its record was not loaded
    Saved,                 // global keys and the camera's record
    SynchronizationFailed, // written to the store, but the file could not be written
};

// Loading, saving and resetting the viewer's settings on behalf of the viewer
// controller, which owns one keeper and calls it from its own
// loadPreferences, savePreferences and factoryReset.
//
// Saving follows the store's groups. The per-camera record is written only
// with a camera identifier, a video window and an overlay, and only under the
// identifier whose record was last loaded, so values that belong to one
// camera or head position never land in another's record. The global keys
// are written even without a camera, so update bookkeeping recorded then (a
// download that finished, a version ready to install) is not lost; the
// global keys that are only loaded with a camera (preferred list, audio
// indicator, docking, window position) are written once they have been
// loaded in this run, so a run that never saw the camera cannot overwrite
// them with start-up values.
//
// The controller's side, in short:
//   void MainWindowDelegate::loadPreferences() { m_keeper.loadPreferences(preferencesContext(), *this); }
//   void MainWindowDelegate::savePreferences()
//   {
//       m_keeper.savePreferences(currentPreferences(), preferencesContext());
//       reload the on-screen display's table;
//   }
//   void MainWindowDelegate::factoryReset() { m_keeper.factoryReset(preferencesContext(), *this); }
// Thread: main thread only.
class PreferencesKeeper {
public:
    explicit PreferencesKeeper(SettingsStore &store);

    // YES from the start of a load until a complete load ends; a load without
    // a camera identifier leaves it set.
    bool loadingPreferences() const;

    // Reads the store and applies every value through target's setters in
    // the load order. A complete load then clears the loading flag and calls
    // target.setImageFilters() and target.savePreferences().
    void loadPreferences(const PreferencesContext &context, PreferencesTarget &target);

    // Writes snapshot, the controller's and overlay's current values, into
    // the store and synchronises it. A failed synchronisation logs
    // "Synchronization failed.\n".
    SaveOutcome savePreferences(const ViewerPreferences &snapshot, const PreferencesContext &context);

    // Clears the whole domain, writes that to disk, loads (all defaults
    // apply), then target.updateColorModeMenus(), target.clearDockedFlags()
    // and target.savePreferences().
    void factoryReset(const PreferencesContext &context, PreferencesTarget &target);

private:
    SettingsStore &m_store;
    bool m_loadingPreferences = false;
    bool m_applyingLoad = false;
    bool m_updatePartLoaded = false;
    bool m_viewPartLoaded = false;
    std::optional<QString> m_loadedCameraIdentifier;
};

} // namespace kelvo::settings
