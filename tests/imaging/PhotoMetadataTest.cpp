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

// The capture clock read from a JPEG's first bytes agrees with the metadata
// library's reading, in either byte order, and bytes cut or damaged anywhere
// give that clock or none, never another one.
TEST_F(PhotoMetadata, CaptureClocksFromTheExifSegmentAloneAgreeWithTheLibrary)
{
    const QDateTime taken(QDate(2024, 5, 1), QTime(13, 45, 10, 370));
    QByteArray head;
    for (int digits : {0, 1, 2, 3}) {
        SCOPED_TRACE(digits);
        PhotoSpec spec;
        spec.exif.camera = nikonCamera();
        spec.exif.captureTime = taken;
        spec.exif.subSecondDigits = digits;
        const QString path = folder + QStringLiteral("/DSC_%1.JPG").arg(digits);
        ASSERT_TRUE(writePhoto(path, spec));
        const std::optional<PhotoProperties> properties = readPhotoProperties(path);
        ASSERT_TRUE(properties);
        const std::optional<qint64> library = parseCaptureClock(properties->exif.value(QStringLiteral("DateTimeOriginal")),
                                                                properties->exif.value(QStringLiteral("SubSecTimeOriginal")));
        ASSERT_TRUE(library);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        head = file.read(64 * 1024);
        EXPECT_EQ(captureClockInJpegHead(head), library);
        EXPECT_EQ(captureClockMsecs(path), library);
    }
    const std::optional<qint64> whole = captureClockInJpegHead(head);
    for (qsizetype cut = 0; cut < std::min<qsizetype>(head.size(), 4096); cut += 7) {
        const std::optional<qint64> clock = captureClockInJpegHead(head.left(cut));
        EXPECT_TRUE(!clock || clock == whole) << cut;
        QByteArray damaged = head;
        damaged[cut] = char(~damaged[cut]);
        const std::optional<qint64> read = captureClockInJpegHead(damaged);
        // A flipped digit may change the time; a flipped offset never points
        // outside the bytes (the sanitizers watch that).
        if (read && read != whole) {
            EXPECT_LT(std::abs(*read - *whole), qint64(100) * 365 * 24 * 3600 * 1000) << cut;
        }
    }

    // Big-endian Exif, as some cameras write it, made by hand: IFD0 with the
    // Exif pointer, the Exif IFD with the date (at an offset) and "5" inline.
    QByteArray tiff("MM\x00\x2a\x00\x00\x00\x08", 8);
    auto u16 = [&](int v) { tiff.append(char(v >> 8)).append(char(v & 0xff)); };
    auto u32 = [&](int v) {
        u16(v >> 16);
        u16(v & 0xffff);
    };
    u16(1);
    u16(0x8769), u16(4), u32(1), u32(26); // Exif IFD right after IFD0
    u32(0);
    u16(2);
    u16(0x9003), u16(2), u32(20), u32(56);
    u16(0x9291), u16(2), u32(2), u32(0x35000000);
    u32(0);
    tiff.append("2023:12:24 18:30:05", 20);
    QByteArray jpeg("\xff\xd8\xff\xe1", 4);
    const int length = 2 + 6 + int(tiff.size());
    jpeg.append(char(length >> 8)).append(char(length & 0xff)).append("Exif\0\0", 6).append(tiff).append("\xff\xd9", 2);
    EXPECT_EQ(captureClockInJpegHead(jpeg), parseCaptureClock(QStringLiteral("2023:12:24 18:30:05"), QStringLiteral("5")));

    // No JPEG, no Exif, no date: none.
    EXPECT_FALSE(captureClockInJpegHead(QByteArray("not a photo")));
    EXPECT_FALSE(captureClockInJpegHead(QByteArray("\xff\xd8\xff\xda\x00\x02", 6)));
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
    // Maker-note serials, whatever the file is called.
    EXPECT_EQ(getCameraSerialNumber(writeTestPhoto(folder, QStringLiteral("A1_DSC_0001.JPG"), nikonCamera())),
              QStringLiteral("NIKON3012345"));
    EXPECT_EQ(getCameraSerialNumber(writeTestPhoto(folder, QStringLiteral("IMG_0001.JPG"), canonCamera())),
              QStringLiteral("CANON2281012345"));
    EXPECT_EQ(getCameraSerialNumber(writeTestPhoto(folder, QStringLiteral("IMG_0002.JPG"), canonCamera(QStringLiteral("WD0012345")))),
              QStringLiteral("CANONWD0012345"));

    // No maker note: the serial comes from the camera name, even when the
    // Exif has a body serial, so a photo keeps its key once it has a code.
    Settings::shared().setValue(cPrefOriginalNameFormatTag, 1);
    CameraSpec canonWithoutNote = canonCamera();
    canonWithoutNote.makerNoteSerial.clear();
    canonWithoutNote.bodySerial = QStringLiteral("998877");
    EXPECT_EQ(getCameraSerialNumber(writeTestPhoto(folder, QStringLiteral("IMG_0412.JPG"), canonWithoutNote)), QStringLiteral("CANONIMG"));
    EXPECT_EQ(getCameraSerialNumber(writeTestPhoto(folder, QStringLiteral("A1_IMG_0413.JPG"), canonWithoutNote)),
              QStringLiteral("CANONIMG"));
    EXPECT_EQ(getCameraSerialNumber(writeTestPhoto(folder, QStringLiteral("AB_12_IMG_0414-qrcode.JPG"), canonWithoutNote)),
              QStringLiteral("CANONIMG"));
    EXPECT_EQ(getCameraSerialNumber(writeTestPhoto(folder, QStringLiteral("A1_DSC00001.JPG"), sonyCamera())),
              QStringLiteral("SONYA1")); // two parts: a camera name for the format tag
    EXPECT_EQ(getCameraSerialNumber(writeTestPhoto(folder, QStringLiteral("DSC00001.JPG"), sonyCamera())), QStringLiteral("SONYXYZ"));
    EXPECT_EQ(getCameraSerialNumber(writeTestPhoto(folder, QStringLiteral("IMG_0003.JPG"), std::nullopt)), QStringLiteral("VENIMG"));
    EXPECT_EQ(getCameraSerialNumber(writeTestPhoto(folder, QStringLiteral("photo.jpg"), std::nullopt)), QStringLiteral("INVALID"));
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
