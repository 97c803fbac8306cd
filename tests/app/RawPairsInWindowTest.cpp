// A tethered RAW+JPEG camera in hot folder mode, through the real window,
// application object and engine: the pairs dropped into the hot folder end
// in the main folder, each pair under its card's code, nobody clicking.

#include "tests/testkit/fixtures/RawPairsInWindowScene.h"

using namespace sorrelby::testkit::rawpairsinwindow;

TEST_F(RawPairsInWindow, TetheredPairsAreDeliveredUnderTheirCardsCode)
{
    ShootSpec spec;
    spec.subjects = 2;
    spec.photosPerSubject = 2;
    spec.files = ShotFiles::RawAndJpeg;
    const QString staging = makeTempFolder(QStringLiteral("staging"));
    const std::optional<Shoot> shoot = writeShoot(staging, spec);
    ASSERT_TRUE(shoot);
    settings.setValue(cPrefOriginalNameFormatTag, shoot->nameFormatTag());

    HotFolderDesk desk(workQueue, monitor);
    AppDelegate &app = desk.app;
    MainWindow &window = desk.window;
    ASSERT_TRUE(app.currentMonitor());

    // The capture tool writes each shot's RAW, then its JPEG.
    for (const ShootPhoto &photo : shoot->photos)
        ASSERT_TRUE(fileops::copyNoReplace(staging + u'/' + photo.fileName, hot + u'/' + photo.fileName));

    const int subjectPhotos
        = int(std::count_if(shoot->photos.cbegin(), shoot->photos.cend(), [](const ShootPhoto &p) { return !p.isCard; }));
    ASSERT_TRUE(waitUntil(
        [&] { return int(filesBelow(mainFolder).size()) == subjectPhotos && !window.findChild<CopyToMainFolderViewController *>(); },
        60000))
        << lines(filesBelow(mainFolder)) << "\nsource: " << lines(entriesOf(source)) << "\nhot: " << lines(entriesOf(hot));
    app.applicationWillTerminate();
    workQueue.sync([] {});

    // Every subject photo, RAW and JPEG, once under its expected name; the
    // cards' pairs wait in the source folder for the next batch.
    const QMultiMap<QByteArray, QString> delivered = contentCensus({mainFolder});
    const QMultiMap<QByteArray, QString> left = contentCensus({source});
    for (const ShootPhoto &photo : shoot->photos) {
        const QByteArray digest = contentDigest(staging + u'/' + photo.fileName);
        const QString where = photo.isCard ? source : mainFolder;
        const QMultiMap<QByteArray, QString> &census = photo.isCard ? left : delivered;
        EXPECT_EQ(census.values(digest), QStringList{where + u'/' + photo.expectedName}) << photo.fileName.toStdString();
        EXPECT_FALSE(photo.expectedCode.isEmpty()) << photo.fileName.toStdString();
    }
    EXPECT_EQ(entriesOf(hot).filter(QRegularExpression(QStringLiteral("^[^.]"))), QStringList());
    EXPECT_TRUE(alerts.shown().empty());
}
