// `reassign CODE PHOTO...`: the reassign dialog's manual mode for a script or
// a scanner station: every photo gets the code in front of its camera name.
// No rename replaces a file; a photo whose new name is taken keeps its name.

#include "app/cli/CommandLine.h"
#include "app/cli/Commands.h"
#include "reassign/ReassignRenames.h"

#include <QFileInfo>

namespace sorrelby::cli {

int runReassignCommand(const QStringList &args)
{
    const QString usage = commandUsage("reassign");
    const std::optional<QStringList> operands = plainOperands(args, usage);
    if (!operands)
        return kExitUsage;
    if (operands->size() < 2)
        return usageError(usage, QStringLiteral("reassign takes a code and at least one photo"));
    QStringList photos;
    for (const QString &operand : operands->mid(1)) {
        if (!QFileInfo(operand).isFile()) {
            printErr(QStringLiteral(SORRELBY_EXECUTABLE ": \"%1\" is not a photo").arg(operand));
            return kExitFailure;
        }
        photos << absolutePath(operand);
    }
    const std::optional<ReassignReport> report = reassignAllToCode(photos, operands->first());
    if (!report)
        return usageError(usage, QStringLiteral("\"%1\" cannot name a photo").arg(operands->first()));
    for (auto it = report->renamed.cbegin(); it != report->renamed.cend(); ++it)
        printOut(it.key() + QStringLiteral(" -> ") + it.value());
    for (const QString &kept : report->kept)
        printErr(QStringLiteral(SORRELBY_EXECUTABLE ": kept its name: ") + kept);
    return report->kept.isEmpty() ? kExitOk : kExitIssues;
}

} // namespace sorrelby::cli
