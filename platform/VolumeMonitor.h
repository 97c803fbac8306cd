#pragma once
// Mounted volumes, standing in for the platform workspace's did-mount and
// did-unmount notifications and its volume services. The removable-media
// roots (/media/USER, /run/media/USER, /media, USER being the account's name
// in the password database) play the part of "/Volumes": a volume is a mount
// point directly inside one of them.
//
// MountTableVolumeMonitor watches /proc/self/mountinfo (the kernel wakes the
// reader on every mount and unmount; no polling). FakeVolumeMonitor lets tests
// use plain folders as volumes. Both live on the thread that made them and
// emit their signals there; fileSystemInfo() and unmountAndEject() may be
// called from any thread.

#include "platform/MountTable.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>
#include <optional>

class QSocketNotifier;

namespace sorrelby {

// What the file system says about a path.
struct FileSystemInfo {
    QString volumePath; // the path asked about
    QString description;
    QString type;
    bool isRemovable = false;
    bool isWritable = false;
    bool isUnmountable = false; // on a mount point other than the system's own

    // The record as text: "volumepath", "description", "type", and
    // "isRemovable", "isWritable", "isUnmountable" as "true" / "false".
    QMap<QString, QString> toMap() const;
};

// Mount points that belong to the system, never offered for unmounting.
bool isSystemMountPoint(const QString &mountPoint);

class VolumeMonitor : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The folders standing for "/Volumes".
    virtual QStringList volumeRoots() const = 0;
    // The volumes mounted now, as paths, root by root in name order.
    virtual QStringList mountedVolumes() const = 0;
    // None when the path cannot be looked at.
    virtual std::optional<FileSystemInfo> fileSystemInfo(const QString &path) const = 0;
    // Unmounts the volume and powers its drive off where it can; false
    // (logged) when the volume is still mounted. Blocks: call off the main
    // thread.
    virtual bool unmountAndEject(const QString &volumePath) = 0;

Q_SIGNALS:
    void volumeDidMount(const QString &volumePath);
    void volumeDidUnmount(const QString &volumePath);
};

class MountTableVolumeMonitor : public VolumeMonitor {
    Q_OBJECT
public:
    // The removable-media roots of this user.
    static QStringList defaultRoots();

    explicit MountTableVolumeMonitor(QStringList roots = defaultRoots(), QObject *parent = nullptr);
    ~MountTableVolumeMonitor() override;

    QStringList volumeRoots() const override { return m_roots; }
    QStringList mountedVolumes() const override;
    std::optional<FileSystemInfo> fileSystemInfo(const QString &path) const override;
    bool unmountAndEject(const QString &volumePath) override;

private:
    void reread();
    QSet<QString> volumesIn(const QList<MountEntry> &entries) const;

    QStringList m_roots;
    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QSet<QString> m_volumes;
};

// Plain folders inside a root folder stand for volumes: mount() makes one and
// announces it, unmountAndEject() records the request and announces the
// unmount (the folder stays, so a test can look at the "card" afterwards).
class FakeVolumeMonitor : public VolumeMonitor {
    Q_OBJECT
public:
    explicit FakeVolumeMonitor(QString root, QObject *parent = nullptr);

    QStringList volumeRoots() const override { return {m_root}; }
    QStringList mountedVolumes() const override;
    std::optional<FileSystemInfo> fileSystemInfo(const QString &path) const override;
    bool unmountAndEject(const QString &volumePath) override;

    // Makes root/name (when missing), counts it as mounted; with announce,
    // emits volumeDidMount. Returns the volume's path.
    QString mount(const QString &name, bool announce = true);
    void setEjectFails(bool fails) { m_ejectFails = fails; }
    QStringList ejected() const;

private:
    QString m_root;
    mutable std::mutex m_mutex;
    QSet<QString> m_mounted;
    QStringList m_ejected;
    bool m_ejectFails = false;
};

} // namespace sorrelby
