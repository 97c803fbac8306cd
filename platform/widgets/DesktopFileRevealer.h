#pragma once
// Reveals files through org.freedesktop.FileManager1.ShowItems on the session
// bus; when there is no bus, no file manager answers or the call fails, the
// containing folders are opened with QDesktopServices instead. The call is
// asynchronous, so a slow file manager never stalls the window. Main thread.

#include "platform/FileRevealer.h"

namespace sorrelby {

class DesktopFileRevealer : public FileRevealer {
public:
    void showItems(const QStringList &paths) override;
    void openFolder(const QString &path) override;
};

} // namespace sorrelby
