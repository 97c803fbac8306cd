// Thumbnails: made from the embedded preview or the picture, turned upright,
// at most 160 pixels; and the service that makes them in the background,
// joins duplicate requests, drops cancelled ones and caches by file identity.

#include "tests/testkit/fixtures/ThumbnailsScene.h"

using namespace sorrelby::testkit::thumbnails;

namespace {

TEST_F(Thumbnails, PreviewOrPictureTurnedUprightAndSmall)
{
    for (bool embedded : {true, false}) {
        const QString name = embedded ? QStringLiteral("/with.jpg") : QStringLiteral("/without.jpg");
        // Stored landscape, shown turned by 90 degrees clockwise.
        const QString turned = writeMarkedPhoto(folder + name, QSize(1200, 800), 6, embedded);
        EXPECT_EQ(embeddedPreview(turned, cThumbnailMaxSide).has_value(), embedded);
        const QImage thumbnail = makeThumbnail(turned);
        ASSERT_FALSE(thumbnail.isNull());
        EXPECT_EQ(thumbnail.size(), QSize(106, 160)) << embedded;
        // The stored top-left corner is now at the top right.
        EXPECT_TRUE(isRed(thumbnail.pixel(thumbnail.width() - 5, 5))) << embedded;
        EXPECT_FALSE(isRed(thumbnail.pixel(5, 5))) << embedded;

        const QString normal = writeMarkedPhoto(folder + QStringLiteral("/n") + name.mid(1), QSize(1200, 800), 1, embedded);
        const QImage upright = makeThumbnail(normal);
        EXPECT_EQ(upright.size(), QSize(160, 106));
        EXPECT_TRUE(isRed(upright.pixel(5, 5)));
    }

    // RAW files, which no reader of ours decodes: from their previews, with
    // or without the small Exif thumbnail.
    for (bool embedded : {true, false}) {
        ExifSpec exif;
        exif.orientation = 6;
        exif.thumbnail = embedded;
        const QString raw = folder + (embedded ? QStringLiteral("/DSC_0001.NEF") : QStringLiteral("/IMG_0001.CR2"));
        ASSERT_TRUE(writeRawLike(raw, markedPicture(QSize(1200, 800)), exif));
        const QImage thumbnail = makeThumbnail(raw);
        EXPECT_EQ(thumbnail.size(), QSize(106, 160)) << embedded;
        EXPECT_TRUE(!thumbnail.isNull() && isRed(thumbnail.pixel(thumbnail.width() - 5, 5))) << embedded;
    }

    const QString small = writeMarkedPhoto(folder + QStringLiteral("/small.jpg"), QSize(120, 90), 1, false);
    EXPECT_EQ(makeThumbnail(small).size(), QSize(120, 90)); // never enlarged

    const QString text = folder + QStringLiteral("/notes.jpg");
    ASSERT_TRUE(writeFile(text, "not a picture"));
    EXPECT_TRUE(makeThumbnail(text).isNull());
    EXPECT_TRUE(makeThumbnail(folder + QStringLiteral("/missing.jpg")).isNull());
}

TEST(ThumbnailOrientation, AllEightOrientations)
{
    const QImage stored = markedPicture(QSize(40, 20));
    // Where the stored top-left corner ends up for each orientation.
    struct Case {
        int orientation;
        QSize size;
        QPoint redCorner;
    };
    const Case cases[] = {
        {1, {40, 20}, {2, 2}}, {2, {40, 20}, {37, 2}}, {3, {40, 20}, {37, 17}}, {4, {40, 20}, {2, 17}},
        {5, {20, 40}, {2, 2}}, {6, {20, 40}, {17, 2}}, {7, {20, 40}, {17, 37}}, {8, {20, 40}, {2, 37}},
    };
    for (const Case &c : cases) {
        const QImage shown = applyOrientation(stored, c.orientation);
        EXPECT_EQ(shown.size(), c.size) << c.orientation;
        EXPECT_TRUE(isRed(shown.pixel(c.redCorner))) << c.orientation;
    }
}

TEST_F(Service, JoinsDuplicatesAndCachesByIdentity)
{
    ThumbnailService service(2, 16 * 1024 * 1024, countingMaker());
    int ready = 0;
    QObject::connect(&service, &ThumbnailService::thumbnailReady, [&](const QString &, const QImage &) { ++ready; });
    const QString path = writeMarkedPhoto(folder + QStringLiteral("/a.jpg"), QSize(600, 400), 1, true);

    hold = true;
    int callbacks = 0;
    QImage received;
    for (int i = 0; i < 3; ++i) {
        service.request(path, [&](const QString &donePath, const QImage &image) {
            EXPECT_EQ(donePath, path);
            received = image;
            ++callbacks;
        });
    }
    EXPECT_EQ(service.pendingCount(), 1);
    hold = false;
    ASSERT_TRUE(waitUntil([&] { return callbacks == 3; }));
    EXPECT_EQ(made.load(), 1);
    EXPECT_EQ(ready, 1);
    EXPECT_EQ(received.size(), QSize(160, 106));

    // Known now: answered from the cache, also after a rename.
    ASSERT_TRUE(service.cached(path));
    const QString renamed = folder + QStringLiteral("/A1_a.jpg");
    ASSERT_TRUE(fileops::moveNoReplace(path, renamed));
    bool again = false;
    service.request(renamed, [&](const QString &, const QImage &image) { again = !image.isNull(); });
    ASSERT_TRUE(waitUntil([&] { return again; }));
    EXPECT_EQ(made.load(), 1);

    // A rewritten file is a new picture.
    writeMarkedPhoto(renamed, QSize(300, 300), 1, false);
    fileops::setModificationDate(renamed, QDateTime::currentDateTime().addSecs(5));
    QImage fresh;
    service.request(renamed, [&](const QString &, const QImage &image) { fresh = image; });
    ASSERT_TRUE(waitUntil([&] { return !fresh.isNull(); }));
    EXPECT_EQ(fresh.size(), QSize(160, 160));
    EXPECT_EQ(made.load(), 2);

    // Unreadable and missing files answer with a null image.
    bool answered = false;
    service.request(folder + QStringLiteral("/missing.jpg"), [&](const QString &, const QImage &image) { answered = image.isNull(); });
    ASSERT_TRUE(waitUntil([&] { return answered; }));
}

TEST_F(Service, CancelledRequestsAreNotDelivered)
{
    ThumbnailService service(1, 16 * 1024 * 1024, countingMaker());
    QStringList paths;
    for (int i = 0; i < 4; ++i)
        paths.append(writeMarkedPhoto(folder + QStringLiteral("/p%1.jpg").arg(i), QSize(400, 300), 1, false));

    hold = true;
    int delivered = 0;
    for (const QString &path : paths)
        service.request(path, [&](const QString &, const QImage &) { ++delivered; });
    service.cancelPending();
    EXPECT_EQ(service.pendingCount(), 0);
    hold = false;

    // A request of the new generation is still served.
    bool served = false;
    service.request(paths.last(), [&](const QString &, const QImage &image) { served = !image.isNull(); });
    ASSERT_TRUE(waitUntil([&] { return served; }));
    spinFor(50);
    EXPECT_EQ(delivered, 0);
    EXPECT_LE(made.load(), 2); // the running one and the new request; the queued were dropped
}

TEST_F(Service, BlockingBatchKeepsTheOrder)
{
    ThumbnailService service(2, 16 * 1024 * 1024, countingMaker());
    const QString wide = writeMarkedPhoto(folder + QStringLiteral("/wide.jpg"), QSize(800, 200), 1, false);
    const QString tall = writeMarkedPhoto(folder + QStringLiteral("/tall.jpg"), QSize(200, 800), 1, false);
    const QList<QImage> images = service.thumbnailsFor({wide, folder + QStringLiteral("/missing.jpg"), tall, wide});
    ASSERT_EQ(images.size(), 4);
    EXPECT_EQ(images[0].size(), QSize(160, 40));
    EXPECT_TRUE(images[1].isNull());
    EXPECT_EQ(images[2].size(), QSize(40, 160));
    EXPECT_EQ(images[3].size(), QSize(160, 40));
    EXPECT_LE(made.load(), 3); // the second "wide" normally comes from the cache
    EXPECT_EQ(service.thumbnail(tall).size(), QSize(40, 160));
}

} // namespace
