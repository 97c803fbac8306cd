#include "delivery/DeliveryRun.h"

#include "naming/CameraGrouping.h"
#include "naming/FileNameScheme.h"
#include "naming/PhotoOrdering.h"
#include "naming/RawPairs.h"
#include "naming/UnreadCardMark.h"
#include "platform/FolderAbilities.h"
#include "platform/Log.h"
#include "platform/UserFolders.h"
#include "settings/PreferenceOps.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

#include <sys/stat.h>

namespace sorrelby {

namespace {

const QString cClass = QStringLiteral("CopyToMainFolderViewController");
const QString cMultiCamerasKey = cPrefCheckForMultiCameras;

void note(QStringView operation, const QString &detail)
{
    logOp(cClass, operation, detail);
}

// Another station may be filling the file under a name this moment (a share
// without never-replace renames): half there, the same photo would pass for
// another and arrive twice. A copy that takes longer than this is compared
// as it stands; the photo then arrives under a "c" name, never lost.
constexpr auto cPlacementWait = std::chrono::minutes(2);

void waitForPlacement(const QString &path)
{
    const auto deadline = std::chrono::steady_clock::now() + cPlacementWait;
    while (fileops::placementInProgress(path) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

QString joinPath(const QString &folder, const QString &name)
{
    if (name.isEmpty())
        return folder;
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

bool isDeliveredCameraKey(const QString &key)
{
    return key.startsWith(QLatin1String("nikon"), Qt::CaseInsensitive) || key.startsWith(QLatin1String("canon"), Qt::CaseInsensitive);
}

} // namespace

bool DeliverySummary::reportsIssues() const
{
    return title == QLatin1String("Possible Issue(s) with Moving ReAssigned Files...");
}

bool DeliveryBatchResult::hasProblems() const
{
    return stop.has_value() || !failures.isEmpty() || counters.moved != counters.allowed;
}

QStringList describeWhereabouts(const DeliveryBatchResult &batch)
{
    const DeliveryCounters &c = batch.counters;
    QStringList lines;
    lines << QStringLiteral("Delivered to %1: %2 photo(s)").arg(batch.destPath).arg(c.moved);
    if (c.unassigned > 0)
        lines
            << QStringLiteral("To %1 (%2): %3 photo(s)").arg(QString(cStringForUNASSIGNED_PHOTOS), batch.unassignedPath).arg(c.unassigned);
    if (c.trashed + c.removed > 0) {
        lines << QStringLiteral("Card photos moved to the trash: %1").arg(c.trashed)
                + (c.removed > 0 ? QStringLiteral(" (and %1 deleted, the trash refusing them)").arg(c.removed) : QString());
    }
    const int left = c.leftInSource();
    if (left <= 0)
        return lines;
    lines << QStringLiteral("Left in the source folder: %1 photo(s)").arg(left);
    if (!batch.keptCodePhotos.isEmpty())
        lines << QStringLiteral("  %1 card photo(s) kept for the next batch").arg(batch.keptCodePhotos.size());
    if (c.leftWithoutCode > 0)
        lines << QStringLiteral("  %1 photo(s) without a code, as the preferences ask").arg(c.leftWithoutCode);
    for (const QString &failure : batch.failures)
        lines << QStringLiteral("  ") + failure;
    if (batch.stop) {
        lines << QStringLiteral("  the rest: ") + batch.stop->describe().section(QLatin1Char('\n'), 0, 0);
        return lines;
    }
    // A card goes only once its subject's photos have left.
    const int held = left - int(batch.keptCodePhotos.size()) - c.leftWithoutCode - int(batch.failures.size());
    if (held > 0)
        lines << QStringLiteral("  %1 card photo(s) whose subject still has photos here").arg(held);
    return lines;
}

std::optional<DeliveryStopReason> stopReasonFor(int errorNumber)
{
    switch (errorNumber) {
    case ENOSPC:
    case EDQUOT:
        return DeliveryStopReason::DiskFull;
    case EROFS:
        return DeliveryStopReason::ReadOnly;
    case EIO:
        return DeliveryStopReason::DiskError;
    case EACCES:
    case EPERM:
        return DeliveryStopReason::NotPermitted;
    default:
        return std::nullopt;
    }
}

QString DeliveryStop::describe() const
{
    QString why;
    switch (reason) {
    case DeliveryStopReason::DiskFull:
        why = QStringLiteral("the drive of the main folder is full");
        break;
    case DeliveryStopReason::ReadOnly:
        why = QStringLiteral("the drive of the main folder is read-only");
        break;
    case DeliveryStopReason::DiskError:
        why = QStringLiteral("the drive of the main folder reports an input/output error");
        break;
    case DeliveryStopReason::NotPermitted:
        why = QStringLiteral("the main folder may not be written to");
        break;
    case DeliveryStopReason::MainFolderGone:
        why = QStringLiteral("the main folder is gone (its drive unmounted or unplugged?)");
        break;
    }
    return QStringLiteral("Delivery stopped: %1 [%2]. %3 file(s) stay in the source folder, with the card photos of their subjects; "
                          "nothing was lost. Deliver again once the drive is fixed.")
               .arg(why, mainFolder)
               .arg(leftInSource)
        + (detail.isEmpty() ? QString() : QStringLiteral("\n") + detail);
}

int DeliveryRunResult::photosOfCamerasLeftBehind() const
{
    int count = 0;
    for (const int photos : camerasLeftBehind)
        count += photos;
    return count;
}

DeliverySummary makeDeliverySummary(const DeliveryCounters &c, bool hotFolderMode)
{
    DeliverySummary summary;
    const QString folderTotal = QStringLiteral("Folder has Total of ") + QString::number(c.total) + QStringLiteral(" Files");
    if (c.allowed > 0) {
        summary.message = QStringLiteral("Moved ") + QString::number(c.moved) + QStringLiteral(" out of ") + QString::number(c.allowed)
            + QStringLiteral(" Allowed Files.\n") + folderTotal;
        summary.title = c.moved == c.allowed ? QStringLiteral("Finished Moving ALL ReAssigned Files...")
                                             : QStringLiteral("Possible Issue(s) with Moving ReAssigned Files...");
    } else {
        summary.message = QStringLiteral("Hmm - No Files to Move/Copy???\n") + folderTotal;
        summary.title = QStringLiteral("Somehow NO Files to Move/Copy...");
    }
    if (c.renamed > 0)
        summary.message += QStringLiteral("\n") + QString::number(c.renamed)
            + QStringLiteral(" File(s) Delivered Under a New Name (Name Taken by Another Photo)");
    summary.autoCloseSeconds = hotFolderMode ? 1.0 : 5.0;
    return summary;
}

DeliveryRun::DeliveryRun(Settings &settings)
    : m_settings(settings)
    , m_grouper([](const QStringList &paths) { return doCreateDictionaryOfCameraImages(paths); })
{ }

bool DeliveryRun::keepLastQRPhotoSetting(const Settings &settings)
{
    return settings.boolValue(cPrefKeepLastQRCodeFile) || settings.boolValue(cPrefEnableHotFolderMode);
}

QDateTime DeliveryRun::now() const
{
    return m_clock ? m_clock() : QDateTime::currentDateTime();
}

void DeliveryRun::report(const QString &line) const
{
    if (m_progress)
        m_progress(line);
}

void DeliveryRun::pause() const
{
    if (m_pauseSeconds > 0)
        std::this_thread::sleep_for(std::chrono::duration<double>(m_pauseSeconds));
}

std::optional<QString> DeliveryRun::checkIfIsUnknown(const QString &path)
{
    const QString base = baseNameOf(path);
    const QString lower = base.toLower();
    if (!lower.startsWith(QLatin1Char('?')) && !lower.startsWith(cUnknownPrefix))
        return std::nullopt;
    return codeOfName(path).value_or(base);
}

bool DeliveryRun::checkIfIsOriginal(const QString &path) const
{
    return sorrelby::checkIfIsOriginal(path, m_settings.intValue(cPrefOriginalNameFormatTag));
}

std::optional<QString> DeliveryRun::getDestinationPathForUnknown() const
{
    return getDestinationPathForUnknown(m_settings, now(), fMainFolderPath);
}

std::optional<QString> DeliveryRun::unassignedFolderPath(const Settings &settings, const QDateTime &now,
                                                         const std::optional<QString> &mainFolder)
{
    if (!settings.boolValue(cPrefDoUnassignedProcess)) {
        note(u"getDestinationPathForUnknown()", QStringLiteral(".... NOT allowing prefDoUnassignedProcess"));
        return std::nullopt;
    }
    const std::optional<QString> destination = mainFolder ? mainFolder : settings.optionalString(cPrefDestinationPath);
    if (!destination || destination->isEmpty())
        return std::nullopt;
    QString path = joinPath(*destination, cStringForUNASSIGNED_PHOTOS);
    if (const std::optional<QString> pattern = settings.optionalString(cPrefDailyFolderDateFormat))
        path = preferenceops::dailyFolderPath(path, preferenceops::performDateFormatString(*pattern, now));
    return path;
}

std::optional<QString> DeliveryRun::getDestinationPathForUnknown(const Settings &settings, const QDateTime &now,
                                                                 const std::optional<QString> &mainFolder)
{
    const QString op = QStringLiteral("getDestinationPathForUnknown()");
    const std::optional<QString> path = unassignedFolderPath(settings, now, mainFolder);
    if (!path)
        return std::nullopt;
    note(op, QStringLiteral("destFolderPath = ") + *path + QStringLiteral(" ..."));
    note(op, QStringLiteral("createDirectoryAtURL = ") + *path);
    // One level at a time, so a missing main folder is never made.
    const QString above = QDir::cleanPath(*path + QStringLiteral("/.."));
    for (const QString &folder : above.endsWith(cStringForUNASSIGNED_PHOTOS) ? QStringList{above, *path} : QStringList{*path}) {
        if (const FileResult created = fileops::makeOneFolder(folder); !created) {
            note(op, QStringLiteral("....Found Error = ") + created.error);
            break;
        }
    }
    return path;
}

QString DeliveryRun::mainFolderPath() const
{
    if (fMainFolderPath && !fMainFolderPath->isEmpty())
        return QDir::cleanPath(*fMainFolderPath);
    if (const std::optional<QString> stored = m_settings.optionalString(cPrefDestinationPath); stored && !stored->isEmpty())
        return QDir::cleanPath(userfolders::expandTilde(*stored));
    return {};
}

std::optional<DeliveryStop> DeliveryRun::checkMainFolder() const
{
    if (!m_main)
        return std::nullopt;
    struct stat st { };
    DeliveryStop stop;
    stop.reason = DeliveryStopReason::MainFolderGone;
    stop.mainFolder = m_main->path;
    if (::stat(QFile::encodeName(m_main->path).constData(), &st) != 0) {
        stop.detail = QStringLiteral("The main folder cannot be found: ") + FileResult::fromErrno(errno).error;
        return stop;
    }
    if (st.st_dev != m_main->device || st.st_ino != m_main->inode) {
        stop.detail = QStringLiteral("Another folder now stands under the main folder's name (an empty mount point?).");
        return stop;
    }
    return std::nullopt;
}

std::optional<DeliveryStop> DeliveryRun::stopFor(int errorNumber, const QString &detail) const
{
    if (const std::optional<DeliveryStopReason> reason = stopReasonFor(errorNumber)) {
        DeliveryStop stop;
        stop.reason = *reason;
        stop.mainFolder = m_main ? m_main->path : QString();
        stop.detail = detail;
        return stop;
    }
    // A folder that went away with its drive shows as ENOENT, or worse.
    if (errorNumber == ENOENT || errorNumber == ENOTDIR || errorNumber == ESTALE || errorNumber == ENODEV || errorNumber == ENXIO) {
        if (std::optional<DeliveryStop> gone = checkMainFolder()) {
            gone->detail = detail + QLatin1Char('\n') + gone->detail;
            return gone;
        }
    }
    return std::nullopt;
}

std::optional<DeliveryStop> DeliveryRun::ensureFolder(const QString &folder) const
{
    const QString op = QStringLiteral("finishProcessxxx()");
    struct stat st { };
    const QByteArray native = QFile::encodeName(folder);
    if (::stat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode))
        return std::nullopt;
    if (std::optional<DeliveryStop> gone = checkMainFolder())
        return gone;
    const FileResult made = fileops::makeOneFolder(folder);
    if (!made) {
        note(op, QStringLiteral("oops somethign went wrong ") + made.error);
        if (std::optional<DeliveryStop> stop = stopFor(made.errorNumber, made.error))
            return stop;
        // Not the drive's fault (a file in the way): the moves into it fail
        // one by one and say so.
        return std::nullopt;
    }
    note(op, QStringLiteral("cool created!!!! ") + folder);
    // The drive may have gone between the check and the folder: then the
    // folder stands on whatever lay beneath, and must not stay there.
    if (m_main && (::stat(native.constData(), &st) != 0 || st.st_dev != m_main->device)) {
        ::rmdir(native.constData());
        if (std::optional<DeliveryStop> gone = checkMainFolder())
            return gone;
    }
    return std::nullopt;
}

DeliveryRunResult DeliveryRun::deliver()
{
    if (!fSrcPath) {
        note(u"ibDoMainStuff()", QStringLiteral("no source path, nothing to deliver"));
        DeliveryRunResult result;
        result.status = DeliveryStatus::MissingSourcePath;
        return result;
    }
    report(QStringLiteral("Validating Destination Folder at:\n[") + fDestPath.value_or(QString()) + QStringLiteral("...]"));
    pause();
    report(QStringLiteral("Processing Files at:\n[") + *fSrcPath + QStringLiteral("]"));
    pause();
    return finishProcessxxx();
}

QStringList DeliveryRun::listSourceFolder(const QString &folder, bool &readable, QList<LeftAlone> *leftAlone) const
{
    // Folders ("_extras" among them) are never delivered nor descended into;
    // links, special files, files that are no photos and names that cannot be
    // carried stay, and are reported.
    QString error;
    std::optional<FolderScan> scan = scanPhotoFolder(folder, &error);
    readable = scan.has_value();
    if (!scan) {
        note(u"finishProcessxxx()", QStringLiteral("Unable to list the source folder [") + folder + QStringLiteral("]: ") + error);
        return {};
    }
    QStringList photos;
    photos.reserve(qsizetype(scan->photos.size()));
    for (const ScannedPhoto &photo : scan->photos)
        photos.append(photo.path);
    for (const LeftAlone &file : std::as_const(scan->leftAlone))
        note(u"finishProcessxxx()", QStringLiteral("left in the source folder: ") + file.name + QStringLiteral(": ") + file.reason);
    if (leftAlone)
        *leftAlone = std::move(scan->leftAlone);
    return photos;
}

bool DeliveryRun::runsInHotFolderMode() const
{
    return m_runHotFolderMode.value_or(m_settings.boolValue(cPrefEnableHotFolderMode));
}

bool DeliveryRun::deliverByCamera() const
{
    return m_settings.boolValue(cMultiCamerasKey) || runsInHotFolderMode();
}

void DeliveryRun::deliverByCameraGroups(const QStringList &ordered, const QString &destPath, DeliveryRunResult &result)
{
    const std::optional<QMap<QString, QStringList>> groups = m_grouper ? m_grouper(ordered) : std::nullopt;
    qsizetype grouped = 0;
    if (groups) {
        for (auto group = groups->cbegin(); group != groups->cend(); ++group) {
            grouped += group.value().size();
            if (!isDeliveredCameraKey(group.key())) {
                note(u"finishProcessxxx()",
                     QStringLiteral("camera [") + group.key() + QStringLiteral("] is not delivered: ")
                         + QString::number(group.value().size()) + QStringLiteral(" photo(s) stay in the source folder"));
                result.camerasLeftBehind.insert(group.key(), int(group.value().size()));
                continue;
            }
            DeliveryBatchResult batch = finishProcessxxx2(group.value(), destPath);
            batch.cameraKey = group.key();
            result.batches.append(batch);
            if (batch.stop)
                return;
        }
    }
    // Photos without a camera key stay too.
    if (grouped < ordered.size())
        result.camerasLeftBehind.insert(QString(), int(ordered.size() - grouped));
}

DeliveryRunResult DeliveryRun::finishProcessxxx()
{
    const QString op = QStringLiteral("finishProcessxxx()");
    DeliveryRunResult result;
    note(op, QStringLiteral("start..."));
    // An empty path would name the root folder.
    if (!fSrcPath || fSrcPath->isEmpty()) {
        note(op, QStringLiteral("srcpath does NOT exist??? [") + fSrcPath.value_or(QString()) + QStringLiteral("]"));
        result.status = DeliveryStatus::MissingSourcePath;
        return result;
    }
    if (!fDestPath || fDestPath->isEmpty()) {
        note(op, QStringLiteral("destPath does NOT exist??? [") + fDestPath.value_or(QString()) + QStringLiteral("]"));
        result.status = DeliveryStatus::MissingDestinationPath;
        return result;
    }
    const QString srcPath = *fSrcPath;
    const QString destPath = *fDestPath;

    // The mode this run started in, read here: the work queue never waits
    // on the window's thread.
    note(op, QStringLiteral("RETRIEVING currentstate......"));
    const bool hotFolderMode = m_settings.boolValue(cPrefEnableHotFolderMode);
    // The whole run keeps the mode it started in, even when it is switched
    // meanwhile: one run, one way of grouping and ending.
    m_runHotFolderMode = hotFolderMode;

    bool readable = true;
    const QStringList candidates = listSourceFolder(srcPath, readable, &result.leftAlone);
    std::optional<QStringList> ordered;
    m_photosDone = 0;
    m_photosTotal = int(candidates.size());
    if (!readable) {
        result.status = DeliveryStatus::SourceUnreadable;
    } else {
        note(op, QStringLiteral("fileURLs has %1 = [%2]").arg(candidates.size()).arg(candidates.join(QStringLiteral(", "))));
        const QStringList photos = pairRawCompanions(candidates).photos;
        m_photosTotal = int(photos.size());
        ordered = sortImageUrls(photos, SortDirection::Ascending);
        if (!ordered) {
            result.status = DeliveryStatus::UnableToSort;
            Alert alert;
            alert.messageText = QStringLiteral("Unable to get sorted list");
            alert.informativeText = QStringLiteral("Unable to sort the list");
            result.alert = alert;
        }
    }

    if (ordered) {
        // The folder the daily sub-folder goes into; destPath itself when the
        // caller's main folder is not above it.
        const QString dest = QDir::cleanPath(destPath);
        QString main = mainFolderPath();
        const QString above = QDir::cleanPath(dest + QStringLiteral("/.."));
        if (main != dest && main != above)
            main = fileops::exists(dest) ? dest : above;
        struct stat st { };
        if (::stat(QFile::encodeName(main).constData(), &st) == 0 && S_ISDIR(st.st_mode)) {
            m_main = MainFolder{main, st.st_dev, st.st_ino};
            if (main != dest) {
                if (!fileops::exists(dest))
                    note(op, QStringLiteral("destPath does NOT exist??? [") + dest);
                result.stop = ensureFolder(dest);
            }
        } else {
            note(op, QStringLiteral("the main folder does NOT exist: nothing is made in its place [") + main + QLatin1Char(']'));
            DeliveryStop stop;
            stop.mainFolder = main;
            stop.detail = QStringLiteral("The main folder cannot be found.");
            result.stop = stop;
        }
        if (!result.stop) {
            if (hotFolderMode || m_settings.boolValue(cMultiCamerasKey))
                deliverByCameraGroups(*ordered, destPath, result);
            else
                result.batches.append(finishProcessxxx2(*ordered, destPath));
            if (!result.batches.isEmpty() && result.batches.last().stop)
                result.stop = result.batches.last().stop;
        }
    }

    if (result.stop) {
        result.status = DeliveryStatus::Stopped;
        int left = 0;
        for (const QString &photo : candidates)
            left += fileops::exists(photo) ? 1 : 0;
        result.stop->leftInSource = left;
        if (!result.batches.isEmpty() && result.batches.last().stop)
            result.batches.last().stop->leftInSource = left;
        note(op, QStringLiteral("STOPPED: ") + result.stop->describe());
    }

    // The run never changes the mode, so a different value now is the
    // user's switch during the run: writing the old value back would undo it.
    if (const bool now = m_settings.boolValue(cPrefEnableHotFolderMode); now != hotFolderMode)
        note(op,
             QStringLiteral("%1 was switched %2 during the run: the user's choice stays")
                 .arg(QString(cPrefEnableHotFolderMode), now ? QStringLiteral("on") : QStringLiteral("off")));
    m_runHotFolderMode.reset();
    m_main.reset();

    switch (result.status) {
    case DeliveryStatus::Finished:
        result.end = result.batches.isEmpty() ? DeliveryEnd::Close : result.batches.last().end;
        break;
    default:
        result.end = DeliveryEnd::StayOpen;
        break;
    }
    return result;
}

DeliveryRun::Placement DeliveryRun::moveIntoFolder(const QString &photo, const QString &wanted, const QString &failureContext,
                                                   QStringList &failures, int &errorNumber, QString &placedAt,
                                                   const QStringList &raws) const
{
    const QString op = QStringLiteral("finishProcessxxx2(_:destPath:)");
    errorNumber = 0;
    // A main folder on exFAT or a share refuses ":" and friends of a code.
    const QString target = joinPath(folderOf(wanted), nameForFolder(folderOf(wanted), fileNameOf(wanted)));
    // A variant under which the pair's RAW files are free as well, so the
    // pair keeps one name.
    const auto freeTarget = [&]() -> std::optional<QString> {
        if (raws.isEmpty())
            return getUniquePathString(target);
        for (const QString &candidate : collisionCandidates(target)) {
            if (!fileops::exists(candidate) && std::none_of(raws.cbegin(), raws.cend(), [&](const QString &raw) {
                    return fileops::exists(companionPath(candidate, raw));
                }))
                return candidate;
        }
        return std::nullopt;
    };
    const auto fail = [&](const QString &error, int errnum = 0) {
        note(op, QStringLiteral("File not saved:\n") + error);
        failures.append(failureContext + fileNameOf(photo) + QStringLiteral(": ") + error);
        errorNumber = errnum;
        return Placement::Failed;
    };

    // A file under the name (or one of its variants) with the same content is
    // this photo delivered before (or by another station just now): the
    // source goes, nothing is replaced.
    std::optional<Placement> found;
    const auto deliveredBefore = [&]() -> bool {
        if (!fileops::exists(target))
            return false;
        const std::optional<FileAttributes> own = fileops::attributes(photo);
        for (const QString &candidate : collisionCandidates(target)) {
            waitForPlacement(candidate);
            const std::optional<FileAttributes> there = fileops::attributes(candidate);
            if (!there)
                continue;
            if (own && there->device == own->device && there->inode == own->inode) {
                found = fail(QStringLiteral("it is already at ") + candidate);
                return true;
            }
            if (!fileops::sameContent(photo, candidate))
                continue;
            if (const FileResult removed = m_fileOps.remove(photo); !removed) {
                found = fail(removed.error, removed.errorNumber);
                return true;
            }
            note(op, QStringLiteral("Same photo already delivered as ") + candidate + QStringLiteral(": source removed."));
            placedAt = candidate;
            found = Placement::AlreadyThere;
            return true;
        }
        return false;
    };
    if (deliveredBefore())
        return *found;

    // Another photo keeps its name; this one takes the first free variant, and
    // chooses again when something takes that name before the move.
    FileResult moved = FileResult::failure(QStringLiteral("no attempt"));
    bool retriedVerification = false;
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::optional<QString> free = freeTarget();
        if (!free)
            return fail(QStringLiteral("no free name for ") + fileNameOf(target)
                        + QStringLiteral(" (up to \"c18\" taken by other photos)"));
        // The name may have been taken since the look above, by another
        // station delivering this very photo: then it is there already.
        if (*free != target && deliveredBefore())
            return *found;
        moved = m_fileOps.move(photo, *free);
        // A copy read back different (a flaky share or cable) is tried once
        // more; a second one leaves the photo in the source with the reason.
        if (!moved && moved.errorNumber == cCopyNotVerified && !retriedVerification && fileops::exists(photo)) {
            retriedVerification = true;
            note(op, QStringLiteral("copy not verified, trying once more: ") + moved.error);
            moved = m_fileOps.move(photo, *free);
        }
        if (moved) {
            placedAt = *free;
            if (*free == target)
                return Placement::Moved;
            note(op, QStringLiteral("Name taken by another photo, delivered as: ") + *free);
            return Placement::Renamed;
        }
        if (!(fileops::exists(*free) && fileops::exists(photo)))
            break;
        // Another station may have delivered this very photo meanwhile.
        if (deliveredBefore())
            return *found;
        note(op, QStringLiteral("[") + *free + QStringLiteral("] was taken meanwhile, choosing again"));
    }
    return fail(moved.error, moved.errorNumber);
}

DeliveryRun::Placement DeliveryRun::moveCompanions(const QStringList &raws, const QString &placedAt, QStringList &failures,
                                                   int &errorNumber) const
{
    const QString op = QStringLiteral("finishProcessxxx2(_:destPath:)");
    Placement worst = Placement::Moved;
    for (const QString &raw : raws) {
        const QString wanted = companionPath(placedAt, raw);
        QString at;
        const Placement placed
            = moveIntoFolder(raw, wanted, QStringLiteral("RAW file not moved with its JPEG: "), failures, errorNumber, at);
        if (placed == Placement::Failed)
            return Placement::Failed;
        if (placed == Placement::Renamed) {
            // Taken since the JPEG's name was chosen: delivered all the same, and said.
            failures.append(QStringLiteral("RAW+JPEG pair split: ") + fileNameOf(raw) + QStringLiteral(" delivered as ") + fileNameOf(at)
                            + QStringLiteral(", its JPEG as ") + fileNameOf(placedAt));
            worst = Placement::Renamed;
        }
        note(op, QStringLiteral("RAW file moved with its JPEG: ") + at);
    }
    return worst;
}

void DeliveryRun::discardCodePhoto(const QString &photo, DeliveryCounters &counters, QStringList &failures) const
{
    const QString op = QStringLiteral("finishProcessxxx2(_:destPath:)");
    // The card's RAW goes first: a run cut short then leaves the JPEG, which
    // still names the card.
    for (const QString &raw : rawCompanionsOf(photo)) {
        if (const FileResult gone = m_fileOps.trash(raw); !gone && !m_fileOps.remove(raw))
            failures.append(QStringLiteral("card RAW file not discarded: ") + fileNameOf(raw) + QStringLiteral(": ") + gone.error);
    }
    const FileResult trashed = m_fileOps.trash(photo);
    if (trashed) {
        ++counters.trashed;
        return;
    }
    note(op, QStringLiteral("fm.trashItem - oops something went wrong ") + trashed.error);
    const FileResult removed = m_fileOps.remove(photo);
    if (removed) {
        note(op, QStringLiteral("fm.removeItem - ok had to use removeItemAtURL instead of trashItemAtURL..."));
        ++counters.removed;
        return;
    }
    note(op, QStringLiteral("oops something went wrong with removeItemAtURL  ") + removed.error);
    failures.append(QStringLiteral("card photo not discarded: ") + fileNameOf(photo) + QStringLiteral(": ") + removed.error);
}

void DeliveryRun::discardCardsOfDeliveredSubjects(const QStringList &cards, DeliveryBatchResult &batch) const
{
    const QString op = QStringLiteral("finishProcessxxx2(_:destPath:)");
    if (cards.isEmpty())
        return;
    // The subjects some photo of which is still in the source folder (not
    // moved, or not meant to be in this run): their cards stay with them.
    QSet<QString> waiting;
    QSet<QString> folders;
    for (const QString &card : cards)
        folders.insert(folderOf(card));
    for (const QString &folder : std::as_const(folders)) {
        bool readable = true;
        for (const QString &photo : listSourceFolder(folder, readable)) {
            if (baseNameOf(photo).endsWith(cQRCodeMarker) || checkIfIsOriginal(photo) || checkIfIsUnknown(photo))
                continue;
            waiting.insert(getQRCodePartFromString(photo));
        }
        if (!readable)
            return; // nothing is known of what stays: keep every card
    }
    for (const QString &card : cards) {
        const QString code = getQRCodePartFromString(card);
        if (waiting.contains(code)) {
            note(op, QStringLiteral("card photo kept, photos of its subject stay in the source folder: ") + card);
            batch.keptCodePhotos.append(card);
            continue;
        }
        discardCodePhoto(card, batch.counters, batch.failures);
    }
}

// The photos to hold back: each marked photo, and the later ones (in
// capture order) that carry the same code, or no code when it has none.
static QSet<QString> heldAfterUnreadCards(const QStringList &ordered, int tag)
{
    const auto keyOf
        = [tag](const QString &photo) { return checkIfIsOriginal(photo, tag) ? QString() : getQRCodePartFromString(photo, tag); };
    QSet<QString> held;
    for (qsizetype i = 0; i < ordered.size(); ++i) {
        if (held.contains(ordered[i]) || baseNameOf(ordered[i]).endsWith(cQRCodeMarker) || !possibleUnreadCardMark(ordered[i]))
            continue;
        const QString key = keyOf(ordered[i]);
        for (qsizetype j = i; j < ordered.size(); ++j) {
            if (!baseNameOf(ordered[j]).endsWith(cQRCodeMarker) && keyOf(ordered[j]) == key)
                held.insert(ordered[j]);
        }
    }
    return held;
}

DeliveryBatchResult DeliveryRun::finishProcessxxx2(const QStringList &photos, const std::optional<QString> &destPath)
{
    const QString op = QStringLiteral("finishProcessxxx2(_:destPath:)");
    DeliveryBatchResult batch;
    batch.destPath = destPath.value_or(QString());
    if (batch.destPath.isEmpty()) {
        note(op, QStringLiteral("destPath does NOT exist??? []"));
        return batch;
    }
    const std::optional<QStringList> ordered = sortImageUrls(pairRawCompanions(photos).photos, SortDirection::Ascending);
    if (!ordered)
        return batch;

    // Called on its own, the batch checks the folder it delivers into.
    const bool ownMainFolder = !m_main;
    if (ownMainFolder) {
        struct stat st { };
        const QString dest = QDir::cleanPath(batch.destPath);
        if (::stat(QFile::encodeName(dest).constData(), &st) == 0)
            m_main = MainFolder{dest, st.st_dev, st.st_ino};
    }

    // What a killed earlier run left half placed in the folders of this run
    // (the photos themselves are still in the source).
    const QString mainForLeftovers = mainFolderPath();
    for (const QString &folder :
         {batch.destPath, mainForLeftovers.isEmpty() ? QString() : joinPath(mainForLeftovers, cStringForUNASSIGNED_PHOTOS)}) {
        if (const int removed = fileops::removeLeftoverTemporaries(folder))
            note(op, QStringLiteral("removed %1 leftover(s) of an interrupted delivery in ").arg(removed) + folder);
    }

    DeliveryCounters &counters = batch.counters;
    counters.total = int(ordered->size());
    QStringList &kept = batch.keptCodePhotos; // newest first
    QStringList discards;                     // card photos to go once their subjects have

    const auto stopHere = [&](const std::optional<DeliveryStop> &stop) {
        if (!stop)
            return false;
        batch.stop = stop;
        note(op, QStringLiteral("STOPPING: ") + stop->detail);
        return true;
    };
    // A failed move that is the drive's fault stops the batch; its line then
    // is the stop's, not one failure among others.
    const auto stopOnFailure = [&](int errorNumber) {
        const std::optional<DeliveryStop> stop
            = errorNumber ? stopFor(errorNumber, batch.failures.value(batch.failures.size() - 1)) : std::nullopt;
        if (stop)
            batch.failures.removeLast();
        return stopHere(stop);
    };

    const QString mainPath = mainFolderPath();
    const std::optional<QString> mainForUnknown = mainPath.isEmpty() ? std::nullopt : std::optional<QString>(mainPath);
    const QString unassigned = QDir::cleanPath(joinPath(mainPath, cStringForUNASSIGNED_PHOTOS));
    const QSet<QString> held
        = fHoldBackAfterUnreadCard ? heldAfterUnreadCards(*ordered, m_settings.intValue(cPrefOriginalNameFormatTag)) : QSet<QString>();
    for (const QString &photo : *ordered) {
        if (stopHere(checkMainFolder()))
            break;
        ++m_photosDone;
        if (m_photoProgress)
            m_photoProgress(m_photosDone, std::max(m_photosTotal, m_photosDone), photo);
        if (held.contains(photo)) {
            note(op, QStringLiteral("held back after a possible unread card: ") + photo);
            batch.heldBack << photo;
            continue;
        }
        const QString name = fileNameOf(photo);
        const QString destFile = joinPath(batch.destPath, name);
        const std::optional<QString> unknownFolder = unassignedFolderPath(m_settings, now(), mainForUnknown);
        const bool withoutCode = checkIfIsUnknown(photo).has_value() || checkIfIsOriginal(photo);

        bool deliverAsCoded = !withoutCode;
        if (withoutCode) {
            if (m_settings.intValue(cPrefMoveUnasignedPhotoMethodTag) == 1) {
                if (unknownFolder) {
                    const QString unknownFile = joinPath(*unknownFolder, name);
                    note(op, QStringLiteral("Need to COPY to the UNASSIGNED destination: ") + unknownFile);
                    if (stopHere(ensureFolder(unassigned)))
                        break;
                    if (QDir::cleanPath(*unknownFolder) != unassigned && stopHere(ensureFolder(*unknownFolder)))
                        break;
                    int error = 0;
                    const QStringList raws = rawCompanionsOf(photo);
                    QString placedAt;
                    const Placement placed = moveIntoFolder(photo, unknownFile, QStringLiteral("not moved to the unassigned folder: "),
                                                            batch.failures, error, placedAt, raws);
                    if (placed != Placement::Failed && !raws.isEmpty()
                        && moveCompanions(raws, placedAt, batch.failures, error) == Placement::Failed && stopOnFailure(error))
                        break;
                    if (placed != Placement::Failed) {
                        note(op, QStringLiteral("File saved."));
                        batch.delivered.append({fileNameOf(photo), placedAt});
                        ++counters.unassigned;
                        batch.unassignedPath = *unknownFolder;
                        counters.renamed += placed == Placement::Renamed ? 1 : 0;
                    } else if (stopOnFailure(error)) {
                        break;
                    }
                } else {
                    note(op, QStringLiteral("UNASSIGNED Folder not found - will move to default destination folder...."));
                    deliverAsCoded = true;
                }
            } else {
                note(op,
                     QStringLiteral("Do Move Unknown Item is FALSE - so will file=") + name
                         + QStringLiteral(" will remain in source folder...."));
                ++counters.leftWithoutCode;
            }
        }

        if (deliverAsCoded) {
            report(QStringLiteral("Copying TO:\n ") + destFile);
            note(op, QStringLiteral("Need to COPY to destination: ") + destFile);
            if (!baseNameOf(photo).endsWith(cQRCodeMarker)) {
                // Only photos meant for the destination count as allowed: a
                // card photo counted here would make every delivery that
                // holds one report possible issues, hiding real failures.
                ++counters.allowed;
                // Made again when someone took it away during the run.
                if (m_main && QDir::cleanPath(batch.destPath) != m_main->path && stopHere(ensureFolder(batch.destPath)))
                    break;
                int error = 0;
                const QStringList raws = rawCompanionsOf(photo);
                QString placedAt;
                const Placement placed
                    = moveIntoFolder(photo, destFile, QStringLiteral("not moved: "), batch.failures, error, placedAt, raws);
                if (placed != Placement::Failed && !raws.isEmpty()
                    && moveCompanions(raws, placedAt, batch.failures, error) == Placement::Failed && stopOnFailure(error))
                    break;
                if (placed != Placement::Failed) {
                    note(op, QStringLiteral("File moved."));
                    batch.delivered.append({fileNameOf(photo), placedAt});
                    ++counters.moved;
                    counters.renamed += placed == Placement::Renamed ? 1 : 0;
                } else if (stopOnFailure(error)) {
                    break;
                }
            } else {
                // A card photo is never delivered, so it leaves the destination
                // alone: a same-named file there stays as it is.
                QString discard = photo;
                if (fDoKeepLastQRPhoto) {
                    if (!kept.isEmpty()) {
                        const int tag = m_settings.intValue(cPrefOriginalNameFormatTag);
                        const QString code = getQRCodePartFromString(photo, tag);
                        const QString newestCode = getQRCodePartFromString(kept.first(), tag);
                        if (!code.isEmpty() && !newestCode.isEmpty() && code.compare(newestCode, Qt::CaseInsensitive) == 0)
                            kept.append(kept.takeFirst());
                    }
                    kept.prepend(photo);
                    discard = kept.size() >= 3 ? kept.takeLast() : QString();
                }
                if (!discard.isEmpty())
                    discards.append(discard);
            }
        }
        pause();
    }

    // Cards go last: a run cut short (killed, or stopped by the drive) keeps
    // every card whose subject may still need it.
    if (batch.stop)
        note(op, QStringLiteral("stopped: no card photo is thrown away in this run"));
    else
        discardCardsOfDeliveredSubjects(discards, batch);
    if (ownMainFolder) {
        m_main.reset();
        if (batch.stop) {
            for (const QString &photo : *ordered)
                batch.stop->leftInSource += fileops::exists(photo) ? 1 : 0;
        }
    }

    finishBatch(batch);
    return batch;
}

void DeliveryRun::finishBatch(DeliveryBatchResult &batch) const
{
    const QString op = QStringLiteral("finishProcessxxx2(_:destPath:)");
    const DeliveryCounters &c = batch.counters;
    if (c.renamed > 0)
        note(op, QStringLiteral("TotalRenamed[") + QString::number(c.renamed) + QStringLiteral("] (names taken by other photos)"));
    if (deliverByCamera()) {
        note(op, QStringLiteral("no need to show items copied if multi camera..."));
        batch.end = DeliveryEnd::Close;
    } else {
        note(op, QStringLiteral("TotalMoved[") + QString::number(c.moved) + QStringLiteral("]   "));
        if (c.leftInSource() == 1)
            note(op, QStringLiteral("just one left - maybe pref to keep last qrcode file is enabled???"));
        batch.summary = makeDeliverySummary(c, runsInHotFolderMode());
        batch.summary->whereabouts = describeWhereabouts(batch);
        batch.summary->problem = batch.hasProblems();
        batch.end = DeliveryEnd::ShowSummary;
    }
    // A stop is for the user to read, not a summary that goes by itself.
    if (batch.stop)
        batch.end = DeliveryEnd::StayOpen;
    if (m_batchEnded)
        m_batchEnded(batch);
}

} // namespace sorrelby
