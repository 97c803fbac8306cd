// The progress dialog, offscreen with scripted alerts: it shows what the
// shoot engines do and starts nothing itself. Delivery from the browser and
// its summary, failed moves and a stopped delivery, "Abort Process" during a
// decode, and hot folder mode delivering by itself.

#include "tests/testkit/fixtures/ProgressDialogScene.h"

#include <QDir>

using namespace sorrelby::testkit::progressdialog;

TEST_F(ProgressDialog, DeliveryFromTheWindowEndsWithASummaryThatClosesItself)
{
    writeFilesInOrder(source, {"IMG_0001.JPG", "A1_IMG_0002-qrcode.JPG", "A1_IMG_0003.JPG", "A1_IMG_0004.JPG"});
    settings.setValue(cPrefMoveUnasignedPhotoMethodTag, 0);
    settings.setValue(cPrefDoUnassignedProcess, false);
    settings.setValue(cPrefDailyFolderDateFormat, QString()); // no daily sub-folder
    const std::unique_ptr<MainWindow> opened = windowOnSource();
    MainWindow &window = *opened;
    ViewController *browser = window.browser()->controller();
    NotificationRecorder prefs(QStringLiteral("myOpenPrefId"));

    // No main folder yet: the browser says so and offers the preferences.
    settings.setValue(cPrefDestinationPath, QString(main + QStringLiteral("/missing")));
    alerts.queueAnswer(1);
    browser->finishProcessAction();
    ASSERT_TRUE(waitUntil([&] { return prefs.seen().size() == 1; }));
    EXPECT_EQ(alerts.shown().at(0).messageText, QStringLiteral("OOPS - Missing Folders?"));
    EXPECT_EQ(alerts.shown().at(0).buttons, (QStringList{"OK", "Open Prefs..."}));
    spinFor(100);
    EXPECT_FALSE(dialogOf(window));

    settings.setValue(cPrefDestinationPath, main);
    alerts.clear();
    alerts.queueAnswer(ScriptedAlertPresenter::cUnanswered); // nobody at the desk
    const ProgressLines progress(window.progress());
    const QStringList &shown = progress.shown;
    NotificationRecorder refreshes(QStringLiteral("myRefreshId"));
    browser->finishProcessAction();
    QPointer<CopyToMainFolderViewController> dialog;
    ASSERT_TRUE(waitUntil([&] { return (dialog = dialogOf(window)); }));
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    EXPECT_EQ(dialog->findChild<QPushButton *>(QStringLiteral("ibButton1"))->text(), QStringLiteral("close"));

    ASSERT_TRUE(waitUntil([&] { return alerts.shown().size() == 1; }, 10000));
    const Alert summary = alerts.shown().at(0);
    EXPECT_EQ(summary.messageText, QStringLiteral("Finished Moving ALL ReAssigned Files..."));
    EXPECT_EQ(summary.informativeText,
              QStringLiteral("Moved 2 out of 2 Allowed Files.\nFolder has Total of 4 Files\n\n"
                             "Delivered to ")
                  + main
                  + QStringLiteral(": 2 photo(s)\nCard photos moved to the trash: 1\n"
                                   "Left in the source folder: 1 photo(s)\n"
                                   "  1 photo(s) without a code, as the preferences ask"));
    EXPECT_EQ(summary.style, AlertStyle::Informational);
    EXPECT_EQ(summary.autoDismissSeconds, 5.0);
    // The delivery's own count, photo by photo, with the photo in hand.
    EXPECT_EQ(progress.counts,
              (QStringList{"1 of 4 IMG_0001.JPG", "2 of 4 A1_IMG_0002-qrcode.JPG", "3 of 4 A1_IMG_0003.JPG", "4 of 4 A1_IMG_0004.JPG"}));
    EXPECT_TRUE(shown.contains(QStringLiteral("Validating Destination Folder at:\n[") + main + QStringLiteral("...]")));
    EXPECT_TRUE(shown.contains(QStringLiteral("Copying TO:\n ") + main + QStringLiteral("/A1_IMG_0004.JPG")));
    EXPECT_TRUE(shown.filter(QStringLiteral("IMG_0001")).isEmpty()); // it stays, so it is never "copied"
    // The summary holds the dialog open until it ends by itself.
    EXPECT_TRUE(dialog && dialog->isVisible());
    ASSERT_TRUE(waitUntil([&] { return !dialog; }, 10000));
    EXPECT_GE(refreshes.seen().size(), 1);

    EXPECT_EQ(testkit::lines(entriesOf(main)), testkit::lines({"A1_IMG_0003.JPG", "A1_IMG_0004.JPG"}));
    EXPECT_EQ(testkit::lines(entriesOf(source)), testkit::lines({"IMG_0001.JPG"}));
}

