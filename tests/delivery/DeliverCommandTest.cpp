// The `deliver` command run as a program: its summary and exit status.

#include "tests/testkit/TestEnvironment.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace sorrelby::testkit;

namespace {

ProgramRun deliver(const QStringList &args)
{
    return runApp(QStringList{QStringLiteral("deliver")} + args);
}

TEST(DeliverCommand, ExitStatusFollowsTheSummary)
{
    const QString source = makeTempFolder(QStringLiteral("source"));
    const QString destination = makeTempFolder(QStringLiteral("main")) + QStringLiteral("/day");
    writeFilesInOrder(source, {"A1_IMG_0001.JPG", "A1_IMG_0002.JPG", "IMG_0003.JPG"});
    // No daily sub-folder: the photos go into DEST itself.
    const QStringList leaveUnassigned{"--set", "prefMoveUnasignedPhotoMethodTag=0", "--set", "prefDailyFolderDateFormat="};

    ProgramRun outcome = deliver(leaveUnassigned + QStringList{source, destination});
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.out, QStringLiteral("Finished Moving ALL ReAssigned Files...\nMoved 2 out of 2 Allowed Files.\nFolder has Total of 3 Files\n"));
    EXPECT_EQ(QDir(destination).entryList(QDir::Files).size(), 2);

    // A card photo is not a photo to deliver: still a clean run.
    ASSERT_TRUE(writeFile(source + "/B2_IMG_0004-qrcode.JPG", "card"));
    ASSERT_TRUE(writeFile(source + "/B2_IMG_0005.JPG", "photo"));
    outcome = deliver(leaveUnassigned + QStringList{source, destination});
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.out, QStringLiteral("Finished Moving ALL ReAssigned Files...\nMoved 1 out of 1 Allowed Files.\nFolder has Total of 3 Files\n"));

    // A photo that cannot be moved (its name and every "c<k>" variant taken
    // by other photos) is an issue.
    ASSERT_TRUE(writeFile(source + "/B2_IMG_0006.JPG", "photo"));
    ASSERT_TRUE(QDir().mkpath(destination + "/B2_IMG_0006.JPG"));
    for (int k = 1; k <= 18; ++k)
        ASSERT_TRUE(writeFile(destination + QStringLiteral("/B2_IMG_0006c%1.JPG").arg(k), "other"));
    outcome = deliver(leaveUnassigned + QStringList{source, destination});
    EXPECT_EQ(outcome.exitCode, 3);
    EXPECT_TRUE(outcome.out.startsWith(QStringLiteral("Possible Issue(s) with Moving ReAssigned Files...\n")));
    EXPECT_TRUE(QFileInfo::exists(source + "/B2_IMG_0006.JPG"));

    EXPECT_EQ(deliver({source + "/gone", destination}).exitCode, 1);
}

// DEST is the main folder of the run: the daily sub-folder and
// UNASSIGNED_PHOTOS are made under it, never under the configured one.
TEST(DeliverCommand, DestIsTheMainFolderOfTheRun)
{
    const QString source = makeTempFolder(QStringLiteral("source"));
    const QString configured = makeTempFolder(QStringLiteral("configured")) + QStringLiteral("/main");
    const QString destination = makeTempFolder(QStringLiteral("main"));
    writeFilesInOrder(source, {"A1_IMG_0001-qrcode.JPG", "A1_IMG_0002.JPG", "IMG_0003.JPG", "unknown_IMG_0004.JPG"});
    // The year three hours ago, as the daily folder counts it.
    const QString day = QDateTime::currentDateTime().addSecs(-3 * 3600).toString(QStringLiteral("yyyy"));

    const ProgramRun outcome = deliver({"--set", "prefDestinationPath=" + configured, "--set", "prefDailyFolderDateFormat=yyyy",
                                        "--set", "prefOriginalNameFormatTag=1", "--set", "prefDoUnassignedProcess=true",
                                        "--set", "prefMoveUnasignedPhotoMethodTag=1", source, destination});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_EQ(lines(filesBelow(destination)), lines({day + "/A1_IMG_0002.JPG", "UNASSIGNED_PHOTOS/" + day + "/IMG_0003.JPG",
                                                     "UNASSIGNED_PHOTOS/" + day + "/unknown_IMG_0004.JPG"}));
    EXPECT_FALSE(QFileInfo::exists(configured));
    EXPECT_TRUE(QDir(source).isEmpty());
}

} // namespace
