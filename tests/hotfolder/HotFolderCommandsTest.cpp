// The `intake` and `watch` commands run as programs: what they print, where
// the photos go, and `watch` ending cleanly on SIGTERM.

#include "settings/FolderReference.h"
#include "settings/Settings.h"
#include "tests/testkit/TestEnvironment.h"
#include "tests/testkit/fixtures/ShootShapes.h"

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
    ShootSpec spec = shootSpec(1, 1);
    const std::optional<Shoot> shoot = writeShoot(hot, spec);
    ASSERT_TRUE(shoot);
    ASSERT_TRUE(QFile::copy(hot + QLatin1Char('/') + shoot->fileNames().last(), hot + QStringLiteral("/X1_DSC_0099.JPG")));

    ProgramRun intake = runApp({"intake", hot, source});
    EXPECT_EQ(intake.exitCode, 0);
    EXPECT_EQ(intake.out, QStringLiteral("2 photo(s) moved\n"));
    // Intake names card photos only; carrying codes on is the decode pass's.
    QStringList expected;
    for (const ShootPhoto &photo : shoot->photos)
        expected << (photo.isCard ? photo.expectedName : photo.fileName);
    expected.sort();
    EXPECT_EQ(lines(entriesOf(source)), lines(expected));
    EXPECT_EQ(lines(entriesOf(hot)), "X1_DSC_0099.JPG");

    EXPECT_EQ(runApp({"intake", hot + "/gone", source}).exitCode, 1);

    // A completeness delay under a second is raised to one, and the raised
    // value is stored although the command never runs an event loop.
    Settings::shared().setValue(QStringLiteral("prefDoDelayToWaitForValidPhoto"), true);
    Settings::shared().setValue(QStringLiteral("prefDelayToWaitForValidPhotoInSeconds"), 0.5);
    Settings::shared().flush();
    const QString hot2 = makeTempFolder(QStringLiteral("hot2"));
    ASSERT_TRUE(QFile::copy(hot + QStringLiteral("/X1_DSC_0099.JPG"), hot2 + QStringLiteral("/DSC_0100.JPG")));
    EXPECT_EQ(runApp({"intake", hot2, source}).exitCode, 0);
    EXPECT_EQ(Settings(Settings::shared().filePath()).doubleValue(QStringLiteral("prefDelayToWaitForValidPhotoInSeconds")), 1.0);
}

TEST(HotFolderCommands, WatchDeliversAndEndsCleanlyOnSigterm)
{
    const QString staging = makeTempFolder(QStringLiteral("staging"));
    const QString hot = makeTempFolder(QStringLiteral("hot"));
    const QString source = makeTempFolder(QStringLiteral("source"));
    const QString main = makeTempFolder(QStringLiteral("main"));
    ShootSpec spec = shootSpec(2, 2);
    const std::optional<Shoot> shoot = writeShoot(staging, spec);
    ASSERT_TRUE(shoot);

    // The user's stored folders, the source one since put in the trash:
    // the folders given for the run win over them.
    const QString oldHot = makeTempFolder(QStringLiteral("old-hot"));
    const QString oldSource = makeTempFolder(QStringLiteral("old-source"));
    const QString oldMain = makeTempFolder(QStringLiteral("old-main"));
    Settings &settings = Settings::shared();
    for (const auto &[key, folder] :
         {std::pair{"prefHotFolderPath", oldHot}, {"prefSourcePath", oldSource}, {"prefDestinationPath", oldMain}}) {
        settings.setValue(QLatin1String(key), folder);
        settings.setValue(key + QStringLiteral("IsValid"), MyBookmarkDataKit::savePath(folder, key + QStringLiteral("AliasData")));
    }
    settings.flush();
    const QString trash = makeFolder(qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash/files"));
    ASSERT_TRUE(QDir().rename(oldSource, trash + QStringLiteral("/old-source")));

    QProcess watch;
    watch.start(QStringLiteral(SORRELBY_APP_PATH),
                {"watch", "--set", "prefHotFolderPath=" + hot, "--set", "prefSourcePath=" + source, "--set", "prefDestinationPath=" + main,
                 "--set", "prefDailyFolderDateFormat=yyyy"});
    ASSERT_TRUE(watch.waitForStarted(10000));
    ASSERT_TRUE(waitUntil([&] { return watch.readAllStandardOutput().contains("watching"); }, 30000));

    // One copy per user, window or watch: a second of either is refused and
    // names the running one.
    const QString runningPid = QString::number(watch.processId());
    const ProgramRun second = runApp({"watch"});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_TRUE(second.err.contains(QStringLiteral("PID ") + runningPid)) << second.err.toStdString();
    // Whatever its session says: without a runtime folder, or another
    // temporary folder, it finds the same lock.
    QProcessEnvironment elsewhere = QProcessEnvironment::systemEnvironment();
    elsewhere.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    elsewhere.insert(QStringLiteral("TMPDIR"), makeTempFolder(QStringLiteral("other-tmp")));
    const ProgramRun outside = runApp({"watch"}, 60000, elsewhere);
    EXPECT_EQ(outside.exitCode, 1);
    EXPECT_TRUE(outside.err.contains(QStringLiteral("PID ") + runningPid)) << outside.err.toStdString();
    QProcessEnvironment offscreen = QProcessEnvironment::systemEnvironment();
    offscreen.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const ProgramRun window = runApp({}, 60000, offscreen);
    EXPECT_EQ(window.exitCode, 0);
    EXPECT_TRUE(window.err.contains(QStringLiteral("Existing Running App PID = ") + runningPid)) << window.err.toStdString();

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
    EXPECT_TRUE(stored.contains(oldHot.toUtf8())) << stored.toStdString();
}

} // namespace
