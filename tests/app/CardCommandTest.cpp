// The `card` command run as a program: a folder standing for a card copied,
// placed and decoded; and, where loop mounts are allowed, `card --wait`
// skipping a volume without camera folders, then copying and ejecting a real
// card mounted under the volume root.

#include "platform/FileOps.h"
#include "tests/testkit/LoopVolume.h"
#include "tests/testkit/TestEnvironment.h"
#include "tests/testkit/photos/ShootGenerator.h"

#include <QProcess>

#include <gtest/gtest.h>

using namespace sorrelby;
using namespace sorrelby::testkit;

namespace {

ShootSpec smallShoot()
{
    ShootSpec spec;
    spec.subjects = 2;
    spec.photosPerSubject = 1;
    return spec;
}

} // namespace

TEST(CardCommand, CopiesAFolderAsACardThenDecodes)
{
    const QString card = makeTempFolder(QStringLiteral("card"));
    const std::optional<Shoot> shoot = writeShoot(makeFolder(card + QStringLiteral("/DCIM/100NIKON")), smallShoot());
    ASSERT_TRUE(shoot);
    const QString source = makeTempFolder(QStringLiteral("source"));
    ASSERT_TRUE(writeFile(source + QStringLiteral("/B9_DSC_0900.JPG"), "the previous card's photo"));

    const ProgramRun run = runApp({"card", "--set", "prefSourcePath=" + source, card});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith(QStringLiteral("4 photo(s) copied from ") + card)) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("Found/Decoded QRCodes:\n\nS001, S002"))) << run.out.toStdString();
    EXPECT_EQ(lines(entriesOf(source)), sortedLines(shoot->expectedNames()));
    EXPECT_EQ(filesBelow(card).size(), 4); // the card keeps its photos

    EXPECT_EQ(runApp({"card"}).exitCode, 2);
    EXPECT_EQ(runApp({"card", "--wait", card}).exitCode, 2);
    EXPECT_EQ(runApp({"card", "--set", "prefSourcePath=" + source, card + QStringLiteral("/absent")}).exitCode, 1);
}

TEST(CardCommand, WaitSkipsOtherVolumesThenCopiesAndEjectsTheCard)
{
    const QString media = makeTempFolder(QStringLiteral("media"));
    LoopVolume card(makeTempFolder(QStringLiteral("prep")) + QStringLiteral("/card"), 32);
    if (!card.unavailable().isEmpty())
        GTEST_SKIP() << card.unavailable().toStdString();
    const std::optional<Shoot> shoot = writeShoot(makeFolder(card.mountPoint() + QStringLiteral("/DCIM/100NIKON")), smallShoot());
    ASSERT_TRUE(shoot);
    card.unmount();
    LoopVolume stick(makeTempFolder(QStringLiteral("prep2")) + QStringLiteral("/stick"));
    ASSERT_TRUE(stick.unavailable().isEmpty());
    stick.unmount();
    const QString source = makeTempFolder(QStringLiteral("source"));

    QProcess process;
    process.setReadChannel(QProcess::StandardError);
    process.start(QStringLiteral(SORRELBY_APP_PATH), {"card", "--wait", "--volume-root", media, "--set", "prefSourcePath=" + source});
    ASSERT_TRUE(process.waitForReadyRead(20000)); // "Please Insert CARD..."
    ASSERT_TRUE(stick.remountAt(media + QStringLiteral("/USB STICK")));
    ASSERT_TRUE(card.remountAt(media + QStringLiteral("/NIKON D850")));
    ASSERT_TRUE(process.waitForFinished(60000));
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    const QString err = QString::fromUtf8(process.readAllStandardError());

    EXPECT_EQ(process.exitCode(), 0) << err.toStdString();
    EXPECT_TRUE(out.contains(media + QStringLiteral("/USB STICK: no camera folder (DCIM), skipped"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("card ejected: ") + media + QStringLiteral("/NIKON D850"))) << out.toStdString();
    EXPECT_FALSE(card.isMounted());
    EXPECT_TRUE(stick.isMounted());
    EXPECT_EQ(lines(entriesOf(source)), sortedLines(shoot->expectedNames()));
}
