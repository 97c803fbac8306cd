// Odd files beside the photos: each is a photo or left alone with its
// reason, never both, never neither, and no reader ever waits on one.

#include "tests/testkit/fixtures/FolderScanScene.h"

#include <QRandomGenerator>

using namespace sorrelby::testkit::folderscan;

TEST(FolderScan, EveryEntryIsAPhotoOrLeftAloneWithItsReason)
{
    const QString folder = makeTempFolder(QStringLiteral("source"));
    const QByteArray jpeg = standIn(QStringLiteral("x.JPG"), "photo");
    ASSERT_TRUE(writeFile(folder + "/A1_DSC_0001-qrcode.JPG", jpeg));
    ASSERT_TRUE(writeRaw(folder, "DSC_0002\xff\xfe.JPG", jpeg));
    ASSERT_TRUE(writeRaw(folder, "\xc3(DSC_0003.JPG", jpeg));
    // One file whose bytes are not UTF-8 beside one that is U+FFFD itself:
    // the second is a photo, and the first is never taken for it.
    ASSERT_TRUE(writeRaw(folder, "DSC_0004\xff.JPG", jpeg));
    ASSERT_TRUE(writeRaw(folder, "DSC_0004\xef\xbf\xbd.JPG", jpeg));
    ASSERT_TRUE(writeFile(folder + "/DSC_0005.JPG", {}));
    ASSERT_TRUE(writeFile(folder + "/DSC_0006.JPG", noise(4096)));
    ASSERT_TRUE(writeFile(folder + "/DSC_0007.JPG", pngBytes())); // a PNG under a JPEG name
    ASSERT_TRUE(writeFile(folder + "/DSC_0008.png", pngBytes())); // a PNG under its own name
    ASSERT_TRUE(writeFile(folder + "/DSC_0009.NEF", standIn("x.NEF", "raw")));
    ASSERT_TRUE(writeFile(folder + "/DSC_0010.NEF", jpeg)); // JPEG bytes under a RAW name
    ASSERT_TRUE(writeFile(folder + "/.hidden.JPG", jpeg));
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder + "/DSC_0011.JPG").constData(), 0644), 0);
    ASSERT_TRUE(QFile::link(folder + "/A1_DSC_0001-qrcode.JPG", folder + "/DSC_0012.JPG"));
    ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("_extras")));
    ASSERT_TRUE(writeFile(folder + "/roster.csv", "code,name\n")); // the shoot's own class list: not a stray file

    QString error;
    const std::optional<FolderScan> scan = scanPhotoFolder(folder, &error);
    ASSERT_TRUE(scan) << error.toStdString();
    EXPECT_EQ(lines(photoNames(*scan)),
              lines({"A1_DSC_0001-qrcode.JPG", QString::fromUtf8("DSC_0004\xef\xbf\xbd.JPG"), "DSC_0008.png", "DSC_0009.NEF"}));
    for (const ScannedPhoto &photo : scan->photos)
        EXPECT_TRUE(QFileInfo::exists(photo.path)) << photo.path.toStdString();
    EXPECT_EQ(lines(sortedNames(scan->leftAlone)),
              lines({QStringLiteral("DSC_0002\\xff\\xfe.JPG: name is not valid UTF-8"),
                     QStringLiteral("DSC_0004\\xff.JPG: name is not valid UTF-8"), QStringLiteral("DSC_0005.JPG: empty file"),
                     QStringLiteral("DSC_0006.JPG: not a photo"),
                     QStringLiteral("DSC_0007.JPG: not a photo (its content is PNG, its name says JPEG)"),
                     QStringLiteral("DSC_0010.NEF: not a photo (its content is JPEG, its name says camera RAW)"),
                     QStringLiteral("DSC_0011.JPG: not a regular file"), QStringLiteral("DSC_0012.JPG: symbolic link"),
                     QStringLiteral("\\xc3(DSC_0003.JPG: name is not valid UTF-8"), QStringLiteral("_extras: folder")}));

    // A file rewritten under the same name is looked at again.
    ASSERT_TRUE(QFile::remove(folder + "/DSC_0006.JPG"));
    ASSERT_TRUE(writeFile(folder + "/DSC_0006.JPG", jpeg));
    const std::optional<FolderScan> again = scanPhotoFolder(folder);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->photos.size(), scan->photos.size() + 1);
}

