// Metadata, the upside-down turn and camera keys, on generated camera-like
// photos read back through the Exiv2 adapter.

#include "tests/testkit/fixtures/PhotoMetadataScene.h"

using namespace sorrelby::testkit::photometadata;

namespace {

TEST_F(PhotoMetadata, ReadsDatesSizeAndOrientation)
{
    const QString path = writeTestPhoto(folder, QStringLiteral("DSC_0001.JPG"), nikonCamera(), QSize(640, 480), 6);
    const std::optional<QDateTime> date = getPhotoDate(path, cExifDateTimeDigitized);
    ASSERT_TRUE(date);
    EXPECT_EQ(*date, QDateTime(QDate(2024, 5, 1), QTime(13, 45, 10))); // local time
    EXPECT_EQ(getPhotoDate(path, QStringLiteral("Exif.Photo.DateTimeOriginal")), date);

    const std::optional<PhotoProperties> properties = readPhotoProperties(path);
    ASSERT_TRUE(properties);
    EXPECT_EQ(properties->pixelWidth, 640);
    EXPECT_EQ(properties->pixelHeight, 480);
    EXPECT_EQ(properties->orientation, 6);
    EXPECT_FALSE(isLandscapeAndNormalOrientation(path)); // orientation 6

    // No date, no metadata at all, not a photo: none, never a throw.
    PhotoSpec bare;
    bare.exif.captureTime = QDateTime();
    const QString undated = folder + QStringLiteral("/undated.jpg");
    ASSERT_TRUE(writePhoto(undated, bare));
    EXPECT_FALSE(getPhotoDate(undated, cExifDateTimeDigitized));
    const QString text = folder + QStringLiteral("/notes.txt");
    ASSERT_TRUE(writeFile(text, "not a photo"));
    EXPECT_FALSE(getPhotoDate(text, cExifDateTimeDigitized));
    EXPECT_FALSE(readPhotoProperties(folder + QStringLiteral("/missing.jpg")));
    EXPECT_FALSE(isLandscapeAndNormalOrientation(text));
}

TEST_F(PhotoMetadata, TurningRewritesOnlyTheOrientation)
{
    const QString path = writeTestPhoto(folder, QStringLiteral("DSC_0002.JPG"), nikonCamera());
    const QByteArray before = readFile(path);
    const std::optional<FileAttributes> datesBefore = fileops::attributes(path);
    ASSERT_TRUE(datesBefore);
    ASSERT_TRUE(isLandscapeAndNormalOrientation(path));

    ASSERT_TRUE(doSetForOrientation180(path));

    const QByteArray after = readFile(path);
    EXPECT_NE(before, after);
    ASSERT_FALSE(imageDataOf(before).isEmpty());
    EXPECT_EQ(imageDataOf(before), imageDataOf(after)); // not re-encoded
    EXPECT_EQ(orientationOf(path), 3);
    EXPECT_EQ(getPhotoDate(path, cExifDateTimeDigitized), kCapture);
    const std::optional<FileAttributes> datesAfter = fileops::attributes(path);
    ASSERT_TRUE(datesAfter);
    EXPECT_EQ(datesAfter->modificationDate, datesBefore->modificationDate);
    EXPECT_EQ(datesAfter->creationDate, datesBefore->creationDate);
    EXPECT_FALSE(isLandscapeAndNormalOrientation(path));
    // The maker note survives the rewrite: the camera is still known.
    EXPECT_EQ(getCameraSerialNumber(path), QStringLiteral("NIKON3012345"));

    // Not a photo: refused, left as it was.
    const QString text = folder + QStringLiteral("/notes.jpg");
    ASSERT_TRUE(writeFile(text, "plain text, whatever the name says"));
    EXPECT_FALSE(doSetForOrientation180(text));
    EXPECT_EQ(readFile(text), QByteArray("plain text, whatever the name says"));
}

TEST_F(PhotoMetadata, UpsideDownCamerasAreTurnedOnceAndOnlyWhenAllowed)
{
    Settings &settings = Settings::shared();
    settings.setValue(QStringLiteral("prefCamerasToRotate180asString"), QStringLiteral(" 123, 456 ,\n"));
    const QString listed = writeTestPhoto(folder, QStringLiteral("DSC_0010.JPG"), nikonCamera(QStringLiteral("123")));
    const QString other = writeTestPhoto(folder, QStringLiteral("DSC_0011.JPG"), nikonCamera(QStringLiteral("789")));
    const QString portrait = writeTestPhoto(folder, QStringLiteral("DSC_0012.JPG"), nikonCamera(QStringLiteral("456")), QSize(480, 640));
    const QString turned = writeTestPhoto(folder, QStringLiteral("DSC_0013.JPG"), nikonCamera(QStringLiteral("456")), QSize(640, 480), 3);

    settings.setValue(QStringLiteral("prefRotateImages180"), false);
    EXPECT_FALSE(rotateUpsideDownIfAllowed(listed));
    EXPECT_EQ(orientationOf(listed), 1);

    settings.setValue(QStringLiteral("prefRotateImages180"), true);
    EXPECT_TRUE(rotateUpsideDownIfAllowed(listed));
    EXPECT_EQ(orientationOf(listed), 3);
    EXPECT_FALSE(rotateUpsideDownIfAllowed(listed)); // at most once

    const QByteArray otherBytes = readFile(other);
    const QByteArray portraitBytes = readFile(portrait);
    const QByteArray turnedBytes = readFile(turned);
    EXPECT_FALSE(rotateUpsideDownIfAllowed(other));
    EXPECT_FALSE(rotateUpsideDownIfAllowed(portrait));
    EXPECT_FALSE(rotateUpsideDownIfAllowed(turned));
    EXPECT_EQ(readFile(other), otherBytes);
    EXPECT_EQ(readFile(portrait), portraitBytes);
    EXPECT_EQ(readFile(turned), turnedBytes);

    settings.setValue(QStringLiteral("prefCamerasToRotate180asString"), QString());
    const QString fresh = writeTestPhoto(folder, QStringLiteral("DSC_0014.JPG"), nikonCamera(QStringLiteral("123")));
    EXPECT_FALSE(rotateUpsideDownIfAllowed(fresh));
}

TEST_F(PhotoMetadata, CameraKeysFromMakerNotesNamesAndMakes)
{
    // Maker-note serials, whatever the file is called. Without a maker note
    // the serial comes from the camera name, even when the Exif has a body
    // serial, so a photo keeps its key once it has a code.
    Settings::shared().setValue(cPrefOriginalNameFormatTag, 1);
    CameraSpec canonWithoutNote = canonCamera();
    canonWithoutNote.makerNoteSerial.clear();
    canonWithoutNote.bodySerial = QStringLiteral("998877");
    const std::tuple<const char *, std::optional<CameraSpec>, const char *> photos[] = {
        {"A1_DSC_0001.JPG", nikonCamera(), "NIKON3012345"},
        {"IMG_0001.JPG", canonCamera(), "CANON2281012345"},
        {"IMG_0002.JPG", canonCamera(QStringLiteral("WD0012345")), "CANONWD0012345"},
        {"IMG_0412.JPG", canonWithoutNote, "CANONIMG"},
        {"A1_IMG_0413.JPG", canonWithoutNote, "CANONIMG"},
        {"AB_12_IMG_0414-qrcode.JPG", canonWithoutNote, "CANONIMG"},
        {"A1_DSC00001.JPG", sonyCamera(), "SONYA1"}, // two parts: a camera name for the format tag
        {"DSC00001.JPG", sonyCamera(), "SONYXYZ"},
        {"IMG_0003.JPG", std::nullopt, "VENIMG"},
        {"photo.jpg", std::nullopt, "INVALID"},
    };
    for (const auto &[name, camera, key] : photos)
        EXPECT_EQ(getCameraSerialNumber(writeTestPhoto(folder, QLatin1String(name), camera)), QString::fromUtf8(key)) << name;
    const QString text = folder + QStringLiteral("/IMG_0004.JPG");
    ASSERT_TRUE(writeFile(text, "not a photo"));
    EXPECT_EQ(getCameraSerialNumber(text), QStringLiteral("INVALID"));

    // The make's first word only; the body serial from the Exif when the
    // maker note carries none.
    PhotoProperties properties;
    properties.tiff.insert(QStringLiteral("Make"), QStringLiteral("NIKON CORPORATION "));
    properties.hasAuxiliaryExif = true;
    properties.exif.insert(QStringLiteral("BodySerialNumber"), QStringLiteral("abc9"));
    EXPECT_EQ(cameraKeyFor(properties, QStringLiteral("/x/DSC_0001.JPG")), QStringLiteral("NIKONABC9"));
    properties.auxiliaryExif.insert(QStringLiteral("SerialNumber"), QStringLiteral("77"));
    EXPECT_EQ(cameraKeyFor(properties, QStringLiteral("/x/DSC_0001.JPG")), QStringLiteral("NIKON77"));
    properties.tiff.clear();
    EXPECT_EQ(cameraKeyFor(properties, QStringLiteral("/x/DSC_0001.JPG")), QStringLiteral("VEN77"));
    PhotoProperties canon; // a maker note without any serial
    canon.tiff.insert(QStringLiteral("Make"), QStringLiteral("Canon"));
    canon.hasAuxiliaryExif = true;
    EXPECT_EQ(cameraKeyFor(canon, QStringLiteral("/x/IMG_0412.JPG")), QStringLiteral("CANONXYZ"));
}

TEST_F(PhotoMetadata, GroupsPhotosByCameraInInputOrder)
{
    EXPECT_TRUE(doCreateDictionaryOfCameraImages({}).isEmpty());
    const QString a1 = writeTestPhoto(folder, QStringLiteral("DSC_0001.JPG"), nikonCamera(QStringLiteral("111")));
    const QString b1 = writeTestPhoto(folder, QStringLiteral("DSC_0002.JPG"), nikonCamera(QStringLiteral("222")));
    const QString c1 = writeTestPhoto(folder, QStringLiteral("IMG_0003.JPG"), canonCamera());
    const QString a2 = writeTestPhoto(folder, QStringLiteral("DSC_0004.JPG"), nikonCamera(QStringLiteral("111")));
    const QString b2 = writeTestPhoto(folder, QStringLiteral("DSC_0005.JPG"), nikonCamera(QStringLiteral("222")));
    const QString broken = folder + QStringLiteral("/DSC_0006.JPG");
    ASSERT_TRUE(writeFile(broken, "truncated"));

    const CameraGroups groups = doCreateDictionaryOfCameraImages({b2, a1, broken, c1, b1, a2});
    EXPECT_EQ(groups.size(), 4);
    EXPECT_EQ(groups.value(QStringLiteral("NIKON111")), (QStringList{a1, a2}));
    EXPECT_EQ(groups.value(QStringLiteral("NIKON222")), (QStringList{b2, b1}));
    EXPECT_EQ(groups.value(QStringLiteral("CANON2281012345")), (QStringList{c1}));
    EXPECT_EQ(groups.value(QStringLiteral("INVALID")), (QStringList{broken}));
}

} // namespace
