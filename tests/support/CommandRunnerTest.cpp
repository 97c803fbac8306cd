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
