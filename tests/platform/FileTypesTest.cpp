#include "platform/FileTypes.h"
#include "tests/testkit/TestEnvironment.h"

#include <QBuffer>
#include <QImage>

#include <gtest/gtest.h>

using namespace sorrelby;

namespace {

QByteArray jpegBytes()
{
    QImage image(32, 24, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    return bytes;
}

} // namespace

TEST(FileTypes, JpegIsRecognisedByContentWhateverItsName)
{
    const QByteArray jpeg = jpegBytes();
    ASSERT_TRUE(jpeg.startsWith("\xff\xd8\xff"));
    const QString dir = testkit::makeTempFolder();

    const QString proper = dir + QStringLiteral("/DSC_0001.JPG");
    const QString misnamed = dir + QStringLiteral("/DSC_0002.txt");
    const QString noExtension = dir + QStringLiteral("/DSC_0003");
    for (const QString &path : {proper, misnamed, noExtension}) {
        ASSERT_TRUE(testkit::writeFile(path, jpeg));
        EXPECT_TRUE(filetypes::isJpeg(path)) << path.toStdString();
        EXPECT_TRUE(filetypes::isImage(path)) << path.toStdString();
        EXPECT_EQ(filetypes::typeName(path), QStringLiteral("image/jpeg"));
    }

    // A name ending in .jpg does not make a photo.
    const QString text = dir + QStringLiteral("/notes.jpg");
    ASSERT_TRUE(testkit::writeFile(text, "Subject list for the shoot\nanother line\n"));
    EXPECT_FALSE(filetypes::isJpeg(text));
    EXPECT_FALSE(filetypes::isImage(text));
    EXPECT_EQ(filetypes::typeName(text), QStringLiteral("text/plain"));

    const QString empty = dir + QStringLiteral("/empty.jpg");
    ASSERT_TRUE(testkit::writeFile(empty, QByteArray()));
    EXPECT_FALSE(filetypes::isJpeg(empty));
    EXPECT_FALSE(filetypes::isImage(empty));

    EXPECT_FALSE(filetypes::isJpeg(dir + QStringLiteral("/missing.jpg")));
    EXPECT_FALSE(filetypes::isImage(dir + QStringLiteral("/missing.jpg")));
    EXPECT_TRUE(filetypes::typeName(dir + QStringLiteral("/missing.jpg")).isEmpty());
    EXPECT_FALSE(filetypes::isImage(dir));
}

TEST(FileTypes, RawFilesCountAsImagesButNotAsJpeg)
{
    const QString dir = testkit::makeTempFolder();
    // RAW files are TIFF inside; the extension names the camera's format.
    QByteArray tiff("II*\0\x08\0\0\0", 8);
    tiff.append(QByteArray(200, '\0'));
    const QString nef = dir + QStringLiteral("/DSC_0004.NEF");
    ASSERT_TRUE(testkit::writeFile(nef, tiff));
    EXPECT_TRUE(filetypes::isImage(nef));
    EXPECT_FALSE(filetypes::isJpeg(nef));
    EXPECT_EQ(filetypes::typeName(nef), QStringLiteral("image/x-nikon-nef"));

    // Content the rules do not know: the extension decides.
    QByteArray opaque(300, '\0');
    for (int i = 0; i < opaque.size(); ++i)
        opaque[i] = char((i * 37) % 251 + 1);
    for (const char *name : {"/IMG_0005.CR2", "/DSC_0006.ARW"}) {
        const QString path = dir + QLatin1String(name);
        ASSERT_TRUE(testkit::writeFile(path, opaque));
        EXPECT_TRUE(filetypes::isImage(path)) << name << " " << filetypes::typeName(path).toStdString();
        EXPECT_FALSE(filetypes::isJpeg(path)) << name;
    }
    const QString unknown = dir + QStringLiteral("/data.bin");
    ASSERT_TRUE(testkit::writeFile(unknown, opaque));
    EXPECT_FALSE(filetypes::isImage(unknown));
}
