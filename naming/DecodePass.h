#pragma once
// The decode passes that give every photo the code of the card photo taken
// before it.
//
// NameCarryingPass works on file names only: card photos already carry their
// card-photo name, and the pass carries each code to the photos that follow
// its card (doAutoDecodeQRAction3), optionally one camera at a time
// (doAutoDecodeQRAction3New). It runs synchronously on the caller's thread;
// hosts run it on the browser's work queue.
//
// DetectingPass runs code detection on every photo itself and names card
// photos and following photos in one walk, with the same camera split. A
// photo that looks like a card but gives no usable code is logged, counted and
// marked (naming/UnreadCardMark.h); it is named like any other photo, since
// guessing is worse than a mark a person sees. The name-carrying pass counts
// the marks it meets.
// Detection may run ahead of the walk on a small pool of threads, but renames
// happen strictly one by one in capture order, so the names are those of a
// one-by-one walk. The abort flag
// may be set from any thread; the photo being handled finishes and the walk
// stops before the next one.
//
// A JPEG's RAW companion (naming/RawPairs.h) is not walked: it takes its
// JPEG's name in the JPEG's rename, so a pair never holds two codes.
//
// Every rename goes through renamePhoto (naming/PhotoRename.h): never over
// another file, and a rename an interrupted run left half way is finished.
// Two passes over the same folder must not run at the same time.

#include "naming/CardCode.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <optional>

namespace sorrelby {

class SerialQueue;

inline constexpr QLatin1StringView cDecodeMessagePrefix{"Found/Decoded QRCodes:\n\n"};
inline constexpr QLatin1StringView cNoCodeFoundSummary{"<no code found>"};

// Camera key -> that camera's photos in input order; none when the grouping
// could not be made.
using CameraGrouper = std::function<std::optional<QMap<QString, QStringList>>(const QStringList &paths)>;

// One camera's photos, walked as a sequence of their own.
struct CameraSequence {
    QString cameraKey;
    QStringList photos; // in the order given to splitByCamera
};

// Whether the passes walk each camera's photos on their own
// (cPrefCheckForMultiCameras or cPrefEnableHotFolderMode).
bool cameraSplitWanted();

// The camera split of both passes: one sequence per camera whose key begins
// with "nikon" or "canon" (any case); other cameras are left out (logged).
// None when the grouping failed. The grouper defaults to
// doCreateDictionaryOfCameraImages.
std::optional<QList<CameraSequence>> splitByCamera(const QStringList &paths, const CameraGrouper &grouper = {});

// The walk reached this photo, at this 1-based position of count photos
// (all sequences of the camera split together).
using PhotoProgress = std::function<void(int position, int count, const QString &photo)>;

// What one walk over one sequence of photos did.
struct DecodeSummary {
    QString cameraKey;                              // the camera of the sequence; empty without the camera split
    QString summary = QString(cNoCodeFoundSummary); // the codes found, ", "-separated
    QStringList codes;                              // the same, one by one (a code may hold ", ")
    int photos = 0;                                 // photos walked
    int renamed = 0;
    int failed = 0;       // renames that failed (the photo kept a name)
    QStringList problems; // "<name>: <why>" for each of them
    // "<name>: <why>" for each photo that looks like a card but gave no
    // usable code (the detecting pass finds them, the other counts marks).
    QStringList possibleUnreadCards;
    bool aborted = false; // detecting pass only

    // "Found/Decoded QRCodes:\n\n" + summary, the pass's final message.
    QString message() const { return cDecodeMessagePrefix + summary; }
};

class NameCarryingPass {
public:
    // Progress: the message, the 1-based position of the photo just handled,
    // and a second number that is always 0. Called on the pass's thread.
    using Progress = std::function<void(const std::optional<QString> &message, int position, int other)>;
    using Completion = std::function<void()>;
    using CameraGrouper = sorrelby::CameraGrouper;

    // The grouper defaults to doCreateDictionaryOfCameraImages.
    explicit NameCarryingPass(CameraGrouper grouper = {});

