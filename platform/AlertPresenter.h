#pragma once
// Alerts go through this interface so tests can answer them and check that
// they were shown. The Qt implementation lives in platform/widgets; the
// scripted one (tests) records every alert and answers from a script.

#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace sorrelby {

enum class AlertStyle { Informational, Warning, Critical };

struct Alert {
    AlertStyle style = AlertStyle::Critical;
    QString messageText;
    QString informativeText;
    QStringList buttons{QStringLiteral("OK")};
    // A sheet that ends by itself, answered with its first button, after
    // this many seconds (0: only the user ends it).
    double autoDismissSeconds = 0;
};

// The answer: index of the pressed button (0 is the first).
using AlertAnswer = int;

class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;
    // Application-modal; blocks until answered. Call on the main thread.
    virtual AlertAnswer runModal(const Alert &alert) = 0;
    // Window-modal sheet on `window` (or modal-less when null); `done` gets the
    // answer on the main thread.
    virtual void beginSheet(const Alert &alert, QObject *window, std::function<void(AlertAnswer)> done) = 0;

    // The presenter the application uses; a silent logging one until set.
    static AlertPresenter &shared();
    static void setShared(AlertPresenter *presenter);
};

// Shows `alert` modally on the main queue from any thread; logs it first.
void showAlertOnMain(const Alert &alert, std::function<void(AlertAnswer)> done = {});

// Records alerts and answers them from a queue of answers (first button when
// empty). A sheet answered with cUnanswered is left to end by itself.
class ScriptedAlertPresenter : public AlertPresenter {
public:
    static constexpr AlertAnswer cUnanswered = -1;

    AlertAnswer runModal(const Alert &alert) override;
    void beginSheet(const Alert &alert, QObject *window, std::function<void(AlertAnswer)> done) override;

    void queueAnswer(AlertAnswer answer);
    std::vector<Alert> shown() const;
    void clear();

private:
    AlertAnswer next(const Alert &alert);
    mutable std::mutex m_mutex;
    std::vector<Alert> m_shown;
    std::deque<AlertAnswer> m_answers;
};

} // namespace sorrelby
