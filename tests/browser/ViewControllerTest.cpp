// The browser controller without a window: what the grid shows, and what
// each action does to the photos, the settings and the other controllers.

#include "tests/testkit/fixtures/BrowserControllerScene.h"

using namespace sorrelby::testkit::browsercontroller;

TEST_F(BrowserController, HeaderTitlesCountsAndOneList)
{
    photos({QStringLiteral("A1234_IMG_0001.JPG"), QStringLiteral("A1234_IMG_0002.JPG"), QStringLiteral("B7:7_IMG_0003.JPG"),
            QStringLiteral("IMG_0004.JPG"), QStringLiteral("IMG_0005.JPG")});
    reload();
    SectionItemModel *model = controller->model();
    ASSERT_EQ(model->sectionCount(), 3);
    EXPECT_EQ(model->rowCount(), 5 + 3);
    EXPECT_EQ(header(0), QStringLiteral("ID[0] = A1234"));
    EXPECT_EQ(header(1), QStringLiteral("ID[1] = B7/7"));
    // Camera names share "IMG", which is no code.
    EXPECT_EQ(header(2), QStringLiteral("Unknown!"));
    EXPECT_EQ(count(0), QStringLiteral("2 Item(s)"));
    EXPECT_EQ(count(2), QStringLiteral("2 Item(s)"));
    EXPECT_EQ(model->index(model->headerRow(1) + 1).data().toString(), QStringLiteral("B7:7_IMG_0003"));
    EXPECT_FALSE(model->flags(model->index(0)) & Qt::ItemIsSelectable);

    controller->showHideSections(false);
    ASSERT_TRUE(reloadedAfter(1));
    ASSERT_EQ(model->sectionCount(), 1);
    EXPECT_EQ(header(0), QString());
    EXPECT_EQ(count(0), QStringLiteral("5 Item(s)"));
}

TEST_F(BrowserController, ShowsTheNewSourceFolderWhenTold)
{
    reload();
    controller->registerObservers();
    const QString other = makeTempFolder(QStringLiteral("other"));
    writeFilesInOrder(other, {QStringLiteral("Z9_X_1.JPG")}, smallJpeg());
    settings.setValue(cPrefSourcePath, other);
    settings.setValue(cPrefSourcePathIsValid, MyBookmarkDataKit::savePath(other, cPrefSourcePathAliasData));
    const int before = controller->reloadCount();
    NotificationCenter::defaultCenter().post(QStringLiteral("vemoNotificationChangedSourcePath"));
    ASSERT_TRUE(reloadedAfter(before));
    EXPECT_EQ(controller->pathtophotos, other);
    EXPECT_EQ(header(0), QStringLiteral("ID[0] = Z9"));
}

TEST_F(BrowserController, SizeControlClampsAndResets)
{
    QList<QSizeF> sizes;
    QObject::connect(controller.get(), &ViewController::itemSizeChanged, [&](const QSizeF &size) { sizes << size; });
    for (int i = 0; i < 200; ++i)
        controller->doSegmentedContrl(2);
    EXPECT_DOUBLE_EQ(controller->itemScaleFactor, 3.0);
    EXPECT_EQ(controller->itemSize(), QSizeF(600, 600));
    // From the largest to the smallest cells in nine presses, not 112.
    for (int i = 0; i < 9; ++i)
        controller->doSegmentedContrl(0);
    EXPECT_DOUBLE_EQ(controller->itemScaleFactor, 0.75);
    // A scale stored on the old grain goes to the quarter next to it.
    const struct {
        double from;
        int press;
        double to;
    } steps[] = {{0.75, 0, 0.75}, {1.06, 2, 1.25}, {1.06, 0, 1.0}, {0.75, 7, 0.75}, {2.5, 1, 1.0}};
    for (const auto &step : steps) {
        controller->itemScaleFactor = step.from;
        controller->doSegmentedContrl(step.press);
        EXPECT_DOUBLE_EQ(controller->itemScaleFactor, step.to) << step.from << " press " << step.press;
    }
    EXPECT_EQ(sizes.last(), QSizeF(200, 200));
}

