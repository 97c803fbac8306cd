#include "intake/CardCopy.h"

#include "naming/FileNameScheme.h"
#include "platform/FileOps.h"
#include "platform/FolderScan.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/VolumeMonitor.h"
#include "settings/PreferenceOps.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <sys/statvfs.h>
#include <thread>

namespace sorrelby {

namespace {

const QString kClass = QStringLiteral("LoadCardViewController");
const QString kOperation = QStringLiteral("processNewCard2(_:)");

void note(const QString &detail)
{
    logOp(kClass, kOperation, detail);
}

// Folders that are documents of some program (the platform's packages): their
// insides are never photos of the card.
bool isPackage(const QFileInfo &info)
{
    static const QStringList extensions = {QStringLiteral("app"),       QStringLiteral("bundle"),    QStringLiteral("photoslibrary"),
                                           QStringLiteral("framework"), QStringLiteral("pkg"),       QStringLiteral("plugin"),
                                           QStringLiteral("lrdata"),    QStringLiteral("fcpbundle"), QStringLiteral("rtfd")};
    return info.isDir() && extensions.contains(info.suffix().toLower());
}

bool isInside(const QString &path, const QString &folder)
{
    const QString a = QDir::cleanPath(path);
    const QString b = QDir::cleanPath(folder);
    return a == b || a.startsWith(b == QLatin1String("/") ? b : b + QLatin1Char('/'));
}

qint64 freeBytes(const QString &path)
{
    struct statvfs st { };
    if (::statvfs(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return qint64(st.f_bavail) * qint64(st.f_frsize);
}

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / 1e6, 'f', 1) + QStringLiteral(" MB");
}

} // namespace

CardCopyOptions CardCopyOptions::fromSettings(const QString &cardFolder)
{
    Settings &settings = Settings::shared();
    CardCopyOptions options;
    options.cardFolder = cardFolder;
    options.hotFolderMode = settings.boolValue(cPrefEnableHotFolderMode);
    if (options.hotFolderMode)
        options.hotFolder = preferenceops::getHotFolderPath();
    else
        options.sourceFolder = preferenceops::getSourceFolderPath();
    options.autoDecode = settings.boolValue(cPrefCanSupportVisionFramework) && settings.boolValue(cPrefUseAutoDecodeQRMethod)
        && settings.boolValue(cPrefDoTryToAutoDecodeAfterCopying);
    // A volume remembered from an earlier card is no business of a folder
    // elsewhere (a folder chosen by hand, the unassigned photos).
    const std::optional<QString> volume = settings.optionalString(cPrefTempMountVolume);
    if (volume && !volume->isEmpty() && isInside(cardFolder, *volume))
        options.ejectVolume = volume;
    return options;
}

CardCopy::CardCopy(VolumeMonitor *monitor)
    : m_monitor(monitor)
    , m_pause([](double seconds) { std::this_thread::sleep_for(std::chrono::milliseconds(qint64(seconds * 1000))); })
    , m_copier([](const QString &from, const QString &to) { return fileops::copyNoReplace(from, to); })
{ }

void CardCopy::status(CardCopyResult &result, const QString &line)
{
    result.statusLine = line;
    if (m_status)
        m_status(line);
}

bool CardCopy::listCard(const QString &cardFolder, QList<Candidate> &candidates, CardCopyResult &result)
{
    if (!QFileInfo(cardFolder).isDir() || !QFileInfo(cardFolder).isReadable()) {
        note(QStringLiteral(".... Error with DirectoryEnumerator??????"));
        return false;
    }
    // Depth first by name, so the photos are copied in the camera's order.
    const QString cardRoot = QDir::cleanPath(cardFolder);
    const auto leave = [&](const QString &folder, const QByteArray &nativeName, const QString &reason) {
        const QString relative = QDir(cardRoot).relativeFilePath(folder);
        const QString shown = (relative == QLatin1String(".") ? QString() : relative + QLatin1Char('/')) + shownName(nativeName);
        note(QStringLiteral("processNewCard2(_:) => File NOT valid to be added = ") + printablePayload(shown) + QStringLiteral(": ")
             + reason);
        result.leftOnCard.append({shown, reason});
    };
    QStringList pending{cardRoot};
    while (!pending.isEmpty()) {
        const QString folder = pending.takeFirst();
        std::optional<std::vector<FolderEntry>> entries = folderEntries(folder);
        if (!entries) {
            note(QStringLiteral("`directoryEnumerator` error: cannot read ") + folder);
            continue;
        }
        std::sort(entries->begin(), entries->end(), [](const FolderEntry &a, const FolderEntry &b) { return a.nativeName < b.nativeName; });
        QStringList subfolders;
        for (const FolderEntry &entry : *entries) {
            if (!entry.nameIsUtf8) {
                leave(folder, entry.nativeName, QString(cNameNotUtf8Reason));
                continue;
            }
            const QFileInfo info(folder + QLatin1Char('/') + entry.name);
            if (info.isSymLink()) {
                leave(folder, entry.nativeName, QString(cSymbolicLinkReason));
                continue;
            }
            if (info.isDir()) {
                if (!isPackage(info))
                    subfolders.append(info.filePath());
                continue;
            }
            const std::optional<FileAttributes> attributes = fileops::attributes(info.filePath());
            if (!attributes)
                continue; // gone since the listing
            if (!attributes->isRegularFile) {
                leave(folder, entry.nativeName, QString(cNotRegularFileReason));
                continue;
            }
            // The card's name becomes the photo's name: only a camera name that
            // is one safe name component gets that far.
            if (!checkIfIsOriginal(info.fileName()) || !isSafeCode(info.fileName())) {
                note(QStringLiteral("processNewCard2(_:) => File NOT valid to be added = ") + printablePayload(info.filePath()));
                ++result.skipped;
                result.leftOnCard.append(
                    {QDir(cardRoot).relativeFilePath(info.filePath()), QStringLiteral("not named like a camera file")});
                continue;
            }
            candidates.append({info.filePath(), attributes->size});
            result.bytes += attributes->size;
        }
        pending = subfolders + pending;
    }
    return true;
}

bool CardCopy::prepareStaging(const StagingJournal &journal, CardCopyResult &result)
{
    const QString &staging = result.stagingFolder;
    if (fileops::exists(staging)) {
        // An earlier copy did not finish: its photos may be the only ones. In
        // hot folder mode they go the way this copy's go.
        const CardRecoveryReport recovered = finishInterruptedCopy(staging, journal.target, journal.setsAside ? QString() : journal.target);
        result.recovered += recovered.recovered;
        result.recoveredPhotos += recovered.placed;
        result.recoveryLines += recovered.lines();
        for (const QString &line : recovered.lines())
            note(line);
        if (!recovered.notPlaced.isEmpty() || fileops::exists(staging))
            return false;
    }
    if (const FileResult created = fileops::createFolder(staging); !created) {
        note(QStringLiteral("oops somethign went wrong with createDirectoryAtPath ") + created.error);
        return false;
    }
    if (const FileResult written = journal.write(staging); !written) {
        note(QStringLiteral("journal not written: ") + written.error);
        fileops::removeRecursively(staging);
        return false;
    }
    note(QStringLiteral("Will Copy From CARD to: ") + staging);
    return true;
}

bool CardCopy::copyAll(const QList<Candidate> &candidates, CardCopyResult &result)
{
    CardCopyProgress progress;
    progress.photosTotal = int(candidates.size());
    progress.bytesTotal = result.bytes;
    QElapsedTimer clock;
    clock.start();
    for (const Candidate &candidate : candidates) {
        const QString name = fileNameOf(candidate.path);
        status(result, QStringLiteral("Copying Photo: ") + name);
        progress.name = name;
        if (m_progress)
            m_progress(progress);

        // Two camera folders may hold the same name (the counter wrapped):
        // the second gets a collision suffix, never the first's place.
        const std::optional<QString> target = getUniquePathString(result.stagingFolder + QLatin1Char('/') + name);
        FileResult copied = target ? m_copier(candidate.path, *target) : FileResult::failure(QStringLiteral("no free name"));
        if (copied) {
            // The copy is flushed by the copier; its size must match the card's.
            const std::optional<FileAttributes> written = fileops::attributes(*target);
            if (!written || written->size != candidate.size)
                copied = FileResult::failure(QStringLiteral("the copy's size differs from the card's"));
            else if (const FileResult unlocked = fileops::clearWriteProtection(*target); !unlocked)
                copied = unlocked;
        }
        if (!copied) {
            note(QStringLiteral("oops somethingwrong with copyItemAtURL ") + copied.error);
            if (result.failed.isEmpty())
                result.failureReason = copied.error.section(QStringLiteral(": "), -1);
            result.failed.append(candidate.path);
        } else {
            result.staged.append(*target);
            note(QStringLiteral("url = ") + *target);
        }
        progress.photosDone += 1;
        progress.bytesDone += candidate.size;
        const qint64 elapsed = clock.elapsed();
        if (progress.bytesDone > 0 && elapsed > 0)
            progress.secondsLeft = double(elapsed) / 1000.0 * double(progress.bytesTotal - progress.bytesDone) / double(progress.bytesDone);
        if (m_progress)
            m_progress(progress);
    }
    return result.failed.isEmpty();
}

bool CardCopy::discardStaging(CardCopyResult &result)
{
    // Only copies of photos still on the card (it was not ejected) are in it.
    // The photos go before the journal, so a kill meanwhile never leaves
    // photos without it.
    for (const QString &file : stagedFiles(result.stagingFolder))
        fileops::removeFile(file);
    const FileResult removed = fileops::removeRecursively(result.stagingFolder);
    if (!removed)
        note(QStringLiteral("oops somethign went wrong with removeItemAtPath ") + removed.error);
    result.staged.clear();
    return removed.ok;
}

CardCopyResult &CardCopy::stop(CardCopyResult &result, CardCopyResult::Outcome outcome, const QString &line)
{
    result.outcome = outcome;
    status(result, line);
    return result;
}

CardCopyResult CardCopy::run(const CardCopyOptions &options)
{
    using Outcome = CardCopyResult::Outcome;
    CardCopyResult result;
    note(QStringLiteral("location = ") + options.cardFolder);
    status(result, QStringLiteral("Copying Files from Card..."));

    const std::optional<QString> target = options.hotFolderMode ? options.hotFolder : options.sourceFolder;
    const QString noTarget = options.hotFolderMode ? QStringLiteral("!!! No HOT Folder to copy the CARD into !!!")
                                                   : QStringLiteral("!!! No Source Folder to copy the CARD into !!!");
    if (!target || target->isEmpty() || !QFileInfo(*target).isDir())
        return stop(result, Outcome::NoTarget, noTarget);
    result.targetFolder = QDir::cleanPath(*target);
    QList<Candidate> candidates;
    if (!listCard(options.cardFolder, candidates, result))
        return stop(result, Outcome::Unreadable,
                    QStringLiteral("!!! Unable to read the CARD at ") + options.cardFolder + QStringLiteral(" !!!"));
    if (candidates.isEmpty())
        return stop(result, Outcome::NothingToCopy, QStringLiteral("No Photos found on the CARD..."));

    result.stagingFolder = stagingFolderFor(*target);
    // The staged photos and the earlier ones (in this volume's trash) are
    // both on this file system until the run ends; keep a little room spare.
    const qint64 needed = result.bytes + qint64(candidates.size()) * 65536 + (16 << 20);
    result.bytesFree = freeBytes(QFileInfo(result.stagingFolder).path());
    if (result.bytesFree >= 0 && result.bytesFree < needed) {
        return stop(result, Outcome::NoRoom,
                    QStringLiteral("!!! CARD does NOT fit: %1 of photos, only %2 free at %3 - nothing copied !!!")
                        .arg(megabytes(result.bytes), megabytes(result.bytesFree), *target));
    }
    StagingJournal journal;
    journal.target = QDir::cleanPath(*target);
    journal.setsAside = !options.hotFolderMode;
    if (!prepareStaging(journal, result)) {
        return stop(result, Outcome::CopyFailed,
                    QStringLiteral("!!! Unable to prepare the copy of the CARD at ") + result.stagingFolder
                        + QStringLiteral(" - CARD NOT ejected !!!"));
    }

    if (!copyAll(candidates, result)) {
        const bool discarded = discardStaging(result);
        QStringList names;
        for (const QString &path : std::as_const(result.failed))
            names.append(fileNameOf(path));
        // What could not be cleared away is finished by the next start, never lost.
        const QString changed = discarded
            ? QStringLiteral("nothing changed")
            : QStringLiteral("the photos copied so far stay in ") + result.stagingFolder + QStringLiteral(" until the next start");
        return stop(result, Outcome::CopyFailed,
                    QStringLiteral("!!! %1 of %2 photos could NOT be copied (%3) - CARD NOT ejected, %4: %5 !!!")
                        .arg(result.failed.size())
                        .arg(candidates.size())
                        .arg(result.failureReason, changed, names.join(QStringLiteral(", "))));
    }
    note(QStringLiteral("processNewCard2(_:) -> Done Copying from Card...."));
    status(result, QStringLiteral("Done - Copying Files from Card..."));
    logLine(QStringLiteral("self.fStatusString= ") + result.statusLine);

    if (journal.setsAside) {
        // Mixing two cards in one folder would give photos the wrong codes:
        // the earlier ones go first, and the journal says so before.
        journal.phase = StagingJournal::Phase::SettingAside;
        journal.listPhotos(result.staged);
        const FileResult written = journal.write(result.stagingFolder);
        if (!QFileInfo(*target).isDir()) {
            discardStaging(result);
            return stop(result, Outcome::NoTarget,
                        QStringLiteral("!!! The Source Folder ") + *target + QStringLiteral(" is gone - CARD NOT ejected !!!"));
        }
        if (!written) {
            discardStaging(result);
            return stop(result, Outcome::CopyFailed,
                        QStringLiteral("!!! Unable to go on with the copy in ") + result.stagingFolder + QStringLiteral(" (")
                            + written.error + QStringLiteral(") - CARD NOT ejected, nothing changed !!!"));
        }
        const SetAsideResult setAside = setAsideEarlierPhotos(*target, result.staged, options.keep + result.recoveredPhotos);
        result.setAside = setAside.setAside;
        if (!setAside.failed.isEmpty()) {
            discardStaging(result);
            stop(result, Outcome::SetAsideFailed,
                 QStringLiteral("!!! Unable to move %1 earlier photos out of ").arg(setAside.failed.size()) + *target
                     + QStringLiteral(" - CARD NOT ejected !!!"));
            NotificationCenter::defaultCenter().post(QStringLiteral("myRefreshId"),
                                                     {{QStringLiteral("command"), QStringLiteral("refresh")}});
            return result;
        }
    }
    // Past here the earlier photos are gone: a start after a kill must not
    // set aside the photos already placed, and knows them by this list.
    journal.phase = StagingJournal::Phase::Placing;
    journal.listPhotos(result.staged);
    if (const FileResult placing = journal.write(result.stagingFolder); !placing) {
        discardStaging(result);
        stop(result, Outcome::PlaceFailed,
             QStringLiteral("!!! Unable to go on with the copy in ") + result.stagingFolder + QStringLiteral(" (") + placing.error
                 + (journal.setsAside ? QStringLiteral(") - CARD NOT ejected, the earlier photos are in the Trash !!!")
                                      : QStringLiteral(") - CARD NOT ejected !!!")));
        NotificationCenter::defaultCenter().post(QStringLiteral("myRefreshId"), {{QStringLiteral("command"), QStringLiteral("refresh")}});
        return result;
    }

    const PlaceResult placed = placeStaged(*target, result.staged, !options.hotFolderMode,
                                           [&](const QString &name) { status(result, QStringLiteral("Transferring Photo: ") + name); });
    result.placed = placed.placed;
    result.notPlaced = placed.notPlaced;
    result.notImages = placed.notImages;
    result.alreadyThere = placed.alreadyThere;
    if (!result.notPlaced.isEmpty() && !QFileInfo(*target).isDir()) {
        // The card still holds every photo; nothing is left to place them into.
        discardStaging(result);
        result.notPlaced.clear();
        stop(result, Outcome::NoTarget,
             (options.hotFolderMode ? QStringLiteral("!!! The HOT Folder ") : QStringLiteral("!!! The Source Folder ")) + *target
                 + QStringLiteral(" is gone - CARD NOT ejected !!!"));
        NotificationCenter::defaultCenter().post(QStringLiteral("myRefreshId"), {{QStringLiteral("command"), QStringLiteral("refresh")}});
        return result;
    }
    if (result.notPlaced.isEmpty()) {
        if (const FileResult removed = removeStagingFolder(result.stagingFolder); !removed)
            note(QStringLiteral("oops somethign went wrong with removeItemAtPath ") + removed.error);
        // Every photo is in place and checked: only now may the card go.
        if (options.ejectVolume && m_monitor) {
            note(QStringLiteral("nsdevicepath = ") + *options.ejectVolume);
            result.ejected = m_monitor->unmountAndEject(*options.ejectVolume);
            if (!result.ejected)
                note(QStringLiteral("eject failed: ") + *options.ejectVolume);
            m_pause(0.4);
        }
    } else {
        result.outcome = Outcome::PlaceFailed;
    }

    QString done = QStringLiteral("Done - %1 photos copied from Card").arg(result.placed.size());
    if (result.setAside > 0)
        done += QStringLiteral(" - %1 earlier photos set aside in the Trash").arg(result.setAside);
    if (result.recovered > 0)
        done += QStringLiteral(" - ") + result.recoveryLines.join(QStringLiteral(" - "));
    if (!result.notPlaced.isEmpty())
        done = QStringLiteral("!!! %1 photos could NOT be placed - they are in %2, CARD NOT ejected !!! ")
                   .arg(result.notPlaced.size())
                   .arg(result.stagingFolder)
            + done;
    status(result, done);

    NotificationCenter::defaultCenter().post(QStringLiteral("myRefreshId"), {{QStringLiteral("command"), QStringLiteral("refresh")}});
    result.decodeWanted = options.autoDecode && !options.hotFolderMode && !result.placed.isEmpty();
    note(QStringLiteral("processNewCard2(_:) -> DONE DONE...."));
    return result;
}

std::optional<QStringList> CardCopy::cameraPhotosIn(const QString &cardFolder)
{
    QList<Candidate> candidates;
    CardCopyResult ignored;
    if (!listCard(cardFolder, candidates, ignored))
        return std::nullopt;
    QStringList photos;
    for (const Candidate &candidate : std::as_const(candidates))
        photos << candidate.path;
    return photos;
}

std::optional<QStringList> CardCopy::processNewCard2(const std::optional<QString> &cardFolder)
{
    if (!cardFolder)
        return std::nullopt;
    const CardCopyResult result = run(CardCopyOptions::fromSettings(*cardFolder));
    if (result.placed.isEmpty())
        return std::nullopt;
    return result.staged;
}

} // namespace sorrelby
