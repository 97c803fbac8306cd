#include "shoot/ShootEngine.h"

#include "naming/FileNameScheme.h"
#include "naming/PhotoRename.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "settings/PreferenceOps.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"
#include "shoot/PhotoListing.h"

#include <QDir>
#include <QFileInfo>

namespace sorrelby {

namespace {

constexpr QStringView cClass = u"ShootEngine";

void note(const QString &detail)
{
    logOp(cClass, u"perform()", detail);
}

QString cleanFolder(const QString &folder)
{
    return QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
}

bool changesFiles(ShootOperation operation)
{
    return operation != ShootOperation::Refresh;
}

// The undo step an operation's renames make; none for those that rename
// nothing or move photos out of reach of an undo.
std::optional<JournalKind> journalKindOf(ShootOperation operation)
{
    switch (operation) {
    case ShootOperation::Revert:
        return JournalKind::Revert;
    case ShootOperation::Decode:
    case ShootOperation::CarryCodes:
    case ShootOperation::RevertAndDecode:
        return JournalKind::Decode;
    default:
        return std::nullopt;
    }
}

QString journalLabelOf(ShootOperation operation)
{
    switch (operation) {
    case ShootOperation::Revert:
        return QStringLiteral("Revert to Camera Names");
    case ShootOperation::RevertAndDecode:
        return QStringLiteral("Revert and Decode Again");
    case ShootOperation::CarryCodes:
        return QStringLiteral("Decode");
    default:
        return QStringLiteral("Decode");
    }
}

// The destination of a delivery nobody named: the validated main folder and
// today's sub-folder.
std::optional<QString> dailyDestinationFolder()
{
    // Validation finds a moved folder again and stores its path first.
    if (!preferenceops::getValidatedPathToDestinationPath())
        return std::nullopt;
    return preferenceops::getDuplicateFolderPathC(cPrefDestinationPath, cPrefDailyFolderDateFormat);
}

} // namespace

// One operation under way, on the queue's thread.
struct ShootEngine::Work {
    ShootEngine &engine;
    ShootResult &result;
    ShootProgress progress;

    void report(ShootStep step, int done, int total, const QString &photo = {}, const std::optional<QString> &text = std::nullopt)
    {
        progress.step = step;
        progress.done = done;
        progress.total = total;
        progress.photo = photo;
        if (text)
            progress.text = *text;
        Q_EMIT engine.operationProgressed(progress);
    }

    bool aborted() const { return engine.m_abort.load(); }

    void problem(const QString &photo, const QString &why)
    {
        ++result.failed;
        result.problems << fileNameOf(photo) + QStringLiteral(": ") + why;
    }

    std::optional<QStringList> list()
    {
        report(ShootStep::Listing, 0, 0);
        QString error;
        std::optional<PhotoListing> listing = listPhotos(engine.m_folder, &error);
        if (!listing) {
            result.outcome = ShootResult::Outcome::NotRun;
            result.folderUnreadable = true;
            result.reason = error;
            return std::nullopt;
        }
        result.leftAlone = std::move(listing->leftAlone);
        return std::move(listing->photos);
    }

    // Every photo back to its camera name; where each photo is now.
    QStringList revert(const QStringList &photos)
    {
        const int tag = Settings::shared().intValue(cPrefOriginalNameFormatTag);
        QStringList now;
        const int count = int(photos.size());
        for (int i = 0; i < count; ++i) {
            const QString &photo = photos[i];
            if (aborted()) {
                now += photos.mid(i);
                break;
            }
            report(ShootStep::Reverting, i + 1, count, photo);
            const QString original = getOriginalName(photo, tag);
            if (checkIfIsOriginal(photo, tag) || original == fileNameOf(photo)) {
                now << photo;
                continue;
            }
            const PhotoRename rename = renamePhoto(photo, original);
            if (rename.outcome == PhotoRename::Renamed)
                ++result.reverted;
            if (!rename)
                problem(photo, rename.why);
            for (const QString &split : rename.companionProblems)
                problem(photo, split);
            now << (rename ? rename.to : photo);
        }
        return now;
    }

