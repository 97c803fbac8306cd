#include "hotfolder/HotFolderIntake.h"

#include "imaging/PhotoMetadata.h"
#include "naming/CardCode.h"
#include "naming/FileNameScheme.h"
#include "naming/RawPairs.h"
#include "naming/UnreadCardMark.h"
#include "platform/FileOps.h"
#include "platform/FileTypes.h"
#include "platform/FolderAbilities.h"
#include "platform/FolderScan.h"
#include "platform/Log.h"
#include "platform/SoundPlayer.h"
#include "settings/PreferenceOps.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>

namespace sorrelby {

namespace {

constexpr QStringView cClass = u"HotFolderIntake";
constexpr QStringView cOperation = u"processHotFolder(_:toDestFolder:)";
const QString cDashKey = cPrefAdjustFilenameWithDash;
// How far back from the end the end-of-image marker is looked for.
constexpr qint64 cEndMarkerWindow = 512;

void note(const QString &detail)
{
    logOp(cClass, cOperation, detail);
}

QString describeDate(const QDateTime &date)
{
    return date.toUTC().toString(Qt::ISODateWithMs) + QStringLiteral("]  local[")
        + date.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QLatin1Char(']');
}

// The RAW goes under its JPEG's new name or stays where it is, said: a
// later pass takes it alone and the decode pass gives it its JPEG's name.
void moveCompanion(const QString &raw, const QString &target, HotFolderIntakeResult &result)
{
    const FileResult moved = fileops::moveNoReplace(raw, target);
    if (!moved) {
        ++result.failed;
        result.splitPairs << fileNameOf(raw) + QStringLiteral(": could not follow its JPEG to %1: %2").arg(fileNameOf(target), moved.error);
        note(QStringLiteral("PAIR SPLIT: ") + result.splitPairs.last());
        return;
    }
    ++result.moved;
    ++result.movedRaws;
    result.movedTo.append(target);
    note(QStringLiteral("moved RAW [") + raw + QStringLiteral("] with its JPEG to [") + target + QLatin1Char(']'));
}

} // namespace

QString adjustFilenameWithDash(const QString &baseName)
{
    QStringList pieces = baseName.split(cDefaultComponentSeparator1);
    QString first = pieces.first();
    first.remove(QLatin1Char('-'));
    if (!first.isEmpty())
        first.insert(first.size() - 1, QLatin1Char('-'));
    pieces.first() = first;
    return pieces.join(cDefaultComponentSeparator1);
}

bool jpegHasEndMarker(const QString &path)
{
    QFile file;
    if (!fileops::openForReading(path, file))
        return false;
    const qint64 size = file.size();
    const qint64 window = qMin(size, cEndMarkerWindow);
    if (window < 2 || !file.seek(size - window))
        return false;
    return file.read(window).contains("\xFF\xD9");
}

HotFolderIntake::HotFolderIntake()
    : m_clock([] { return QDateTime::currentDateTime(); })
    , m_reader([](const QString &path) { return readCard(path); })
    , m_rotator([](const QString &path) { return rotateUpsideDownIfAllowed(path); })
    , m_beep([] { SoundPlayer::shared().beep(); })
{ }

void HotFolderIntake::noteWaitUntil(const QDateTime &when, HotFolderIntakeResult &result) const
{
    if (!result.nextCheck || when < *result.nextCheck)
        result.nextCheck = when;
}

HotFolderIntake::Readiness HotFolderIntake::checkComplete(const QString &path, const QDateTime &modified,
                                                          HotFolderIntakeResult &result) const
{
    const QDateTime now = m_clock();
    if (const std::optional<double> delay = preferenceops::validPhotoDelay()) {
        note(QStringLiteral(" => NEED to check if waited enough delay[%1] before adding photos...").arg(*delay));
        const QDateTime delayDate = modified.addMSecs(qint64(*delay * 1000.0));
        note(QStringLiteral("current Date = [") + describeDate(now));
        note(QStringLiteral("   delaydate = [") + describeDate(delayDate));
        note(QStringLiteral("creationdate = [") + describeDate(modified));
        if (now < delayDate) {
            note(QStringLiteral("Current is BEFORE delayDate date... need to wait some more"));
            noteWaitUntil(delayDate, result);
            return Readiness::Waiting;
        }
        note(QStringLiteral("CurrenDate is AFTER delay date"));
    }
    // A capture tool that stalls longer than the delay leaves a truncated
    // file behind it; moving that would lose the rest of the picture.
    if (!jpegHasEndMarker(path)) {
        const QDateTime giveUp = modified.addMSecs(qint64(cIncompleteJpegGraceSeconds * 1000.0));
        if (now < giveUp) {
            note(QStringLiteral("no end-of-image marker yet, still being written? [") + path + QLatin1Char(']'));
            noteWaitUntil(giveUp, result);
            return Readiness::Waiting;
        }
        note(QStringLiteral("no end-of-image marker, but unchanged for %1 s: taking it as it is [").arg(cIncompleteJpegGraceSeconds) + path
             + QLatin1Char(']'));
    }
    return Readiness::Ready;
}

HotFolderIntake::Readiness HotFolderIntake::checkRawComplete(const QString &path, const QDateTime &modified,
                                                             HotFolderIntakeResult &result) const
{
    const double wait = std::max(preferenceops::validPhotoDelay().value_or(0.0), cRawSettleSeconds);
    const QDateTime ready = modified.addMSecs(qint64(wait * 1000.0));
    if (m_clock() < ready) {
        note(QStringLiteral("RAW file changed less than %1 s ago, still being written? [").arg(wait) + path + QLatin1Char(']'));
        noteWaitUntil(ready, result);
        return Readiness::Waiting;
    }
    return Readiness::Ready;
}

QString HotFolderIntake::targetName(const QString &path, QString &unreadWhy) const
{
    QString base = baseNameOf(path);
    const QString extension = extensionOf(path);
    if (Settings::shared().boolValue(cDashKey)) {
        const QString adjusted = adjustFilenameWithDash(baseNameOf(getOriginalName(path)));
        note(QStringLiteral("adjusted name with dash [") + base + QStringLiteral("] -> [") + adjusted + QLatin1Char(']'));
        base = adjusted;
    }
    // A code that cannot be made a card-photo name counts as no code: the
    // card is taken in like an unread one rather than left to be read again
    // on every pass.
    const CardReading reading = m_reader(path);
    if (reading.code) {
        if (const std::optional<QString> name = makeCodePhotoFileName(*reading.code, base, extension)) {
            note(QStringLiteral("....IS a QRCode file...") + *reading.code);
            return *name;
        }
        unreadWhy = QStringLiteral("its code [%1] cannot name a photo").arg(printablePayload(*reading.code));
    } else if (reading.possibleUnreadCard) {
        unreadWhy = reading.why;
    }
    note(QStringLiteral("....NOT a QRCode file..."));
    return extension.isEmpty() ? base : base + QLatin1Char('.') + extension;
}

bool HotFolderIntake::moveOne(const QString &path, const QString &destFolder, HotFolderIntakeResult &result, const QStringList &raws) const
{
    QString unreadWhy;
    const QString wanted = destFolder + QLatin1Char('/') + nameForFolder(destFolder, targetName(path, unreadWhy));
    // The first candidate under which the JPEG and every RAW of the pair are free.
    const auto pairTarget = [&]() -> std::optional<QString> {
        if (raws.isEmpty())
            return getUniquePathString(wanted);
        for (const QString &candidate : collisionCandidates(wanted)) {
            if (fileops::exists(candidate))
                continue;
            if (std::none_of(raws.cbegin(), raws.cend(),
                             [&](const QString &raw) { return fileops::exists(companionPath(candidate, raw)); }))
                return candidate;
        }
        return std::nullopt;
    };
    note(QStringLiteral("   origpath = ") + path);
    note(QStringLiteral("tempnewpath = ") + wanted);

    // A name taken between choosing it and moving (another program writing
    // into the source folder) only costs another choice.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::optional<QString> target = pairTarget();
        if (!target) {
            note(QStringLiteral("no free name for [") + wanted + QStringLiteral("]: left in the hot folder"));
            ++result.failed;
            return false;
        }
        if (const std::optional<FileAttributes> attributes = fileops::attributes(path))
            note(QStringLiteral("moving %1 bytes").arg(attributes->size));
        const FileResult moved = fileops::moveNoReplace(path, *target);
        if (moved) {
            ++result.moved;
            result.movedTo.append(*target);
            note(QStringLiteral("moved [") + path + QStringLiteral("] to [") + *target + QLatin1Char(']'));
            m_rotator(*target);
            // Marked where it now lies: a move across volumes keeps no mark.
            if (!unreadWhy.isEmpty()) {
                note(QStringLiteral("possible unread card: ") + *target + QStringLiteral(": ") + unreadWhy);
                setPossibleUnreadCardMark(*target, unreadWhy);
                result.possibleUnreadCards.append(*target);
            }
            if (isRawPhotoName(path))
                ++result.movedRaws;
            for (const QString &raw : raws)
                moveCompanion(raw, companionPath(*target, raw), result);
            return true;
        }
        if (!(fileops::exists(*target) && fileops::exists(path)))
            break;
        note(QStringLiteral("[") + *target + QStringLiteral("] was taken meanwhile, choosing again"));
    }
    note(QStringLiteral(" => OOPS - Something Went Wrong while copying from HotFolder to SourceFolder ") + path);
    ++result.failed;
    return false;
}

