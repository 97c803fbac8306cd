#pragma once
// One intake pass over the hot folder: every complete JPEG under a camera
// name is moved into the source folder, a photo showing a code card under its
// card-photo name. With cPrefHotFolderTakeRawFiles on, a JPEG's RAW file of
// the same base name goes with it under the JPEG's new name once both are
// complete, and a RAW that has no JPEG beside it is taken alone once it has
// been left unchanged for the completeness delay. Photos still being written, photos that are not JPEG and
// photos under other names stay where they are for a later pass; nothing is
// ever replaced (a taken name gets a "c1".."c18" suffix).
//
// A plain object the hot folder chain runs on the browser's work queue, one
// pass at a time; it keeps no state between passes. The clock, the code
// detector, the turn of upside-down cameras and the beep can be replaced
// (tests).

#include "naming/CardCode.h"
#include "platform/FolderScan.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <optional>

namespace sorrelby {

// A JPEG that does not end with its end-of-image marker is taken as still
// being written until it has been left unchanged this long; then it is taken
// as it is (some cameras pad their files).
inline constexpr double cIncompleteJpegGraceSeconds = 30.0;
// A RAW file has no end marker to tell it complete: it must have been left
// unchanged at least this long (or the completeness delay, when longer).
inline constexpr double cRawSettleSeconds = 2.0;

struct HotFolderIntakeResult {
    int moved = 0;        // photos moved into the source folder
    int waiting = 0;      // files left because they may still be being written (photos, and
                          // files just made that may yet show to be photos)
    int refused = 0;      // JPEGs left because their name is not a camera name
    int failed = 0;       // photos whose move failed (they stay)
    bool listed = true;   // false: the hot folder could not be read
    bool aborted = false; // stopped between two photos on request
    QStringList movedTo;  // where the moved photos are now, in the order moved (RAW companions included)
    int movedRaws = 0;    // of `moved`, RAW files (with a JPEG or alone)
    // "<name>: <why>" for a RAW that could not follow its JPEG (it stays in
    // the hot folder and a later pass takes it alone).
    QStringList splitPairs;
    // Of those, the photos that look like a card but gave no usable code
    // (logged and marked, see naming/UnreadCardMark.h).
    QStringList possibleUnreadCards;
    // Every file the pass leaves in the hot folder for good (until it is
    // changed): not a JPEG photo, empty, unreadable, not a regular file, a
    // name that is not UTF-8 or not a camera name; refused ones included.
    QList<LeftAlone> leftAlone;
    // When the earliest waiting photo will have been left alone long enough:
    // a pass then takes it without waiting for another file event.
    std::optional<QDateTime> nextCheck;
};

// The name with the dash moved in front of the last character of its first
// "_" piece: ABCDE_0001 -> ABCD-E_0001, AB-CDE_0001 -> ABCD-E_0001.
QString adjustFilenameWithDash(const QString &baseName);

// Whether the file's tail holds the JPEG end-of-image marker.
bool jpegHasEndMarker(const QString &path);

class HotFolderIntake {
public:
    using Clock = std::function<QDateTime()>;
    // The code shown on a photo, or none.
    using Detector = std::function<std::optional<QString>(const QString &path)>;
    using CardReader = std::function<CardReading(const QString &path)>;
    // Applied to every moved photo (turns photos of upside-down cameras).
    using Rotator = std::function<bool(const QString &path)>;
    using Beep = std::function<void()>;

    // Real clock, readCard, rotateUpsideDownIfAllowed, the shared sound
    // player's beep.
    HotFolderIntake();

    void setClock(Clock clock) { m_clock = std::move(clock); }
    void setDetector(Detector detector)
    {
        m_reader = [detector = std::move(detector)](const QString &path) { return CardReading{detector(path), false, {}}; };
    }
    void setCardReader(CardReader reader) { m_reader = std::move(reader); }
    void setRotator(Rotator rotator) { m_rotator = std::move(rotator); }
    void setBeep(Beep beep) { m_beep = std::move(beep); }
    // Checked before each photo: when set the pass ends after the photo in
    // hand. The flag must outlive the passes.
    void setAbortFlag(const std::atomic<bool> *abort) { m_abort = abort; }

    // Moves the complete camera-named JPEGs of hotFolder into destFolder
    // (which must exist). Without a hot folder nothing happens.
    HotFolderIntakeResult run(const std::optional<QString> &hotFolder, const QString &destFolder);

    // The number of photos moved.
    int processHotFolder(const std::optional<QString> &hotFolder, const QString &destFolder) { return run(hotFolder, destFolder).moved; }

private:
    enum class Readiness { Ready, Waiting };
    Readiness checkComplete(const QString &path, const QDateTime &modified, HotFolderIntakeResult &result) const;
    Readiness checkRawComplete(const QString &path, const QDateTime &modified, HotFolderIntakeResult &result) const;
    QString targetName(const QString &path, QString &unreadWhy) const;
    bool moveOne(const QString &path, const QString &destFolder, HotFolderIntakeResult &result, const QStringList &raws = {}) const;
    void noteWaitUntil(const QDateTime &when, HotFolderIntakeResult &result) const;

    Clock m_clock;
    CardReader m_reader;
    Rotator m_rotator;
    Beep m_beep;
    const std::atomic<bool> *m_abort = nullptr;
};

// A pass with the real collaborators.
int processHotFolder(const std::optional<QString> &hotFolder, const QString &destFolder);

} // namespace sorrelby