TEST(FolderScan, ReadersAndCopiesNeverWaitOnAFifo)
{
    const QString folder = makeTempFolder();
    const QString fifo = folder + QStringLiteral("/DSC_0004.JPG");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);

    expectReturnsOnFifo(
        fifo,
        [&] {
            QFile file;
            const FileResult opened = fileops::openForReading(fifo, file);
            EXPECT_FALSE(opened);
            EXPECT_EQ(opened.error, cNotRegularFileReason);
            EXPECT_FALSE(fileops::checkReadableFile(fifo));
        },
        "openForReading");
    expectReturnsOnFifo(
        fifo, [&] { EXPECT_EQ(photoFileProblem(fifo), QString(cNotRegularFileReason)); }, "photoFileProblem");
    expectReturnsOnFifo(
        fifo,
        [&] {
            const FileResult copied = fileops::copyNoReplace(fifo, folder + QStringLiteral("/copy.JPG"));
            EXPECT_FALSE(copied);
            EXPECT_TRUE(copied.error.contains(cNotRegularFileReason)) << copied.error.toStdString();
        },
        "copyNoReplace");
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/copy.JPG")));

    // A photo reached through a link is read as the photo.
    const QString photo = folder + QStringLiteral("/DSC_0005.JPG");
    ASSERT_TRUE(writeFile(photo, standIn(photo, "photo")));
    ASSERT_TRUE(QFile::link(photo, folder + QStringLiteral("/link.JPG")));
    QFile file;
    ASSERT_TRUE(fileops::openForReading(folder + QStringLiteral("/link.JPG"), file));
    EXPECT_EQ(file.readAll(), standIn(photo, "photo"));
}

TEST(FolderScan, AJpegSignatureWithoutAPictureIsNoPhoto)
{
    const QByteArray jpeg = jpegBytes();
    const qsizetype frame = jpeg.indexOf("\xFF\xC0");
    ASSERT_GT(frame, 2);
    QByteArray noise(8192, '\0');
    QRandomGenerator random(7);
    for (char &byte : noise)
        byte = char(random.bounded(256));
    // Decoders skip stray bytes before a marker.
    const qsizetype second = 4 + ((uchar(jpeg[4]) << 8) | uchar(jpeg[5]));
    ASSERT_EQ(uchar(jpeg[second]), 0xFF);
    QByteArray padded = jpeg;
    padded.insert(second, QByteArray(3, '\0'));

    const QString folder = makeTempFolder();
    ASSERT_TRUE(writeFile(folder + "/DSC_0001.JPG", jpeg));
    ASSERT_TRUE(writeFile(folder + "/DSC_0002.JPG", QByteArray("\xFF\xD8\xFF\xE0", 4) + noise));
    ASSERT_TRUE(writeFile(folder + "/DSC_0003.JPG", jpeg.left(frame)));      // cut off before its picture
    ASSERT_TRUE(writeFile(folder + "/DSC_0004.JPG", jpeg.left(frame + 40))); // cut off inside it: damaged, still a photo
    ASSERT_TRUE(writeFile(folder + "/DSC_0005.JPG", padded));
    ASSERT_TRUE(writeFile(folder + "/DSC_0006.JPG", QByteArray("\xFF\xD8\xFF\xD9", 4)));

    const std::optional<FolderScan> scan = scanPhotoFolder(folder);
    ASSERT_TRUE(scan);
    EXPECT_EQ(lines(photoNames(*scan)), lines({"DSC_0001.JPG", "DSC_0004.JPG", "DSC_0005.JPG"}));
    const QString why = QStringLiteral(": not a photo (no picture in its JPEG data)");
    EXPECT_EQ(lines(sortedNames(scan->leftAlone)), lines({"DSC_0002.JPG" + why, "DSC_0003.JPG" + why, "DSC_0006.JPG" + why}));
}
