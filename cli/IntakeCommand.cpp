// `intake HOTFOLDER SOURCE`: one hot folder pass, as hot folder mode runs it
// after a file event. The complete JPEGs under camera names move from
// HOTFOLDER into SOURCE, card photos under their card-photo names; photos
// still being written, other files and files under other names stay. Prints
// how many photos were moved, and on standard error what stayed and why (one
// line per file left for good, or their count with --quiet). Exit 0; 1 when a
// folder cannot be used; 3 when a photo could not be moved or a file was left.

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "hotfolder/HotFolderIntake.h"
#include "imaging/PhotoMetadata.h"
#include "platform/SoundPlayer.h"
#include "settings/SettingsKeys.h"

#include <QFileInfo>

namespace sorrelby::cli {

namespace {

const QString kUsage = commandUsage("intake");

} // namespace

int runIntakeCommand(const QStringList &args)
{
    const std::optional<QStringList> folders = plainOperands(args, kUsage, 2);
    if (!folders)
        return kExitUsage;
    const QString hotFolder = absolutePath((*folders)[0]);
    const QString source = absolutePath((*folders)[1]);
    for (const QString &folder : {hotFolder, source}) {
        if (!QFileInfo(folder).isDir()) {
            printErr(QStringLiteral(SORRELBY_EXECUTABLE ": \"%1\" is not a folder").arg(folder));
            return kExitFailure;
        }
    }

    initializeMetadataLibrary();
    CanberraSoundPlayer player;
    SoundPlayer::setShared(&player);
    HotFolderIntake intake;
    const HotFolderIntakeResult result = intake.run(hotFolder, source);
    SoundPlayer::setShared(nullptr);

    if (!result.listed) {
        printErr(QStringLiteral(SORRELBY_EXECUTABLE ": cannot read the hot folder \"%1\"").arg(hotFolder));
        return kExitFailure;
    }
    printOut(QStringLiteral("%1 photo(s) moved").arg(result.moved));
    if (result.waiting > 0)
        printErr(QStringLiteral("%1 photo(s) may still be being written; a later pass takes them").arg(result.waiting));
    const int leftAlone = reportLeftAlone(result.leftAlone, hotFolder);
    if (result.refused > 0)
        printErr(QStringLiteral("camera names are set by \"%1\"").arg(cPrefOriginalNameFormatTag));
    if (result.failed > 0) {
        printErr(QStringLiteral(SORRELBY_EXECUTABLE ": %1 photo(s) could not be moved (see --verbose)").arg(result.failed));
        return kExitIssues;
    }
    return leftAlone > 0 ? kExitIssues : kExitOk;
}

} // namespace sorrelby::cli
