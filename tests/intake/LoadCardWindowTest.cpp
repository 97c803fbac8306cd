// The card window offscreen, with the fake volume monitor and scripted
// alerts: the card already inserted offered when the window appears, the
// status line and the copy bar following the copy, the manual folder
// selection, and the window closed while it copies.

#include "tests/testkit/fixtures/LoadCardWindowScene.h"

#include "platform/Dispatch.h"

#include <QDir>
#include <QPointer>

#include <atomic>
#include <chrono>
#include <thread>

using namespace sorrelby::testkit::loadcardwindow;

namespace {

TEST_F(LoadCardWindowTest, OffersTheInsertedCardAndShowsTheCopy)
{
    const QString card = monitor.mount(QStringLiteral("NIKON D850"), false);
    photos(makeFolder(card + QStringLiteral("/DCIM/100NIKON")), 3);
    QStringList progressTexts;
    QObject::connect(&window.loader(), &CardLoader::progressChanged,
                     [&](const CardCopyProgress &) { progressTexts.append(child<QProgressBar>("ibCopyProgressBar")->format()); });

    alerts.queueAnswer(1); // "Use This Card"
    window.show();
    EXPECT_FALSE(child<QPushButton>("ibAssignUnknownNSButon")->isVisible());
    EXPECT_TRUE(child<QProgressBar>("ibProgressIndicator")->isVisible());
    ASSERT_TRUE(waitUntil([&] { return copiesFinished == 1; }));

    EXPECT_EQ(alerts.shown().size(), 1u);
    EXPECT_EQ(entriesOf(source).size(), 3);
    EXPECT_EQ(monitor.ejected(), QStringList{card});
    EXPECT_EQ(child<QLabel>("fStatusString")->text(), QStringLiteral("Done - 3 photos copied from Card"));
    EXPECT_EQ(settings.stringValue(QStringLiteral("prefStatusString")), QStringLiteral("Done - 3 photos copied from Card"));
    ASSERT_FALSE(progressTexts.isEmpty());
    EXPECT_TRUE(progressTexts.last().startsWith(QStringLiteral("3 of 3 photos"))) << progressTexts.last().toStdString();
    EXPECT_TRUE(child<QProgressBar>("ibCopyProgressBar")->isVisible());

    window.close();
    EXPECT_EQ(settings.stringValue(QStringLiteral("prefStatusString")), QStringLiteral("Please Insert CARD..."));
}

TEST_F(LoadCardWindowTest, AFolderChosenByHandIsCopiedAndTheBrowserToldToReload)
{
    const QString folder = makeTempFolder(QStringLiteral("backup"));
    photos(folder, 2);
    QStringList refreshes;
    NotificationCenter &center = NotificationCenter::defaultCenter();
    ObserverRegistration observer(center, center.addObserver(QStringLiteral("myRefreshId"), [&](const Notification &n) {
        refreshes.append(n.userInfo.value(QStringLiteral("command")).toString());
    }));
    int asked = 0;
    window.setFolderChooser([&](QWidget *, std::function<void(std::optional<QString>)> done) {
        ++asked;
        done(folder);
    });

    window.show();
    EXPECT_TRUE(alerts.shown().empty()); // no card inserted
    child<QPushButton>("ibManualSelectButton")->click();
    ASSERT_TRUE(waitUntil([&] { return copiesFinished == 1; }));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(entriesOf(source), (QStringList{QStringLiteral("DSC_0001.JPG"), QStringLiteral("DSC_0002.JPG")}));
    EXPECT_EQ(entriesOf(folder).size(), 2);
    EXPECT_GE(refreshes.size(), 1);
    EXPECT_TRUE(monitor.ejected().isEmpty());

    // The mount observers are back once the panel is answered.
    const QString card = monitor.mount(QStringLiteral("LATER"), false);
    photos(makeFolder(card + QStringLiteral("/DCIM")), 1);
    Q_EMIT monitor.volumeDidMount(card);
    ASSERT_TRUE(waitUntil([&] { return copiesFinished == 2; }));
    EXPECT_EQ(entriesOf(source), QStringList{QStringLiteral("DSC_0001.JPG")});
    window.close();
}

TEST_F(LoadCardWindowTest, TheOpenPanelHoldsOffCardsAndCancellingChangesNothing)
{
    window.show();
    child<QPushButton>("ibManualSelectButton")->click();
    auto *panel = window.findChild<QFileDialog *>(QStringLiteral("fOpenPanel"));
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->fileMode(), QFileDialog::Directory);