// Camera by camera there is no summary, but a photo that could not be moved
// is shown before the dialog closes; photos of a camera that is not
// delivered are said as `watch` says them; a delivery stopped by its drive
// waits for the user.
TEST_F(ProgressDialog, FailedMovesCamerasLeftBehindAndAStopAreShown)
{
    settings.setValue(QStringLiteral("prefCheckForMultiCameras"), true);
    writeFilesInOrder(source, {"A1_IMG_0001.JPG", "A1_IMG_0002.JPG", "A1_IMG_0003.JPG"});
    std::atomic<int> failWith{0};
    ShootEngineOptions o = engineOptions();
    o.grouper = camerasByName({{QStringLiteral("IMG_0003.JPG"), QStringLiteral("SONY ILCE-7M3_77")}}, QStringLiteral("NIKON D750_3001"));
    o.deliveryFileOperations = movesFailingFor([&failWith](const QString &from) -> std::optional<FileResult> {
        if (from.endsWith(QStringLiteral("IMG_0002.JPG")) && failWith.load() == EIO)
            return FileResult::failure(QStringLiteral("disk full"));
        if (from.endsWith(QStringLiteral("IMG_0004.JPG")) && failWith.load() == ENOSPC)
            return FileResult::fromErrno(ENOSPC, QStringLiteral("Could not move"));
        return std::nullopt;
    });
    Followed followed(o);
    ShootEngine &engine = followed.engines.forFolder(source);

    failWith = EIO;
    engine.deliver(main);
    ASSERT_TRUE(waitUntil([&] { return followed.dismissed == 1; }, 10000));
    ASSERT_EQ(alerts.shown().size(), 1u);
    EXPECT_EQ(alerts.shown().at(0).messageText, QStringLiteral("!!! Some Photos Were NOT Delivered !!!"));
    EXPECT_TRUE(alerts.shown().at(0).informativeText.contains(QStringLiteral("A1_IMG_0002.JPG: disk full")));
    EXPECT_TRUE(
        alerts.shown().at(0).informativeText.contains(QStringLiteral("1 photo(s) of camera SONY ILCE-7M3_77 stay in the source folder")))
        << alerts.shown().at(0).informativeText.toStdString();
    EXPECT_EQ(testkit::lines(entriesOf(main)), testkit::lines({"A1_IMG_0001.JPG"}));
    EXPECT_EQ(testkit::lines(entriesOf(source)), testkit::lines({"A1_IMG_0002.JPG", "A1_IMG_0003.JPG"}));

    // The drive fills up: the dialog shows why until someone has read it.
    alerts.clear();
    alerts.queueAnswer(ScriptedAlertPresenter::cUnanswered);
    resetFolder(source);
    writeFilesInOrder(source, {"B2_IMG_0004.JPG", "B2_IMG_0005.JPG"});
    failWith = ENOSPC;
    engine.deliver(main);
    ASSERT_TRUE(waitUntil([&] { return alerts.shown().size() == 1; }, 10000));
    const Alert stop = alerts.shown().at(0);
    EXPECT_EQ(stop.messageText, QStringLiteral("!!! Delivery Stopped !!!"));
    EXPECT_EQ(stop.style, AlertStyle::Critical);
    EXPECT_EQ(stop.autoDismissSeconds, 0.0);
    EXPECT_TRUE(stop.informativeText.contains(QStringLiteral("the drive of the main folder is full")))
        << stop.informativeText.toStdString();
    spinFor(300);
    EXPECT_EQ(followed.dismissed, 1);
    EXPECT_TRUE(followed.controller.fProgressString.startsWith(QStringLiteral("Delivery stopped: ")));
    EXPECT_EQ(testkit::lines(entriesOf(source)), testkit::lines({"B2_IMG_0004.JPG", "B2_IMG_0005.JPG"}));
}

