// The `deliver` command run as a program: its summary and exit status.

#include "tests/testkit/TestEnvironment.h"

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
    const QStringList leaveUnassigned{"--set", "prefMoveUnasignedPhotoMethodTag=0"};

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

    // A photo that cannot be moved (a folder holds its name) is an issue.
    ASSERT_TRUE(writeFile(source + "/B2_IMG_0006.JPG", "photo"));
    ASSERT_TRUE(QDir().mkpath(destination + "/B2_IMG_0006.JPG"));
    outcome = deliver(leaveUnassigned + QStringList{source, destination});
    EXPECT_EQ(outcome.exitCode, 3);
    EXPECT_TRUE(outcome.out.startsWith(QStringLiteral("Possible Issue(s) with Moving ReAssigned Files...\n")));
    EXPECT_TRUE(QFileInfo::exists(source + "/B2_IMG_0006.JPG"));

    EXPECT_EQ(deliver({source + "/gone", destination}).exitCode, 1);
}

} // namespace
