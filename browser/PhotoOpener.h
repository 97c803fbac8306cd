#pragma once
// Opens a photo in the desktop's own image viewer and tells afterwards
// whether a program took it. QDesktopServices starts xdg-open detached and
// calls that success, so a desktop without an image viewer said nothing;
// xdg-open's own exit status tells (3: no program for the type, 4: the
// program failed). GUI thread; done is called there, once.

#include <QString>

#include <functional>

namespace sorrelby {

// A launcher still running after this long has a viewer open: the photo was
// taken, whatever the viewer's exit status is later.
inline constexpr int cViewerTookItAfterMs = 10000;

void openWithDesktopViewer(const QString &path, std::function<void(bool opened)> done,
                           const QString &launcher = QStringLiteral("xdg-open"));

} // namespace sorrelby
