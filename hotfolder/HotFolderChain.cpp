#include "hotfolder/HotFolderChain.h"

#include "hotfolder/FileEvent.h"
#include "platform/Dispatch.h"
#include "platform/FileOps.h"
#include "platform/Log.h"
#include "settings/PreferenceOps.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"
#include "shoot/ShootEngine.h"
#include "support/Coalescer.h"

#include <QFileInfo>
#include <QLocale>
#include <QSet>

#include <chrono>
#include <mutex>
#include <set>

namespace sorrelby {

namespace {

constexpr QStringView cClass = u"HotFolderChain";
// A waiting photo is looked at again after this long at the most, whatever
// it claims.
constexpr double cLongestRetrySeconds = 60.0;

void note(QStringView operation, const QString &detail)
{
    logOp(cClass, operation, detail);
}

qint64 steadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// What /bin/date prints.
QByteArray dateText(const QDateTime &now)
{
    return QLocale::c().toString(now, QStringLiteral("ddd MMM d HH:mm:ss t yyyy")).toUtf8() + '\n';
}

QString describe(const HotFolderIntakeResult &result)
{
    QString line = QStringLiteral("pass: %1 moved").arg(result.moved);
    if (result.movedRaws > 0)
        line += QStringLiteral(" (%1 of them RAW)").arg(result.movedRaws);
    if (result.waiting > 0)
        line += QStringLiteral(", %1 still being written").arg(result.waiting);
    if (!result.leftAlone.isEmpty())
        line += QStringLiteral(", %1 left in the hot folder (%2)")
                    .arg(result.leftAlone.size())
                    .arg(describeLeftAlone(result.leftAlone).join(QStringLiteral("; ")));
    if (result.failed > 0)
        line += QStringLiteral(", %1 could not be moved").arg(result.failed);
    if (!result.splitPairs.isEmpty())
        line += QStringLiteral(", RAW+JPEG pair(s) split: %1").arg(result.splitPairs.join(QStringLiteral("; ")));
    if (!result.possibleUnreadCards.isEmpty())
        line += QStringLiteral(", %1 possible unread card(s): %2")
                    .arg(result.possibleUnreadCards.size())
                    .arg(result.possibleUnreadCards.join(u' '));
    if (!result.listed)
        line += QStringLiteral(" (the hot folder could not be read)");
    if (result.aborted)
        line += QStringLiteral(" (stopped)");
    return line;
}

} // namespace

struct HotFolderChain::State : std::enable_shared_from_this<State> {
    QString hotFolder;
    Options o;
    SerialQueue *queue = nullptr;
    std::atomic<bool> processing{false};
    // The application object's flag, mirrored while the chain exists (work
    // still pending when it is gone must not touch it).
    std::atomic<bool> *external = nullptr;
    std::atomic<bool> enabled{true};
    std::atomic<bool> abort{false};
    std::atomic<int> passes{0};
    std::atomic<int> batches{0};
    std::atomic<int> stopped{0};
    std::atomic<int> delivered{0};
    // Engines of the chain's own, on its queue, when none were given.
    std::unique_ptr<ShootEngines> ownEngines;
    std::atomic<quint64> markerGeneration{0};
    // The last pass left photos that may still be being written; a refresh
    // then waits (it is owed) until a pass finds none.
    std::atomic<bool> hotFolderBusy{false};
    std::atomic<bool> refreshOwed{false};
    std::mutex mutex;
    std::multiset<qint64> pendingPasses; // due times (steady ms) of scheduled passes
    std::atomic<bool> refreshPending{false};
    // What the last pass found: -1 none yet, 0 nothing to take or wait for,
    // 1 photos waiting, 2 photos moved.
    std::atomic<int> lastPass{-1};
    // Files the last pass left in the hot folder (not photos, unreadable...).
    std::atomic<int> lastLeftAlone{0};
    // Photos of the source folder already read for cards (taken in by a pass
    // of ours, or read by a batch); work queue only.
    QSet<QString> lookedAt;

