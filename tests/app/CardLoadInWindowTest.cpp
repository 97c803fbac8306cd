// A camera card loaded in the real window, offscreen, from a fake volume:
// File > Load New Card..., the card window's copy, the decode that follows
// it, and the browser's sections; then a second card in a row; what the
// card window left on the card.

#include "tests/testkit/fixtures/CardLoadInWindowScene.h"
#include "tests/testkit/fixtures/OddNamesScene.h"

#include <QLabel>
#include <sys/stat.h>
#include <unistd.h>

using namespace sorrelby::testkit::cardloadinwindow;

TEST_F(CardLoadInWindow, TwoCardsInARowEndSortedInTheSectionsAndOnDisk)
{
    const ShootSpec first = subjectsWithCodes(2, {QStringLiteral("A101"), QStringLiteral("A102")});
    const Shoot card1 = cardWith(QStringLiteral("NIKON D850"), first);
    ShootSpec second = subjectsWithCodes(1, {QStringLiteral("B201"), QStringLiteral("B202"), QStringLiteral("B203")});
    second.firstFrameNumber = 101;
    second.start = card1.photos.last().captureTime.addSecs(3600);
    second.seed = 2;
    settings.setValue(cPrefOriginalNameFormatTag, card1.nameFormatTag());

    WindowScene scene(workQueue, monitor);
    MainWindow &window = scene.window;
    ViewController *browser = openWindow(scene);

    // File > Load New Card...: the card already inserted is offered.
    loadInsertedCard(window);
    EXPECT_TRUE(showsSections(*browser, expectedSections(card1)));
    EXPECT_EQ(lines(entriesOf(source)), sortedLines(card1.expectedNames()));
    EXPECT_EQ(monitor.ejected().size(), 1);

    // The second card, inserted while the card window is open.
    const Shoot card2 = cardWith(QStringLiteral("NIKON Z6"), second);
    // The first card's photos are coded and not delivered: asked first.
    alerts.clear();
    alerts.queueAnswer(1); // "Load Card"
    Q_EMIT monitor.volumeDidMount(lastVolume);
    EXPECT_TRUE(showsSections(*browser, expectedSections(card2)));
    EXPECT_EQ(lines(entriesOf(source)), sortedLines(card2.expectedNames()));
    ASSERT_FALSE(alerts.shown().empty());
    EXPECT_EQ(alerts.shown().front().messageText, QStringLiteral("Set Aside Photos Not Delivered?"));

    // Nothing of the first card is lost: its photos went to the trash whole
    // (and are still on its card).
    workQueue.sync([] {});
    const QMultiMap<QByteArray, QString> trashed = contentCensus({qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash/files")});
    for (const ShootPhoto &photo : card1.photos)
        EXPECT_TRUE(trashed.contains(contentDigest(card1.folder + QLatin1Char('/') + photo.fileName))) << photo.fileName.toStdString();
    EXPECT_EQ(trashed.size(), card1.photos.size());
    closeCardWindows(window);
}

// A copy killed while placing its photos: the next start of the window
// finishes it and sorts the recovered photos as the copy would have.
TEST_F(CardLoadInWindow, ACopyAKillInterruptedIsFinishedAndSortedAtTheNextStart)
{
    const ShootSpec spec = subjectsWithCodes(2, {QStringLiteral("C301"), QStringLiteral("C302")});
    const QString staging = makeFolder(QFileInfo(source).absolutePath() + QStringLiteral("/.copyOfCard"));
    const std::optional<Shoot> shoot = writeShoot(staging, spec);
    ASSERT_TRUE(shoot);
    settings.setValue(cPrefOriginalNameFormatTag, shoot->nameFormatTag());
    // The first photo was already placed when the kill came.
    const QString first = shoot->photos.first().fileName;
    ASSERT_TRUE(QFile::rename(staging + QLatin1Char('/') + first, source + QLatin1Char('/') + first));
    StagingJournal journal;
    journal.target = source;
    journal.setsAside = true;
    journal.phase = StagingJournal::Phase::Placing;
    ASSERT_TRUE(journal.write(staging));

    WindowScene scene(workQueue, monitor);
    ASSERT_FALSE(scene.app.isRefused());
    MainWindow &window = scene.window;
    scene.app.applicationWillFinishLaunching();
    ViewController *browser = window.browser()->controller();

    EXPECT_TRUE(showsSections(*browser, expectedSections(*shoot)));
    EXPECT_EQ(lines(entriesOf(source)), sortedLines(shoot->expectedNames()));
    EXPECT_FALSE(QFileInfo::exists(staging));
    ASSERT_TRUE(waitUntil([&] { return !alerts.shown().empty(); }));
    EXPECT_TRUE(alerts.shown()[0].informativeText.contains(
        QStringLiteral("%1 photos recovered from an interrupted card copy").arg(shoot->photos.size() - 1)))
        << alerts.shown()[0].informativeText.toStdString();
    EXPECT_TRUE(alerts.shown()[0].informativeText.contains(source));
}

// A copy into the source folder never overlaps an operation on it (here one
// the engines' queue is still busy with): it starts once that has ended.
TEST_F(CardLoadInWindow, ACopyWaitsForTheOperationUnderWayOnTheFolder)
{
    const Shoot card = cardWith(QStringLiteral("NIKON D850"), subjectsWithCodes(2, {QStringLiteral("D401")}));
    settings.setValue(cPrefOriginalNameFormatTag, card.nameFormatTag());
    ASSERT_TRUE(writeFile(source + QStringLiteral("/DSC_0900.JPG"), smallJpeg()));

    WindowScene scene(workQueue, monitor);
    MainWindow &window = scene.window;
    ViewController *browser = openWindow(scene);

    std::atomic<bool> busy{true};
    std::atomic<bool> inside{false};
    workQueue.async([&] {
        inside = true;
        while (busy.load())
            QThread::msleep(5);
    });
    ASSERT_TRUE(waitUntil([&] { return inside.load(); }));
    loadInsertedCard(window);
    spinFor(300);
    EXPECT_EQ(entriesOf(source), QStringList{QStringLiteral("DSC_0900.JPG")}); // neither set aside nor copied yet
    busy = false;

    EXPECT_TRUE(showsSections(*browser, expectedSections(card)));
    EXPECT_EQ(lines(entriesOf(source)), sortedLines(card.expectedNames()));
    closeCardWindows(window);
}

// What the card window did not copy it names, with why, and the window
// waits open for it to be read.
TEST_F(CardLoadInWindow, TheCardWindowNamesTheFilesLeftOnTheCardAndWhy)
{
    const Shoot card = cardWith(QStringLiteral("NIKON D850"), subjectsWithCodes(2, {QStringLiteral("E501")}));
    settings.setValue(cPrefOriginalNameFormatTag, card.nameFormatTag());
    const QString dcim = card.folder;
    ASSERT_EQ(::mkfifo(QFile::encodeName(dcim + QStringLiteral("/DSC_8001.JPG")).constData(), 0644), 0);
    ASSERT_TRUE(QFile::link(dcim + QLatin1Char('/') + card.photos.first().fileName, dcim + QStringLiteral("/DSC_8002.JPG")));
    oddnames::writeUnderRawName(dcim, "DSC_8003\xff.JPG");
    ASSERT_TRUE(writeFile(dcim + QStringLiteral("/X9_DSC_8004.JPG"), smallJpeg()));

    WindowScene scene(workQueue, monitor);
    MainWindow &window = scene.window;
    ViewController *browser = openWindow(scene);
    loadInsertedCard(window);
    ASSERT_TRUE(showsSections(*browser, expectedSections(card)));

    QWidget *cardWindow = window.findChild<QWidget *>(QStringLiteral("LoadCardViewController"));
    ASSERT_TRUE(cardWindow);
    EXPECT_TRUE(cardWindow->isVisible());
    QLabel *told = cardWindow->findChild<QLabel *>(QStringLiteral("notCopiedLabel"));
    ASSERT_TRUE(told);
    ASSERT_TRUE(waitUntil([&] { return told->isVisible(); }));
    const QString text = told->text();
    EXPECT_TRUE(text.startsWith(QStringLiteral("4 file(s) on the card not copied"))) << text.toStdString();
    for (const QString &said :
         {QStringLiteral("DSC_8001.JPG: not a regular file"), QStringLiteral("DSC_8002.JPG: symbolic link"),
          QStringLiteral("DSC_8003\\xff.JPG: name is not valid UTF-8"), QStringLiteral("X9_DSC_8004.JPG: not named like a camera file")})
        EXPECT_TRUE(text.contains(said)) << said.toStdString() << "\n" << text.toStdString();
    // Only the photos were taken; the card keeps everything.
    EXPECT_EQ(lines(entriesOf(source)), sortedLines(card.expectedNames()));
    EXPECT_TRUE(QFileInfo::exists(dcim + QStringLiteral("/X9_DSC_8004.JPG")));
    cardWindow->close();
}
