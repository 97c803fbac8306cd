#include "naming/DecodePass.h"

#include "naming/CameraGrouping.h"
#include "naming/CardCode.h"
#include "naming/FileNameScheme.h"
#include "naming/PhotoOrdering.h"
#include "naming/PhotoRename.h"
#include "naming/RawPairs.h"
#include "naming/UnreadCardMark.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"

#include <QThread>

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace sorrelby {

namespace {

const QString kNameCarrying = QStringLiteral("DecodePass");
const QString kDetecting = QStringLiteral("DetectingPass");

QString joinedForLog(const QStringList &paths)
{
    return QLatin1Char('[') + paths.join(QLatin1String(", ")) + QLatin1Char(']');
}

void noteFailure(DecodeSummary &summary, const QString &path, const QString &why)
{
    ++summary.failed;
    summary.problems << fileNameOf(path) + QLatin1String(": ") + why;
}

void addToSummary(DecodeSummary &summary, const QString &code, bool &foundBefore)
{
    summary.codes << code;
    if (foundBefore)
        summary.summary += QLatin1String(", ") + code;
    else
        summary.summary = code;
    foundBefore = true;
}

bool decodesInCameraMode(const QString &cameraKey)
{
    return cameraKey.startsWith(QLatin1String("nikon"), Qt::CaseInsensitive)
        || cameraKey.startsWith(QLatin1String("canon"), Qt::CaseInsensitive);
}

// The photos a walk visits: a JPEG's RAW companion is renamed with it and
// never walked on its own, where its file date or its missing camera key
// could give it another code. A RAW left behind by an interrupted run
// follows its JPEG again first.
QStringList walkedPhotos(const QStringList &paths, QStringList &problems)
{
    const Reunion reunion = reuniteRawPairs(paths, Settings::shared().intValue(cPrefOriginalNameFormatTag));
    problems += reunion.problems;
    return pairRawCompanions(reunion.paths).photos;
}

void noteSplitPairs(DecodeSummary &summary, const PhotoRename &rename)
{
    summary.failed += int(rename.companionProblems.size());
    summary.problems += rename.companionProblems;
}

// Gives a photo the coded name code_<camera base>.<ext>: where "revert to
// the camera name, then rename to the coded name" ends, in one move, and
// without touching a photo that has that name already. The code goes in
// front of the camera name even when the camera name itself is taken: left
// behind the new code, an old one would read as part of it (A1_B2_IMG_0004
// carries A1_B2). When the coded name is taken the photo still goes back to
// its camera name where that is free, so it never keeps another code.
bool giveCode(const QString &path, const QString &code, int tag, DecodeSummary &summary)
{
    const QString operation = QStringLiteral("doAutoDecodeQRAction3()");
    const QString original = getOriginalName(path, tag);
    const std::optional<QString> newName = makeCodedFileName(code, baseNameOf(original), extensionOf(original));
    if (!newName) {
        noteFailure(summary, path, QStringLiteral("the code cannot name a photo"));
        return false;
    }
    const PhotoRename rename = renamePhoto(path, *newName);
    noteSplitPairs(summary, rename);
    if (rename.outcome == PhotoRename::Renamed) {
        logOp(kNameCarrying, operation, QStringLiteral("renamed ") + path + QLatin1String(" TO ") + rename.to);
        ++summary.renamed;
        return true;
    }
    if (rename) {
        logOp(kNameCarrying, operation, QStringLiteral("already named: ") + rename.to);
        return true;
    }
    noteFailure(summary, path, rename.why);
    if (!checkIfIsOriginal(path, tag) && original != fileNameOf(path)) {
        if (const PhotoRename reverted = renamePhoto(path, original); reverted.outcome == PhotoRename::Renamed)
            logOp(kNameCarrying, operation, QStringLiteral("reverted ") + path + QLatin1String(" TO ") + reverted.to);
    }
    return false;
}

// The detecting pass's name: the code in front of the camera name, with the
// marker on a card photo. A code already in the name (its revert failed)
// comes off rather than staying behind the new one: B2_A1_IMG_0003.JPG
// would read as the code B2_A1.
void nameDetected(const QString &path, const QString &code, bool codePhoto, int tag, DecodeSummary &summary)
{
    const QString operation = QStringLiteral("doAutoDecodeQRAction(urls:)");
    const QString base = cameraBaseName(path, tag);
    const QString extension = extensionOf(path);
    const std::optional<QString> name = codePhoto ? makeCodePhotoFileName(code, base, extension) : makeCodedFileName(code, base, extension);
    if (!name) {
        noteFailure(summary, path, QStringLiteral("the code cannot name a photo"));
        return;
    }
    const PhotoRename rename = renamePhoto(path, *name);
    noteSplitPairs(summary, rename);
    if (rename.outcome == PhotoRename::Renamed) {
        logOp(kDetecting, operation, QStringLiteral("renamed ") + path + QLatin1String(" TO ") + rename.to);
        ++summary.renamed;
    } else if (!rename) {
        noteFailure(summary, path, rename.why);
    }
}

} // namespace

bool cameraSplitWanted()
{
    const Settings &settings = Settings::shared();
    return settings.boolValue(cPrefCheckForMultiCameras) || settings.boolValue(cPrefEnableHotFolderMode);
}

std::optional<QList<CameraSequence>> splitByCamera(const QStringList &paths, const CameraGrouper &grouper)
{
    const QString operation = QStringLiteral("splitByCamera()");
    logOp(kNameCarrying, operation, QStringLiteral("splitting %1 photos by camera").arg(paths.size()));
    const std::optional<QMap<QString, QStringList>> cameras
        = grouper ? grouper(paths) : std::optional<QMap<QString, QStringList>>(doCreateDictionaryOfCameraImages(paths));
    if (!cameras)
        return std::nullopt;
    QList<CameraSequence> sequences;
    for (auto it = cameras->cbegin(); it != cameras->cend(); ++it) {
        if (!decodesInCameraMode(it.key())) {
            logOp(kNameCarrying, operation, QStringLiteral("not decoding camera %1 (%2 photos)").arg(it.key()).arg(it.value().size()));
            continue;
        }
        sequences.append({it.key(), it.value()});
    }
    return sequences;
}

// ---------------------------------------------------------------------------
// Name-carrying pass

NameCarryingPass::NameCarryingPass(CameraGrouper grouper)
    : m_grouper(std::move(grouper))
{ }

void NameCarryingPass::doAutoDecodeQRAction3New(const QStringList &listed, const Progress &progress, const Completion &completion)
{
    const QStringList paths = walkedPhotos(listed, m_pairProblems);
    if (!cameraSplitWanted()) {
        doAutoDecodeQRAction3(paths, progress, completion);
        return;
    }
    if (const std::optional<QList<CameraSequence>> sequences = splitByCamera(paths, m_grouper)) {
        m_position = 0;
        m_count = 0;
        for (const CameraSequence &sequence : *sequences)
            m_count += int(sequence.photos.size());
        for (const CameraSequence &sequence : *sequences)
            walk(sequence.photos, sequence.cameraKey, progress);
    }
    if (completion)
        completion();
}

void NameCarryingPass::doAutoDecodeQRAction3(const QStringList &listed, const Progress &progress, const Completion &completion)
{
    const QStringList paths = walkedPhotos(listed, m_pairProblems);
    m_position = 0;
    m_count = int(paths.size());
    walk(paths, {}, progress);
    if (completion)
        completion();
}

void NameCarryingPass::walk(const QStringList &paths, const QString &cameraKey, const Progress &progress)
{
    const QString operation = QStringLiteral("doAutoDecodeQRAction3()");
    logOp(kNameCarrying, operation, joinedForLog(paths));
    DecodeSummary summary;
    summary.cameraKey = cameraKey;
    summary.problems = std::exchange(m_pairProblems, {});
    summary.failed = int(summary.problems.size());

    std::optional<QStringList> ordered = sortImageUrls222(paths, SortDirection::Ascending);
    if (!ordered) {
        logOp(kNameCarrying, operation, QStringLiteral("unable to order the photos; nothing renamed"));
        m_summaries.append(summary);
        return;
    }
    const Settings &settings = Settings::shared();
    if (settings.boolValue(cPrefReverseAssignBarcode))
        std::reverse(ordered->begin(), ordered->end());
    // One read for the whole walk: the tag must not change halfway.
    const int tag = settings.intValue(cPrefOriginalNameFormatTag);

    std::optional<QString> currentCode;
    bool foundBefore = false;
    int position = 1;
    for (const QString &path : std::as_const(*ordered)) {
        const std::optional<QString> code = doGetQRCodeFromFileName(path, tag);
        const bool isCodePhoto = code.has_value();
        if (isCodePhoto) {
            logOp(kNameCarrying, operation, QStringLiteral("code photo ") + path + QLatin1String(" code = ") + *code);
            addToSummary(summary, *code, foundBefore);
            currentCode = code;
        }
        if (progress)
            progress(summary.message(), position, 0);
        if (m_photo)
            m_photo(++m_position, m_count, path);
        if (!isCodePhoto) {
            if (const std::optional<QString> why = possibleUnreadCardMark(path)) {
                logOp(kNameCarrying, operation, QStringLiteral("possible unread card: ") + path + QLatin1String(": ") + *why);
                summary.possibleUnreadCards << fileNameOf(path) + QLatin1String(": ") + *why;
            }
        }
        if (currentCode && !isCodePhoto)
            giveCode(path, *currentCode, tag, summary);
        ++summary.photos;
        ++position;
    }
    m_summaries.append(summary);
}

// ---------------------------------------------------------------------------
// Detecting pass

// Detects codes ahead of the walk on a few threads. The walk takes results in
// order; a worker never starts a photo more than `window` places ahead of the
// walk, and none after an abort. A photo the walk needs that no worker has
// started is detected by the walk itself.
struct DetectingPass::Lookahead {
    Lookahead(const CardReader &reader, const QStringList &paths, int workers, const std::atomic<bool> &abortFlag)
        : detect(reader)
        , photos(paths)
        , abort(abortFlag)
        , window(2 * workers)
        , states(size_t(paths.size()), State::Waiting)
        , results(size_t(paths.size()))
    {
        if (workers > 1) {
            for (int i = 0; i < workers; ++i)
                threads.emplace_back([this] { work(); });
        }
    }

    ~Lookahead()
    {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        changed.notify_all();
        for (std::thread &thread : threads)
            thread.join();
    }

    CardReading take(int index)
    {
        std::unique_lock lock(mutex);
        walkIndex = index;
        changed.notify_all();
        if (states[size_t(index)] == State::Waiting) {
            // Nobody has started it: detect here (no pool, or after an abort).
            states[size_t(index)] = State::Running;
            next = std::max(next, index + 1);
            lock.unlock();
            CardReading reading = safeDetect(photos[index]);
            lock.lock();
            states[size_t(index)] = State::Done;
            return reading;
        }
        changed.wait(lock, [&] { return states[size_t(index)] == State::Done; });
        return std::move(results[size_t(index)]);
    }

private:
    enum class State { Waiting, Running, Done };

    void work()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return stopping || abort.load() || next >= int(photos.size()) || next < walkIndex + window; });
            if (stopping || abort.load() || next >= int(photos.size()))
                return;
            const int index = next++;
            if (states[size_t(index)] != State::Waiting)
                continue;
            states[size_t(index)] = State::Running;
            lock.unlock();
            CardReading reading = safeDetect(photos[index]);
            lock.lock();
            results[size_t(index)] = std::move(reading);
            states[size_t(index)] = State::Done;
            changed.notify_all();
        }
    }

    CardReading safeDetect(const QString &path) const
    {
        try {
            return detect(path);
        } catch (const std::exception &error) {
            logOp(kDetecting, QStringLiteral("doAutoQRCode()"),
                  path + QLatin1String(": detection failed: ") + QString::fromLocal8Bit(error.what()));
            return {};
        }
    }

    const CardReader &detect;
    const QStringList &photos;
    const std::atomic<bool> &abort;
    const int window;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<State> states;
    std::vector<CardReading> results;
    std::vector<std::thread> threads;
    int next = 0;
    int walkIndex = 0;
    bool stopping = false;
};

