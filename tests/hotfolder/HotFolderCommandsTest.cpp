// The `intake` and `watch` commands run as programs: what they print, where
// the photos go, and `watch` ending cleanly on SIGTERM.

#include "settings/Settings.h"
#include "tests/testkit/TestEnvironment.h"
#include "tests/testkit/photos/ShootGenerator.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

using namespace sorrelby;
using namespace sorrelby::testkit;

namespace {

TEST(HotFolderCommands, IntakeMovesCompletePhotosAndSaysHowMany)
{
    const QString hot = makeTempFolder(QStringLiteral("hot"));
    const QString source = makeTempFolder(QStringLiteral("source"));
    ShootSpec spec;
    spec.subjects = 1;
    spec.photosPerSubject = 1;
    const std::optional<Shoot> shoot = writeShoot(hot, spec);
    ASSERT_TRUE(shoot);
    ASSERT_TRUE(QFile::copy(hot + QLatin1Char('/') + shoot->fileNames().last(), hot + QStringLiteral("/X1_DSC_0099.JPG")));

    ProgramRun intake = runApp({QStringLiteral("intake"), hot, source});
    EXPECT_EQ(intake.exitCode, 0);
    EXPECT_EQ(intake.out, QStringLiteral("2 photo(s) moved\n"));
    // Intake names card photos only; carrying codes on is the decode pass's.
    QStringList expected;
    for (const ShootPhoto &photo : shoot->photos)
        expected << (photo.isCard ? photo.expectedName : photo.fileName);
    expected.sort();
    EXPECT_EQ(lines(entriesOf(source)), lines(expected));
    EXPECT_EQ(lines(entriesOf(hot)), "X1_DSC_0099.JPG");

    EXPECT_EQ(runApp({QStringLiteral("intake"), hot + QStringLiteral("/gone"), source}).exitCode, 1);
}

TEST(HotFolderCommands, WatchDeliversAndEndsCleanlyOnSigterm)
{
    const QString staging = makeTempFolder(QStringLiteral("staging"));
    const QString hot = makeTempFolder(QStringLiteral("hot"));
    const QString source = makeTempFolder(QStringLiteral("source"));
    const QString main = makeTempFolder(QStringLiteral("main"));
    ShootSpec spec;
    spec.subjects = 2;
    spec.photosPerSubject = 2;
    const std::optional<Shoot> shoot = writeShoot(staging, spec);
    ASSERT_TRUE(shoot);

    QProcess watch;
    watch.start(QStringLiteral(SORRELBY_APP_PATH),
        {QStringLiteral("watch"), QStringLiteral("--set"), QStringLiteral("prefHotFolderPath=") + hot,
            QStringLiteral("--set"), QStringLiteral("prefSourcePath=") + source,
            QStringLiteral("--set"), QStringLiteral("prefDestinationPath=") + main,
            QStringLiteral("--set"), QStringLiteral("prefDailyFolderDateFormat=yyyy")});
    ASSERT_TRUE(watch.waitForStarted(10000));
    // Photos appear whole.
    for (const QString &name : shoot->fileNames())
        ASSERT_TRUE(QFile::rename(staging + QLatin1Char('/') + name, hot + QLatin1Char('/') + name));

    QStringList expected;
    for (const ShootPhoto &photo : shoot->photos) {
        if (!photo.isCard)
            expected << QStringLiteral("%1/").arg(QDateTime::currentDateTime().addSecs(-3 * 3600).date().year()) + photo.expectedName;
    }
    expected.sort();
    ASSERT_TRUE(waitUntil([&] { return filesBelow(main).size() >= expected.size(); }, 60000)) << lines(filesBelow(main));
    watch.terminate();
    ASSERT_TRUE(watch.waitForFinished(30000));
    EXPECT_EQ(watch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watch.exitCode(), 0);

    EXPECT_EQ(lines(filesBelow(main)), lines(expected));
    const QString out = QString::fromUtf8(watch.readAllStandardOutput());
    EXPECT_TRUE(out.contains(QStringLiteral(" pass: 6 moved"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral(" delivery: 4 moved into "))) << out.toStdString();
    EXPECT_TRUE(out.endsWith(QStringLiteral(" stopped\n"))) << out.toStdString();

    // Folders given for the run leave the user's stored folders alone.
    QFile config(Settings::shared().filePath());
    const QByteArray stored = config.open(QIODevice::ReadOnly) ? config.readAll() : QByteArray();
    EXPECT_FALSE(stored.contains(hot.toUtf8())) << stored.toStdString();
    EXPECT_FALSE(stored.contains("AliasData")) << stored.toStdString();
}

} // namespace
