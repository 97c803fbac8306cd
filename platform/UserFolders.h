#pragma once
// Where this user's files of ours live, following the XDG conventions.

#include <QString>

namespace sorrelby::userfolders {

QString home();
QString stateHome();       // $XDG_STATE_HOME or ~/.local/state
QString configHome();      // $XDG_CONFIG_HOME or ~/.config
QString dataHome();        // $XDG_DATA_HOME or ~/.local/share
QString runtimeDir();      // $XDG_RUNTIME_DIR, else the temporary folder
QString logFolder();       // stateHome() + "/Vemo"
QString logFilePath();     // logFolder() + "/Sorrelby.log"
QString temporaryFolder(); // QDir::tempPath() + "/com.halvane.vemo.sorrelby"
QString expandTilde(const QString &path);

} // namespace sorrelby::userfolders
