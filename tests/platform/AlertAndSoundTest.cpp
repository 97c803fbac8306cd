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

Alert alertWith(const QString &message, QStringList buttons = {QStringLiteral("OK")})
{
    Alert alert;
    alert.messageText = message;
    alert.informativeText = QStringLiteral("\nDetails\n");
    alert.buttons = std::move(buttons);
    return alert;
}

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

TEST(AlertPresenter, ScriptedAlertsAreRecordedAndAnswered)
{
    ScriptedAlertPresenter presenter;
    presenter.queueAnswer(1);
    const Alert choice = alertWith(QStringLiteral("!!! Replace? !!!"), {QStringLiteral("Keep"), QStringLiteral("Replace")});
    EXPECT_EQ(presenter.runModal(choice), 1);
    EXPECT_EQ(presenter.runModal(choice), 0); // script used up: the first button

    AlertAnswer sheetAnswer = -1;
    presenter.queueAnswer(1);
    presenter.beginSheet(choice, nullptr, [&](AlertAnswer answer) { sheetAnswer = answer; });
    EXPECT_EQ(sheetAnswer, -1); // answered later, like a real sheet
    EXPECT_TRUE(testkit::waitUntil([&] { return sheetAnswer == 1; }));

    const auto shown = presenter.shown();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].messageText, QStringLiteral("!!! Replace? !!!"));
    EXPECT_EQ(shown[2].buttons, choice.buttons);
    presenter.clear();
    EXPECT_TRUE(presenter.shown().empty());

    // Until a presenter is installed the shared one answers by itself.
    EXPECT_EQ(AlertPresenter::shared().runModal(choice), 0);
    AlertPresenter::setShared(&presenter);
    EXPECT_EQ(&AlertPresenter::shared(), &presenter);
    AlertPresenter::setShared(nullptr);
    EXPECT_NE(&AlertPresenter::shared(), &presenter);
}

TEST(AlertPresenter, AlertsFromWorkersAreShownOnTheMainThread)
{
    ThreadCheckingPresenter presenter;
    presenter.queueAnswer(2);
    AlertPresenter::setShared(&presenter);
    std::atomic<int> answer{-1};
    std::atomic<bool> doneOnMain{false};
    SerialQueue worker(QStringLiteral("worker"));
    worker.async([&] {
        showAlertOnMain(alertWith(QStringLiteral("!!! Unable to Mount/Locate Path !!!"), {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}),
                        [&](AlertAnswer a) {
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

TEST(SoundPlayer, NamesMapToThemeSoundsAndRecordingPlayerRecords)
{
    EXPECT_EQ(CanberraSoundPlayer::themeEventFor(QStringLiteral("Glass")), QStringLiteral("complete"));
    EXPECT_EQ(CanberraSoundPlayer::themeEventFor(QStringLiteral("Purr")), QStringLiteral("complete"));
    EXPECT_EQ(CanberraSoundPlayer::themeEventFor(QStringLiteral("Sosumi")), QStringLiteral("dialog-error"));
    EXPECT_EQ(CanberraSoundPlayer::themeEventFor(QStringLiteral("beep")), QStringLiteral("bell"));
    EXPECT_EQ(CanberraSoundPlayer::themeEventFor(QStringLiteral("message")), QStringLiteral("message"));

    RecordingSoundPlayer recorder;
    SoundPlayer::setShared(&recorder);
    SoundPlayer::shared().play(QStringLiteral("Glass"));
    SoundPlayer::shared().beep();
    SoundPlayer::setShared(nullptr);
    SoundPlayer::shared().play(QStringLiteral("Sosumi")); // silent default
    EXPECT_EQ(recorder.played(), (QStringList{QStringLiteral("Glass"), QStringLiteral("beep")}));
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
