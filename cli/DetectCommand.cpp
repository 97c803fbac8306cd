// `detect [--workers N] FILE...`: the code on each photo's card, one line
// per file: the path, a tab and the code (empty when the photo shows none).
// Photos are read in parallel and printed in the order given. Exit 3 when a
// file could not be read (it still gets its line, with no code).

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "imaging/PhotoMetadata.h"
#include "naming/CardCode.h"

#include <QThreadPool>
#include <QtConcurrent/QtConcurrent>

#include <algorithm>

namespace sorrelby::cli {

namespace {

const QString kUsage = commandUsage("detect");

} // namespace

int runDetectCommand(const QStringList &args)
{
    int workers = 2;
    QStringList files;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (isWorkersOption(arg)) {
            const std::optional<int> taken = takeWorkersOption(args, i);
            if (!taken)
                return usageError(kUsage, QString(cWorkersRangeError));
            workers = *taken;
        } else if (isOption(arg)) {
            return usageError(kUsage, QStringLiteral("unknown option ") + arg);
        } else {
            files.append(arg);
        }
    }
    if (files.isEmpty())
        return usageError(kUsage);

    initializeMetadataLibrary();
    QThreadPool pool;
    pool.setMaxThreadCount(std::min(workers, int(files.size())));
    QFuture<DetectionResult> results = QtConcurrent::mapped(&pool, files, [](const QString &path) { return detectCodes(path); });
    int unreadable = 0;
    for (int i = 0; i < files.size(); ++i) {
        const DetectionResult detection = results.resultAt(i); // waits for this one
        if (!detection.readable) {
            ++unreadable;
            printErr(QStringLiteral(SORRELBY_EXECUTABLE ": cannot read %1: %2").arg(files[i], detection.error));
        }
        printOut(files[i] + QLatin1Char('\t') + codeFromDetection(detection).value_or(QString()));
    }
    return unreadable > 0 ? kExitIssues : kExitOk;
}

} // namespace sorrelby::cli
