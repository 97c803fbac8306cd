#pragma once
// The command line of vemo-sorrelby: --version, --help and the subcommands
// that work without a display (detect, info, decode, sections, deliver,
// intake, watch, card, report). Each subcommand lives in its own file here.

#include "platform/FolderScan.h"

#include <QStringList>

#include <optional>

namespace sorrelby {
class SingleInstance;
}

namespace sorrelby::cli {

// Exit statuses shared by every subcommand.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1; // an unreadable folder, a failed run
inline constexpr int kExitUsage = 2;
inline constexpr int kExitIssues = 3; // the run finished but reported issues

struct Command {
    const char *name;
    const char *synopsis;                // its form, three spaces, what it does: a line of the program's --help
    const char *usage;                   // the "Usage:" lines of its usage errors and --help
    const char *help;                    // what it does and its own options, for its --help
    int (*run)(const QStringList &args); // args after the subcommand's name
};

// What the arguments (without the program's name) ask for: the window
// (with the folders to show), help, the version, a command (its arguments
// with the options that stood before its name), or a usage error.
struct Invocation {
    enum Kind { Window, Help, Version, RunCommand, Usage } kind = Window;
    const Command *command = nullptr;
    QStringList args;
    QStringList folders;
    QString problem; // for Usage
};
Invocation parseInvocation(const QStringList &arguments);

// Runs a command-line request when argv asks for one (creating the
// QCoreApplication it needs) and returns its exit status; returns nothing when
// the application should start its window instead.
std::optional<int> runIfCommandLine(int argc, char **argv);

// Takes every "--set KEY=VALUE" out of args and applies it to the shared
// settings as a run-only value. Returns an error message, or empty.
QString applySetOptions(QStringList &args);

// Keeps the log's info and debug lines off standard error unless verbose, so
// a command's own progress and messages stay readable; warnings still show.
// runIfCommandLine() installs it, taking a "--verbose" out of the arguments.
void installInfoLogFilter(bool verbose);

// Writes a line to standard output / standard error.
void printOut(const QString &line);
void printErr(const QString &line);

// True for an option ("-x", "--name"); a lone "-" is an operand.
bool isOption(const QString &arg);

// "--workers N" or "--workers=N" at args[i] (i moves past a separate value):
// the number of detection workers, 1 to 64, or nothing when it is not one.
bool isWorkersOption(const QString &arg);
std::optional<int> takeWorkersOption(const QStringList &args, qsizetype &i);
inline constexpr QLatin1StringView cWorkersRangeError{"--workers needs a number from 1 to 64"};

// Prints "<program>: <problem>" (when there is one), the command's usage and
// where to find more on standard error; returns kExitUsage.
int usageError(const QString &usage, const QString &problem = {});

// The operands of a command without options of its own: exactly `count`
// of them, or at least one when count is 0. None, with the usage printed,
// for an option or another number of operands.
std::optional<QStringList> plainOperands(const QStringList &args, const QString &usage, qsizetype count = 0);

// The folder of a command that takes exactly one; none, with the usage
// printed, when the operands hold none or more than one.
std::optional<QString> singleFolder(const QStringList &operands, const QString &command, const QString &usage);

// Prints that a folder cannot be read, and why; returns kExitFailure.
int unreadableFolder(const QString &folder, const QString &reason);

// Names each file left alone in a folder on standard error, one line each
// ("left in FOLDER: NAME: reason"), or only their number with --quiet.
// Returns how many there were.
int reportLeftAlone(const QList<LeftAlone> &files, const QString &folder);

// An operand as an absolute path without "." and ".." pieces.
QString absolutePath(const QString &operand);

// The per-user lock that keeps a command from working beside the window or
// another such command; false (with the reason printed) when another holds it.
bool takeInstanceLock(SingleInstance &instance, const QString &advice);

} // namespace sorrelby::cli