HotFolderIntakeResult HotFolderIntake::run(const std::optional<QString> &hotFolder, const QString &destFolder)
{
    HotFolderIntakeResult result;
    note(QStringLiteral("start [") + hotFolder.value_or(QString()) + QStringLiteral("] -> [") + destFolder + QLatin1Char(']'));
    if (!hotFolder || hotFolder->isEmpty()) {
        note(QStringLiteral("no hot folder path"));
        return result;
    }
    const QString root = QFileInfo(*hotFolder).canonicalFilePath();
    // A marker write or a 180-degree turn cut short by a kill leaves a hidden temporary here.
    if (const int removed = fileops::removeLeftoverTemporaries(root))
        note(QStringLiteral("removed %1 leftover temporary file(s)").arg(removed));
    const std::optional<std::vector<FolderEntry>> entries = root.isEmpty() ? std::nullopt : folderEntries(root);
    if (!entries) {
        note(QStringLiteral("processHotFolder(_:toDestFolder:) => directoryEnumberator is nil?????"));
        result.listed = false;
        return result;
    }

    // Moving photos onto themselves would only pile up "c1" suffixes.
    if (QFileInfo(destFolder).canonicalFilePath() == root) {
        note(QStringLiteral("the hot folder is the source folder [") + root + QStringLiteral("]: nothing moved"));
        return result;
    }

    const QDateTime passStart = m_clock();
    const auto leave = [&result](const FolderEntry &entry, const QString &reason) {
        note(QStringLiteral("left in the hot folder: ") + shownName(entry.nativeName) + QStringLiteral(": ") + reason);
        result.leftAlone.append({shownName(entry.nativeName), reason});
    };

    // RAW files wait for a second round: one whose JPEG is here goes with
    // it (or waits for it), only the others are taken alone.
    const bool takeRaws = Settings::shared().boolValue(cPrefHotFolderTakeRawFiles);
    QHash<QString, QStringList> rawsByBase;
    std::vector<const FolderEntry *> rawEntries;
    if (takeRaws) {
        for (const FolderEntry &entry : *entries) {
            if (entry.nameIsUtf8 && isRawPhotoName(entry.name)) {
                rawsByBase[baseNameOf(entry.name)] << root + QLatin1Char('/') + entry.name;
                rawEntries.push_back(&entry);
            }
        }
    }
    QSet<QString> claimedRaws;

    // The RAW files that go with a ready JPEG; none when one of them is still
    // being written (the JPEG then waits with it).
    const auto companionsReady = [&](const QStringList &raws, std::optional<QStringList> &ready) {
        ready = QStringList();
        for (const QString &raw : raws) {
            const std::optional<FileAttributes> attributes = fileops::attributes(raw);
            if (!attributes || !attributes->isRegularFile || attributes->isSymLink || photoFileProblem(raw))
                continue; // not a companion: the RAW round says why
            if (checkRawComplete(raw, attributes->modificationDate, result) == Readiness::Waiting) {
                ready.reset();
                return;
            }
            ready->append(raw);
        }
    };

    const auto handle = [&](const FolderEntry &entry, bool rawRound) {
        const QString &name = entry.name;
        if (!entry.nameIsUtf8) {
            leave(entry, QString(cNameNotUtf8Reason));
            return;
        }
        const QString path = root + QLatin1Char('/') + name;
        note(QStringLiteral("SSSSSSS handling url in directoryEnumerator = ") + path);
        errno = 0;
        const std::optional<FileAttributes> attributes = fileops::attributes(path);
        if (!attributes) {
            note(QStringLiteral(" => Unexpected error occured: cannot read the properties of ") + path);
            if (errno != ENOENT)
                leave(entry, QStringLiteral("unreadable: ") + QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
        if (attributes->isSymLink || attributes->isDirectory || !attributes->isRegularFile) {
            leave(entry,
                  attributes->isSymLink         ? QString(cSymbolicLinkReason)
                      : attributes->isDirectory ? QString(cFolderReason)
                                                : QString(cNotRegularFileReason));
            return;
        }
        std::optional<QString> problem = photoFileProblem(path);
        if (!problem && !rawRound && !filetypes::isJpeg(path))
            problem = takeRaws ? QStringLiteral("not a JPEG or camera RAW photo")
                               : QStringLiteral("not a JPEG (only JPEG photos are taken in)");
        if (problem) {
            note(QStringLiteral("not an image[") + name + QLatin1Char(']'));
            // A file just created may not show what it is yet.
            const QDateTime settled = attributes->modificationDate.addSecs(2);
            if (passStart < settled) {
                ++result.waiting;
                noteWaitUntil(settled, result);
            } else {
                leave(entry, *problem);
            }
            return;
        }
        const QStringList raws = rawRound || !isJpegPhotoName(name) ? QStringList() : rawsByBase.value(baseNameOf(name));
        const Readiness readiness = rawRound ? checkRawComplete(path, attributes->modificationDate, result)
                                             : checkComplete(path, attributes->modificationDate, result);
        if (readiness == Readiness::Waiting) {
            ++result.waiting;
            for (const QString &raw : raws)
                claimedRaws.insert(raw);
            return;
        }
        if (const std::optional<QDateTime> date = getPhotoDate(path, cExifDateTimeDigitized))
            note(QStringLiteral("SSSSSSS handling url date = ") + date->toString(Qt::ISODate));
        else
            note(QStringLiteral("Unable to retrieve kCGImagePropertyExifDateTimeDigitized???"));
        if (!checkIfIsOriginal(path)) {
            note(QStringLiteral(" -> NOT Expected Original Name format.... Will skip [") + path + QStringLiteral("]..."));
            m_beep();
            ++result.refused;
            leave(entry, QStringLiteral("not named like a camera file"));
            return;
        }
        for (const QString &raw : raws)
            claimedRaws.insert(raw);
        std::optional<QStringList> companions;
        companionsReady(raws, companions);
        if (!companions) {
            ++result.waiting;
            return;
        }
        moveOne(path, destFolder, result, *companions);
    };

    const auto stopAsked = [&] {
        if (m_abort && m_abort->load()) {
            note(QStringLiteral("asked to stop: the remaining photos wait for the next pass"));
            result.aborted = true;
        }
        return result.aborted;
    };
    for (const FolderEntry &entry : *entries) {
        if (stopAsked())
            break;
        if (!(takeRaws && entry.nameIsUtf8 && isRawPhotoName(entry.name)))
            handle(entry, false);
    }
    for (const FolderEntry *entry : rawEntries) {
        if (result.aborted || stopAsked())
            break;
        if (!claimedRaws.contains(root + QLatin1Char('/') + entry->name))
            handle(*entry, true);
    }

    if (result.moved > 0)
        note(QStringLiteral("processHotFolder(_:toDestFolder:) => processed %1 items....").arg(result.moved));
    else
        note(QStringLiteral("processHotFolder(_:toDestFolder:) => nothing was processed...."));
    note(QStringLiteral("....END..."));
    return result;
}

int processHotFolder(const std::optional<QString> &hotFolder, const QString &destFolder)
{
    return HotFolderIntake().processHotFolder(hotFolder, destFolder);
}

} // namespace sorrelby
