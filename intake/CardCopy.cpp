#include "intake/CardCopy.h"

#include "naming/FileNameScheme.h"
#include "platform/FileTypes.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/VolumeMonitor.h"
#include "settings/PreferenceOps.h"
#include "settings/Settings.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>

#include <sys/stat.h>
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
    static const QStringList extensions = {QStringLiteral("app"), QStringLiteral("bundle"), QStringLiteral("photoslibrary"),
                                           QStringLiteral("framework"), QStringLiteral("pkg"), QStringLiteral("plugin"),
                                           QStringLiteral("lrdata"), QStringLiteral("fcpbundle"), QStringLiteral("rtfd")};
    return info.isDir() && extensions.contains(info.suffix().toLower());
}

bool isInside(const QString &path, const QString &folder)
{
    const QString a = QDir::cleanPath(path);
    const QString b = QDir::cleanPath(folder);
    return a == b || a.startsWith(b == QLatin1String("/") ? b : b + QLatin1Char('/'));
}

dev_t deviceOf(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_dev : dev_t(-1);
}

qint64 freeBytes(const QString &path)
{
    struct statvfs st {};
    if (::statvfs(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return qint64(st.f_bavail) * qint64(st.f_frsize);
}

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / 1e6, 'f', 1) + QStringLiteral(" MB");
}

// Every file below a folder, deepest first, so the folder can then be removed.
QStringList filesBelow(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
    return files;
}

} // namespace

CardCopyOptions CardCopyOptions::fromSettings(const QString &cardFolder)
{
    Settings &settings = Settings::shared();
    CardCopyOptions options;
    options.cardFolder = cardFolder;
    options.hotFolderMode = settings.boolValue(QStringLiteral("prefEnableHotFolderMode"));
    if (options.hotFolderMode)
        options.hotFolder = preferenceops::getHotFolderPath();
    else
        options.sourceFolder = preferenceops::getSourceFolderPath();
    options.autoDecode = settings.boolValue(QStringLiteral("prefCanSupportVisionFramework"))
        && settings.boolValue(QStringLiteral("prefUseAutoDecodeQRMethod"))
        && settings.boolValue(QStringLiteral("prefDoTryToAutoDecodeAfterCopying"));
    // A volume remembered from an earlier card is no business of a folder
    // elsewhere (a folder chosen by hand, the unassigned photos).
    const std::optional<QString> volume = settings.optionalString(QStringLiteral("prefTempMountVolume"));
    if (volume && !volume->isEmpty() && isInside(cardFolder, *volume))
        options.ejectVolume = volume;
    return options;
}

