#pragma once
// The hot folder monitor the application object starts and stops: the
// watcher of the hot folder with its chain of intake passes, refreshes and
// markers, passing on the browser's work queue and keeping the application
// object's fIsProcessingHotFolder up to date.

#include "app/AppDelegate.h"

namespace sorrelby {

class SerialQueue;

// workQueue: the browser's work queue (the shared one when null).
HotFolderMonitorFactory makeHotFolderMonitorFactory(SerialQueue *workQueue = nullptr);

} // namespace sorrelby
