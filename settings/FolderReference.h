#pragma once
// Persistent references to folders (`MyBookmarkDataKit`): the bytes stored
// beside every folder path in the settings so that a folder renamed in place,
// moved within its volume or seen on a remounted volume is found again. The
// bytes are JSON recording the path, the inode, the file-system id, the birth
// time where the file system keeps one, and the volume's values (whether it is
// local, its mount point and type, a remount URL for network mounts, ...).
// Resolution never asks the user anything. Stateless; safe from any thread.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace sorrelby {

class MyBookmarkDataKit {
public:
    MyBookmarkDataKit() = delete;

    // The volume and item values recorded in every reference, in this order.
    static const QStringList &resourceKeys();

    // A reference to the file or folder at path; none (logged) when it cannot
    // be made, for instance because nothing exists there.
    static std::optional<QByteArray> bookmarkForURL(const QString &path);

    // Where the referenced item is now, or none. *isStale becomes true when the
    // item was found somewhere other than the recorded path, so that fresh
    // data should be stored.
    static std::optional<QString> urlForBookmark(const QByteArray &data, bool *isStale);

    // urlForBookmark, except that an item lying in a trash counts as not found.
    static bool resolveAliasFromData(const QByteArray &data, QString *resolvedPath, bool *isStale);

    // Read recorded values without resolving; each returns whether the value
    // could be read and gives it through answer.
    static bool isLocal(bool *answer, const QByteArray &data);
    static bool isSMB(bool *answer, const QByteArray &data);
    static bool isAFP(bool *answer, const QByteArray &data);
    // One recorded value: a name from resourceKeys(), or one of the item's
    // own "path", "inode", "device", "fsid", "birthTime", "mountPoint",
    // "source", "volumeUUID", "volumeLabel"; invalid when absent.
    static QVariant getResourceObjectForKey(const QString &key, const QByteArray &data);

    // Stores a reference to path under the settings key; returns success.
    static bool savePath(const QString &path, const QString &key);

    // The id of the file system holding path (statfs), as recorded in
    // "fsid"; empty when it has none.
    static QString fileSystemId(const QString &path);

    // Whether a path lies inside a trash folder (".Trash", ".Trash-<uid>" or
    // the user's own trash).
    static bool isInTrash(const QString &path);
};

} // namespace sorrelby
