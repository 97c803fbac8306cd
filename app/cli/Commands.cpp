#include "app/cli/Commands.h"

namespace sorrelby::cli {

std::span<const Command> commands()
{
    static const Command table[] = {
        {"", "", nullptr}, // placeholder until the first command lands
    };
    return std::span<const Command>(table, 0);
}

} // namespace sorrelby::cli
