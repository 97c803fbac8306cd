#pragma once
// Alerts as QMessageBox: application-modal for modal alerts, window-modal
// (open()) for sheets. Main thread only.

#include "platform/AlertPresenter.h"

namespace sorrelby {

class QtAlertPresenter : public AlertPresenter {
public:
    AlertAnswer runModal(const Alert &alert) override;
    void beginSheet(const Alert &alert, QObject *window, std::function<void(AlertAnswer)> done) override;
};

} // namespace sorrelby
