// `reassign CODE PHOTO...`: the reassign dialog's manual mode for a script or
// a scanner station: every photo gets the code in front of its camera name.
// No rename replaces a file; a photo whose new name is taken keeps its name.
// The same command line can be run again after an interruption: a PHOTO
// that is gone but found under its new name counts as done.

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "naming/FileNameScheme.h"
#include "platform/FileOps.h"
#include "reassign/ReassignRenames.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"

#include <QFileInfo>

namespace sorrelby::cli {

namespace {

// The path a photo has once it carries the code (its own when it does).
QString pathWithCode(const QString &path, const QString &code, int tag)
{
    const std::optional<QString> name = nameWithCode(fileNameOf(path), code, tag);
    return name ? folderOf(path) + QLatin1Char('/') + *name : path;
}

} // namespace

int runReassignCommand(const QStringList &args)
{
    const QString usage = commandUsage("reassign");
    const std::optional<QStringList> operands = plainOperands(args, usage);
    if (!operands)
        return kExitUsage;
    if (operands->size() < 2)
        return usageError(usage, QStringLiteral("reassign takes a code and at least one photo"));
    const QString scanned = operands->first();
    const std::optional<QString> code = safeCodeFromPayload(scanned.trimmed());
    if (!code)
        return usageError(usage, QStringLiteral("\"%1\" cannot name a photo").arg(scanned));

    // Every PHOTO is checked before anything is renamed, so a typo changes
    // nothing; a photo renamed by an interrupted run is no typo.
    const int tag = Settings::shared().intValue(cPrefOriginalNameFormatTag);
    QStringList photos;
    for (const QString &operand : operands->mid(1)) {
        const QString path = absolutePath(operand);
        if (!QFileInfo(path).isFile() && !QFileInfo(pathWithCode(path, *code, tag)).isFile()) {
            const QFileInfo found(path);
            const bool odd = found.exists() && !found.isDir();
            printErr(odd ? QStringLiteral(SORRELBY_EXECUTABLE ": cannot read %1: %2").arg(operand, cNotRegularFileReason)
                         : QStringLiteral(SORRELBY_EXECUTABLE ": \"%1\" is not a photo").arg(operand));
            return kExitFailure;
        }
        photos << path;
    }
    const std::optional<ReassignReport> report = reassignAllToCode(photos, *code);
    if (!report)
        return usageError(usage, QStringLiteral("\"%1\" cannot name a photo").arg(scanned));
    for (auto it = report->renamed.cbegin(); it != report->renamed.cend(); ++it)
        printOut(it.key() + QStringLiteral(" -> ") + it.value());
    for (auto it = report->renamedBefore.cbegin(); it != report->renamedBefore.cend(); ++it)
        printOut(it.key() + QStringLiteral(" -> ") + it.value() + QStringLiteral(" (renamed before)"));
    for (const QString &kept : report->kept)
        printErr(QStringLiteral(SORRELBY_EXECUTABLE ": kept its name: ") + kept);
    printErr(QStringLiteral("%1 renamed, %2 renamed before, %3 already carried %4, %5 kept their names")
                 .arg(report->renamed.size())
                 .arg(report->renamedBefore.size())
                 .arg(report->unchanged.size())
                 .arg(*code)
                 .arg(report->kept.size()));
    return report->kept.isEmpty() ? kExitOk : kExitIssues;
}

} // namespace sorrelby::cli
