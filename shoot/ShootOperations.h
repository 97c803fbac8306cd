#pragma once
// What the shoot engine is asked to do and what it reports: the request, the
// progress of the operation under way and its typed result. Plain values,
// copied across threads.

#include "delivery/DeliveryRun.h"
#include "naming/DecodePass.h"
#include "platform/FolderScan.h"

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace sorrelby {

enum class ShootOperation {
    Refresh,         // list the folder, in turn; the views reload
    Decode,          // read every card (detecting pass), camera split as set
    CarryCodes,      // carry the codes of card-photo names to the photos after them
    Revert,          // every photo back to its camera name
    RevertAndDecode, // Revert, then Decode
    Deliver,         // move the sorted photos into the main folder
    HotFolderBatch,  // read unread cards, carry codes, deliver keeping the newest cards
    Undo,            // the last step of the folder's undo journal, backwards
    Redo,            // the last undone step, again
};

// What an operation is doing at the moment.
enum class ShootStep {
    Listing,
    Reverting,
    Detecting, // reading cards and naming photos
    CarryingCodes,
    Delivering,
    Restoring, // undo or redo
};

QString operationName(ShootOperation operation); // "decode", "deliver", ...

struct ShootRequest {
    ShootRequest(ShootOperation op = ShootOperation::Refresh) // NOLINT: a request is its operation plus options
        : operation(op)
    { }

    ShootOperation operation;
    // Deliver, HotFolderBatch: the destination including its daily
    // sub-folder, and the main folder UNASSIGNED_PHOTOS goes into; none:
    // the validated main folder of the settings and today's sub-folder.
    std::optional<QString> destination;
    std::optional<QString> mainFolder;
    // Keep the newest card photos in the source folder; none: the setting
    // (always in hot folder mode and in a hot folder batch).
    std::optional<bool> keepLastCards;
    // The pause after each delivered photo; none: the engine's.
    std::optional<double> pauseSeconds;
    // The moment a delivery dates its daily folders by, so that a caller's
    // destination and UNASSIGNED_PHOTOS agree across midnight; none: now.
    std::optional<QDateTime> deliveryTime;
    // HotFolderBatch: photos whose cards were read as they came in; the
    // others still under camera names are read before codes are carried.
    std::function<bool(const QString &photo)> cardsRead;
    // Threads detecting ahead of the walk (0: one per core).
    int detectionWorkers = 0;
};

struct ShootProgress {
    quint64 ticket = 0;
    ShootOperation operation = ShootOperation::Refresh;
    QString folder;
    ShootStep step = ShootStep::Listing;
    int done = 0;  // n ...
    int total = 0; // ... of N in this step
    QString photo; // the photo in hand
    // The line to show: the codes found so far while decoding, the
    // delivery's own line while delivering.
    QString text;
};

struct ShootResult {
    enum class Outcome {
        Done,     // as asked, nothing left over
        Problems, // done, but some photos kept their names or stayed: see problems
        Aborted,  // stopped after the photo in hand; renamed photos keep their names
        NotRun,   // nothing was done: see reason
    };
    quint64 ticket = 0;
    ShootOperation operation = ShootOperation::Refresh;
    QString folder;
    Outcome outcome = Outcome::Done;
    QString reason;                // why nothing was done (or a delivery stopped), in words to show
    bool folderUnreadable = false; // the folder could not be listed; reason: the system's words
    int listed = 0;                // photos of the listing the operation started from
    int reverted = 0;
    int walked = 0;                 // photos the decode walked
    int renamed = 0;                // photos the decode renamed
    int failed = 0;                 // photos that could not be renamed
    QStringList codes;              // codes found, in walk order
    QStringList problems;           // "<name>: <why>", one per photo
    QList<DecodeSummary> sequences; // per camera sequence (name-carrying pass)
    QStringList listing;            // the photos the decode walked (their names before)
    QList<LeftAlone> leftAlone;     // files of the folder that are no photos of the shoot: untouched
    QStringList readForCards;       // HotFolderBatch: photos whose cards were read first
    std::optional<DeliveryRunResult> delivery;
    QString undoLabel; // Undo, Redo: the step ("Reassign to A101")

    // "Found/Decoded QRCodes:\n\n" and the codes, as the passes word it.
    QString message() const;
    // One line for a log or a terminal.
    QString describe() const;
};

// Why a delivery did not run or stopped, in one paragraph; empty when it
// ran to its end.
QString describeDeliveryStop(const DeliveryRunResult &result);
// One line about a delivery run into destination.
QString describeDelivery(const DeliveryRunResult &result, const QString &destination);

} // namespace sorrelby

Q_DECLARE_METATYPE(sorrelby::ShootProgress)
Q_DECLARE_METATYPE(sorrelby::ShootResult)
