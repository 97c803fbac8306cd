// `card FOLDER` and `card --wait`: loading a camera card without a window.
// FOLDER is copied as a card, as the card window's manual selection copies
// it; with --wait the command waits for the next volume mounted under the
// removable-media roots (or the --volume-root folders) and copies it when it
// holds a camera folder (cPrefCameraCardFolderNames). Of several volumes
// mounted at once the first camera card holding photos is taken and every
// other one reported as skipped. Both place the photos, eject the card once
// they are all in place, and run the decode pass as the window does. A copy
// that a kill interrupted is finished first, and its photos decoded with the
// rest. Progress goes to standard error (a bar on a terminal), the summary
// to standard output.
// Exit 0; 1 on an error (nothing copied); 2 on wrong usage, a folder given
// with --set refused among them; 3 when photos could not be copied or placed
// (the card is then left mounted) or could not be renamed.

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "imaging/PhotoMetadata.h"
#include "intake/CardCopy.h"
#include "intake/CardLoader.h"
#include "intake/CardStaging.h"
#include "naming/FileNameScheme.h"
#include "platform/SingleInstance.h"
#include "platform/VolumeMonitor.h"
#include "settings/PreferenceOps.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace sorrelby::cli {

int runDetectingDecode(const QString &folder, int workers); // DecodeCommand.cpp

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
        const QString text
            = QStringLiteral("%1/%2 photos  %3/%4 MB%5")
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

// The card to copy among volumes mounted at once: the first camera card
// holding camera photos (an empty one only when none holds any); every other
// volume is reported as skipped. Its camera folder, or none.
std::optional<QString> chooseCard(const QStringList &volumes)
{
    struct Card {
        QString volume;
        QString folder;
        qsizetype photos = 0;
    };
    QList<Card> cards;
    for (const QString &volume : volumes) {
        if (isRecoveryVolume(volume))
            continue;
        const std::optional<QString> folder = cameraFolderOnVolume(volume);
        if (!folder) {
            printOut(QStringLiteral("%1: no camera folder (%2), skipped")
                         .arg(printablePayload(volume), cameraCardFolderNames().join(QLatin1Char(','))));
            continue;
        }
        cards.append({volume, *folder, CardCopy::cameraPhotosIn(*folder).value_or(QStringList()).size()});
    }
    if (cards.isEmpty())
        return std::nullopt;
    qsizetype chosen = 0;
    while (chosen < cards.size() && cards[chosen].photos == 0)
        ++chosen;
    if (chosen == cards.size())
        chosen = 0;
    for (qsizetype i = 0; i < cards.size(); ++i) {
        if (i == chosen)
            continue;
        printOut(cards[i].photos == 0 ? QStringLiteral("%1: no camera photos in %2, skipped")
                                            .arg(printablePayload(cards[i].volume), printablePayload(cards[i].folder))
                                      : QStringLiteral("%1: skipped, one card at a time (%2 is copied): run the command again for it")
                                            .arg(printablePayload(cards[i].volume), printablePayload(cards[chosen].volume)));
    }
    Settings::shared().setValue(cPrefTempMountVolume, cards[chosen].volume);
    printErr(QStringLiteral("CARD found at: ") + printablePayload(cards[chosen].volume));
    return cards[chosen].folder;
}

// Waits for the next camera card; its camera folder, or none when the wait
// could not start.
std::optional<QString> waitForCard(VolumeMonitor &monitor)
{
    printErr(QStringLiteral("Please Insert CARD... (watching %1)").arg(monitor.volumeRoots().join(QStringLiteral(", "))));
    std::optional<QString> folder;
    QStringList arrived;
    QEventLoop loop;
    QObject::connect(&monitor, &VolumeMonitor::volumeDidMount, &loop, [&](const QString &volume) {
        // The volumes of one change of the mount table arrive in one go:
        // judged together once the last of them is in.
        if (arrived.isEmpty()) {
            QTimer::singleShot(0, &loop, [&] {
                folder = chooseCard(std::exchange(arrived, {}));
                if (folder)
                    loop.quit();
            });
        }
        arrived.append(volume);
    });
    loop.exec();
    return folder;
}

