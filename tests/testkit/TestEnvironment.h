#pragma once
// Every test process runs in its own temporary HOME with its own XDG folders
// and TMPDIR, so no test touches the real user's files.

#include <QString>

#include <functional>

namespace sorrelby::testkit {

// Sets HOME, XDG_* and TMPDIR to fresh folders below one temporary root.
// Called by the test main before the application object exists.
void isolateUserFolders();

// The temporary root of this process (removed at exit).
QString testRoot();

// A fresh empty folder below the test root.
QString makeTempFolder(const QString &hint = QStringLiteral("dir"));

// Writes bytes to a file (creating folders); returns false on failure.
bool writeFile(const QString &path, const QByteArray &data);
QByteArray readFile(const QString &path);

// Processes events until pred() holds or the time runs out; returns pred().
bool waitUntil(const std::function<bool()> &pred, int timeoutMs = 5000);

// Processes events for the given time.
void spinFor(int ms);

// A folder on a second file system (tmpfs at /dev/shm) when one is writable,
// else empty (callers then skip).
QString otherFileSystemFolder();

} // namespace sorrelby::testkit