QString stagingFolderFor(const QString &targetFolder)
{
    const QString target = QDir::cleanPath(targetFolder);
    const QString parent = QFileInfo(target).path();
    // Beside the target only when that is the same file system, so placing is a rename.
    if (target != QLatin1String("/") && deviceOf(parent) == deviceOf(target) && QFileInfo(parent).isWritable())
        return parent + (parent.endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/")) + cCardStagingName;
    return target + QLatin1Char('/') + cCardStagingName;
}

CardCopy::CardCopy(VolumeMonitor *monitor)
    : m_monitor(monitor)
    , m_pause([](double seconds) { std::this_thread::sleep_for(std::chrono::milliseconds(qint64(seconds * 1000))); })
    , m_copier([](const QString &from, const QString &to) { return fileops::copyNoReplace(from, to); })
{
}

void CardCopy::status(CardCopyResult &result, const QString &line)
{
    result.statusLine = line;
    if (m_status)
        m_status(line);
}

bool CardCopy::listCard(const QString &cardFolder, QList<Candidate> &candidates, CardCopyResult &result) const
{
    if (!QFileInfo(cardFolder).isDir() || !QFileInfo(cardFolder).isReadable()) {
        note(QStringLiteral(".... Error with DirectoryEnumerator??????"));
        return false;
    }
    // Depth first by name, so the photos are copied in the camera's order.
    QStringList pending{cardFolder};
    while (!pending.isEmpty()) {
        const QString folder = pending.takeFirst();
        QDir dir(folder);
        const QFileInfoList entries = dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
        if (entries.isEmpty() && !dir.isReadable())
            note(QStringLiteral("`directoryEnumerator` error: cannot read ") + folder);
        QStringList subfolders;
        for (const QFileInfo &info : entries) {
            if (info.fileName().startsWith(QLatin1Char('.')) || info.isSymLink())
                continue;
            if (info.isDir()) {
                if (!isPackage(info))
                    subfolders.append(info.filePath());
                continue;
            }
            if (!info.isFile())
                continue;
            // The card's name becomes the photo's name: only a camera name that
            // is one safe name component gets that far.
            if (!checkIfIsOriginal(info.fileName()) || !isSafeCode(info.fileName())) {
                note(QStringLiteral("processNewCard2(_:) => File NOT valid to be added = ") + printablePayload(info.filePath()));
                ++result.skipped;
                continue;
            }
            candidates.append({info.filePath(), info.size()});
            result.bytes += info.size();
        }
        pending = subfolders + pending;
    }
    return true;
}

bool CardCopy::prepareStaging(const QString &staging) const
{
    if (fileops::exists(staging)) {
        // A run cut short may have left the only copy of a photo here.
        for (const QString &file : filesBelow(staging)) {
            const FileResult trashed = fileops::moveToTrash(file);
            note(QStringLiteral("leftover in the staging folder ") + file + (trashed ? QStringLiteral(" moved to the trash") : QStringLiteral(" could not be trashed: ") + trashed.error));
            if (!trashed)
                return false;
        }
        if (const FileResult removed = fileops::removeRecursively(staging); !removed) {
            note(QStringLiteral("oops somethign went wrong with removeItemAtPath ") + removed.error);
            return false;
        }
    }
    if (const FileResult created = fileops::createFolder(staging); !created) {
        note(QStringLiteral("oops somethign went wrong with createDirectoryAtPath ") + created.error);
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

bool CardCopy::setAsideEarlierPhotos(const QString &source, const QString &staging, CardCopyResult &result)
{
    const QFileInfoList entries = QDir(source).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    bool allGone = true;
    for (const QFileInfo &entry : entries) {
        if (QDir::cleanPath(entry.filePath()) == QDir::cleanPath(staging))
            continue;
        const bool photo = entry.isFile() && filetypes::isImage(entry.filePath());
        const FileResult trashed = fileops::moveToTrash(entry.filePath());
        if (!trashed) {
            note(QStringLiteral("could not move an earlier item to the trash: ") + trashed.error);
            allGone = false;
        } else if (photo) {
            ++result.setAside;
        }
    }
    note(QStringLiteral("earlier photos set aside in the trash = ") + QString::number(result.setAside));
    return allGone;
}

void CardCopy::place(const QString &target, bool hotFolderMode, CardCopyResult &result)
{
    for (const QString &staged : std::as_const(result.staged)) {
        const QString name = fileNameOf(staged);
        if (!hotFolderMode && !filetypes::isImage(staged)) {
            // Not a photo for the browser; kept in the trash rather than lost with the card.
            const FileResult trashed = fileops::moveToTrash(staged);
            note(QStringLiteral("not an image, not placed: ") + name + (trashed ? QString() : QStringLiteral(" (") + trashed.error + QLatin1Char(')')));
            if (trashed)
                ++result.notImages;
            else
                result.notPlaced.append(staged);
            continue;
        }
        status(result, QStringLiteral("Transferring Photo: ") + name);
        QString destination = target + QLatin1Char('/') + name;
        FileResult moved = fileops::moveNoReplace(staged, destination);
        if (!moved && fileops::exists(destination)) {
            if (fileops::sameContent(staged, destination)) {
                // This very photo is there already.
                fileops::removeFile(staged);
                moved = FileResult::success();
            } else if (const std::optional<QString> unique = getUniquePathString(destination)) {
                destination = *unique;
                moved = fileops::moveNoReplace(staged, destination);
            }
        }
        if (moved) {
            result.placed.append(destination);
        } else {
            note(QStringLiteral("oops somethingwrong with copyItemAtURL ") + moved.error);
            result.notPlaced.append(staged);
        }
    }
}

void CardCopy::discardStaging(const QString &staging) const
{
    // Only copies of photos still on the card are in it.
    if (const FileResult removed = fileops::removeRecursively(staging); !removed)
        note(QStringLiteral("oops somethign went wrong with removeItemAtPath ") + removed.error);
}

CardCopyResult CardCopy::run(const CardCopyOptions &options)
{
    CardCopyResult result;
    note(QStringLiteral("location = ") + options.cardFolder);
    status(result, QStringLiteral("Copying Files from Card..."));

    const std::optional<QString> target = options.hotFolderMode ? options.hotFolder : options.sourceFolder;
    if (!target || target->isEmpty() || !QFileInfo(*target).isDir()) {
        result.outcome = CardCopyResult::Outcome::NoTarget;
        status(result, options.hotFolderMode ? QStringLiteral("!!! No HOT Folder to copy the CARD into !!!")
                                             : QStringLiteral("!!! No Source Folder to copy the CARD into !!!"));
        return result;
    }
    QList<Candidate> candidates;
    if (!listCard(options.cardFolder, candidates, result)) {
        result.outcome = CardCopyResult::Outcome::Unreadable;
        status(result, QStringLiteral("!!! Unable to read the CARD at ") + options.cardFolder + QStringLiteral(" !!!"));
        return result;
    }
    if (candidates.isEmpty()) {
        result.outcome = CardCopyResult::Outcome::NothingToCopy;
        status(result, QStringLiteral("No Photos found on the CARD..."));
        return result;
    }

    result.stagingFolder = stagingFolderFor(*target);
    // The staged photos and the earlier ones (in this volume's trash) are
    // both on this file system until the run ends; keep a little room spare.
    const qint64 needed = result.bytes + qint64(candidates.size()) * 65536 + (16 << 20);
    result.bytesFree = freeBytes(QFileInfo(result.stagingFolder).path());
    if (result.bytesFree >= 0 && result.bytesFree < needed) {
        result.outcome = CardCopyResult::Outcome::NoRoom;
        status(result, QStringLiteral("!!! CARD does NOT fit: %1 of photos, only %2 free at %3 - nothing copied !!!")
                           .arg(megabytes(result.bytes), megabytes(result.bytesFree), *target));
        return result;
    }
    if (!prepareStaging(result.stagingFolder)) {
        result.outcome = CardCopyResult::Outcome::CopyFailed;
        status(result, QStringLiteral("!!! Unable to prepare the copy of the CARD at ") + result.stagingFolder + QStringLiteral(" - CARD NOT ejected !!!"));
        return result;
    }

    if (!copyAll(candidates, result)) {
        discardStaging(result.stagingFolder);
        QStringList names;
        for (const QString &path : std::as_const(result.failed))
            names.append(fileNameOf(path));
        result.outcome = CardCopyResult::Outcome::CopyFailed;
        result.staged.clear();
        status(result, QStringLiteral("!!! %1 of %2 photos could NOT be copied - CARD NOT ejected, nothing changed: %3 !!!")
                           .arg(result.failed.size()).arg(candidates.size()).arg(names.join(QStringLiteral(", "))));
        return result;
    }
    note(QStringLiteral("processNewCard2(_:) -> Done Copying from Card...."));
    status(result, QStringLiteral("Done - Copying Files from Card..."));
    logLine(QStringLiteral("self.fStatusString= ") + result.statusLine);

    if (!options.hotFolderMode && !setAsideEarlierPhotos(*target, result.stagingFolder, result)) {
        // Mixing two cards in one folder would give photos the wrong codes.
        result.outcome = CardCopyResult::Outcome::SetAsideFailed;
        discardStaging(result.stagingFolder);
        result.staged.clear();
        status(result, QStringLiteral("!!! Unable to move the earlier photos out of ") + *target + QStringLiteral(" - CARD NOT ejected !!!"));
        NotificationCenter::defaultCenter().post(QStringLiteral("myRefreshId"), {{QStringLiteral("command"), QStringLiteral("refresh")}});
        return result;
    }

    if (options.ejectVolume && m_monitor) {
        note(QStringLiteral("nsdevicepath = ") + *options.ejectVolume);
        result.ejected = m_monitor->unmountAndEject(*options.ejectVolume);
        if (!result.ejected)
            note(QStringLiteral("eject failed: ") + *options.ejectVolume);
        m_pause(0.4);
    }

    place(*target, options.hotFolderMode, result);
    if (result.notPlaced.isEmpty()) {
        QDir().rmdir(result.stagingFolder);
    } else {
        result.outcome = CardCopyResult::Outcome::PlaceFailed;
    }

    QString done = QStringLiteral("Done - %1 photos copied from Card").arg(result.placed.size());
    if (result.setAside > 0)
        done += QStringLiteral(" - %1 earlier photos set aside in the Trash").arg(result.setAside);
    if (!result.notPlaced.isEmpty())
        done = QStringLiteral("!!! %1 photos could NOT be placed - they are in %2 !!! ").arg(result.notPlaced.size()).arg(result.stagingFolder) + done;
    status(result, done);

    NotificationCenter::defaultCenter().post(QStringLiteral("myRefreshId"), {{QStringLiteral("command"), QStringLiteral("refresh")}});
    if (options.autoDecode && !options.hotFolderMode && !result.placed.isEmpty())
        NotificationCenter::defaultCenter().post(QStringLiteral("myAutoDecodeProcess"), {{QStringLiteral("command"), QStringLiteral("autodecodeqrcodes")}});
    note(QStringLiteral("processNewCard2(_:) -> DONE DONE...."));
    return result;
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
