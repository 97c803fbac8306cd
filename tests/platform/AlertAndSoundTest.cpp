#include "tests/testkit/fixtures/AlertAndSoundScene.h"

using namespace sorrelby::testkit::alertandsound;

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
    StandardErrorCapture capture;
    ASSERT_TRUE(capture.capturing());
    {
        CanberraSoundPlayer player;
        player.play(QStringLiteral("Glass"));
        player.play(QStringLiteral("Sosumi"));
        player.beep();
        QThreadPool::globalInstance()->waitForDone();
    }
    const QByteArray output = capture.take();
    EXPECT_FALSE(output.contains("ALSA lib")) << output.constData();
    EXPECT_LE(output.count("CanberraSoundPlayer -> play...."), 1) << output.constData();
}