DetectingPass::DetectingPass(Detector detector)
{
    if (detector)
        m_reader = [detector = std::move(detector)](const QString &path) { return CardReading{detector(path), false, {}}; };
    else
        m_reader = [](const QString &path) { return readCard(path); };
}

DetectingPass::~DetectingPass() = default;

void DetectingPass::setWorkerCount(int workers)
{
    m_workers = std::max(0, workers);
}

int DetectingPass::workerCount() const
{
    const int cores = std::max(1, QThread::idealThreadCount());
    return m_workers == 0 ? cores : std::clamp(m_workers, 1, cores);
}

bool DetectingPass::detectionAvailable()
{
    if (Settings::shared().boolValue(cPrefCanSupportVisionFramework))
        return true;
    logOp(kDetecting, QStringLiteral("doNotification2(_:)"), QStringLiteral("....Vision.framework NOT supported..."));
    return false;
}

void DetectingPass::doAutoDecodeQRAction(const QStringList &urls, SerialQueue &queue)
{
    fAbortProcess.store(false);
    logOp(kDetecting, QStringLiteral("doAutoDecodeQRAction(urls:)"), joinedForLog(urls));
    // The walk stays on the queue; the host's handlers run on the main thread.
    Progress progress;
    if (m_progress)
        progress = [handler = m_progress](int position, int count) { mainqueue::async([=] { handler(position, count); }); };
    Found found;
    if (m_found)
        found = [handler = m_found](const QString &message) { mainqueue::async([=] { handler(message); }); };
    Finished finished;
    if (m_finished)
        finished = [handler = m_finished](const DecodeSummary &summary) { mainqueue::async([=] { handler(summary); }); };
    queue.async([this, urls, progress, found, finished] { walk(urls, progress, found, finished); });
}

