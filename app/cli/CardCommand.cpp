// `card FOLDER` and `card --wait`: loading a camera card without a window.
// FOLDER is copied as a card, as the card window's manual selection copies
// it; with --wait the command waits for the next volume mounted under the
// removable-media roots (or the --volume-root folders), copies it when it
// holds a camera folder ("prefCameraCardFolderNames"; other volumes are
// skipped with a line saying so), ejects it and ends. Both place the photos
// and run the decode pass as the window does. Progress goes to standard
// error (a bar on a terminal), the summary to standard output.
// Exit 0; 1 on an error (nothing copied); 3 when photos could not be copied
// or placed (the card is then left mounted) or could not be renamed.

#include "app/SingleInstance.h"
#include "app/cli/CommandLine.h"
#include "app/cli/Commands.h"
#include "browser/SectionModel.h"
#include "imaging/PhotoMetadata.h"
#include "intake/CardCopy.h"
#include "intake/CardLoader.h"
#include "naming/FileNameScheme.h"
#include "platform/VolumeMonitor.h"
#include "settings/PreferenceOps.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>

#include <cstdio>
#include <unistd.h>

namespace sorrelby::cli {

int runDetectingPass(const QStringList &photos, int workers); // DecodeCommand.cpp

namespace {

const QString kUsage = commandUsage("card");

QString clock(double seconds)
{
    const int s = int(seconds + 0.5);
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

// Photos, megabytes and the time left, redrawn in place on a terminal, a
// line per tenth of the card otherwise.
class CopyProgressLine {
public:
    void update(const CardCopyProgress &p)
    {
        const QString text = QStringLiteral("%1/%2 photos  %3/%4 MB%5")
                                 .arg(p.photosDone)
                                 .arg(p.photosTotal)
                                 .arg(p.bytesDone / 1000000)
                                 .arg(p.bytesTotal / 1000000)
                                 .arg(p.secondsLeft >= 0 ? QStringLiteral("  ") + clock(p.secondsLeft) + QStringLiteral(" left") : QString());
        if (m_terminal) {
            const int width = 30;
            const int filled = p.bytesTotal > 0 ? int(qint64(width) * p.bytesDone / p.bytesTotal) : width;
            const QByteArray bar = QByteArray(filled, '#') + QByteArray(width - filled, '.');
            std::fprintf(stderr, "\r[%s] %s   ", bar.constData(), text.toLocal8Bit().constData());
            std::fflush(stderr);
            m_drawn = true;
        } else {
            const int step = p.photosTotal > 0 ? p.photosDone * 10 / p.photosTotal : 10;
            if (step > m_lastStep) {
                m_lastStep = step;
                printErr(text);
            }
        }
    }
    void finish()
    {
        if (m_drawn)
            std::fputc('\n', stderr);
        m_drawn = false;
    }

private:
    bool m_terminal = ::isatty(STDERR_FILENO) == 1;
    bool m_drawn = false;
    int m_lastStep = 0;
};

// A folder given with --set wins over the user's stored reference for this run.
void keepFolderValidationForThisRun(const QStringList &setKeys)
{
    for (const QString &key : setKeys) {
        for (const QString &suffix : {QStringLiteral("AliasData"), QStringLiteral("IsValid")})
            Settings::shared().setOverride(key + suffix, QVariant());
    }
}

bool targetFolderReady(bool hotFolderMode)
{
    // A folder validated for the first time only gets its reference stored;
    // the second validation then finds it.
    auto getter = hotFolderMode ? preferenceops::getValidatedPathToHotFolderPath : preferenceops::getValidatedPathToSourcePath;
    std::optional<QString> path = getter();
    if (!path)
        path = getter();
    if (!path || path->isEmpty()) {
        printErr(QStringLiteral(SORRELBY_EXECUTABLE ": the %1 folder of the settings is missing or cannot be used (set it with --set)")
                     .arg(hotFolderMode ? QStringLiteral("hot") : QStringLiteral("source")));
        return false;
    }
    return true;
}

// Waits for the next camera card; its camera folder, or none when the wait
// could not start.
std::optional<QString> waitForCard(VolumeMonitor &monitor)
{
    printErr(QStringLiteral("Please Insert CARD... (watching %1)").arg(monitor.volumeRoots().join(QStringLiteral(", "))));
    std::optional<QString> folder;
    QEventLoop loop;
    QObject::connect(&monitor, &VolumeMonitor::volumeDidMount, &loop, [&](const QString &volume) {
        if (isRecoveryVolume(volume))
            return;
        folder = cameraFolderOnVolume(volume);
        if (!folder) {
            printOut(QStringLiteral("%1: no camera folder (%2), skipped").arg(printablePayload(volume), cameraCardFolderNames().join(QLatin1Char(','))));
            return;
        }
        Settings::shared().setValue(QStringLiteral("prefTempMountVolume"), volume);
        printErr(QStringLiteral("CARD found at: ") + printablePayload(volume));
        loop.quit();
    });
    loop.exec();
    return folder;
}

int copyCard(const QString &cardFolder, VolumeMonitor &monitor)
{
    const CardCopyOptions options = CardCopyOptions::fromSettings(cardFolder);
    CardCopy copy(&monitor);
    CopyProgressLine progress;
    copy.setProgressHandler([&](const CardCopyProgress &p) { progress.update(p); });
    const CardCopyResult result = copy.run(options);
    progress.finish();

    using Outcome = CardCopyResult::Outcome;
    const QString target = options.hotFolderMode ? options.hotFolder.value_or(QString()) : options.sourceFolder.value_or(QString());
    switch (result.outcome) {
    case Outcome::NoTarget:
    case Outcome::Unreadable:
    case Outcome::NoRoom:
    case Outcome::SetAsideFailed:
        printErr(QStringLiteral(SORRELBY_EXECUTABLE ": ") + result.statusLine);
        return kExitFailure;
    case Outcome::CopyFailed:
        printErr(QStringLiteral(SORRELBY_EXECUTABLE ": ") + result.statusLine);
        for (const QString &path : result.failed)
            printOut(QStringLiteral("not copied: ") + printablePayload(path));
        return kExitIssues;
    case Outcome::NothingToCopy:
        printOut(QStringLiteral("0 photo(s) copied: no camera photos in ") + cardFolder);
        return kExitOk;
    case Outcome::Placed:
    case Outcome::PlaceFailed:
        break;
    }
    printOut(QStringLiteral("%1 photo(s) copied from %2 into %3").arg(result.placed.size()).arg(cardFolder, target));
    if (result.skipped > 0)
        printOut(QStringLiteral("%1 file(s) not named like camera files, left on the card").arg(result.skipped));
    if (result.setAside > 0)
        printOut(QStringLiteral("%1 earlier photo(s) set aside in the trash").arg(result.setAside));
    if (options.ejectVolume)
        printOut(result.ejected ? QStringLiteral("card ejected: ") + *options.ejectVolume : QStringLiteral("card NOT ejected: ") + *options.ejectVolume);
    if (result.outcome == Outcome::PlaceFailed) {
        printErr(QStringLiteral(SORRELBY_EXECUTABLE ": ") + result.statusLine);
        return kExitIssues;
    }
    if (!options.autoDecode || options.hotFolderMode || result.placed.isEmpty())
        return kExitOk;
    // As the browser does on "myAutoDecodeProcess".
    QString error;
    const std::optional<QStringList> photos = ImageDirectoryLoader::getFilesURLFromFolderClass(target, &error);
    if (!photos)
        return unreadableFolder(target, error);
    return runDetectingPass(*photos, 0);
}

} // namespace

int runCardCommand(const QStringList &args)
{
    bool wait = false;
    QStringList roots;
    QStringList operands;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (arg == QLatin1String("--wait")) {
            wait = true;
        } else if (arg == QLatin1String("--volume-root") || arg.startsWith(QLatin1String("--volume-root="))) {
            QString value = arg.contains(QLatin1Char('=')) ? arg.section(QLatin1Char('='), 1) : (i + 1 < args.size() ? args[++i] : QString());
            if (value.isEmpty())
                return usageError(kUsage, QStringLiteral("--volume-root needs a folder"));
            roots.append(absolutePath(value));
        } else if (isOption(arg)) {
            return usageError(kUsage, QStringLiteral("unknown option ") + arg);
        } else {
            operands.append(arg);
        }
    }
    if (wait != operands.isEmpty() || operands.size() > 1)
        return usageError(kUsage, wait ? QStringLiteral("--wait takes no FOLDER") : QStringLiteral("card needs one FOLDER or --wait"));
    if (!wait && !roots.isEmpty())
        return usageError(kUsage, QStringLiteral("--volume-root goes with --wait"));

