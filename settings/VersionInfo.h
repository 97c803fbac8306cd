#pragma once

#include <QString>

namespace sorrelby {

// The version text stored under "prefVersionString" at every start and
// printed by --version: version, display name, then the build tool and the
// SDK in the form "<version> <name> [xc-<compiler> sdk-<Qt>]".
QString versionText();

} // namespace sorrelby
