#pragma once
// Every test process runs in its own temporary HOME with its own XDG folders
// and TMPDIR, so no test touches the real user's files.

#include <QDateTime>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <string>

#include <sys/types.h>

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

// A folder at path, made with its parents; its clean path.
QString makeFolder(const QString &path);

// The bytes of a stand-in photo named `name`: `text` behind the first bytes
// of the type its extension names (JPEG, TIFF for RAW names, PNG), so the
// listing takes it for a photo although no reader decodes it. Text that is
// a picture already is given back as it is.
QByteArray standIn(const QString &name, const QByteArray &text);

// The capture time of the first photo writeFilesInOrder() writes.
QDateTime firstCaptureTime();

// Writes stand-ins for photos into folder, one second apart in the given
// order from firstCaptureTime() (their modification times). Each holds
// standIn(name, content), or standIn(name, "photo <name>") when no content is
// given, so a replaced file is told from the one that replaced it. Returns
// the paths.
QStringList writeFilesInOrder(const QString &folder, const QStringList &names, const QByteArray &content = {});

// Everything in a folder (hidden entries and sub-folders too) by name.
QStringList entriesOf(const QString &folder);

// The files below a folder, as paths relative to it, sorted.
QStringList filesBelow(const QString &folder);

// Lists compared as text, so that a failure shows the names.
std::string lines(const QStringList &list);
// The same, sorted first.
std::string sortedLines(QStringList list);

// Processes events until pred() holds or the time runs out; returns pred().
// fork() once no thread of ours is in the middle of an allocation: the
// settings writers have written and the thread pool's threads are gone.
// Under AddressSanitizer a child forked while another thread holds the
// allocator's lock hangs at its first allocation.
pid_t forkQuietly();

bool waitUntil(const std::function<bool()> &pred, int timeoutMs = 5000);

// Processes events for the given time.
void spinFor(int ms);

// Stores a value in the user's settings file, which the programs a test
// starts read: also a value that --set would refuse today but that a file
// written by an earlier version may hold.
void storeUserSetting(const QString &key, const QVariant &value);

// A folder on a second file system (tmpfs at /dev/shm) when one is writable,
// else empty (callers then skip).
QString otherFileSystemFolder();

// A program run to its end (a test failure when it does not end in time).
struct ProgramRun {
    int exitCode = -1;
    bool crashed = false;
    QString out;
    QString err;
};
// environment: the test's own when empty.
ProgramRun runProgram(const QString &program, const QStringList &args, int timeoutMs = 60000, const QProcessEnvironment &environment = {});

#ifdef SORRELBY_APP_PATH
// The application program of this build (tests made with RUNS_APP).
inline ProgramRun runApp(const QStringList &args, int timeoutMs = 60000, const QProcessEnvironment &environment = {})
{
    return runProgram(QStringLiteral(SORRELBY_APP_PATH), args, timeoutMs, environment);
}
#endif

} // namespace sorrelby::testkit
