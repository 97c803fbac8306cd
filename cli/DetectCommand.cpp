// `detect [--raw] [--workers N] FILE...`: the code on each photo's card, one
// line per file: the path, a tab and the code (empty when the photo shows
// none). With --raw every payload read follows, a tab before each, as read
// (control characters, tabs among them, as \uXXXX): reading can then be
// checked apart from the naming layer, which refuses some payloads as codes.
// A photo that looks like a card but gives no code is named on standard
// error. Photos are read in parallel and printed in the order given. Exit 3
// when a file could not be read (it still gets its line, with no code).

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "imaging/PhotoMetadata.h"
#include "naming/CardCode.h"
#include "naming/FileNameScheme.h"

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
    bool raw = false;
    QStringList files;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (arg == QLatin1String("--raw")) {
            raw = true;
        } else if (isWorkersOption(arg)) {
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
        const CardReading card = cardFromDetection(detection);
        QString line = files[i] + QLatin1Char('\t') + card.code.value_or(QString());
        if (raw) {
            for (const DetectedCode &code : detection.codes)
                line += QLatin1Char('\t') + printablePayload(code.text);
        }
        printOut(line);
        if (card.possibleUnreadCard)
            printErr(files[i] + QStringLiteral(": possible unread card: ") + card.why);
    }
    return unreadable > 0 ? kExitIssues : kExitOk;
}

} // namespace sorrelby::cli
