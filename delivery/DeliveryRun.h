#pragma once
// Delivery of a shoot: empties the source folder into the destination
// ("main") folder. Coded photos are moved into the destination, photos without
// a code go into the UNASSIGNED_PHOTOS folder or stay behind, and card photos
// are thrown away, except the most recent ones when they are to be kept for
// the next batch.
//
// A plain class the shoot engine drives (and the `deliver` command): the
// engine fills in the paths and the keep flag, runs it on the work queue and
// reports the progress lines and the result, which the progress dialog shows
// (a summary, or nothing before it closes). It never waits on another
// thread. One run at a time per object; the callbacks are called on the
// thread that runs it.
//
// Nothing delivered is ever lost: a photo never replaces another file. A
// same-named file with the same content is this photo delivered before, so
// only the source goes; a different one (two camera bodies numbering alike, a
// wrapped counter) keeps its name and the photo takes a free "c1".."c18"
// variant of its own. Moves never replace (a copy flushed and verified first
// when the target is on another file system); a failed move leaves the photo
// in the source folder.
//
// The main folder is often on a drive that can fill up or go away. A run
// never makes the main folder nor anything above its daily sub-folder and
// UNASSIGNED_PHOTOS (those it makes one level at a time), checks before each
// photo that the main folder is still the one it started with (device and
// inode: an unmounted drive leaves an empty mount point under the same name),
// and stops at the first full, read-only, failing or vanished drive, leaving
// the rest in the source folder. A card photo goes only once every photo of
// its subject has left the source folder, and never in a run that stopped:
// the card is what decodes its subject again.
//
// A JPEG's RAW companion (naming/RawPairs.h) is not a photo of its own here:
// it goes where its JPEG goes, under the JPEG's delivered base name, or is
// thrown away or kept with its card.

#include "platform/AlertPresenter.h"
#include "platform/FileOps.h"
#include "platform/FolderScan.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace sorrelby {

class Settings;

// What the dialog does once a batch (or the whole run) is over.
enum class DeliveryEnd {
    StayOpen,    // nothing to show; the user closes the dialog
    ShowSummary, // show the summary as a sheet, closing it by itself, then close
    Close,       // close at once, without a summary
};

// The six counters of one batch.
struct DeliveryCounters {
    int moved = 0;           // coded photos moved into the destination
    int trashed = 0;         // card photos moved to the trash
    int removed = 0;         // card photos deleted because the trash failed
    int unassigned = 0;      // photos without a code moved into the unassigned folder
    int total = 0;           // photos in the batch
    int allowed = 0;         // photos delivery tried to move into the destination (never card photos)
    int renamed = 0;         // delivered photos (moved or unassigned) that took a "c<k>" name, theirs being taken
    int leftWithoutCode = 0; // photos without a code left in the source folder, as the preferences ask

    // Photos of the batch still in the source folder (kept card photos, photos
    // without a code left behind, failed moves).
    int leftInSource() const { return total - (trashed + moved + removed + unassigned); }
};

struct DeliverySummary {
    QString title;                 // the alert's message text
    QString message;               // its informative text
    double autoCloseSeconds = 5.0; // the sheet ends by itself after this
    // What went where, one line each (see describeWhereabouts).
    QStringList whereabouts;
    // Some photo meant to go did not: the summary waits to be read.
    bool problem = false;

    // "Possible Issue(s) ..." (some allowed photo was not moved).
    bool reportsIssues() const;
};

// The summary of a batch's counters, worded as the dialog shows it.
DeliverySummary makeDeliverySummary(const DeliveryCounters &counters, bool hotFolderMode);

// Why a run stopped before its end.
enum class DeliveryStopReason {
    DiskFull,       // ENOSPC, EDQUOT
    ReadOnly,       // EROFS
    DiskError,      // EIO
    NotPermitted,   // EACCES, EPERM
    MainFolderGone, // missing, or another folder under its name (an empty mount point)
};

struct DeliveryStop {
    DeliveryStopReason reason = DeliveryStopReason::MainFolderGone;
    QString mainFolder;
    QString detail;       // the failing step and the system's words
    int leftInSource = 0; // files of the run still in the source folder

    // "Delivery stopped: ..." in one paragraph, naming the reason and the
    // files left behind.
    QString describe() const;
};