// The window's own sheets: one that ends by itself does, with its first
// button; one without the time waits for the user.
TEST_F(ProgressDialog, SheetsOfTheWindowEndByThemselvesWhenAsked)
{
    QtAlertPresenter presenter;
    QWidget parent;
    parent.show();
    Alert alert;
    alert.messageText = QStringLiteral("Finished Moving ALL ReAssigned Files...");
    alert.buttons = {QStringLiteral("OK"), QStringLiteral("More")};
    alert.autoDismissSeconds = 0.05;
    std::optional<AlertAnswer> answer;
    presenter.beginSheet(alert, &parent, [&](AlertAnswer a) { answer = a; });
    ASSERT_TRUE(waitUntil([&] { return answer.has_value(); }));
    EXPECT_EQ(*answer, 0);
    EXPECT_TRUE(parent.findChildren<QMessageBox *>().isEmpty() || !parent.findChild<QMessageBox *>()->isVisible());

    alert.autoDismissSeconds = 0;
    answer.reset();
    presenter.beginSheet(alert, &parent, [&](AlertAnswer a) { answer = a; });
    spinFor(200);
    EXPECT_FALSE(answer.has_value());
    QMessageBox *box = parent.findChild<QMessageBox *>();
    ASSERT_TRUE(box && box->isVisible());
    box->buttons().at(0)->click();
}

// "Revert and Decode Again" in the window: the dialog comes up by itself,
// counts the photos, and its button stops the decode after the photo in hand.
TEST_F(ProgressDialog, AbortDuringADecodeStopsBeforeTheNextPhoto)
{
    ShootSpec spec;
    spec.subjects = 2;
    spec.photosPerSubject = 2;
    const std::optional<Shoot> shoot = writeShoot(source, spec);
    ASSERT_TRUE(shoot);
    settings.setValue(cPrefOriginalNameFormatTag, shoot->nameFormatTag());
    const QString held = source + QLatin1Char('/') + shoot->photos.at(2).fileName;

    // The third photo is held in detection until the button is pressed.
    HeldDetection detection(held);
    ShootEngineOptions o = engineOptions();
    o.detector = detection.detector();
    Followed followed(o);
    CopyToMainFolderController &dialog = followed.controller;
    int presented = 0;
    QObject::connect(&dialog, &CopyToMainFolderController::presentRequested, [&] { ++presented; });
    ShootRequest decode{ShootOperation::RevertAndDecode};
    decode.detectionWorkers = 1; // the walk reads each photo itself
    followed.engines.forFolder(source).request(decode);

    ASSERT_TRUE(waitUntil([&] { return detection.reached() && dialog.fItemsProcessed == 3; }, 20000));
    EXPECT_EQ(presented, 1);
    EXPECT_EQ(dialog.buttonTitle, QStringLiteral("Abort Process"));
    EXPECT_TRUE(dialog.barVisible);
    EXPECT_EQ(dialog.fMaxItemsToProcess, 6);
    dialog.doButton1(QStringLiteral("abort process"));
    detection.release();
    ASSERT_TRUE(waitUntil([&] { return !dialog.fProcessing; }, 20000));

    QStringList expected;
    for (int i = 0; i < shoot->photos.size(); ++i)
        expected << (i <= 2 ? shoot->photos[i].expectedName : shoot->photos[i].fileName);
    EXPECT_EQ(testkit::lines(entriesOf(source)), sortedLines(expected));
    EXPECT_EQ(dialog.fItemsProcessed, 3);
    EXPECT_EQ(dialog.fProgressItemString, QStringLiteral("Decoding Item: 3"));
    EXPECT_EQ(dialog.fProgressString, QStringLiteral("Found/Decoded QRCodes:\n\nS001"));
    EXPECT_EQ(dialog.lastResult()->outcome, ShootResult::Outcome::Aborted);
    EXPECT_EQ(followed.dismissed, 1);
}

