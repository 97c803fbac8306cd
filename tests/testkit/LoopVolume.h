#pragma once
// A small real volume for tests that run as root: a FAT image (ext2 when the
// kernel or the tools lack FAT) in the test's temporary root, loop-mounted at a
// given folder. unavailable() says why when it cannot be made (the test then
// skips); the destructor always unmounts.

#include "tests/testkit/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <unistd.h>

namespace sorrelby::testkit {

class LoopVolume {
public:
    // Makes an image of sizeMiB and mounts it at mountPoint (created).
    LoopVolume(const QString &mountPoint, int sizeMiB = 16, const QString &label = QStringLiteral("CARD"))
        : m_mountPoint(mountPoint)
    {
        if (::geteuid() != 0) {
            m_problem = QStringLiteral("not running as root");
            return;
        }
        const QString mount = QStandardPaths::findExecutable(QStringLiteral("mount"));
        // FAT as on a camera card where this kernel knows it, else ext2.
        QFile known(QStringLiteral("/proc/filesystems"));
        const bool kernelHasVfat = known.open(QIODevice::ReadOnly) && known.readAll().contains("\tvfat\n");
        const QString vfat = kernelHasVfat ? QStandardPaths::findExecutable(QStringLiteral("mkfs.vfat")) : QString();
        const QString ext2 = QStandardPaths::findExecutable(QStringLiteral("mke2fs"));
        if (mount.isEmpty() || !QFile::exists(QStringLiteral("/dev/loop-control")) || (vfat.isEmpty() && ext2.isEmpty())) {
            m_problem = QStringLiteral("no mount, loop devices or mkfs");
            return;
        }
        m_image = makeTempFolder(QStringLiteral("loopimage")) + QStringLiteral("/card.img");
        QFile image(m_image);
        if (!image.open(QIODevice::WriteOnly) || !image.resize(qint64(sizeMiB) << 20)) {
            m_problem = QStringLiteral("cannot make the image");
            return;
        }
        image.close();
        const bool made = !vfat.isEmpty() ? quiet(vfat, {QStringLiteral("-n"), label, m_image})
                                          : quiet(ext2, {QStringLiteral("-q"), QStringLiteral("-F"), QStringLiteral("-L"), label, m_image});
        QDir().mkpath(mountPoint);
        if (!made || !quiet(mount, {QStringLiteral("-o"), QStringLiteral("loop"), m_image, mountPoint})) {
            m_problem = QStringLiteral("loop mount refused here");
            return;
        }
        m_mounted = true;
    }
    ~LoopVolume() { unmount(); }
    LoopVolume(const LoopVolume &) = delete;
    LoopVolume &operator=(const LoopVolume &) = delete;

    QString unavailable() const { return m_problem; }
    QString mountPoint() const { return m_mountPoint; }
    QString image() const { return m_image; }

    // Mounts the image again at another folder (after the code under test
    // unmounted it), to look at the card.
    bool remountAt(const QString &folder)
    {
        QDir().mkpath(folder);
        m_mountPoint = folder;
        m_mounted = quiet(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("loop"), m_image, folder});
        return m_mounted;
    }

    bool isMounted() const
    {
        QFile table(QStringLiteral("/proc/self/mountinfo"));
        // The table writes a blank in a path as \040.
        const QByteArray escaped = QFile::encodeName(m_mountPoint).replace(' ', "\\040");
        return table.open(QIODevice::ReadOnly) && table.readAll().contains(QByteArray(' ' + escaped + ' '));
    }

    void unmount()
    {
        if (m_mounted && isMounted())
            quiet(QStringLiteral("umount"), {m_mountPoint});
        m_mounted = false;
    }

private:
    static bool quiet(const QString &program, const QStringList &args)
    {
        QProcess process;
        process.start(program, args);
        return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    QString m_mountPoint;
    QString m_image;
    QString m_problem;
    bool m_mounted = false;
};

} // namespace sorrelby::testkit