TEST_F(BrowserController, SelectAllToggles)
{
    reload();
    controller->doNotificationForSelectAll();
    EXPECT_TRUE(controller->selectedIndexPaths().isEmpty());

    photos({QStringLiteral("A1_X_1.JPG"), QStringLiteral("A1_X_2.JPG"), QStringLiteral("B2_X_3.JPG")});
    reload();
    controller->doNotificationForSelectAll();
    EXPECT_EQ(controller->selectedIndexPaths().size(), 3);
    controller->doNotificationForSelectAll();
    EXPECT_TRUE(controller->selectedIndexPaths().isEmpty());
    select(1, 0);
    controller->doNotificationForSelectAll();
    EXPECT_EQ(controller->selectedIndexPaths().size(), 3);
    // Every reload starts with nothing selected.
    reload();
    EXPECT_TRUE(controller->selectedIndexPaths().isEmpty());
}

TEST_F(BrowserController, SectionActionTakesOnlyItsOwnSection)
{
    const QStringList paths = photos({QStringLiteral("A1_X_1.JPG"), QStringLiteral("A1_X_2.JPG"), QStringLiteral("B2_X_3.JPG"),
                                      QStringLiteral("B2_X_4.JPG"), QStringLiteral("B2_X_5.JPG")});
    reload();
    controller->registerObservers();
    NotificationRecorder reassign(QStringLiteral("myReassignId"));
    // The dialog must exist before it is told what to reassign.
    QList<int> requestsAtSegue;
    QObject::connect(controller.get(), &ViewController::segueRequested, [&] { requestsAtSegue << int(reassign.seen().size()); });

    controller->doButton(1);
    waitUntil([&] { return !alerts.shown().empty(); });
    EXPECT_EQ(messagesOf(alerts.shown()), QStringList{QStringLiteral("NOTHING SELECTED INSIDE THIS SECTION")});
    EXPECT_TRUE(alerts.shown().front().informativeText.endsWith(QStringLiteral("section=1")));

    select(0, 1);
    select(1, 0);
    select(1, 2);
    controller->doButton(1);
    ASSERT_EQ(reassign.seen().size(), 1);
    EXPECT_EQ(segues, QStringList{QString(cSegueReassign)});
    EXPECT_EQ(requestsAtSegue, QList<int>{0});
    EXPECT_EQ(reassign.seen().front().value(QStringLiteral("urlstochange")).toStringList(), (QStringList{paths[2], paths[4]}));
    EXPECT_EQ(reassign.seen().front().value(QStringLiteral("fulSortedlUrlList")).toStringList(), paths);

    // With the prompt wanted, the prompt goes first and keeps the request.
    settings.setValue(cPrefAlwaysPromptForReassignmentMode, true);
    controller->doButton(0);
    EXPECT_EQ(segues.last(), QString(cSegueReassignPrompt));
    EXPECT_EQ(settings.mapValue(cPrefLastUserInfo).value(QStringLiteral("sectionid")).toString(), QStringLiteral("0"));
    EXPECT_EQ(reassign.seen().size(), 1);

    // In one-list mode nothing selected means everything.
    settings.setValue(cPrefAlwaysPromptForReassignmentMode, false);
    controller->showHideSections(false);
    ASSERT_TRUE(reloadedAfter(1));
    controller->doButton(0);
    ASSERT_EQ(reassign.seen().size(), 2);
    EXPECT_EQ(reassign.seen().last().value(QStringLiteral("urlstochange")).toStringList(), paths);
}

