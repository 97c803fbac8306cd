#pragma once
// TRUVO_FileEvent watches folders (or files) and calls its client's block
// when something in them changes: the changes of `latency` seconds are
// delivered together, and starting the watch delivers one event at once, so
// a folder that already holds files is looked at without waiting for a
// change. A watched folder that is deleted is watched again as soon as it is
// re-created (which counts as a change).
//
// Everything runs on the watcher's own serial queue: the inotify watcher
// (QFileSystemWatcher) lives on its thread, and the block is called there.
// The public operations may be called from any thread.

#include "platform/Dispatch.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QFileSystemWatcher;
class QTimer;

namespace sorrelby {

// The flags a stream is created with: "use CF types" and "no defer" (3),
// plus "file events" (16) when one of the paths is an existing file.
inline constexpr quint32 cFileEventStreamBaseFlags = 3;
inline constexpr quint32 cFileEventStreamFileEvents = 16;
inline constexpr double cFileEventDefaultLatency = 0.5;

class TRUVO_FileEvent {
public:
    // The changed paths (the watched ones) and one flag word per path (0:
    // inotify tells no more); both none for the start event's flags.
    using EventBlock = std::function<void(const std::optional<QStringList> &paths, const std::optional<QList<quint32>> &flags)>;

    explicit TRUVO_FileEvent(const QString &observedPath);
    explicit TRUVO_FileEvent(const QStringList &observedPaths, double latency = cFileEventDefaultLatency);
    // Stops watching; a block already running finishes first.
    ~TRUVO_FileEvent();
    TRUVO_FileEvent(const TRUVO_FileEvent &) = delete;
    TRUVO_FileEvent &operator=(const TRUVO_FileEvent &) = delete;

    QStringList observedPaths() const { return m_observedPaths; }
    double latency() const { return m_latency; }
    quint32 streamFlags() const { return m_flags; }

    // Set before starting.
    void setEventBlock(EventBlock block);

    // Starts (then delivers the start event) or stops, on the event queue.
    void setRun(bool run);
    // A paused watcher keeps watching but drops its events.
    void setPaused(bool paused);
    bool isRunning() const { return m_running.load(); }
    bool isPaused() const { return m_paused.load(); }

    // How often a deleted watched folder is looked for (tests shorten it).
    void setReappearanceCheckInterval(double seconds) { m_recheckSeconds = seconds; }

    // "TRUVO_FileEvent." + the first observed path.
    QString eventQueueLabel() const;
    SerialQueue &eventQueue() { return *m_queue; }

    // Delivers an event to the block (on the event queue) unless paused.
    void handleFileEventpaths(const std::optional<QStringList> &paths, const std::optional<QList<quint32>> &flags);

private:
    // Runs on the event queue.
    void start();
    void stop();
    void pathChanged(const QString &path);
    void deliverPending();
    void watchMissingPaths();
    void recheckMissingPaths();

    const QStringList m_observedPaths;
    const double m_latency;
    const quint32 m_flags;
    double m_recheckSeconds = 1.0;

    std::mutex m_blockMutex;
    EventBlock m_block;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_paused{false};
    std::shared_ptr<std::atomic<bool>> m_alive = std::make_shared<std::atomic<bool>>(true);

    // Owned by the event queue's thread.
    QFileSystemWatcher *m_watcher = nullptr;
    QTimer *m_latencyTimer = nullptr;
    QTimer *m_recheckTimer = nullptr;
    QStringList m_pending;

    // Last, so it is stopped first: queued jobs still see every other member.
    std::unique_ptr<SerialQueue> m_queue;
};

} // namespace sorrelby
