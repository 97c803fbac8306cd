#pragma once
// Real FUSE file systems for tests that run as root: an exFAT image mounted
// through exfat-fuse on a loop device (the names it refuses, no renameat2
// flag, no hard links, no unnamed temporaries), and a bindfs share of a
// local folder, which stands in for a file server several stations write
// to. unavailable() says why one cannot be made (the test then skips); the
// destructor always unmounts.

#include "tests/testkit/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <unistd.h>

namespace sorrelby::testkit {

class FuseMount {
public:
    FuseMount(const FuseMount &) = delete;
    FuseMount &operator=(const FuseMount &) = delete;
    virtual ~FuseMount() { unmount(); }

    QString unavailable() const { return m_problem; }
    QString mountPoint() const { return m_mountPoint; }

    bool isMounted() const
    {
        QFile table(QStringLiteral("/proc/self/mountinfo"));
        const QByteArray escaped = QFile::encodeName(m_mountPoint).replace(' ', "\\040");
        return table.open(QIODevice::ReadOnly) && table.readAll().contains(QByteArray(' ' + escaped + ' '));
    }

    // Lazily, as a share that drops off the network: processes that are
    // inside it keep what they hold, new paths fall through to the folder
    // beneath.
    void unmount()
    {
        if (m_mounted && isMounted())
            run(QStringLiteral("umount"), {QStringLiteral("-l"), m_mountPoint});
        m_mounted = false;
        detach();
    }

protected:
    explicit FuseMount(const QString &mountPoint)
        : m_mountPoint(mountPoint)
    { }

    virtual void detach() { }

    bool needs(const QStringList &programs)
    {
        if (::geteuid() != 0) {
            m_problem = QStringLiteral("not running as root");
            return false;
        }
        if (!QFile::exists(QStringLiteral("/dev/fuse"))) {
            m_problem = QStringLiteral("no /dev/fuse");
            return false;
        }
        for (const QString &program : programs) {
            if (QStandardPaths::findExecutable(program).isEmpty()
                && QStandardPaths::findExecutable(program, {QStringLiteral("/sbin"), QStringLiteral("/usr/sbin")}).isEmpty()) {
                m_problem = program + QStringLiteral(" is not installed (scripts/install-deps)");
                return false;
            }
        }
        return true;
    }

    static bool run(const QString &program, const QStringList &args, QString *output = nullptr)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, args);
        const bool ok = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
        if (output)
            *output = QString::fromLocal8Bit(process.readAll()).trimmed();
        return ok;
    }

    void mounted(bool ok, const QString &what)
    {
        m_mounted = ok && isMounted();
        if (!m_mounted && m_problem.isEmpty())
            m_problem = what + QStringLiteral(" could not be mounted here");
    }

    QString m_mountPoint;
    QString m_problem;
    bool m_mounted = false;
};

// An exFAT image of sizeMiB through exfat-fuse.
class ExfatVolume : public FuseMount {
public:
    explicit ExfatVolume(const QString &mountPoint, int sizeMiB = 32)
        : FuseMount(mountPoint)
    {
        if (!needs({QStringLiteral("mkfs.exfat"), QStringLiteral("mount.exfat-fuse"), QStringLiteral("losetup")}))
            return;
        if (!QFile::exists(QStringLiteral("/dev/loop-control"))) {
            m_problem = QStringLiteral("no loop devices");
            return;
        }
        m_image = makeTempFolder(QStringLiteral("exfatimage")) + QStringLiteral("/drive.img");
        QFile image(m_image);
        if (!image.open(QIODevice::WriteOnly) || !image.resize(qint64(sizeMiB) << 20)) {
            m_problem = QStringLiteral("cannot make the image");
            return;
        }
        image.close();
        if (!run(QStringLiteral("mkfs.exfat"), {m_image})
            || !run(QStringLiteral("losetup"), {QStringLiteral("-f"), QStringLiteral("--show"), m_image}, &m_loop)) {
            m_problem = QStringLiteral("no free loop device or mkfs.exfat failed");
            return;
        }
        QDir().mkpath(mountPoint);
        mounted(run(QStringLiteral("mount.exfat-fuse"), {m_loop, mountPoint}), QStringLiteral("exFAT"));
    }
    ~ExfatVolume() override { unmount(); }

protected:
    void detach() override
    {
        if (!m_loop.isEmpty())
            run(QStringLiteral("losetup"), {QStringLiteral("-d"), m_loop});
        m_loop.clear();
    }

private:
    QString m_image;
    QString m_loop;
};

// A bindfs view of `backing` at mountPoint; remount() after unmount().
class BindfsShare : public FuseMount {
public:
    BindfsShare(const QString &backing, const QString &mountPoint)
        : FuseMount(mountPoint)
        , m_backing(backing)
    {
        if (needs({QStringLiteral("bindfs")}))
            remount();
    }
    ~BindfsShare() override { unmount(); }

    QString backing() const { return m_backing; }
    bool remount()
    {
        QDir().mkpath(m_mountPoint);
        mounted(run(QStringLiteral("bindfs"), {m_backing, m_mountPoint}), QStringLiteral("bindfs"));
        return m_mounted;
    }

private:
    QString m_backing;
};

} // namespace sorrelby::testkit
