#include "cli/Commands.h"

#define EXE SORRELBY_EXECUTABLE

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
int runReassignCommand(const QStringList &args);
int runSettingsCommand(const QStringList &args);
int runReportCommand(const QStringList &args);
int runUndoCommand(const QStringList &args);

namespace {

// What every command takes, at the end of each command's help.
const char *const cCommonOptions = "  --set KEY=VALUE   use this setting for this run only (not stored)\n"
                                   "  --verbose         show the log lines on standard error\n"
                                   "  -h, --help        show this help\n"
                                   "  -v, --version     show the version";

} // namespace

std::span<const Command> commands()
{
    static const Command table[] = {
        {"decode", "decode [--detect] [--workers N] FOLDER   give the photos of FOLDER the codes of their cards",
         "Usage: " EXE " decode [--detect] [--workers N] [--set KEY=VALUE]... FOLDER",
         "Gives every photo of FOLDER the code of the card photographed before it.\n"
         "Without --detect the codes already in the card photos' names are carried\n"
         "on; with --detect every photo is first taken back to its camera name and\n"
         "the cards are read again. The summary goes to standard output.\n\n"
         "Options:\n"
         "  --detect          read the code cards again\n"
         "  --workers N       photos read at once with --detect (at least 1)\n",
         runDecodeCommand},
        {"sections", "sections [--json] [--single] FOLDER   print the browser's sections of FOLDER",
         "Usage: " EXE " sections [--json] [--single] [--roster FILE] [--set KEY=VALUE]... FOLDER",
         "Prints the groups the window would show for FOLDER: each code with its\n"
         "photos, the photos before the first card under \"Unknown!\". Files that\n"
         "are no photos (or whose names are not UTF-8) are named on standard\n"
         "error with the reason, and the exit status is 3.\n\n"
         "Options:\n"
         "  --json            print JSON instead of lines\n"
         "  --single          one list instead of one section per code\n"
         "  --roster FILE     name each code's subject and group, mark what the\n"
         "                    roster check finds (see report --help)\n",
         runSectionsCommand},
        {"report", "report [--roster FILE] FOLDER   check FOLDER against a roster and report every photo",
         "Usage: " EXE " report [--roster FILE] [--format csv|html|json] [--output PATH] [--set KEY=VALUE]... FOLDER",
         "Checks the photos of FOLDER against a roster (a class list) and reports\n"
         "every photo: file, code, name, group, capture time, camera, card or\n"
         "portrait. Subjects are marked \"missing\" (no photo), \"only a card\" (a\n"
         "card photo and no portrait), \"photographed twice\" (the card came back\n"
         "after other subjects) and \"not on the roster\"; these and the photos\n"
         "without a code are listed on standard error. The roster is FILE, else\n"
         "roster.csv in FOLDER, else none. CSV and JSON go to standard output\n"
         "unless PATH is given; HTML pages with thumbnails go into the folder PATH\n"
         "(FOLDER's name and \"-report\" in the working folder unless given).\n"
         "A file or folder that is no earlier report is never written over.\n"
         "Exit status 3 when a subject is marked or a photo has no code.\n\n"
         "Options:\n"
         "  --roster FILE     the roster: CSV with a header row naming the columns\n"
         "                    code, first name, last name (or name) and group\n"
         "  --format FORMAT   csv (the default), json or html\n"
         "  --output PATH     the file (csv, json) or folder (html) to write\n",
         runReportCommand},
        {"intake", "intake HOTFOLDER SOURCE   move the complete camera photos of HOTFOLDER into SOURCE",
         "Usage: " EXE " intake [--set KEY=VALUE]... HOTFOLDER SOURCE",
         "One pass of hot folder mode: moves the camera photos of HOTFOLDER that\n"
         "are complete into SOURCE. Files left in HOTFOLDER for good are named with\n"
         "the reason. Exit status 3 when a photo could not be moved or a file was\n"
         "left.\n\n"
         "Options:\n",
         runIntakeCommand},
        {"card", "card FOLDER | card --wait   copy a camera card into the source folder and decode it",
         "Usage: " EXE " card [--set KEY=VALUE]... FOLDER\n"
         "       " EXE " card --wait [--volume-root DIR]... [--set KEY=VALUE]...",
         "Copies the camera photos of a card (or of FOLDER) into the source folder,\n"
         "checks every copy, then trashes what the source folder held before,\n"
         "ejects the card and decodes. When a photo fails to copy the card stays\n"
         "mounted, the source folder is left as it was and the exit status is 3.\n\n"
         "Options:\n"
         "  --wait            wait for the next camera card to be mounted\n"
         "  --volume-root DIR look for cards in DIR too (with --wait)\n",
         runCardCommand},
        {"reassign", "reassign CODE PHOTO...   give the photos the code, as the reassign dialog does",
         "Usage: " EXE " reassign [--set KEY=VALUE]... CODE PHOTO...",
         "Gives every PHOTO the code CODE in front of its camera name (a card\n"
         "photo keeps its marker), as the reassign dialog's one-code mode does.\n"
         "CODE may contain \"_\" (SMITH_JOHN). A photo whose new name is taken\n"
         "keeps its name; exit status 3 then. After an interruption run the same\n"
         "command again: a PHOTO already renamed counts as done.\n\n"
         "Options:\n",
         runReassignCommand},
        {"undo", "undo [--redo] FOLDER   undo (or redo) the last reassign, drop, revert, decode or delete in FOLDER",
         "Usage: " EXE " undo [--redo] [--set KEY=VALUE]... FOLDER",
         "Puts back the names of the last step of FOLDER's undo journal (the\n"
         "window's Edit > Undo): a reassign, a drop, a revert, a decode, or a\n"
         "delete (out of the trash). With --redo does the last undone step again.\n"
         "A photo whose old name is taken since keeps its name; exit status 3\n"
         "then. After an interruption run it again. Delivery clears the journal.\n\n"
         "Options:\n"
         "  --redo            redo instead of undo\n",
         runUndoCommand},
        {"settings", "settings [KEY | KEY=VALUE]...   print or store settings, as the preferences window does",
         "Usage: " EXE " settings [KEY | KEY=VALUE]...",
         "Without operands prints every setting as KEY=VALUE. KEY prints one;\n"
         "KEY=VALUE stores one in your settings, with the preferences window's\n"
         "checks: a folder must exist, be writable and not lie inside (or hold)\n"
         "another of the three folders; a daily sub-folder pattern must make one\n"
         "plain folder name. Exit status 1 when a value was refused, 2 for a key\n"
         "that is no setting (nothing is stored then).\n\n"
         "Options:\n",
         runSettingsCommand},
        {"watch", "watch   hot folder mode without a window (folders from the settings)",
         "Usage: " EXE " watch [--until-idle] [--verbose] [--set KEY=VALUE]...",
         "Hot folder mode without a window until Ctrl-C: photos arriving in the hot\n"
         "folder are taken in, decoded and delivered into the main folder.\n\n"
         "Options:\n"
         "  --until-idle      end once the hot folder is empty and its photos are\n"
         "                    delivered (exit status 3 when a delivery stopped or\n"
         "                    files no pass takes are left in the hot folder)\n",
         runWatchCommand},
        {"deliver", "deliver SOURCE DEST   move the sorted photos of SOURCE into DEST",
         "Usage: " EXE " deliver [--verbose] [--set KEY=VALUE]... SOURCE DEST",
         "Moves the sorted photos of SOURCE into DEST, the main folder of this run\n"
         "(its daily sub-folder when the settings name one), which must exist. A\n"
         "photo never replaces another. A full, read-only, failing or vanished drive\n"
         "stops the run at once; the rest stays in SOURCE. Exit status 3 when\n"
         "photos stayed behind, files that are no photos stay in SOURCE (each is\n"
         "named) or the run stopped.\n\n"
         "Options:\n",
         runDeliverCommand},
        {"detect", "detect [--raw] [--workers N] FILE...   print each photo's path, a tab and the code on its card",
         "Usage: " EXE " detect [--raw] [--workers N] [--set KEY=VALUE]... FILE...",
         "Reads the code on each card photo: prints its path, a tab and the code\n"
         "(nothing after the tab when no code was found). A photo that looks like\n"
         "a card but gives no code is named on standard error.\n\n"
         "Options:\n"
         "  --raw             also every payload read, a tab before each, control\n"
         "                    characters as \\uXXXX, usable as a code or not\n"
         "  --workers N       photos read at once (1 to 64, 2 unless given)\n",
         runDetectCommand},
        {"info", "info FILE...   print capture date, camera key, orientation and pixel size",
         "Usage: " EXE " info [--set KEY=VALUE]... FILE...",
         "Prints, for each photo, its path, capture date, camera key, orientation\n"
         "and pixel size, separated by tabs (\"-\" where the photo does not say).\n"
         "Exit status 3 when a file could not be read.\n\n"
         "Options:\n",
         runInfoCommand},
    };
    return std::span<const Command>(table);
}

const Command *commandNamed(const QString &name)
{
    for (const Command &c : commands()) {
        if (name == QLatin1String(c.name))
            return &c;
    }
    return nullptr;
}

QString commandUsage(const char *name)
{
    const Command *command = commandNamed(QLatin1String(name));
    return command ? QString::fromUtf8(command->usage) : QString();
}

QString commandHelp(const Command &command)
{
    return QString::fromUtf8(command.usage) + QStringLiteral("\n\n") + QString::fromUtf8(command.help) + QString::fromUtf8(cCommonOptions)
        + QStringLiteral("\n\nExit status: 0 done, 1 failed, 2 wrong usage, 3 done with photos not handled.");
}

} // namespace sorrelby::cli