    // No card is taken while the panel is open.
    int started = 0;
    QObject::connect(&window.loader(), &CardLoader::copyStarted, [&] { ++started; });
    const QString card = monitor.mount(QStringLiteral("NIKON"), false);
    photos(makeFolder(card + QStringLiteral("/DCIM")), 1);
    Q_EMIT monitor.volumeDidMount(card);
    spinFor(20);
    EXPECT_EQ(started, 0);

    panel->reject();
    spinFor(20);
    EXPECT_EQ(started, 0);
    EXPECT_TRUE(entriesOf(source).isEmpty());
    window.close();
}

TEST_F(LoadCardWindowTest, ClosedDuringACopyItComesBackForACopyThatWentWrong)
{
    const QString card = monitor.mount(QStringLiteral("NIKON D850"), false);
    photos(makeFolder(card + QStringLiteral("/DCIM/100NIKON")), 2);
    // The copy waits behind this job until the test lets it go.
    std::atomic<bool> release{false};
    SerialQueue queue(QStringLiteral("held copies"));
    queue.async([&release] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!release && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    });

    alerts.queueAnswer(1); // "Use This Card"
    QPointer<LoadCardViewController> shown = showLoadCardWindow(nullptr, &monitor, &queue);
    ASSERT_TRUE(shown);
    shown->loader().setPauseAfterEject([](double) {});
    ASSERT_TRUE(waitUntil([&] { return shown->loader().isCopying(); }));
    shown->close();
    ASSERT_TRUE(shown);
    EXPECT_FALSE(shown->isVisible());

    // Asked for again while it copies: the same window, and the card being
    // copied is not offered a second time.
    EXPECT_EQ(showLoadCardWindow(nullptr, &monitor, &queue), shown.data());
    EXPECT_TRUE(shown->isVisible());
    shown->close();
    EXPECT_FALSE(shown->isVisible());

    int finished = 0;
    QObject::connect(&shown->loader(), &CardLoader::copyFinished, [&](const CardCopyResult &) { ++finished; });
    ASSERT_TRUE(QDir(source).removeRecursively());
    release = true;
    ASSERT_TRUE(waitUntil([&] { return finished == 1; }, 30000));

    // The card still holds every photo, and the window says so.
    spinFor(20);
    ASSERT_TRUE(shown);
    EXPECT_TRUE(shown->isVisible());
    EXPECT_TRUE(shown->fStatusString().contains(QStringLiteral("No Source Folder"))) << shown->fStatusString().toStdString();
    EXPECT_EQ(shown->findChild<QLabel *>(QStringLiteral("fStatusString"))->text(), shown->fStatusString());
    EXPECT_EQ(alerts.shown().size(), 1u);
    EXPECT_TRUE(monitor.ejected().isEmpty());
    EXPECT_EQ(filesBelow(card).size(), 2);

    shown->close();
    EXPECT_TRUE(waitUntil([&] { return shown.isNull(); }));
}

TEST_F(LoadCardWindowTest, ClosedDuringACopyItComesBackToListTheFilesLeftOnTheCard)
{
    const QString card = monitor.mount(QStringLiteral("NIKON D850"), false);
    const QString dcim = makeFolder(card + QStringLiteral("/DCIM/100NIKON"));
    photos(dcim, 2);
    writeFile(dcim + QStringLiteral("/Family portrait.JPG"), "renamed in the camera");
    std::atomic<bool> release{false};
    std::atomic<bool> held{false};
    window.loader().setPauseAfterEject([&](double) {
        held = true;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!release && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    });

    alerts.queueAnswer(1);
    window.show();
    ASSERT_TRUE(waitUntil([&] { return held.load(); }, 30000));
    window.close();
    EXPECT_FALSE(window.isVisible());
    release = true;
    ASSERT_TRUE(waitUntil([&] { return copiesFinished == 1; }, 30000));

    EXPECT_EQ(entriesOf(source).size(), 2);
    EXPECT_TRUE(window.isVisible());
    auto *notCopied = child<QLabel>("notCopiedLabel");
    EXPECT_TRUE(notCopied->isVisible());
    EXPECT_TRUE(notCopied->text().contains(QStringLiteral("Family portrait.JPG"))) << notCopied->text().toStdString();
    window.close();
    EXPECT_FALSE(window.isVisible());
}

} // namespace