    void decode(const QStringList &photos, int workers)
    {
        DetectingPass pass(engine.m_options.detector);
        if (engine.m_options.grouper)
            pass.setCameraGrouper(engine.m_options.grouper);
        pass.setWorkerCount(workers);
        pass.setAbortFlag(&engine.m_abort);
        QString found = QString(cDecodeMessagePrefix) + cNoCodeFoundSummary;
        pass.setFoundHandler([&](const QString &message) { found = message; });
        pass.setPhotoHandler(
            [&](int position, int count, const QString &photo) { report(ShootStep::Detecting, position, count, photo, found); });
        const DecodeSummary summary = pass.run(photos);
        result.listing = photos;
        result.walked += summary.photos;
        result.renamed += summary.renamed;
        result.failed += summary.failed;
        result.problems += summary.problems;
        result.codes += summary.codes;
        result.sequences << summary;
        if (summary.aborted)
            result.outcome = ShootResult::Outcome::Aborted;
    }

    void carryCodes(const QStringList &photos)
    {
        NameCarryingPass pass(engine.m_options.grouper);
        QString message = QString(cDecodeMessagePrefix) + cNoCodeFoundSummary;
        pass.setPhotoHandler(
            [&](int position, int count, const QString &photo) { report(ShootStep::CarryingCodes, position, count, photo, message); });
        pass.doAutoDecodeQRAction3New(photos, [&](const std::optional<QString> &text, int, int) {
            message = text.value_or(message);
            progress.text = message;
        });
        result.listing = photos;
        for (const DecodeSummary &summary : pass.summaries()) {
            result.walked += summary.photos;
            result.renamed += summary.renamed;
            result.failed += summary.failed;
            result.problems += summary.problems;
            result.codes += summary.codes;
            result.sequences << summary;
        }
    }

