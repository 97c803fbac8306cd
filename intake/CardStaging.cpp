#include "intake/CardStaging.h"

#include "naming/FileNameScheme.h"
#include "naming/RenameJournal.h"
#include "platform/FileTypes.h"
#include "platform/FolderScan.h"
#include "platform/Log.h"
#include "platform/UserFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMultiHash>
#include <QSet>

#include <sys/stat.h>

namespace sorrelby {

namespace {

const QString kClass = QStringLiteral("LoadCardViewController");
const QString kJournalName = QStringLiteral(".journal");

void note(QStringView operation, const QString &detail)
{
    logOp(kClass, operation, detail);
}

dev_t deviceOf(const QString &path)
{
    struct stat st { };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_dev : dev_t(-1);
}

QString phaseName(StagingJournal::Phase phase)
{
    switch (phase) {
    case StagingJournal::Phase::Copying:
        return QStringLiteral("copying");
    case StagingJournal::Phase::SettingAside:
        return QStringLiteral("settingaside");
    case StagingJournal::Phase::Placing:
        return QStringLiteral("placing");
    }
    return {};
}

// The plain files directly in a folder, hidden ones and symbolic links left
// out, by name.
QFileInfoList plainFilesIn(const QString &folder)
{
    return QDir(folder).entryInfoList(QDir::Files | QDir::NoSymLinks | QDir::NoDotAndDotDot, QDir::Name);
}

// A file of `candidates` (listed by size) holding the bytes of `path`.
std::optional<QString> twinOf(const QString &path, qint64 size, const QMultiHash<qint64, QString> &candidates)
{
    for (auto it = candidates.constFind(size); it != candidates.cend() && it.key() == size; ++it) {
        if (fileops::sameContent(path, it.value()))
            return it.value();
    }
    return std::nullopt;
}

bool sameFolder(const QString &a, const QString &b)
{
    const QString ca = QFileInfo(a).canonicalFilePath();
    const QString cb = QFileInfo(b).canonicalFilePath();
    return !ca.isEmpty() && ca == cb;
}

// The staging folders a copy into `folder` may have left: beside it, and
// inside it (the top of a volume).
QStringList stagingCandidates(const QString &folder)
{
    const QString clean = QDir::cleanPath(folder);
    QStringList candidates;
    if (clean != QLatin1String("/"))
        candidates << QDir::cleanPath(QFileInfo(clean).path() + QLatin1Char('/') + cCardStagingName);
    candidates << QDir::cleanPath(clean + QLatin1Char('/') + cCardStagingName);
    return candidates;
}

// The photos of the journal that are no longer staged but lie in the
// target: under their own name, or a collision suffix of it, with their size.
QStringList alreadyPlaced(const StagingJournal &journal, const QString &stagingFolder, const QString &target)
{
    QStringList found;
    for (const StagingJournal::Photo &photo : journal.photos) {
        if (fileops::exists(stagingFolder + QLatin1Char('/') + photo.name))
            continue;
        const QString suffix = QFileInfo(photo.name).suffix();
        const QString base = photo.name.left(photo.name.size() - (suffix.isEmpty() ? 0 : suffix.size() + 1));
        for (int k = 0; k <= 18; ++k) {
            const QString name
                = k == 0 ? photo.name : base + QStringLiteral("c%1").arg(k) + (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
            const QString path = target + QLatin1Char('/') + name;
            const std::optional<FileAttributes> attributes = fileops::attributes(path);
            if (attributes && attributes->isRegularFile && attributes->size == photo.size && !found.contains(path)) {
                found << path;
                break;
            }
        }
    }
    return found;
}

} // namespace

QString stagingFolderFor(const QString &targetFolder)
{
    const QString target = QDir::cleanPath(targetFolder);
    const QString parent = QFileInfo(target).path();
    // Beside the target only when that is the same file system, so placing is a rename.
    if (target != QLatin1String("/") && deviceOf(parent) == deviceOf(target) && QFileInfo(parent).isWritable())
        return parent + (parent.endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/")) + cCardStagingName;
    return target + QLatin1Char('/') + cCardStagingName;
}

std::optional<StagingJournal> StagingJournal::read(const QString &stagingFolder)
{
    QFile file(stagingFolder + QLatin1Char('/') + kJournalName);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonObject object = QJsonDocument::fromJson(file.read(1 << 16)).object();
    const QString target = object.value(QStringLiteral("target")).toString();
    const QString phase = object.value(QStringLiteral("phase")).toString();
    if (target.isEmpty() || !QDir::isAbsolutePath(target))
        return std::nullopt;
    StagingJournal journal;
    journal.target = target;
    journal.setsAside = object.value(QStringLiteral("setsAside")).toBool();
    // An unknown phase sets nothing aside: only the photos are certain.
    journal.phase = Phase::Placing;
    for (Phase known : {Phase::Copying, Phase::SettingAside, Phase::Placing}) {
        if (phase == phaseName(known))
            journal.phase = known;
    }
    for (const QJsonValue &value : object.value(QStringLiteral("photos")).toArray()) {
        const QJsonObject photo = value.toObject();
        const QString name = photo.value(QStringLiteral("name")).toString();
        // Only a plain name inside the target, never a way out of it.
        if (!name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.startsWith(QLatin1Char('.')))
            journal.photos.append({name, qint64(photo.value(QStringLiteral("size")).toDouble(-1))});
    }
    return journal;
}

void StagingJournal::listPhotos(const QStringList &staged)
{
    photos.clear();
    for (const QString &path : staged) {
        if (const std::optional<FileAttributes> attributes = fileops::attributes(path))
            photos.append({fileNameOf(path), attributes->size});
    }
}

FileResult StagingJournal::write(const QString &stagingFolder) const
{
    QJsonArray list;
    for (const Photo &photo : photos)
        list.append(QJsonObject{{QStringLiteral("name"), photo.name}, {QStringLiteral("size"), double(photo.size)}});
    const QJsonObject object{{QStringLiteral("target"), target},
                             {QStringLiteral("setsAside"), setsAside},
                             {QStringLiteral("phase"), phaseName(phase)},
                             {QStringLiteral("photos"), list}};
    return fileops::writeFileAtomically(stagingFolder + QLatin1Char('/') + kJournalName,
                                        QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QStringList stagedFiles(const QString &stagingFolder)
{
    QStringList files;
    for (const QFileInfo &info : plainFilesIn(stagingFolder))
        files << info.filePath();
    return files;
}

SetAsideResult setAsideEarlierPhotos(const QString &folder, const QStringList &staged, const QStringList &keep)
{
    QSet<QString> kept;
    for (const QString &path : keep)
        kept.insert(QDir::cleanPath(path));
    QMultiHash<qint64, QString> stagedBySize;
    for (const QString &path : staged) {
        if (const std::optional<FileAttributes> attributes = fileops::attributes(path))
            stagedBySize.insert(attributes->size, path);
    }
    SetAsideResult result;
    // One undo step brings the photos set aside for a card back.
    RenameJournal::Recording step = RenameJournal(folder).record(JournalKind::Card, QStringLiteral("New Card"));
    for (const QFileInfo &entry : plainFilesIn(folder)) {
        if (!filetypes::isImage(entry.filePath()))
            continue;
        if (kept.contains(QDir::cleanPath(entry.filePath())) || twinOf(entry.filePath(), entry.size(), stagedBySize)) {
            ++result.kept;
            continue;
        }
        QString trashedPath;
        if (const FileResult trashed = fileops::moveToTrash(entry.filePath(), &trashedPath); trashed) {
            step.add({entry.filePath(), trashedPath, true});
            ++result.setAside;
        } else {
            note(u"setAsideEarlierPhotos", QStringLiteral("could not move an earlier photo to the trash: ") + trashed.error);
            result.failed << entry.filePath();
        }
    }
    note(u"setAsideEarlierPhotos",
         QStringLiteral("earlier photos set aside in the trash = %1, kept as the card's own = %2").arg(result.setAside).arg(result.kept));
    return result;
}

PlaceResult placeStaged(const QString &target, const QStringList &staged, bool photosOnly,
                        const std::function<void(const QString &name)> &placing)
{
    QMultiHash<qint64, QString> targetBySize;
    for (const QFileInfo &entry : plainFilesIn(target))
        targetBySize.insert(entry.size(), entry.filePath());

    PlaceResult result;
    for (const QString &path : staged) {
        const QString name = fileNameOf(path);
        const std::optional<FileAttributes> attributes = fileops::attributes(path);
        if (!attributes || !attributes->isRegularFile) {
            note(u"placeStaged", QStringLiteral("staged file gone: ") + path);
            result.notPlaced << path;
            continue;
        }
        if (photosOnly && photoFileProblem(path)) {
            // Not a photo for the browser; kept in the trash rather than lost with the card.
            const FileResult trashed = fileops::moveToTrash(path);
            note(u"placeStaged",
                 QStringLiteral("not an image, not placed: ") + name
                     + (trashed ? QString() : QStringLiteral(" (") + trashed.error + QLatin1Char(')')));
            if (trashed)
                ++result.notImages;
            else
                result.notPlaced << path;
            continue;
        }
        if (placing)
            placing(name);
        if (const std::optional<QString> twin = twinOf(path, attributes->size, targetBySize)) {
            // This very photo is there already (a card copied again, or renamed meanwhile).
            if (const FileResult removed = fileops::removeFile(path); !removed) {
                note(u"placeStaged", QStringLiteral("oops somethign went wrong with removeItemAtPath ") + removed.error);
                result.notPlaced << path;
            } else {
                result.placed << *twin;
                ++result.alreadyThere;
            }
            continue;
        }
        QString destination = target + QLatin1Char('/') + name;
        FileResult moved = fileops::moveNoReplace(path, destination);
        if (!moved && fileops::exists(destination)) {
            // Another photo under the camera's name (a wrapped counter): this one gets a suffix.
            if (const std::optional<QString> unique = getUniquePathString(destination)) {
                destination = *unique;
                moved = fileops::moveNoReplace(path, destination);
            }
        }
        if (!moved) {
            note(u"placeStaged", QStringLiteral("oops somethingwrong with copyItemAtURL ") + moved.error);
            result.notPlaced << path;
            continue;
        }
        const std::optional<FileAttributes> placed = fileops::attributes(destination);
        if (!placed || placed->size != attributes->size) {
            note(u"placeStaged", QStringLiteral("placed photo differs in size from the staged one: ") + destination);
            result.notPlaced << destination;
            continue;
        }
        result.placed << destination;
        targetBySize.insert(placed->size, destination);
    }
    return result;
}

FileResult removeStagingFolder(const QString &stagingFolder)
{
    if (!fileops::exists(stagingFolder))
        return FileResult::success();
    if (!stagedFiles(stagingFolder).isEmpty())
        return FileResult::failure(QStringLiteral("photos are still staged in ") + stagingFolder);
    return fileops::removeRecursively(stagingFolder);
}

QStringList CardRecoveryReport::lines() const
{
    QStringList text;
    if (recovered > 0)
        text << QStringLiteral("%1 photos recovered from an interrupted card copy").arg(recovered);
    if (setAside > 0)
        text << QStringLiteral("%1 earlier photos set aside in the Trash for them").arg(setAside);
    if (!notSetAside.isEmpty())
        text << QStringLiteral("!!! %1 earlier photos could NOT be set aside: they are mixed with the recovered ones in %2 !!!")
                    .arg(notSetAside.size())
                    .arg(targets.join(QStringLiteral(", ")));
    if (!notPlaced.isEmpty())
        text << QStringLiteral("!!! %1 photos of an interrupted card copy could NOT be placed: they stay in %2 and are tried again at the "
                               "next start !!!")
                    .arg(notPlaced.size())
                    .arg(QFileInfo(notPlaced.first()).path());
    return text;
}

CardRecoveryReport finishInterruptedCopy(const QString &stagingFolder, const QString &fallbackTarget, const QString &intakeFolder)
{
    CardRecoveryReport report;
    std::optional<StagingJournal> journal = StagingJournal::read(stagingFolder);
    const QStringList files = stagedFiles(stagingFolder);
    const bool ownTarget = journal && QFileInfo(journal->target).isDir();
    const QString target = ownTarget ? journal->target : QDir::cleanPath(fallbackTarget);
    // Photos the copy had placed itself are its own too: never earlier ones.
    const QStringList placedBefore = ownTarget ? alreadyPlaced(*journal, stagingFolder, target) : QStringList();
    note(u"finishInterruptedCopy",
         stagingFolder + QStringLiteral(" -> ") + target + QStringLiteral(", staged files = ") + QString::number(files.size())
             + QStringLiteral(", placed before = ") + QString::number(placedBefore.size()) + QStringLiteral(", phase = ")
             + (journal ? phaseName(journal->phase) : QStringLiteral("none")));
    const QString intake = QDir::cleanPath(intakeFolder);
    if (!intakeFolder.isEmpty() && QFileInfo(intake).isDir() && !sameFolder(target, intake)) {
        const PlaceResult placed = placeStaged(intake, placedBefore + files, false);
        report.targets << intake;
        report.placed = placed.placed;
        report.recovered = int(placed.placed.size());
        report.notPlaced = placed.notPlaced;
        if (placed.notPlaced.isEmpty()) {
            if (const FileResult removed = removeStagingFolder(stagingFolder); !removed)
                note(u"finishInterruptedCopy", QStringLiteral("oops somethign went wrong with removeItemAtPath ") + removed.error);
        }
        return report;
    }
    if (files.isEmpty()) {
        report.placed = placedBefore;
        report.recovered = int(placedBefore.size());
        if (!placedBefore.isEmpty())
            report.targets << target;
        if (const FileResult removed = removeStagingFolder(stagingFolder); !removed)
            note(u"finishInterruptedCopy", QStringLiteral("oops somethign went wrong with removeItemAtPath ") + removed.error);
        return report;
    }
    if (target.isEmpty() || !QFileInfo(target).isDir()) {
        report.notPlaced = files;
        return report;
    }
    report.targets << target;
    // Past the copy, the earlier photos had to give way; finish that first, so
    // two cards never share the folder. Only in the folder the copy was for.
    if (ownTarget && journal->setsAside && journal->phase != StagingJournal::Phase::Placing) {
        const SetAsideResult setAside = setAsideEarlierPhotos(target, files, placedBefore);
        report.setAside = setAside.setAside;
        report.notSetAside = setAside.failed;
        journal->phase = StagingJournal::Phase::Placing;
        if (journal->photos.isEmpty())
            journal->listPhotos(files);
        if (const FileResult written = journal->write(stagingFolder); !written)
            note(u"finishInterruptedCopy", QStringLiteral("journal not written: ") + written.error);
    }
    const PlaceResult placed = placeStaged(target, files, !journal || journal->setsAside);
    report.placed = placedBefore + placed.placed;
    report.recovered = int(report.placed.size());
    report.notPlaced = placed.notPlaced;
    if (placed.notPlaced.isEmpty()) {
        if (const FileResult removed = removeStagingFolder(stagingFolder); !removed)
            note(u"finishInterruptedCopy", QStringLiteral("oops somethign went wrong with removeItemAtPath ") + removed.error);
    }
    return report;
}

CardRecoveryReport recoverInterruptedCardCopies(const QStringList &folders, const std::function<void(const QString &line)> &report,
                                                const QString &intakeFolder)
{
    CardRecoveryReport total;
    QString fallback;
    QSet<QString> seen;
    for (const QString &folder : folders) {
        if (folder.trimmed().isEmpty())
            continue;
        const QString clean = QDir::cleanPath(userfolders::expandTilde(folder));
        if (fallback.isEmpty())
            fallback = clean;
        for (const QString &staging : stagingCandidates(clean)) {
            if (seen.contains(staging) || !QFileInfo(staging).isDir() || QFileInfo(staging).isSymLink())
                continue;
            seen.insert(staging);
            const CardRecoveryReport one = finishInterruptedCopy(staging, fallback, intakeFolder);
            total.recovered += one.recovered;
            total.placed += one.placed;
            total.setAside += one.setAside;
            total.notPlaced += one.notPlaced;
            total.notSetAside += one.notSetAside;
            for (const QString &target : one.targets) {
                if (!total.targets.contains(target))
                    total.targets << target;
            }
        }
    }
    for (const QString &line : total.lines()) {
        note(u"recoverInterruptedCardCopies", line);
        if (report)
            report(line);
    }
    return total;
}

} // namespace sorrelby