TEST_F(BrowserController, DropRenamesToTheSectionCode)
{
    settings.setValue(cPrefOriginalNameFormatTag, 1);
    const QStringList paths = photos({QStringLiteral("A1234_IMG_0412.JPG"), QStringLiteral("B77_IMG_0413.JPG"),
                                      QStringLiteral("IMG_0414.JPG"), QStringLiteral("IMG_0415.JPG")});
    reload();
    ASSERT_EQ(controller->model()->sectionCount(), 3);

    // Hot folder mode: nothing changes, and the user hears why.
    settings.setValue(QStringLiteral("prefEnableHotFolderMode"), true);
    EXPECT_FALSE(controller->acceptDrop({QUrl::fromLocalFile(paths[0]).toString()}, 1));
    EXPECT_EQ(sounds.played(), QStringList{QStringLiteral("beep")});
    settings.setValue(QStringLiteral("prefEnableHotFolderMode"), false);

    // The section of camera names has no code to give.
    EXPECT_FALSE(controller->acceptDrop({paths[0]}, 2));
    // A file from elsewhere is not ours to rename.
    const QString stranger = writeFilesInOrder(makeTempFolder(), {QStringLiteral("C9_IMG_0001.JPG")}, smallJpeg()).first();
    EXPECT_FALSE(controller->acceptDrop({stranger}, 1));
    EXPECT_TRUE(QFileInfo::exists(stranger));
    EXPECT_EQ(entriesOf(folder),
              (QStringList{QStringLiteral("A1234_IMG_0412.JPG"), QStringLiteral("B77_IMG_0413.JPG"), QStringLiteral("IMG_0414.JPG"),
                           QStringLiteral("IMG_0415.JPG")}));

    ASSERT_TRUE(dropReloads({QUrl::fromLocalFile(paths[0]).toString(), paths[2]}, 1));
    EXPECT_EQ(entriesOf(folder),
              (QStringList{QStringLiteral("B77_IMG_0412.JPG"), QStringLiteral("B77_IMG_0413.JPG"), QStringLiteral("B77_IMG_0414.JPG"),
                           QStringLiteral("IMG_0415.JPG")}));
    EXPECT_EQ(header(0), QStringLiteral("ID[0] = B77"));
    EXPECT_EQ(count(0), QStringLiteral("3 Item(s)"));
}

TEST_F(BrowserController, DropTakesWholeCodesKeepsTheCardMarkerAndShowsWhatFailed)
{
    settings.setValue(cPrefOriginalNameFormatTag, 1);
    const QStringList paths = photos({QStringLiteral("SMITH_JOHN_IMG_0410-qrcode.JPG"), QStringLiteral("SMITH_JOHN_IMG_0411.JPG"),
                                      QStringLiteral("SMITH_JANE_IMG_0412-qrcode.JPG"), QStringLiteral("SMITH_JANE_IMG_0413.JPG"),
                                      QStringLiteral("A1_IMG_0411.JPG")});
    reload();
    ASSERT_EQ(controller->model()->sectionCount(), 3);
    EXPECT_EQ(header(0), QStringLiteral("ID[0] = SMITH_JOHN"));
    EXPECT_EQ(header(1), QStringLiteral("ID[1] = SMITH_JANE"));

    // A card photo dropped on another section stays a card photo.
    ASSERT_TRUE(dropReloads({QUrl::fromLocalFile(paths[0]).toString()}, 1));
    EXPECT_EQ(lines(entriesOf(folder)),
              lines({QStringLiteral("A1_IMG_0411.JPG"), QStringLiteral("SMITH_JANE_IMG_0410-qrcode.JPG"),
                     QStringLiteral("SMITH_JANE_IMG_0412-qrcode.JPG"), QStringLiteral("SMITH_JANE_IMG_0413.JPG"),
                     QStringLiteral("SMITH_JOHN_IMG_0411.JPG")}));
    EXPECT_TRUE(alerts.shown().empty());

    // The name is taken by another photo: nothing changes, and the user is
    // told which photo kept its name and why.
    ASSERT_EQ(header(1), QStringLiteral("ID[1] = SMITH_JOHN"));
    ASSERT_TRUE(dropReloads({paths[4]}, 1));
    EXPECT_EQ(messagesOf(alerts.shown()), QStringList{QStringLiteral("!!! Some Photos Kept Their Names !!!")});
    const QString shown = alerts.shown().empty() ? QString() : alerts.shown().front().informativeText;
    EXPECT_TRUE(shown.contains(QStringLiteral("A1_IMG_0411.JPG: the name SMITH_JOHN_IMG_0411.JPG is already taken")))
        << shown.toStdString();
    EXPECT_TRUE(QFileInfo::exists(paths[1]));
    EXPECT_TRUE(QFileInfo::exists(paths[4]));
}