    bool isProcessing();
    void setProcessing(bool on);
    void schedulePass(double seconds);
    void runPass(qint64 due);
    void requestRefresh();
    void refresh();
    void armMarker();
    void writeMarker();
};

bool HotFolderChain::State::isProcessing()
{
    std::lock_guard lock(mutex);
    return processing.load() || (external && external->load());
}

void HotFolderChain::State::setProcessing(bool on)
{
    std::lock_guard lock(mutex);
    processing.store(on);
    if (external)
        external->store(on);
}

void HotFolderChain::State::schedulePass(double seconds)
{
    if (!enabled.load())
        return;
    seconds = qBound(0.0, seconds, cLongestRetrySeconds);
    const qint64 due = steadyMs() + qint64(seconds * 1000.0);
    {
        std::lock_guard lock(mutex);
        // A pass due no later than this one will see the same files.
        if (!pendingPasses.empty() && *pendingPasses.begin() <= due)
            return;
        pendingPasses.insert(due);
    }
    queue->after(seconds, [self = shared_from_this(), due] { self->runPass(due); });
}

void HotFolderChain::State::runPass(qint64 due)
{
    {
        std::lock_guard lock(mutex);
        if (const auto it = pendingPasses.find(due); it != pendingPasses.end())
            pendingPasses.erase(it);
    }
    if (!enabled.load())
        return;
    const QString op = QStringLiteral("processHotFolder()");
    // Any pass puts the marker off: it is for a folder where nothing happens.
    ++markerGeneration;
    if (isProcessing()) {
        note(op, QStringLiteral("We need to wait....self.fIsProcessingHotFolder is true..."));
        return;
    }
    const std::optional<QString> source = o.sourceFolder();
    if (!source || source->isEmpty()) {
        note(op, QStringLiteral("no valid source folder: pass skipped"));
        return;
    }
    setProcessing(true);
    note(op, QStringLiteral("Will start processHotFolder......."));
    const HotFolderIntakeResult result = o.intake(hotFolder, *source, &abort);
    note(op, QStringLiteral("was DONE processHotFolder for %1 items...").arg(result.moved));
    for (const QString &photo : result.movedTo)
        lookedAt.insert(photo);
    lastPass = result.moved > 0 ? 2 : result.waiting > 0 ? 1 : 0;
    lastLeftAlone = int(result.leftAlone.size());
    setProcessing(false);
    ++passes;
    mainqueue::async([] { Settings::shared().setValue(cPrefDateOfLastProcessedHotFolder, QDateTime::currentDateTime()); });
    if (o.report)
        o.report(describe(result));

    if (!enabled.load())
        return;
    // A card photo still in transfer must not be overtaken: the photos taken
    // after it would be decoded and delivered with the previous code.
    hotFolderBusy.store(result.waiting > 0);
    if (result.moved > 0 || (refreshOwed.load() && result.waiting == 0))
        requestRefresh();
    if (result.moved == 0)
        armMarker();
    // inotify reports a file when it appears, not when its writer is done:
    // without this a photo found half-written would wait for an unrelated
    // event.
    if (result.nextCheck) {
        const double seconds = o.clock().msecsTo(*result.nextCheck) / 1000.0 + o.timing.retryMargin;
        note(op, QStringLiteral("photos still being written: next look in %1 s").arg(qMax(0.0, seconds)));
        schedulePass(seconds);
    }
}

void HotFolderChain::State::requestRefresh()
{
    if (!enabled.load())
        return;
    refreshPending = true;
    runOnceForKeyAfterWaiting(QString(cRefreshCoalescingKey), QueueRef(queue), o.timing.refreshWait,
                              [self = shared_from_this()] { self->refresh(); });
}

void HotFolderChain::State::refresh()
{
    refreshPending = false;
    if (!enabled.load())
        return;
    const QString op = QStringLiteral("refresh()");
    note(op, QStringLiteral("refreshtimer FIRED FIRED FIRED... check which thread??? ") + queue->label());
    if (hotFolderBusy.load()) {
        note(op, QStringLiteral("photos still being written in the hot folder: refresh after they are in"));
        refreshOwed.store(true);
        return;
    }
    refreshOwed.store(false);
    const std::optional<QString> source = o.sourceFolder();
    if (!source || source->isEmpty())
        return;
    // Inside this job, so no pass can put a photo into the source folder
    // between the batch's decode and its delivery.
    const ShootResult result = o.batch(*source, [this](const QString &photo) { return lookedAt.contains(photo); });
    if (result.outcome == ShootResult::Outcome::NotRun && !result.delivery) {
        note(op, QStringLiteral("no batch: ") + result.reason);
        return;
    }
    for (const QString &photo : result.readForCards)
        lookedAt.insert(photo);
    // Forget what is no longer there, so the set stays the folder's size.
    const QSet<QString> present(result.listing.cbegin(), result.listing.cend());
    lookedAt.intersect(present);
    ++batches;
    if (result.delivery) {
        if (result.delivery->status == DeliveryStatus::Stopped)
            ++stopped;
        for (const DeliveryBatchResult &batch : result.delivery->batches)
            delivered += batch.counters.moved + batch.counters.unassigned;
    }
    if (o.report) {
        if (!result.readForCards.isEmpty())
            o.report(QStringLiteral("decode: %1 photo(s) found in the source folder under camera names, read for cards first (%2 renamed)")
                         .arg(result.readForCards.size())
                         .arg(result.sequences.isEmpty() ? 0 : result.sequences.first().renamed));
        o.report(result.delivery ? describeDelivery(*result.delivery, QString()) : result.describe());
    }
}

void HotFolderChain::State::armMarker()
{
    const quint64 generation = ++markerGeneration;
    // On the work queue rather than the window's thread: the write is
    // flushed to disk.
    queue->after(o.timing.markerInterval, [self = shared_from_this(), generation] {
        if (self->enabled.load() && self->markerGeneration.load() == generation)
            self->writeMarker();
    });
}

void HotFolderChain::State::writeMarker()
{
    const QString op = QStringLiteral("writeMarker()");
    if (!QFileInfo(hotFolder).isDir()) {
        note(op, QStringLiteral("the hot folder is gone, no marker: ") + hotFolder);
        return;
    }
    // Written directly, never through a shell: the folder's name is the
    // user's and may hold anything. A new file (not an overwrite) is what
    // makes the folder report a change.
    const QString path = hotFolder + QLatin1Char('/') + cHotFolderMarkerFileName;
    if (const FileResult written = fileops::writeFileAtomically(path, dateText(o.clock())); !written)
        note(op, QStringLiteral("something went wrong with the marker file = ") + written.error);
    else
        note(op, QStringLiteral("marker written: ") + path);
}

HotFolderChain::HotFolderChain(const QString &hotFolder, Options options)
    : d(std::make_shared<State>())
{
    d->hotFolder = hotFolder;
    d->o = std::move(options);
    d->queue = d->o.workQueue ? d->o.workQueue : &sharedWorkingQueue();
    d->external = d->o.processingFlag;
    if (!d->o.sourceFolder)
        d->o.sourceFolder = [] { return preferenceops::getValidatedPathToSourcePath(); };
    if (!d->o.intake) {
        d->o.intake = [](const QString &hot, const QString &source, const std::atomic<bool> *abort) {
            HotFolderIntake intake;
            intake.setAbortFlag(abort);
            return intake.run(hot, source);
        };
    }
    if (!d->o.batch) {
        ShootEngines *engines = d->o.engines;
        if (!engines && d->o.workQueue) {
            ShootEngineOptions engineOptions;
            engineOptions.queue = d->queue;
            d->ownEngines = std::make_unique<ShootEngines>(engineOptions);
            engines = d->ownEngines.get();
        }
        if (!engines)
            engines = &ShootEngines::shared();
        d->o.batch
            = [engines, pause = d->o.deliveryPauseSeconds](const QString &source, const std::function<bool(const QString &)> &cardsRead) {
                  ShootRequest request{ShootOperation::HotFolderBatch};
                  request.cardsRead = cardsRead;
                  request.pauseSeconds = pause;
                  return engines->forFolder(source).run(request);
              };
    }
    if (!d->o.clock)
        d->o.clock = [] { return QDateTime::currentDateTime(); };
    note(u"init()", QStringLiteral("hot folder [") + hotFolder + QStringLiteral("] passes on ") + d->queue->label());
}

HotFolderChain::~HotFolderChain()
{
    setEnabled(false);
    // Here, on the chain's thread, not with the last job holding the state;
    // work still due finds the chain disabled and runs no batch.
    d->ownEngines.reset();
    // A pass still running can only be followed by a new chain's passes on
    // the same serial queue, after it.
    std::lock_guard lock(d->mutex);
    if (d->external)
        d->external->store(false);
    d->external = nullptr;
}

QString HotFolderChain::hotFolder() const
{
    return d->hotFolder;
}

void HotFolderChain::handleEvent(const std::optional<QStringList> &paths, const std::optional<QList<quint32>> &)
{
    const QString op = QStringLiteral("eventBlock()");
    note(op, QStringLiteral("wow.... ") + (paths ? paths->join(QStringLiteral(", ")) : QStringLiteral("<no paths>")));
    // Every event leads to a pass, ours or not.
    if (!paths || !paths->contains(d->hotFolder))
        note(op, QStringLiteral("not for us..."));
    d->schedulePass(d->o.timing.passDelay);
}

void HotFolderChain::setEnabled(bool enabled)
{
    if (enabled)
        d->abort.store(false);
    else
        ++d->markerGeneration;
    d->enabled.store(enabled);
}

bool HotFolderChain::isEnabled() const
{
    return d->enabled.load();
}

void HotFolderChain::abortPass()
{
    d->abort.store(true);
}

void HotFolderChain::schedulePass(double seconds)
{
    d->schedulePass(seconds);
}

void HotFolderChain::requestRefresh()
{
    d->requestRefresh();
}

int HotFolderChain::passesRun() const
{
    return d->passes.load();
}

int HotFolderChain::batchesRun() const
{
    return d->batches.load();
}

int HotFolderChain::deliveriesStopped() const
{
    return d->stopped.load();
}

int HotFolderChain::photosDelivered() const
{
    return d->delivered.load();
}

bool HotFolderChain::isProcessing() const
{
    return d->isProcessing();
}

bool HotFolderChain::isIdle() const
{
    std::lock_guard lock(d->mutex);
    return d->lastPass.load() == 0 && d->pendingPasses.empty() && !d->processing.load() && !d->refreshPending.load()
        && !d->refreshOwed.load() && !d->hotFolderBusy.load();
}

bool HotFolderChain::lastPassMovedPhotos() const
{
    return d->lastPass.load() == 2;
}

int HotFolderChain::lastPassLeftAlone() const
{
    return d->lastLeftAlone.load();
}

HotFolderWatch::HotFolderWatch(const QString &hotFolder, HotFolderChain::Options options, double latency)
    : m_chain(std::make_unique<HotFolderChain>(hotFolder, std::move(options)))
    , m_watcher(std::make_unique<TRUVO_FileEvent>(QStringList{hotFolder}, latency))
{
    HotFolderChain *chain = m_chain.get();
    m_watcher->setEventBlock(
        [chain](const std::optional<QStringList> &paths, const std::optional<QList<quint32>> &flags) { chain->handleEvent(paths, flags); });
}

HotFolderWatch::~HotFolderWatch()
{
    // The watcher first: its queue is drained before the chain goes.
    m_watcher.reset();
    m_chain.reset();
}

void HotFolderWatch::setRun(bool run)
{
    if (run) {
        m_chain->setEnabled(true);
        m_watcher->setRun(true);
    } else {
        m_watcher->setRun(false);
        m_chain->setEnabled(false);
    }
}

} // namespace sorrelby
