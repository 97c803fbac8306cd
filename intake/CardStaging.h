#pragma once
// The second half of a card copy, shared by the copy and by every start
// after a kill: the hidden staging folder and the journal in it that says
// where its photos are headed and how far the copy got; setting the earlier
// photos of the source folder aside; placing the staged photos and checking
// them. A staged photo is only ever placed, never trashed: a start that finds
// a staging folder finishes that copy (recoverInterruptedCardCopies).
//
// Free functions without state; they block, so call them off the main thread
// (or where blocking is fine, as in a command).

#include "platform/FileOps.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace sorrelby {

// Name of the hidden staging folder.
inline constexpr QLatin1StringView cCardStagingName{".copyOfCard"};

// The hidden staging folder for a target folder: beside it on the same file
// system, or inside it when the target is the top of its volume.
QString stagingFolderFor(const QString &targetFolder);

// How far a card copy got, kept in its staging folder (written atomically
// before each stage).
struct StagingJournal {
    enum class Phase {
        Copying,      // photos are being copied off the card
        SettingAside, // all copied; the target's earlier photos are going to the trash
        Placing,      // the staged photos are being moved into the target
    };
    struct Photo {
        QString name;
        qint64 size = 0;
    };
    QString target;         // where the photos go: the source folder, or the hot folder
    bool setsAside = false; // the target's earlier photos give way (outside hot folder mode)
    Phase phase = Phase::Copying;
    // Every staged photo, once all are staged: those a kill leaves already
    // placed are still known as this copy's.
    QList<Photo> photos;

    // The staged files of `stagingFolder` as the list of photos.
    void listPhotos(const QStringList &staged);

    static std::optional<StagingJournal> read(const QString &stagingFolder);
    FileResult write(const QString &stagingFolder) const;
};

// The staged files (not hidden) directly in a staging folder, by name.
QStringList stagedFiles(const QString &stagingFolder);

struct SetAsideResult {
    int setAside = 0;   // photos moved to the trash
    int kept = 0;       // photos holding the same bytes as a staged one: they stay
    QStringList failed; // photos that could not be moved
};

// Moves the photos that lie directly in `folder` to the trash: photo files
// only, never a folder, a hidden file or a file of another kind. A photo with
// the bytes of one of `staged` stays (placing then finds it there), so a card
// copied again never sends its own photos to the trash; so do the photos in
// `keep` (those an interrupted copy left, recovered in the same run).
SetAsideResult setAsideEarlierPhotos(const QString &folder, const QStringList &staged, const QStringList &keep = {});

struct PlaceResult {
    QStringList placed;    // where the staged photos are now
    QStringList notPlaced; // staged files still in the staging folder
    int alreadyThere = 0;  // the same bytes were in the target already
    int notImages = 0;     // files that are no photos, moved to the trash (photosOnly)
};

// Moves staged files into `target` under their names. A photo whose bytes are
// in the target already (under any name) is not placed twice; a name taken by
// other bytes gets a collision suffix. Every moved photo is checked by size.
// With photosOnly, files that are no photos go to the trash instead.
PlaceResult placeStaged(const QString &target, const QStringList &staged, bool photosOnly,
                        const std::function<void(const QString &name)> &placing = {});

// Removes what is left of a staging folder once its photos are out of it:
// the journal and a temporary a killed copy may have left.
FileResult removeStagingFolder(const QString &stagingFolder);

struct CardRecoveryReport {
    int recovered = 0;     // photos of the interrupted copy now in their target
    QStringList placed;    // where they are (also those it had placed itself)
    int setAside = 0;      // earlier photos the interrupted copy had still to set aside
    QStringList targets;   // the folders they went into
    QStringList notPlaced; // staged photos that could not be placed (still staged)
    QStringList notSetAside;

    bool any() const { return recovered > 0 || !notPlaced.isEmpty(); }
    // "N photos recovered from an interrupted card copy", and what went wrong.
    QStringList lines() const;
};

// Finishes the copy interrupted in one staging folder: the earlier photos
// set aside when it had not got past that, then every staged photo placed.
// Its journal names the target; `fallbackTarget` serves when it has none or
// that folder is gone. With an `intakeFolder` (hot folder mode), the copy's
// photos go there instead, those it had placed elsewhere too, and nothing is
// set aside: only the intake pass reads card photos in that mode.
CardRecoveryReport finishInterruptedCopy(const QString &stagingFolder, const QString &fallbackTarget, const QString &intakeFolder = {});

// Finishes every card copy a kill interrupted, looking beside (and inside)
// each of `folders` (the source folder first; it is the fallback target).
// Each report line goes to `report` and the log. `intakeFolder`: the hot
// folder in hot folder mode, as above.
CardRecoveryReport recoverInterruptedCardCopies(const QStringList &folders, const std::function<void(const QString &line)> &report = {},
                                                const QString &intakeFolder = {});

} // namespace sorrelby
