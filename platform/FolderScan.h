#pragma once
// The entries of a folder under the names the file system gives, and which
// of them are photos a shoot can hold. A file that is not one stays where it
// is and is reported with its reason, never dropped in silence: a name that is
// not UTF-8 cannot be carried through the program's text names (it would come
// back as another name), and a file no photo reader opens must not be sorted
// as a portrait. Stateless apart from a memo of each file's verdict by file
// identity; safe from any thread.

#include "platform/FileOps.h"

#include <QByteArray>
#include <QLatin1StringView>
#include <QList>
#include <QString>

#include <optional>
#include <vector>

namespace sorrelby {

// Reasons a file is left alone, as the listing, the commands and the window show them.
inline constexpr QLatin1StringView cNameNotUtf8Reason{"name is not valid UTF-8"};
inline constexpr QLatin1StringView cSymbolicLinkReason{"symbolic link"};
inline constexpr QLatin1StringView cFolderReason{"folder"};
inline constexpr QLatin1StringView cEmptyFileReason{"empty file"};
inline constexpr QLatin1StringView cNotAPhotoReason{"not a photo"};

// A file left where it is, and why.
struct LeftAlone {
    QString name; // for showing; bytes that are not UTF-8 read \xNN
    QString reason;
    bool operator==(const LeftAlone &) const = default;
};

// "NAME: reason" lines, one per file.
QStringList describeLeftAlone(const QList<LeftAlone> &files);

struct FolderEntry {
    QByteArray nativeName;
    QString name; // the decoded name; only good for a file when nameIsUtf8
    bool nameIsUtf8 = true;
    unsigned char type = 0; // the dirent type (DT_UNKNOWN where the file system gives none)
};

// The entries directly in a folder, hidden ones ("." first) left out, in
// listing order; none (with *errorNumber) when the folder cannot be read.
std::optional<std::vector<FolderEntry>> folderEntries(const QString &folder, int *errorNumber = nullptr);

// The name for showing: UTF-8 as it is, other bytes as \xNN.
QString shownName(const QByteArray &nativeName);

// Why a file whose content begins with `head` and whose name is `fileName`
// is not a photo; none when it is one: JPEG, TIFF and the camera RAW formats,
// PNG, each under a name that does not claim another type. The first bytes
// decide, nothing is decoded.
std::optional<QString> notAPhotoReason(const QByteArray &head, const QString &fileName);

// Why the file at path (links followed) is not a photo to sort: not a regular
// file, unreadable, empty, or not a photo by its first bytes; none when it is.
std::optional<QString> photoFileProblem(const QString &path);

struct ScannedPhoto {
    QString path;
    FileAttributes attributes;
};

struct FolderScan {
    std::vector<ScannedPhoto> photos; // in listing order
    QList<LeftAlone> leftAlone;       // every other visible entry, folders included
};

// The photos directly inside a folder (regular files, not hidden, not links)
// and every other visible entry with why it is left alone, but for the
// shoot's own class list ("roster.csv"), which belongs there. None when the
// folder cannot be listed (*error says why, when given).
std::optional<FolderScan> scanPhotoFolder(const QString &folder, QString *error = nullptr);

} // namespace sorrelby
