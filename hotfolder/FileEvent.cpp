#include "hotfolder/FileEvent.h"

#include "platform/Log.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

#include <cmath>

namespace sorrelby {

namespace {

constexpr QStringView cClass = u"TRUVO_FileEvent";

void note(QStringView operation, const QString &detail)
{
    logOp(cClass, operation, detail);
}

int toMilliseconds(double seconds)
{
    return seconds <= 0 ? 0 : int(std::lround(seconds * 1000.0));
}

quint32 flagsFor(const QStringList &paths)
{
    quint32 flags = cFileEventStreamBaseFlags;
    for (const QString &path : paths) {
        const QFileInfo info(path);
        if (info.exists() && !info.isDir()) {
            flags |= cFileEventStreamFileEvents;
            break;
        }
    }
    return flags;
}

} // namespace

TRUVO_FileEvent::TRUVO_FileEvent(const QString &observedPath)
    : TRUVO_FileEvent(QStringList{observedPath}, cFileEventDefaultLatency)
{ }

TRUVO_FileEvent::TRUVO_FileEvent(const QStringList &observedPaths, double latency)
    : m_observedPaths(observedPaths)
    , m_latency(latency)
    , m_flags(flagsFor(observedPaths))
    , m_queue(std::make_unique<SerialQueue>(eventQueueLabel()))
{
    note(
        u"initWithObservedPaths:latency:",
        QStringLiteral("paths = [%1] latency = %2 flags = %3").arg(m_observedPaths.join(QStringLiteral(", "))).arg(m_latency).arg(m_flags));
}

TRUVO_FileEvent::~TRUVO_FileEvent()
{
    m_alive->store(false);
    m_queue->sync([this] {
        stop();
        delete m_watcher;
        delete m_latencyTimer;
        delete m_recheckTimer;
        m_watcher = nullptr;
        m_latencyTimer = nullptr;
        m_recheckTimer = nullptr;
    });
}

QString TRUVO_FileEvent::eventQueueLabel() const
{
    return QStringLiteral("TRUVO_FileEvent.") + m_observedPaths.value(0);
}

void TRUVO_FileEvent::setEventBlock(EventBlock block)
{
    std::lock_guard lock(m_blockMutex);
    m_block = std::move(block);
}

void TRUVO_FileEvent::setRun(bool run)
{
    m_queue->async([this, run, alive = m_alive] {
        if (!alive->load())
            return;
        if (run)
            start();
        else
            stop();
    });
}

void TRUVO_FileEvent::setPaused(bool paused)
{
    m_queue->async([this, paused, alive = m_alive] {
        if (!alive->load())
            return;
        note(u"setPaused:",
             QStringLiteral("... setting pause = ") + (paused ? QStringLiteral("TRUE") : QStringLiteral("FALSE")) + QStringLiteral("..."));
        m_paused.store(paused);
    });
}

void TRUVO_FileEvent::start()
{
    if (!m_watcher) {
        QObject *context = m_queue->context();
        // Made here, on the event queue's thread, so inotify reports here.
        m_watcher = new QFileSystemWatcher;
        QObject::connect(m_watcher, &QFileSystemWatcher::directoryChanged, context, [this](const QString &path) { pathChanged(path); });
        QObject::connect(m_watcher, &QFileSystemWatcher::fileChanged, context, [this](const QString &path) { pathChanged(path); });
        m_latencyTimer = new QTimer;
        m_latencyTimer->setSingleShot(true);
        m_latencyTimer->setTimerType(Qt::PreciseTimer);
        QObject::connect(m_latencyTimer, &QTimer::timeout, context, [this] { deliverPending(); });
        m_recheckTimer = new QTimer;
        QObject::connect(m_recheckTimer, &QTimer::timeout, context, [this] { recheckMissingPaths(); });
    }
    m_latencyTimer->setInterval(toMilliseconds(m_latency));
    m_recheckTimer->setInterval(qMax(10, toMilliseconds(m_recheckSeconds)));

    QStringList present;
    for (const QString &path : m_observedPaths) {
        if (QFileInfo::exists(path))
            present.append(path);
    }
    const QStringList refused = present.isEmpty() ? QStringList() : m_watcher->addPaths(present);
    const bool watching = present.size() > refused.size();
    m_running.store(true);
    watchMissingPaths();
    if (!watching) {
        note(u"setRun:", QStringLiteral("FAILED to start monitoring ") + m_observedPaths.join(QStringLiteral(", ")));
        return;
    }
    note(u"setRun:", QStringLiteral("monitoring ") + m_observedPaths.join(QStringLiteral(", ")));
    // A folder that already holds files is looked at now.
    handleFileEventpaths(m_observedPaths, std::nullopt);
}

void TRUVO_FileEvent::stop()
{
    const bool wasRunning = m_running.exchange(false);
    if (m_latencyTimer)
        m_latencyTimer->stop();
    if (m_recheckTimer)
        m_recheckTimer->stop();
    m_pending.clear();
    if (m_watcher) {
        const QStringList watched = m_watcher->directories() + m_watcher->files();
        if (!watched.isEmpty())
            m_watcher->removePaths(watched);
    }
    if (wasRunning)
        note(u"setRun:", QStringLiteral("stopped monitoring ") + m_observedPaths.join(QStringLiteral(", ")));
}

void TRUVO_FileEvent::pathChanged(const QString &path)
{
    if (!m_running.load())
        return;
    if (!m_pending.contains(path))
        m_pending.append(path);
    if (!m_latencyTimer->isActive())
        m_latencyTimer->start();
    if (m_observedPaths.contains(path))
        watchMissingPaths();
}

void TRUVO_FileEvent::deliverPending()
{
    if (!m_running.load() || m_pending.isEmpty())
        return;
    const QStringList paths = std::exchange(m_pending, {});
    handleFileEventpaths(paths, QList<quint32>(paths.size(), 0));
}

void TRUVO_FileEvent::watchMissingPaths()
{
    // inotify forgets a folder that is deleted; a folder of the same name
    // made later must be watched anew, and what it already holds looked at
    // (also when it appeared while monitoring was starting).
    const QStringList watched = m_watcher->directories() + m_watcher->files();
    bool missing = false;
    for (const QString &path : m_observedPaths) {
        if (watched.contains(path))
            continue;
        if (QFileInfo::exists(path) && m_watcher->addPath(path)) {
            note(u"watchMissingPaths()", QStringLiteral("watching again: ") + path);
            pathChanged(path);
            continue;
        }
        missing = true;
    }
    if (!missing) {
        m_recheckTimer->stop();
    } else if (!m_recheckTimer->isActive()) {
        note(u"watchMissingPaths()",
             QStringLiteral("waiting for a watched path to appear again: ") + m_observedPaths.join(QStringLiteral(", ")));
        m_recheckTimer->start();
    }
}

void TRUVO_FileEvent::recheckMissingPaths()
{
    if (!m_running.load()) {
        m_recheckTimer->stop();
        return;
    }
    watchMissingPaths();
}

void TRUVO_FileEvent::handleFileEventpaths(const std::optional<QStringList> &paths, const std::optional<QList<quint32>> &flags)
{
    if (m_paused.load()) {
        note(u"handleFileEventpaths:flags:", QStringLiteral("... will not dispatch eventCallBack... PAUSED...."));
        return;
    }
    EventBlock block;
    {
        std::lock_guard lock(m_blockMutex);
        block = m_block;
    }
    if (!block)
        return;
    note(u"handleFileEventpaths:flags:", QStringLiteral("... FOLDER CHANGED....FOLDER CHANGED...."));
    m_queue->async([block = std::move(block), paths, flags, alive = m_alive] {
        if (alive->load())
            block(paths, flags);
    });
}

} // namespace sorrelby
