// The generated photos must be what they claim: codes that read back,
// Exif that Exiv2 reads back (maker-note serials included), and shoots whose
// manifest matches the files on disk.

#include "imaging/Exiv2Compat.h"
#include "tests/testkit/TestEnvironment.h"
#include "tests/testkit/photos/CardGenerator.h"
#include "tests/testkit/photos/PhotoGenerator.h"
#include "tests/testkit/photos/ShootGenerator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace sorrelby::testkit {
namespace {

PhotoSpec photoOf(QSize size, quint32 seed)
{
    PhotoSpec photo;
    photo.size = size;
    photo.seed = seed;
    return photo;
}

QStringList readCodes(const QString &path)
{
    return readCodesInJpeg(readFile(path));
}

TEST(PhotoKit, CardCodesReadBackAtFullSize)
{
    initializePhotoKit();
    const QString folder = makeTempFolder();
    struct Case {
        Symbology symbology;
        QString payload;
        double rotation;
        double perspective;
        double blur;
    };
    const Case cases[] = {
        {Symbology::QRCode, QStringLiteral("A1234"), 0, 0, 0},
        {Symbology::QRCode, QStringLiteral("https://cards.example/s/X99"), 17, 0.15, 1.0},
        {Symbology::DataMatrix, QStringLiteral("B5678"), -8, 0.1, 0.5},
        {Symbology::Code128, QStringLiteral("C-2024-17"), 4, 0, 0},
        {Symbology::Code39, QStringLiteral("D42"), 0, 0.05, 0},
    };
    int seed = 10;
    for (const Case &c : cases) {
        PhotoSpec photo;
        photo.size = QSize(1200, 800);
        photo.seed = quint32(++seed);
        CardPhotoSpec spec = cardPhotoSpec(c.payload, photo, c.symbology);
        spec.codes[0].rotation = c.rotation;
        spec.codes[0].perspective = c.perspective;
        spec.codes[0].center = QPointF(0.4, 0.55);
        spec.blur = c.blur;
        const QString path = folder + QStringLiteral("/card%1.JPG").arg(seed);
        ASSERT_TRUE(writeCardPhoto(path, spec));
        EXPECT_EQ(readCodes(path), QStringList{c.payload}) << symbologyName(c.symbology).toStdString();
    }

    // Two cards in one photo both read; a card without a code reads nothing,
    // and neither does the plain background.
    CardPhotoSpec two = cardPhotoSpec(QStringLiteral("FIRST1"), photoOf(QSize(1200, 800), 3));
    two.codes[0].center = QPointF(0.25, 0.45);
    two.codes[0].side = 180;
    CodeSpec second;
    second.payload = QStringLiteral("SECOND2");
    second.center = QPointF(0.72, 0.5);
    second.side = 180;
    two.codes.append(second);
    ASSERT_TRUE(writeCardPhoto(folder + QStringLiteral("/two.JPG"), two));
    EXPECT_EQ(renderCardPhoto(two), renderCardPhoto(two)); // deterministic
    auto both = readCodes(folder + QStringLiteral("/two.JPG"));
    both.sort();
    EXPECT_EQ(both, (QStringList{QStringLiteral("FIRST1"), QStringLiteral("SECOND2")}));

    ASSERT_TRUE(writeCardPhoto(folder + QStringLiteral("/blank.JPG"), QString(), photoOf(QSize(1200, 800), 4)));
    EXPECT_TRUE(readCodes(folder + QStringLiteral("/blank.JPG")).empty());
    ASSERT_TRUE(writePhoto(folder + QStringLiteral("/plain.JPG"), photoOf(QSize(1200, 800), 5)));
    EXPECT_TRUE(readCodes(folder + QStringLiteral("/plain.JPG")).empty());

    // A payload too long for a QR code is refused and nothing is written.
    EXPECT_FALSE(writeCardPhoto(folder + QStringLiteral("/bad.JPG"), QString(8000, QLatin1Char('A'))));
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/bad.JPG")));
}

// A code whose modules are too wide for zxing's local thresholds at full size
// (cards held close to a 24 MP camera) is held to reading at half and
// quarter size, as readers read it; at full size nothing else may read.
TEST(PhotoKit, WideModuleCardsAreCheckedScaledDown)
{
    initializePhotoKit();
    const QStringList payload{QStringLiteral("S002")};
    CardPhotoSpec spec = cardPhotoSpec(payload[0], photoOf(QSize(2400, 1800), 1));
    spec.codes[0].side = 1200;
    spec.codes[0].center = QPointF(0.4, 0.45);
    const double module = moduleSize(spec.codes[0], spec.photo.size);
    EXPECT_NEAR(module, 1200.0 / 21, 0.01); // a QR code of 21 modules
    const QByteArray wide = encodeJpeg(renderCardPhoto(spec));
    EXPECT_TRUE(readsAsIntended(wide, payload, module));
    EXPECT_FALSE(readsAsIntended(wide, {QStringLiteral("S003")}, module));

    // A second code small enough to read at full size only still counts.
    CodeSpec small;
    small.payload = QStringLiteral("X7");
    small.side = 50;
    small.center = QPointF(0.9, 0.3);
    spec.codes.append(small);
    const QByteArray two = encodeJpeg(renderCardPhoto(spec));
    ASSERT_TRUE(readCodesInJpeg(two).contains(small.payload));
    ASSERT_FALSE(readCodesInJpeg(two, 2).contains(small.payload));
    EXPECT_FALSE(readsAsIntended(two, payload, module));
}

QString exifText(const Exiv2::ExifData &exif, const char *key)
{
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    return it == exif.end() ? QString() : QString::fromStdString(it->toString());
}

bool hasMakerNoteTags(const Exiv2::ExifData &exif)
{
    for (const auto &datum : exif) {
        const std::string group = datum.groupName();
        if (group == "Nikon3" || group == "Canon" || group == "MakerNote")
            return true;
    }
    return false;
}

TEST(PhotoKit, ExifReadsBack)
{
    initializePhotoKit();
    const QString folder = makeTempFolder();
    const QDateTime taken(QDate(2024, 5, 1), QTime(13, 45, 10));
    struct Case {
        CameraSpec camera;
        const char *makerNoteKey;
    };
    const Case cases[] = {
        {nikonCamera(QStringLiteral("3012345")), "Exif.Nikon3.SerialNumber"},
        {canonCamera(QStringLiteral("2281012345")), "Exif.Canon.SerialNumber"},
        {sonyCamera(QStringLiteral("4401234")), nullptr},
    };
    // JPEGs, and RAW-like files that carry the same Exif and the picture as
    // their largest preview.
    for (const Case &c : cases) {
        for (bool raw : {false, true}) {
            PhotoSpec spec = photoOf(QSize(640, 480), 7);
            spec.exif.camera = c.camera;
            spec.exif.captureTime = taken;
            spec.exif.orientation = 6;
            const QString path = folder + QLatin1Char('/') + (raw ? c.camera.rawFileName(12) : c.camera.fileName(12));
            EXPECT_EQ(isRawFileName(path), raw);
            ASSERT_TRUE(writePhoto(path, spec));

            const auto image = exiv2compat::openImage(path.toStdString());
            image->readMetadata();
            const Exiv2::ExifData &exif = image->exifData();
            SCOPED_TRACE(path.toStdString());
            EXPECT_EQ(exifText(exif, "Exif.Image.Make"), c.camera.make);
            EXPECT_EQ(exifText(exif, "Exif.Image.Model"), c.camera.model);
            EXPECT_EQ(exifText(exif, "Exif.Photo.BodySerialNumber"), c.camera.bodySerial);
            EXPECT_EQ(exifText(exif, "Exif.Photo.DateTimeOriginal"), QStringLiteral("2024:05:01 13:45:10"));
            EXPECT_EQ(exifText(exif, "Exif.Photo.DateTimeDigitized"), QStringLiteral("2024:05:01 13:45:10"));
            EXPECT_EQ(exifText(exif, "Exif.Image.Orientation"), QStringLiteral("6"));
            EXPECT_EQ(exifText(exif, "Exif.Photo.PixelXDimension"), QStringLiteral("640"));
            EXPECT_EQ(exifText(exif, "Exif.Photo.PixelYDimension"), QStringLiteral("480"));
            if (c.makerNoteKey)
                EXPECT_EQ(exifText(exif, c.makerNoteKey), c.camera.makerNoteSerial);
            else
                EXPECT_FALSE(hasMakerNoteTags(exif));
            EXPECT_GT(exiv2compat::bytesOf(Exiv2::ExifThumbC(exif).copy()).size(), 1000);
            EXPECT_EQ(QFileInfo(path).lastModified(), taken);
            if (!raw) {
                EXPECT_EQ(image->pixelWidth(), 640);
                continue;
            }
            EXPECT_TRUE(readFile(path).startsWith(QByteArray("II*\0", 4)));
            const Exiv2::PreviewManager previews(*image);
            const Exiv2::PreviewPropertiesList list = previews.getPreviewProperties();
            ASSERT_EQ(list.size(), 2u);
            EXPECT_EQ(std::max(list[0].width_, list[0].height_), 160u);
            EXPECT_EQ(list[1].width_, 640u);
            EXPECT_EQ(list[1].height_, 480u);
            EXPECT_EQ(list[1].mimeType_, "image/jpeg");
        }
    }
    EXPECT_EQ(nikonCamera().expectedCameraKey(QStringLiteral("DSC_0001.JPG")), QStringLiteral("NIKON3012345"));
    EXPECT_EQ(sonyCamera().expectedCameraKey(QStringLiteral("A1_DSC00001.JPG")), QStringLiteral("SONYXYZ"));
}

TEST(PhotoKit, ShootPlanNamesWhatTheDecodePassMustProduce)
{
    ShootSpec spec;
    spec.subjects = 2;
    spec.photosPerSubject = 1;
    spec.photosBeforeFirstCard = 1;
    spec.unreadableCardSubjects = {1};
    const Shoot one = planShoot(QStringLiteral("/x"), spec);
    EXPECT_EQ(one.fileNames(),
              (QStringList{QStringLiteral("DSC_0001.JPG"), QStringLiteral("DSC_0002.JPG"), QStringLiteral("DSC_0003.JPG"),
                           QStringLiteral("DSC_0004.JPG"), QStringLiteral("DSC_0005.JPG")}));
    EXPECT_EQ(one.expectedNames(),
              (QStringList{QStringLiteral("DSC_0001.JPG"), QStringLiteral("S001_DSC_0002-qrcode.JPG"), QStringLiteral("S001_DSC_0003.JPG"),
                           QStringLiteral("S001_DSC_0004.JPG"), QStringLiteral("S001_DSC_0005.JPG")}));

    // Two stations shooting different subjects at the same time: only
    // decoding each camera on its own gives every photo its own subject.
    ShootSpec stations;
    stations.subjects = 2;
    stations.photosPerSubject = 2;
    stations.cameras = {nikonCamera(), canonCamera()};
    stations.sameSubjects = false;
    stations.interleave = true;
    stations.codes = {QStringLiteral("A1"), QStringLiteral("B/2")};
    const Shoot two = planShoot(QStringLiteral("/x"), stations);
    EXPECT_EQ(
        two.expectedNames(true),
        (QStringList{QStringLiteral("A1_DSC_0001-qrcode.JPG"), QStringLiteral("B:2_IMG_0001-qrcode.JPG"), QStringLiteral("A1_DSC_0002.JPG"),
                     QStringLiteral("B:2_IMG_0002.JPG"), QStringLiteral("A1_DSC_0003.JPG"), QStringLiteral("B:2_IMG_0003.JPG")}));
    EXPECT_EQ(two.expectedNames(false),
              (QStringList{QStringLiteral("A1_DSC_0001-qrcode.JPG"), QStringLiteral("B:2_IMG_0001-qrcode.JPG"),
                           QStringLiteral("B:2_DSC_0002.JPG"), QStringLiteral("B:2_IMG_0002.JPG"), QStringLiteral("B:2_DSC_0003.JPG"),
                           QStringLiteral("B:2_IMG_0003.JPG")}));
    EXPECT_EQ(two.photos[1].cameraKey, QStringLiteral("CANON2281012345"));
    EXPECT_EQ(two.nameFormatTag(), 1);

    // Two bodies with the same name pattern count from different thousands.
    ShootSpec twins;
    twins.subjects = 1;
    twins.photosPerSubject = 0;
    twins.cameras = {nikonCamera(QStringLiteral("1")), nikonCamera(QStringLiteral("2")), sonyCamera()};
    const Shoot three = planShoot(QStringLiteral("/x"), twins);
    EXPECT_EQ(three.fileNames(),
              (QStringList{QStringLiteral("DSC_0001.JPG"), QStringLiteral("DSC_1001.JPG"), QStringLiteral("DSC00001.JPG")}));
    EXPECT_EQ(three.nameFormatTag(), -1);
}

TEST(PhotoKit, WrittenShootMatchesItsManifest)
{
    const QString folder = makeTempFolder(QStringLiteral("shoot"));
    ShootSpec spec;
    spec.subjects = 3;
    spec.photosPerSubject = 2;
    spec.cameras = {nikonCamera(), sonyCamera()};
    spec.interleave = true;
    spec.unreadableCardSubjects = {2};
    spec.manifestPath = makeTempFolder(QStringLiteral("meta")) + QStringLiteral("/manifest.json");
    const auto written = writeShoot(folder, spec);
    ASSERT_TRUE(written.has_value());
    const auto shoot = readManifest(spec.manifestPath);
    ASSERT_TRUE(shoot.has_value());
    EXPECT_EQ(shoot->folder, QFileInfo(folder).absoluteFilePath());
    EXPECT_EQ(shoot->expectedNames(), written->expectedNames());
    ASSERT_EQ(shoot->photos.size(), 2 * (3 * 3));

    QStringList onDisk = QDir(folder).entryList(QDir::Files);
    QStringList names = shoot->fileNames();
    onDisk.sort();
    names.sort();
    EXPECT_EQ(onDisk, names);

    QDateTime previous;
    for (const ShootPhoto &p : shoot->photos) {
        const QString path = folder + QLatin1Char('/') + p.fileName;
        const QDateTime modified = QFileInfo(path).lastModified();
        EXPECT_EQ(modified, p.captureTime) << p.fileName.toStdString();
        EXPECT_TRUE(!previous.isValid() || previous < modified) << p.fileName.toStdString();
        previous = modified;
        const auto image = exiv2compat::openImage(path.toStdString());
        image->readMetadata();
        EXPECT_EQ(exifText(image->exifData(), "Exif.Photo.DateTimeOriginal"), exifDateText(p.captureTime));
        if (p.isCard) {
            const auto codes = readCodes(path);
            if (p.readableCard)
                EXPECT_EQ(codes, QStringList{p.payload}) << p.fileName.toStdString();
            else
                EXPECT_TRUE(codes.empty()) << p.fileName.toStdString();
        }
    }
    EXPECT_EQ(shoot->photos[1].fileName, QStringLiteral("DSC00001.JPG"));
    EXPECT_EQ(shoot->photos[1].cameraKey, QStringLiteral("SONYXYZ"));
    EXPECT_EQ(shoot->photos[1].cameraKeyAfterDecode, QStringLiteral("SONYXYZ"));

    // The tilted, softened cards of a shoot read in every symbology.
    for (Symbology symbology : {Symbology::DataMatrix, Symbology::Code128, Symbology::Code39}) {
        ShootSpec cards;
        cards.subjects = 3;
        cards.photosPerSubject = 0;
        cards.symbology = symbology;
        cards.seed = 99;
        const QString where = makeTempFolder(symbologyName(symbology));
        const auto cardShoot = writeShoot(where, cards);
        ASSERT_TRUE(cardShoot.has_value());
        for (const ShootPhoto &p : cardShoot->photos)
            EXPECT_EQ(readCodes(where + QLatin1Char('/') + p.fileName), QStringList{p.payload})
                << symbologyName(symbology).toStdString() << " " << p.fileName.toStdString();
    }
}

} // namespace
} // namespace sorrelby::testkit