// Copies the card; the photos of an interrupted copy recovered before are
// already in place and are decoded with the card's.
int copyCard(const QString &cardFolder, VolumeMonitor &monitor, const CardRecoveryReport &recovery)
{
    CardCopyOptions options = CardCopyOptions::fromSettings(cardFolder);
    options.keep = recovery.placed;
    CardCopy copy(&monitor);
    CopyProgressLine progress;
    copy.setProgressHandler([&](const CardCopyProgress &p) { progress.update(p); });
    const CardCopyResult result = copy.run(options);
    progress.finish();
    for (const QString &line : result.recoveryLines)
        printOut(line);
    const int recovered = recovery.recovered + result.recovered;

    using Outcome = CardCopyResult::Outcome;
    const QString target = options.hotFolderMode ? options.hotFolder.value_or(QString()) : options.sourceFolder.value_or(QString());
    int status = kExitOk;
    switch (result.outcome) {
    case Outcome::NoTarget:
    case Outcome::Unreadable:
    case Outcome::NoRoom:
    case Outcome::SetAsideFailed:
        printErr(QStringLiteral(SORRELBY_EXECUTABLE ": ") + result.statusLine);
        status = kExitFailure;
        break;
    case Outcome::CopyFailed:
        printErr(QStringLiteral(SORRELBY_EXECUTABLE ": ") + result.statusLine);
        for (const QString &path : result.failed)
            printOut(QStringLiteral("not copied: ") + printablePayload(path));
        status = kExitIssues;
        break;
    case Outcome::NothingToCopy:
        printOut(QStringLiteral("0 photo(s) copied: no camera photos in ") + cardFolder);
        break;
    case Outcome::Placed:
    case Outcome::PlaceFailed:
        printOut(QStringLiteral("%1 photo(s) copied from %2 into %3").arg(result.placed.size()).arg(cardFolder, target));
        if (result.alreadyThere > 0)
            printOut(QStringLiteral("%1 of them were there already").arg(result.alreadyThere));
        if (options.ejectVolume)
            printOut(result.ejected ? QStringLiteral("card ejected: ") + *options.ejectVolume
                                    : QStringLiteral("card NOT ejected: ") + *options.ejectVolume);
        if (result.outcome == Outcome::PlaceFailed) {
            printErr(QStringLiteral(SORRELBY_EXECUTABLE ": ") + result.statusLine);
            status = kExitIssues;
        }
        break;
    }
    if (result.setAside > 0)
        printOut(QStringLiteral("%1 earlier photo(s) set aside in the trash").arg(result.setAside));
    // Every card holds files that are no photos (index files, settings) and
    // says so; a photo the copy cannot carry (a name that is not UTF-8, a
    // special file) is a photo missing from the shoot.
    QList<LeftAlone> notCamera;
    QList<LeftAlone> missed;
    for (const LeftAlone &file : result.leftOnCard)
        (file.reason.startsWith(QLatin1String("not named")) ? notCamera : missed).append(file);
    reportLeftAlone(notCamera, cardFolder);
    if (reportLeftAlone(missed, cardFolder) > 0 && status == kExitOk)
        status = kExitIssues;
    if (result.notImages > 0)
        printOut(QStringLiteral("%1 copied file(s) were no photos: not placed (in the trash; the card keeps them)").arg(result.notImages));
    const bool somethingNew = !result.placed.isEmpty() || recovered > 0;
    if (!options.autoDecode || options.hotFolderMode || !somethingNew || !QFileInfo(target).isDir())
        return status;
    // As the window does after a card: the folder's engine reverts and
    // decodes what it finds there when its turn comes.
    const int decoded = runDetectingDecode(target, 0);
    return status != kExitOk ? status : decoded;
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
            QString value
                = arg.contains(QLatin1Char('=')) ? arg.section(QLatin1Char('='), 1) : (i + 1 < args.size() ? args[++i] : QString());
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
    if (!takeInstanceLock(instance, QStringLiteral("quit it first")))
        return kExitFailure;

    Settings &settings = Settings::shared();
    const bool hotFolderMode = settings.boolValue(cPrefEnableHotFolderMode);
    if (!targetFolderReady(hotFolderMode))
        return kExitFailure;

    initializeMetadataLibrary();
    // A copy a kill interrupted is finished before anything else.
    const QString hotFolder = settings.stringValue(cPrefHotFolderPath);
    const CardRecoveryReport recovery
        = recoverInterruptedCardCopies({settings.stringValue(cPrefSourcePath), hotFolder}, printOut, hotFolderMode ? hotFolder : QString());
    if (!recovery.notPlaced.isEmpty()) {
        printErr(QStringLiteral(SORRELBY_EXECUTABLE
                                ": photos of an interrupted card copy could not be placed; no card is copied before they are"));
        return kExitIssues;
    }
    MountTableVolumeMonitor monitor(roots.isEmpty() ? MountTableVolumeMonitor::defaultRoots() : roots);
    if (!wait) {
        const QString folder = absolutePath(operands.first());
        if (!QFileInfo(folder).isDir())
            return unreadableFolder(folder, QStringLiteral("not a folder"));
        return copyCard(folder, monitor, recovery);
    }
    const std::optional<QString> folder = waitForCard(monitor);
    if (!folder)
        return kExitFailure;
    return copyCard(*folder, monitor, recovery);
}

} // namespace sorrelby::cli
