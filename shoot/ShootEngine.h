#pragma once
// The shoot engine: one object per source folder that owns every operation
// on its photos (refresh, decode, carrying codes, revert, revert-and-decode,
// delivery and hot folder batches). Operations run one at a time, in the
// order asked, on one serial queue shared with every other file-changing
// work of the shoot; each one lists the folder afresh when its turn comes,
// never from a list a view handed over, renames through the naming layer's
// rename service, and reports its progress and a typed result.
//
// The window, the progress dialog, the card window and the commands all
// drive it. Signals are emitted on the queue's thread (views on the GUI
// thread get them queued); nothing here ever waits on the GUI thread. After
// an operation that may have changed the folder, "myRefreshId" is posted for
// whatever shows the folder.
//
// ShootEngines keeps one engine per folder on one queue and relays their
// signals, so that a view can follow whatever runs. Engines live as long as
// their registry; the shared registry as long as the process.

#include "naming/RenameJournal.h"
#include "shoot/ShootOperations.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

namespace sorrelby {

class SerialQueue;

struct ShootEngineOptions {
    // The queue the operations run on; the shared work queue when null.
    SerialQueue *queue = nullptr;
    // Code detection of one photo (doAutoQRCode when empty).
    DetectingPass::Detector detector;
    // Camera grouping (doCreateDictionaryOfCameraImages when empty).
    CameraGrouper grouper;
    // The file operations of delivery (tests make them fail).
    std::optional<DeliveryRun::FileOperations> deliveryFileOperations;
    // The pause after each delivered photo, which paces a window.
    double deliveryPauseSeconds = 0;
    // Post "myRefreshId" after an operation that may have changed the folder.
    bool postRefresh = true;
};

class ShootEngine : public QObject {
    Q_OBJECT
public:
    using Options = ShootEngineOptions;

    explicit ShootEngine(const QString &folder, Options options = {}, QObject *parent = nullptr);
    // Operations not begun yet are dropped, the one under way is asked to
    // stop after the photo in hand; returns once it has.
    ~ShootEngine() override;

    QString folder() const { return m_folder; }
    SerialQueue &queue() const { return *m_queue; }

    // Queues an operation; the ticket names it in the signals.
    quint64 request(ShootRequest request);
    quint64 refresh() { return request({ShootOperation::Refresh}); }
    quint64 decode() { return request({ShootOperation::Decode}); }
    quint64 carryCodes() { return request({ShootOperation::CarryCodes}); }
    quint64 revert() { return request({ShootOperation::Revert}); }
    quint64 revertAndDecode() { return request({ShootOperation::RevertAndDecode}); }
    quint64 deliver(const std::optional<QString> &destination = std::nullopt);
    quint64 undo() { return request({ShootOperation::Undo}); }
    quint64 redo() { return request({ShootOperation::Redo}); }

    // The folder's undo journal: revert, decode and the batches record into
    // it, delivery clears it.
    const RenameJournal &journal() const { return m_journal; }

    // Runs an operation and returns its result: at once when called on the
    // engine's queue (between its other jobs), else when its turn comes.
    // For the commands and the hot folder chain; a window queues instead.
    ShootResult run(ShootRequest request);

    // The decode under way stops after the photo in hand. Lock-free, so a
    // signal handler may call it.
    void abort() { m_abort.store(true); }
    // An operation is running or waiting.
    bool isBusy() const { return m_pending.load() > 0; }
    void setDeliveryPauseSeconds(double seconds) { m_pause.store(seconds); }

Q_SIGNALS:
    // The operation's turn came (step Listing, nothing done yet).
    void operationStarted(const sorrelby::ShootProgress &progress);
    void operationProgressed(const sorrelby::ShootProgress &progress);
    void operationFinished(const sorrelby::ShootResult &result);

private:
    struct Work;
    ShootResult perform(quint64 ticket, const ShootRequest &request);

    QString m_folder;
    RenameJournal m_journal;
    Options m_options;
    SerialQueue *m_queue = nullptr;
    std::atomic<quint64> m_nextTicket{0};
    std::atomic<int> m_pending{0};
    std::atomic<bool> m_abort{false};
    std::atomic<double> m_pause{0};
    std::shared_ptr<std::atomic<bool>> m_alive = std::make_shared<std::atomic<bool>>(true);
};

class ShootEngines : public QObject {
    Q_OBJECT
public:
    explicit ShootEngines(ShootEngineOptions defaults = {}, QObject *parent = nullptr);
    ~ShootEngines() override;

    // The registry of the process, on the shared work queue.
    static ShootEngines &shared();

    // The engine of a folder (made on first use). Any thread.
    ShootEngine &forFolder(const QString &folder);
    SerialQueue &queue() const;
    // The decode under way, whichever folder it is in, stops after the photo
    // in hand.
    void abort();
    // For engines made from now on and those already made.
    void setDeliveryPauseSeconds(double seconds);

Q_SIGNALS:
    void operationStarted(const sorrelby::ShootProgress &progress);
    void operationProgressed(const sorrelby::ShootProgress &progress);
    void operationFinished(const sorrelby::ShootResult &result);

private:
    ShootEngineOptions m_defaults;
    std::mutex m_mutex;
    std::map<QString, std::unique_ptr<ShootEngine>> m_engines;
};

} // namespace sorrelby
