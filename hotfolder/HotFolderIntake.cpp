#include "hotfolder/HotFolderIntake.h"

#include "imaging/PhotoMetadata.h"
#include "naming/CardCode.h"
#include "naming/FileNameScheme.h"
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

bool HotFolderIntake::moveOne(const QString &path, const QString &destFolder, HotFolderIntakeResult &result) const
{
    QString unreadWhy;
    const QString wanted = destFolder + QLatin1Char('/') + nameForFolder(destFolder, targetName(path, unreadWhy));
    note(QStringLiteral("   origpath = ") + path);
    note(QStringLiteral("tempnewpath = ") + wanted);

    // A name taken between choosing it and moving (another program writing
    // into the source folder) only costs another choice.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::optional<QString> target = getUniquePathString(wanted);
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
    for (const FolderEntry &entry : *entries) {
        if (m_abort && m_abort->load()) {
            note(QStringLiteral("asked to stop: the remaining photos wait for the next pass"));
            result.aborted = true;
            break;
        }
        const QString &name = entry.name;
        if (!entry.nameIsUtf8) {
            leave(entry, QString(cNameNotUtf8Reason));
            continue;
        }
        const QString path = root + QLatin1Char('/') + name;
        note(QStringLiteral("SSSSSSS handling url in directoryEnumerator = ") + path);
        errno = 0;
        const std::optional<FileAttributes> attributes = fileops::attributes(path);
        if (!attributes) {
            note(QStringLiteral(" => Unexpected error occured: cannot read the properties of ") + path);
            if (errno != ENOENT)
                leave(entry, QStringLiteral("unreadable: ") + QString::fromLocal8Bit(std::strerror(errno)));
            continue;
        }
        if (attributes->isSymLink || attributes->isDirectory || !attributes->isRegularFile) {
            leave(entry,
                  attributes->isSymLink         ? QString(cSymbolicLinkReason)
                      : attributes->isDirectory ? QString(cFolderReason)
                                                : QString(cNotRegularFileReason));
            continue;
        }
        std::optional<QString> problem = photoFileProblem(path);
        if (!problem && !filetypes::isJpeg(path))
            problem = QStringLiteral("not a JPEG (only JPEG photos are taken in)");
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
            continue;
        }
        if (checkComplete(path, attributes->modificationDate, result) == Readiness::Waiting) {
            ++result.waiting;
            continue;
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
            continue;
        }
        moveOne(path, destFolder, result);
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
