#include "hotfolder/HotFolderMonitorFactory.h"

#include "hotfolder/HotFolderChain.h"
#include "imaging/PhotoMetadata.h"

#include <QFileInfo>

namespace sorrelby {

namespace {

class HotFolderWatchMonitor final : public HotFolderMonitor {
public:
    HotFolderWatchMonitor(const QString &hotFolder, HotFolderChainOptions options)
        : m_watch(hotFolder, std::move(options))
    { }

    void setRun(bool run) override { m_watch.setRun(run); }

private:
    HotFolderWatch m_watch;
};

} // namespace

HotFolderMonitorFactory makeHotFolderMonitorFactory(SerialQueue *workQueue)
{
    return [workQueue](const QString &hotFolderPath, std::atomic<bool> &processing) -> std::unique_ptr<HotFolderMonitor> {
        if (hotFolderPath.isEmpty())
            return nullptr;
        // Passes read photo metadata on the work queue.
        initializeMetadataLibrary();
        HotFolderChainOptions options;
        options.workQueue = workQueue;
        options.processingFlag = &processing;
        return std::make_unique<HotFolderWatchMonitor>(hotFolderPath, std::move(options));
    };
}

} // namespace sorrelby
