#pragma once
// Hot folder mode: from a file event in the hot folder to a delivered shoot,
// without anyone at the workstation.
//
//   file event -> (0.2 s) intake pass on the work queue
//     moved photos  -> a batch coalesced over 1.0 s, run by the source
//                      folder's shoot engine inside the same job: it reads
//                      for cards the photos there under camera names that no
//                      pass took in (there before hot folder mode, or taken
//                      in by an earlier process), carries the codes of the
//                      card photos to the photos after them (camera by
//                      camera) and delivers, keeping the newest card photos
//     nothing moved -> the marker file ".mydatefile" is rewritten 11 s later,
//                      so an idle hot folder is looked at again
//     photos still being written -> another pass once they have been left
//                      alone long enough
//
// Passes, batches and marker writes all run on the work queue, so they never
// overlap each other nor the other operations of the shoot there, and no
// pass can slip a photo into the source folder between a batch's decode and
// its delivery. The chain may be destroyed while work is pending: that work
// then does nothing.

#include "hotfolder/HotFolderIntake.h"
#include "platform/Dispatch.h"
#include "shoot/ShootOperations.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace sorrelby {

class SerialQueue;
class ShootEngines;
class TRUVO_FileEvent;

inline constexpr QLatin1StringView cRefreshCoalescingKey{"refresh.identifier"};
inline constexpr QLatin1StringView cHotFolderMarkerFileName{".mydatefile"};

struct HotFolderChainTiming {
    double passDelay = 0.2;       // from a file event to its pass
    double refreshWait = 1.0;     // a batch waits this long after the last moving pass
    double markerInterval = 11.0; // from a pass that moved nothing to the marker
    double retryMargin = 0.05;    // added to the moment a waiting photo is due
};

struct HotFolderChainOptions {
    // The browser's work queue when null.
    SerialQueue *workQueue = nullptr;
    // The application object's fIsProcessingHotFolder; the chain's own
    // flag when null. Must outlive the chain's pending work.
    std::atomic<bool> *processingFlag = nullptr;
    HotFolderChainTiming timing;

    // The folder the intake fills (the validated source folder).
    std::function<std::optional<QString>()> sourceFolder;
    // One intake pass (HotFolderIntake); it should stop between photos when
    // *abort is set.
    std::function<HotFolderIntakeResult(const QString &hotFolder, const QString &sourceFolder, const std::atomic<bool> *abort)> intake;
    // The engines whose source folder engine runs the batches; the shared
    // ones without a work queue above, else engines of the chain's own.
    ShootEngines *engines = nullptr;
    // One batch over the source folder, on the work queue (the engine's
    // HotFolderBatch when empty); cardsRead tells the photos whose cards an
    // intake pass read.
    std::function<ShootResult(const QString &sourceFolder, const std::function<bool(const QString &)> &cardsRead)> batch;
    // The pause after each delivered photo (a window paces it); the engine's
    // when none.
    std::optional<double> deliveryPauseSeconds;
    std::function<QDateTime()> clock;
    // One line per pass, for a log or a terminal.
    std::function<void(const QString &line)> report;
};

class HotFolderChain {
public:
    using Options = HotFolderChainOptions;

    // hotFolder: the standardised hot folder path.
    explicit HotFolderChain(const QString &hotFolder, Options options = {});
    ~HotFolderChain();
    HotFolderChain(const HotFolderChain &) = delete;
    HotFolderChain &operator=(const HotFolderChain &) = delete;

    QString hotFolder() const;

    // The watcher's event block: a pass after the pass delay, whatever the
    // paths (events for other paths count too).
    void handleEvent(const std::optional<QStringList> &paths, const std::optional<QList<quint32>> &flags);

    // Disabled, no new pass, refresh or marker starts; the pass in hand
    // finishes. Enabled again, the chain goes on as before.
    void setEnabled(bool enabled);
    bool isEnabled() const;
    // The pass in hand stops after the photo it is moving.
    void abortPass();

    // A pass after `seconds`, unless one is already due by then.
    void schedulePass(double seconds);
    // The coalesced batch, as after a pass that moved photos.
    void requestRefresh();

    // What has happened so far (for callers that wait on the chain).
    int passesRun() const;
    // Batches run, and those whose delivery stopped before its end (a full
    // or vanished drive).
    int batchesRun() const;
    int deliveriesStopped() const;
    // Photos moved into the main folder by all batches so far.
    int photosDelivered() const;
    bool isProcessing() const;
    // Nothing to do: the last pass found nothing to take or wait for, and no
    // pass or batch is due. Meaningful on the work queue, between jobs.
    bool isIdle() const;
    // The last pass moved photos: another one must look before the chain can
    // call itself idle (its own moves may not have been reported yet).
    bool lastPassMovedPhotos() const;
    // Files the last pass left in the hot folder, each said in its line.
    int lastPassLeftAlone() const;

    struct State;

private:
    std::shared_ptr<State> d;
};

// A watcher with its chain: what the application object starts and stops.
class HotFolderWatch {
public:
    explicit HotFolderWatch(const QString &hotFolder, HotFolderChain::Options options = {}, double latency = 0.5);
    ~HotFolderWatch();
    HotFolderWatch(const HotFolderWatch &) = delete;
    HotFolderWatch &operator=(const HotFolderWatch &) = delete;

    // Starting watches and delivers the start event (a pass at once);
    // stopping lets a pass in hand finish and starts no new one.
    void setRun(bool run);

    HotFolderChain &chain() { return *m_chain; }
    TRUVO_FileEvent &watcher() { return *m_watcher; }

private:
    std::unique_ptr<HotFolderChain> m_chain;
    std::unique_ptr<TRUVO_FileEvent> m_watcher;
};

} // namespace sorrelby