// The errors that stop a run: the drive, not the photo, is at fault.
std::optional<DeliveryStopReason> stopReasonFor(int errorNumber);

// A photo delivery placed: its name in the source folder (which holds its
// code) and where it is now.
struct DeliveredFile {
    QString sourceName;
    QString deliveredPath;
};

struct DeliveryBatchResult {
    QString destPath;
    QString cameraKey; // the camera of the batch when delivering one camera at a time
    DeliveryCounters counters;
    QStringList keptCodePhotos; // card photos kept in the source, newest first
    QStringList failures;       // one line per photo that could not be moved or discarded
    QStringList heldBack;       // photos left in the source after a possible unread card
    DeliveryEnd end = DeliveryEnd::StayOpen;
    std::optional<DeliverySummary> summary; // with ShowSummary
    std::optional<DeliveryStop> stop;       // the batch stopped here; the run goes no further
    QString unassignedPath;                 // where photos without a code went, when any did
    QList<DeliveredFile> delivered;         // the photos moved (or found delivered before), in order

    // A photo meant to leave the source folder is still there (a failed move
    // or discard, or a stop).
    bool hasProblems() const;
};

// What went where in a batch, in words to show: delivered to the
// destination, to UNASSIGNED_PHOTOS, card photos to the trash, and what stays
// in the source folder and why.
QStringList describeWhereabouts(const DeliveryBatchResult &batch);

enum class DeliveryStatus {
    Finished,
    MissingSourcePath,
    MissingDestinationPath,
    SourceUnreadable,
    UnableToSort,
    Stopped, // see DeliveryRunResult::stop
};

struct DeliveryRunResult {
    DeliveryStatus status = DeliveryStatus::Finished;
    QList<DeliveryBatchResult> batches;
    // Camera key -> photos not delivered because their camera is neither a
    // Nikon nor a Canon (delivery one camera at a time only).
    QMap<QString, int> camerasLeftBehind;
    std::optional<Alert> alert; // to show as a sheet on the dialog ("Unable to get sorted list")
    DeliveryEnd end = DeliveryEnd::StayOpen;
    std::optional<DeliveryStop> stop; // with Stopped
    // Files of the source folder that are not photos to deliver; they stay.
    QList<LeftAlone> leftAlone;

    // Photos left behind because their camera is not delivered.
    int photosOfCamerasLeftBehind() const;
};

class DeliveryRun {
public:
    using Progress = std::function<void(const QString &line)>;
    // The photo in hand, the n-th of the run's N (the source folder's files
    // when the run began).
    using PhotoProgress = std::function<void(int done, int total, const QString &photo)>;
    using BatchEnded = std::function<void(const DeliveryBatchResult &batch)>;
    using Clock = std::function<QDateTime()>;
    // Camera key -> that camera's photos; none when no grouping could be made.
    using CameraGrouper = std::function<std::optional<QMap<QString, QStringList>>(const QStringList &paths)>;

    // The file operations delivery uses (tests inject failures).
    struct FileOperations {
        std::function<FileResult(const QString &from, const QString &to)> move = fileops::moveNoReplace;
        std::function<FileResult(const QString &path)> trash = [](const QString &path) { return fileops::moveToTrash(path); };
        std::function<FileResult(const QString &path)> remove = fileops::removeFile;
    };

    explicit DeliveryRun(Settings &settings);

    std::optional<QString> fSrcPath;
    std::optional<QString> fDestPath; // already including the daily sub-folder
    // The main folder under which UNASSIGNED_PHOTOS is formed; cPrefDestinationPath
    // when absent.
    std::optional<QString> fMainFolderPath;
    bool fDoKeepLastQRPhoto = false;
    // A photo marked as a possible unread card (naming/UnreadCardMark.h) and
    // the photos after it that carry its code (the code of the card before
    // it, up to the next card) stay in the source folder: they may belong to
    // a subject whose card was not read.
    bool fHoldBackAfterUnreadCard = false;

    void setProgress(Progress progress) { m_progress = std::move(progress); }
    void setPhotoProgress(PhotoProgress progress) { m_photoProgress = std::move(progress); }
    void setBatchEnded(BatchEnded batchEnded) { m_batchEnded = std::move(batchEnded); }
    void setClock(Clock clock) { m_clock = std::move(clock); }
    void setCameraGrouper(CameraGrouper grouper) { m_grouper = std::move(grouper); }
    void setFileOperations(FileOperations operations) { m_fileOps = std::move(operations); }
    // The pause after every photo, which paces the dialog; 0 for none.
    void setPauseSeconds(double seconds) { m_pauseSeconds = seconds; }

