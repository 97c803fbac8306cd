// `undo [--redo] FOLDER`: Edit > Undo (or Redo) of the window for a script or
// after the window is gone: the last step of FOLDER's undo journal, through
// the folder's shoot engine. No photo replaces another; a name taken since
// is reported and the photo left. Run it again after an interruption: the
// photos already back count as restored.

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "shoot/ShootEngine.h"

namespace sorrelby::cli {

int runUndoCommand(const QStringList &args)
{
    const QString usage = commandUsage("undo");
    bool redo = false;
    QStringList operands;
    for (const QString &arg : args) {
        if (arg == QLatin1String("--redo"))
            redo = true;
        else if (isOption(arg))
            return usageError(usage, QStringLiteral("unknown option ") + arg);
        else
            operands << arg;
    }
    const std::optional<QString> folder = singleFolder(operands, QStringLiteral("undo"), usage);
    if (!folder)
        return kExitUsage;
    const ShootResult result = ShootEngines::shared().forFolder(*folder).run({redo ? ShootOperation::Redo : ShootOperation::Undo});
    if (result.outcome == ShootResult::Outcome::NotRun) {
        printErr(QStringLiteral(SORRELBY_EXECUTABLE ": ") + result.reason);
        return kExitFailure;
    }
    for (const QString &problem : result.problems)
        printErr(QStringLiteral(SORRELBY_EXECUTABLE ": left as it was: ") + problem);
    printErr(QStringLiteral("%1 %2: %3 photo(s) restored, %4 left as they were")
                 .arg(redo ? QStringLiteral("redo") : QStringLiteral("undo"), result.undoLabel)
                 .arg(result.reverted)
                 .arg(result.problems.size()));
    return result.problems.isEmpty() ? kExitOk : kExitIssues;
}

} // namespace sorrelby::cli
