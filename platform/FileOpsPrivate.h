#pragma once
// Low-level helpers shared by the file operations and the trash. They work on
// native (encoded) paths and report failure as an errno value (0 = success).

#include <QByteArray>
#include <QString>

namespace sorrelby::fileops::detail {

QByteArray nativePath(const QString &path);
QString quoted(const QString &path);

// Renames without ever replacing an existing `to` on one file system:
// renameat2(RENAME_NOREPLACE), else a hard link plus unlink, else the name is
// reserved with an empty placeholder that the rename then takes over.
int renameNoReplace(const QByteArray &from, const QByteArray &to);

// link(2), unless a limited file system is being simulated.
int hardLink(const QByteArray &from, const QByteArray &to);

// fsync of a folder, so that a new or removed name survives a power cut.
void syncFolder(const QByteArray &folder);

QByteArray parentFolder(const QByteArray &path);

// Tests only: behave like a file system without renameat2's no-replace flag
// and, optionally, without hard links (FUSE and network volumes).
void simulateLimitedFileSystem(bool noRenameFlags, bool noHardLinks);
// Tests only: behave like a file system that will not rename onto an
// existing name even with plain rename(2) (some shares).
void simulateNoRenameOntoExisting(bool on);

// Tests only: behave like a file system without unnamed temporary files
// (O_TMPFILE), as FAT and network volumes are.
void simulateNoUnnamedTemporaries(bool on);

// Tests only: the process kills itself (SIGKILL) when it reaches the point,
// so that a test can look at what a crash there leaves behind.
enum class KillPoint {
    None,
    CopyFlushed,      // a copy is complete and flushed but not yet under its name
    TrashInfoWritten, // the trash's info file is written, the file not yet moved
};
void setKillPoint(KillPoint point);
void killIfAt(KillPoint point);

} // namespace sorrelby::fileops::detail