    // cPrefKeepLastQRCodeFile, forced on in hot folder mode (the next batch
    // must still find its card photo).
    static bool keepLastQRPhotoSetting(const Settings &settings);

    // What the dialog runs on the work queue: the two opening progress lines,
    // each followed by the pause, then finishProcessxxx(). Nothing happens
    // without a source path.
    DeliveryRunResult deliver();

    // The run over the whole source folder: lists its files, orders them by
    // creation date and delivers them in one batch, or one batch per Nikon or
    // Canon camera when delivering by camera.
    DeliveryRunResult finishProcessxxx();

    // Delivers the given photos (ordered again by creation date) into
    // destPath.
    DeliveryBatchResult finishProcessxxx2(const QStringList &photos, const std::optional<QString> &destPath);

    // The unassigned folder (created when missing, below an existing main
    // folder only), or none when photos without a code are not handled.
    std::optional<QString> getDestinationPathForUnknown() const;
    static std::optional<QString> getDestinationPathForUnknown(const Settings &settings, const QDateTime &now,
                                                               const std::optional<QString> &mainFolder = std::nullopt);
    // The same path, without making anything.
    static std::optional<QString> unassignedFolderPath(const Settings &settings, const QDateTime &now,
                                                       const std::optional<QString> &mainFolder = std::nullopt);

    // The unknown marker (the code of its name) of a photo the user marked unknown
    // (base name beginning with "?" or "unknown", any case), or none.
    static std::optional<QString> checkIfIsUnknown(const QString &path);
    // The photo still has its camera name.
    bool checkIfIsOriginal(const QString &path) const;

private:
    QDateTime now() const;
    void report(const QString &line) const;
    void pause() const;
    QStringList listSourceFolder(const QString &folder, bool &readable, QList<LeftAlone> *leftAlone = nullptr) const;
    bool runsInHotFolderMode() const;
    bool deliverByCamera() const;
    void deliverByCameraGroups(const QStringList &ordered, const QString &destPath, DeliveryRunResult &result);
    enum class Placement { Failed, Moved, Renamed, AlreadyThere };
    // `raws`: the JPEG's RAW companions, whose names under the chosen
    // variant must be free too; placedAt: where the photo now lies, unless
    // it failed.
    Placement moveIntoFolder(const QString &photo, const QString &target, const QString &failureContext, QStringList &failures,
                             int &errorNumber, QString &placedAt, const QStringList &raws = {}) const;
    // The RAW companions after their JPEG, under its delivered base name.
    Placement moveCompanions(const QStringList &raws, const QString &placedAt, QStringList &failures, int &errorNumber) const;
    void discardCodePhoto(const QString &photo, DeliveryCounters &counters, QStringList &failures) const;
    void discardCardsOfDeliveredSubjects(const QStringList &cards, DeliveryBatchResult &batch) const;
    void finishBatch(DeliveryBatchResult &batch) const;

    // The main folder of the run, as it was when the run began.
    struct MainFolder {
        QString path;
        dev_t device = 0;
        ino_t inode = 0;
    };
    QString mainFolderPath() const;
    // None when the main folder is still the one the run began with, else
    // why not.
    std::optional<DeliveryStop> checkMainFolder() const;
    // Makes the folder (one level, the one above must be there) and checks it
    // landed on the main folder's drive; none when it is there.
    std::optional<DeliveryStop> ensureFolder(const QString &folder) const;
    // The stop a failed step means, if any: a disk error, or ENOENT with the
    // main folder gone.
    std::optional<DeliveryStop> stopFor(int errorNumber, const QString &detail) const;

    Settings &m_settings;
    Progress m_progress;
    PhotoProgress m_photoProgress;
    int m_photosDone = 0;
    int m_photosTotal = 0;
    BatchEnded m_batchEnded;
    Clock m_clock;
    CameraGrouper m_grouper;
    FileOperations m_fileOps;
    double m_pauseSeconds = 0.1;
    std::optional<bool> m_runHotFolderMode; // the mode of the run under way
    std::optional<MainFolder> m_main;       // set for the run under way
};

} // namespace sorrelby
