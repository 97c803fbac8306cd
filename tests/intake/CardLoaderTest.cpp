// The card window's engine with the fake volume monitor and scripted alerts:
// which volumes count as camera cards, what is asked about the others, the
// card already inserted, the unassigned photos brought back in, and a real
// loop-mounted card (where loop mounts are allowed).

#include "tests/testkit/fixtures/CardLoaderScene.h"

using namespace sorrelby::testkit::cardloader;

namespace {

TEST_F(CardLoaderTest, MountedVolumesAreJudgedByTheirTrimmedCameraFolders)
{
    settings.setValue(QStringLiteral("prefCameraCardFolderNames"), QStringLiteral("DCIM, PRIVATE"));
    loader.start();
    EXPECT_EQ(settings.stringValue(QStringLiteral("prefStatusString")), QStringLiteral("Please Insert CARD..."));
    EXPECT_TRUE(alerts.shown().empty()); // nothing inserted yet

    // Only the second folder name, after the blank: still a camera card.
    const QString card = volume(QStringLiteral("SONY"), {QStringLiteral("PRIVATE/M4ROOT")}, true);
    ASSERT_TRUE(waitForCopies(1));
    EXPECT_TRUE(results[0].ok()) << results[0].statusLine.toStdString();
    EXPECT_EQ(entriesOf(source), QStringList{QStringLiteral("DSC_0001.JPG")});
    EXPECT_EQ(settings.stringValue(QStringLiteral("prefTempMountVolume")), card);
    EXPECT_EQ(monitor.ejected(), QStringList{card});
    EXPECT_EQ(settings.stringValue(QStringLiteral("prefStatusString")), results[0].statusLine);
    EXPECT_TRUE(alerts.shown().empty());

    // The recovery volume, whatever its letter case, is ignored silently.
    volume(QStringLiteral("recovery hd"), {QStringLiteral("DCIM")}, true);
    spinFor(50);
    EXPECT_EQ(results.size(), 1);
    EXPECT_TRUE(alerts.shown().empty());

    // No camera folder: asked, and "Eject Card" ejects it without copying.
    const QString stick = volume(QStringLiteral("USB STICK"), {QStringLiteral("Documents")}, true);
    ASSERT_TRUE(waitUntil([&] { return monitor.ejected().size() == 2; }));
    ASSERT_EQ(alerts.shown().size(), 1u);
    EXPECT_EQ(alerts.shown()[0].messageText, QStringLiteral("Flash Card MAY NOT be a Camera Card !!!"));
    EXPECT_EQ(alerts.shown()[0].informativeText,
              QStringLiteral("CARD found at:\n") + stick + QStringLiteral("\n\nDo you really wish to use this or eject it?"));
    EXPECT_EQ(alerts.shown()[0].buttons, (QStringList{QStringLiteral("Eject Card"), QStringLiteral("Use This Card")}));
    EXPECT_EQ(monitor.ejected().last(), stick);
    EXPECT_EQ(results.size(), 1);

    // After stop() no mount is heard.
    loader.stop();
    volume(QStringLiteral("LATE"), {QStringLiteral("DCIM")}, true);
    spinFor(50);
    EXPECT_EQ(results.size(), 1);
}

TEST_F(CardLoaderTest, AnEmptyFolderNameSettingAsksAboutEveryVolumeAndUseThisCardCopiesIt)
{
    settings.setValue(QStringLiteral("prefCameraCardFolderNames"), QStringLiteral(" , "));
    loader.start();
    alerts.queueAnswer(1); // "Use This Card"
    const QString card = volume(QStringLiteral("NIKON"), {QStringLiteral("DCIM/100NIKON")}, true);
    ASSERT_TRUE(waitForCopies(1));
    ASSERT_EQ(alerts.shown().size(), 1u);
    EXPECT_EQ(alerts.shown()[0].messageText, QStringLiteral("Flash Card MAY NOT be a Camera Card !!!"));
    // The whole volume was copied, and ejected once safe.
    EXPECT_EQ(entriesOf(source), QStringList{QStringLiteral("DSC_0001.JPG")});
    EXPECT_EQ(monitor.ejected(), QStringList{card});
}

TEST_F(CardLoaderTest, TheExistingCardCheckOffersOnlyTheFirstCard)
{
    volume(QStringLiteral("A CARD"), {QStringLiteral("DCIM/100CANON")}, false);
    volume(QStringLiteral("B CARD"), {QStringLiteral("DCIM/100CANON")}, false);
    EXPECT_FALSE(CardLoader(monitor).isCameraCardVolume(monitor.mount(QStringLiteral("C PLAIN"), false)));

    alerts.queueAnswer(1); // "Use This Card"
    loader.start();
    ASSERT_TRUE(waitForCopies(1));
    ASSERT_EQ(alerts.shown().size(), 1u);
    EXPECT_EQ(alerts.shown()[0].messageText, QStringLiteral("EJECT Existing CARD !!!"));
    EXPECT_TRUE(alerts.shown()[0].informativeText.contains(QStringLiteral("/A CARD\n"))) << alerts.shown()[0].informativeText.toStdString();
    EXPECT_EQ(settings.stringValue(QStringLiteral("prefTempMountVolume")), monitor.volumeRoots()[0] + QStringLiteral("/A CARD"));
    EXPECT_EQ(monitor.ejected(), QStringList{monitor.volumeRoots()[0] + QStringLiteral("/A CARD")});
    EXPECT_EQ(entriesOf(source), QStringList{QStringLiteral("DSC_0001.JPG")});
    EXPECT_EQ(results.size(), 1);
}

TEST_F(CardLoaderTest, TheUnassignedPhotosOfTodaysDeliveryComeBackInAsACardAndStayWhereTheyWere)
{
    const QString main = makeTempFolder(QStringLiteral("main"));
    settings.setValue(cPrefDestinationPath, main);
    settings.setValue(cPrefDailyFolderDateFormat, QStringLiteral("MM-dd-yyyy"));
    settings.setValue(cPrefDoUnassignedProcess, true);
    settings.setValue(cPrefMoveUnasignedPhotoMethodTag, 1);
    // Today's shoot delivered: its photo without a code went where delivery
    // puts such photos.
    photo(source + QStringLiteral("/DSC_0042.JPG"));
    DeliveryRun delivery(settings);
    delivery.fSrcPath = source;
    delivery.fDestPath = preferenceops::getDuplicateFolderPathC(cPrefDestinationPath, cPrefDailyFolderDateFormat);
    delivery.setPauseSeconds(0);
    delivery.deliver();
    ASSERT_TRUE(entriesOf(source).isEmpty());
    const QStringList delivered = filesBelow(main);
    ASSERT_EQ(delivered.size(), 1) << lines(delivered);
    EXPECT_EQ(QDir::cleanPath(main + QLatin1Char('/') + delivered[0]), unassignedFolderOfToday() + QStringLiteral("/DSC_0042.JPG"));
    const QString stale = monitor.mount(QStringLiteral("OLD CARD"), false);
    settings.setValue(QStringLiteral("prefTempMountVolume"), stale);

    loader.doSelectUnassigedFolder();
    ASSERT_TRUE(waitForCopies(1));
    EXPECT_TRUE(results[0].ok()) << results[0].statusLine.toStdString();
    EXPECT_EQ(entriesOf(source), QStringList{QStringLiteral("DSC_0042.JPG")});
    EXPECT_EQ(filesBelow(main), delivered);
    EXPECT_TRUE(monitor.ejected().isEmpty()); // the old card's volume is no business of this folder
}

TEST_F(CardLoaderTest, ANewCardAsksBeforeSettingAsideCodedPhotosNotDeliveredAndUndoBringsThemBack)
{
    photo(source + QStringLiteral("/A1_IMG_0001.JPG"), 5);
    photo(source + QStringLiteral("/IMG_0002.JPG"), 6);
    const QStringList before = entriesOf(source);
    loader.start();
    alerts.queueAnswer(0); // Cancel
    const QString card = volume(QStringLiteral("NIKON D850"), {QStringLiteral("DCIM/100NIKON")}, true);
    ASSERT_TRUE(waitUntil([&] { return !alerts.shown().empty(); }));
    const Alert asked = alerts.shown().front();
    EXPECT_EQ(asked.messageText, QStringLiteral("Set Aside Photos Not Delivered?"));
    EXPECT_TRUE(asked.informativeText.contains(QStringLiteral("1 coded photo(s)"))) << asked.informativeText.toStdString();
    EXPECT_TRUE(asked.informativeText.contains(QStringLiteral("/Trash"))) << asked.informativeText.toStdString();
    EXPECT_EQ(asked.buttons, (QStringList{QStringLiteral("Cancel"), QStringLiteral("Load Card")}));
    spinFor(50);
    EXPECT_FALSE(loader.isCopying());
    EXPECT_EQ(entriesOf(source), before);

    alerts.queueAnswer(1); // Load Card
    Q_EMIT monitor.volumeDidMount(card);
    ASSERT_TRUE(waitForCopies(1));
    EXPECT_EQ(entriesOf(source), QStringList{QStringLiteral("DSC_0001.JPG")});
    // The photos set aside are one step of the folder's undo journal.
    const JournalReport undone = RenameJournal(source).undo();
    EXPECT_EQ(undone.restored, 2);
    EXPECT_TRUE(undone.kept.isEmpty()) << lines(undone.kept);
    EXPECT_EQ(entriesOf(source),
              (QStringList{QStringLiteral("A1_IMG_0001.JPG"), QStringLiteral("DSC_0001.JPG"), QStringLiteral("IMG_0002.JPG")}));
}

TEST_F(CardLoaderTest, ARealCardIsCopiedAndEjectedWhenMounted)
{
    const QString media = makeTempFolder(QStringLiteral("realmedia"));
    LoopVolume card(makeTempFolder(QStringLiteral("prep")) + QStringLiteral("/card"));
    if (!card.unavailable().isEmpty())
        GTEST_SKIP() << card.unavailable().toStdString();
    photo(makeFolder(card.mountPoint() + QStringLiteral("/DCIM/100NIKON")) + QStringLiteral("/DSC_0001.JPG"), 1);
    photo(card.mountPoint() + QStringLiteral("/DCIM/100NIKON/DSC_0002.JPG"), 2);
    card.unmount();

    MountTableVolumeMonitor real({media});
    CardLoader cardLoader(real);
    cardLoader.setPauseAfterEject([](double) {});
    QList<CardCopyResult> done;
    QObject::connect(&cardLoader, &CardLoader::copyFinished, [&](const CardCopyResult &r) { done.append(r); });
    cardLoader.start();
    ASSERT_TRUE(card.remountAt(media + QStringLiteral("/NIKON D850")));

    ASSERT_TRUE(waitUntil([&] { return !done.isEmpty(); }, 20000));
    EXPECT_TRUE(done[0].ok()) << done[0].statusLine.toStdString();
    EXPECT_TRUE(done[0].ejected);
    EXPECT_FALSE(card.isMounted());
    EXPECT_EQ(entriesOf(source), (QStringList{QStringLiteral("DSC_0001.JPG"), QStringLiteral("DSC_0002.JPG")}));
    EXPECT_TRUE(alerts.shown().empty());
}

} // namespace
