#include "naming/PhotoOrdering.h"

#include "imaging/PhotoMetadata.h"
#include "naming/FileNameScheme.h"
#include "platform/FileOps.h"
#include "platform/Log.h"

#include <QDateTime>
#include <QHash>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <tuple>
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

// A file as it is now: a rename keeps it, a rewrite changes it.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    qint64 size = 0;
    qint64 modified = 0;
    bool operator==(const FileIdentity &other) const
    {
        return std::tie(device, inode, size, modified) == std::tie(other.device, other.inode, other.size, other.modified);
    }
};

size_t qHash(const FileIdentity &identity, size_t seed = 0)
{
    return qHashMulti(seed, quint64(identity.device), quint64(identity.inode), identity.size, identity.modified);
}

// Capture times already read: every refresh and pass orders the whole shoot
// again, and a decode renames photos without changing them.
class CaptureClockCache {
public:
    std::optional<qint64> get(const QString &path, const FileAttributes &attributes)
    {
        const FileIdentity identity{attributes.device, attributes.inode, attributes.size, attributes.modificationDate.toMSecsSinceEpoch()};
        {
            const std::lock_guard lock(m_mutex);
            const auto found = m_clocks.constFind(identity);
            if (found != m_clocks.cend())
                return *found;
        }
        const std::optional<qint64> clock = captureClockMsecs(path);
        const std::lock_guard lock(m_mutex);
        if (m_clocks.size() >= cMaxEntries)
            m_clocks.clear();
        m_clocks.insert(identity, clock);
        return clock;
    }

private:
    static constexpr qsizetype cMaxEntries = 50000;
    std::mutex m_mutex;
    QHash<FileIdentity, std::optional<qint64>> m_clocks;
};

CaptureClockCache &captureClocks()
{
    static CaptureClockCache cache;
    return cache;
}

// The capture clocks of the photos, on every core: the first listing of a
// large shoot reads one Exif block a photo, which one thread after another
// made the first screen wait seconds for. False as soon as a photo has none.
bool readCaptureClocks(const QStringList &paths, const std::vector<std::optional<FileAttributes>> &attributes, std::vector<qint64> &clocks)
{
    const size_t count = attributes.size();
    clocks.assign(count, 0);
    std::atomic<size_t> next{0};
    std::atomic<bool> missing{false};
    const auto work = [&] {
        for (size_t i = next++; i < count && !missing.load(std::memory_order_relaxed); i = next++) {
            const std::optional<qint64> clock = captureClocks().get(paths[qsizetype(i)], *attributes[i]);
            if (!clock)
                missing = true;
            else
                clocks[i] = *clock;
        }
    };
    // Threads pay for themselves only past a few dozen files not yet cached.
    constexpr size_t cPhotosPerThread = 64;
    const size_t threads = std::min<size_t>({std::max(1u, std::thread::hardware_concurrency()), 8, count / cPhotosPerThread + 1});
    std::vector<std::thread> helpers;
    for (size_t t = 1; t < threads; ++t)
        helpers.emplace_back(work);
    work();
    for (std::thread &helper : helpers)
        helper.join();
    return !missing;
}

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
    // The capture time the camera wrote comes first: file dates are lost by
    // a copy that does not keep them, and FAT keeps them to 2 s only. But
    // only when every photo has one; one key per photo keeps the order
    // total, and mixing the two clocks would compare unlike things.
    bool everyClock = kind == KeyKind::CreationDate;
    std::vector<std::optional<FileAttributes>> found;
    if (everyClock)
        found.reserve(size_t(paths.size()));
    for (const QString &path : paths) {
        SortItem item{path, fileNameOf(path)};
        if (kind == KeyKind::CreationDate || kind == KeyKind::ModificationDate) {
            std::optional<FileAttributes> attributes = fileops::attributes(path);
            if (attributes) {
                const QDateTime &date = kind == KeyKind::CreationDate ? attributes->creationDate : attributes->modificationDate;
                item.hasDate = date.isValid();
                item.date = item.hasDate ? date.toMSecsSinceEpoch() : 0;
            } else {
                everyClock = false;
            }
            if (everyClock)
                found.push_back(std::move(attributes));
        }
        items.push_back(std::move(item));
    }
    std::vector<qint64> clocks;
    if (everyClock)
        everyClock = readCaptureClocks(paths, found, clocks);
    if (everyClock && !items.empty()) {
        for (size_t i = 0; i < items.size(); ++i) {
            items[i].date = clocks[i];
            items[i].hasDate = true;
        }
    } else if (kind == KeyKind::CreationDate && !items.empty()) {
        logOp(cClass, operation, QStringLiteral("not every photo carries its capture time: ordering by file dates"));
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
