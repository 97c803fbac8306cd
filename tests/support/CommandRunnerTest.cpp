#include "support/CommandRunner.h"
#include "tests/testkit/TestEnvironment.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace sorrelby;

TEST(CommandRunner, PassesArgumentsLiterallyWithoutAShell)
{
    const QString folder = testkit::makeTempFolder(QStringLiteral("cmd"));
    const QString victim = folder + QStringLiteral("/victim");
    ASSERT_TRUE(testkit::writeFile(victim, "keep me"));

    const QString hostile = QStringLiteral("x\"; rm -rf '%1'; echo $(id) `id` > %1").arg(victim);
    const auto output = runCommand(QStringLiteral("/bin/echo"), {QStringLiteral("hello"), hostile});
    ASSERT_TRUE(output.has_value());
    EXPECT_EQ(*output, QStringLiteral("hello ") + hostile + QLatin1Char('\n'));
    EXPECT_EQ(testkit::readFile(victim), QByteArray("keep me"));

    // A program found on PATH, with a folder name holding spaces and quotes.
    const QString odd = folder + QStringLiteral("/it's a \"folder\"");
    ASSERT_TRUE(testkit::writeFile(odd + QStringLiteral("/a.jpg"), "x"));
    EXPECT_EQ(runCommand(QStringLiteral("ls"), {odd}), std::optional<QString>(QStringLiteral("a.jpg\n")));
}

TEST(CommandRunner, NothingForMissingProgramsSilentProgramsAndHangs)
{
    EXPECT_FALSE(runCommand(QStringLiteral("/no/such/program-sorrelby")).has_value());
    EXPECT_FALSE(runCommand(QStringLiteral("true")).has_value());
    // Output on standard error alone is not output.
    EXPECT_FALSE(runCommand(QStringLiteral("ls"), {QStringLiteral("/no/such/folder")}).has_value());
    EXPECT_FALSE(runCommand(QStringLiteral("sleep"), {QStringLiteral("30")}, 200).has_value());
}

TEST(CommandRunner, KeepsTheFirst512000BytesOfALongOutput)
{
    // About 1.3 MB: the program must still run to its end, not block on a full pipe.
    const auto output = runCommand(QStringLiteral("seq"), {QStringLiteral("1"), QStringLiteral("200000")});
    ASSERT_TRUE(output.has_value());
    EXPECT_EQ(output->size(), cMaxCommandOutput);
    EXPECT_TRUE(output->startsWith(QStringLiteral("1\n2\n3\n")));
}