DecodeSummary DetectingPass::run(const QStringList &urls)
{
    return walk(urls, m_progress, m_found, m_finished);
}

DecodeSummary DetectingPass::walk(const QStringList &urls, const Progress &progress, const Found &found, const Finished &finished)
{
    const QString operation = QStringLiteral("doAutoDecodeQRAction(urls:)");
    DecodeSummary summary;
    const auto finish = [&] {
        if (finished)
            finished(summary);
        return summary;
    };
    std::optional<QStringList> ordered = sortImageUrls(walkedPhotos(urls, summary.problems), SortDirection::Ascending);
    summary.failed = int(summary.problems.size());
    if (!ordered) {
        logOp(kDetecting, operation, QStringLiteral("unable to order the photos; nothing renamed"));
        return finish();
    }
    if (Settings::shared().boolValue(cPrefReverseAssignBarcode))
        std::reverse(ordered->begin(), ordered->end());

    // Each camera's photos keep the walk order, so a camera's sequence is
    // what the name-carrying pass would walk for it. The sequences are walked
    // one after the other as one list, so detection runs ahead across them.
    QStringList photos;
    std::vector<bool> startsSequence;
    if (cameraSplitWanted()) {
        const std::optional<QList<CameraSequence>> sequences = splitByCamera(*ordered, m_grouper);
        if (!sequences) {
            logOp(kDetecting, operation, QStringLiteral("unable to group the photos by camera; nothing renamed"));
            return finish();
        }
        for (const CameraSequence &sequence : *sequences) {
            logOp(kDetecting, operation, QStringLiteral("camera %1: %2 photos").arg(sequence.cameraKey).arg(sequence.photos.size()));
            for (qsizetype i = 0; i < sequence.photos.size(); ++i) {
                photos.append(sequence.photos[i]);
                startsSequence.push_back(i == 0);
            }
        }
    } else {
        photos = *ordered;
        startsSequence.assign(size_t(photos.size()), false);
    }

    const int tag = Settings::shared().intValue(cPrefOriginalNameFormatTag);
    const int count = int(photos.size());
    const int workers = std::min(workerCount(), std::max(1, count));
    logOp(kDetecting, operation, QStringLiteral("walking %1 photos, detecting on %2 thread(s)").arg(count).arg(workers));
    std::optional<QString> currentCode;
    bool codePhoto = false;
    bool foundBefore = false;
    {
        Lookahead lookahead(m_reader, photos, workers, fAbortProcess);
        for (int index = 0; index < count && !(summary.aborted = isAborted()); ++index) {
            const QString &path = photos[index];
            if (startsSequence[size_t(index)]) {
                currentCode.reset();
                codePhoto = false;
            }
            if (progress)
                progress(index + 1, count);
            if (m_photo)
                m_photo(index + 1, count, path);
            CardReading reading = lookahead.take(index);
            std::optional<QString> &code = reading.code;
            // A code that cannot stand in a file name names nobody: the card
            // counts as unread.
            if (code && !isSafeCode(*code)) {
                logOp(kDetecting, operation, path + QLatin1String(": not a usable code, taken as no code"));
                reading.why = QStringLiteral("its code [%1] cannot name a photo").arg(printablePayload(*code));
                reading.possibleUnreadCard = true;
                code.reset();
            }
            // Set or cleared on every photo walked, so that a mark never
            // outlives the reading that made it.
            if (reading.possibleUnreadCard && !code) {
                logOp(kDetecting, operation, QStringLiteral("possible unread card: ") + path + QLatin1String(": ") + reading.why);
                summary.possibleUnreadCards << fileNameOf(path) + QLatin1String(": ") + reading.why;
                setPossibleUnreadCardMark(path, reading.why);
            } else {
                clearPossibleUnreadCardMark(path);
            }
            if (!code) {
                codePhoto = false;
            } else {
                logOp(kDetecting, operation, path + QLatin1String(" code = ") + *code);
                addToSummary(summary, *code, foundBefore);
                currentCode = code;
                codePhoto = true;
                if (found)
                    found(summary.message());
            }
            if (currentCode)
                nameDetected(path, *currentCode, codePhoto, tag, summary);
            ++summary.photos;
        }
    }
    if (summary.aborted)
        logOp(kDetecting, operation, QStringLiteral("aborted by the user after %1 of %2 photos").arg(summary.photos).arg(count));
    return finish();
}

} // namespace sorrelby
