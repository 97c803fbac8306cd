#include "browser/ThumbnailService.h"

#include "browser/Thumbnails.h"

#include <QFile>
#include <QRunnable>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrent>

#include <sys/stat.h>

#include <algorithm>

namespace sorrelby {

size_t qHash(const FileIdentity &identity, size_t seed)
{
    return qHashMulti(seed, quint64(identity.device), quint64(identity.inode), identity.size, identity.modifiedMs);
}

std::optional<FileIdentity> fileIdentity(const QString &path)
{
    struct stat info { };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    FileIdentity identity;
    identity.device = info.st_dev;
    identity.inode = info.st_ino;
    identity.size = qint64(info.st_size);
    identity.modifiedMs = qint64(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000;
    return identity;
}

ThumbnailService::ThumbnailService(int maxThreads, qint64 cacheBytes, Maker maker, QObject *parent)
    : QObject(parent)
    , m_pool(std::make_unique<QThreadPool>())
    , m_maker(maker ? std::move(maker) : Maker([](const QString &path) { return makeThumbnail(path); }))
{
    if (maxThreads <= 0)
        maxThreads = std::max(1, QThread::idealThreadCount() - 1);
    m_pool->setMaxThreadCount(maxThreads);
    m_cache.setMaxCost(qsizetype(std::max<qint64>(cacheBytes, 1)));
}

ThumbnailService::~ThumbnailService()
{
    m_pool->clear();
    m_pool->waitForDone();
}

std::optional<QImage> ThumbnailService::cached(const QString &path) const
{
    const std::optional<FileIdentity> identity = fileIdentity(path);
    if (!identity)
        return std::nullopt;
    std::lock_guard lock(m_cacheMutex);
    if (const QImage *image = m_cache.object(*identity))
        return *image;
    return std::nullopt;
}

void ThumbnailService::store(const FileIdentity &identity, const QImage &image)
{
    std::lock_guard lock(m_cacheMutex);
    // Null results are kept too (cost 1): an unreadable file is not retried
    // until it changes.
    m_cache.insert(identity, new QImage(image), std::max<qsizetype>(1, image.sizeInBytes()));
}

QImage ThumbnailService::makeAndCache(const QString &path, const FileIdentity &identity)
{
    {
        std::lock_guard lock(m_cacheMutex);
        if (const QImage *image = m_cache.object(identity))
            return *image;
    }
    const QImage image = m_maker(path);
    store(identity, image);
    return image;
}

void ThumbnailService::request(const QString &path, Callback callback, int priority)
{
    const quint64 generation = m_generation;
    auto deliverLater = [this, path, generation, callback](const QImage &image) {
        QMetaObject::invokeMethod(
            this,
            [this, path, generation, callback, image] {
                if (generation != m_generation)
                    return;
                if (callback)
                    callback(path, image);
                Q_EMIT thumbnailReady(path, image);
            },
            Qt::QueuedConnection);
    };
    const std::optional<FileIdentity> identity = fileIdentity(path);
    if (!identity) {
        deliverLater(QImage());
        return;
    }
    if (const std::optional<QImage> image = [&]() -> std::optional<QImage> {
            std::lock_guard lock(m_cacheMutex);
            if (const QImage *found = m_cache.object(*identity))
                return *found;
            return std::nullopt;
        }()) {
        deliverLater(*image);
        return;
    }
    auto pending = m_pending.find(path);
    if (pending != m_pending.end() && pending->identity == *identity) {
        pending->callbacks.append(callback);
        return;
    }
    // A new file or one that changed under the same name.
    m_pending.insert(path, Pending{*identity, generation, {callback}});
    start(path, *identity, priority);
}

void ThumbnailService::start(const QString &path, const FileIdentity &identity, int priority)
{
    const quint64 generation = m_generation;
    QRunnable *job = QRunnable::create([this, path, identity, generation] {
        const QImage image = makeAndCache(path, identity);
        QMetaObject::invokeMethod(
            this, [this, path, identity, generation, image] { finished(path, identity, generation, image); }, Qt::QueuedConnection);
    });
    m_pool->start(job, priority);
}

void ThumbnailService::finished(const QString &path, const FileIdentity &identity, quint64 generation, const QImage &image)
{
    auto pending = m_pending.find(path);
    if (pending == m_pending.end() || pending->generation != generation || !(pending->identity == identity))
        return; // cancelled, or superseded by a newer request for a changed file
    const QList<Callback> callbacks = pending->callbacks;
    m_pending.erase(pending);
    for (const Callback &callback : callbacks) {
        if (callback)
            callback(path, image);
    }
    Q_EMIT thumbnailReady(path, image);
}

void ThumbnailService::cancelPending()
{
    ++m_generation;
    m_pool->clear(); // queued jobs never run; running ones finish into the cache
    m_pending.clear();
}

QList<QImage> ThumbnailService::thumbnailsFor(const QStringList &paths)
{
    return QtConcurrent::blockingMapped<QList<QImage>>(m_pool.get(), paths, [this](const QString &path) {
        const std::optional<FileIdentity> identity = fileIdentity(path);
        return identity ? makeAndCache(path, *identity) : QImage();
    });
}

QImage ThumbnailService::thumbnail(const QString &path)
{
    const std::optional<FileIdentity> identity = fileIdentity(path);
    return identity ? makeAndCache(path, *identity) : QImage();
}

} // namespace sorrelby
