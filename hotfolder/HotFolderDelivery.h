#pragma once
// The delivery that follows a hot folder refresh when no browser window is
// there to start it: on "myRefreshId" with "autocopytomainfolder" = "yes" the
// source folder is delivered into the destination folder and its daily
// sub-folder, keeping the most recent card photos (the next batch still needs
// its card) and delivering camera by camera, as in hot folder mode.
//
// The delivery runs on the work queue, right after the refresh that asked
// for it, so no intake pass can slip a photo into the source folder between
// the decode pass and the delivery (such a photo would be taken for one
// without a code). DeliveryRun waits on the main queue twice: the main thread
// must keep its event loop running meanwhile.

#include "delivery/DeliveryRun.h"
#include "platform/NotificationCenter.h"
#include "shoot/ShootOperations.h"

#include <QString>

#include <atomic>
#include <functional>
#include <optional>

namespace sorrelby {

class SerialQueue;

struct HotFolderDeliveryOptions {
    // The browser's work queue when null.
    SerialQueue *workQueue = nullptr;
    // The validated source folder when empty.
    std::function<std::optional<QString>()> sourceFolder;
    // The validated destination folder with today's daily sub-folder
    // when empty.
    std::function<std::optional<QString>()> destinationFolder;
    // No window to pace: no pause between photos.
    double pauseSeconds = 0;
    // One line per delivery.
    std::function<void(const QString &line)> report;
    // Runs the prepared run on the work queue and returns its result (the
    // window shows it in its progress dialog); run.deliver() when empty.
    std::function<DeliveryRunResult(DeliveryRun &run)> host;
};

class HotFolderDelivery {
public:
    using Options = HotFolderDeliveryOptions;

    // Starts observing "myRefreshId" on the default centre.
    explicit HotFolderDelivery(Options options = {});
    ~HotFolderDelivery();
    HotFolderDelivery(const HotFolderDelivery &) = delete;
    HotFolderDelivery &operator=(const HotFolderDelivery &) = delete;

    void doNotificationRefresh(const Notification &notification);
    // One delivery now, on the calling thread.
    DeliveryRunResult deliverNow();

    int deliveriesRun() const { return m_deliveries.load(); }
    // Deliveries that stopped before their end (a full or vanished drive).
    int deliveriesStopped() const { return m_stopped.load(); }
    // Photos moved into the destination by all deliveries so far.
    int photosDelivered() const { return m_delivered.load(); }

    // The destination with today's daily sub-folder, after validation.
    static std::optional<QString> dailyDestinationFolder();

private:
    Options m_options;
    std::atomic<int> m_deliveries{0};
    std::atomic<int> m_stopped{0};
    std::atomic<int> m_delivered{0};
    ObserverRegistration m_registration;
};

} // namespace sorrelby
