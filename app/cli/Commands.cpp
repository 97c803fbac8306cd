#include "app/cli/Commands.h"

namespace sorrelby::cli {

// The run functions, one file each.
int runDeliverCommand(const QStringList &args);

std::span<const Command> commands()
{
    static const Command table[] = {
        {"deliver", "deliver SOURCE DEST                      move the sorted photos of SOURCE into DEST", runDeliverCommand},
    };
    return std::span<const Command>(table);
}

} // namespace sorrelby::cli