TEST_F(BrowserController, DeleteGoesToTheTrashAfterConfirmation)
{
    const QStringList paths = photos({QStringLiteral("A1_X_1.JPG"), QStringLiteral("A1_X_2.JPG")});
    // The second photo's RAW file goes with it.
    ASSERT_TRUE(writeFile(folder + QStringLiteral("/A1_X_2.NEF"), standIn(QStringLiteral("A1_X_2.NEF"), "raw")));
    reload();
    controller->deleteSelected();
    EXPECT_EQ(sounds.played(), QStringList{QStringLiteral("beep")});
    EXPECT_EQ(messagesOf(alerts.shown()), QStringList{QStringLiteral("OOPs - Nothing To Delete")});

    select(0, 1);
    alerts.queueAnswer(0); // "NO - Do Nothing"
    controller->deleteSelected();
    spinFor(50);
    EXPECT_TRUE(QFileInfo::exists(paths[1]));

    alerts.queueAnswer(1); // "YES DELETE"
    const int before = controller->reloadCount();
    controller->deleteSelected();
    ASSERT_TRUE(reloadedAfter(before));
    EXPECT_EQ(alerts.shown().back().messageText, QStringLiteral("DELETE All the Marked Photos?"));
    EXPECT_EQ(alerts.shown().back().informativeText, QStringLiteral("There are 1 items marked"));
    EXPECT_EQ(entriesOf(folder), QStringList{QStringLiteral("A1_X_1.JPG")});
    EXPECT_EQ(readFile(userfolders::dataHome() + QStringLiteral("/Trash/files/A1_X_2.JPG")), smallJpeg());
    EXPECT_EQ(readFile(userfolders::dataHome() + QStringLiteral("/Trash/files/A1_X_2.NEF")), standIn(QStringLiteral("A1_X_2.NEF"), "raw"));
    EXPECT_EQ(controller->imageDirectoryLoader().numberOfItems(), 1);

    // A trash that refuses: the photo stays, and the user is told.
    ViewControllerOptions refusing{&workQueue};
    refusing.trash = [](const QString &, QString *) { return FileResult::failure(QStringLiteral("no trash on this volume")); };
    useController(refusing);
    reload();
    select(0, 0);
    alerts.queueAnswer(1);
    controller->deleteSelected();
    ASSERT_TRUE(waitUntil([&] { return alerts.shown().back().messageText == QStringLiteral("!!! Unable to Move to Trash !!!"); }));
    EXPECT_TRUE(alerts.shown().back().informativeText.contains(QStringLiteral("A1_X_1.JPG: no trash on this volume")));
    EXPECT_EQ(readFile(paths[0]), smallJpeg());
}

TEST_F(BrowserController, RefreshScrollsToTheEndAndStartsDelivery)
{
    photos({QStringLiteral("A1_X_1.JPG"), QStringLiteral("A1_X_2.JPG")});
    controller->registerObservers();
    // The photo scrolled to, taken when asked: the delivery that follows
    // empties the folder and the model with it.
    QStringList scrolls;
    QObject::connect(controller.get(), &ViewController::scrollRequested,
                     [&](const QModelIndex &index) { scrolls << index.data(SectionItemModel::FilePathRole).toString(); });
    const QString main = makeTempFolder(QStringLiteral("main"));
    settings.setValue(cPrefDestinationPath, main);

    // One section: nothing to scroll.
    NotificationCenter::defaultCenter().post(QStringLiteral("myRefreshId"), {{QStringLiteral("command"), QStringLiteral("refresh")}});
    ASSERT_TRUE(reloadedAfter(0));
    spinFor(300);
    EXPECT_TRUE(scrolls.isEmpty());

    photos({QStringLiteral("B2_X_3.JPG"), QStringLiteral("B2_X_4.JPG")});
    // Posted from the work queue, as a peer may.
    workQueue.async([] {
        NotificationCenter::defaultCenter().post(QStringLiteral("myRefreshId"),
                                                 {{QStringLiteral("command"), QStringLiteral("refresh")},
                                                  {QStringLiteral("scrollto"), QStringLiteral("bottom")},
                                                  {QStringLiteral("autocopytomainfolder"), QStringLiteral("YES")}});
    });
    // Today's sub-folder need not exist yet: delivery makes it.
    const QString today = *ViewController::getDuplicateFolderPath(QString(cPrefDestinationPath), QString(cPrefDailyFolderDateFormat));
    ASSERT_TRUE(waitUntil([&] { return entriesOf(today).size() == 4; }, 10000));
    ASSERT_GE(scrolls.size(), 1);
    EXPECT_EQ(scrolls.front(), folder + QStringLiteral("/B2_X_4.JPG"));
    EXPECT_TRUE(entriesOf(folder).isEmpty());
    EXPECT_TRUE(alerts.shown().empty());

    // Without a main folder there is nowhere to deliver to.
    photos({QStringLiteral("C3_X_5.JPG")});
    QDir(main).removeRecursively();
    controller->finishProcessAction();
    ASSERT_TRUE(waitUntil([&] { return !alerts.shown().empty(); }));
    EXPECT_EQ(alerts.shown().front().messageText, QStringLiteral("OOPS - Missing Folders?"));
    workQueue.sync([] {});
    EXPECT_EQ(entriesOf(folder), QStringList{QStringLiteral("C3_X_5.JPG")});
}

