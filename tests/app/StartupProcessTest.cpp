// The real program, started twice in this test's own HOME and runtime folder.

#include "platform/UserFolders.h"
#include "tests/app/AppProcesses.h"
#include "tests/testkit/TestEnvironment.h"

#include <QProcess>

#include <gtest/gtest.h>

using namespace sorrelby;

namespace {

void startProgram(QProcess &process)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(SORRELBY_APP_PATH), {});
}

QString logText()
{
    return QString::fromUtf8(testkit::readFile(userfolders::logFilePath()));
}

} // namespace

TEST(StartupProcess, SecondCopyIsRefusedAndTheFirstKeepsRunning)
{
    // Whatever happens, no copy (nor a watchdog's new one) outlives the case.
    struct EndAll {
        ~EndAll() { testkit::endProcessesStartedHere(); }
    } endAll;
    QProcess first;
    startProgram(first);
    ASSERT_TRUE(first.waitForStarted(10000));
    // Started for good once its monitor set-up (the last phase) has run.
    ASSERT_TRUE(testkit::waitUntil([] { return logText().contains(QLatin1String("applicationDidFinishLaunching")); }, 30000))
        << logText().toStdString();

    QProcess second;
    startProgram(second);
    ASSERT_TRUE(second.waitForStarted(10000));
    const qint64 secondPid = second.processId();
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    const QString secondLog = QString::fromUtf8(second.readAllStandardError());
    EXPECT_TRUE(secondLog.contains(QLatin1String("!!! Another Instance of This App is Already Running !!!"))) << secondLog.toStdString();
    EXPECT_TRUE(secondLog.contains(QStringLiteral("Existing Running App PID = %1").arg(first.processId()))) << secondLog.toStdString();
    EXPECT_TRUE(secondLog.contains(QStringLiteral("This App PID = %1").arg(secondPid)));
    EXPECT_EQ(first.state(), QProcess::Running);

    // The start and the refused copy are both in the log file.
    const QString log = logText();
    EXPECT_FALSE(log.contains(QLatin1String("Unable to Mount/Locate Path"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QLatin1String("AppDelegate -> init()")));
    EXPECT_TRUE(log.contains(QLatin1String("applicationWillFinishLaunching...DONE...")));
    EXPECT_TRUE(log.contains(QStringLiteral("ending this copy (PID %1)").arg(secondPid)));

    // Quit in order: a killed copy would be started again by its watchdog.
    first.terminate();
    EXPECT_TRUE(first.waitForFinished(10000));
    EXPECT_TRUE(testkit::processesStartedHere().isEmpty());
}
