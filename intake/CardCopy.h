#pragma once
// Copying a camera card off: the card's camera-named photos are copied into a
// hidden staging folder on the target's own file system, every copy flushed
// and checked, and only when all of them arrived is anything else touched:
// the earlier photos lying in the source folder go to the trash (never
// deleted), the staged photos are renamed into the source folder (or the
// hot folder in hot folder mode) and checked, and only then is the card
// ejected. A journal in the staging folder tells a start after a kill how to
// finish the copy (see CardStaging.h). When any photo fails to copy, the
// card stays mounted and the source folder untouched. A card that does not
// fit is refused before the first photo is copied.
//
// A plain object; run() blocks and belongs on a background queue. The status
// and progress handlers are called on that queue.

#include "intake/CardStaging.h"
#include "platform/FileOps.h"

#include "platform/FolderScan.h"
#include <QString>

#include <QStringList>

#include <functional>
#include <optional>

namespace sorrelby {

class VolumeMonitor;

struct CardCopyOptions {
    QString cardFolder;
    bool hotFolderMode = false;
    std::optional<QString> sourceFolder; // the target outside hot folder mode
    std::optional<QString> hotFolder;    // the target in hot folder mode
    std::optional<QString> ejectVolume;  // ejected once every photo is safe
    bool autoDecode = false;             // the photos placed are to be decoded
    QStringList keep;                    // photos recovered from an interrupted copy: decoded with the card's, never set aside

    // From the settings: hot folder mode, the folders, the decode flags; the
    // volume stored under cPrefTempMountVolume is ejected only when the card
    // folder lies on it.
    static CardCopyOptions fromSettings(const QString &cardFolder);
};

struct CardCopyProgress {
    QString name; // the photo in hand
    int photosDone = 0;
    int photosTotal = 0;
    qint64 bytesDone = 0;
    qint64 bytesTotal = 0;
    double secondsLeft = -1; // unknown until the first photo is done
};

struct CardCopyResult {
    enum class Outcome {
        Placed,         // every photo copied, checked and placed
        NothingToCopy,  // no camera photos on the card
        NoTarget,       // no source (or hot) folder to place into, or it vanished meanwhile
        Unreadable,     // the card folder cannot be listed
        NoRoom,         // refused before copying: the card does not fit
        CopyFailed,     // some photos did not copy: card and source folder left alone
        SetAsideFailed, // the earlier photos could not all go to the trash: card left mounted
        PlaceFailed,    // some staged photos could not be placed (they stay staged, the card mounted)
    };
    Outcome outcome = Outcome::Placed;
    QStringList staged;    // staged locations, in copy order
    QStringList placed;    // where the photos are now
    QStringList failed;    // card paths of the photos that did not copy
    QString failureReason; // the system's words for the first of them
    QStringList notPlaced; // staged photos left in the staging folder
    int skipped = 0;       // files not named like camera files
    // Every file of the card not copied, with why (camera-name skips included).
    QList<LeftAlone> leftOnCard;
    int setAside = 0;            // earlier photos moved to the trash
    int notImages = 0;           // staged files that are no images, trashed instead of placed
    int alreadyThere = 0;        // photos whose bytes were in the target already
    int recovered = 0;           // photos of an interrupted copy placed before this one began
    QStringList recoveredPhotos; // where they are
    QStringList recoveryLines;   // what that recovery reported
    qint64 bytes = 0;            // bytes of the photos to copy
    qint64 bytesFree = 0;        // room on the target's file system (NoRoom)
    bool ejected = false;
    QString targetFolder; // where the photos were placed (the source or the hot folder)
    // Decoding after copying is on and photos came into the source folder:
    // whoever runs the copy has them decoded (the copy itself renames nothing).
    bool decodeWanted = false;
    QString stagingFolder;
    QString statusLine; // the last status line shown

    bool ok() const { return outcome == Outcome::Placed; }
};

class CardCopy {
public:
    using StatusHandler = std::function<void(const QString &)>;
    using ProgressHandler = std::function<void(const CardCopyProgress &)>;
    using Pause = std::function<void(double seconds)>;
    using Copier = std::function<FileResult(const QString &from, const QString &to)>;

    // The monitor ejects the card; without one nothing is ejected.
    explicit CardCopy(VolumeMonitor *monitor = nullptr);

    void setStatusHandler(StatusHandler handler) { m_status = std::move(handler); }
    void setProgressHandler(ProgressHandler handler) { m_progress = std::move(handler); }
    // The 0.4 s after the eject (tests pass a no-op).
    void setPause(Pause pause) { m_pause = std::move(pause); }
    // The copy of one photo (tests make it fail); fileops::copyNoReplace.
    void setCopier(Copier copier) { m_copier = std::move(copier); }

    CardCopyResult run(const CardCopyOptions &options);

    // The camera photos a run would copy from a card folder (files named like
    // camera files, in the camera's order); none when it cannot be read.
    static std::optional<QStringList> cameraPhotosIn(const QString &cardFolder);

    // run() with the options from the settings; the staged photo locations,
    // or none when nothing was placed.
    std::optional<QStringList> processNewCard2(const std::optional<QString> &cardFolder);

private:
    struct Candidate {
        QString path;
        qint64 size = 0;
    };
    static bool listCard(const QString &cardFolder, QList<Candidate> &candidates, CardCopyResult &result);
    static bool prepareStaging(const StagingJournal &journal, CardCopyResult &result);
    bool copyAll(const QList<Candidate> &candidates, CardCopyResult &result);
    static bool discardStaging(CardCopyResult &result);
    CardCopyResult &stop(CardCopyResult &result, CardCopyResult::Outcome outcome, const QString &line);
    void status(CardCopyResult &result, const QString &line);

    VolumeMonitor *m_monitor;
    StatusHandler m_status;
    ProgressHandler m_progress;
    Pause m_pause;
    Copier m_copier;
};

} // namespace sorrelby
