#include "platform/AlertPresenter.h"

#include "platform/Dispatch.h"
#include "platform/Log.h"

#include <atomic>

namespace sorrelby {

namespace {

QString describe(const Alert &alert)
{
    QString text = alert.messageText;
    const QString informative = alert.informativeText.trimmed();
    if (!informative.isEmpty())
        text += QLatin1Char(' ') + informative;
    return text;
}

// Until the application installs its presenter, alerts are only logged and
// answered with their first button, so code without a window never blocks.
class LoggingAlertPresenter : public AlertPresenter {
public:
    AlertAnswer runModal(const Alert &alert) override
    {
        logOp(u"AlertPresenter", u"runModal", describe(alert));
        return 0;
    }

    void beginSheet(const Alert &alert, QObject *, std::function<void(AlertAnswer)> done) override
    {
        logOp(u"AlertPresenter", u"beginSheet", describe(alert));
        if (done)
            mainqueue::async([done = std::move(done)] { done(0); });
    }
};

std::atomic<AlertPresenter *> g_shared{nullptr};

} // namespace

AlertPresenter &AlertPresenter::shared()
{
    static LoggingAlertPresenter fallback;
    AlertPresenter *presenter = g_shared.load();
    return presenter ? *presenter : fallback;
}

void AlertPresenter::setShared(AlertPresenter *presenter)
{
    g_shared.store(presenter);
}

void showAlertOnMain(const Alert &alert, std::function<void(AlertAnswer)> done)
{
    logOp(u"AlertPresenter", u"showAlertOnMain", describe(alert));
    mainqueue::async([alert, done = std::move(done)] {
        const AlertAnswer answer = AlertPresenter::shared().runModal(alert);
        if (done)
            done(answer);
    });
}

AlertAnswer ScriptedAlertPresenter::runModal(const Alert &alert)
{
    // A modal alert cannot stay open: left unanswered, it gets its first button.
    const AlertAnswer answer = next(alert);
    return answer == cUnanswered ? 0 : answer;
}

void ScriptedAlertPresenter::beginSheet(const Alert &alert, QObject *, std::function<void(AlertAnswer)> done)
{
    const AlertAnswer answer = next(alert);
    if (answer == cUnanswered) {
        if (done && alert.autoDismissSeconds > 0)
            mainqueue::after(alert.autoDismissSeconds, [done = std::move(done)] { done(0); });
        return;
    }
    // Like a real sheet, the answer comes after beginSheet has returned.
    if (done)
        mainqueue::async([answer, done = std::move(done)] { done(answer); });
}

void ScriptedAlertPresenter::queueAnswer(AlertAnswer answer)
{
    std::lock_guard lock(m_mutex);
    m_answers.push_back(answer);
}

std::vector<Alert> ScriptedAlertPresenter::shown() const
{
    std::lock_guard lock(m_mutex);
    return m_shown;
}

void ScriptedAlertPresenter::clear()
{
    std::lock_guard lock(m_mutex);
    m_shown.clear();
    m_answers.clear();
}

AlertAnswer ScriptedAlertPresenter::next(const Alert &alert)
{
    std::lock_guard lock(m_mutex);
    m_shown.push_back(alert);
    if (m_answers.empty())
        return 0;
    const AlertAnswer answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

} // namespace sorrelby
