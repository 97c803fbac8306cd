// `decode [--detect] [--workers N] FOLDER`: gives the photos of a
// folder their codes, as the application does after a card or a hot folder
// batch, through the folder's shoot engine. Without --detect the codes of the
// card-photo names are carried to the photos after them; with --detect every
// photo goes back to its camera name and the cards are read again, as the
// application's re-decode does. Both split the photos by camera when the
// settings ask for it. Progress goes to standard error (a bar on a
// terminal), the final "Found/Decoded QRCodes:" summary to standard output.
// Ctrl-C during --detect stops after the photo being handled, like "Abort
// Process".

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "shoot/ShootEngine.h"

#include <QElapsedTimer>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace sorrelby::cli {

namespace {

const QString kUsage = commandUsage("decode");

// A progress line on standard error: a bar redrawn in place on a terminal,
// a line per tenth of the work otherwise.
class ProgressLine {
public:
    explicit ProgressLine(int total)
        : m_total(total)
        , m_terminal(::isatty(STDERR_FILENO) == 1)
    {
        m_clock.start();
    }

    // The walk may leave photos alone (cameras not decoded by camera).
    void setTotal(int total) { m_total = total; }

    void update(int done)
    {
        if (m_terminal) {
            if (done < m_total && m_clock.elapsed() - m_lastDraw < 50)
                return;
            m_lastDraw = m_clock.elapsed();
            const int width = 30;
            const int filled = m_total > 0 ? int(qint64(width) * done / m_total) : width;
            const QByteArray bar = QByteArray(filled, '#') + QByteArray(width - filled, '.');
            std::fprintf(stderr, "\r[%s] %d/%d photos", bar.constData(), done, m_total);
            std::fflush(stderr);
            m_drawn = true;
        } else {
            const int step = m_total > 0 ? (qint64(done) * 10 / m_total) : 10;
            if (step > m_lastStep) {
                m_lastStep = step;
                printErr(QStringLiteral("%1/%2 photos").arg(done).arg(m_total));
            }
        }
    }

    void finish()
    {
        if (m_drawn)
            std::fputc('\n', stderr);
        m_drawn = false;
    }

private:
    int m_total;
    bool m_terminal;
    bool m_drawn = false;
    int m_lastStep = 0;
    qint64 m_lastDraw = -1000;
    QElapsedTimer m_clock;
};

std::atomic<ShootEngine *> g_running{nullptr};

// The photos that kept their names, and why: a full disk or a read-only
// volume shows on the first line already.
void printKeptNames(const QStringList &problems, int failed)
{
    constexpr int cShown = 10;
    for (const QString &problem : problems.first(std::min<qsizetype>(problems.size(), cShown)))
        printErr(QStringLiteral(SORRELBY_EXECUTABLE ": kept its name: ") + problem);
    printErr(QStringLiteral(SORRELBY_EXECUTABLE ": %1 photo(s) could not be renamed%2")
                 .arg(failed)
                 .arg(problems.size() > cShown ? QStringLiteral(" (all of them with --verbose)") : QString()));
}

void abortOnInterrupt(int)
{
    if (ShootEngine *engine = g_running.load())
        engine->abort();
}

// Runs the operation in the folder's engine with the bar on standard error;
// Ctrl-C stops a decode after the photo in hand.
ShootResult runWithProgress(const QString &folder, ShootRequest request)
{
    ShootEngine &engine = ShootEngines::shared().forFolder(folder);
    ProgressLine progress(0);
    // On the engine's queue, while this thread waits for the result.
    const QMetaObject::Connection connection = QObject::connect(
        &engine, &ShootEngine::operationProgressed, &engine,
        [&](const ShootProgress &p) {
            if (p.step != ShootStep::Detecting && p.step != ShootStep::CarryingCodes)
                return;
            progress.setTotal(p.total);
            progress.update(p.done);
        },
        Qt::DirectConnection);
    g_running.store(&engine);
    struct sigaction action { };
    struct sigaction previous { };
    action.sa_handler = abortOnInterrupt;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &previous);
    const ShootResult result = engine.run(std::move(request));
    ::sigaction(SIGINT, &previous, nullptr);
    g_running.store(nullptr);
    QObject::disconnect(connection);
    progress.finish();
    return result;
}

int reportDecode(const ShootResult &result, bool perCamera)
{
    if (result.outcome == ShootResult::Outcome::NotRun) {
        if (result.folderUnreadable)
            return unreadableFolder(result.folder, result.reason);
        printErr(QStringLiteral(SORRELBY_EXECUTABLE ": ") + result.reason + QStringLiteral("; nothing renamed"));
        return kExitFailure;
    }
    if (!perCamera || result.sequences.isEmpty()) {
        printOut(result.message());
    } else {
        for (const DecodeSummary &summary : result.sequences) {
            if (!summary.cameraKey.isEmpty())
                printOut(QStringLiteral("Camera ") + summary.cameraKey + QLatin1Char(':'));
            printOut(summary.message());
        }
    }
    const int listed = int(result.listing.size());
    printErr(QStringLiteral("%1 of %2 photos walked, %3 renamed").arg(result.walked).arg(listed).arg(result.renamed));
    // Each one may hide a subject merged with the one before: worth a look.
    QStringList unread;
    for (const DecodeSummary &summary : result.sequences)
        unread += summary.possibleUnreadCards;
    if (!unread.isEmpty()) {
        printErr(QStringLiteral("%1 possible unread card(s):").arg(unread.size()));
        for (const QString &photo : std::as_const(unread))
            printErr(QStringLiteral("  ") + photo);
    }
    if (result.outcome != ShootResult::Outcome::Aborted && result.walked < listed)
        printErr(QStringLiteral("%1 photo(s) left alone: only Nikon and Canon cameras are decoded when the photos are split by camera")
                     .arg(listed - result.walked));
    if (result.outcome == ShootResult::Outcome::Aborted) {
        printErr(QStringLiteral(SORRELBY_EXECUTABLE ": aborted; the photos walked keep their new names"));
        return kExitFailure;
    }
    const int leftAlone = reportLeftAlone(result.leftAlone, result.folder);
    if (result.failed > 0) {
        printKeptNames(result.problems, result.failed);
        return kExitIssues;
    }
    return leftAlone > 0 ? kExitIssues : kExitOk;
}

} // namespace

// Also the decode after a card is copied (CardCommand.cpp).
int runDetectingDecode(const QString &folder, int workers)
{
    ShootRequest request{ShootOperation::RevertAndDecode};
    request.detectionWorkers = workers;
    return reportDecode(runWithProgress(folder, std::move(request)), false);
}

int runDecodeCommand(const QStringList &args)
{
    bool detect = false;
    int workers = 0;
    QStringList operands;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (arg == QLatin1String("--detect")) {
            detect = true;
        } else if (isWorkersOption(arg)) {
            const std::optional<int> taken = takeWorkersOption(args, i);
            if (!taken)
                return usageError(kUsage, QString(cWorkersRangeError));
            workers = *taken;
        } else if (isOption(arg)) {
            return usageError(kUsage, QStringLiteral("unknown option ") + arg);
        } else {
            operands.append(arg);
        }
    }
    const std::optional<QString> folder = singleFolder(operands, QStringLiteral("decode"), kUsage);
    if (!folder)
        return kExitUsage;

    if (detect)
        return runDetectingDecode(*folder, workers);
    return reportDecode(runWithProgress(*folder, {ShootOperation::CarryCodes}), true);
}

} // namespace sorrelby::cli
