#pragma once
// File operations that stand in for the platform's file manager. Every
// operation reports failure through FileResult with the system's error text;
// none throws. No operation here ever replaces an existing file: a photo may
// only give way to the same photo, which the caller checks (sameContent).

#include <QDateTime>
#include <QFile>
#include <QLatin1StringView>
#include <QString>

#include <optional>
#include <sys/types.h>

namespace sorrelby {

struct FileResult {
    bool ok = true;
    QString error;       // the system's description when !ok
    int errorNumber = 0; // the errno behind it, 0 when none is known

    static FileResult success() { return {}; }
    static FileResult failure(QString message, int errnum = 0) { return {false, std::move(message), errnum}; }
    static FileResult fromErrno(int errnum, const QString &context = {});
    explicit operator bool() const { return ok; }
};

struct FileAttributes {
    qint64 size = 0;
    bool isDirectory = false;
    bool isRegularFile = false;
    bool isSymLink = false;
    bool isWritable = false;
    // The earlier of birth time (where the file system keeps one) and
    // modification time, so a copy that kept its modification time sorts by
    // capture time.
    QDateTime creationDate;
    QDateTime modificationDate;
    dev_t device = 0;
    ino_t inode = 0;
    mode_t mode = 0;
};

inline constexpr QLatin1StringView cNotRegularFileReason{"not a regular file"};
// FileResult::errorNumber of a copy that was read back different from its
// original (not an errno value): the original stays where it was.
inline constexpr int cCopyNotVerified = 100003;

namespace fileops {

bool exists(const QString &path); // without following a final symlink
std::optional<FileAttributes> attributes(const QString &path);

// Moves `from` to `to`; fails (EEXIST) when `to` exists. Same file system:
// renameat2(RENAME_NOREPLACE), else link + unlink, else the name claimed by
// an exclusive create and the file renamed (or copied, flushed and compared)
// onto its own placeholder; what a file system refused is learned once per
// run and logged. Across file systems: copy
// into an unnamed file of the target's folder (or, where the file system has
// none, a hidden temporary beside the target; leftovers of a killed copy are
// removed first), fsync, verify size, link it into place without replacing,
// then compare it with the source byte for byte (cCopyNotVerified when they
// differ) and only then remove the source.
FileResult moveNoReplace(const QString &from, const QString &to);

// True when both name regular files (links not followed) with the same bytes,
// and are not one file under two names. Sizes are compared first.
bool sameContent(const QString &a, const QString &b);

// True while another process or thread is still filling the file under this
// name: where the name was claimed for a copy (file systems without
// never-replace renames), the claim stays locked until the copy is in place.
// Such a file must not be compared yet: it would pass for another photo.
bool placementInProgress(const QString &path);

// Copies keeping the modification time; fails when `to` exists. The copy is
// flushed to disk before it appears under its name.
FileResult copyNoReplace(const QString &from, const QString &to);

// Moves into the freedesktop trash of the file's volume. On success
// *trashedPath (when given) is where it went. Fails when the result does not
// lie in a trash folder.
FileResult moveToTrash(const QString &path, QString *trashedPath = nullptr);

FileResult removeFile(const QString &path);        // a file or an empty folder
FileResult removeRecursively(const QString &path); // a folder and its content
FileResult createFolder(const QString &path);      // with intermediate folders; ok when present
// The last level only: ok when present as a folder, ENOENT when the folder
// above is missing. For places where a missing parent means a drive that is
// gone, and making it would write onto whatever lies beneath.
FileResult makeOneFolder(const QString &path);
FileResult setModificationDate(const QString &path, const QDateTime &date);
FileResult clearWriteProtection(const QString &path); // adds owner write (and drops immutable where allowed)
// Writes data into a temporary beside the path and renames it over the path.
// A temporary a killed writer left for the same path is removed first.
FileResult writeFileAtomically(const QString &path, const QByteArray &data);
// Removes the hidden temporaries that killed copies and writes left in a
// folder (those still locked by a live process stay); how many went.
int removeLeftoverTemporaries(const QString &folder);

// Opens a file for reading without ever waiting on it: a FIFO, a device or a
// socket would block open() or read() for ever, so only a regular file (links
// followed) is opened; the others fail with cNotRegularFileReason. The error
// text is the bare reason, for the caller to put after the file's name.
FileResult openForReading(const QString &path, QFile &file);
// The same test for readers that open by path themselves (Exiv2, Qt's image
// readers): ok when the path is a regular file that can be opened for reading.
FileResult checkReadableFile(const QString &path);

} // namespace fileops
} // namespace sorrelby