    void deliver(const ShootRequest &request, bool batch)
    {
        Settings &settings = Settings::shared();
        DeliveryRun run(settings);
        run.fSrcPath = engine.m_folder;
        run.fDestPath = request.destination ? request.destination : dailyDestinationFolder();
        run.fMainFolderPath = request.mainFolder;
        // Hot folder batches keep the newest cards: the next batch may still
        // belong to their subjects.
        run.fDoKeepLastQRPhoto = batch || request.keepLastCards.value_or(DeliveryRun::keepLastQRPhotoSetting(settings));
        run.fHoldBackAfterUnreadCard = batch && settings.boolValue(cPrefHoldBackAfterUnreadCard);
        run.setPauseSeconds(request.pauseSeconds.value_or(engine.m_pause.load()));
        if (const std::optional<QDateTime> at = request.deliveryTime)
            run.setClock([at = *at] { return at; });
        if (engine.m_options.grouper)
            run.setCameraGrouper(engine.m_options.grouper);
        if (engine.m_options.deliveryFileOperations)
            run.setFileOperations(*engine.m_options.deliveryFileOperations);
        QString photoInHand;
        int done = 0;
        int total = 0;
        run.setProgress([&](const QString &line) { report(ShootStep::Delivering, done, total, photoInHand, line); });
        run.setPhotoProgress([&](int n, int of, const QString &photo) {
            done = n;
            total = of;
            photoInHand = photo;
            report(ShootStep::Delivering, n, of, photo);
        });
        const DeliveryRunResult delivered = run.deliver();
        if (!batch)
            result.listed = total;
        for (const DeliveryBatchResult &one : delivered.batches)
            result.problems += one.failures;
        switch (delivered.status) {
        case DeliveryStatus::Finished:
            if (!result.problems.isEmpty() && result.outcome == ShootResult::Outcome::Done)
                result.outcome = ShootResult::Outcome::Problems;
            break;
        case DeliveryStatus::Stopped:
            result.outcome = ShootResult::Outcome::Problems;
            result.reason = describeDeliveryStop(delivered);
            break;
        default:
            // Nothing was delivered; what came before (a batch's decode) stays done.
            if (!batch)
                result.outcome = ShootResult::Outcome::NotRun;
            else
                result.outcome = ShootResult::Outcome::Problems;
            result.reason = describeDeliveryStop(delivered);
            break;
        }
        result.delivery = delivered;
    }
};

ShootEngine::ShootEngine(const QString &folder, Options options, QObject *parent)
    : QObject(parent)
    , m_folder(cleanFolder(folder))
    , m_journal(m_folder)
    , m_options(std::move(options))
    , m_queue(m_options.queue ? m_options.queue : &sharedWorkingQueue())
{
    qRegisterMetaType<ShootProgress>();
    qRegisterMetaType<ShootResult>();
    m_pause.store(m_options.deliveryPauseSeconds);
}

ShootEngine::~ShootEngine()
{
    m_alive->store(false);
    m_abort.store(true);
    // Jobs queued before this one find the engine gone and do nothing; the
    // one under way ends first.
    m_queue->sync([] {});
}

quint64 ShootEngine::deliver(const std::optional<QString> &destination)
{
    ShootRequest r{ShootOperation::Deliver};
    r.destination = destination;
    return request(std::move(r));
}

quint64 ShootEngine::request(ShootRequest request)
{
    const quint64 ticket = ++m_nextTicket;
    ++m_pending;
    logOp(cClass, u"request()", QString(operationName(request.operation) + QStringLiteral(" #%1 of ").arg(ticket) + m_folder));
    m_queue->async([this, alive = m_alive, ticket, request = std::move(request)] {
        if (!alive->load())
            return;
        perform(ticket, request);
    });
    return ticket;
}

ShootResult ShootEngine::run(ShootRequest request)
{
    const quint64 ticket = ++m_nextTicket;
    ++m_pending;
    ShootResult result;
    m_queue->sync([&] { result = perform(ticket, request); });
    return result;
}

ShootResult ShootEngine::perform(quint64 ticket, const ShootRequest &request)
{
    m_abort.store(false);
    ShootResult result;
    result.ticket = ticket;
    result.operation = request.operation;
    result.folder = m_folder;
    Work work{*this, result, {}};
    work.progress.ticket = ticket;
    work.progress.operation = request.operation;
    work.progress.folder = m_folder;
    note(operationName(request.operation) + QStringLiteral(" #%1 begins in ").arg(ticket) + m_folder);
    Q_EMIT operationStarted(work.progress);

    const bool decodes = request.operation == ShootOperation::Decode || request.operation == ShootOperation::RevertAndDecode;
    std::optional<RenameJournal::Recording> recording;
    if (const std::optional<JournalKind> kind = journalKindOf(request.operation))
        recording.emplace(m_journal.record(*kind, journalLabelOf(request.operation)));
    std::optional<QStringList> photos;
    if (request.operation == ShootOperation::Undo || request.operation == ShootOperation::Redo) {
        const bool undo = request.operation == ShootOperation::Undo;
        work.report(ShootStep::Restoring, 0, 0);
        const JournalReport report = undo ? m_journal.undo() : m_journal.redo();
        if (!report.ran) {
            result.outcome = ShootResult::Outcome::NotRun;
            result.reason = undo ? QStringLiteral("nothing to undo") : QStringLiteral("nothing to redo");
        } else {
            result.undoLabel = report.label;
            result.reverted = report.restored;
            result.failed = int(report.kept.size());
            result.problems = report.kept;
        }
    } else if (decodes && !DetectingPass::detectionAvailable()) {
        result.outcome = ShootResult::Outcome::NotRun;
        result.reason = QStringLiteral("code detection is switched off (prefCanSupportVisionFramework)");
    } else if (request.operation != ShootOperation::Deliver) {
        photos = work.list();
        result.listed = photos ? int(photos->size()) : 0;
    }

    if (photos) {
        switch (request.operation) {
        case ShootOperation::Refresh:
            result.listing = *photos;
            break;
        case ShootOperation::Decode:
            work.decode(*photos, request.detectionWorkers);
            break;
        case ShootOperation::CarryCodes:
            work.carryCodes(*photos);
            break;
        case ShootOperation::Revert:
            work.revert(*photos);
            if (work.aborted())
                result.outcome = ShootResult::Outcome::Aborted;
            break;
        case ShootOperation::RevertAndDecode:
            work.revert(*photos);
            if (work.aborted()) {
                result.outcome = ShootResult::Outcome::Aborted;
                break;
            }
            // Listed again: a photo that kept its coded name is walked under it.
            if (const std::optional<QStringList> reverted = work.list())
                work.decode(*reverted, request.detectionWorkers);
            break;
        case ShootOperation::HotFolderBatch: {
            if (photos->isEmpty()) {
                result.outcome = ShootResult::Outcome::NotRun;
                result.reason = QStringLiteral("no photos in the source folder");
                break;
            }
            // Photos nobody read the cards of (there before hot folder mode,
            // or taken in by an earlier process): without this their codes
            // would be unknown and they would all go to UNASSIGNED_PHOTOS.
            const int tag = Settings::shared().intValue(cPrefOriginalNameFormatTag);
            for (const QString &photo : std::as_const(*photos)) {
                if ((!request.cardsRead || !request.cardsRead(photo)) && checkIfIsOriginal(photo, tag))
                    result.readForCards << photo;
            }
            if (!result.readForCards.isEmpty() && DetectingPass::detectionAvailable()) {
                note(QStringLiteral("%1 photo(s) under camera names that no pass took in: reading them for cards first")
                         .arg(result.readForCards.size()));
                work.decode(result.readForCards, request.detectionWorkers);
                photos = work.list();
            }
            if (!photos || result.outcome == ShootResult::Outcome::Aborted)
                break;
            work.carryCodes(*photos);
            work.deliver(request, true);
            break;
        }
        case ShootOperation::Deliver:
        case ShootOperation::Undo:
        case ShootOperation::Redo:
            break;
        }
    } else if (request.operation == ShootOperation::Deliver) {
        work.deliver(request, false);
    }
    if (recording)
        recording->finish();
    // Delivered photos left the folder: no step before them can be undone.
    if ((request.operation == ShootOperation::Deliver || request.operation == ShootOperation::HotFolderBatch) && result.delivery
        && result.delivery->status != DeliveryStatus::MissingSourcePath && result.delivery->status != DeliveryStatus::MissingDestinationPath
        && result.delivery->status != DeliveryStatus::SourceUnreadable && result.delivery->status != DeliveryStatus::UnableToSort)
        m_journal.clear();
    if (result.outcome == ShootResult::Outcome::Done && result.failed > 0)
        result.outcome = ShootResult::Outcome::Problems;

    note(operationName(request.operation) + QStringLiteral(" #%1 ends: ").arg(ticket) + result.describe());
    // Whoever hears of the last operation's end finds the engine idle.
    --m_pending;
    Q_EMIT operationFinished(result);
    const bool nothingToUndo = (request.operation == ShootOperation::Undo || request.operation == ShootOperation::Redo)
        && result.outcome == ShootResult::Outcome::NotRun;
    if (m_options.postRefresh && !nothingToUndo && (changesFiles(request.operation) || result.outcome != ShootResult::Outcome::NotRun)) {
        QVariantMap info{{QStringLiteral("command"), QStringLiteral("refresh")}};
        if (request.operation == ShootOperation::HotFolderBatch)
            info.insert(QStringLiteral("scrollto"), QStringLiteral("bottom"));
        NotificationCenter::defaultCenter().post(QStringLiteral("myRefreshId"), info);
    }
    return result;
}

// ---------------------------------------------------------------------------

ShootEngines::ShootEngines(ShootEngineOptions defaults, QObject *parent)
    : QObject(parent)
    , m_defaults(std::move(defaults))
{
    qRegisterMetaType<ShootProgress>();
    qRegisterMetaType<ShootResult>();
}

ShootEngines::~ShootEngines() = default;

ShootEngines &ShootEngines::shared()
{
    // Never destroyed: work may still be queued at exit.
    static ShootEngines *engines = new ShootEngines();
    return *engines;
}

SerialQueue &ShootEngines::queue() const
{
    return m_defaults.queue ? *m_defaults.queue : sharedWorkingQueue();
}

ShootEngine &ShootEngines::forFolder(const QString &folder)
{
    const QString key = cleanFolder(folder);
    std::lock_guard lock(m_mutex);
    std::unique_ptr<ShootEngine> &engine = m_engines[key];
    if (!engine) {
        engine = std::make_unique<ShootEngine>(key, m_defaults);
        // Made on whatever thread asked; it belongs with its registry.
        if (engine->thread() != thread())
            engine->moveToThread(thread());
        // Relayed on the queue's thread, so each receiver picks its own.
        connect(engine.get(), &ShootEngine::operationStarted, this, &ShootEngines::operationStarted, Qt::DirectConnection);
        connect(engine.get(), &ShootEngine::operationProgressed, this, &ShootEngines::operationProgressed, Qt::DirectConnection);
        connect(engine.get(), &ShootEngine::operationFinished, this, &ShootEngines::operationFinished, Qt::DirectConnection);
    }
    return *engine;
}

void ShootEngines::abort()
{
    std::lock_guard lock(m_mutex);
    for (const auto &[folder, engine] : m_engines)
        engine->abort();
}

void ShootEngines::setDeliveryPauseSeconds(double seconds)
{
    std::lock_guard lock(m_mutex);
    m_defaults.deliveryPauseSeconds = seconds;
    for (const auto &[folder, engine] : m_engines)
        engine->setDeliveryPauseSeconds(seconds);
}

// ---------------------------------------------------------------------------

QString operationName(ShootOperation operation)
{
    switch (operation) {
    case ShootOperation::Refresh:
        return QStringLiteral("refresh");
    case ShootOperation::Decode:
        return QStringLiteral("decode");
    case ShootOperation::CarryCodes:
        return QStringLiteral("carry codes");
    case ShootOperation::Revert:
        return QStringLiteral("revert");
    case ShootOperation::RevertAndDecode:
        return QStringLiteral("revert and decode");
    case ShootOperation::Deliver:
        return QStringLiteral("deliver");
    case ShootOperation::HotFolderBatch:
        return QStringLiteral("hot folder batch");
    case ShootOperation::Undo:
        return QStringLiteral("undo");
    case ShootOperation::Redo:
        return QStringLiteral("redo");
    }
    return {};
}

QString ShootResult::message() const
{
    return QString(cDecodeMessagePrefix) + (codes.isEmpty() ? QString(cNoCodeFoundSummary) : codes.join(QStringLiteral(", ")));
}

QString ShootResult::describe() const
{
    QString line;
    switch (outcome) {
    case Outcome::NotRun:
        return folderUnreadable ? QStringLiteral("nothing done: the folder could not be read: ") + reason
                                : QStringLiteral("nothing done: ") + reason;
    case Outcome::Aborted:
        line = QStringLiteral("aborted, ");
        break;
    case Outcome::Problems:
        line = QStringLiteral("with problems, ");
        break;
    case Outcome::Done:
        break;
    }
    if (!undoLabel.isEmpty())
        return line + QStringLiteral("%1: %2 restored, %3 left as they were").arg(undoLabel).arg(reverted).arg(failed);
    line += QStringLiteral("%1 listed").arg(listed);
    if (reverted > 0)
        line += QStringLiteral(", %1 reverted").arg(reverted);
    if (walked > 0)
        line += QStringLiteral(", %1 walked, %2 renamed, codes [%3]").arg(walked).arg(renamed).arg(codes.join(QStringLiteral(", ")));
    if (failed > 0)
        line += QStringLiteral(", %1 kept their names").arg(failed);
    if (delivery)
        line += QStringLiteral("; ") + describeDelivery(*delivery, QString());
    if (!reason.isEmpty())
        line += QStringLiteral("; ") + reason;
    return line;
}

QString describeDeliveryStop(const DeliveryRunResult &result)
{
    switch (result.status) {
    case DeliveryStatus::MissingSourcePath:
        return QStringLiteral("Nothing delivered: the source folder is not set.");
    case DeliveryStatus::MissingDestinationPath:
        return QStringLiteral("Nothing delivered: the destination folder is not set.");
    case DeliveryStatus::SourceUnreadable:
        return QStringLiteral("Nothing delivered: the source folder could not be read.");
    case DeliveryStatus::UnableToSort:
        return QStringLiteral("Nothing delivered: the photos could not be put in capture order.");
    case DeliveryStatus::Stopped:
        return result.stop ? result.stop->describe() : QString();
    case DeliveryStatus::Finished:
        break;
    }
    return {};
}

QString describeDelivery(const DeliveryRunResult &result, const QString &destination)
{
    switch (result.status) {
    case DeliveryStatus::MissingSourcePath:
        return QStringLiteral("delivery: no source folder");
    case DeliveryStatus::MissingDestinationPath:
        return QStringLiteral("delivery: no destination folder");
    case DeliveryStatus::SourceUnreadable:
        return QStringLiteral("delivery: the source folder could not be read");
    case DeliveryStatus::UnableToSort:
        return QStringLiteral("delivery: the photos could not be put in capture order; nothing delivered");
    case DeliveryStatus::Stopped:
    case DeliveryStatus::Finished:
        break;
    }
    DeliveryCounters sum;
    int failures = 0;
    int kept = 0;
    QString into = destination;
    for (const DeliveryBatchResult &batch : result.batches) {
        sum.moved += batch.counters.moved;
        sum.trashed += batch.counters.trashed + batch.counters.removed;
        sum.unassigned += batch.counters.unassigned;
        sum.total += batch.counters.total;
        failures += int(batch.failures.size());
        kept += int(batch.keptCodePhotos.size());
        if (into.isEmpty())
            into = batch.destPath;
    }
    const int leftBehind = result.photosOfCamerasLeftBehind();
    QString line = QStringLiteral("delivery: %1 moved into %2, %3 unassigned, %4 card photos kept, %5 discarded")
                       .arg(sum.moved)
                       .arg(into)
                       .arg(sum.unassigned)
                       .arg(kept)
                       .arg(sum.trashed);
    if (leftBehind > 0)
        line += QStringLiteral(", %1 left (camera not delivered)").arg(leftBehind);
    if (failures > 0)
        line += QStringLiteral(", %1 FAILED (see the log)").arg(failures);
    if (result.stop)
        line += QStringLiteral("; STOPPED: ") + QString(result.stop->describe()).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return line;
}

} // namespace sorrelby
