#pragma once

#include <QString>

namespace kelvo::update {

// The two questions of the update check. The viewer shows them as modal
// alerts; tests answer from a script.
// Thread: main thread only.
class UpdateQuestions {
public:
    enum class Kind { AppDownload, FirmwareDownload };

    virtual ~UpdateQuestions() = default;
    // Shows message (already localised) with the default button defaultTitle
    // ("Yes") and the alternate button alternateTitle ("No"), and no
    // informative text. Answers true only for the default button.
    virtual bool askToDownload(Kind kind, const QString &message, const QString &defaultTitle,
                               const QString &alternateTitle) = 0;
};

} // namespace kelvo::update