// Hot folder mode: a card and a photo dropped into the hot folder end, the
// photo in the destination under its code, with nobody clicking anything.
TEST_F(ProgressDialog, HotFolderModeDeliversADroppedPhotoUnattended)
{
    const QString hot = makeTempFolder(QStringLiteral("hot"));
    settings.setValue(QStringLiteral("prefEnableHotFolderMode"), true);
    settings.setValue(QStringLiteral("prefDoDelayToWaitForValidPhoto"), false);
    settings.setValue(cPrefDailyFolderDateFormat, QStringLiteral("yyyy-MM-dd"));
    validatedFolders();

    const std::unique_ptr<MainWindow> shown = windowOnSource();
    MainWindow &window = *shown;
    const std::unique_ptr<HotFolderWatch> watch = watchFor(window, hot);

    ShootSpec spec;
    spec.subjects = 1;
    spec.photosPerSubject = 1;
    const std::optional<Shoot> shoot = dropShootInto(hot, spec);
    ASSERT_TRUE(shoot);

    bool sawDialog = false;
    const QString photo = shoot->photos.at(1).expectedName;
    ASSERT_TRUE(waitUntil(
        [&] {
            sawDialog = sawDialog || dialogOf(window);
            return filesBelow(main).size() == 1 && !dialogOf(window);
        },
        30000));
    watch->setRun(false);
    workQueue.sync([] {});

    const QString daily = QDir(main).entryList(QDir::Dirs | QDir::NoDotAndDotDot).value(0);
    EXPECT_EQ(testkit::lines(filesBelow(main)), testkit::lines({daily + QLatin1Char('/') + photo}));
    EXPECT_TRUE(photo.startsWith(QStringLiteral("S001_")));
    // The card stays for the next batch; no summary waited for anyone.
    EXPECT_EQ(testkit::lines(entriesOf(source)), testkit::lines({shoot->photos.at(0).expectedName}));
    EXPECT_TRUE(sawDialog);
    EXPECT_TRUE(alerts.shown().empty());
    EXPECT_EQ(window.progress().lastResult()->operation, ShootOperation::HotFolderBatch);
    EXPECT_TRUE(settings.boolValue(QStringLiteral("prefEnableHotFolderMode")));
}

