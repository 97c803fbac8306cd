#include "hotfolder/HotFolderDelivery.h"

#include "hotfolder/HotFolderChain.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "settings/PreferenceOps.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"

namespace sorrelby {

namespace {

constexpr QStringView cClass = u"HotFolderDelivery";

void note(QStringView operation, const QString &detail)
{
    logOp(cClass, operation, detail);
}

} // namespace

std::optional<QString> HotFolderDelivery::dailyDestinationFolder()
{
    // Validation finds a moved folder again and stores its path first.
    if (!preferenceops::getValidatedPathToDestinationPath())
        return std::nullopt;
    return preferenceops::getDuplicateFolderPathC(cPrefDestinationPath, cPrefDailyFolderDateFormat);
}

HotFolderDelivery::HotFolderDelivery(Options options)
    : m_options(std::move(options))
{
    if (!m_options.workQueue)
        m_options.workQueue = &sharedWorkingQueue();
    if (!m_options.sourceFolder)
        m_options.sourceFolder = [] { return preferenceops::getValidatedPathToSourcePath(); };
    if (!m_options.destinationFolder)
        m_options.destinationFolder = [] { return dailyDestinationFolder(); };
    NotificationCenter &center = NotificationCenter::defaultCenter();
    m_registration = ObserverRegistration(center,
        center.addObserver(QString(cRefreshNotificationName), [this](const Notification &notification) { doNotificationRefresh(notification); }));
}

HotFolderDelivery::~HotFolderDelivery() = default;

void HotFolderDelivery::doNotificationRefresh(const Notification &notification)
{
    if (notification.userInfo.value(QStringLiteral("autocopytomainfolder")).toString() != QLatin1String("yes"))
        return;
    note(u"doNotificationRefresh(_:)", QStringLiteral("autocopytomainfolder = yes: delivering"));
    if (m_options.workQueue->isCurrent())
        deliverNow();
    else
        m_options.workQueue->async([this] { deliverNow(); });
}

DeliveryRunResult HotFolderDelivery::deliverNow()
{
    DeliveryRun run(Settings::shared());
    run.fSrcPath = m_options.sourceFolder();
    run.fDestPath = m_options.destinationFolder();
    // Hot folder mode: the next batch must still find its card photo.
    run.fDoKeepLastQRPhoto = true;
    run.setPauseSeconds(m_options.pauseSeconds);
    run.setProgress([](const QString &line) { note(u"deliverNow()", line); });
    const DeliveryRunResult result = m_options.host ? m_options.host(run) : run.deliver();
    ++m_deliveries;
    if (result.status == DeliveryStatus::Stopped)
        ++m_stopped;
    for (const DeliveryBatchResult &batch : result.batches) {
        m_delivered += batch.counters.moved + batch.counters.unassigned;
        for (const QString &failure : batch.failures)
            note(u"deliverNow()", QStringLiteral("FAILED: ") + failure);
    }
    const QString line = describeDelivery(result, run.fDestPath.value_or(QString()));
    note(u"deliverNow()", line);
    if (m_options.report)
        m_options.report(line);
    return result;
}

} // namespace sorrelby
