// The card window offscreen, with the fake volume monitor and scripted
// alerts: the card already inserted offered when the window appears, the
// status line and the copy bar following the copy, and the manual folder
// selection.

#include "tests/testkit/fixtures/LoadCardWindowScene.h"

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

} // namespace
