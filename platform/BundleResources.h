#pragma once
// The program's own executables beside the one the user starts: the window,
// the watchdog and the relaunch helper. In the build tree they all sit in one
// folder; once installed, the command is in bin/ and the others in the
// library-executables folder.

#include <QString>

namespace sorrelby {

// The helper `name` for a program whose executable lies in
// applicationFolder (the running program's folder when empty): beside it
// when there, else in the installed helpers folder, else beside it anyway
// (the caller then reports what is missing).
QString helperExecutable(const QString &name, const QString &applicationFolder = {});

} // namespace sorrelby
