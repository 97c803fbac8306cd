// The mount table as the volume monitor reads it, and a real loop-mounted
// volume seen coming and going (skipped where loop mounts are not allowed).

#include "platform/VolumeMonitor.h"

#include "tests/testkit/LoopVolume.h"
#include "tests/testkit/TestEnvironment.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

using namespace sorrelby;
using namespace sorrelby::testkit;

TEST(VolumeMonitorTest, ReadsTheMountTable)
{
    const QByteArray table = "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                             "40 22 8:17 / /media/anna/NIKON\\040D850 rw,nosuid master:3 - vfat /dev/sdb1 rw,uid=1000\n"
                             "41 22 8:33 / /media/anna/LOCKED ro,nosuid - exfat /dev/sdc1 ro\n"
                             "garbage line\n"
                             "42 22 0:5 / /proc rw - proc proc rw\n";
    const QList<MountEntry> entries = parseMountInfo(table);
    ASSERT_EQ(entries.size(), 4);
    EXPECT_EQ(entries[1].mountPoint, QStringLiteral("/media/anna/NIKON D850"));
    EXPECT_EQ(entries[1].type, QStringLiteral("vfat"));
    EXPECT_EQ(entries[1].source, QStringLiteral("/dev/sdb1"));
    EXPECT_FALSE(entries[1].readOnly);
    EXPECT_TRUE(entries[2].readOnly);

    // The deepest mount holds a path; a name that merely starts alike does not.
    EXPECT_EQ(mountEntryFor(entries, QStringLiteral("/media/anna/NIKON D850/DCIM"))->source, QStringLiteral("/dev/sdb1"));
    EXPECT_EQ(mountEntryFor(entries, QStringLiteral("/media/anna/NIKON D8500"))->mountPoint, QStringLiteral("/"));

    EXPECT_TRUE(isSystemMountPoint(QStringLiteral("/")));
    EXPECT_TRUE(isSystemMountPoint(QStringLiteral("/proc/sys/fs/binfmt_misc")));
    EXPECT_TRUE(isSystemMountPoint(QStringLiteral("/run/user/1000")));
    EXPECT_FALSE(isSystemMountPoint(QStringLiteral("/run/media/anna/CARD")));
    EXPECT_FALSE(isSystemMountPoint(QStringLiteral("/media/anna/NIKON D850")));
}

TEST(VolumeMonitorTest, TheMediaFoldersOfTheAccountAreWatchedWithoutUser)
{
    // Services and cron start programs without USER or LOGNAME.
    const QByteArray user = qgetenv("USER");
    const QByteArray logname = qgetenv("LOGNAME");
    qunsetenv("USER");
    qunsetenv("LOGNAME");
    const QStringList roots = MountTableVolumeMonitor::defaultRoots();
    qputenv("USER", user);
    qputenv("LOGNAME", logname);
    const struct passwd *account = ::getpwuid(::getuid());
    ASSERT_NE(account, nullptr);
    const QString name = QString::fromLocal8Bit(account->pw_name);
    EXPECT_EQ(roots, (QStringList{QStringLiteral("/media/") + name, QStringLiteral("/run/media/") + name, QStringLiteral("/media")}));
}

TEST(VolumeMonitorTest, SeesARealVolumeMountedAndEjectsIt)
{
    const QString root = makeTempFolder(QStringLiteral("media"));
    MountTableVolumeMonitor monitor({root});
    QStringList mounted;
    QStringList unmounted;
    QObject::connect(&monitor, &VolumeMonitor::volumeDidMount, [&](const QString &path) { mounted.append(path); });
    QObject::connect(&monitor, &VolumeMonitor::volumeDidUnmount, [&](const QString &path) { unmounted.append(path); });

    // A mount elsewhere is no volume of ours.
    LoopVolume elsewhere(makeTempFolder(QStringLiteral("elsewhere")) + QStringLiteral("/mnt"));
    if (!elsewhere.unavailable().isEmpty())
        GTEST_SKIP() << elsewhere.unavailable().toStdString();
    const QString point = root + QStringLiteral("/MY CARD");
    LoopVolume card(point);
    ASSERT_TRUE(card.unavailable().isEmpty());

    ASSERT_TRUE(waitUntil([&] { return mounted.size() >= 1; }));
    spinFor(50);
    ASSERT_EQ(mounted.size(), 1);
    EXPECT_EQ(mounted[0], point);
    EXPECT_EQ(monitor.mountedVolumes(), QStringList{point});

    const std::optional<FileSystemInfo> info = monitor.fileSystemInfo(point + QStringLiteral("/"));
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->isUnmountable);
    EXPECT_TRUE(info->isWritable);
    EXPECT_FALSE(info->type.isEmpty());
    EXPECT_FALSE(monitor.fileSystemInfo(QStringLiteral("/proc/self"))->isUnmountable);
    EXPECT_FALSE(monitor.fileSystemInfo(root + QStringLiteral("/absent")));

    EXPECT_TRUE(monitor.unmountAndEject(point));
    EXPECT_FALSE(card.isMounted());
    ASSERT_TRUE(waitUntil([&] { return unmounted.size() >= 1; }));
    EXPECT_EQ(unmounted[0], point);
    EXPECT_TRUE(monitor.mountedVolumes().isEmpty());
    // Nothing mounted there any more: a second eject fails without harm.
    EXPECT_FALSE(monitor.unmountAndEject(point));
}
