#include "platform/FolderAbilities.h"
#include "platform/FileOps.h"
#include "tests/testkit/FuseVolume.h"
#include "tests/testkit/TestEnvironment.h"

#include <QSet>

#include <gtest/gtest.h>

using namespace sorrelby;

namespace {

// Every code a card can give (after "/" became ":") must stay its own name
// on a drive that refuses characters, and read back as it was.
TEST(FolderAbilities, StandInsAreVisibleReversibleAndNeverJoinTwoNames)
{
    const QString refused = QStringLiteral(":\\*?\"<>|");
    QStringList names{QStringLiteral("Smith John:Class 3_DSC_7810.JPG"),
                      QStringLiteral("plain_IMG_0001.JPG"),
                      QStringLiteral("day."),
                      QStringLiteral("day. "),
                      QStringLiteral("day"),
                      QStringLiteral("a.b"),
                      QStringLiteral(" lead")};
    for (const QChar c : refused) {
        names << QStringLiteral("A") + c + QStringLiteral("B_IMG_1.JPG") << QStringLiteral("A_B") + c;
    }
    QSet<QString> written;
    for (const QString &name : std::as_const(names)) {
        SCOPED_TRACE(name.toStdString());
        const QString safe = windowsSafeName(name);
        for (const QChar c : refused)
            EXPECT_FALSE(safe.contains(c));
        EXPECT_FALSE(safe.endsWith(u'.') || safe.endsWith(u' '));
        EXPECT_EQ(fromWindowsSafeName(safe), name);
        EXPECT_FALSE(holdsWindowsStandIn(name));
        written.insert(safe);
    }
    EXPECT_EQ(written.size(), QSet<QString>(names.cbegin(), names.cend()).size());
    // Inner dots and blanks stay; names without refused characters are as given.
    EXPECT_EQ(windowsSafeName(QStringLiteral("a. b_IMG_1.JPG")), QStringLiteral("a. b_IMG_1.JPG"));
    EXPECT_EQ(windowsSafeName(QStringLiteral("SCH7:1004_DSC_7810.JPG")), QStringLiteral("SCH7\uFF1A1004_DSC_7810.JPG"));
    EXPECT_TRUE(holdsWindowsStandIn(QStringLiteral("A\uFF1AB")));

    for (const char *type : {"vfat", "msdos", "exfat", "ntfs", "ntfs3", "cifs", "smb3", "fuseblk"})
        EXPECT_TRUE(typeRefusesWindowsNames(QString::fromLatin1(type))) << type;
    for (const char *type : {"ext4", "btrfs", "xfs", "tmpfs", "fuse.sshfs", "fuse", "nfs4"})
        EXPECT_FALSE(typeRefusesWindowsNames(QString::fromLatin1(type))) << type;

    // A local folder keeps every name.
    const QString local = testkit::makeTempFolder();
    const FolderAbilities here = folderAbilities(local);
    EXPECT_FALSE(here.refusesWindowsNames) << here.describe().toStdString();
    EXPECT_EQ(nameForFolder(local, QStringLiteral("A:B_IMG_1.JPG")), QStringLiteral("A:B_IMG_1.JPG"));
}

TEST(FolderAbilities, AnExfatDriveIsProbedOnceAndTakesEveryCodeUnderItsSafeName)
{
    const testkit::ExfatVolume drive(testkit::makeTempFolder(QStringLiteral("exfat")) + QStringLiteral("/mnt"));
    if (!drive.unavailable().isEmpty())
        GTEST_SKIP() << "exFAT through FUSE unavailable: " << drive.unavailable().toStdString();
    forgetFolderAbilities();
    const FolderAbilities there = folderAbilities(drive.mountPoint());
    EXPECT_TRUE(there.probed);
    EXPECT_TRUE(there.refusesWindowsNames) << there.describe().toStdString();
    EXPECT_FALSE(there.renameNoReplace);
    EXPECT_FALSE(there.hardLinks);
    EXPECT_FALSE(there.unnamedTemporaries);
    EXPECT_TRUE(testkit::entriesOf(drive.mountPoint()).isEmpty())
        << "the probe left " << testkit::lines(testkit::entriesOf(drive.mountPoint()));

    // What the drive refused before is written under its stand-in, and
    // every photo keeps its own name.
    const QString source = testkit::makeTempFolder();
    QStringList expected;
    for (const QString &name :
         {QStringLiteral("SCH7:1004_DSC_7810.JPG"), QStringLiteral("A?B_DSC_7811.JPG"), QStringLiteral("A*B_DSC_7811.JPG")}) {
        ASSERT_TRUE(testkit::writeFile(source + u'/' + name, name.toUtf8()));
        const QString written = nameForFolder(drive.mountPoint(), name);
        EXPECT_NE(written, name);
        const FileResult moved = fileops::moveNoReplace(source + u'/' + name, drive.mountPoint() + u'/' + written);
        EXPECT_TRUE(moved) << moved.error.toStdString();
        EXPECT_EQ(testkit::readFile(drive.mountPoint() + u'/' + written), name.toUtf8());
        expected << written;
    }
    EXPECT_EQ(testkit::lines(testkit::entriesOf(drive.mountPoint())), testkit::sortedLines(expected));
}

} // namespace
