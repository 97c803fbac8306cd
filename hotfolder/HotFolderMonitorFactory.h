#pragma once
// The hot folder monitor the application object starts and stops: the
// watcher of the hot folder with its chain of intake passes, refreshes and
// markers, passing on the browser's work queue and keeping a flag of the
// application object's up to date while a pass runs.

#include <QString>

#include <atomic>
#include <functional>
#include <memory>

namespace sorrelby {

class SerialQueue;

// The hot folder watcher as the application object sees it: created with
// its event handling in place but stopped, then started and stopped.
class HotFolderMonitor {
public:
    virtual ~HotFolderMonitor() = default;
    virtual void setRun(bool run) = 0;
};

// Makes the monitor of the (standardised) hot folder path; `processing` is
// true while one of its passes runs. nullptr when it cannot.
using HotFolderMonitorFactory
    = std::function<std::unique_ptr<HotFolderMonitor>(const QString &hotFolderPath, std::atomic<bool> &processing)>;

// workQueue: the browser's work queue (the shared one when null).
HotFolderMonitorFactory makeHotFolderMonitorFactory(SerialQueue *workQueue = nullptr);

} // namespace sorrelby
