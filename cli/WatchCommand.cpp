// `watch`: hot folder mode without a window, on the hot, source and
// destination folders of the settings. File events in the hot folder lead
// to intake passes; after photos came in, the codes are carried on and the
// source folder is delivered into the destination folder's daily sub-folder,
// camera by camera, keeping the newest card photos for the next batch. One
// line per pass and per delivery goes to standard output; the log goes into
// the log file (onto standard error with --verbose). SIGINT or SIGTERM: the
// photo in hand is finished, then the command ends with status 0. With
// --until-idle it also ends by itself once a pass finds nothing more to take
// in and every refresh and delivery is done (status 3 when a delivery
// stopped at a full or vanished drive, or files no pass takes are left in the
// hot folder): for stations that drain a hot folder
// and go, and for tests that must see the whole road run to its end.

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "hotfolder/HotFolderChain.h"
#include "imaging/PhotoMetadata.h"
#include "intake/CardStaging.h"
#include "platform/Dispatch.h"
#include "platform/FolderAbilities.h"
#include "platform/Log.h"
#include "platform/SingleInstance.h"
#include "platform/SoundPlayer.h"
#include "platform/UserFolders.h"
#include "roster/DeliveryReport.h"
#include "settings/PreferenceOps.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"
#include "shoot/ShootEngine.h"
#include "support/LogFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <atomic>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace sorrelby::cli {

namespace {

const QString kUsage = commandUsage("watch");

int g_signalPipe[2] = {-1, -1};

void forwardSignal(int signal)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

// SIGINT and SIGTERM arrive as bytes on a pipe the main loop reads, so the
// handler itself does nothing but write.
bool catchStopSignals()
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action { };
    action.sa_handler = forwardSignal;
    ::sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0;
}

void printLine(const QString &line)
{
    printOut(QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss ")) + line);
}

std::optional<QString> folderFor(const char *what, std::optional<QString> (*getter)())
{
    // A folder validated for the first time only gets its reference
    // stored; the second validation then finds it.
    std::optional<QString> path = getter();
    if (!path)
        path = getter();
    if (!path || path->isEmpty())
        printErr(QStringLiteral(SORRELBY_EXECUTABLE ": the %1 folder of the settings is missing or cannot be used (set it with --set)")
                     .arg(QString::fromUtf8(what)));
    return path;
}

} // namespace

