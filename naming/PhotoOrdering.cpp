#include "naming/PhotoOrdering.h"

#include "naming/FileNameScheme.h"
#include "platform/FileOps.h"
#include "platform/Log.h"

#include <QDateTime>

#include <algorithm>
#include <vector>

namespace sorrelby {

namespace {

constexpr QStringView cClass = u"PhotoOrdering";

enum class KeyKind { Name, CreationDate, ModificationDate, UnknownDate };

KeyKind kindOfKey(const QString &key)
{
    if (key.isEmpty() || key == cSortKeyCreationDate)
        return KeyKind::CreationDate;
    if (key == cSortKeyName || key == cSortKeyLocalizedName)
        return KeyKind::Name; // the display name is the file name here
    if (key == cSortKeyModificationDate || key == QLatin1String("contentModificationDate"))
        return KeyKind::ModificationDate;
    return KeyKind::UnknownDate;
}

struct SortItem {
    QString path;
    QString name;
    qint64 date = 0;      // milliseconds since the epoch
    bool hasDate = false; // false when the date could not be read
};

int compareNames(const SortItem &a, const SortItem &b)
{
    const int c = QString::compare(a.name, b.name, Qt::CaseSensitive);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// Photos whose date cannot be read count as equal to each other and later
// than every dated photo. Counting them equal to every date would break the
// transitivity the sort relies on as soon as dated and undated photos mix.
int compareDates(const SortItem &a, const SortItem &b)
{
    const bool aValid = a.hasDate;
    const bool bValid = b.hasDate;
    if (aValid && bValid) {
        if (a.date < b.date)
            return -1;
        if (b.date < a.date)
            return 1;
        return compareNames(a, b);
    }
    if (aValid != bValid)
        return aValid ? -1 : 1;
    return compareNames(a, b);
}

std::optional<QStringList> sortPaths(const QStringList &paths, SortDirection direction, const QString &key, QStringView operation)
{
    const KeyKind kind = kindOfKey(key);
    std::vector<SortItem> items;
    items.reserve(size_t(paths.size()));
    for (const QString &path : paths) {
        SortItem item{path, fileNameOf(path)};
        if (kind == KeyKind::CreationDate || kind == KeyKind::ModificationDate) {
            if (const auto attributes = fileops::attributes(path)) {
                const QDateTime &date = kind == KeyKind::CreationDate ? attributes->creationDate : attributes->modificationDate;
                item.hasDate = date.isValid();
                item.date = item.hasDate ? date.toMSecsSinceEpoch() : 0;
            }
        }
        items.push_back(std::move(item));
    }

    const int wanted = int(direction);
    const auto compare = kind == KeyKind::Name ? compareNames : compareDates;
    std::stable_sort(items.begin(), items.end(), [&](const SortItem &a, const SortItem &b) { return compare(a, b) == wanted; });

    QStringList sorted;
    sorted.reserve(paths.size());
    for (SortItem &item : items)
        sorted.append(std::move(item.path));
    logOp(cClass, operation,
          QString(QString::number(sorted.size()) + QStringLiteral(" photos by ") + (key.isEmpty() ? QString(cSortKeyCreationDate) : key)
                  + (direction == SortDirection::Ascending ? QStringLiteral(" ascending") : QStringLiteral(" descending"))));
    return sorted;
}

} // namespace

std::optional<QStringList> sortImageUrls(const QStringList &paths, SortDirection direction, const QString &key)
{
    return sortPaths(paths, direction, key, u"sortImageUrls(sortby:withkey:)");
}

std::optional<QStringList> sortImageUrls222(const QStringList &paths, SortDirection direction, const QString &key)
{
    return sortPaths(paths, direction, key, u"sortImageUrls222(sortby:withkey:)");
}

} // namespace sorrelby
