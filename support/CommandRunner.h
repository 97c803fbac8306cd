#pragma once
// Runs a helper program and returns what it printed. The program gets an
// argument vector, never a shell line, so paths with quotes, semicolons or
// spaces in them are passed through literally. Blocks the calling thread:
// call it off the main thread for anything slow.

#include <QString>
#include <QStringList>

#include <optional>

namespace sorrelby {

// At most this much standard output is kept; the rest is read and dropped.
inline constexpr qsizetype cMaxCommandOutput = 512000;

// The program's standard output as text (UTF-8), or none when it printed
// nothing, could not be started or ran longer than timeoutMs (it is then
// killed). Its standard error goes to ours, that is, into the log.
std::optional<QString> runCommand(const QString &program, const QStringList &arguments = {}, int timeoutMs = 30000);

} // namespace sorrelby
