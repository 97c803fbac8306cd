#pragma once
// The table of subcommands. Add a command by writing its run function in its
// own file and listing it in Commands.cpp.

#include "cli/CommandLine.h"

#include <span>

namespace sorrelby::cli {

std::span<const Command> commands();
const Command *commandNamed(const QString &name);

// The "Usage:" lines of a command, for its usage errors.
QString commandUsage(const char *name);

// What "COMMAND --help" prints: usage, what it does, its options.
QString commandHelp(const Command &command);

} // namespace sorrelby::cli
