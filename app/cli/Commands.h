#pragma once
// The table of subcommands. Add a command by writing its run function in its
// own file and listing it in Commands.cpp.

#include "app/cli/CommandLine.h"

#include <span>

namespace sorrelby::cli {

std::span<const Command> commands();

} // namespace sorrelby::cli