    // Copying empties the source folder: never beside the window or another card run.
    SingleInstance instance;
    if (!instance.tryToRun()) {
        printErr(QStringLiteral(SORRELBY_EXECUTABLE ": another copy is already running for this user (PID %1): quit it first")
                     .arg(instance.otherProcessId()));
        return kExitFailure;
    }

    QStringList setKeys;
    const QStringList arguments = QCoreApplication::arguments();
    for (const QString &key : {QString(cPrefSourcePath), QString(cPrefHotFolderPath)}) {
        for (qsizetype i = 0; i < arguments.size(); ++i) {
            if (arguments[i].startsWith(key + QLatin1Char('=')) || arguments[i].startsWith(QLatin1String("--set=") + key + QLatin1Char('=')))
                setKeys.append(key);
        }
    }
    keepFolderValidationForThisRun(setKeys);
    if (!targetFolderReady(Settings::shared().boolValue(QStringLiteral("prefEnableHotFolderMode"))))
        return kExitFailure;

    initializeMetadataLibrary();
    MountTableVolumeMonitor monitor(roots.isEmpty() ? MountTableVolumeMonitor::defaultRoots() : roots);
    if (!wait) {
        const QString folder = absolutePath(operands.first());
        if (!QFileInfo(folder).isDir())
            return unreadableFolder(folder, QStringLiteral("not a folder"));
        return copyCard(folder, monitor);
    }
    const std::optional<QString> folder = waitForCard(monitor);
    if (!folder)
        return kExitFailure;
    return copyCard(*folder, monitor);
}

} // namespace sorrelby::cli