// What the dialog says while a step runs: "n of N", the photo in hand and,
// once a few photos are done, the time left from the rate so far, which does
// not jump about when one photo is slow.
TEST_F(ProgressDialog, ProgressReadsAsCountPhotoAndTimeLeft)
{
    Followed followed(engineOptions());
    CopyToMainFolderController &c = followed.controller;
    ProgressFeed feed(followed.engines, c, source);
    ShootProgress &p = feed.progress;
    p.step = ShootStep::Detecting;
    p.total = 40;
    const auto photo = [&](int n, qint64 atMs) { return feed.photo(n, atMs); };
    const auto label = [&](const char *name) { return feed.label(name); };
    photo(1, 0);
    ASSERT_TRUE(waitUntil([&] { return !feed.dialog.isNull(); })); // it comes up by itself
    EXPECT_EQ(label("fTimeLeftString"), QString());
    EXPECT_EQ(photo(2, 1000), QString()); // too early to say
    EXPECT_EQ(photo(3, 2000), QString());
    // 1 s a photo, 36 photos to go.
    EXPECT_EQ(photo(4, 3000), QStringLiteral("About 40 s left"));
    EXPECT_EQ(label("fCountString"), QStringLiteral("4 of 40"));
    EXPECT_EQ(label("fPhotoInHand"), QStringLiteral("DSC_0004.JPG"));
    // One slow card photo nudges the average up a little (41 s): the figure
    // holds rather than going up and down.
    EXPECT_EQ(photo(5, 4600), QStringLiteral("About 40 s left"));
    EXPECT_EQ(photo(20, 19600), QStringLiteral("About 25 s left"));
    EXPECT_EQ(label("fCountString"), QStringLiteral("20 of 40"));
    // A rise that is real is shown: the photos have begun to crawl.
    EXPECT_EQ(photo(21, 60000), QStringLiteral("About 1 min left"));
    EXPECT_EQ(photo(38, 100000), QStringLiteral("A few seconds left"));

    // A new step is timed afresh.
    p.step = ShootStep::Delivering;
    p.total = 10;
    EXPECT_EQ(photo(1, 200000), QString());
    EXPECT_EQ(label("fPhotoInHand"), QStringLiteral("DSC_0001.JPG"));
    EXPECT_EQ(label("fCountString"), QStringLiteral("1 of 10"));

    feed.finish();
    EXPECT_TRUE(c.fTimeLeftString.isEmpty());
}

// A summary with something to act on is a warning that waits; it says what
// went where and why a photo stayed.
TEST_F(ProgressDialog, ASummaryWithAProblemSaysWhatStayedAndWaits)
{
    settings.setValue(cPrefMoveUnasignedPhotoMethodTag, 1);
    settings.setValue(cPrefDoUnassignedProcess, true);
    settings.setValue(cPrefDestinationPath, main);
    settings.setValue(cPrefDailyFolderDateFormat, QString());
    settings.setValue(cPrefKeepLastQRCodeFile, true);
    writeFilesInOrder(source, {"IMG_0001.JPG", "A1_IMG_0002-qrcode.JPG", "A1_IMG_0003.JPG", "A1_IMG_0004.JPG"});
    ShootEngineOptions o = engineOptions();
    o.deliveryFileOperations = movesFailingFor([](const QString &from) -> std::optional<FileResult> {
        if (from.endsWith(QStringLiteral("IMG_0004.JPG")))
            return FileResult::failure(QStringLiteral("Permission denied"));
        return std::nullopt;
    });
    Followed followed(o);
    alerts.queueAnswer(ScriptedAlertPresenter::cUnanswered);
    followed.engines.forFolder(source).deliver(main);
    ASSERT_TRUE(waitUntil([&] { return alerts.shown().size() == 1; }, 10000));
    const Alert summary = alerts.shown().at(0);
    EXPECT_EQ(summary.messageText, QStringLiteral("Possible Issue(s) with Moving ReAssigned Files..."));
    EXPECT_EQ(summary.style, AlertStyle::Warning);
    EXPECT_EQ(summary.autoDismissSeconds, 0.0);
    const QString text = summary.informativeText;
    EXPECT_TRUE(text.contains(QStringLiteral("Delivered to ") + main + QStringLiteral(": 1 photo(s)"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("To UNASSIGNED_PHOTOS (") + main + QStringLiteral("/UNASSIGNED_PHOTOS): 1 photo(s)")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Left in the source folder: 2 photo(s)\n  1 card photo(s) kept for the next batch\n"
                                             "  not moved: A1_IMG_0004.JPG: Permission denied")))
        << text.toStdString();
    spinFor(300);
    EXPECT_EQ(followed.dismissed, 0);
}