int runWatchCommand(const QStringList &args)
{
    bool untilIdle = false;
    for (const QString &arg : args) {
        if (arg == QLatin1String("--until-idle"))
            untilIdle = true;
        else
            return usageError(kUsage, QStringLiteral("watch takes no argument \"%1\"").arg(arg));
    }

    // The window in hot folder mode or another watch would move the same
    // photos under our hands.
    SingleInstance instance;
    if (!takeInstanceLock(instance, QStringLiteral("quit it first, only one window or watch may run at a time")))
        return kExitFailure;
    QObject::connect(&instance, &SingleInstance::activationRequested,
                     [] { printLine(QStringLiteral("another copy was refused: this watch keeps running")); });

    Settings &settings = Settings::shared();
    // Decoding and delivery behave as in hot folder mode; the user's stored
    // choice is left alone.
    settings.setOverride(cPrefEnableHotFolderMode, true);

    const std::optional<QString> hot = folderFor("hot", preferenceops::getValidatedPathToHotFolderPath);
    const std::optional<QString> source = folderFor("source", preferenceops::getValidatedPathToSourcePath);
    const std::optional<QString> destination = folderFor("destination", preferenceops::getValidatedPathToDestinationPath);
    if (!hot || !source || !destination)
        return kExitFailure;
    const QString hotFolder = absolutePath(*hot);
    if (QFileInfo(hotFolder).canonicalFilePath() == QFileInfo(*source).canonicalFilePath()) {
        printErr(QStringLiteral(SORRELBY_EXECUTABLE ": the hot folder and the source folder are the same folder (%1)").arg(hotFolder));
        return kExitFailure;
    }
    if (!catchStopSignals()) {
        printErr(QStringLiteral(SORRELBY_EXECUTABLE ": cannot catch SIGINT and SIGTERM"));
        return kExitFailure;
    }

    // Unattended: every step goes into the log file unless asked for here.
    const bool verbose = QCoreApplication::arguments().contains(QStringLiteral("--verbose"));
    if (!verbose) {
        const QString logPath = QDir::cleanPath(userfolders::logFilePath());
        printLine(QStringLiteral("log: ") + logPath);
        installLogMessageHandler();
        routeLogToFile(logPath);
    }
    printLine(QStringLiteral("watching %1, photos go through %2 into %3").arg(hotFolder, *source, *destination));
    // A station on a share or an exFAT drive says once what the drive takes.
    for (const QString &folder : {hotFolder, *source, *destination})
        logOp(u"watch", u"abilities", folderAbilities(folder).describe());
    recoverInterruptedCardCopies({*source, hotFolder}, printLine, hotFolder);

    initializeMetadataLibrary();
    CanberraSoundPlayer player;
    SoundPlayer::setShared(&player);

    // Each batch delivered with a class list leaves its report beside the
    // photos, as in the window's hot folder mode.
    const DeliveryReporter reporter(ShootEngines::shared(), Settings::shared());
    HotFolderChainOptions chainOptions;
    chainOptions.report = printLine;
    // A run that ends by itself needs no marker to keep the folder watched.
    if (untilIdle)
        chainOptions.timing.markerInterval = 3600;
    auto watch = std::make_unique<HotFolderWatch>(hotFolder, chainOptions);
    watch->setRun(true);
    // Photos a previous run moved in but did not deliver go out with the
    // first batch.
    watch->chain().requestRefresh();

    bool stopping = false;
    QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        unsigned char byte = 0;
        while (::read(g_signalPipe[0], &byte, 1) == 1) { }
        if (stopping) {
            printLine(QStringLiteral("still finishing the photo in hand..."));
            return;
        }
        stopping = true;
        printLine(QStringLiteral("stopping: finishing the photo in hand..."));
        watch->setRun(false);
        watch->chain().abortPass();
        // Everything queued before this has run (or seen the chain stopped)
        // once it is our turn on the work queue.
        sharedWorkingQueue().async([] { mainqueue::async([] { QCoreApplication::quit(); }); });
    });

    // Asked on the work queue, between its jobs, so a pass, refresh or
    // delivery is never half way when the answer comes.
    QTimer idleCheck;
    std::atomic<bool> checking{false};
    bool leftInHotFolder = false; // main thread
    if (untilIdle) {
        QObject::connect(&idleCheck, &QTimer::timeout, [&] {
            if (stopping || checking.exchange(true))
                return;
            HotFolderChain *chain = &watch->chain();
            sharedWorkingQueue().async([chain, &checking, &stopping, &watch, &leftInHotFolder] {
                if (chain->isIdle()) {
                    // Nothing may start between this answer and the end.
                    chain->setEnabled(false);
                    mainqueue::async([&stopping, &watch, &leftInHotFolder] {
                        if (stopping)
                            return;
                        stopping = true;
                        const int left = watch->chain().lastPassLeftAlone();
                        leftInHotFolder = left > 0;
                        printLine(left > 0 ? QStringLiteral("idle: %1 file(s) left in the hot folder (see the pass above), its photos are "
                                                            "delivered")
                                                 .arg(left)
                                           : QStringLiteral("idle: the hot folder is empty and its photos are delivered"));
                        watch->setRun(false);
                        sharedWorkingQueue().async([] { mainqueue::async([] { QCoreApplication::quit(); }); });
                    });
                } else if (chain->lastPassMovedPhotos() && !chain->isProcessing()) {
                    // Our own moves out of the hot folder may not have been
                    // reported yet: look once more before calling it a day.
                    chain->schedulePass(0);
                }
                checking = false;
            });
        });
        idleCheck.start(100);
    }

    QCoreApplication::exec();

    idleCheck.stop();
    const bool deliveryStopped = watch->chain().deliveriesStopped() > 0;
    watch.reset();
    SoundPlayer::setShared(nullptr);
    printLine(QStringLiteral("stopped"));
    return untilIdle && (deliveryStopped || leftInHotFolder) ? kExitIssues : kExitOk;
}

} // namespace sorrelby::cli
