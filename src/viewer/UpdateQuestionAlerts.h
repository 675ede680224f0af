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
};

} // namespace kelvo::viewer