    // With the camera split wanted, one pass per Nikon or Canon camera
    // (other cameras are left alone), else one pass over all photos. The
    // completion is called once at the very end.
    void doAutoDecodeQRAction3New(const QStringList &paths, const Progress &progress = {}, const Completion &completion = {});
    // One pass over one sequence of photos.
    void doAutoDecodeQRAction3(const QStringList &paths, const Progress &progress = {}, const Completion &completion = {});

    // One entry per sequence walked since construction.
    const QList<DecodeSummary> &summaries() const { return m_summaries; }

    // Each photo as the walk reaches it.
    void setPhotoHandler(PhotoProgress handler) { m_photo = std::move(handler); }

private:
    void walk(const QStringList &paths, const QString &cameraKey, const Progress &progress);

    CameraGrouper m_grouper;
    QList<DecodeSummary> m_summaries;
    QStringList m_pairProblems; // RAWs that could not follow their JPEG again, for the next summary
    PhotoProgress m_photo;
    int m_position = 0;
    int m_count = 0;
};

class DetectingPass {
public:
    // The code shown on a photo, or none.
    using Detector = std::function<std::optional<QString>(const QString &path)>;
    // The same with the possible-unread-card verdict.
    using CardReader = std::function<CardReading(const QString &path)>;
    // The walk reached the photo at this 1-based position of count photos.
    using Progress = std::function<void(int position, int count)>;
    // "Found/Decoded QRCodes:\n\n" + the summary, each time a code is found.
    using Found = std::function<void(const QString &message)>;
    using Finished = std::function<void(const DecodeSummary &summary)>;

    // Without a detector the pass reads cards with readCard.
    explicit DetectingPass(Detector detector = {});
    ~DetectingPass();
    DetectingPass(const DetectingPass &) = delete;
    DetectingPass &operator=(const DetectingPass &) = delete;

    void setProgressHandler(Progress handler) { m_progress = std::move(handler); }
    void setFoundHandler(Found handler) { m_found = std::move(handler); }
    void setFinishedHandler(Finished handler) { m_finished = std::move(handler); }
    // Each photo as the walk reaches it, with the progress handler.
    void setPhotoHandler(PhotoProgress handler) { m_photo = std::move(handler); }
    // A flag of the caller's that stops the walk as abort() does (it must
    // outlive the walk); read only, so a signal handler may set it.
    void setAbortFlag(const std::atomic<bool> *flag) { m_externalAbort = flag; }
    // The grouping for the camera split (default doCreateDictionaryOfCameraImages).
    void setCameraGrouper(CameraGrouper grouper) { m_grouper = std::move(grouper); }
    // Replaces the detector.
    void setCardReader(CardReader reader) { m_reader = std::move(reader); }

    // Threads detecting ahead of the walk; clamped to 1..the number of cores.
    // 0 (the default) means one per core.
    void setWorkerCount(int workers);
    int workerCount() const;

    // The "Abort Process" button; safe from any thread.
    void abort() { fAbortProcess.store(true); }
    bool isAborted() const { return fAbortProcess.load() || (m_externalAbort && m_externalAbort->load()); }

    // False (logged) when cPrefCanSupportVisionFramework is off: detection is
    // not offered then and nothing may be renamed by this pass.
    static bool detectionAvailable();

    // Clears the abort flag, then walks the photos on `queue`; the handlers
    // are called on the main thread. The pass must outlive the walk (wait for
    // the finished handler).
    void doAutoDecodeQRAction(const QStringList &urls, SerialQueue &queue);

    // The walk itself, synchronously; the handlers are called on this thread.
    // Orders the photos by creation date (reversed with
    // cPrefReverseAssignBarcode); with the camera split wanted, walks each
    // Nikon or Canon camera's photos as a sequence of its own, one after the
    // other, and leaves other cameras' photos alone. Progress counts the
    // photos walked; the summary holds the codes of all sequences.
    DecodeSummary run(const QStringList &urls);

    std::atomic<bool> fAbortProcess{false};

private:
    struct Lookahead;
    DecodeSummary walk(const QStringList &urls, const Progress &progress, const Found &found, const Finished &finished);

    CardReader m_reader;
    CameraGrouper m_grouper;
    Progress m_progress;
    Found m_found;
    Finished m_finished;
    PhotoProgress m_photo;
    const std::atomic<bool> *m_externalAbort = nullptr;
    int m_workers = 0;
};

} // namespace sorrelby
