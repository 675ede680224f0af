#pragma once

#include <QString>

class QWidget;

namespace kelvo::app {

// The questions the application shell puts to the user. The real one shows
// modal message boxes; tests answer from a script.
class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;
    // "Are you sure you want to reset to default settings?": true for Reset.
    virtual bool confirmFactoryReset() = 0;
    // A failure the user must know about.
    virtual void showError(const QString &message, const QString &details) = 0;
};

// Modal message boxes, with the described default and cancel buttons.
class MessageBoxAlertPresenter : public AlertPresenter {
public:
    bool confirmFactoryReset() override;
    void showError(const QString &message, const QString &details) override;
};

} // namespace kelvo::app
