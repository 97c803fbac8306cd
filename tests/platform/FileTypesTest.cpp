#include "tests/testkit/fixtures/FileTypesScene.h"

using namespace sorrelby::testkit::filetypesscene;

// Content decides, whatever the name says; RAW files, which the content rules
// barely know, count as images by their extension but never as JPEG.
TEST(FileTypes, ContentDecidesAndRawFilesAreImagesButNotJpeg)
{
    const QByteArray jpeg = smallJpegBytes();
    const QByteArray tiff = tiffHeader();
    const QByteArray opaque = opaqueBytes();
    const struct {
        const char *name;
        QByteArray content;
        bool jpeg;
        bool image;
        const char *type; // nullptr: not checked
    } cases[] = {
        {"DSC_0001.JPG", jpeg, true, true, "image/jpeg"},
        {"DSC_0002.txt", jpeg, true, true, "image/jpeg"},
        {"DSC_0003", jpeg, true, true, "image/jpeg"},
        {"notes.jpg", "Subject list for the shoot\nanother line\n", false, false, "text/plain"},
        {"empty.jpg", QByteArray(), false, false, nullptr},
        {"DSC_0004.NEF", tiff, false, true, "image/x-nikon-nef"},
        {"IMG_0005.CR2", opaque, false, true, nullptr},
        {"DSC_0006.ARW", opaque, false, true, nullptr},
        {"data.bin", opaque, false, false, nullptr},
    };
    const QString dir = testkit::makeTempFolder();
    for (const auto &c : cases) {
        const QString path = dir + QLatin1Char('/') + QLatin1String(c.name);
        ASSERT_TRUE(testkit::writeFile(path, c.content));
        EXPECT_EQ(filetypes::isJpeg(path), c.jpeg) << c.name;
        EXPECT_EQ(filetypes::isImage(path), c.image) << c.name << " " << filetypes::typeName(path).toStdString();
        if (c.type) {
            EXPECT_EQ(filetypes::typeName(path), QLatin1String(c.type)) << c.name;
        }
    }
    EXPECT_FALSE(filetypes::isJpeg(dir + QStringLiteral("/missing.jpg")));
    EXPECT_FALSE(filetypes::isImage(dir + QStringLiteral("/missing.jpg")));
    EXPECT_TRUE(filetypes::typeName(dir + QStringLiteral("/missing.jpg")).isEmpty());
    EXPECT_FALSE(filetypes::isImage(dir));
}
