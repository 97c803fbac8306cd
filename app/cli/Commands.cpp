#include "app/cli/Commands.h"

namespace sorrelby::cli {

// The run functions, one file each.
int runDecodeCommand(const QStringList &args);
int runSectionsCommand(const QStringList &args);
int runDeliverCommand(const QStringList &args);
int runIntakeCommand(const QStringList &args);
int runWatchCommand(const QStringList &args);
int runDetectCommand(const QStringList &args);
int runInfoCommand(const QStringList &args);
int runCardCommand(const QStringList &args);

std::span<const Command> commands()
{
    static const Command table[] = {
        {"decode", "decode [--detect] [--workers N] FOLDER   give the photos of FOLDER the codes of their cards", runDecodeCommand},
        {"sections", "sections [--json] [--single] FOLDER     print the browser's sections of FOLDER", runSectionsCommand},
        {"intake", "intake HOTFOLDER SOURCE                  move the complete camera photos of HOTFOLDER into SOURCE", runIntakeCommand},
        {"card", "card FOLDER | card --wait [--volume-root DIR]   copy a camera card into the source folder and decode it", runCardCommand},
        {"watch", "watch                                    hot folder mode without a window (folders from the settings)", runWatchCommand},
        {"deliver", "deliver SOURCE DEST                      move the sorted photos of SOURCE into DEST", runDeliverCommand},
        {"detect", "detect [--workers N] FILE...             print each photo's path, a tab and the code on its card", runDetectCommand},
        {"info", "info FILE...                             print capture date, camera key, orientation and pixel size", runInfoCommand},
    };
    return std::span<const Command>(table);
}

} // namespace sorrelby::cli
