#pragma once

#include "update/UpdateQuestions.h"

namespace kelvo::viewer {

// The update check's questions as modal alerts: the default button answers
// Return, the alternate one Escape.
// Thread: main thread.
class UpdateQuestionAlerts : public update::UpdateQuestions {
public:
    bool askToDownload(Kind kind, const QString &message, const QString &defaultTitle,
                       const QString &alternateTitle) override;
    // The ready-to-update alert: a verified firmware image of this version
    // waits; true when the user chooses to install it now (the default).
    bool askToInstallFirmware(const QString &version);
};

} // namespace kelvo::viewer
