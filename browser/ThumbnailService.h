#pragma once
// Makes thumbnails in the background and keeps them. Thumbnails are made by
// makeThumbnail() on a pool of its own with a bounded number of threads,
// cached by file identity (device, inode, size, modification time; so a
// rename costs nothing and a rewritten file is made anew) within a byte
// budget, and handed back as QImage.
//
// Two ways in:
// - request(): from the thread the service lives on (the GUI thread). The
//   result arrives later on that thread, through the callback and the
//   thumbnailReady signal. Requests for a photo already under way are joined
//   to it. cancelPending() starts a new generation: queued work is dropped
//   and results of earlier requests are no longer delivered (they are still
//   cached), e.g. when the browser leaves a folder.
// - thumbnailsFor() / thumbnail(): blocking, from any thread but the pool's,
//   for loaders that want every thumbnail before they report.

#include <QCache>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include <sys/types.h>

class QThreadPool;

namespace sorrelby {

// What makes two files the same picture for the cache.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    qint64 size = 0;
    qint64 modifiedMs = 0;
    bool operator==(const FileIdentity &) const = default;
};
size_t qHash(const FileIdentity &identity, size_t seed = 0);

// The identity of the file at path; none when it cannot be read.
std::optional<FileIdentity> fileIdentity(const QString &path);

class ThumbnailService : public QObject {
    Q_OBJECT
public:
    using Callback = std::function<void(const QString &path, const QImage &thumbnail)>;
    using Maker = std::function<QImage(const QString &path)>;

    // maxThreads 0: one fewer than the cores, at least one. The default
    // budget holds a whole 2,000-photo day (about 70 KB a thumbnail), so a
    // reload never makes thumbnails again. The maker defaults to
    // makeThumbnail (tests pass their own).
    explicit ThumbnailService(int maxThreads = 0, qint64 cacheBytes = 256LL * 1024 * 1024, Maker maker = {}, QObject *parent = nullptr);
    // Waits for the thumbnails being made right now; queued ones are dropped.
    ~ThumbnailService() override;

    // The cached thumbnail of the file as it is now, without making one.
    std::optional<QImage> cached(const QString &path) const;

    // Asks for the thumbnail of path. Higher priorities are made first. The
    // callback (when given) and thumbnailReady fire on the service's thread
    // unless the request is cancelled first; a null image means the file
    // could not be read.
    void request(const QString &path, Callback callback = {}, int priority = 0);

    // Drops the queued requests; results of earlier requests are no longer
    // delivered.
    void cancelPending();

    // Blocking: the thumbnails of the paths, in their order, made in parallel.
    QList<QImage> thumbnailsFor(const QStringList &paths);
    QImage thumbnail(const QString &path);

    int pendingCount() const { return int(m_pending.size()); }

Q_SIGNALS:
    void thumbnailReady(const QString &path, const QImage &thumbnail);

private:
    struct Pending {
        FileIdentity identity;
        quint64 generation = 0;
        QList<Callback> callbacks;
    };

    QImage makeAndCache(const QString &path, const FileIdentity &identity);
    void store(const FileIdentity &identity, const QImage &image);
    void start(const QString &path, const FileIdentity &identity, int priority);
    void finished(const QString &path, const FileIdentity &identity, quint64 generation, const QImage &image);

    std::unique_ptr<QThreadPool> m_pool;
    Maker m_maker;
    mutable std::mutex m_cacheMutex;
    QCache<FileIdentity, QImage> m_cache;
    // Only touched on the service's thread.
    QHash<QString, Pending> m_pending;
    quint64 m_generation = 0;
};

} // namespace sorrelby
