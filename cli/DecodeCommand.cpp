// `decode [--detect] [--workers N] FOLDER`: gives the photos of a
// folder their codes, as the application does after a card or a hot folder
// batch. Without --detect the name-carrying pass over the photos as the
// browser lists them; with --detect the detecting pass, which reads the code
// cards itself. Both split the photos by camera when the settings ask for
// it. Progress goes to standard error (a bar on a terminal), the final
// "Found/Decoded QRCodes:" summary to standard output. Like the application's re-decode,
// --detect first takes every photo back to its camera name. Ctrl-C during
// --detect stops after the photo being handled, like "Abort Process".

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "browser/SectionModel.h"
#include "naming/DecodePass.h"
#include "naming/FileNameScheme.h"
#include "naming/PhotoOrdering.h"

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

std::atomic<DetectingPass *> g_runningPass{nullptr};

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
    if (DetectingPass *pass = g_runningPass.load())
        pass->fAbortProcess.store(true);
}

} // namespace

// Also the decode pass after a card is copied (CardCommand.cpp).
int runDetectingPass(const QStringList &photos, int workers)
{
    if (!DetectingPass::detectionAvailable()) {
        printErr(QStringLiteral(SORRELBY_EXECUTABLE ": code detection is switched off (prefCanSupportVisionFramework); nothing renamed"));
        return kExitFailure;
    }
    // As the browser does before it decodes again: every photo back to its
    // camera name first, so a second run gives the same names as the first.
    QStringList reverted;
    reverted.reserve(photos.size());
    for (const QString &photo : photos)
        reverted.append(revertItemToOriginalNew(photo).value_or(photo));
    // The browser's order, as the application hands it to the pass.
    const QStringList ordered = sortImageUrls(reverted,
                                              ImageDirectoryLoader::selectedSortDescending() ? SortDirection::Descending : SortDirection::Ascending,
                                              ImageDirectoryLoader::selectedSortKey())
                                    .value_or(reverted);
    DetectingPass pass;
    pass.setWorkerCount(workers);
    ProgressLine progress(int(ordered.size()));
    pass.setProgressHandler([&](int position, int count) {
        progress.setTotal(count);
        progress.update(position);
    });

    g_runningPass.store(&pass);
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = abortOnInterrupt;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &previous);
    const DecodeSummary summary = pass.run(ordered);
    ::sigaction(SIGINT, &previous, nullptr);
    g_runningPass.store(nullptr);
    progress.finish();

    printOut(summary.message());
    printErr(QStringLiteral("%1 of %2 photos walked, %3 renamed").arg(summary.photos).arg(ordered.size()).arg(summary.renamed));
    if (!summary.aborted && summary.photos < ordered.size())
        printErr(QStringLiteral("%1 photo(s) left alone: only Nikon and Canon cameras are decoded when the photos are split by camera").arg(ordered.size() - summary.photos));
    if (summary.aborted) {
        printErr(QStringLiteral(SORRELBY_EXECUTABLE ": aborted; the photos walked keep their new names"));
        return kExitFailure;
    }
    if (summary.failed > 0) {
        printKeptNames(summary.problems, summary.failed);
        return kExitIssues;
    }
    return kExitOk;
}

namespace {

int runNameCarryingPass(const QStringList &photos)
{
    NameCarryingPass pass;
    ProgressLine progress(int(photos.size()));
    int handled = 0;
    pass.doAutoDecodeQRAction3New(photos, [&](const std::optional<QString> &, int, int) { progress.update(++handled); });
    progress.finish();

    int renamed = 0;
    int failed = 0;
    QStringList problems;
    const QList<DecodeSummary> &summaries = pass.summaries();
    if (summaries.isEmpty())
        printOut(DecodeSummary().message());
    for (const DecodeSummary &summary : summaries) {
        if (!summary.cameraKey.isEmpty())
            printOut(QStringLiteral("Camera ") + summary.cameraKey + QLatin1Char(':'));
        printOut(summary.message());
        renamed += summary.renamed;
        failed += summary.failed;
        problems += summary.problems;
    }
    printErr(QStringLiteral("%1 of %2 photos walked, %3 renamed").arg(handled).arg(photos.size()).arg(renamed));
    if (handled < photos.size())
        printErr(QStringLiteral("%1 photo(s) left alone: only Nikon and Canon cameras are decoded when the photos are split by camera").arg(photos.size() - handled));
    if (failed > 0) {
        printKeptNames(problems, failed);
        return kExitIssues;
    }
    return kExitOk;
}

} // namespace

int runDecodeCommand(const QStringList &args)
{
    bool detect = false;
    int workers = 0;
    QStringList operands;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (arg == QLatin1String("--detect")) {
            detect = true;
        } else if (arg == QLatin1String("--workers") || arg.startsWith(QLatin1String("--workers="))) {
            QString value;
            if (arg.contains(QLatin1Char('=')))
                value = arg.section(QLatin1Char('='), 1);
            else if (i + 1 < args.size())
                value = args[++i];
            bool ok = false;
            workers = value.toInt(&ok);
            if (!ok || workers < 1)
                return usageError(kUsage, QStringLiteral("--workers needs a number of at least 1"));
        } else if (isOption(arg)) {
            return usageError(kUsage, QStringLiteral("unknown option ") + arg);
        } else {
            operands.append(arg);
        }
    }
    const std::optional<QString> folder = singleFolder(operands, QStringLiteral("decode"), kUsage);
    if (!folder)
        return kExitUsage;

    QString error;
    const std::optional<QStringList> photos = ImageDirectoryLoader::getFilesURLFromFolderClass(*folder, &error);
    if (!photos)
        return unreadableFolder(*folder, error);
    return detect ? runDetectingPass(*photos, workers) : runNameCarryingPass(*photos);
}

} // namespace sorrelby::cli
