#pragma once
// The one ordering of photos used everywhere photos are walked in capture
// order: stable, by a date (creation date by default) with the literal file
// name breaking ties, or by the literal file name.

#include <QString>
#include <QStringList>

#include <optional>

namespace sorrelby {

enum class SortDirection : int { Ascending = -1, Descending = 1 };

// Sort keys (the "key" entries of the sort key lists in the settings).
inline constexpr QLatin1StringView cSortKeyCreationDate{"creationDate"};
inline constexpr QLatin1StringView cSortKeyModificationDate{"modificationDate"};
inline constexpr QLatin1StringView cSortKeyName{"name"};
inline constexpr QLatin1StringView cSortKeyLocalizedName{"localizedName"};

// Orders photo paths; an empty key means the creation date; a key that is not
// a name key is read as a date. By creation date, the capture time in the
// photos' Exif (DateTimeOriginal with its sub-seconds) is used when every
// photo of the list carries one, the file dates otherwise; capture times are
// cached by file identity, so a renamed photo is not read again. Each file's date is read once. Photos whose
// date cannot be read (gone, unreadable, a key with no date here) sort as
// later than every dated photo and by name among themselves. None when the
// result cannot be formed.
std::optional<QStringList> sortImageUrls(const QStringList &paths, SortDirection direction, const QString &key = {});
std::optional<QStringList> sortImageUrls222(const QStringList &paths, SortDirection direction, const QString &key = {});

} // namespace sorrelby
