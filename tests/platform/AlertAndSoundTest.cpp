#include "platform/AlertPresenter.h"
#include "platform/Dispatch.h"
#include "platform/SoundPlayer.h"
#include "tests/testkit/TestEnvironment.h"

#include <QFile>
#include <QThreadPool>

#include <atomic>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace sorrelby;

namespace {

// Notes on which thread each alert was shown.
class ThreadCheckingPresenter : public ScriptedAlertPresenter {
public:
    AlertAnswer runModal(const Alert &alert) override
    {
        onMain = mainqueue::isCurrent();
        return ScriptedAlertPresenter::runModal(alert);
    }
    std::atomic<bool> onMain{false};
};

} // namespace

TEST(AlertPresenter, AlertsFromWorkersAreShownOnTheMainThread)
{
    Alert alert;
    alert.messageText = QStringLiteral("!!! Unable to Mount/Locate Path !!!");
    alert.buttons = QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")};
    // Without a presenter (the commands) an alert answers by itself.
    EXPECT_EQ(AlertPresenter::shared().runModal(alert), 0);

    ThreadCheckingPresenter presenter;
    presenter.queueAnswer(2);
    AlertPresenter::setShared(&presenter);
    std::atomic<int> answer{-1};
    std::atomic<bool> doneOnMain{false};
    SerialQueue worker(QStringLiteral("worker"));
    worker.async([&] {
        showAlertOnMain(alert, [&](AlertAnswer a) {
            doneOnMain = mainqueue::isCurrent();
            answer = a;
        });
    });
    EXPECT_TRUE(testkit::waitUntil([&] { return answer.load() != -1; }));
    AlertPresenter::setShared(nullptr);
    EXPECT_EQ(answer.load(), 2);
    EXPECT_TRUE(presenter.onMain.load());
    EXPECT_TRUE(doneOnMain.load());
    ASSERT_EQ(presenter.shown().size(), 1u);
    EXPECT_EQ(presenter.shown()[0].messageText, QStringLiteral("!!! Unable to Mount/Locate Path !!!"));
}

TEST(SoundPlayer, CanberraStaysQuietWithoutAnAudioDevice)
{
    // Capture standard error, where the log goes, while sounds are attempted.
    const QString capture = testkit::makeTempFolder() + QStringLiteral("/stderr.txt");
    const int saved = ::dup(2);
    const int file = ::open(QFile::encodeName(capture).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(file, 0);
    ::dup2(file, 2);
    {
        CanberraSoundPlayer player;
        player.play(QStringLiteral("Glass"));
        player.play(QStringLiteral("Sosumi"));
        player.beep();
        QThreadPool::globalInstance()->waitForDone();
    }
    ::dup2(saved, 2);
    ::close(saved);
    ::close(file);
    const QByteArray output = testkit::readFile(capture);
    EXPECT_FALSE(output.contains("ALSA lib")) << output.constData();
    EXPECT_LE(output.count("CanberraSoundPlayer -> play...."), 1) << output.constData();
}