TEST_F(BrowserController, RevertAndDecodeWorkOnTheFolderAsItIsWhenTheirTurnComes)
{
    settings.setValue(cPrefOriginalNameFormatTag, 1);
    const QString aside = photosArriving({"A1_IMG_0001-qrcode.JPG", "A1_IMG_0002.JPG", "IMG_0003.JPG", "IMG_0004.JPG"}, 3);
    reload();
    NotificationRecorder refreshes(QStringLiteral("myRefreshId"));

    // A photo that came after the window listed the folder is decoded too.
    ASSERT_TRUE(QFile::rename(aside + QStringLiteral("/IMG_0004.JPG"), folder + QStringLiteral("/IMG_0004.JPG")));
    controller->doAutoDecodeQRAction3();
    ASSERT_TRUE(waitUntil([&] { return refreshes.seen().size() == 1; }));
    const QStringList coded{QStringLiteral("A1_IMG_0001-qrcode.JPG"), QStringLiteral("A1_IMG_0002.JPG"), QStringLiteral("A1_IMG_0003.JPG"),
                            QStringLiteral("A1_IMG_0004.JPG")};
    EXPECT_EQ(entriesOf(folder), coded);

    // In hot folder mode the user is asked first.
    settings.setValue(QStringLiteral("prefEnableHotFolderMode"), true);
    alerts.queueAnswer(0);
    controller->doAutoDecodeQRAction();
    spinFor(200);
    workQueue.sync([] {});
    EXPECT_EQ(alerts.shown().back().messageText, QStringLiteral("WARNING - HOT FOLDER MODE ENABLED"));
    EXPECT_EQ(entriesOf(folder), coded);

    // The cards of these stand-ins read as nothing: back to camera names.
    alerts.queueAnswer(1);
    controller->doAutoDecodeQRAction();
    ASSERT_TRUE(waitUntil([&] { return refreshes.seen().size() == 2; }, 10000));
    EXPECT_EQ(entriesOf(folder),
              (QStringList{QStringLiteral("IMG_0001.JPG"), QStringLiteral("IMG_0002.JPG"), QStringLiteral("IMG_0003.JPG"),
                           QStringLiteral("IMG_0004.JPG")}));
    EXPECT_TRUE(segues.isEmpty()); // the dialog follows the engine, not the browser
    reload();
    EXPECT_EQ(header(0), QStringLiteral("Unknown!"));
}

TEST_F(BrowserController, FolderPathsAndWindowTitle)
{
    // No destination: no unassigned folder can be formed, and none is made.
    settings.setValue(cPrefDestinationPath, QString());
    EXPECT_FALSE(ViewController::getDestinationPathForUnknown());
    EXPECT_FALSE(QFileInfo::exists(QDir::currentPath() + QStringLiteral("/UNASSIGNED_PHOTOS")));
    const QString main = makeTempFolder(QStringLiteral("main"));
    // A main folder whose drive is not mounted is not made, nor anything in it.
    settings.setValue(cPrefDestinationPath, QString(main + QStringLiteral("/unmounted")));
    EXPECT_TRUE(ViewController::getDestinationPathForUnknown());
    EXPECT_FALSE(QFileInfo::exists(main + QStringLiteral("/unmounted")));
    settings.setValue(cPrefDestinationPath, main);
    settings.setValue(cPrefDailyFolderDateFormat, QStringLiteral("yyyy/MM/dd"));
    const std::optional<QString> unknown = ViewController::getDestinationPathForUnknown();
    ASSERT_TRUE(unknown);
    EXPECT_TRUE(QFileInfo(*unknown).isDir());
    EXPECT_TRUE(unknown->startsWith(main + QStringLiteral("/UNASSIGNED_PHOTOS/")));
    // The day's "/" become ":", so the day is one folder.
    EXPECT_EQ(QFileInfo(*unknown).fileName(), ViewController::getDailyFolderName());
    EXPECT_EQ(QFileInfo(*unknown).fileName().count(QLatin1Char(':')), 2);
    settings.setValue(cPrefDoUnassignedProcess, false);
    EXPECT_FALSE(ViewController::getDestinationPathForUnknown());

    // No source folder: the preferences are asked for, a moment later.
    NotificationRecorder preferences(QStringLiteral("myOpenPrefId"));
    controller->pathtophotos.clear();
    controller->refreshAllSections();
    EXPECT_TRUE(preferences.seen().isEmpty());
    ASSERT_TRUE(waitUntil([&] { return !preferences.seen().isEmpty(); }));
    EXPECT_EQ(preferences.seen().front().value(QStringLiteral("command")).toString(), QStringLiteral("openpref"));

    EXPECT_EQ(ViewController::formWindowTitle(std::nullopt), QStringLiteral("<UnknownSourceFolderPath> - Sorrelby"));
    EXPECT_EQ(ViewController::formWindowTitle(QStringLiteral("/photos")), QStringLiteral("/photos - Sorrelby"));
    EXPECT_EQ(settings.stringValue(QStringLiteral("prefWindowTitle")), QStringLiteral("/photos - Sorrelby"));
}

TEST_F(BrowserController, RevertsAskFirstWhenCodesWereGivenByHandAndCanBeUndone)
{
    settings.setValue(cPrefOriginalNameFormatTag, 1);
    const QStringList paths = photos({QStringLiteral("A1_IMG_0001-qrcode.JPG"), QStringLiteral("A1_IMG_0002.JPG"),
                                      QStringLiteral("B2_IMG_0003-qrcode.JPG"), QStringLiteral("B2_IMG_0004.JPG")});
    reload();
    // Without codes given by hand a revert does not ask.
    controller->doRevertToOriginalAction();
    EXPECT_TRUE(waitUntil([&] { return QFileInfo::exists(folder + QStringLiteral("/IMG_0002.JPG")); }));
    EXPECT_TRUE(alerts.shown().empty());
    workQueue.sync([] {});
    controller->undo();
    workQueue.sync([] {});
    reload();
    const QStringList decoded = entriesOf(folder);
    ASSERT_TRUE(QFileInfo::exists(paths[1])) << lines(decoded);

    // One photo dropped onto B2: both reverts ask, naming how many.
    ASSERT_TRUE(dropReloads({paths[1]}, 1));
    const QStringList dropped = entriesOf(folder);
    ASSERT_TRUE(dropped.contains(QStringLiteral("B2_IMG_0002.JPG")));
    alerts.queueAnswer(0); // Cancel
    controller->doRevertToOriginalAction();
    alerts.queueAnswer(0);
    controller->doAutoDecodeQRAction();
    ASSERT_TRUE(waitUntil([&] { return alerts.shown().size() == 2; }));
    workQueue.sync([] {});
    EXPECT_EQ(alerts.shown()[0].messageText, QStringLiteral("Throw Away Codes Given by Hand?"));
    EXPECT_TRUE(alerts.shown()[0].informativeText.contains(QStringLiteral("\n1 photo(s) were given their codes by hand")));
    EXPECT_EQ(alerts.shown()[0].buttons, (QStringList{QStringLiteral("Cancel"), QStringLiteral("Revert to Camera Names")}));
    EXPECT_EQ(alerts.shown()[1].buttons, (QStringList{QStringLiteral("Cancel"), QStringLiteral("Revert and Decode Again")}));
    EXPECT_EQ(entriesOf(folder), dropped);

    // Answered, the revert runs; Undo brings the hand-given code back.
    alerts.queueAnswer(1);
    controller->doRevertToOriginalAction();
    EXPECT_TRUE(waitUntil([&] { return QFileInfo::exists(folder + QStringLiteral("/IMG_0002.JPG")); }));
    workQueue.sync([] {});
    controller->undo();
    EXPECT_TRUE(waitUntil([&] { return entriesOf(folder) == dropped; })) << lines(entriesOf(folder));
}
